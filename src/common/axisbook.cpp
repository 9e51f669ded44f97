#include "axisbook.h"

#include "textfields.h"

#include <QDateTime>
#include <algorithm>

void AxisBook::lineSent(bool query) {
    ++lines_;
    if (query) {
        queryLine_ = lines_;
        return;
    }
    unanswered_.push_back(Unanswered{lines_, 0});
    if (int(unanswered_.size()) > kUnansweredCap) {
        unanswered_.pop_front();
    }
}

bool AxisBook::takeVerdict(const QByteArray& reply, bool queryAwaited) {
    if (!isRefusal(reply) && reply != "OK") {
        return false;
    }
    // Replies come in the order of the lines they answer: a verdict that arrives while a query is
    // awaited answers a command sent before that query, or else the query itself.
    if (unanswered_.empty() || (queryAwaited && unanswered_.front().line > queryLine_)) {
        return false;
    }
    const Unanswered line = unanswered_.front();
    unanswered_.pop_front();
    int ch = 0;
    AxisMove* move = line.move != 0 ? findMutable(line.move, &ch) : nullptr;
    if (move != nullptr && move->active() && isRefusal(reply)) {
        end(ch, *move, Outcome::Error,
            QStringLiteral("the controller answered ") + QString::fromLatin1(reply));
        prune(ch);
    }
    return true;
}

void AxisBook::queryAnswered() {
    while (!unanswered_.empty() && unanswered_.front().line < queryLine_) {
        unanswered_.pop_front();
    }
}

void AxisBook::positionReported(int ch, const QString& text) {
    const std::optional<qint64> before = report(ch).position;
    storePosition(ch, text);
    evaluate(ch, std::nullopt, before);
}

void AxisBook::storePosition(int ch, const QString& text) {
    AxisReport& r = records_.at(size_t(ch)).report;
    r.positionText = text;
    r.position = TextFields::wholeNumber(text);
    ++r.polls;
    r.polledAtMs = QDateTime::currentMSecsSinceEpoch();
    AxisEvent event;
    event.kind = AxisEvent::Kind::Position;
    event.ch = ch;
    notify(event);
}

void AxisBook::lamp(int ch, AxisEvent::Lamp which, bool& field, bool lit) {
    if (field == lit) {
        return;
    }
    field = lit;
    AxisEvent event;
    event.kind = AxisEvent::Kind::Lamp;
    event.ch = ch;
    event.lamp = which;
    event.lit = lit;
    notify(event);
}

void AxisBook::lampsReported(int ch, bool cw, bool ccw, bool hp, bool holdOff) {
    AxisReport& r = records_.at(size_t(ch)).report;
    lamp(ch, AxisEvent::Lamp::Cw, r.cw, cw);
    lamp(ch, AxisEvent::Lamp::Ccw, r.ccw, ccw);
    lamp(ch, AxisEvent::Lamp::Hp, r.hp, hp);
    lamp(ch, AxisEvent::Lamp::HoldOff, r.holdOff, holdOff);
}

void AxisBook::statusReported(int ch, std::uint16_t status, const QString& positionText) {
    lampsReported(ch, status & 0x100, status & 0x200, status & 0x400, status & 0x800);
    AxisReport& r = records_.at(size_t(ch)).report;
    r.busy = status & 0x001;
    r.stopBits = status & 0x0E0;
    r.statusWord = true;
    const std::optional<qint64> before = r.position;
    storePosition(ch, positionText);
    evaluate(ch, r.busy, before);
}

quint64 AxisBook::accept(int ch, MoveKind kind, std::optional<qint64> value, int client) {
    AxisMove move;
    move.id = nextMove_++;
    move.origin = Origin::Script;
    move.client = client;
    move.kind = kind;
    move.value = value;
    records_.at(size_t(ch)).moves.push_back(move);
    prune(ch);
    return move.id;
}

void AxisBook::wentOut(int ch, Origin origin, MoveKind kind, std::optional<qint64> value, bool held,
                       int client) {
    Record& r = records_.at(size_t(ch));
    AxisMove* move = nullptr;
    for (AxisMove& m : r.moves) {
        if (m.state == MoveState::Accepted && m.origin == origin && m.client == client && m.kind == kind) {
            move = &m;
        }
    }
    if (move == nullptr) {
        AxisMove fresh;
        fresh.id = nextMove_++;
        fresh.origin = origin;
        fresh.client = client;
        fresh.kind = kind;
        r.moves.push_back(fresh);
        move = &r.moves.back();
    }
    move->value = value;
    move->state = held ? MoveState::Held : MoveState::Running;
    move->startLine = lines_;
    move->startPosition = move->last = r.report.position;
    move->stillSinceMs = nowMs();
    if (value && (kind == MoveKind::Absolute || kind == MoveKind::Preset)) {
        move->target = value;
    } else if (value && kind == MoveKind::Relative && r.report.position) {
        move->target = *r.report.position + *value;
    }
    if (!unanswered_.empty() && unanswered_.back().line == lines_) {
        unanswered_.back().move = move->id;
    }
    prune(ch);
}

void AxisBook::bracketClosed() {
    for (Record& r : records_) {
        for (AxisMove& m : r.moves) {
            if (m.state == MoveState::Held) {
                m.state = MoveState::Running;
                m.startLine = lines_;
                m.startPosition = m.last = r.report.position;
                m.stillSinceMs = nowMs();
            }
        }
    }
}

void AxisBook::stopWentOut(int ch, const QString& who) {
    const qint64 ms = nowMs();
    for (AxisMove& m : records_.at(size_t(ch)).moves) {
        if (m.active() && m.stopBy.isEmpty()) {
            m.stopBy = who;
            // A stop that comes after the motor ended by itself (at its end, a switch) stopped
            // nothing; where no status word says so, standing still by then is what tells it.
            m.standingAtStop = m.state == MoveState::Running && m.still >= 1 &&
                               ms - m.stillSinceMs >= (m.msPerPulse ? kStillPulses * *m.msPerPulse : 0);
        }
    }
}

bool AxisBook::stopTook(const AxisReport& r, const AxisMove& m) const {
    if (m.stopBy.isEmpty()) {
        return false;
    }
    if (r.statusWord) {
        // The status word tells a stop by command, or by a limit; a move that never went anywhere
        // and met no limit was stopped (or withdrawn from its bracket) before it could.
        const bool went = m.seenBusy || (m.startPosition && r.position != m.startPosition);
        return (r.stopBits & 0x020) || (!went && !(r.stopBits & 0x0C0));
    }
    // A motor standing at a limit switch got there by itself: the stop came too late.
    return !m.standingAtStop && !r.cw && !r.ccw;
}

void AxisBook::drop(quint64 id, Outcome outcome, const QString& why) {
    int ch = 0;
    AxisMove* move = findMutable(id, &ch);
    if (move != nullptr && move->active()) {
        end(ch, *move, outcome, why);
        prune(ch);
    }
}

void AxisBook::sessionEnded(const QString& why) {
    for (int ch = 0; ch < kChannels; ++ch) {
        for (AxisMove& m : records_[size_t(ch)].moves) {
            if (m.active()) {
                end(ch, m, Outcome::Error, why);
            }
        }
        prune(ch);
        // Nothing a controller said in one session is shown or used in the next.
        AxisReport& r = records_[size_t(ch)].report;
        const quint64 polls = r.polls;
        r = AxisReport{};
        r.polls = polls;
    }
    unanswered_.clear();
}

qint64 AxisBook::nowMs() const {
    return clock_ ? clock_() : monotonic_.elapsed();
}

void AxisBook::takenOver(Origin origin, const QString& why) {
    for (int ch = 0; ch < kChannels; ++ch) {
        bool wentOn = false;
        for (AxisMove& m : records_[size_t(ch)].moves) {
            if (m.active() && m.origin == origin) {
                wentOn = wentOn || m.state == MoveState::Running;
                end(ch, m, Outcome::Stopped, why);
            }
        }
        // What its motor goes on doing is motion seen until the channel stands.
        if (wentOn && !running(ch)) {
            seenMoving(ch, report(ch).position);
        }
        prune(ch);
    }
}

void AxisBook::evaluate(int ch, std::optional<bool> busy, std::optional<qint64> before) {
    Record& r = records_.at(size_t(ch));
    const std::optional<qint64> now = r.report.position;
    const qint64 ms = nowMs();
    for (AxisMove& m : r.moves) {
        // A reply to a query sent before the move started tells nothing about it.
        if (m.state != MoveState::Running || (m.startLine >= queryLine_ && m.origin != Origin::Seen)) {
            continue;
        }
        bool ended = false;
        if (busy && *busy) {
            m.seenBusy = true;
            m.still = 0;
        } else if (busy) {
            // Idle after it was seen busy, or somewhere else than where it started (a short move
            // ends between two polls), or where it was meant to go: over. A move that never shows
            // any of these is over once it has stood still for a while.
            const bool moved = m.startPosition && now != m.startPosition;
            const bool there = m.target && now == m.target;
            ended = m.seenBusy || moved || there || ++m.still >= kStillPolls;
        } else {
            if (now != m.last) {
                // Its pace, from two changes seen: a slow motor stands still between its pulses.
                const qint64 pulses = now && m.last ? std::abs(*now - *m.last) : 0;
                if (pulses > 0 && m.lastChangeMs) {
                    m.msPerPulse = (ms - *m.lastChangeMs) / pulses;
                }
                m.lastChangeMs = ms;
                m.still = 0;
                m.stillSinceMs = ms;
            } else {
                ++m.still;
            }
            ended = standing(m, now, ms);
        }
        m.last = now;
        if (ended) {
            finish(ch, m);
        }
    }
    // Motion that no move gone out accounts for (a scan typed in the send box, a script's raw
    // line) is a move all the same, so every client sees the channel move and then stand. It is
    // weighed from the next reply on.
    const bool moving = busy ? *busy : (before && now && *before != *now);
    if (moving && !running(ch)) {
        seenMoving(ch, before);
    }
    prune(ch);
}

void AxisBook::seenMoving(int ch, std::optional<qint64> from) {
    Record& r = records_.at(size_t(ch));
    AxisMove seen;
    seen.id = nextMove_++;
    seen.origin = Origin::Seen;
    seen.kind = MoveKind::Scan;
    seen.state = MoveState::Running;
    seen.startPosition = from;
    seen.last = r.report.position;
    seen.seenBusy = r.report.busy;
    seen.stillSinceMs = nowMs();
    if (from != r.report.position) {
        seen.lastChangeMs = seen.stillSinceMs;
    }
    r.moves.push_back(seen);
}

bool AxisBook::standing(const AxisMove& m, std::optional<qint64> now, qint64 ms) const {
    if (m.still < kStillPolls) {
        return false;
    }
    // Where it was meant to go it has arrived; anywhere else it may only be between two pulses.
    if (m.target && now == m.target) {
        return true;
    }
    const qint64 quiet = m.msPerPulse ? kStillPulses * *m.msPerPulse : kFirstPulseMs;
    return ms - m.stillSinceMs >= quiet;
}

void AxisBook::finish(int ch, AxisMove& m) {
    const AxisReport& r = records_.at(size_t(ch)).report;
    if (m.origin == Origin::Seen) {
        finishSeen(ch, m);
        return;
    }
    const bool there = m.target && r.position == m.target;
    if (m.kind == MoveKind::Preset) {
        end(ch, m, there ? Outcome::Done : Outcome::Error,
            QStringLiteral("the counter reads %1").arg(r.positionText));
        return;
    }
    if (there) {
        end(ch, m, Outcome::Done, QString());
        return;
    }
    if (stopTook(r, m)) {
        end(ch, m, Outcome::Stopped, m.stopBy);
        return;
    }
    const bool toEnd = m.kind == MoveKind::Jog || m.kind == MoveKind::Home || m.kind == MoveKind::Scan;
    const QString limit = limitOf(r);
    // Jog, home search and scan end where the controller ends them, a scan at its limit.
    if (toEnd || (!m.target && limit.isEmpty())) {
        end(ch, m, Outcome::Done, QString());
    } else if (!limit.isEmpty()) {
        end(ch, m, Outcome::Limit, limit);
    } else {
        end(ch, m, Outcome::Error,
            r.holdOff ? QStringLiteral("the channel is held off")
                      : QStringLiteral("it stopped short of its target"));
    }
}

QString AxisBook::limitOf(const AxisReport& r) {
    if (r.cw) {
        return QStringLiteral("CW limit");
    }
    if (r.ccw) {
        return QStringLiteral("CCW limit");
    }
    if (r.stopBits & 0x080) {
        return QStringLiteral("soft limit");
    }
    if (r.stopBits & 0x040) {
        return QStringLiteral("limit switch");
    }
    return {};
}

void AxisBook::finishSeen(int ch, AxisMove& m) {
    const AxisReport& r = records_.at(size_t(ch)).report;
    const QString limit = limitOf(r);
    if (stopTook(r, m)) {
        end(ch, m, Outcome::Stopped, m.stopBy);
    } else if (!limit.isEmpty()) {
        end(ch, m, Outcome::Limit, limit);
    } else {
        end(ch, m, Outcome::Done, QString());
    }
}

void AxisBook::end(int ch, AxisMove& m, Outcome outcome, const QString& why) {
    m.state = MoveState::Ended;
    m.outcome = outcome;
    m.why = outcome == Outcome::Done ? QString() : why;
    m.endText = records_.at(size_t(ch)).report.positionText;
    AxisEvent event;
    event.kind = AxisEvent::Kind::MoveEnded;
    event.ch = ch;
    event.move = &m;
    notify(event);
}

void AxisBook::prune(int ch) {
    std::vector<AxisMove>& moves = records_.at(size_t(ch)).moves;
    for (size_t i = 0; i + 1 < moves.size();) {
        if (!moves[i].active()) {
            moves.erase(moves.begin() + std::ptrdiff_t(i));
        } else {
            ++i;
        }
    }
}

const AxisMove* AxisBook::latest(int ch) const {
    const std::vector<AxisMove>& moves = records_.at(size_t(ch)).moves;
    return moves.empty() ? nullptr : &moves.back();
}

template <class Records>
auto AxisBook::findIn(Records& records, quint64 id, int* ch) -> decltype(&records[0].moves[0]) {
    for (int c = 0; c < kChannels; ++c) {
        for (auto& m : records[size_t(c)].moves) {
            if (m.id == id) {
                if (ch != nullptr) {
                    *ch = c;
                }
                return &m;
            }
        }
    }
    return nullptr;
}

const AxisMove* AxisBook::find(quint64 id) const {
    return findIn(records_, id, nullptr);
}

AxisMove* AxisBook::findMutable(quint64 id, int* ch) {
    return findIn(records_, id, ch);
}

bool AxisBook::underWay(int ch, Origin origin, int client) const {
    const std::vector<AxisMove>& moves = records_.at(size_t(ch)).moves;
    return std::any_of(moves.begin(), moves.end(), [&](const AxisMove& m) {
        return m.active() && m.origin == origin && (client == 0 || m.client == client);
    });
}

bool AxisBook::running(int ch) const {
    const std::vector<AxisMove>& moves = records_.at(size_t(ch)).moves;
    return std::any_of(moves.begin(), moves.end(), [](const AxisMove& m) {
        return m.state == MoveState::Running || m.state == MoveState::Held;
    });
}

bool AxisBook::underWay(int ch) const {
    const std::vector<AxisMove>& moves = records_.at(size_t(ch)).moves;
    return std::any_of(moves.begin(), moves.end(), [](const AxisMove& m) { return m.active(); });
}

bool AxisBook::settled(int ch) const {
    const std::vector<AxisMove>& moves = records_.at(size_t(ch)).moves;
    return std::all_of(moves.begin(), moves.end(), [](const AxisMove& m) {
        return !m.active() || (m.state == MoveState::Running && m.still >= 1);
    });
}

bool AxisBook::underWay(Origin origin) const {
    for (int ch = 0; ch < kChannels; ++ch) {
        if (underWay(ch, origin)) {
            return true;
        }
    }
    return false;
}

int AxisBook::listen(std::function<void(const AxisEvent&)> listener) {
    listeners_.emplace_back(nextToken_, std::move(listener));
    return nextToken_++;
}

void AxisBook::unlisten(int token) {
    std::erase_if(listeners_, [token](const auto& l) { return l.first == token; });
}

void AxisBook::notify(const AxisEvent& event) {
    // A listener may come or go meanwhile: the list is walked as it stood.
    const auto listeners = listeners_;
    for (const auto& l : listeners) {
        l.second(event);
    }
}

QString AxisBook::positionText(qint64 value) {
    return TextFields::signedPadded(value, 7);
}

QString AxisBook::outcomeWord(Outcome outcome) {
    switch (outcome) {
        case Outcome::Done:
            return QStringLiteral("DONE");
        case Outcome::Stopped:
            return QStringLiteral("STOPPED");
        case Outcome::Limit:
            return QStringLiteral("LIMIT");
        case Outcome::Error:
            return QStringLiteral("ERROR");
        case Outcome::None:
            break;
    }
    return QStringLiteral("MOVING");
}
