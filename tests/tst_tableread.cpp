#include "failedsend.h"
#include "fakepanelview.h"
#include "intervaltimer.h"
#include "memorytable.h"
#include "panelstate.h"
#include "recordinglink.h"
#include "recordingmessages.h"
#include "tableclear.h"
#include "tableread.h"
#include "tablereplies.h"

#include <QtTest>
#include <memory>

namespace {

// The parts of a table read, wired as the application wires them. `interpret` stands for the
// reply interpreter while the table is read: clean, store, closing bookkeeping.
struct Rig {
    PanelState state;
    MemoryTable table;
    RecordingLink link;
    FakePanelView panel;
    RecordingMessages messages;
    IntervalTimer tmrTokei;
    IntervalTimer tmrWrite;
    std::unique_ptr<TableRead> read;

    Rig(bool usb, int lastChannel, int unit = TableView::Pps) {
        state.UsbModel = usb;
        state.LastChannel = lastChannel;
        state.FourChModel = lastChannel == 3;
        panel.lan = !usb;
        table.setSpeedUnit(unit);
        link.onUsbReply = [this](const QByteArray& reply) { interpret(reply); };
        read = std::make_unique<TableRead>(state, table, link, panel, messages, tmrTokei, tmrWrite);
    }

    void interpret(QByteArray reply) {
        if (!state.TableReading) {
            return;  // the interpreter would treat it as a polling reply
        }
        StoreTableReply(state, table, reply.replace("\r\n", ""));
        state.TimeoutCount = state.ReplyWaitTicks = state.AwaitingReply = 0;
    }

    // Ticks until the read stops, answering every query over the network path with `answer`.
    int runAnswering(const QByteArray& answer = "+0000001\r\n") {
        int ticks = 0;
        while (tmrTokei.running() && ticks < 1000) {
            const qsizetype before = link.sent.size();
            read->Tick();
            ++ticks;
            if (link.sent.size() > before) {
                interpret(answer);
            }
        }
        return ticks;
    }
};

QByteArrayList words(const char* text) {
    return QByteArray(text).split(' ');
}

// The queries of a whole read, in order: each word once, a word with '#' once per channel with the
// channel's digit in its place.
QByteArrayList readQueries(const char* families, int lastChannel) {
    QByteArrayList out;
    for (const QByteArray& family : words(families)) {
        for (int ch = 0; ch <= (family.contains('#') ? lastChannel : 0); ++ch) {
            out << QByteArray(family).replace('#', QByteArray::number(ch));
        }
    }
    return out;
}

}  // namespace

class TstTableRead : public QObject {
    Q_OBJECT

private slots:
    void queries_data();
    void queries();
    void speedUnitReadPerQuery();
    void blinkingLabel();
    void tableReadingFollowsTimer();
    void noReplyTimesOut();
    void failedSendStops();
    void refusedDuringWrite();
    void restartDuringRead();
    void usbReceiveStep();
    void clearAndStop();
};

void TstTableRead::queries_data() {
    QTest::addColumn<bool>("usb");
    QTest::addColumn<int>("lastChannel");
    QTest::addColumn<int>("unit");
    QTest::addColumn<QByteArrayList>("expected");

    const int pps = TableView::Pps;
    const int code = TableView::Code;
    const char* net = "S2#0 S4#FL S4#BL SPH?# SPM?# SPL?# S4#3 B#? S4#5 LSEN? LSIV?";
    const char* netCode = "S2#0 S4#FL S4#BL S4#0 S4#1 S4#2 S4#3 B#? S4#5 LSEN? LSIV?";
    const char* usb = "PS?# FL?# BL?# SPDH?# SPDM?# SPDL?# S4#3 B#? S4#5 LSEN? LSIV?";
    const char* usbCode = "PS?# FL?# BL?# S4#0 S4#1 S4#2 S4#3 B#? S4#5 LSEN? LSIV?";
    QTest::newRow("not identified: channel 0") << false << 0 << pps << readQueries(net, 0);
    QTest::newRow("network PPS") << false << 1 << pps << readQueries(net, 1);
    QTest::newRow("network Code") << false << 1 << code << readQueries(netCode, 1);
    QTest::newRow("USB two-channel PPS") << true << 1 << pps << readQueries(usb, 1);
    QTest::newRow("USB two-channel Code") << true << 1 << code << readQueries(usbCode, 1);
    QTest::newRow("four-channel PPS") << true << 3 << pps << readQueries(usb, 3);
    QTest::newRow("four-channel Code") << true << 3 << code << readQueries(usbCode, 3);
}

void TstTableRead::queries() {
    QFETCH(bool, usb);
    QFETCH(int, lastChannel);
    QFETCH(int, unit);
    QFETCH(QByteArrayList, expected);

    Rig rig(usb, lastChannel, unit);
    rig.panel.lan = true;  // replies come through the network path in this test
    rig.read->Start();
    QCOMPARE(rig.runAnswering(), expected.size() + 1);  // the last tick finds step 17 and ends

    QCOMPARE(rig.link.lines(), expected);
    for (const QByteArray& sent : rig.link.sent) {
        QVERIFY(sent.endsWith("\r\n"));
    }
    QCOMPARE(rig.state.TableStep, 17);
    QCOMPARE(rig.state.TableChannel, 0);
    QCOMPARE(rig.table.status(), QString());
    QVERIFY(!rig.state.TableReading);
    QVERIFY(rig.messages.boxes.isEmpty());
}

void TstTableRead::speedUnitReadPerQuery() {
    Rig rig(true, 1, TableView::Pps);
    rig.read->Start();
    while (rig.link.sent.size() < 7) {  // up to SPDH?0
        rig.read->Tick();
        rig.interpret("1\r\n");
    }
    rig.table.setSpeedUnit(TableView::Code);
    rig.runAnswering();
    QCOMPARE(rig.link.lines().mid(6, 3), words("SPDH?0 S410 S401"));
}

void TstTableRead::blinkingLabel() {
    Rig rig(true, 1);
    rig.table.setStatus(QStringLiteral("left over"));
    rig.read->Start();
    QCOMPARE(rig.table.status(), QStringLiteral("--- Reading ---"));

    QStringList seen;
    while (rig.tmrTokei.running()) {
        const qsizetype before = rig.link.sent.size();
        rig.read->Tick();
        if (rig.link.sent.size() > before) {
            seen << rig.table.status();
            rig.interpret("0\r\n");
        }
    }
    const QString on = QStringLiteral("--- Reading ---");
    // Toggled after each query of channel 1; unchanged at the mask steps.
    QStringList expected;
    for (int step = 0; step < 9; ++step) {
        expected << (step % 2 == 0 ? on : QString()) << (step % 2 == 0 ? QString() : on);
    }
    expected << QString() << QString();
    QCOMPARE(seen, expected);
}

void TstTableRead::tableReadingFollowsTimer() {
    Rig rig(false, 1);
    QVERIFY(!rig.state.TableReading);
    rig.read->Start();
    QVERIFY(rig.state.TableReading);
    StopReadWrite(rig.tmrTokei, rig.tmrWrite);
    QVERIFY(!rig.state.TableReading);

    rig.read->Start();
    rig.read.reset();
    QVERIFY(!rig.state.TableReading);

    // The window takes its timer along when it closes.
    auto timer = std::make_unique<IntervalTimer>();
    TableRead read(rig.state, rig.table, rig.link, rig.panel, rig.messages, *timer, rig.tmrWrite);
    read.Start();
    QVERIFY(rig.state.TableReading);
    timer.reset();
    QVERIFY(!rig.state.TableReading);
}

void TstTableRead::noReplyTimesOut() {
    Rig rig(false, 1);
    rig.read->Start();
    rig.read->Tick();
    QCOMPARE(rig.link.lines(), words("S200"));
    for (int i = 1; i < TableRead::kNoReplyTicks; ++i) {
        rig.read->Tick();
    }
    QVERIFY(rig.tmrTokei.running());
    QVERIFY(rig.messages.boxes.isEmpty());

    rig.read->Tick();
    QVERIFY(!rig.tmrTokei.running());
    QVERIFY(!rig.state.TableReading);
    QCOMPARE(rig.table.status(), QStringLiteral("--- Read stopped: no reply ---"));
    QCOMPARE(rig.messages.boxes.size(), 1);
    QCOMPARE(rig.messages.boxes[0].title, kCautionTitle);
    QCOMPARE(rig.messages.boxes[0].icon, MessageSink::Icon::Information);
    QCOMPARE(rig.link.sent.size(), 1);  // no retry; a late reply is no table value (!TableReading)
}

void TstTableRead::failedSendStops() {
    Rig rig(true, 1);
    rig.read->Start();
    checkFailedSendStops(rig.link, rig.messages, rig.tmrTokei, [&rig] { rig.read->Tick(); });
}

void TstTableRead::refusedDuringWrite() {
    Rig rig(true, 1);
    rig.table.setField(TableView::Position, 0, QStringLiteral("5"));
    rig.tmrWrite.setInterval(30);
    rig.state.TableStep = 9;
    rig.read->Start();
    QVERIFY(!rig.tmrTokei.running());
    QCOMPARE(rig.state.TableStep, 9);
    QCOMPARE(rig.table.field(TableView::Position, 0), QStringLiteral("5"));
    QCOMPARE(rig.messages.boxes.size(), 1);
    QCOMPARE(rig.messages.boxes[0].title, kCautionTitle);
}

void TstTableRead::restartDuringRead() {
    Rig rig(false, 1);
    rig.read->Start();
    for (int i = 0; i < 5; ++i) {
        rig.read->Tick();
        rig.interpret("P0+0001000\r\n");
    }
    rig.table.setFlag(TableView::DglsEnable, 1, true);
    QCOMPARE(rig.state.TableStep, 6);

    rig.read->Start();  // Clear is refused: the table keeps what it has
    QCOMPARE(rig.state.TableStep, 0);
    QCOMPARE(rig.state.TableChannel, 0);
    QCOMPARE(rig.state.AwaitingReply, 0);
    QVERIFY(rig.table.flag(TableView::DglsEnable, 1));
    QCOMPARE(rig.table.field(TableView::Position, 0), QStringLiteral("+0001000"));
    rig.read->Tick();
    QCOMPARE(rig.link.lines().last(), QByteArray("S200"));
}

void TstTableRead::usbReceiveStep() {
    Rig rig(true, 1);
    rig.link.usbInput = "stale\r\n";
    rig.read->Start();
    QVERIFY(rig.link.usbInput.isEmpty());  // thrown away unread

    rig.read->Tick();
    QCOMPARE(rig.link.lines(), words("PS?0"));
    rig.link.usbInput = "+000";
    rig.read->Tick();  // half a reply: nothing stored, nothing sent
    QCOMPARE(rig.link.sent.size(), 1);
    rig.link.usbInput = "1234\r\n";
    rig.read->Tick();  // the reply is stored and the next query goes in the same tick
    QCOMPARE(rig.table.field(TableView::Position, 0), QStringLiteral("+0001234"));
    QCOMPARE(rig.link.lines(), words("PS?0 PS?1"));

    // With "LAN" chosen the tick leaves the serial input alone.
    rig.panel.lan = true;
    rig.link.usbInput = "+0000007\r\n";
    rig.read->Tick();
    QCOMPARE(rig.link.usbInput, QByteArray("+0000007\r\n"));
    QCOMPARE(rig.table.field(TableView::Position, 1), QString());

    rig.panel.lan = false;  // back on USB, the waiting reply is taken
    rig.read->Tick();
    QCOMPARE(rig.table.field(TableView::Position, 1), QStringLiteral("+0000007"));
}

void TstTableRead::clearAndStop() {
    // When a clear may run; what it empties is shown by the table file's refused loads.
    MemoryTable table;
    IntervalTimer tmrTokei;
    IntervalTimer tmrWrite;
    table.setField(TableView::Backlash, 3, QStringLiteral("x"));
    table.setSpeedUnit(TableView::Code);
    table.setStatus(QStringLiteral("--- Reading ---"));

    tmrWrite.setInterval(30);
    QVERIFY(!ClearTable(table, tmrTokei, tmrWrite));
    tmrWrite.setInterval(0);
    tmrTokei.setInterval(20);
    QVERIFY(!ClearTable(table, tmrTokei, tmrWrite));
    QCOMPARE(table.field(TableView::Backlash, 3), QStringLiteral("x"));

    tmrWrite.setInterval(30);
    StopReadWrite(tmrTokei, tmrWrite);
    QVERIFY(!tmrTokei.running() && !tmrWrite.running());
    QVERIFY(ClearTable(table, tmrTokei, tmrWrite));
    QCOMPARE(table.field(TableView::Backlash, 3), QString());
    QCOMPARE(table.speedUnit(), int(TableView::Code));
    QCOMPARE(table.status(),
             QStringLiteral("--- Reading ---"));  // neither R/W Stop nor a clear touch the label
}

QTEST_GUILESS_MAIN(TstTableRead)
#include "tst_tableread.moc"
