#pragma once

#include "panelstate.h"

#include <QString>
#include <array>
#include <cstdint>

class CommandLink;
class SequencedMoves;

// The automation port's presets and moves. They have a request word of their own, served by the
// tick once the operator's words are idle and built by the same command builders, so a script
// move sends exactly what Start sends for the same values. The operator comes first: a preset, a
// move or a demonstration drive of the operator cuts a script sequence that is under way or wants
// the same channels; a bracket that has gone out is always closed before anything else is sent.
class ScriptMoves {
public:
    ScriptMoves(PanelState& state, const SequencedMoves& builders, CommandLink& link);

    // Takes the channels with `given` set; each is entered in the axis book at once. Nothing may be
    // pending (the caller refuses first).
    void Request(MoveKind kind, const std::array<QString, 4>& values, const std::array<bool, 4>& given,
                 int client);
    // Commands still to send: a channel, or a bracket to close.
    bool Pending() const;
    // Every channel of the pending request, sent or not.
    std::uint8_t Channels() const;

    // One tick: a preset of every channel, or one command of a move.
    void Step();
    // Closes a bracket that has gone out, then drops what was still to send: those channels' moves
    // end STOPPED, `why`. False when the closing line could not be sent.
    bool Cut(const QString& why);
    // The operator's preset, move or demonstration drive of `channels` is about to be sent.
    bool YieldTo(std::uint8_t channels, const QString& why);

private:
    // Drops channels whose move has already ended (the session ended meanwhile).
    void forgetEnded();
    bool send(const QByteArray& command);

    PanelState& state_;
    const SequencedMoves& builders_;
    CommandLink& link_;
};
