// The command channel over a real loopback TCP connection and a real pseudo-terminal.
#include "commandchannel.h"
#include "fakepanelview.h"
#include "intervaltimer.h"
#include "panelstate.h"
#include "receivebuffer.h"
#include "recordingmessages.h"
#include "replysink.h"
#include "testpty.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>
#include <memory>

namespace {
struct RecordingSink : ReplySink {
    void InterpretReply(const QByteArray& reply) override { replies.append(reply); }
    QByteArrayList replies;
};
}  // namespace

class TstLink : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void commandArrivesByteExact();
    void assembly_data();
    void assembly();
    void sendFailureEndsSession_data();
    void sendFailureEndsSession();
    void capKeepsEveryGoodLineWhereverSplit();
    void closingSendsWhatWasWritten_data();
    void closingSendsWhatWasWritten();

private:
    void connectTcp();
    void feedNet(const QByteArrayList& pieces);
    void openAndFeed(bool lan, const QByteArrayList& pieces);

    PanelState state;
    FakePanelView view;
    RecordingMessages messages;
    std::unique_ptr<IntervalTimer> timer2;
    std::unique_ptr<CommandChannel> channel;
    RecordingSink sink;
    std::unique_ptr<QTcpServer> server;
    QTcpSocket* peer = nullptr;
    std::unique_ptr<TestPty> pty;
};

void TstLink::init() {
    state = PanelState{};
    view = FakePanelView{};
    messages = RecordingMessages{};
    sink = RecordingSink{};
    timer2 = std::make_unique<IntervalTimer>();
    channel = std::make_unique<CommandChannel>(state, view, messages, *timer2);
    channel->setReplySink(&sink);
    server = std::make_unique<QTcpServer>();
    QVERIFY(server->listen(QHostAddress::LocalHost, 0));
    peer = nullptr;
}

void TstLink::cleanup() {
    channel.reset();
    pty.reset();
    server.reset();
}

void TstLink::connectTcp() {
    view.lan = true;
    channel->openTcp(QStringLiteral("127.0.0.1"), server->serverPort());
    QVERIFY(server->waitForNewConnection(2000));
    peer = server->nextPendingConnection();
    QTRY_COMPARE(channel->tcpSocket().state(), QAbstractSocket::ConnectedState);
}

void TstLink::feedNet(const QByteArrayList& pieces) {
    qsizetype received = 0;
    QObject scope;
    connect(channel.get(), &CommandChannel::bytesReceived, &scope,
            [&received](const QByteArray& data, bool) { received += data.size(); });
    qsizetype sent = 0;
    for (const QByteArray& piece : pieces) {
        peer->write(piece);
        peer->flush();
        sent += piece.size();
        // Each piece becomes its own data-arrival event before the next is written.
        QTRY_COMPARE(received, sent);
    }
}

// (Over TCP: every byte of an 8 MiB command and nothing more, in closingSendsWhatWasWritten.)
void TstLink::commandArrivesByteExact() {
    TestPty pty;
    QVERIFY(pty.ok());
    view.lan = false;
    QVERIFY(channel->openSerial(pty.slavePath()));
    QVERIFY(channel->SendCommand("STS0?\r\n", Origin::Polling));
    QCOMPARE(pty.read(7), QByteArray("STS0?\r\n"));
    QVERIFY(messages.boxes.isEmpty());
}

// Over TCP each piece is its own data arrival; the USB path reads only when the tick polls it, and
// the pty holds a few KiB: written in chunks, each polled in as the tick would.
void TstLink::openAndFeed(bool lan, const QByteArrayList& pieces) {
    if (lan) {
        connectTcp();
        feedNet(pieces);
        return;
    }
    pty = std::make_unique<TestPty>();
    QVERIFY(pty->ok());
    QVERIFY(channel->openSerial(pty->slavePath()));
    for (const QByteArray& piece : pieces) {
        for (qsizetype at = 0; at < piece.size(); at += 1024) {
            const QByteArray chunk = piece.mid(at, 1024);
            pty->write(chunk);
            QTRY_COMPARE(channel->serialPort().bytesAvailable(), qint64(chunk.size()));
            channel->PollUsbInput();
        }
    }
}

// Pieces as they arrive, the reply texts the interpreter must be handed, and what waits for more.
void TstLink::assembly_data() {
    QTest::addColumn<bool>("lan");
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QByteArrayList>("handed");
    QTest::addColumn<QByteArray>("left");
    const QByteArrayList good{"P0+0001000\r\n"};
    for (const bool lan : {true, false}) {
        const auto row = [lan](const char* name, const QByteArrayList& pieces, const QByteArrayList& handed,
                               const QByteArray& left = {}) {
            QTest::addRow("%s: %s", lan ? "LAN" : "USB", name) << lan << pieces << handed << left;
        };
        row("whole line", good, good);
        row("CR and LF split", {"L05\r", "\n"}, {"L05\r\n"});
        row("CR alone does not complete", {"L05\r"}, {}, "L05\r");
        row("line and a start, then the rest", {"L05\r\nP0+00", "01000\r\n"}, {"L05\r\nP0+0001000\r\n"});
        row("LF in the middle does not split", {"AB\nCD"}, {}, "AB\nCD");
        row("bare LF completes", {"VER\n"}, {"VER\n"});
        // An overlong line is discarded up to its line feed (every split of one: below).
        row("a flood without LF", {QByteArray(3 * CommandChannel::kBufferCap, 'x'), "yyy\r\n" + good[0]},
            good);
    }
}

void TstLink::assembly() {
    QFETCH(bool, lan);
    QFETCH(QByteArrayList, pieces);
    openAndFeed(lan, pieces);
    QTEST(sink.replies, "handed");
    QTEST(lan ? state.NetRxBuffer : state.UsbRxBuffer, "left");
}

void TstLink::sendFailureEndsSession_data() {
    QTest::addColumn<bool>("lan");
    // A socket still connecting is not yet a link; never started, refused or closed by its peer
    // (tst_hangups) it is unconnected, as a port never opened is closed.
    QTest::newRow("LAN still connecting") << true;
    QTest::newRow("USB port closed") << false;
}

void TstLink::sendFailureEndsSession() {
    QFETCH(bool, lan);
    view.lan = lan;
    if (lan) {
        // Connecting completes in the event loop, so a send right after it finds it unfinished.
        channel->openTcp(QStringLiteral("127.0.0.1"), server->serverPort());
        QVERIFY(channel->tcpSocket().state() != QAbstractSocket::ConnectedState);
    }
    state.Connected = true;
    timer2->setInterval(20);
    view.connectCaption = QStringLiteral("Disconnect");
    view.connectColour = view.quitColour = Bgr::LightYellow;
    // The box must find the session already ended: ticks may run while it is open.
    bool endedWhenShown = false;
    messages.onShow = [&](const RecordingMessages::Box&) {
        endedWhenShown = !state.Connected && !timer2->running();
    };

    QVERIFY(!channel->SendCommand("VER?\r\n", Origin::Polling));
    QCOMPARE(messages.texts(), QStringList{"Not connected !"});
    QVERIFY(messages.boxes.first().title.isEmpty());
    QVERIFY(endedWhenShown);
    QVERIFY(!state.Connected);
    QVERIFY(!timer2->running());
    QCOMPARE(view.connectCaption, QStringLiteral("Connect"));
    QCOMPARE(view.connectColour, Bgr::ButtonFace);
    QCOMPARE(view.quitColour, Bgr::ButtonFace);
    channel->closeTcp();
}

void TstLink::capKeepsEveryGoodLineWhereverSplit() {
    // Cap 8: "1234567\r\n" is one past it and goes, "123456\r\n" is at it and stays; a piece that
    // ends inside "LONGLONGLONG" outgrows the cap before its line feed arrives.
    const QByteArray sample = "ab\r\n1234567\r\n123456\r\nLONGLONGLONG\r\nXY\r\n";
    const QByteArray good = "ab\r\n123456\r\nXY\r\n";
    for (qsizetype i = 0; i <= sample.size(); ++i) {
        for (qsizetype j = i; j <= sample.size(); ++j) {
            QByteArray buffer;
            bool discarding = false;
            QByteArray handed;
            for (const QByteArrayView piece :
                 {QByteArrayView(sample).first(i), QByteArrayView(sample).sliced(i, j - i),
                  QByteArrayView(sample).sliced(j)}) {
                for (const QByteArray& reply : gatherReceived(buffer, discarding, piece, 8)) {
                    QVERIFY2(reply.endsWith('\n'), qPrintable(QStringLiteral("split %1,%2").arg(i).arg(j)));
                    handed += reply;
                }
            }
            QVERIFY2(
                handed == good && buffer.isEmpty() && !discarding,
                qPrintable(
                    QStringLiteral("split %1,%2 handed %3").arg(i).arg(j).arg(QString::fromLatin1(handed))));
        }
    }
}

void TstLink::closingSendsWhatWasWritten_data() {
    QTest::addColumn<int>("waitMs");
    QTest::newRow("disconnect") << 0;
    QTest::newRow("quit") << 3000;
}

void TstLink::closingSendsWhatWasWritten() {
    // Far more than the kernel buffers take: most of it still waits in the socket's own buffer
    // when the link is closed, and must arrive all the same, the stop at its end. The peer reads
    // in a thread of its own, as a controller would, so a closing that blocks can drain too.
    QFETCH(int, waitMs);
    connectTcp();
    const QByteArray bulk = QByteArray(8 << 20, 'x') + "\r\nSTP\r\n";
    QVERIFY(channel->SendCommand(bulk, Origin::Operator));
    QVERIFY(channel->tcpSocket().bytesToWrite() > 0);
    QByteArray received;
    QThread* const home = QThread::currentThread();
    std::unique_ptr<QThread> reader(QThread::create([&] {
        QThread::msleep(50);
        while (peer->waitForReadyRead(5000)) {
            received += peer->readAll();
        }
        received += peer->readAll();
        peer->moveToThread(home);
    }));
    peer->setParent(nullptr);
    std::unique_ptr<QTcpSocket> owned(peer);
    peer->moveToThread(reader.get());
    reader->start();
    channel->closeTcp(waitMs);
    QTRY_VERIFY_WITH_TIMEOUT(reader->isFinished(), 15000);
    QCOMPARE(received.size(), bulk.size());
    QVERIFY(received.endsWith("STP\r\n"));
    QTRY_COMPARE(channel->tcpSocket().state(), QAbstractSocket::UnconnectedState);
}

QTEST_MAIN(TstLink)
#include "tst_link.moc"
