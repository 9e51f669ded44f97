// The floor under the panel's polling cost: a bare event loop that polls a controller exactly as
// often and over the same kind of link, and does nothing else. A 20 ms precise timer; each tick
// reads what the serial port holds (the panel reads its serial port at the tick; TCP is read as it
// arrives), and when the last query has been answered writes the next one. No widgets, no reply
// interpretation, no display.
//
// poll_bench runs it against the same simulator right after the panel and divides the panel's
// CPU per reply by this one's.
//
// Usage: poll_floor (--tcp HOST:PORT | --serial PATH) --query Q[,Q...] [--seconds N]
// Prints one line: "replies N cpu_us_per_reply X".
#include <sys/resource.h>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTimer>
#include <cstdio>

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A query left unanswered for this many ticks is given up, as the panel does.
constexpr int kReplyTimeoutTicks = 10;
// Polling before the measurement starts, as poll_bench lets the panel poll.
constexpr int kSettleMs = 500;

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A bare event loop polling a controller"));
    parser.addHelpOption();
    parser.addOption(
        {QStringLiteral("tcp"), QStringLiteral("Controller at HOST:PORT."), QStringLiteral("HOST:PORT")});
    parser.addOption(
        {QStringLiteral("serial"), QStringLiteral("Controller on a serial device."), QStringLiteral("PATH")});
    parser.addOption({QStringLiteral("query"), QStringLiteral("Queries sent in turn, comma-separated."),
                      QStringLiteral("Q")});
    parser.addOption({QStringLiteral("seconds"), QStringLiteral("Polling time (default 10)."),
                      QStringLiteral("N"), QStringLiteral("10")});
    parser.process(app);
    const QStringList queries = parser.value(QStringLiteral("query")).split(u',', Qt::SkipEmptyParts);
    const int seconds = std::max(1, parser.value(QStringLiteral("seconds")).toInt());
    if (queries.isEmpty() || parser.isSet(QStringLiteral("tcp")) == parser.isSet(QStringLiteral("serial"))) {
        std::fprintf(stderr, "poll_floor: give --query and one of --tcp, --serial\n");
        return 2;
    }

    QTcpSocket tcp;
    QSerialPort serial;
    const bool lan = parser.isSet(QStringLiteral("tcp"));
    if (lan) {
        const QString hostPort = parser.value(QStringLiteral("tcp"));
        tcp.connectToHost(hostPort.section(u':', 0, 0), quint16(hostPort.section(u':', 1).toUInt()));
        if (!tcp.waitForConnected(3000)) {
            std::fprintf(stderr, "poll_floor: %s\n", qPrintable(tcp.errorString()));
            return 1;
        }
    } else {
        serial.setPortName(parser.value(QStringLiteral("serial")));
        if (!serial.open(QIODevice::ReadWrite) || !serial.setBaudRate(QSerialPort::Baud9600)) {
            std::fprintf(stderr, "poll_floor: %s\n", qPrintable(serial.errorString()));
            return 1;
        }
    }
    QIODevice& link = lan ? static_cast<QIODevice&>(tcp) : serial;

    QByteArray received;
    bool awaiting = false;
    int waitTicks = 0;
    int replies = 0;
    qsizetype next = 0;
    double cpuStart = 0;
    auto take = [&](const QByteArray& data) {
        received += data;
        for (qsizetype end = received.indexOf('\n'); end >= 0; end = received.indexOf('\n')) {
            received.remove(0, end + 1);
            ++replies;
            awaiting = false;
        }
    };
    QObject::connect(&tcp, &QIODevice::readyRead, [&] { take(tcp.readAll()); });

    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(20);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (!lan) {
            take(serial.readAll());
        }
        if (awaiting && ++waitTicks <= kReplyTimeoutTicks) {
            return;
        }
        link.write(queries[next++ % queries.size()].toLatin1() + "\r\n");
        if (lan) {
            tcp.flush();
        } else {
            serial.flush();
        }
        awaiting = true;
        waitTicks = 0;
    });
    tick.start();

    // Measured after the same settling time as the panel.
    QTimer::singleShot(kSettleMs, Qt::PreciseTimer, &app, [&] {
        replies = 0;
        cpuStart = cpuSeconds();
        QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &app, &QCoreApplication::quit);
    });
    QCoreApplication::exec();
    const double cpu = cpuSeconds() - cpuStart;
    std::printf("replies %d cpu_us_per_reply %.1f\n", replies, replies > 0 ? cpu / replies * 1e6 : 0.0);
    return replies > 0 ? 0 : 1;
}
