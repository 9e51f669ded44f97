// What the automation port costs the panel, and how quickly it answers.
//
// The panel (offscreen) polls a simulated KELDA-01 over loopback TCP. A script in a thread of its
// own, on its own socket, first stays quiet, then asks `POS? A` a thousand times a second. For
// the loud phase it prints the round trips of the queries (median, 99th percentile, worst), and
// for both the replies per second the polling achieved, with their ratio: the queries are answered
// from what the polling has shown, so they must neither add wire traffic nor slow the polling.
//
// Usage: automation_bench [--seconds N]
#include "application.h"
#include "automationserver.h"
#include "simpanel.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

namespace {
// An event loop that runs flat out: QTest::qWait would sleep between its rounds.
void spin(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int repliesDuring(Application& app, int seconds) {
    int replies = 0;
    const auto c = QObject::connect(&app.channel, &CommandChannel::replyDelivered, [&replies] { ++replies; });
    spin(seconds * 1000);
    QObject::disconnect(c);
    return replies;
}
}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption secondsOption(QStringLiteral("seconds"), QStringLiteral("Length of each phase"),
                                           QStringLiteral("N"), QStringLiteral("5"));
    parser.addOption(secondsOption);
    parser.addHelpOption();
    parser.process(qapp);
    const int seconds = std::max(1, parser.value(secondsOption).toInt());

    SimPanel p(SimModel::Kelda);
    QString error;
    const QString tokenPath = p.dir.filePath(QStringLiteral("token"));
    if (!p.connect() || !p.app->startAutomation(0, tokenPath, &error)) {
        std::fprintf(stderr, "automation_bench: no session or no port: %s\n", qPrintable(error));
        return 1;
    }
    QFile tokenFile(tokenPath);
    tokenFile.open(QIODevice::ReadOnly);
    const QByteArray token = tokenFile.readAll().trimmed();
    const quint16 port = p.app->automation()->port();

    const int quiet = repliesDuring(*p.app, seconds);

    std::atomic<bool> stop{false};
    std::vector<qint64> rtt;  // ns
    int failures = 0;
    QThread* script = QThread::create([&] {
        QTcpSocket s;
        s.connectToHost(QHostAddress::LocalHost, port);
        if (!s.waitForConnected(3000)) {
            ++failures;
            return;
        }
        s.write("SYST:AUTH \"" + token + "\"\n");
        QElapsedTimer pace;
        pace.start();
        qint64 n = 0;
        while (!stop) {
            // One query a millisecond, on average.
            const qint64 due = n * 1000000;
            while (pace.nsecsElapsed() < due) {
                QThread::usleep(200);
            }
            ++n;
            QElapsedTimer t;
            t.start();
            s.write("POS? A\n");
            while (!s.canReadLine() && s.waitForReadyRead(1000)) {
            }
            if (!s.canReadLine()) {
                failures += stop ? 0 : 1;  // the last one may meet the end of the run
                continue;
            }
            s.readLine();
            rtt.push_back(t.nsecsElapsed());
        }
    });
    script->start();
    spin(300);  // connected and past the token
    const int loud = repliesDuring(*p.app, seconds);
    stop = true;
    while (!script->wait(1)) {
        QCoreApplication::processEvents();
    }
    delete script;

    std::sort(rtt.begin(), rtt.end());
    const auto at = [&rtt](double q) {
        return rtt.empty() ? 0.0 : rtt[std::size_t(q * (rtt.size() - 1))] / 1e6;
    };
    std::printf("automation_bench: KELDA-01 over TCP, %d s a phase\n", seconds);
    std::printf(
        "  POS? round trips: %zu answered (%.0f/s), %d failed; median %.3f ms, p99 %.3f ms, worst %.3f ms\n",
        rtt.size(), rtt.size() / double(seconds + 0.3), failures, at(0.5), at(0.99), at(1.0));
    // The 20 ms tick bounds the polling at one reply a tick.
    constexpr double kBound = 50.0;
    std::printf(
        "  polling: %.1f replies/s quiet (%.3f of the bound), %.1f replies/s with the queries (%.3f of "
        "the bound); loud to quiet %.3f\n",
        quiet / double(seconds), quiet / (seconds * kBound), loud / double(seconds),
        loud / (seconds * kBound), quiet > 0 ? double(loud) / quiet : 0.0);
    return failures == 0 ? 0 : 1;
}
