#include "statusfigures.h"

#include "panelstate.h"

StatusFigures::StatusFigures(const PanelState& state, MsClock clock)
    : state_(state), clock_(std::move(clock)) {}

void StatusFigures::forgetOld(qint64 now) {
    while (!arrivals_.empty() && arrivals_.front() <= now - kWindowMs) {
        arrivals_.pop_front();
    }
}

void StatusFigures::replyDelivered() {
    const qint64 now = clock_();
    arrivals_.push_back(now);
    forgetOld(now);
    // The interpreter leaves step 4 only by taking a version reply: the model flags are this
    // session's from then on.
    if (state_.Connected && state_.PollStep != 4) {
        identified_ = true;
    }
}

void StatusFigures::sessionOpened() {
    timeoutBase_ = state_.TimeoutsSeen;
    identified_ = false;
}

int StatusFigures::repliesInWindow() {
    forgetOld(clock_());
    return int(arrivals_.size());
}

double StatusFigures::repliesPerSecond() {
    return repliesInWindow() * 1000.0 / double(kWindowMs);
}

int StatusFigures::timeouts() const {
    return state_.TimeoutsSeen - timeoutBase_;
}

QString StatusFigures::model() const {
    if (!identified_) {
        return {};
    }
    if (state_.FourChModel) {
        return QStringLiteral("VASKO-01, 4 ch");
    }
    return state_.UsbModel ? QStringLiteral("RUNEL-01, 2 ch") : QStringLiteral("KELDA-01, 2 ch");
}
