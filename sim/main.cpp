// controller-sim: one simulated controller per link, on TCP, a pseudo-terminal or a serial device.

#include "simclock.h"
#include "simcontroller.h"
#include "simformat.h"
#include "simoptions.h"
#include "simtcpserver.h"
#include "simtty.h"

#include <sys/signalfd.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

void say(const QString& text) {
    std::fputs(qPrintable(text + '\n'), stdout);
    std::fflush(stdout);
}

void complain(const QString& text) {
    std::fputs(qPrintable("controller-sim: " + text + '\n'), stderr);
}

// SIGINT and SIGTERM arrive through a descriptor the event loop watches, so the program leaves
// through the normal path that closes its links and removes its symlink.
class SignalWatch {
public:
    SignalWatch() {
        sigset_t mask;
        sigemptyset(&mask);
        sigaddset(&mask, SIGINT);
        sigaddset(&mask, SIGTERM);
        sigprocmask(SIG_BLOCK, &mask, nullptr);
        m_fd = signalfd(-1, &mask, SFD_NONBLOCK | SFD_CLOEXEC);
        m_notifier = std::make_unique<QSocketNotifier>(m_fd, QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, QCoreApplication::instance(),
                         &QCoreApplication::quit);
    }
    ~SignalWatch() { ::close(m_fd); }
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

private:
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

class Logger {
public:
    Logger(bool enabled, QString link) : m_enabled(enabled), m_link(std::move(link)) {}
    void line(const char* direction, const QByteArray& bytes) const {
        if (m_enabled) {
            say(QDateTime::currentDateTime().toString(u"HH:mm:ss.zzz") + ' ' + m_link + ' ' +
                QLatin1String(direction) + ' ' + QString::fromLatin1(SimFormat::printable(bytes)));
        }
    }

private:
    bool m_enabled;
    QString m_link;
};

// One controller with its link; kept alive for the whole run.
struct Station {
    std::unique_ptr<SimController> controller;
    std::unique_ptr<SimTcpServer> tcp;
    std::unique_ptr<SimTtyLink> tty;
    std::unique_ptr<Logger> log;
};

std::unique_ptr<SimController> newController(const SimOptions& o, SimClock& clock, const Logger& log) {
    auto controller = std::make_unique<SimController>(o.model, clock);
    applySimOptions(o, *controller);
    QObject::connect(controller.get(), &SimController::commandReceived, controller.get(),
                     [&log](const QByteArray& line) { log.line("<", line); });
    return controller;
}

template <typename Link>
void logOutput(Link* link, const Logger& log) {
    QObject::connect(link, &Link::sent, link, [&log](const QByteArray& bytes) { log.line(">", bytes); });
}

void watchTty(SimTtyLink* tty, const QString& kind) {
    QObject::connect(tty, &SimTtyLink::deviceChanged, tty,
                     [kind](const QString& path) { say("controller-sim: " + kind + " now " + path); });
    QObject::connect(tty, &SimTtyLink::deviceLost, tty,
                     [kind](const QString& why) { complain(kind + " lost: " + why); });
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const SimOptionsResult parsed = parseSimOptions(app.arguments());
    if (parsed.exit) {
        return 0;
    }
    if (!parsed.options) {
        complain(parsed.error);
        return 2;
    }
    const SimOptions& o = *parsed.options;
    SignalWatch signalWatch;
    MonotonicClock clock;
    const SimModelInfo& info = simModelInfo(o.model);
    std::vector<Station> stations;
    QStringList where;

    if (o.listen) {
        Station s;
        s.log = std::make_unique<Logger>(o.verbose, "tcp");
        s.controller = newController(o, clock, *s.log);
        s.tcp = std::make_unique<SimTcpServer>(*s.controller);
        if (s.tcp->listen(o.listenPort, o.listenAddress) == 0) {
            complain(QStringLiteral("cannot listen on %1:%2: %3")
                         .arg(o.listenAddress.toString())
                         .arg(o.listenPort)
                         .arg(s.tcp->errorString()));
            return 2;
        }
        logOutput(s.tcp.get(), *s.log);
        QObject::connect(s.tcp.get(), &SimTcpServer::clientRefused, s.tcp.get(),
                         [](const QString& peer) { say("controller-sim: refused " + peer + " (busy)"); });
        where << QStringLiteral("tcp %1:%2").arg(o.listenAddress.toString()).arg(s.tcp->port());
        stations.push_back(std::move(s));
    }
    if (o.pty) {
        Station s;
        s.log = std::make_unique<Logger>(o.verbose, "pty");
        s.controller = newController(o, clock, *s.log);
        auto pty = std::make_unique<SimPty>(*s.controller);
        if (!pty->open(o.linkPath)) {
            complain(pty->errorString());
            return 2;
        }
        where << "pty " + pty->devicePath() +
                     (o.linkPath.isEmpty() ? QString() : " (link " + pty->linkPath() + ")");
        logOutput<SimTtyLink>(pty.get(), *s.log);
        watchTty(pty.get(), "pty");
        s.tty = std::move(pty);
        stations.push_back(std::move(s));
    }
    if (!o.serialDevice.isEmpty()) {
        Station s;
        s.log = std::make_unique<Logger>(o.verbose, "serial");
        s.controller = newController(o, clock, *s.log);
        auto serial = std::make_unique<SimSerialDevice>(*s.controller);
        if (!serial->open(o.serialDevice, o.baud > 0 ? o.baud : 9600)) {
            complain(serial->errorString());
            return 2;
        }
        where << "serial " + serial->devicePath();
        logOutput<SimTtyLink>(serial.get(), *s.log);
        watchTty(serial.get(), "serial");
        s.tty = std::move(serial);
        stations.push_back(std::move(s));
    }

    say(QStringLiteral("controller-sim: %1 (%2 channels, %3 dialect) on %4")
            .arg(QString::fromLatin1(info.name))
            .arg(info.channels)
            .arg(info.usbDialect ? "USB" : "network")
            .arg(where.join(", ")));
    const int status = QCoreApplication::exec();
    stations.clear();
    return status;
}
