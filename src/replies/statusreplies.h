#pragma once

#include <QByteArray>

class PanelView;
struct PanelState;

// The per-channel replies of the polling rotation, turned into the main window's display and the
// reported state that the operator commands and the demonstration drive read. Each is given the
// cleaned reply (already found long enough for its step) and the channel 0..3.
namespace StatusReplies {

// Position: shown as text, never converted.
void Position(PanelState& state, PanelView& view, const QByteArray& reply, int ch);
// Lamp status: third character is one hex digit, 1 CW, 2 CCW, 4 HP, 8 hold-off.
void Lamps(PanelState& state, PanelView& view, const QByteArray& reply, int ch);
// Status and position: characters 4..6 the status word, 7.. the position.
void StatusAndPosition(PanelState& state, PanelView& view, const QByteArray& reply, int ch);

}  // namespace StatusReplies
