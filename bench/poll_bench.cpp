// How fast the real panel polls a controller, and what it costs.
//
// The panel (offscreen) polls a simulated controller run as a separate program, so that the
// panel's CPU time is its own: over loopback TCP (KELDA-01), over a pseudo-terminal (VASKO-01),
// and over a pseudo-terminal paced at 9600 baud. For each it prints the replies per second
// achieved against the bound set by the 20 ms tick (one query per tick when the controller
// answers within it: 50/s; at 960 characters per second a status query and its reply take about
// 24 ms, so two ticks: 25/s), the panel's CPU time per reply, and the time from the last byte of
// a reply arriving to the display showing it (median and 99th percentile).
//
// At the same time, against a second simulator on a link of the same kind, poll_floor polls the
// same way in a bare event loop (20 ms tick, one query out, one reply in, no widgets): its CPU
// per reply is the floor, and the panel's is also given as a ratio to it. Measured side by side,
// both see the same state of the machine (clock speed, idle states, other load), which moves
// either figure by a third from one minute to the next.
//
// With --instruments the traffic monitor and the position chart are open while it polls, and it
// also prints how often the chart painted and how many lines the monitor shows.
//
// Usage: poll_bench [--seconds N] [--sim PATH] [--floor PATH] [--instruments]
#include "application.h"
#include "connectdialog.h"
#include "positionchart.h"
#include "trafficmodel.h"

#include <signal.h>
#include <sys/resource.h>
#include <QApplication>
#include <QComboBox>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cstdio>

namespace {

// Counts the paint events of one window's widgets: what the panel repaints while it polls. It
// watches those widgets only: a filter on the whole application would see every timer and socket
// event too, and add its own cost to the figures measured.
struct PaintCounter : QObject {
    explicit PaintCounter(QWidget* window) : widgets_(window->findChildren<QWidget*>()) {
        widgets_ << window;
        for (QWidget* w : widgets_) {
            w->installEventFilter(this);
        }
    }
    ~PaintCounter() override {
        for (QWidget* w : widgets_) {
            w->removeEventFilter(this);
        }
    }
    bool eventFilter(QObject*, QEvent* event) override {
        paints += event->type() == QEvent::Paint ? 1 : 0;
        return false;
    }
    QList<QWidget*> widgets_;
    int paints = 0;
};

struct Silent : MessageSink {
    void showMessage(const QString& text, const QString&, Icon) override { boxes << text; }
    QStringList boxes;
};

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double percentile(QList<double> values, double p) {
    if (values.isEmpty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const auto index = qsizetype(p * double(values.size() - 1) + 0.5);
    return values[std::min(index, values.size() - 1)];
}

struct Scenario {
    QString name;
    QStringList simArgs;
    bool lan;
    double bound;          // replies per second
    QString floorQueries;  // what the panel polls there, in turn
};

struct Result {
    double rate = 0;
    double cpuPerReplyUs = 0;
    double medianMs = 0;
    double p99Ms = 0;
    int replies = 0;
    double windowPaintsPerSecond = 0;
    double chartPaintsPerSecond = 0;
    int monitorRows = 0;
    double floorCpuPerReplyUs = 0;
    QString error;
};

// The helper programs run detached, writing to files: a child QProcess would put its pipes' and
// its exit's notifiers into the event loop measured, which the program does not have.
// A simulator started with `args`; its process id, or 0 when it did not start.
qint64 startSim(const QStringList& args, const QString& simPath, const QString& log) {
    QProcess sim;
    sim.setProgram(simPath);
    sim.setArguments(args);
    sim.setStandardOutputFile(log);
    sim.setStandardErrorFile(log, QIODevice::Append);
    qint64 pid = 0;
    const bool up =
        sim.startDetached(&pid) && QTest::qWaitFor([&] { return QFileInfo(log).size() > 0; }, 3000);
    return up ? pid : 0;
}

// poll_floor on a link of the scenario's kind, started now; its one line goes to `out`.
bool startFloor(const QString& floorPath, const Scenario& s, const QString& link, int seconds,
                const QString& out) {
    QProcess floor;
    floor.setProgram(floorPath);
    floor.setArguments({QStringLiteral("--seconds"), QString::number(seconds), QStringLiteral("--query"),
                        s.floorQueries, s.lan ? QStringLiteral("--tcp") : QStringLiteral("--serial"), link});
    floor.setStandardOutputFile(out);
    floor.setStandardErrorFile(out, QIODevice::Append);
    return floor.startDetached();
}

// The floor's CPU per reply once it has printed it, or 0 when it failed.
double floorCpuPerReply(const QString& out, int seconds) {
    QByteArray line;
    // A floor that never finishes shows as a line that is not its figure, below.
    (void)QTest::qWaitFor(
        [&] {
            QFile file(out);
            line = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            return line.endsWith('\n');
        },
        (seconds + 10) * 1000);
    if (!line.startsWith("replies ")) {
        std::fprintf(stderr, "poll_floor failed: %s\n", line.constData());
        return 0;
    }
    return QString::fromLatin1(line).section(u' ', 3, 3).toDouble();
}

Result run(const Scenario& s, quint16 basePort, const QString& simPath, const QString& floorPath, int seconds,
           bool instruments) {
    Result result;
    QTemporaryDir dir;
    // One simulator for the panel and one for the floor, ended however this run ends.
    struct Sims {
        std::array<qint64, 2> pids{};
        ~Sims() {
            for (const qint64 pid : pids) {
                if (pid > 0) {
                    ::kill(pid_t(pid), SIGTERM);
                }
            }
        }
    } sims;
    std::array<QString, 2> links;  // where each is reached
    for (std::size_t i = 0; i < sims.pids.size(); ++i) {
        QStringList args = s.simArgs;
        if (s.lan) {
            links[i] = QStringLiteral("127.0.0.1:%1").arg(basePort + i);
            args << QStringLiteral("--listen") << links[i];
        } else {
            links[i] = dir.filePath(QStringLiteral("tty%1").arg(i));
            args << QStringLiteral("--pty") << QStringLiteral("--link") << links[i];
        }
        sims.pids[i] = startSim(args, simPath, dir.filePath(QStringLiteral("sim%1.log").arg(i)));
        if (sims.pids[i] == 0) {
            result.error = QStringLiteral("simulator did not start");
            return result;
        }
    }
    QTest::qWait(100);

    Silent messages;
    Application app(QDir(dir.path()), &messages);
    if (!qEnvironmentVariableIsSet("POLL_BENCH_HIDDEN")) {
        app.window.show();
    }
    app.window.findChild<QRadioButton*>(s.lan ? QStringLiteral("Option3") : QStringLiteral("Option4"))
        ->setChecked(true);
    app.session.ConnectClicked();
    ConnectDialog* dialog = app.session.dialog();
    if (s.lan) {
        dialog->findChild<QComboBox*>(QStringLiteral("HostEdit"))->setEditText(QStringLiteral("127.0.0.1"));
        dialog->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(links[0].section(u':', 1));
    } else {
        dialog->findChild<QComboBox*>(QStringLiteral("ComNo"))->setEditText(links[0]);
    }
    app.session.DialogConnect();
    if (!QTest::qWaitFor([&] { return app.state.PollStep >= 20 || (s.lan && app.state.PollStep < 4); },
                         5000)) {
        result.error = QStringLiteral("not identified: ") + messages.boxes.join(u' ');
        return result;
    }
    // The identification changes the model title and the channel columns once; the figures are
    // those of steady polling, so that repaint is left out. The floor starts now and settles as
    // long before it measures.
    const QString floorOut = dir.filePath(QStringLiteral("floor.out"));
    if (!startFloor(floorPath, s, links[1], seconds, floorOut)) {
        result.error = QStringLiteral("poll_floor did not start");
    }
    QTest::qWait(500);

    // The moment the last byte of a reply became readable by the panel. Over TCP the panel reads
    // at once, so it is the start of the data-arrival handling; over the serial link the panel
    // reads only at its tick, so it is the port's ready-read that completed a line.
    QElapsedTimer clock;
    clock.start();
    qint64 lastArrivalNs = 0;
    QObject::connect(&app.channel, &CommandChannel::bytesReceived, &app,
                     [&](const QByteArray& data, bool lan) {
                         if (lan && data.endsWith('\n')) {
                             lastArrivalNs = clock.nsecsElapsed();
                         }
                     });
    QSerialPort& port = app.channel.serialPort();
    // Paced at 9600 baud a reply comes a few bytes at a time: look at them without allocating, so
    // the probe adds as little as it can to the CPU time measured.
    QObject::connect(&port, &QIODevice::readyRead, &app, [&] {
        std::array<char, 512> buffered;
        const qint64 n = port.peek(buffered.data(), qint64(buffered.size()));
        if (n > 0 && n == port.bytesAvailable() && buffered[std::size_t(n - 1)] == '\n') {
            lastArrivalNs = clock.nsecsElapsed();
        }
    });
    QList<double> latenciesMs;
    int replies = 0;
    QObject::connect(&app.channel, &CommandChannel::replyDelivered, &app, [&](const QByteArray&, bool) {
        ++replies;
        latenciesMs << double(clock.nsecsElapsed() - lastArrivalNs) / 1e6;
    });

    if (instruments) {
        app.instruments.showTraffic();
        app.instruments.showChart();
    }
    const int paintsStart = app.instruments.chart().chart().paintCount();
    PaintCounter windowPaints(&app.window);

    const double cpuStart = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    // A plain event loop, as the program runs: QTest::qWait would poll with sleeps of its own.
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpuStart;

    result.replies = replies;
    result.rate = replies / elapsed;
    result.cpuPerReplyUs = replies > 0 ? cpu / replies * 1e6 : 0;
    result.medianMs = percentile(latenciesMs, 0.5);
    result.p99Ms = percentile(latenciesMs, 0.99);
    result.windowPaintsPerSecond = windowPaints.paints / elapsed;
    result.chartPaintsPerSecond = (app.instruments.chart().chart().paintCount() - paintsStart) / elapsed;
    result.monitorRows = app.instruments.monitor().model().rowCount();
    if (!messages.boxes.isEmpty()) {
        result.error = messages.boxes.join(u' ');
    }
    app.session.ConnectClicked();
    result.floorCpuPerReplyUs = floorCpuPerReply(floorOut, seconds);
    if (result.floorCpuPerReplyUs <= 0) {
        result.error = QStringLiteral("poll_floor failed");
    }
    return result;
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Polling rate and cost of the panel against the simulator"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("seconds"), QStringLiteral("Polling time per link (default 30)."),
                      QStringLiteral("N"), QStringLiteral("30")});
    parser.addOption({QStringLiteral("sim"), QStringLiteral("The controller-sim program."),
                      QStringLiteral("PATH"), QStringLiteral(SIM_PROGRAM)});
    parser.addOption({QStringLiteral("floor"), QStringLiteral("The poll_floor program."),
                      QStringLiteral("PATH"), QStringLiteral(FLOOR_PROGRAM)});
    parser.addOption({QStringLiteral("instruments"),
                      QStringLiteral("Poll with the traffic monitor and the position chart open.")});
    parser.process(qapp);
    const bool instruments = parser.isSet(QStringLiteral("instruments"));
    const int seconds = std::max(1, parser.value(QStringLiteral("seconds")).toInt());
    const QString simPath = parser.value(QStringLiteral("sim"));
    const QString floorPath = parser.value(QStringLiteral("floor"));

    const quint16 port = 17000 + quint16(QCoreApplication::applicationPid() % 2000);
    const QList<Scenario> scenarios = {
        {QStringLiteral("TCP, KELDA-01"),
         {QStringLiteral("--model"), QStringLiteral("KELDA-01")},
         true,
         50.0,
         QStringLiteral("S200,S202,S210,S212")},
        {QStringLiteral("pty, VASKO-01"),
         {QStringLiteral("--model"), QStringLiteral("VASKO-01")},
         false,
         50.0,
         QStringLiteral("STS0?,STS1?,STS2?,STS3?")},
        {QStringLiteral("pty at 9600 baud, VASKO-01"),
         {QStringLiteral("--model"), QStringLiteral("VASKO-01"), QStringLiteral("--baud"),
          QStringLiteral("9600")},
         false,
         25.0,
         QStringLiteral("STS0?,STS1?,STS2?,STS3?")},
    };

    std::printf("poll_bench: %d s of polling per link, 20 ms tick%s\n", seconds,
                instruments ? ", traffic monitor and position chart open" : "");
    bool allOk = true;
    for (const Scenario& s : scenarios) {
        const Result r = run(s, port, simPath, floorPath, seconds, instruments);
        if (!r.error.isEmpty()) {
            std::printf("%-28s error: %s\n", qPrintable(s.name), qPrintable(r.error));
            allOk = false;
            continue;
        }
        std::printf(
            "%-28s %6d replies  %6.2f/s of %4.1f/s bound (%.3f)  CPU %7.1f us/reply (%.2f %% of a core)  "
            "arrival->display median %.3f ms  p99 %.3f ms\n",
            qPrintable(s.name), r.replies, r.rate, s.bound, r.rate / s.bound, r.cpuPerReplyUs,
            r.cpuPerReplyUs * r.rate / 1e4, r.medianMs, r.p99Ms);
        std::printf(
            "%-28s floor (bare event loop) CPU %7.1f us/reply  panel/floor %.2f  main window %.1f paints/s\n",
            "", r.floorCpuPerReplyUs, r.cpuPerReplyUs / r.floorCpuPerReplyUs, r.windowPaintsPerSecond);
        if (instruments) {
            std::printf("%-28s chart %.1f paints/s, monitor %d lines shown\n", "", r.chartPaintsPerSecond,
                        r.monitorRows);
        }
    }
    return allOk ? 0 : 1;
}
