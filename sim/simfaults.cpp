#include "simfaults.h"

#include <algorithm>
#include <array>

void SimFaults::setSplit(int bytes, int gapMs) {
    m_splitBytes = bytes;
    m_splitGapUs = qint64(gapMs) * 1000;
}

QByteArray SimFaults::garbage() {
    return QByteArray("\x00\xFF\x8A", 3);
}

qint64 SimFaults::lineTimeUs(int bytes) const {
    return m_baud > 0 ? qint64(bytes) * 10'000'000 / m_baud : 0;
}

qint64 SimFaults::paceInput(qint64 nowUs, int bytes) {
    if (m_baud <= 0) {
        return nowUs;
    }
    m_inputFreeUs = std::max(nowUs, m_inputFreeUs) + lineTimeUs(bytes);
    return m_inputFreeUs;
}

void SimFaults::queueReply(const QByteArray& line, qint64 atUs) {
    if (m_silent || m_hungUp) {
        return;
    }
    const int count = ++m_replies;
    if (every(m_dropEvery, count)) {
        return;
    }
    QByteArray bytes = line;
    if (every(m_srqInsideEvery, count)) {
        const std::array<const char*, 4> markers{"SRQ", "SRQA", "SRQB", "SRQAB"};
        bytes.insert(bytes.size() / 2, markers.at(std::size_t(m_markers++ % 4)));
    }
    if (every(m_garbageEvery, count)) {
        bytes.prepend(garbage());
    }
    bytes += "\r\n";
    const qint64 due = atUs + m_delayUs;
    if (every(m_srqLineEvery, count)) {
        enqueue("SRQ\r\n", due);
    }
    const int piece = m_splitBytes > 0 ? m_splitBytes : int(bytes.size());
    for (int at = 0, i = 0; at < bytes.size(); at += piece, ++i) {
        enqueue(bytes.mid(at, piece), due + i * m_splitGapUs);
    }
    if (m_hangUpAfter > 0 && ++m_sent >= m_hangUpAfter) {
        m_queue.last().chunk.hangUp = true;
        m_hungUp = true;
    }
}

void SimFaults::enqueue(const QByteArray& bytes, qint64 dueUs) {
    // Pieces leave in order; on a paced line each is due when its last character is through.
    qint64 due = std::max(dueUs, m_lastDueUs);
    if (m_baud > 0) {
        m_outputFreeUs = std::max(due, m_outputFreeUs) + lineTimeUs(int(bytes.size()));
        due = m_outputFreeUs;
    }
    m_lastDueUs = due;
    m_queue.append(Timed{due, SimChunk{bytes, false}});
}

QList<SimChunk> SimFaults::takeDue(qint64 nowUs) {
    QList<SimChunk> due;
    while (!m_queue.isEmpty() && m_queue.first().dueUs <= nowUs) {
        due.append(m_queue.takeFirst().chunk);
    }
    return due;
}

void SimFaults::resetLink() {
    m_queue.clear();
    m_replies = 0;
    m_sent = 0;
    m_markers = 0;
    m_hungUp = false;
    m_lastDueUs = 0;
    m_outputFreeUs = 0;
    m_inputFreeUs = 0;
}
