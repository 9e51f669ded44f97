#pragma once

#include <QByteArray>
#include <QList>

// A piece of output for the link to write as one write. After a piece marked hangUp the link
// closes, as a controller that drops its line would.
struct SimChunk {
    QByteArray bytes;
    bool hangUp = false;
};

// Turns reply lines into timed pieces of output, with the faults a real line shows: silence,
// lost replies, late replies, replies in small pieces, service-request markers, line noise, a
// hang-up and a slow line. Every setter takes 0 (or false) as "off". Counting is per link
// session: resetLink starts it again.
class SimFaults {
public:
    void setSilent(bool on) { m_silent = on; }
    void setDropEvery(int n) { m_dropEvery = n; }
    void setReplyDelayMs(int ms) { m_delayUs = qint64(ms) * 1000; }
    // Pieces of `bytes` bytes, `gapMs` apart, so that a reader polling every 20 ms sees the
    // reply grow.
    void setSplit(int bytes, int gapMs = 25);
    // An "SRQ" line of its own before every Nth reply.
    void setSrqLineEvery(int n) { m_srqLineEvery = n; }
    // A marker ("SRQ", "SRQA", "SRQB", "SRQAB" in turn) in the middle of every Nth reply.
    void setSrqInsideEvery(int n) { m_srqInsideEvery = n; }
    // A NUL and two non-ASCII bytes in front of every Nth reply.
    void setGarbageEvery(int n) { m_garbageEvery = n; }
    // The link closes right after the Nth reply.
    void setHangUpAfter(int n) { m_hangUpAfter = n; }
    // Ten bit times per character both ways: 9600 baud carries 960 characters a second.
    void setBaud(int baud) { m_baud = baud; }

    bool silent() const { return m_silent; }
    int dropEvery() const { return m_dropEvery; }
    int replyDelayMs() const { return int(m_delayUs / 1000); }
    int splitBytes() const { return m_splitBytes; }
    int splitGapMs() const { return int(m_splitGapUs / 1000); }
    int srqLineEvery() const { return m_srqLineEvery; }
    int srqInsideEvery() const { return m_srqInsideEvery; }
    int garbageEvery() const { return m_garbageEvery; }
    int hangUpAfter() const { return m_hangUpAfter; }
    int baud() const { return m_baud; }

    static QByteArray garbage();

    // When `bytes` more characters that reached the link at `nowUs` have come in over the
    // paced line; `nowUs` itself when unpaced.
    qint64 paceInput(qint64 nowUs, int bytes);
    // Schedules one reply line (without terminator) produced at `atUs`.
    void queueReply(const QByteArray& line, qint64 atUs);
    QList<SimChunk> takeDue(qint64 nowUs);
    // The due time of the next piece, or -1 when nothing waits.
    qint64 nextDueUs() const { return m_queue.isEmpty() ? -1 : m_queue.first().dueUs; }
    bool hungUp() const { return m_hungUp; }
    void resetLink();

private:
    struct Timed {
        qint64 dueUs;
        SimChunk chunk;
    };
    void enqueue(const QByteArray& bytes, qint64 dueUs);
    qint64 lineTimeUs(int bytes) const;
    static bool every(int n, int count) { return n > 0 && count % n == 0; }

    bool m_silent = false;
    int m_dropEvery = 0;
    qint64 m_delayUs = 0;
    int m_splitBytes = 0;
    qint64 m_splitGapUs = 25'000;
    int m_srqLineEvery = 0;
    int m_srqInsideEvery = 0;
    int m_garbageEvery = 0;
    int m_hangUpAfter = 0;
    int m_baud = 0;

    QList<Timed> m_queue;
    int m_replies = 0;
    int m_sent = 0;
    int m_markers = 0;
    bool m_hungUp = false;
    qint64 m_lastDueUs = 0;
    qint64 m_outputFreeUs = 0;
    qint64 m_inputFreeUs = 0;
};
