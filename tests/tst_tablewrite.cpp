#include "failedsend.h"
#include "intervaltimer.h"
#include "memorytable.h"
#include "panelstate.h"
#include "recordinglink.h"
#include "recordingmessages.h"
#include "tablewrite.h"

#include <QtTest>

namespace {

// A table that passes the start check: every text field of every channel numeric.
void fill(MemoryTable& table) {
    const QStringList values{"100", "1000", "-1000", "500", "200", "50", "10", "0"};
    for (int ch = 0; ch < 4; ++ch) {
        for (int f = TableView::Position; f <= TableView::Backlash; ++f) {
            table.setField(f, ch, values[f - TableView::Position]);
        }
    }
}

struct Rig {
    PanelState state;
    MemoryTable table;
    RecordingLink link;
    RecordingMessages messages;
    IntervalTimer tmrTokei;
    IntervalTimer tmrWrite;
    TableWrite write{state, table, link, messages, tmrTokei, tmrWrite};

    Rig(bool usb, bool fourCh) {
        state.UsbModel = usb;
        state.FourChModel = fourCh;
        state.LastChannel = fourCh ? 3 : 1;
    }

    int run() {
        int ticks = 0;
        while (tmrWrite.running() && ticks < 1000) {
            write.Tick();
            ++ticks;
        }
        return ticks;
    }
};

}  // namespace

class TstTableWrite : public QObject {
    Q_OBJECT

private slots:
    void forms_data();
    void forms();
    void commands_data();
    void commands();
    void wholeWrite_data();
    void wholeWrite();
    void emptyFieldRefuses();
    void nonNumericSkipped();
    void cutValueRefusesTheWrite_data();
    void cutValueRefusesTheWrite();
    void speedUnitReadPerTick();
    void statusLabel();
    void failedSendStops();
    void refusedDuringRead();
};

void TstTableWrite::forms_data() {
    QTest::addColumn<QString>("form");
    QTest::addColumn<QString>("expected");

    // The plain values and the zero-fill forms are pinned by the command table below; these are the
    // edges of the signed form.
    using namespace WriteForms;
    QTest::newRow("S7 half up") << S7("2.5") << "+0000003";
    QTest::newRow("S7 small fraction to -0") << S7("-0.4") << "+0000000";
    QTest::newRow("S7 blanks") << S7(" 12 ") << "+0000012";
}

void TstTableWrite::forms() {
    QFETCH(QString, form);
    QTEST(form, "expected");
}

void TstTableWrite::commands_data() {
    QTest::addColumn<bool>("usb");
    QTest::addColumn<bool>("fourCh");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("ch");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("command");  // null: nothing sent
    QTest::addColumn<QString>("reason");      // why the start refuses the value; empty: it does not

    const int pps = TableView::Pps;
    const int code = TableView::Code;
    const char* digits = "more digits";
    const auto row = [](const char* name, bool usb, bool fourCh, int unit, int step, int ch,
                        const char* value, const char* command, const char* reason = "") {
        QTest::newRow(name) << usb << fourCh << unit << step << ch << value << QByteArray(command)
                            << QString(reason);
    };
    row("position usb", true, false, pps, 0, 0, "1000", "PS0+0001000");
    row("position net", false, false, pps, 0, 0, "1000", "S3909+0001000");
    row("cw usb ch1", true, false, pps, 3, 1, "-5000", "FL1-0005000");
    row("cw net ch1", false, false, pps, 3, 1, "-5000", "S51FL-0005000");
    row("ccw usb ch3", true, true, pps, 6, 3, "7", "BL3+0000007");
    row("ccw net", false, false, pps, 6, 0, "-7", "S50BL-0000007");
    // Each zero-fill form at its limit and one digit past it.
    row("hspd pps usb as typed", true, false, pps, 9, 0, "2000.5", "SPDH02000.5");
    row("mspd pps usb 7 digits kept", true, false, pps, 10, 1, "1234567", "SPDM11234567");
    row("hspd pps net 6 digits", false, false, pps, 9, 0, "123456", "SPH0123456");
    row("hspd pps net 7 digits", false, false, pps, 9, 0, "1234567", "SPH0234567", digits);
    row("lspd pps net", false, false, pps, 11, 1, "5", "SPL100005");
    row("hspd code net", false, false, code, 9, 0, "50", "S3900050");
    row("mspd code zeros lost", true, true, code, 10, 2, "0050", "S3921050");
    row("lspd code above 999", false, false, code, 11, 1, "1000", "S3912000", digits);
    row("lspd code loses sign", false, false, code, 11, 1, "-050", "S3912050", "minus sign");
    row("rate usb", true, false, pps, 12, 0, "10", "RTE0010");
    row("rate usb 3 digits", true, false, pps, 12, 0, "100", "RTE0100");
    row("rate usb 4 digits", true, false, pps, 12, 0, "1000", "RTE0000", digits);
    row("rate net read back", false, false, pps, 12, 0, "010", "S390310");
    row("rate net 3 digits", false, false, pps, 12, 0, "100", "S390300", digits);
    row("backlash", true, false, pps, 13, 0, "20", "B0+0020");
    row("backlash net neg", false, false, pps, 13, 1, "-3", "B1-0003");
    row("non-numeric is skipped", false, false, code, 9, 1, "12345x", nullptr);
}

void TstTableWrite::commands() {
    QFETCH(bool, usb);
    QFETCH(bool, fourCh);
    QFETCH(int, unit);
    QFETCH(int, step);
    QFETCH(int, ch);
    QFETCH(QString, value);
    QFETCH(QByteArray, command);
    QFETCH(QString, reason);

    MemoryTable table;
    table.setSpeedUnit(unit);
    for (int f = TableView::Position; f <= TableView::Backlash; ++f) {
        table.setField(f, ch, QStringLiteral("999"));
    }
    const int field = step == 0 ? 1 : step == 3 ? 2 : step == 6 ? 3 : step - 5;
    table.setField(field, ch, value);

    QCOMPARE(TableWriteCommand(table, step, ch, usb, fourCh),
             command.isNull() ? std::nullopt : std::optional<QByteArray>(command));
    const QString problem = TableWriteCutProblem(table, step, ch, usb);
    if (reason.isEmpty()) {
        QCOMPARE(problem, QString());
    } else {
        QVERIFY2(problem.startsWith(QStringLiteral("CH %1 ").arg(QChar(u'A' + ch))), qPrintable(problem));
        QVERIFY2(problem.contains(value) && problem.contains(reason), qPrintable(problem));
    }
}

void TstTableWrite::wholeWrite_data() {
    QTest::addColumn<bool>("fourCh");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QByteArrayList>("tail");
    QTest::newRow("two channels") << false << 20 << QByteArrayList{"S390630", "S391611", "LSEN83", "LSIV05"};
    QTest::newRow("four channels") << true << 42
                                   << QByteArrayList{"S392600",  "S393601",  "LSEN0083", "LSEN0083",
                                                     "LSEN0083", "LSIV8005", "LSIV8005", "LSIV8005"};
}

void TstTableWrite::wholeWrite() {
    QFETCH(bool, fourCh);
    QFETCH(int, ticks);
    QFETCH(QByteArrayList, tail);

    Rig rig(true, fourCh);
    fill(rig.table);
    rig.table.setFlag(TableView::BacklashMode, 0, true);
    rig.table.setFlag(TableView::DglsEnable, 0, true);
    rig.table.setFlag(TableView::DglsEnable, 1, true);
    rig.table.setFlag(TableView::LsFastStop, 1, true);
    rig.table.setFlag(TableView::LsFastStop, 3, true);
    for (int k : {0, 1, 7}) {
        rig.table.setSwitchBox(TableView::LsEnable, k, true);
    }
    for (int k : {0, 2, 15}) {  // item 2 is one of the invisible boxes
        rig.table.setSwitchBox(TableView::LsNc, k, true);
    }

    rig.write.Start();
    QCOMPARE(rig.table.status(), QStringLiteral("--- Writing ---"));
    QCOMPARE(rig.run(), ticks);
    QCOMPARE(rig.link.sent.size(), ticks);
    QCOMPARE(rig.link.lines().mid(ticks - tail.size()), tail);
    QCOMPARE(rig.link.lines().first(), QByteArray("PS0+0000100"));
    QCOMPARE(rig.state.TableStep, 0);
    QCOMPARE(rig.state.TableChannel, 0);
    QCOMPARE(rig.table.status(), QString());
    QVERIFY(rig.messages.boxes.isEmpty());
}

void TstTableWrite::emptyFieldRefuses() {
    Rig rig(true, false);
    fill(rig.table);
    rig.table.setField(TableView::Rate, 1, QString());
    rig.state.TableStep = 12;
    rig.write.Start();
    QVERIFY(!rig.tmrWrite.running());
    QCOMPARE(rig.messages.texts(), QStringList{"Please set all parameter!"});
    QCOMPARE(rig.messages.boxes[0].title, kCautionTitle);
    QCOMPARE(rig.messages.boxes[0].icon, MessageSink::Icon::Information);
    QCOMPARE(rig.state.TableStep, 12);
    QCOMPARE(rig.table.status(), QString());

    // Channels past the model's last are not looked at.
    rig.table.setField(TableView::Rate, 1, QStringLiteral("10"));
    rig.table.setField(TableView::Rate, 3, QString());
    rig.write.Start();
    QCOMPARE(rig.run(), 20);
}

void TstTableWrite::nonNumericSkipped() {
    Rig rig(false, false);
    fill(rig.table);
    rig.table.setField(TableView::Position, 0, QStringLiteral("abc"));
    rig.write.Start();
    QCOMPARE(rig.run(), 20);
    QCOMPARE(rig.link.sent.size(), 19);
    QCOMPARE(rig.link.lines().first(), QByteArray("S3919+0000100"));
}

void TstTableWrite::cutValueRefusesTheWrite_data() {
    QTest::addColumn<bool>("usb");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("value");
    // One for each field the start looks at, on channel B; what is cut where is pinned by commands.
    QTest::newRow("hspd") << false << int(TableView::Pps) << int(TableView::Hspd) << "1234567";
    QTest::newRow("mspd") << true << int(TableView::Code) << int(TableView::Mspd) << "1000";
    QTest::newRow("lspd") << false << int(TableView::Code) << int(TableView::Lspd) << "-050";
    QTest::newRow("rate") << true << int(TableView::Pps) << int(TableView::Rate) << "1000";
}

void TstTableWrite::cutValueRefusesTheWrite() {
    QFETCH(bool, usb);
    QFETCH(int, unit);
    QFETCH(int, field);
    QFETCH(QString, value);

    Rig rig(usb, false);
    fill(rig.table);
    rig.table.setSpeedUnit(unit);
    rig.table.setField(field, 1, value);
    rig.write.Start();
    QVERIFY(!rig.tmrWrite.running());
    QVERIFY(rig.link.sent.isEmpty());
    const QString problem = TableWriteCutProblem(rig.table, field + 5, 1, usb);
    QVERIFY(!problem.isEmpty());
    QCOMPARE(rig.messages.texts(), QStringList{problem + QStringLiteral(" Nothing was written.")});
    QCOMPARE(rig.messages.boxes[0].title, kCautionTitle);
}

void TstTableWrite::speedUnitReadPerTick() {
    // Checked once at the start: a unit switched during the write changes the form of the next
    // command, and the write goes on to its end rather than stopping with half a table sent.
    Rig rig(false, false);
    fill(rig.table);
    rig.table.setField(TableView::Hspd, 1, QStringLiteral("2000"));
    rig.write.Start();
    for (int i = 0; i < 7; ++i) {  // up to the first speed command
        rig.write.Tick();
    }
    QCOMPARE(rig.link.lines().last(), QByteArray("SPH0000500"));
    const qsizetype sent = rig.link.sent.size();
    rig.table.setSpeedUnit(TableView::Code);
    QCOMPARE(7 + rig.run(), 20);
    QCOMPARE(rig.link.lines()[sent], QByteArray("S3910000"));  // the code form of what it found
    QVERIFY(rig.messages.boxes.isEmpty());
}

void TstTableWrite::statusLabel() {
    Rig rig(true, true);
    fill(rig.table);
    rig.write.Start();
    QStringList seen;
    while (rig.tmrWrite.running()) {
        rig.write.Tick();
        seen << rig.table.status();
    }
    const QString on = QStringLiteral("--- Writing ---");
    const QString off;
    auto at = [](const char* stepAndChannel) {
        return QStringLiteral("--- Writing ---   ") + stepAndChannel;
    };
    QCOMPARE(seen.mid(0, 8), (QStringList{on, off, off, at("03"), at("03"), off, off, at("33")}));
    // At the mask steps the channel count still runs 0, 1, 2 on the four-channel model.
    QCOMPARE(seen.mid(35, 7), (QStringList{at("E3"), at("E3"), off, off, off, at("101"), off}));
    QCOMPARE(seen.last(), off);
}

void TstTableWrite::failedSendStops() {
    Rig rig(true, false);
    fill(rig.table);
    rig.write.Start();
    checkFailedSendStops(rig.link, rig.messages, rig.tmrWrite, [&rig] { rig.write.Tick(); });
}

void TstTableWrite::refusedDuringRead() {
    Rig rig(true, false);
    fill(rig.table);
    rig.tmrTokei.setInterval(20);
    rig.state.TableStep = 9;
    rig.write.Start();
    QVERIFY(!rig.tmrWrite.running());
    QCOMPARE(rig.state.TableStep, 9);
    QCOMPARE(rig.messages.boxes.size(), 1);
}

QTEST_GUILESS_MAIN(TstTableWrite)
#include "tst_tablewrite.moc"
