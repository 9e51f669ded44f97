#pragma once

#include <QObject>
#include <QTimer>

// A timer whose interval 0 means stopped, as the panel's sequences expect ("running" is
// "interval not 0"). Setting a non-zero interval (re)starts it.
class IntervalTimer : public QObject {
    Q_OBJECT
public:
    explicit IntervalTimer(QObject* parent = nullptr);

    void setInterval(int ms);
    int interval() const { return interval_; }
    bool running() const { return interval_ != 0; }
    // Whether timeouts are still due: false once the interval is 0, however the flag was left.
    bool ticking() const { return timer_.isActive(); }

signals:
    void timeout();
    void intervalChanged(int ms);

private:
    QTimer timer_;
    int interval_ = 0;
};
