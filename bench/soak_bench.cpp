// Soak run: the whole panel polls simulated controllers for a long time while the line misbehaves
// at random, and it must neither crash, grow nor stall.
//
// Sessions alternate at random between a KELDA-01 over loopback TCP and a VASKO-01 over a
// pseudo-terminal. Every few seconds a fault is switched on at random (seeded): silence (the
// session is lost with "Connection failed !"), lost, late, fragmented or noisy replies,
// service-request markers, a hang-up of the line. After every lost session the panel connects
// again through its dialog, as an operator would.
//
// The simulators run in this process, not as separate programs: faults are switched on and off
// in the middle of a session through the simulator's own setters (the program takes them only at
// start), the run is exactly repeatable from its seed, and the measured event loop is the one
// that serves both sides, so a stall anywhere is seen. The soak itself runs in a child process
// that the parent watches, so that a crash is counted instead of ending the report.
//
// Prints sessions, replies, faults injected, crashes, resident memory after the warm-up and at the
// end, and the longest time the event loop was blocked (in wall time, and the panel's own CPU
// time within any such gap). Exits non-zero when a crash happened, memory grew by 1 MiB or more,
// or the panel kept the event loop busy for 50 ms or more.
//
// The main window, the traffic monitor and the position chart are open (offscreen) unless
// --no-instruments is given, so their repaints are part of the run.
//
// Usage: soak_bench [--minutes N] [--seed S] [--no-instruments]
#include "application.h"
#include "connectdialog.h"
#include "simclock.h"
#include "simcontroller.h"
#include "simtcpserver.h"
#include "simtty.h"

#include <malloc.h>
#include <time.h>
#include <unistd.h>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPixmapCache>
#include <QProcess>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

namespace {

constexpr qint64 kGrowthLimitKiB = 1024;
constexpr double kStallLimitMs = 50.0;
constexpr int kProbeMs = 10;
constexpr int kPixmapCacheKiB = 1024;

qint64 residentKiB() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * (sysconf(_SC_PAGESIZE) / 1024) : -1;
}

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

struct Counting : MessageSink {
    void showMessage(const QString& text, const QString&, Icon) override { boxes << text; }
    QStringList boxes;
};

// One simulated controller on its link.
struct Controller {
    Controller(SimModel model, MonotonicClock& clock) : sim(model, clock), usb(model != SimModel::Kelda) {
        if (usb) {
            pty = std::make_unique<SimPty>(sim);
        } else {
            tcp = std::make_unique<SimTcpServer>(sim);
        }
    }
    bool open() { return usb ? pty->open() : tcp->listen(0) != 0; }
    void clearFaults() {
        SimFaults& f = sim.faults();
        f.setSilent(false);
        f.setDropEvery(0);
        f.setReplyDelayMs(0);
        f.setSplit(0);
        f.setSrqLineEvery(0);
        f.setSrqInsideEvery(0);
        f.setGarbageEvery(0);
        f.setHangUpAfter(0);
    }

    SimController sim;
    bool usb;
    std::unique_ptr<SimTcpServer> tcp;
    std::unique_ptr<SimPty> pty;
};

class Soak : public QObject {
public:
    Soak(int minutes, quint32 seed, bool instruments)
        : minutes_(minutes), random_(seed), seed_(seed), instruments_(instruments) {}

    int run() {
        if (!kelda_.open() || !vasko_.open()) {
            std::printf("soak_bench: cannot open the simulators' links\n");
            return 2;
        }
        connect(&app_.channel, &CommandChannel::replyDelivered, this, [this] { ++replies_; });
        connect(&app_.channel, &CommandChannel::sessionEnded, this, &Soak::sessionLost);
        connect(&app_.session, &Session::connected, this, [this] { ++sessions_; });

        // A probe timer every 10 ms: the gap between two of its ticks beyond 10 ms is time in which
        // the event loop could not run. On a loaded machine part of a gap is the scheduler's, so
        // the thread's own CPU time in the gap is kept too: it bounds what the panel itself spent.
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QElapsedTimer sinceProbe;
        double cpuAtProbeMs = 0;
        QElapsedTimer run;
        run.start();
        connect(&probe, &QTimer::timeout, this, [&] {
            const double cpuMs = threadCpuMs();
            if (sinceProbe.isValid()) {
                const double blockMs = double(sinceProbe.nsecsElapsed()) / 1e6 - kProbeMs;
                if (blockMs > longestBlockMs_) {
                    longestBlockMs_ = blockMs;
                    longestBlockAtS_ = double(run.elapsed()) / 1000;
                }
                longestBusyMs_ = std::max(longestBusyMs_, cpuMs - cpuAtProbeMs);
            }
            cpuAtProbeMs = cpuMs;
            sinceProbe.start();
        });

        QTimer faults;
        connect(&faults, &QTimer::timeout, this, [&] {
            injectFault();
            faults.start(2000 + int(random_.bounded(4000)));
        });

        const qint64 totalMs = qint64(minutes_) * 60'000;
        // Memory is counted from the end of the warm-up: at least 30 s, and with the instruments
        // open until their bounded histories are full (the traffic ring holds its last
        // kCapacity lines, the chart its last minute), since filling them is growth by design.
        QTimer warmUp;
        connect(&warmUp, &QTimer::timeout, this, [&] {
            const TrafficRecorder& recorder = app_.instruments.recorder;
            const bool full =
                !instruments_ || (recorder.endSeq() - recorder.firstSeq() >= TrafficRecorder::kCapacity &&
                                  run.elapsed() >= PositionHistory::kSpanMs);
            if (full && run.elapsed() >= 30'000) {
                rssStartKiB_ = residentKiB();
                warmUpS_ = run.elapsed() / 1000;
                warmUp.stop();
            }
        });
        warmUp.start(1000);
        // A sample a minute, to tell a plateau from a steady climb.
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this, [this] {
            rssByMinuteKiB_ << residentKiB();
            heapByMinuteKiB_ << qint64(mallinfo2().uordblks / 1024);
        });
        sampler.start(60'000);
        QEventLoop loop;
        QTimer::singleShot(int(totalMs), &loop, &QEventLoop::quit);

        if (instruments_) {
            // Open, so that the traffic monitor and the chart repaint as they would for an operator.
            app_.window.show();
            app_.instruments.showTraffic();
            app_.instruments.showChart();
        }
        reconnect();
        probe.start(kProbeMs);
        faults.start(3000);
        loop.exec();
        probe.stop();
        faults.stop();
        if (app_.state.Connected) {
            app_.session.ConnectClicked();
        }
        const qint64 rssEndKiB = residentKiB();

        std::printf("soak_bench: %d min, seed %u, 20 ms tick, instruments %s\n", minutes_, seed_,
                    instruments_ ? "open" : "closed");
        std::printf("sessions          %d\n", sessions_);
        std::printf("replies           %lld\n", replies_);
        std::printf("faults injected   %d\n", faultsInjected_);
        std::printf("boxes shown       %lld\n", qlonglong(messages_.boxes.size()));
        std::printf("resident by min  ");
        for (qint64 kib : rssByMinuteKiB_) {
            std::printf(" %lld", kib);
        }
        std::printf(" KiB\n");
        // Bytes the allocator has handed out and not had back: a climb here is live data growing,
        // a climb of the resident size alone is the allocator's own keeping.
        std::printf("heap in use by min");
        for (qint64 kib : heapByMinuteKiB_) {
            std::printf(" %lld", kib);
        }
        std::printf(" KiB\n");
        std::printf(
            "resident memory   %lld KiB after %lld s warm-up, %lld KiB at the end: growth %lld KiB (limit "
            "%lld)\n",
            rssStartKiB_, warmUpS_, rssEndKiB, rssEndKiB - rssStartKiB_, kGrowthLimitKiB);
        std::printf(
            "event loop        longest block %.1f ms wall (at %.0f s); the panel's own CPU time in any "
            "gap at most %.1f ms (limit %.0f)\n",
            longestBlockMs_, longestBlockAtS_, longestBusyMs_, kStallLimitMs);
        std::fflush(stdout);
        // Judged on the CPU time: wall gaps on a shared machine include other programs' turns.
        const bool ok = rssStartKiB_ > 0 && rssEndKiB - rssStartKiB_ < kGrowthLimitKiB &&
                        longestBusyMs_ < kStallLimitMs && sessions_ > 1 && replies_ > 0;
        return ok ? 0 : 1;
    }

private:
    void injectFault() {
        Controller& c = *current_;
        c.clearFaults();
        SimFaults& f = c.sim.faults();
        switch (random_.bounded(9)) {
            case 0:
                f.setSilent(true);  // the session is lost at the 45th tick
                break;
            case 1:
                f.setDropEvery(2 + int(random_.bounded(4)));
                break;
            case 2:
                f.setReplyDelayMs(50 + int(random_.bounded(250)));
                break;
            case 3:
                f.setSplit(1 + int(random_.bounded(4)), int(random_.bounded(6)));
                break;
            case 4:
                f.setSrqLineEvery(1 + int(random_.bounded(4)));
                break;
            case 5:
                f.setSrqInsideEvery(1 + int(random_.bounded(4)));
                break;
            case 6:
                f.setGarbageEvery(1 + int(random_.bounded(4)));
                break;
            case 7:
                f.setHangUpAfter(1 + int(random_.bounded(20)));
                break;
            default:
                break;  // a quiet spell
        }
        ++faultsInjected_;
    }

    void sessionLost() {
        // As the operator would: read the box, then connect again.
        QTimer::singleShot(100 + int(random_.bounded(200)), this, &Soak::reconnect);
    }

    void reconnect() {
        if (app_.state.Connected) {
            return;
        }
        current_ = random_.bounded(2) == 0 ? &kelda_ : &vasko_;
        current_->clearFaults();
        if (current_->usb && !current_->pty->isOpen()) {
            current_->pty->open();
        }
        app_.window
            .findChild<QRadioButton*>(current_->usb ? QStringLiteral("Option4") : QStringLiteral("Option3"))
            ->setChecked(true);
        app_.session.ConnectClicked();
        ConnectDialog* dialog = app_.session.dialog();
        if (current_->usb) {
            dialog->findChild<QComboBox*>(QStringLiteral("ComNo"))->setEditText(current_->pty->devicePath());
        } else {
            dialog->findChild<QComboBox*>(QStringLiteral("HostEdit"))
                ->setEditText(QStringLiteral("127.0.0.1"));
            dialog->findChild<QLineEdit*>(QStringLiteral("Text1"))
                ->setText(QString::number(current_->tcp->port()));
        }
        app_.session.DialogConnect();
        if (!app_.state.Connected) {
            QTimer::singleShot(500, this, &Soak::reconnect);  // the link was not ready: try again
        }
    }

    int minutes_;
    QRandomGenerator random_;
    quint32 seed_ = 0;
    bool instruments_ = true;
    QTemporaryDir dir_;
    Counting messages_;
    Application app_{QDir(dir_.path()), &messages_};
    MonotonicClock clock_;
    Controller kelda_{SimModel::Kelda, clock_};
    Controller vasko_{SimModel::Vasko, clock_};
    Controller* current_ = &kelda_;
    int sessions_ = 0;
    qint64 replies_ = 0;
    int faultsInjected_ = 0;
    qint64 rssStartKiB_ = -1;
    qint64 warmUpS_ = 0;
    QList<qint64> rssByMinuteKiB_;
    QList<qint64> heapByMinuteKiB_;
    double longestBlockMs_ = 0;
    double longestBlockAtS_ = 0;
    double longestBusyMs_ = 0;
};

// Runs the soak in a child process and reports how it ended.
int supervise(const QStringList& arguments) {
    QProcess worker;
    worker.setProcessChannelMode(QProcess::ForwardedChannels);
    worker.start(QCoreApplication::applicationFilePath(), arguments.mid(1) << QStringLiteral("--worker"));
    if (!worker.waitForStarted(5000)) {
        std::printf("soak_bench: cannot start the worker: %s\n", qPrintable(worker.errorString()));
        return 2;
    }
    worker.waitForFinished(-1);
    const bool crashed = worker.exitStatus() == QProcess::CrashExit;
    std::printf("crashes           %d\n", crashed ? 1 : 0);
    if (crashed) {
        std::printf("soak_bench: the panel crashed (signal or abort)\n");
        return 1;
    }
    return worker.exitCode();
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("The panel against simulated controllers with random faults"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("minutes"), QStringLiteral("Length of the run (default 10)."),
                      QStringLiteral("N"), QStringLiteral("10")});
    parser.addOption({QStringLiteral("seed"), QStringLiteral("Seed of the fault schedule (default 1)."),
                      QStringLiteral("S"), QStringLiteral("1")});
    parser.addOption({QStringLiteral("no-instruments"),
                      QStringLiteral("Leave the traffic monitor and the position chart closed.")});
    parser.addOption(
        {QStringLiteral("worker"), QStringLiteral("Run the soak here (used by the supervisor).")});
    parser.process(qapp);
    if (!parser.isSet(QStringLiteral("worker"))) {
        return supervise(QCoreApplication::arguments());
    }
    // Qt keeps drawn style pixmaps in an LRU cache of 10 MiB by default; the panel's changing
    // colours and captions fill it for far longer than a run, and its filling would pass for
    // growth. A small cap lets it settle within the warm-up, so what grows after is ours.
    QPixmapCache::setCacheLimit(kPixmapCacheKiB);
    const int minutes = std::max(1, parser.value(QStringLiteral("minutes")).toInt());
    const quint32 seed = parser.value(QStringLiteral("seed")).toUInt();
    Soak soak(minutes, seed, !parser.isSet(QStringLiteral("no-instruments")));
    return soak.run();
}
