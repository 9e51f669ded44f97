#pragma once

#include <QList>
#include <QtGlobal>
#include <deque>
#include <optional>

// Bits of the status word ("STS" reply) and of the stop condition.
namespace SimStatus {
constexpr quint16 Busy = 0x001;
constexpr quint16 StoppedByCommand = 0x020;
constexpr quint16 StoppedAtLimit = 0x040;
constexpr quint16 StoppedAtSoftLimit = 0x080;
constexpr quint16 StopConditions = 0x0E0;
constexpr quint16 CwLimit = 0x100;
constexpr quint16 CcwLimit = 0x200;
constexpr quint16 Home = 0x400;
constexpr quint16 HoldOff = 0x800;
}  // namespace SimStatus

// Bits of a channel's nibble in the limit-switch enable mask.
namespace SimSwitch {
constexpr quint8 Cw = 0x1;
constexpr quint8 Ccw = 0x2;
constexpr quint8 Home = 0x8;
}  // namespace SimSwitch

struct SimMotionRequest {
    enum class Kind { Absolute, Relative, Jog, Scan, HomeSearch };
    Kind kind = Kind::Relative;
    qint64 value = 0;   // target (absolute), distance (relative, jog)
    int direction = 1;  // +1 CW, -1 CCW (jog, scan, home search)
    bool backlash = false;
};

enum class SimStart { Started, HeldOff, Busy };

// One motion of a channel as the channel itself saw it: where it started and how it ended.
// Positions are the counter's, as the controller reports them.
struct SimRun {
    enum class End { Running, Reached, Stopped, HeldOff, Limit, SoftLimit, Placed };
    quint64 seq = 0;  // counts the channel's runs from 1
    SimMotionRequest::Kind kind = SimMotionRequest::Kind::Relative;
    qint64 from = 0;
    std::optional<qint64> target;  // none for a scan or a home search
    qint64 startUs = 0;
    End end = End::Running;
    qint64 at = 0;  // where it ended
    qint64 endUs = 0;
};

// One axis. Positions of the sensors are physical (where the switch sits on the machine); the
// position counter the controller reports is the physical position plus an offset that preset
// and home search change. Motion is evaluated lazily from the start time of the move, so the
// state at any instant is exact whatever the caller's polling rate.
class SimChannel {
public:
    struct Sensors {
        qint64 ccwLimit = -20000;
        qint64 cwLimit = 20000;
        qint64 homeLow = -10;  // the home sensor is active from homeLow to homeHigh
        qint64 homeHigh = 10;
    };
    // The channel's part of the parameter table; speeds in pulses per second.
    struct Table {
        qint64 cwSoftLimit = 15000;
        qint64 ccwSoftLimit = -15000;
        qint64 hspd = 5000;
        qint64 mspd = 2500;
        qint64 lspd = 500;
        int rate = 10;
        qint64 backlash = 0;
        quint8 flags = 0;  // 0x20 backlash mode, 0x10 soft limits enabled, 0x01 LS fast stop
    };
    static constexpr quint8 FlagSoftLimits = 0x10;

    Sensors sensors;
    Table table;
    quint8 switchEnable = SimSwitch::Cw | SimSwitch::Ccw | SimSwitch::Home;

    qint64 position(qint64 nowUs);
    qint64 physicalPosition(qint64 nowUs);
    bool busy(qint64 nowUs);
    quint16 status(qint64 nowUs);
    quint8 lampDigit(qint64 nowUs);
    bool heldOff() const { return m_heldOff; }

    SimStart start(const SimMotionRequest& request, qint64 speedPps, qint64 nowUs);
    // True when a move was running and has been stopped.
    bool stop(qint64 nowUs);
    void setHoldOff(bool on, qint64 nowUs);
    // Sets the position counter; refused while the channel moves.
    bool preset(qint64 value, qint64 nowUs);
    // Places the axis physically, for tests and start-up options.
    void placeAt(qint64 physical, qint64 nowUs);

    // The channel's own record of its last kRunsKept runs, the newest last, so that a soak run
    // can hold every outcome the panel reports against what the motor did.
    static constexpr std::size_t kRunsKept = 64;
    const std::deque<SimRun>& runs(qint64 nowUs);
    // The number the next run will carry: runs from it on started after this call.
    quint64 nextRunSeq() const { return m_runSeq + 1; }

private:
    struct Leg {
        qint64 from;
        qint64 to;
    };
    struct Move {
        QList<Leg> legs;
        qint64 startUs = 0;
        qint64 speed = 1;
        qint64 durationUs = 0;
        quint16 endBits = 0;
        bool zeroAtEnd = false;
    };
    struct Clip {
        qint64 end;
        quint16 bit;
    };

    void settle(qint64 nowUs);
    qint64 evaluate(qint64 nowUs) const;
    Clip clip(qint64 from, qint64 to, bool softLimits) const;
    Move planLinear(qint64 target, qint64 overshoot) const;
    Move planHomeSearch(int direction) const;
    bool atHome(qint64 physical) const;
    bool halt(SimRun::End why, qint64 nowUs);
    void endRun(SimRun::End why, qint64 atUs);

    qint64 m_physical = 0;
    qint64 m_offset = 0;
    quint16 m_stopBits = 0;
    bool m_heldOff = false;
    std::optional<Move> m_move;
    std::deque<SimRun> m_runs;
    quint64 m_runSeq = 0;
};
