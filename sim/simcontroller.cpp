#include "simcontroller.h"

#include <algorithm>

SimController::SimController(SimModel model, SimClock& clock, QObject* parent)
    : QObject(parent), m_clock(clock), m_machine(simModelInfo(model)), m_commands(m_machine) {
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &SimController::service);
    connect(&m_clock, &SimClock::advanced, this, &SimController::service);
}

void SimController::receive(const QByteArray& bytes) {
    const qint64 now = m_clock.nowUs();
    int arrived = 0;
    for (char c : bytes) {
        ++arrived;
        if (c == '\r' || c == '\n') {
            // On a paced line the command is complete only when its terminator is through.
            const qint64 due = m_faults.paceInput(now, std::exchange(arrived, 0));
            if (!m_partial.isEmpty() || m_overlong) {
                m_input.append(Pending{due, m_partial, m_overlong});
            }
            m_partial.clear();
            m_overlong = false;
        } else if (m_partial.size() < kMaxLine) {
            m_partial += c;
        } else {
            m_overlong = true;
        }
    }
    if (arrived > 0) {
        m_faults.paceInput(now, arrived);
    }
    service();
}

void SimController::service() {
    const qint64 now = m_clock.nowUs();
    while (!m_input.isEmpty() && m_input.first().dueUs <= now) {
        execute(m_input.takeFirst());
    }
    const qint64 next = m_faults.nextDueUs();
    if (next >= 0 && next <= now) {
        emit outputReady();
    }
    arm();
}

void SimController::arm() {
    if (!m_clock.isRealTime()) {
        return;
    }
    qint64 next = m_faults.nextDueUs();
    if (!m_input.isEmpty()) {
        next = next < 0 ? m_input.first().dueUs : std::min(next, m_input.first().dueUs);
    }
    if (next < 0) {
        m_timer.stop();
        return;
    }
    const qint64 waitUs = std::max<qint64>(0, next - m_clock.nowUs());
    m_timer.start(int((waitUs + 999) / 1000));
}

void SimController::execute(const Pending& command) {
    emit commandReceived(command.line);
    const QByteArray line = command.line.trimmed().toUpper();
    if (line.isEmpty() && !command.overlong) {
        return;
    }
    const bool printable =
        std::all_of(line.begin(), line.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
    const SimReply reply =
        printable && !command.overlong ? m_commands.execute(line, command.dueUs) : SimReply::error();
    switch (reply.kind) {
        case SimReply::Kind::Text:
            m_faults.queueReply(reply.text, command.dueUs);
            break;
        case SimReply::Kind::Done:
            if (m_ack) {
                m_faults.queueReply("OK", command.dueUs);
            }
            break;
        case SimReply::Kind::Refused:
            if (m_ack) {
                m_faults.queueReply("NG", command.dueUs);
            }
            break;
        case SimReply::Kind::Error:
            m_faults.queueReply("ERR", command.dueUs);
            break;
    }
}

QList<SimChunk> SimController::takeDue() {
    QList<SimChunk> due = m_faults.takeDue(m_clock.nowUs());
    arm();
    return due;
}

QByteArray SimController::takeOutput() {
    QByteArray out;
    for (const SimChunk& chunk : takeDue()) {
        out += chunk.bytes;
    }
    return out;
}

void SimController::resetLink() {
    m_partial.clear();
    m_overlong = false;
    m_input.clear();
    m_faults.resetLink();
    m_timer.stop();
}
