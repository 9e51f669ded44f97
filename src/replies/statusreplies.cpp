#include "statusreplies.h"

#include "panelstate.h"
#include "panelview.h"
#include "textfields.h"

using TextFields::mid;
using TextFields::readHex;

namespace StatusReplies {

namespace {
QString shown(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}

void showLampsAndHoldOff(PanelState& state, PanelView& view, int ch, bool cw, bool ccw, bool hp,
                         bool heldOff) {
    view.setLamp(PanelView::Lamp::CW, ch, cw);
    view.setLamp(PanelView::Lamp::CCW, ch, ccw);
    view.setLamp(PanelView::Lamp::HP, ch, hp);
    state.HoldOff[ch] = heldOff ? 1 : 0;
    view.setHoldOffLit(ch, heldOff);
}
}  // namespace

void Position(PanelState& state, PanelView& view, const QByteArray& reply, int ch) {
    const bool whole = state.UsbModel && reply.size() <= 11;
    const QString text = shown(whole ? reply : mid(reply, 3, 10));
    view.setPosition(ch, text);
    state.Axes.positionReported(ch, text);
}

void Lamps(PanelState& state, PanelView& view, const QByteArray& reply, int ch) {
    const std::uint32_t d = readHex(mid(reply, 3, 1));
    showLampsAndHoldOff(state, view, ch, d & 1, d & 2, d & 4, d & 8);
    state.Axes.lampsReported(ch, d & 1, d & 2, d & 4, d & 8);
}

void StatusAndPosition(PanelState& state, PanelView& view, const QByteArray& reply, int ch) {
    const std::uint32_t s = readHex(mid(reply, 4, 3));
    showLampsAndHoldOff(state, view, ch, s & 0x100, s & 0x200, s & 0x400, s & 0x800);
    if (s & 0x001) {
        state.ChannelBusy[ch] = true;
        state.DemoLegPending[ch] = false;
        state.DemoHaltMuted[ch] = false;
    } else {
        state.ChannelBusy[ch] = false;
    }
    // Bit 5 (stopped by a stop command) means "no new stop condition": the flag keeps its value.
    if ((s & 0x0E0) == 0) {
        state.ChannelStopCondition[ch] = false;
    } else if ((s & 0x020) == 0) {
        state.ChannelStopCondition[ch] = true;
    }
    const QString text = shown(mid(reply, 7));
    view.setPosition(ch, text);
    state.Axes.statusReported(ch, std::uint16_t(s & 0xFFF), text);
}

}  // namespace StatusReplies
