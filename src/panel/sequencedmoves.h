#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

class CommandLink;
class MainView;
struct PanelState;

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

private:
    void MoveStep(std::uint16_t& flags, bool absolute);
    QByteArray MoveCommand(int ch, bool absolute) const;
    void send(const QString& command);

    PanelState& state_;
    MainView& view_;
    CommandLink& link_;
};
