#pragma once

#include <QElapsedTimer>
#include <QObject>

// Time source of the simulated controller, in microseconds. Motion, reply delays and line pacing
// all read it, so a test that steps a SteppedClock sees exactly the same machine as the program
// running on the monotonic clock.
class SimClock : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    virtual qint64 nowUs() const = 0;
    // True when time passes by itself, so waiting for a due time needs a real timer.
    virtual bool isRealTime() const = 0;

signals:
    // Emitted by clocks that move only when told to, after every step.
    void advanced();
};

class MonotonicClock : public SimClock {
    Q_OBJECT
public:
    explicit MonotonicClock(QObject* parent = nullptr);
    qint64 nowUs() const override;
    bool isRealTime() const override { return true; }

private:
    QElapsedTimer m_elapsed;
};

class SteppedClock : public SimClock {
    Q_OBJECT
public:
    using SimClock::SimClock;
    qint64 nowUs() const override { return m_nowUs; }
    bool isRealTime() const override { return false; }
    void advanceUs(qint64 us);
    void advanceMs(qint64 ms) { advanceUs(ms * 1000); }

private:
    qint64 m_nowUs = 0;
};
