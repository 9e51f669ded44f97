#include "simchannel.h"

#include <algorithm>
#include <cstdlib>

namespace {
// A scan or a home search with no switch in its way runs "for ever": far enough that no test or
// demo reaches the end, near enough that the arithmetic below cannot overflow.
constexpr qint64 kEndlessRun = 10'000'000'000LL;

qint64 legDurationUs(const qint64 distance, const qint64 speed) {
    return (distance * 1'000'000 + speed - 1) / speed;
}

int directionOf(qint64 from, qint64 to) {
    return to >= from ? 1 : -1;
}
}  // namespace

bool SimChannel::atHome(qint64 physical) const {
    return (switchEnable & SimSwitch::Home) && physical >= sensors.homeLow && physical <= sensors.homeHigh;
}

qint64 SimChannel::evaluate(qint64 nowUs) const {
    if (!m_move) {
        return m_physical;
    }
    qint64 elapsed = nowUs - m_move->startUs;
    for (const Leg& leg : m_move->legs) {
        const qint64 distance = std::abs(leg.to - leg.from);
        const qint64 duration = legDurationUs(distance, m_move->speed);
        if (elapsed < duration) {
            const qint64 travelled = std::min(distance, m_move->speed * elapsed / 1'000'000);
            return leg.from + directionOf(leg.from, leg.to) * travelled;
        }
        elapsed -= duration;
    }
    return m_move->legs.isEmpty() ? m_physical : m_move->legs.last().to;
}

void SimChannel::settle(qint64 nowUs) {
    if (!m_move || nowUs < m_move->startUs + m_move->durationUs) {
        return;
    }
    m_physical = evaluate(nowUs);
    m_stopBits = m_move->endBits;
    if (m_move->zeroAtEnd) {
        m_offset = -m_physical;
    }
    const quint16 bits = m_move->endBits;
    // Settled lazily: the run ended when its time was up, not when somebody looked.
    const qint64 endUs = m_move->startUs + m_move->durationUs;
    m_move.reset();
    endRun(bits == SimStatus::StoppedAtLimit       ? SimRun::End::Limit
           : bits == SimStatus::StoppedAtSoftLimit ? SimRun::End::SoftLimit
                                                   : SimRun::End::Reached,
           endUs);
}

void SimChannel::endRun(SimRun::End why, qint64 atUs) {
    if (m_runs.empty() || m_runs.back().end != SimRun::End::Running) {
        return;
    }
    SimRun& run = m_runs.back();
    run.end = why;
    run.at = m_physical + m_offset;
    run.endUs = atUs;
}

const std::deque<SimRun>& SimChannel::runs(qint64 nowUs) {
    settle(nowUs);
    return m_runs;
}

qint64 SimChannel::physicalPosition(qint64 nowUs) {
    settle(nowUs);
    return evaluate(nowUs);
}

qint64 SimChannel::position(qint64 nowUs) {
    return physicalPosition(nowUs) + m_offset;
}

bool SimChannel::busy(qint64 nowUs) {
    settle(nowUs);
    return m_move.has_value();
}

quint16 SimChannel::status(qint64 nowUs) {
    const qint64 at = physicalPosition(nowUs);
    quint16 word = m_stopBits;
    if (m_move) {
        word |= SimStatus::Busy;
    }
    if ((switchEnable & SimSwitch::Cw) && at >= sensors.cwLimit) {
        word |= SimStatus::CwLimit;
    }
    if ((switchEnable & SimSwitch::Ccw) && at <= sensors.ccwLimit) {
        word |= SimStatus::CcwLimit;
    }
    if (atHome(at)) {
        word |= SimStatus::Home;
    }
    if (m_heldOff) {
        word |= SimStatus::HoldOff;
    }
    return word;
}

quint8 SimChannel::lampDigit(qint64 nowUs) {
    // The lamp digit carries the same four flags as bits 8..11 of the status word.
    return static_cast<quint8>((status(nowUs) >> 8) & 0xF);
}

SimChannel::Clip SimChannel::clip(qint64 from, qint64 to, bool softLimits) const {
    Clip result{to, 0};
    if (from == to) {
        return result;
    }
    const int dir = directionOf(from, to);
    // A limit switch is hit on reaching its position; a soft limit only stops a move that would
    // pass it, so a move to exactly the soft limit ends normally.
    const auto apply = [&](qint64 obstacle, bool inclusive, quint16 bit) {
        qint64 at = 0;
        if (dir * from >= dir * obstacle) {
            at = from;
        } else if (dir * result.end > dir * obstacle || (inclusive && result.end == obstacle)) {
            at = obstacle;
        } else {
            return;
        }
        if (result.bit == 0 || dir * at < dir * result.end) {
            result = Clip{at, bit};
        }
    };
    if (dir > 0 && (switchEnable & SimSwitch::Cw)) {
        apply(sensors.cwLimit, true, SimStatus::StoppedAtLimit);
    }
    if (dir < 0 && (switchEnable & SimSwitch::Ccw)) {
        apply(sensors.ccwLimit, true, SimStatus::StoppedAtLimit);
    }
    if (softLimits && (table.flags & FlagSoftLimits)) {
        const qint64 soft = (dir > 0 ? table.cwSoftLimit : table.ccwSoftLimit) - m_offset;
        apply(soft, false, SimStatus::StoppedAtSoftLimit);
    }
    return result;
}

SimChannel::Move SimChannel::planLinear(qint64 target, qint64 overshoot) const {
    Move move;
    QList<qint64> waypoints;
    if (overshoot != 0) {
        waypoints.append(target + overshoot);
    }
    waypoints.append(target);
    qint64 from = m_physical;
    for (qint64 to : waypoints) {
        const Clip c = clip(from, to, true);
        move.legs.append(Leg{from, c.end});
        if (c.bit != 0) {
            move.endBits = c.bit;
            break;
        }
        from = c.end;
    }
    return move;
}

SimChannel::Move SimChannel::planHomeSearch(int direction) const {
    Move move;
    if (atHome(m_physical)) {
        move.zeroAtEnd = true;
        return move;
    }
    const bool sensor = switchEnable & SimSwitch::Home;
    // Runs towards the sensor; a limit switch on the way turns the search round once. Finding
    // neither leaves the channel at the far limit with the limit stop condition.
    qint64 from = m_physical;
    for (int pass = 0; pass < 2; ++pass) {
        const int dir = pass == 0 ? direction : -direction;
        const qint64 edge = dir > 0 ? sensors.homeLow : sensors.homeHigh;
        const bool ahead = sensor && dir * edge > dir * from;
        const qint64 target = ahead ? edge : from + dir * kEndlessRun;
        const Clip c = clip(from, target, false);
        move.legs.append(Leg{from, c.end});
        if (c.bit == 0) {
            move.zeroAtEnd = ahead;
            return move;
        }
        from = c.end;
    }
    move.endBits = SimStatus::StoppedAtLimit;
    return move;
}

SimStart SimChannel::start(const SimMotionRequest& request, qint64 speedPps, qint64 nowUs) {
    settle(nowUs);
    if (m_heldOff) {
        return SimStart::HeldOff;
    }
    if (m_move) {
        return SimStart::Busy;
    }
    m_physical = evaluate(nowUs);
    Move move;
    using Kind = SimMotionRequest::Kind;
    switch (request.kind) {
        case Kind::Absolute:
        case Kind::Relative: {
            const qint64 target =
                request.kind == Kind::Absolute ? request.value - m_offset : m_physical + request.value;
            move = planLinear(target, request.backlash ? table.backlash : 0);
            break;
        }
        case Kind::Jog:
            move = planLinear(m_physical + request.direction * request.value, 0);
            break;
        case Kind::Scan:
            move = planLinear(m_physical + request.direction * kEndlessRun, 0);
            break;
        case Kind::HomeSearch:
            move = planHomeSearch(request.direction);
            break;
    }
    m_stopBits = 0;
    SimRun run;
    run.seq = ++m_runSeq;
    run.kind = request.kind;
    run.from = m_physical + m_offset;
    run.startUs = nowUs;
    if (request.kind == Kind::Absolute) {
        run.target = request.value;
    } else if (request.kind == Kind::Relative) {
        run.target = run.from + request.value;
    } else if (request.kind == Kind::Jog) {
        run.target = run.from + request.direction * request.value;
    }
    m_runs.push_back(run);
    if (m_runs.size() > kRunsKept) {
        m_runs.pop_front();
    }
    move.startUs = nowUs;
    move.speed = std::max<qint64>(1, speedPps);
    for (const Leg& leg : move.legs) {
        move.durationUs += legDurationUs(std::abs(leg.to - leg.from), move.speed);
    }
    m_move = move;
    settle(nowUs);
    return SimStart::Started;
}

bool SimChannel::stop(qint64 nowUs) {
    return halt(SimRun::End::Stopped, nowUs);
}

bool SimChannel::halt(SimRun::End why, qint64 nowUs) {
    settle(nowUs);
    if (!m_move) {
        return false;
    }
    m_physical = evaluate(nowUs);
    m_move.reset();
    m_stopBits = SimStatus::StoppedByCommand;
    endRun(why, nowUs);
    return true;
}

void SimChannel::setHoldOff(bool on, qint64 nowUs) {
    // A held-off motor has no holding current: a move in progress ends where it is.
    if (on) {
        halt(SimRun::End::HeldOff, nowUs);
    }
    m_heldOff = on;
}

bool SimChannel::preset(qint64 value, qint64 nowUs) {
    if (busy(nowUs)) {
        return false;
    }
    m_offset = value - m_physical;
    return true;
}

void SimChannel::placeAt(qint64 physical, qint64 nowUs) {
    settle(nowUs);
    m_move.reset();
    m_physical = physical;
    endRun(SimRun::End::Placed, nowUs);
}
