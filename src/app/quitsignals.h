#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

// SIGTERM and SIGINT (a service stopped, a logout, Ctrl+C) are turned into an ordinary signal of
// the event loop, so the panel ends as its Quit button ends it. The handler itself only writes
// to a socket pair: nothing else is safe inside a signal handler. One at a time; the handlers are
// put back as they were when it goes.
class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

signals:
    void received(int signal);

private:
    int fds_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;

    void read();
};
