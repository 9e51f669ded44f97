#pragma once

#include "origin.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QtGlobal>
#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

enum class MoveKind : std::uint8_t { Relative, Absolute, Preset, Jog, Home, Scan };
// Accepted: asked for, its command not yet out. Held: out inside an open "S3016" bracket, so the
// controller starts it only at "S3017". Running: under way. Ended: it has an outcome.
enum class MoveState : std::uint8_t { Accepted, Held, Running, Ended };
enum class Outcome : std::uint8_t { None, Done, Stopped, Limit, Error };

// What the controller last reported for a channel. The reply interpreter fills it where it sets
// the window's controls; windows, instruments and the automation port read it.
struct AxisReport {
    QString positionText;            // exactly as shown
    std::optional<qint64> position;  // the same as a number, when it is one
    bool cw = false;
    bool ccw = false;
    bool hp = false;
    bool holdOff = false;
    bool busy = false;           // from the status replies of the USB models
    std::uint16_t stopBits = 0;  // bits 5 to 7 of the last status word
    bool statusWord = false;     // the controller reports one (the USB models)
    quint64 polls = 0;           // position-bearing replies since the program started
    qint64 polledAtMs = 0;       // when the last of them came (ms since the epoch)
};

// One move of a channel, from the moment it is asked for until it has an outcome.
struct AxisMove {
    quint64 id = 0;
    Origin origin = Origin::Operator;  // Operator, Demo, Script, or Seen for motion nobody asked for
    int client = 0;                    // the script's connection; 0 for the operator and the demo
    MoveKind kind = MoveKind::Relative;
    MoveState state = MoveState::Accepted;
    std::optional<qint64> value;   // the number its command carries
    std::optional<qint64> target;  // where it is meant to end, fixed when its command goes out
    QString stopBy;                // who sent a stop for the channel while it was under way
    bool standingAtStop = false;   // the channel had been seen to stand when that stop went out
    Outcome outcome = Outcome::None;
    QString why;      // the reason of every outcome but Done
    QString endText;  // the position shown when it ended

    // Watching for its end: only replies to queries sent after its start count.
    quint64 startLine = 0;
    std::optional<qint64> startPosition;
    std::optional<qint64> last;
    bool seenBusy = false;
    int still = 0;
    qint64 stillSinceMs = 0;             // when it went out, or when its position last changed
    std::optional<qint64> lastChangeMs;  // when its position was last seen to change
    std::optional<qint64> msPerPulse;    // its pace between the last two changes seen

    bool active() const { return state != MoveState::Ended; }
};

struct AxisEvent {
    enum class Kind { Position, Lamp, MoveEnded };
    enum class Lamp { Cw, Ccw, Hp, HoldOff };
    Kind kind = Kind::Position;
    int ch = 0;
    Lamp lamp = Lamp::Cw;  // Lamp: which one changed, and how
    bool lit = false;
    const AxisMove* move = nullptr;  // MoveEnded
};

// One record per channel: what the controller last reported and the channel's moves, with the
// rules that give every move its outcome. It also keeps the order of the lines on the link, so a
// reply is weighed against the command it answers: a status from before a move went out never
// counts for that move, and an "ERR" is laid at the door of the command that drew it.
//
// Listeners hear of new positions, lamp changes and ended moves while a reply is being
// interpreted or a command sent: they may read and record, never send.
class AxisBook {
public:
    static constexpr int kChannels = 4;
    // Polls without a change after which a channel that reports no busy bit has stopped; for
    // a slow motor, also as long as it takes for kStillPulses of its pulses at the pace it was
    // last seen to go, and a move not yet seen to go at all waits kFirstPulseMs.
    static constexpr int kStillPolls = 5;
    static constexpr int kStillPulses = 3;
    static constexpr qint64 kFirstPulseMs = 1000;
    static constexpr int kUnansweredCap = 64;

    // The link: a line went out. Queries are answered by a reply; other lines by nothing, or by
    // a refusal ("ERR", "NG") or an acknowledgement ("OK") that must not be taken as a reply.
    void lineSent(bool query);
    // A refusal or acknowledgement of a command sent before the query now awaited (or of any, when
    // none is awaited) is taken here; a refusal ends the move the command belonged to. False when
    // the text is not one, or no such command is waiting for it.
    bool takeVerdict(const QByteArray& reply, bool queryAwaited);
    // The awaited query's reply came: every command sent before it drew nothing.
    void queryAnswered();
    static bool isRefusal(const QByteArray& reply) { return reply == "ERR" || reply == "NG"; }

    // Reports, from the reply interpreter.
    void positionReported(int ch, const QString& text);
    void lampsReported(int ch, bool cw, bool ccw, bool hp, bool holdOff);
    void statusReported(int ch, std::uint16_t status, const QString& positionText);

    // Moves. A script's move is accepted before its command goes out; every other move starts
    // when its command has gone out (`held` while inside an open bracket).
    quint64 accept(int ch, MoveKind kind, std::optional<qint64> value, int client);
    void wentOut(int ch, Origin origin, MoveKind kind, std::optional<qint64> value, bool held,
                 int client = 0);
    void bracketClosed();
    void stopWentOut(int ch, const QString& who);
    // Ends a move whose command never went out.
    void drop(quint64 id, Outcome outcome, const QString& why);
    void sessionEnded(const QString& why);
    // Every move of `origin` under way ends STOPPED, `why`: something else took the channels.
    void takenOver(Origin origin, const QString& why);

    const AxisReport& report(int ch) const { return records_.at(size_t(ch)).report; }
    // The channel's newest move, under way or ended; null before any in this run.
    const AxisMove* latest(int ch) const;
    const AxisMove* find(quint64 id) const;
    // Whether a move of the origin (and, for a script, of that client; 0 for any) is under way.
    bool underWay(int ch, Origin origin, int client = 0) const;
    bool underWay(int ch) const;  // a move of anybody
    bool running(int ch) const;   // a move of anybody gone out (held or running), not merely asked for
    // Whether the channel has been seen to stand: no move under way, or the newest one has stood
    // still (and idle) for a poll after it started. What a repeated jog waits for.
    bool settled(int ch) const;
    bool underWay(Origin origin) const;

    // The clock of the still rule, ms; a monotonic one unless a test sets its own.
    void setClock(std::function<qint64()> clock) { clock_ = std::move(clock); }

    AxisBook() { monotonic_.start(); }

    int listen(std::function<void(const AxisEvent&)> listener);
    void unlisten(int token);

    // A move's position or target as the controller writes a position: +0001000.
    static QString positionText(qint64 value);
    static QString outcomeWord(Outcome outcome);

private:
    struct Record {
        AxisReport report;
        std::vector<AxisMove> moves;  // the newest last; ended ones but the newest are let go
    };
    struct Unanswered {
        quint64 line = 0;
        quint64 move = 0;  // the move its command started, 0 for none
    };

    template <class Records>
    static auto findIn(Records& records, quint64 id, int* ch) -> decltype(&records[0].moves[0]);
    AxisMove* findMutable(quint64 id, int* ch = nullptr);
    void storePosition(int ch, const QString& text);
    void evaluate(int ch, std::optional<bool> busy, std::optional<qint64> before);
    bool standing(const AxisMove& m, std::optional<qint64> now, qint64 ms) const;
    void seenMoving(int ch, std::optional<qint64> from);
    qint64 nowMs() const;
    static QString limitOf(const AxisReport& r);
    void finishSeen(int ch, AxisMove& m);
    bool stopTook(const AxisReport& r, const AxisMove& m) const;
    void finish(int ch, AxisMove& move);
    void end(int ch, AxisMove& move, Outcome outcome, const QString& why);
    void prune(int ch);
    void lamp(int ch, AxisEvent::Lamp which, bool& field, bool lit);
    void notify(const AxisEvent& event);

    std::array<Record, kChannels> records_{};
    quint64 lines_ = 0;
    quint64 queryLine_ = 0;
    std::deque<Unanswered> unanswered_;
    quint64 nextMove_ = 1;
    std::vector<std::pair<int, std::function<void(const AxisEvent&)>>> listeners_;
    int nextToken_ = 1;
    std::function<qint64()> clock_;
    QElapsedTimer monotonic_;
};
