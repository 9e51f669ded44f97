#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "panelstate.h"
#include "scriptmoves.h"

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
    // The same built from a value already in the model's form (MoveValueText, ValueTextOf).
    QByteArray MoveCommand(int ch, bool absolute, const QString& value) const;
    QByteArray PresetCommand(int ch, const QString& value) const;

    // The set-data value of a channel in the identified model's form. USB models: the text with
    // every "+" removed. Network model: the leading number of the text (none reads 0), rounded
    // half away from zero, signed and zero-padded to at least seven digits.
    QString MoveValueText(int ch) const;
    // The same form for a value text given by the automation port.
    QString ValueTextOf(const QString& text) const;
    // The number a value text in the model's form stands for; none when it is no number.
    static std::optional<qint64> ValueNumber(const QString& value);

    // The automation port's presets and moves, served by the tick after the operator's.
    ScriptMoves& script() { return script_; }

private:
    void MoveStep(std::uint16_t& flags, bool absolute);
    bool send(const QString& command, Origin origin);

    PanelState& state_;
    MainView& view_;
    CommandLink& link_;
    ScriptMoves script_;
};
