#pragma once

#include "panelstate.h"

#include <QString>
#include <array>
#include <cstdint>

class CommandLink;
class SequencedMoves;

// The automation port's motions, from any number of clients. This is where the link is shared
// between the scripts and the operator, so the rules read here:
// - A script's motion is taken for a channel with nothing under way (the port refuses the rest)
//   and queued; the queue is served in the order it was filled, one command a tick, when the
//   operator's words are idle. A word of several channels is bracketed as Start brackets them;
//   each word is sent whole, its bracket closed, before the next begins, so no bracket is ever
//   opened inside another.
// - The operator comes first: a preset, a move or a demonstration drive of the operator cuts the
//   script words that want the same channels, and a word whose bracket is open (anything sent
//   next would be held inside it) is closed and cut before the operator's own step. A stop cuts
//   the words of the channels it stops. Cut moves end STOPPED with the reason.
// - A bracket that has gone out is always closed before anything else is sent.
// Commands are built by the operator's own builders, so a script move sends exactly what Start
// sends for the same values.
class ScriptMoves {
public:
    ScriptMoves(PanelState& state, const SequencedMoves& builders, CommandLink& link);

    // A preset, relative or absolute move (`values`), or a jog, home search or scan (`cw`), of the
    // channels with `given` set; each is entered in the axis book at once.
    void Request(MoveKind kind, const std::array<QString, 4>& values, const std::array<bool, 4>& cw,
                 const std::array<bool, 4>& given, int client);
    // Commands still to send: a channel, or a bracket to close.
    bool Pending() const;
    // Every channel of the words queued, sent or not.
    std::uint8_t Channels() const;

    // One tick: a preset of every channel of the first word, or one command of it.
    void Step();
    // Cuts the words of `client` (0: anybody's) that want any of `channels`: what was still to send
    // is dropped and those moves end STOPPED, `why`; a bracket of theirs that has gone out is
    // closed (what it held starts then, for the stops that follow). A stop is not held by a bracket,
    // so other words go on. False when the closing line could not be sent.
    bool Cut(const QString& why, int client = 0, std::uint8_t channels = 0x0F);
    // Drops, without sending anything, what the words of `client` (0: anybody's) still had to send
    // and what their open bracket holds (the bracket is still closed by a later tick, withdrawing
    // it first): for a moment when nothing may be sent, such as an open setup window.
    void Drop(const QString& why, int client = 0);
    // The operator's preset, move, jog or demonstration drive of `channels` is about to be sent:
    // the words that want them are cut, and the first word if its bracket is open.
    bool YieldTo(std::uint8_t channels, const QString& why);

private:
    // Drops channels whose move has already ended (the session ended meanwhile), and words with
    // nothing left.
    void forgetEnded();
    bool bracketOpen() const;
    bool cut(const QString& why, int client, std::uint8_t channels, bool openToo);
    bool send(const QByteArray& command);
    QByteArray motionCommand(const PanelState::ScriptMoveWord& w, int ch) const;

    PanelState& state_;
    const SequencedMoves& builders_;
    CommandLink& link_;
};
