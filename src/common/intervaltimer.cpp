#include "intervaltimer.h"

IntervalTimer::IntervalTimer(QObject* parent) : QObject(parent) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &IntervalTimer::timeout);
}

void IntervalTimer::setInterval(int ms) {
    const bool changed = ms != interval_;
    interval_ = ms;
    if (ms == 0) {
        timer_.stop();
    } else {
        timer_.start(ms);
    }
    if (changed) {
        emit intervalChanged(ms);
    }
}
