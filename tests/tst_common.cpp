#include "axisbook.h"
#include "colours.h"
#include "intervaltimer.h"
#include "textfields.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace TextFields;

class TstCommon : public QObject {
    Q_OBJECT
private slots:
    void hexReading_data();
    void hexReading();
    void leadingNumbers_data();
    void leadingNumbers();
    void numericTest_data();
    void numericTest();
    void zeroIntervalStopsTimer();
    void bgrWords();
    void standStill_data();
    void standStill();
};

void TstCommon::hexReading_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<uint>("value");
    QTest::newRow("three digits") << QByteArray("901+0001000") << 0x901u;
    QTest::newRow("lower case") << QByteArray("aF") << 0xAFu;
    QTest::newRow("stops at first other") << QByteArray("4G5") << 0x4u;
    QTest::newRow("no leading digit") << QByteArray("X12") << 0u;
    QTest::newRow("empty") << QByteArray() << 0u;
    QTest::newRow("sixteen bits") << QByteArray("8000") << 0x8000u;
}

void TstCommon::hexReading() {
    QFETCH(QByteArray, text);
    QFETCH(uint, value);
    QCOMPARE(readHex(text), value);
    QCOMPARE(readHex(QString::fromLatin1(text)), value);
}

void TstCommon::leadingNumbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    // Signs, fractions and text after the number are pinned where the value texts, the table read's
    // speeds and the port number use this; these are the cases none of them meets.
    QTest::newRow("blanks, tabs and LF skipped anywhere") << " 1 2\t3\n" << 123.0;
    QTest::newRow("sign alone") << "-" << 0.0;
}

void TstCommon::leadingNumbers() {
    QFETCH(QString, text);
    QTEST(leadingNumber(text), "value");
}

void TstCommon::numericTest_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    QTest::newRow("signed") << "-250" << true;
    QTest::newRow("plus") << "+0001000" << true;
    QTest::newRow("fraction") << "12.5" << true;
    QTest::newRow("blanks around") << " 42 " << true;
    QTest::newRow("letters") << "abc" << false;
    QTest::newRow("number then letters") << "12ab" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("dot alone") << "." << false;
    QTest::newRow("exponent") << "1e3" << true;
}

void TstCommon::numericTest() {
    QFETCH(QString, text);
    QTEST(isNumeric(text), "numeric");
}

void TstCommon::zeroIntervalStopsTimer() {
    IntervalTimer timer;
    QSignalSpy ticks(&timer, &IntervalTimer::timeout);
    QVERIFY(!timer.running());
    timer.setInterval(5);
    QVERIFY(timer.running());
    QVERIFY(ticks.wait(1000));
    timer.setInterval(0);
    QVERIFY(!timer.running());
    QVERIFY(!timer.ticking());
}

void TstCommon::bgrWords() {
    QCOMPARE(colourFromBgr(0x0080C0FF), QColor(255, 192, 128));
    QCOMPARE(bgrFromRgb(255, 192, 128), 0x0080C0FFu);
    QPushButton button;
    setBackColour(&button, Bgr::LightYellow);
    QCOMPARE(backColour(&button), Bgr::LightYellow);
    QCOMPARE(button.palette().color(QPalette::Button), QColor(255, 255, 192));
}

QTEST_MAIN(TstCommon)
#include "tst_common.moc"

// A move whose controller reports no busy bit (the network model, or a USB move never seen busy)
// ends once its channel has stood still for kStillPolls polls: pinned one short of the rule and at
// it, on both kinds of report.
void TstCommon::standStill_data() {
    QTest::addColumn<bool>("status");     // status replies with the busy bit clear, else position replies
    QTest::addColumn<qint64>("through");  // where the channel is seen before it stands
    QTest::addColumn<int>("still");       // polls that repeat the standing position
    QTest::addColumn<bool>("ended");
    QTest::addColumn<bool>("settled");  // seen to stand: what a repeated jog waits for
    const int rule = AxisBook::kStillPolls;
    QTest::newRow("network, one poll short") << false << 500LL << rule - 1 << false << true;
    QTest::newRow("network, at the rule") << false << 500LL << rule << true << true;
    QTest::newRow("network, still moving") << false << 500LL << 0 << false << false;
    // Idle where it started: the controller never ran it.
    QTest::newRow("status, never ran, one short") << true << 0LL << rule - 2 << false << true;
    QTest::newRow("status, never ran, at the rule") << true << 0LL << rule - 1 << true << true;
}

void TstCommon::standStill() {
    QFETCH(bool, status);
    QFETCH(qint64, through);
    QFETCH(int, still);
    QFETCH(bool, ended);
    QFETCH(bool, settled);
    AxisBook book;
    const auto poll = [&](qint64 at) {
        book.lineSent(true);
        const QString text = AxisBook::positionText(at);
        status ? book.statusReported(0, 0, text) : book.positionReported(0, text);
    };
    poll(0);
    book.lineSent(false);
    book.wentOut(0, Origin::Operator, MoveKind::Absolute, 1000, false);
    poll(through);
    if (!status) {
        poll(1000);
    }
    for (int i = 0; i < still; ++i) {
        poll(status ? through : 1000);
    }
    const AxisMove* move = book.latest(0);
    QVERIFY(move);
    QCOMPARE(move->state == MoveState::Ended, ended);
    QCOMPARE(book.settled(0), settled);
    if (ended && !status) {
        QCOMPARE(move->outcome, Outcome::Done);
    }
}
