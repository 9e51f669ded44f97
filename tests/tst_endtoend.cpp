// The real panel against the simulated controllers: what goes over the wire and what the window
// shows, over loopback TCP (KELDA-01) and a pseudo-terminal (RUNEL-01, VASKO-01).
#include "colours.h"
#include "lampindicator.h"
#include "simpanel.h"
#include "widgets.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(SimModel)

namespace {
bool lampLit(SimPanel& p, const char* lamp, int ch) {
    auto* l = p.find<LampIndicator>(indexed(lamp, ch));
    return l != nullptr && l->fillBgr() == Bgr::Red;
}
}  // namespace

class TstEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void identification_data();
    void identification();
    void scanToTheCwLimit_data();
    void scanToTheCwLimit();
    void demonstrationDrive();
    void freeTextConsole();
    void closeGuardedQuitNot();
};

void TstEndToEnd::identification_data() {
    QTest::addColumn<SimModel>("model");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("fourCh");
    QTest::addColumn<bool>("demo");
    QTest::addColumn<QByteArray>("pollA");
    QTest::newRow("KELDA-01 over TCP")
        << SimModel::Kelda << "KELDA-01 2CH PULSE MOTOR CONTROLLER" << false << false << QByteArray("S200");
    QTest::newRow("RUNEL-01 over a pty")
        << SimModel::Runel << "RUNEL-01 2CH PULSE MOTOR CONTROLLER" << false << true << QByteArray("STS0?");
    QTest::newRow("VASKO-01 over a pty")
        << SimModel::Vasko << "VASKO-01 4CH PULSE MOTOR CONTROLLER" << true << true << QByteArray("STS0?");
}

void TstEndToEnd::identification() {
    QFETCH(SimModel, model);
    QFETCH(QString, title);
    QFETCH(bool, fourCh);
    QFETCH(QByteArray, pollA);
    SimPanel p(model);
    QVERIFY(p.connect());
    QCOMPARE(p.text("Label1"), title);
    QVERIFY(p.text("Label13").startsWith(QStringLiteral("Firmware Version  ")));
    QVERIFY(p.text("Label13").contains(title.left(8)));
    QCOMPARE(p.find<QPushButton>("Ch_2")->isEnabled(), fourCh);
    QTEST(p.find<QPushButton>("BtnDEMO")->isVisibleTo(&p.app->window), "demo");
    // The simulator starts at speed M: the selector follows the controller's report.
    QVERIFY(p.find<QRadioButton>("RadSpeed_1")->isChecked());
    QTRY_VERIFY(p.received.count(pollA) >= 2);
    if (fourCh) {
        QTRY_VERIFY(p.received.contains("STS3?"));
    } else {
        QVERIFY(!p.received.contains("STS2?") && !p.received.contains("S220"));
    }
    QVERIFY(p.messages.boxes.isEmpty());
}

void TstEndToEnd::scanToTheCwLimit_data() {
    identification_data();
}

void TstEndToEnd::scanToTheCwLimit() {
    QFETCH(SimModel, model);
    SimPanel p(model);
    p.sim.channel(1).sensors.cwLimit = 600;  // near, so the scan ends within a second
    QVERIFY(p.connect());
    p.click("Ch_1");
    p.click("Option1_3");  // SCN
    p.click("Ctr_5");      // arm
    p.click("Command6");   // + : scan CW
    QTRY_VERIFY(p.received.contains("S310E"));
    QTRY_VERIFY_WITH_TIMEOUT(lampLit(p, "LampCW", 1), 4000);
    QTRY_COMPARE(p.text("LblPosition_1").toInt(), 600);
    QVERIFY(!lampLit(p, "LampCCW", 1));
    QVERIFY(!lampLit(p, "LampCW", 0));
    QCOMPARE(backColour(p.find<QPushButton>("Ctr_5")), Bgr::LightGreen);

    // The position chart's history: every position reply of B (at rest first, the same one again
    // and again), the switch as B's last mark; A rests at home, its one mark the home lamp lighting.
    p.app->Timer2.setInterval(0);
    QTRY_VERIFY((p.app->channel.PollUsbInput(), p.app->state.AwaitingReply == 0));
    const PositionHistory& history = p.app->instruments.history;
    QCOMPARE(history.taken(1), quint64(p.received.count(p.usb ? "STS1?" : "S210")));
    QCOMPARE(history.samples(1).back().value, qint64(600));
    const auto marks = [&history](int ch) {
        QList<PositionHistory::Event> out;
        std::copy_if(history.events().begin(), history.events().end(), std::back_inserter(out),
                     [ch](const PositionHistory::Event& e) { return e.ch == ch; });
        return out;
    };
    const QList<PositionHistory::Event> b = marks(1);
    QVERIFY(!b.isEmpty() && b.back().mark == PositionHistory::Mark::Cw && b.back().on);
    QCOMPARE(marks(0).size(), 1);
}

void TstEndToEnd::demonstrationDrive() {
    SimPanel p(SimModel::Runel);
    QVERIFY(p.connect());
    p.find<QLineEdit>("Text1_0")->setText(QStringLiteral("500"));
    p.click("Ch_0");
    p.click("BtnDEMO");
    QCOMPARE(p.text("BtnDEMO"), QStringLiteral("DEMO END"));
    // Legs back and forth: each is seen busy, then idle, before the next goes out.
    QTRY_VERIFY_WITH_TIMEOUT(p.received.count("REL0500") >= 2 && p.received.contains("REL0-500"), 8000);
    p.click("BtnDEMO");
    QTRY_COMPARE(p.text("BtnDEMO"), QStringLiteral("DEMO DRIVE"));
    QTRY_VERIFY(p.received.contains("S3040"));
    // No leg after the end, however many status rounds follow.
    const auto legs = p.received.count("REL0500") + p.received.count("REL0-500");
    const auto polls = p.received.count("STS0?");
    QTRY_VERIFY(p.received.count("STS0?") >= polls + 10);
    QCOMPARE(p.received.count("REL0500") + p.received.count("REL0-500"), legs);
}

void TstEndToEnd::freeTextConsole() {
    SimPanel p(SimModel::Kelda);
    QVERIFY(p.connect());
    auto* box = p.find<QPlainTextEdit>("Text2");
    // Pasted lines: each line break taken out by its own change, which is itself a change.
    box->insertPlainText(QStringLiteral("VE\nR?\n"));
    QTRY_VERIFY(p.text("Text3").contains(QStringLiteral("KELDA-01")));
    QCOMPARE(box->toPlainText(), QStringLiteral("VER?"));
    QCOMPARE(box->textCursor().position(), 4);
    // Polling resumes after the free-text time-out.
    const auto polls = p.received.count("S200");
    QTRY_VERIFY(p.received.count("S200") > polls);
    QVERIFY(p.messages.boxes.isEmpty());
}

void TstEndToEnd::closeGuardedQuitNot() {
    SimPanel p(SimModel::Kelda);
    QVERIFY(p.connect());
    // The window's own close is refused while the session is open.
    QVERIFY(!p.app->window.close());
    QVERIFY(p.app->window.isVisible());
    QCOMPARE(p.messages.texts(), QStringList{"Session is still active, Please disconnect before exit."});
    QCOMPARE(p.messages.boxes.first().title, QStringLiteral("Caution !"));
    QCOMPARE(p.messages.boxes.first().icon, MessageSink::Icon::Information);
    // Quit is not.
    QSignalSpy quit(p.app.get(), &Application::quitRequested);
    p.click("Command1");
    QCOMPARE(quit.count(), 1);
    QCOMPARE(p.app->channel.tcpSocket().state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(p.messages.boxes.size(), 1);
    // Once the session has ended, the window closes.
    p.click("Connect");  // Disconnect
    QVERIFY(p.app->window.close());
    QCOMPARE(p.messages.boxes.size(), 1);
}

QTEST_MAIN(TstEndToEnd)
#include "tst_endtoend.moc"
