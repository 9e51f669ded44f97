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
    void netAssembly_data();
    void netAssembly();
    void usbAssembly_data();
    void usbAssembly();
    void closedPortReadsNothing();
    void sendFailureEndsSession_data();
    void sendFailureEndsSession();
    void capKeepsEveryGoodLineWhereverSplit();
    void overlongLineIsDiscarded_data();
    void overlongLineIsDiscarded();
    void closingSendsWhatWasWritten_data();
    void closingSendsWhatWasWritten();

private:
    void connectTcp();
    void feedNet(const QByteArrayList& pieces);

    PanelState state;
    FakePanelView view;
    RecordingMessages messages;
    std::unique_ptr<IntervalTimer> timer2;
    std::unique_ptr<CommandChannel> channel;
    RecordingSink sink;
    std::unique_ptr<QTcpServer> server;
    QTcpSocket* peer = nullptr;
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

void TstLink::commandArrivesByteExact() {
    connectTcp();
    QVERIFY(channel->SendCommand("S3008\r\n"));
    QTRY_COMPARE(peer->bytesAvailable(), qint64(7));
    QCOMPARE(peer->readAll(), QByteArray("S3008\r\n"));

    TestPty pty;
    QVERIFY(pty.ok());
    view.lan = false;
    QVERIFY(channel->openSerial(pty.slavePath()));
    QVERIFY(channel->SendCommand("STS0?\r\n"));
    QCOMPARE(pty.read(7), QByteArray("STS0?\r\n"));
    QVERIFY(messages.boxes.isEmpty());
}

// Pieces as they arrive, and the reply texts the interpreter must be handed.
static void assemblyRows() {
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QByteArrayList>("handed");
    QTest::addColumn<QByteArray>("left");
    QTest::newRow("whole line") << QByteArrayList{"P0+0001000\r\n"} << QByteArrayList{"P0+0001000\r\n"}
                                << QByteArray();
    QTest::newRow("split in the middle")
        << QByteArrayList{"P0+00", "01000\r\n"} << QByteArrayList{"P0+0001000\r\n"} << QByteArray();
    QTest::newRow("CR and LF split") << QByteArrayList{"L05\r", "\n"} << QByteArrayList{"L05\r\n"}
                                     << QByteArray();
    QTest::newRow("CR alone does not complete")
        << QByteArrayList{"L05\r"} << QByteArrayList{} << QByteArray("L05\r");
    QTest::newRow("two lines in one piece")
        << QByteArrayList{"SRQ\r\nL05\r\n"} << QByteArrayList{"SRQ\r\nL05\r\n"} << QByteArray();
    QTest::newRow("line and a start, then the rest")
        << QByteArrayList{"L05\r\nP0+00", "01000\r\n"} << QByteArrayList{"L05\r\nP0+0001000\r\n"}
        << QByteArray();
    QTest::newRow("LF in the middle does not split")
        << QByteArrayList{"AB\nCD"} << QByteArrayList{} << QByteArray("AB\nCD");
    QTest::newRow("bare LF completes") << QByteArrayList{"VER\n"} << QByteArrayList{"VER\n"} << QByteArray();
}

void TstLink::netAssembly_data() {
    assemblyRows();
}

void TstLink::netAssembly() {
    QFETCH(QByteArrayList, pieces);
    QFETCH(QByteArrayList, handed);
    QFETCH(QByteArray, left);
    connectTcp();
    feedNet(pieces);
    QCOMPARE(sink.replies, handed);
    QCOMPARE(state.NetRxBuffer, left);
}

void TstLink::usbAssembly_data() {
    assemblyRows();
}

void TstLink::usbAssembly() {
    QFETCH(QByteArrayList, pieces);
    QFETCH(QByteArrayList, handed);
    QFETCH(QByteArray, left);
    TestPty pty;
    QVERIFY(pty.ok());
    QVERIFY(channel->openSerial(pty.slavePath()));
    for (const QByteArray& piece : pieces) {
        pty.write(piece);
        // The USB path reads only when the tick polls it: wait for the bytes, then poll once.
        QTRY_VERIFY(channel->serialPort().waitForReadyRead(10) || channel->serialPort().bytesAvailable() > 0);
        QTRY_COMPARE(channel->serialPort().bytesAvailable(), qint64(piece.size()));
        channel->PollUsbInput();
    }
    QCOMPARE(sink.replies, handed);
    QCOMPARE(state.UsbRxBuffer, left);
}

void TstLink::closedPortReadsNothing() {
    state.UsbRxBuffer = "P0+00";
    channel->PollUsbInput();
    QCOMPARE(state.UsbRxBuffer, QByteArray("P0+00"));
    QVERIFY(channel->ReadUsbInput().isEmpty());
    QVERIFY(sink.replies.isEmpty());
}

void TstLink::sendFailureEndsSession_data() {
    QTest::addColumn<bool>("lan");
    QTest::addColumn<int>("how");  // 0 never started, 1 refused, 2 closed by the peer, 3 still connecting
    QTest::newRow("LAN never started") << true << 0;
    QTest::newRow("LAN refused") << true << 1;
    QTest::newRow("LAN closed by the peer") << true << 2;
    QTest::newRow("LAN still connecting") << true << 3;
    QTest::newRow("USB port closed") << false << 0;
}

void TstLink::sendFailureEndsSession() {
    QFETCH(bool, lan);
    QFETCH(int, how);
    view.lan = lan;
    if (how == 1) {
        const quint16 port = server->serverPort();
        server->close();
        channel->openTcp(QStringLiteral("127.0.0.1"), port);
        QTRY_COMPARE(channel->tcpSocket().state(), QAbstractSocket::UnconnectedState);
    } else if (how == 2) {
        connectTcp();
        peer->close();
        QTRY_COMPARE(channel->tcpSocket().state(), QAbstractSocket::UnconnectedState);
    } else if (how == 3) {
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

    QVERIFY(!channel->SendCommand("VER?\r\n"));
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
    // Cap 8: "1234567\r\n" is one past it and goes, "123456\r\n" is at it and stays.
    const QByteArray sample = "ab\r\n1234567\r\n123456\r\nXY\r\n";
    const QByteArray good = "ab\r\n123456\r\nXY\r\n";
    for (qsizetype i = 0; i <= sample.size(); ++i) {
        for (qsizetype j = i; j <= sample.size(); ++j) {
            QByteArray buffer;
            bool discarding = false;
            QByteArray handed;
            for (const QByteArrayView piece : {QByteArrayView(sample).first(i), QByteArrayView(sample).sliced(i, j - i),
                                               QByteArrayView(sample).sliced(j)}) {
                for (const QByteArray& reply : gatherReceived(buffer, discarding, piece, 8)) {
                    QVERIFY2(reply.endsWith('\n'), qPrintable(QStringLiteral("split %1,%2").arg(i).arg(j)));
                    handed += reply;
                }
            }
            QVERIFY2(handed == good && buffer.isEmpty() && !discarding,
                     qPrintable(QStringLiteral("split %1,%2 handed %3").arg(i).arg(j).arg(QString::fromLatin1(handed))));
        }
    }
}

void TstLink::overlongLineIsDiscarded_data() {
    QTest::addColumn<bool>("lan");
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QByteArray>("left");
    const QByteArray x(60000, 'x');
    const QByteArrayList endsWithLf{x, QByteArray(6000, 'x') + "\r\n", "P0+0001000\r\n"};
    const QByteArrayList endsInGoodLine{x, QByteArray(6000, 'x') + "\r\nP0+00", "01000\r\n"};
    const QByteArrayList flood{QByteArray(3 * CommandChannel::kBufferCap, 'x'), "yyy\r\nP0+0001000\r\n"};
    for (const bool lan : {true, false}) {
        const char* link = lan ? "LAN" : "USB";
        QTest::addRow("%s: the crossing piece ends with LF", link) << lan << endsWithLf << QByteArray();
        QTest::addRow("%s: the crossing piece ends inside a good line", link)
            << lan << endsInGoodLine << QByteArray();
        QTest::addRow("%s: a flood without LF", link) << lan << flood << QByteArray();
    }
}

void TstLink::overlongLineIsDiscarded() {
    QFETCH(bool, lan);
    QFETCH(QByteArrayList, pieces);
    TestPty pty;
    if (lan) {
        connectTcp();
        feedNet(pieces);
    } else {
        QVERIFY(pty.ok());
        QVERIFY(channel->openSerial(pty.slavePath()));
        // The pty holds a few KiB: write in chunks and poll each one in, as the tick would.
        for (const QByteArray& piece : pieces) {
            for (qsizetype at = 0; at < piece.size(); at += 1024) {
                const QByteArray chunk = piece.mid(at, 1024);
                pty.write(chunk);
                QTRY_COMPARE(channel->serialPort().bytesAvailable(), qint64(chunk.size()));
                channel->PollUsbInput();
            }
        }
    }
    QCOMPARE(sink.replies, QByteArrayList{"P0+0001000\r\n"});
    QVERIFY((lan ? state.NetRxBuffer : state.UsbRxBuffer).isEmpty());
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
    QVERIFY(channel->SendCommand(bulk));
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
