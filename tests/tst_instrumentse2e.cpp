// The instruments on the real panel against the simulated controllers: the monitor against what
// really went over the wire, the achieved rate against the replies counted, and Esc in the middle
// of a scan. (The chart's history against the position replies: the scan test of tst_endtoend.)
#include "colours.h"
#include "simpanel.h"
#include "statusstrip.h"
#include "trafficmodel.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

Q_DECLARE_METATYPE(SimModel)

namespace {
// The lines of a byte stream, without their line ends.
QByteArrayList lines(const QByteArray& stream) {
    QByteArrayList out = stream.split('\n');
    out.removeLast();  // what follows the last line feed
    for (QByteArray& line : out) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
    }
    return out;
}

// Stops the polling tick and takes in the reply to its last query (over USB it is read as the
// tick would), so nothing is under way.
void quiesce(SimPanel& p) {
    p.app->Timer2.setInterval(0);
    QTRY_VERIFY((p.app->channel.PollUsbInput(), p.app->state.AwaitingReply == 0));
}
}  // namespace

class TstInstrumentsE2e : public QObject {
    Q_OBJECT
private slots:
    void monitorHoldsWhatWentOverTheWire();
    void achievedRateIsTheRepliesCounted();
    void escapeStopsAScan_data();
    void escapeStopsAScan();
};

void TstInstrumentsE2e::monitorHoldsWhatWentOverTheWire() {
    SimPanel p(SimModel::Kelda);
    QByteArray fromController;
    QObject::connect(p.tcp.get(), &SimTcpServer::sent,
                     [&](const QByteArray& bytes) { fromController += bytes; });
    QVERIFY(p.connect());
    p.click("Ch_1");
    p.click("Command6");  // an operator's jog between polls
    QTRY_VERIFY(p.received.count("S212") >= 3);
    quiesce(p);

    TrafficModel& model = p.app->instruments.monitor().model();
    p.app->instruments.monitor().refresh();
    QByteArrayList sent;
    QByteArrayList replies;
    const TrafficEntry* poll = nullptr;
    for (int row = 0; row < model.rowCount(); ++row) {
        const TrafficEntry& e = model.entry(row);
        QVERIFY(e.lan);
        (e.sent ? sent : replies) << e.text;
        if (e.sent) {
            const bool jog = e.text == "S3108";
            QCOMPARE(e.cls, jog ? TrafficClass::Operator : TrafficClass::Polling);
            poll = jog ? poll : &e;
            continue;
        }
        // Every reply answers the poll that went out last, within a few ticks.
        QVERIFY(poll != nullptr);
        QCOMPARE(e.cls, TrafficClass::Polling);
        QVERIFY2(e.roundTripMs >= 0 && e.roundTripMs <= 200, qPrintable(QString::number(e.roundTripMs)));
        QCOMPARE(e.roundTripMs, int(e.ms - poll->ms));
        poll = nullptr;
    }
    QCOMPARE(sent, p.received);
    QCOMPARE(replies, lines(fromController));
    QVERIFY(sent.contains("S3108"));
}

void TstInstrumentsE2e::achievedRateIsTheRepliesCounted() {
    SimPanel p(SimModel::Kelda);
    int replies = 0;
    QVERIFY(QObject::connect(&p.app->channel, &CommandChannel::replyDelivered, [&] { ++replies; }));
    QVERIFY(p.connect());
    // Well inside the window since the session opened, so every reply of it counts.
    QTRY_VERIFY(replies > 20);
    quiesce(p);
    StatusStrip* strip = p.app->instruments.strip();
    strip->refresh();
    QCOMPARE(p.app->instruments.figures.repliesInWindow(), replies);
    QCOMPARE(strip->findChild<QLabel*>("StatusRate")->text(),
             StatusStrip::rateText(replies * 1000.0 / double(StatusFigures::kWindowMs)));
    QCOMPARE(strip->findChild<QLabel*>("StatusModel")->text(), QStringLiteral("KELDA-01, 2 ch"));
    QCOMPARE(strip->findChild<QLabel*>("StatusTimeouts")->text(), QStringLiteral("0 time-outs"));
    QCOMPARE(strip->findChild<QLabel*>("StatusLink")->text(),
             QStringLiteral("LAN 127.0.0.1:%1 connected").arg(p.tcp->port()));
}

void TstInstrumentsE2e::escapeStopsAScan_data() {
    QTest::addColumn<QString>("focus");
    QTest::newRow("focus in the send box") << "Text2";
    QTest::newRow("focus in a set-data box") << "Text1_2";
}

void TstInstrumentsE2e::escapeStopsAScan() {
    QFETCH(QString, focus);
    SimPanel p(SimModel::Vasko);
    QVERIFY(p.connect());
    p.click("Ch_0");
    p.click("Ch_2");
    p.click("Option1_3");
    p.click("Ctr_5");
    p.click("Command6");
    QTRY_VERIFY(p.received.contains("S320E"));
    QTRY_VERIFY(p.app->state.ChannelBusy[2]);
    p.click("Ctr_5");  // armed again: Esc disarms as Stop does
    QCOMPARE(backColour(p.find<QPushButton>("Ctr_5")), Bgr::Green);
    p.app->window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&p.app->window));
    QWidget* box = p.find<QWidget>(focus);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Escape);
    QTRY_VERIFY(p.received.contains("S3240"));
    QVERIFY(p.received.contains("S3040"));
    QVERIFY(!p.received.contains("S3140") && !p.received.contains("S3340"));
    QCOMPARE(backColour(p.find<QPushButton>("Ctr_5")), Bgr::LightGreen);
    QTRY_VERIFY(!p.app->state.ChannelBusy[2]);
}

QTEST_MAIN(TstInstrumentsE2e)
#include "tst_instrumentse2e.moc"
