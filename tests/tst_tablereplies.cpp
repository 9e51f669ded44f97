#include "memorytable.h"
#include "panelstate.h"
#include "tablereplies.h"

#include <QtTest>

namespace {
// Stores `reply` as the table read hands it over at `step` for channel `ch`; the state after it.
PanelState store(MemoryTable& table, const QByteArray& reply, int step, int ch, bool usb = false,
                 bool fourCh = false) {
    PanelState state;
    state.UsbModel = usb;
    state.FourChModel = fourCh;
    state.LastChannel = fourCh ? 3 : 1;
    state.TableStep = step;
    state.TableChannel = ch;
    StoreTableReply(state, table, reply);
    return state;
}
}  // namespace

class TstTableReplies : public QObject {
    Q_OBJECT

private slots:
    void textField_data();
    void textField();
    void flags_data();
    void flags();
    void flagsAreNeverUnticked();
    void switches_data();
    void switches();
    void unusedStepsIgnored_data();
    void unusedStepsIgnored();
};

void TstTableReplies::textField_data() {
    QTest::addColumn<bool>("usb");
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("step");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("stored");

    const int pps = TableView::Pps;
    const int code = TableView::Code;
    QTest::newRow("net position 3..10") << false << pps << 0 << QByteArray("P0+0001000") << 1 << "+0001000";
    QTest::newRow("net position of 12") << false << pps << 0 << QByteArray("P0-000100099") << 1 << "-0001000";
    QTest::newRow("net position short") << false << pps << 0 << QByteArray("P0") << 1 << "";
    QTest::newRow("usb position whole") << true << pps << 0 << QByteArray("+0001000") << 1 << "+0001000";
    QTest::newRow("net cw 1..8") << false << pps << 3 << QByteArray("+0005000XY") << 2 << "+0005000";
    QTest::newRow("usb cw whole, long")
        << true << pps << 3 << QByteArray("+0005000 and more") << 2 << "+0005000 and more";
    QTest::newRow("net ccw 1..8") << false << pps << 6 << QByteArray("-0005000") << 3 << "-0005000";
    QTest::newRow("usb ccw whole") << true << pps << 6 << QByteArray("-5") << 3 << "-5";
    QTest::newRow("net code 4..7") << false << code << 9 << QByteArray("C000050") << 4 << "0050";
    QTest::newRow("code unchanged, no trim") << true << code << 11 << QByteArray("C00 1 2") << 6 << " 1 2";
    QTest::newRow("net pps 2..7, leading zeros, 8th ignored")
        << false << pps << 9 << QByteArray("H0020009") << 4 << "2000";
    QTest::newRow("net pps signed") << false << pps << 10 << QByteArray("H-00250") << 5 << "-250";
    QTest::newRow("net pps plus sign dropped") << false << pps << 11 << QByteArray("H+00250") << 6 << "250";
    QTest::newRow("net pps blanks skipped") << false << pps << 9 << QByteArray("H 12.50") << 4 << "12.5";
    QTest::newRow("usb pps 7 digits kept") << true << pps << 9 << QByteArray("1234567") << 4 << "1234567";
    QTest::newRow("usb pps no number") << true << pps << 10 << QByteArray("ERR") << 5 << "0";
    QTest::newRow("usb pps minus zero") << true << pps << 11 << QByteArray("-0") << 6 << "0";
    QTest::newRow("rate 5..7") << false << pps << 12 << QByteArray("RT0:010") << 7 << "010";
    QTest::newRow("rate short") << true << pps << 12 << QByteArray("RT0") << 7 << "";
    QTest::newRow("backlash 1..5") << true << pps << 13 << QByteArray("+0020XYZ") << 8 << "+0020";
}

void TstTableReplies::textField() {
    QFETCH(bool, usb);
    QFETCH(int, unit);
    QFETCH(int, step);
    QFETCH(QByteArray, reply);
    QFETCH(int, field);
    MemoryTable table;
    table.setSpeedUnit(unit);
    table.setField(field, 1, QStringLiteral("old"));
    store(table, reply, step, 1, usb);
    QTEST(table.field(field, 1), "stored");
    QCOMPARE(table.field(field, 0), QString());  // the other channel is not touched
}

void TstTableReplies::flags_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("bkls");
    QTest::addColumn<bool>("dgls");
    QTest::addColumn<bool>("lsfs");

    QTest::newRow("2 0: backlash mode only") << QByteArray("FLG0:20") << true << false << false;
    QTest::newRow("1 0: dgls only") << QByteArray("FLG0:10") << false << true << false;
    QTest::newRow("0 1: fast stop only") << QByteArray("FLG0:01") << false << false << true;
    QTest::newRow("f e: bit 0 of d7 clear") << QByteArray("FLG0:fe") << true << true << false;
    QTest::newRow("d6 only") << QByteArray("FLG0:3") << true << true << false;
    QTest::newRow("not hex") << QByteArray("FLG0:xy") << false << false << false;
}

void TstTableReplies::flags() {
    QFETCH(QByteArray, reply);
    MemoryTable table;
    store(table, reply, 14, 2, true, true);
    QTEST(table.flag(TableView::BacklashMode, 2), "bkls");
    QTEST(table.flag(TableView::DglsEnable, 2), "dgls");
    QTEST(table.flag(TableView::LsFastStop, 2), "lsfs");
    QVERIFY(!table.flag(TableView::BacklashMode, 1) && !table.flag(TableView::DglsEnable, 3));
}

void TstTableReplies::flagsAreNeverUnticked() {
    MemoryTable table;
    table.setFlag(TableView::LsFastStop, 0, true);
    store(table, "FLG0:20", 14, 0);
    QVERIFY(table.flag(TableView::LsFastStop, 0));
    table.setSwitchBox(TableView::LsEnable, 5, true);
    store(table, "E01", 15, 0);
    QVERIFY(table.switchBox(TableView::LsEnable, 5));
}

void TstTableReplies::switches_data() {
    QTest::addColumn<bool>("fourCh");
    QTest::addColumn<int>("step");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QList<int>>("ticked");

    QTest::newRow("2ch reads 2..3 only")
        << false << 15 << QByteArray("E9FFF") << QList<int>{0, 1, 2, 3, 4, 7};
    QTest::newRow("4ch nc 8000") << true << 16 << QByteArray("E8000") << QList<int>{15};
    QTest::newRow("4ch enable 0083") << true << 15 << QByteArray("E0083") << QList<int>{0, 1, 7};
    QTest::newRow("4ch lower case") << true << 16 << QByteArray("e00fF")
                                    << QList<int>{0, 1, 2, 3, 4, 5, 6, 7};
    QTest::newRow("4ch invisible boxes") << true << 15 << QByteArray("E4444") << QList<int>{2, 6, 10, 14};
    QTest::newRow("stops at non-hex") << true << 15 << QByteArray("E1x00") << QList<int>{0};
}

void TstTableReplies::switches() {
    QFETCH(bool, fourCh);
    QFETCH(int, step);
    QFETCH(QByteArray, reply);
    MemoryTable table;
    const PanelState state = store(table, reply, step, 0, false, fourCh);
    const auto group = step == 15 ? TableView::LsEnable : TableView::LsNc;
    const auto other = step == 15 ? TableView::LsNc : TableView::LsEnable;
    QList<int> got;
    for (int k = 0; k < TableView::kSwitchItems; ++k) {
        if (table.switchBox(group, k)) {
            got << k;
        }
        QVERIFY(!table.switchBox(other, k));
    }
    QTEST(got, "ticked");
    QCOMPARE(state.TableStep, step + 1);
    QCOMPARE(state.TableChannel, 0);
}

void TstTableReplies::unusedStepsIgnored_data() {
    QTest::addColumn<int>("step");
    for (int step : {1, 2, 4, 5, 7, 8, 17, 18}) {
        QTest::addRow("step %d", step) << step;
    }
}

void TstTableReplies::unusedStepsIgnored() {
    QFETCH(int, step);
    MemoryTable table;
    const PanelState state = store(table, "FLG0:31 E9F +0001000", step, 1);
    QCOMPARE(state.TableStep, step);
    QCOMPARE(state.TableChannel, 1);
    for (int ch = 0; ch < 4; ++ch) {
        for (int f = TableView::Position; f <= TableView::Backlash; ++f) {
            QVERIFY(table.field(f, ch).isEmpty());
        }
        QVERIFY(!table.flag(TableView::BacklashMode, ch));
    }
}

QTEST_GUILESS_MAIN(TstTableReplies)
#include "tst_tablereplies.moc"
