#pragma once

#include "msclock.h"

#include <QString>
#include <deque>

struct PanelState;

// The figures of the main window's status bar, apart from any widget: replies per second
// actually achieved over a sliding window, time-outs since the session opened, and the model the
// panel identified in this session.
class StatusFigures {
public:
    static constexpr qint64 kWindowMs = 2000;

    StatusFigures(const PanelState& state, MsClock clock);

    // One reply handed to the reply interpreter. Constant time, amortised.
    void replyDelivered();
    // A new session starts counting afresh and identifies its controller again.
    void sessionOpened();

    // Replies whose arrival lies within the last kWindowMs, and that count per second.
    int repliesInWindow();
    double repliesPerSecond();
    int timeouts() const;
    // "VASKO-01, 4 ch" once the version reply has been taken in this session, else empty.
    QString model() const;

private:
    void forgetOld(qint64 now);

    const PanelState& state_;
    MsClock clock_;
    std::deque<qint64> arrivals_;
    int timeoutBase_ = 0;
    bool identified_ = false;
};
