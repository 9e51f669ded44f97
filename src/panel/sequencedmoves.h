#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

#include "panelstate.h"

class CommandLink;
class MainView;

// Motions sent by the polling tick, one step per tick: presets, relative and absolute moves
// (several channels bracketed by "S3016"/"S3017" for a synchronous start) and the demonstration
// drive. The operator's buttons only raise the request flags in the panel state.
class SequencedMoves {
public:
    SequencedMoves(PanelState& state, MainView& view, CommandLink& link);

    // BtnDEMO: starts the drive on the selected idle channels, or asks a running drive to end.
    void DemoClicked();

    // Called by the polling tick while the matching flags are set.
    void DemoStep();
    void PresetStep();
    void RelMoveStep();
    void AbsMoveStep();

    // Command texts, CR LF included.
    QByteArray RelMoveCommand(int ch) const;
    QByteArray AbsMoveCommand(int ch) const;

    // The set-data value of a channel in the identified model's form. USB models: the text with
    // every "+" removed. Network model: the leading number of the text (none reads 0), rounded
    // half away from zero, signed and zero-padded to at least seven digits.
    QString MoveValueText(int ch) const;
    // The same form for a value text given by the automation port.
    QString ValueTextOf(const QString& text) const;

    // The automation port's requests, served by the same steps. Values are per channel (0..3);
    // channels without one are left alone. A move of several channels is bracketed as Start
    // brackets it.
    void RequestScriptPreset(const std::array<QString, 4>& values, const std::array<bool, 4>& given);
    void RequestScriptMove(bool absolute, const std::array<QString, 4>& values,
                           const std::array<bool, 4>& given);
    // Drops what the automation port asked for and is still unsent; the operator's requests stay.
    void CancelScriptRequests();
    // A script's preset or move still has commands to send (for one channel, or for any).
    bool ScriptPending(int ch) const;
    bool ScriptPending() const;

private:
    void MoveStep(std::uint16_t& flags, bool absolute);
    QByteArray MoveCommand(int ch, bool absolute, const QString& value) const;
    // The value of a channel for a sequence: the script's when it gave one, else the set-data box.
    QString valueFor(int ch, const PanelState::ScriptMove& script) const;
    void send(const QString& command);

    PanelState& state_;
    MainView& view_;
    CommandLink& link_;
};
