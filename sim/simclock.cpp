#include "simclock.h"

MonotonicClock::MonotonicClock(QObject* parent) : SimClock(parent) {
    m_elapsed.start();
}

qint64 MonotonicClock::nowUs() const {
    return m_elapsed.nsecsElapsed() / 1000;
}

void SteppedClock::advanceUs(qint64 us) {
    m_nowUs += us;
    emit advanced();
}
