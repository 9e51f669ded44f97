// The reply interpreter: cleaning, service requests, dispatch by poll step and length, model
// identification, the speed report and the channel display.
#include "colours.h"
#include "fakepanelview.h"
#include "memorytable.h"
#include "panelstate.h"
#include "replyinterpreter.h"

#include <QtTest>

enum Kind { Kelda, Runel, Vasko };
Q_DECLARE_METATYPE(Kind)

class TstReplies : public QObject {
    Q_OBJECT
private slots:
    void init();

    void dispatchByStepAndLength_data();
    void dispatchByStepAndLength();
    void modelIdentification_data();
    void modelIdentification();
    void twoChannelModelAfterFourChannel();
    void speedReport_data();
    void speedReport();
    void serviceRequests_data();
    void serviceRequests();
    void shortVersionKeepsAsking();
    void positionReplies_data();
    void positionReplies();
    void lampReplies_data();
    void lampReplies();
    void statusWord();
    void stopConditionSequence();
    void tableReadingTakesEveryReply();

private:
    void identify(Kind kind);
    void feed(const QByteArray& reply) { interpreter->InterpretReply(reply); }

    PanelState state;
    FakePanelView view;
    std::unique_ptr<ReplyInterpreter> interpreter;
};

void TstReplies::init() {
    state = PanelState{};
    view = FakePanelView{};
    interpreter = std::make_unique<ReplyInterpreter>(state, view);
}

void TstReplies::identify(Kind kind) {
    state.PollStep = 4;
    feed(kind == Kelda   ? "KELDA-01 Ver 2.00\r\n"
         : kind == Runel ? "RUNEL-01 Ver 1.10\r\n"
                         : "VASKO-01 Ver 1.20\r\n");
    QCOMPARE(state.PollStep, 5);
}

void TstReplies::dispatchByStepAndLength_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<int>("step");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("next");
    QTest::addColumn<bool>("read");  // shown in the channel's position or lamps
    // A reply of `limit` sevens is read; one character more or fewer (`past`) drops the rotation
    // to step 0, a USB controller's too.
    const auto edge = [](const char* what, Kind kind, int step, int limit, QList<int> past, int next) {
        QTest::addRow("%s, step %d, %d characters", what, step, limit)
            << kind << step << QByteArray(limit, '7') + "\r\n"
            << next << true;
        for (int length : past) {
            QTest::addRow("%s, step %d, %d characters", what, step, length)
                << kind << step << QByteArray(length, '7') + "\r\n"
                << 0 << false;
        }
    };
    for (int ch = 0; ch < 4; ++ch) {
        edge("four-channel position", Vasko, ch, 8, {7}, 10 + ch);
        edge("four-channel lamp", Vasko, 10 + ch, 5, {6}, ch == 3 ? 0 : ch + 1);
        edge("four-channel status", Vasko, 20 + ch, 14, {13}, ch == 3 ? 20 : 21 + ch);
    }
    for (int ch = 0; ch < 2; ++ch) {
        edge("network position", Kelda, ch, 8, {7}, 10 + ch);
        edge("network lamp", Kelda, 10 + ch, 5, {6}, ch == 0 ? 1 : 0);
        edge("two-channel status", Runel, 20 + ch, 14, {13}, ch == 0 ? 21 : 20);
    }
    edge("two-channel speed", Runel, 5, 7, {6, 8}, 20);
    edge("four-channel speed", Vasko, 5, 9, {8, 10}, 20);
    QTest::newRow("step without a query") << Kelda << 7 << QByteArray("anything\r\n") << 0 << false;
    QTest::newRow("lone LF counts in the length") << Kelda << 10 << QByteArray("L07\n\n\n\r\n") << 0 << false;
    QTest::newRow("free text stays at 6") << Kelda << 6 << QByteArray("ERR\r\n") << 6 << false;
    // A query the controller refused: a USB controller stays in its own rotation.
    QTest::newRow("status query refused") << Vasko << 23 << QByteArray("ERR\r\n") << 20 << false;
    QTest::newRow("speed query refused") << Runel << 5 << QByteArray("NG\r\n") << 20 << false;
    QTest::newRow("network position query refused") << Kelda << 1 << QByteArray("ERR\r\n") << 0 << false;
}

void TstReplies::dispatchByStepAndLength() {
    QFETCH(Kind, kind);
    QFETCH(int, step);
    QFETCH(QByteArray, reply);
    identify(kind);
    state.PollStep = step;
    state.TimeoutCount = 3;
    state.ReplyWaitTicks = 7;
    state.AwaitingReply = 1;
    feed(reply);
    QTEST(state.PollStep, "next");
    if (const int ch = step % 10; ch < 4) {
        QTEST(view.position[ch].startsWith(u'7') || view.lamps[int(PanelView::Lamp::CW)][ch], "read");
    }
    // Every reply line closes the outstanding query, recognised or not.
    QCOMPARE(state.TimeoutCount, 0);
    QCOMPARE(state.ReplyWaitTicks, 0);
    QCOMPARE(state.AwaitingReply, 0);
}

void TstReplies::modelIdentification_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("usb");
    QTest::addColumn<bool>("four");
    QTest::addColumn<int>("lastChannel");
    QTest::addColumn<int>("font");
    const auto row = [](const char* name, const char* reply, const char* model, bool usb, bool four) {
        QTest::newRow(name) << QByteArray(reply) << QString::fromLatin1(model) + " PULSE MOTOR CONTROLLER"
                            << usb << four << (four ? 3 : 1) << (usb ? 12 : 18);
    };
    row("ten characters, no model word", "Ver 1.0000", "KELDA-01 2CH", false, false);
    row("runel in lower case", "runel-01 ver 1.1", "RUNEL-01 2CH", true, false);
    row("both words: RUNEL wins", "VASKO RUNEL 1.0", "RUNEL-01 2CH", true, false);
    row("vasko", "VASKO-01 Ver 1.20", "VASKO-01 4CH", true, true);
}

void TstReplies::modelIdentification() {
    QFETCH(QByteArray, reply);
    QFETCH(bool, four);
    state.PollStep = 4;
    view.position = {"+1", "+2", "+3", "+4"};
    feed(reply + "\r\n");
    QCOMPARE(view.firmware, QStringLiteral("Firmware Version  ") + QString::fromLatin1(reply));
    QTEST(view.modelTitle, "title");
    QTEST(state.UsbModel, "usb");
    QCOMPARE(state.FourChModel, four);
    QTEST(state.LastChannel, "lastChannel");
    QTEST(view.demoVisible, "usb");
    QTEST(view.fontSize[0], "font");
    for (int ch = 0; ch < 4; ++ch) {
        const bool kept = four || ch < 2;
        QCOMPARE(view.channelEnabled[ch], kept);
        QCOMPARE(view.position[ch], kept ? QStringLiteral("+%1").arg(ch + 1) : QStringLiteral("-----------"));
    }
    QCOMPARE(state.PollStep, 5);
}

void TstReplies::twoChannelModelAfterFourChannel() {
    identify(Vasko);
    state.ChannelSelected = {1, 0, 1, 1, 0};
    view.channelColour[2] = view.channelColour[3] = Bgr::LightOrange;
    view.position[2] = view.position[3] = QStringLiteral("+0000200");
    identify(Kelda);
    QVERIFY(!state.FourChModel);
    QCOMPARE(state.LastChannel, 1);
    for (int ch : {2, 3}) {
        QVERIFY(!view.channelEnabled[ch]);
        QCOMPARE(state.ChannelSelected[ch], 0);
        QCOMPARE(view.channelColour[ch], Bgr::ButtonFace);
        QCOMPARE(view.position[ch], QStringLiteral("-----------"));
    }
    QCOMPARE(state.ChannelSelected[0], 1);
    // The KELDA-01 enlarges only channels A and B.
    QCOMPARE(view.fontSize[2], 12);
    identify(Vasko);
    QVERIFY(view.channelEnabled[2] && view.channelEnabled[3]);
    QCOMPARE(state.ChannelSelected[2], 0);  // left as it is
}

void TstReplies::speedReport_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("speed");
    QTest::newRow("L") << Kelda << QByteArray("S48=010") << 2;
    QTest::newRow("M") << Runel << QByteArray("S48=020") << 1;
    QTest::newRow("H from any other") << Runel << QByteArray("S48=0x0") << 0;
    QTest::newRow("four channels, nine characters") << Vasko << QByteArray("S48=01000") << 2;
    QTest::newRow("network, eight characters: not read") << Kelda << QByteArray("S48=0100") << 1;
}

void TstReplies::speedReport() {
    QFETCH(Kind, kind);
    QFETCH(QByteArray, reply);
    QFETCH(int, speed);
    identify(kind);
    QList<int> clicks;
    view.onSpeedChosen = [&](int k) { clicks << k; };
    feed(reply + "\r\n");
    QCOMPARE(view.speed, speed);
    // A change of selection runs the option's click handling; the same speed runs nothing.
    QCOMPARE(clicks, speed == 1 ? QList<int>{} : QList<int>{speed});
}

void TstReplies::serviceRequests_data() {
    QTest::addColumn<int>("step");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("notice");
    QTest::addColumn<int>("next");
    QTest::addColumn<int>("timeouts");
    QTest::addColumn<QString>("position");
    const auto row = [](const char* name, int step, const char* reply, bool notice, int next, int timeouts,
                        const char* position) {
        QTest::newRow(name) << step << QByteArray(reply) << notice << next << timeouts << position;
    };
    row("SRQ alone", 0, "SRQ\r\n", true, 0, 2, "0000000");
    row("SRQ alone at a status step", 11, "SRQ\r\n", true, 11, 2, "0000000");
    row("all markers alone", 1, "SRQABSRQBSRQA\r\n", true, 1, 2, "0000000");
    row("SRQA before a position", 0, "SRQAP0+0001000\r\n", true, 10, 0, "+0001000");
    row("marker on its own line before a position", 0, "SRQ\r\nP0+0001000\r\n", true, 10, 0, "+0001000");
    row("lower case is no service request", 0, "srq\r\n", false, 0, 0, "0000000");
}

void TstReplies::serviceRequests() {
    QFETCH(int, step);
    QFETCH(QByteArray, reply);
    QFETCH(bool, notice);
    identify(Kelda);
    view.text3 = QStringLiteral("earlier text");
    state.PollStep = step;
    state.TimeoutCount = 2;
    state.ReplyWaitTicks = 5;
    state.AwaitingReply = 1;
    feed(reply);
    QCOMPARE(view.text3, notice ? QStringLiteral("SRQ code received !") : QStringLiteral("earlier text"));
    QTEST(state.PollStep, "next");
    QTEST(state.TimeoutCount, "timeouts");
    QCOMPARE(state.AwaitingReply, 0);
    QCOMPARE(state.ReplyWaitTicks, 0);
    QTEST(view.position[0], "position");
}

void TstReplies::shortVersionKeepsAsking() {
    state.PollStep = 4;
    state.TimeoutCount = 2;
    state.AwaitingReply = 1;
    feed("KELDA-01\r\n");   // 8 characters
    feed("VER 1.2.3\r\n");  // 9 characters
    QCOMPARE(state.PollStep, 4);
    QCOMPARE(state.TimeoutCount, 2);
    QCOMPARE(state.AwaitingReply, 0);
    QCOMPARE(view.firmware, QStringLiteral("Firmware version"));
}

void TstReplies::positionReplies_data() {
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("shown");
    QTest::newRow("net 8") << Kelda << QByteArray("P0+00010") << "+00010";
    QTest::newRow("net 11") << Kelda << QByteArray("P0+00010000") << "+00010000";
    QTest::newRow("net 12") << Kelda << QByteArray("P0+000100000") << "+000100000";
    QTest::newRow("net 14") << Kelda << QByteArray("P0+0001000xyzw") << "+0001000xy";
    QTest::newRow("usb 8 whole") << Runel << QByteArray("+0001000") << "+0001000";
    QTest::newRow("usb 11 whole") << Runel << QByteArray("+0001000abc") << "+0001000abc";
    QTest::newRow("usb 12 loses two") << Runel << QByteArray("PS+0001000ab") << "+0001000ab";
    QTest::newRow("usb 14") << Runel << QByteArray("PS+0001000abcd") << "+0001000ab";
}

void TstReplies::positionReplies() {
    QFETCH(Kind, kind);
    QFETCH(QByteArray, reply);
    identify(kind);
    state.PollStep = 1;  // channel B: the fallback rotation on a USB controller
    feed(reply + "\r\n");
    QTEST(view.position[1], "shown");
    QCOMPARE(state.PollStep, 11);
}

void TstReplies::lampReplies_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("cw");
    QTest::addColumn<bool>("ccw");
    QTest::addColumn<bool>("hp");
    QTest::addColumn<int>("holdOff");
    QTest::newRow("digit 5: CW and HP") << QByteArray("L05") << true << false << true << 0;
    QTest::newRow("digit 8: hold-off only") << QByteArray("L08") << false << false << false << 1;
    QTest::newRow("digit b, lower case") << QByteArray("L0b") << true << true << false << 1;
    QTest::newRow("two characters: all dark") << QByteArray("L0") << false << false << false << 0;
    QTest::newRow("not a hex digit") << QByteArray("L0Z") << false << false << false << 0;
}

void TstReplies::lampReplies() {
    QFETCH(QByteArray, reply);
    QFETCH(int, holdOff);
    identify(Kelda);
    view.lamps = {{{true, true, true, true}, {true, true, true, true}, {true, true, true, true}}};
    state.HoldOff[1] = 1;
    state.PollStep = 11;
    feed(reply + "\r\n");
    QTEST(view.lamps[int(PanelView::Lamp::CW)][1], "cw");
    QTEST(view.lamps[int(PanelView::Lamp::CCW)][1], "ccw");
    QTEST(view.lamps[int(PanelView::Lamp::HP)][1], "hp");
    QCOMPARE(state.HoldOff[1], holdOff);
    QCOMPARE(view.holdOffLit[1], holdOff == 1);
    QCOMPARE(view.lamps[int(PanelView::Lamp::CW)][0], true);  // other channels untouched
}

void TstReplies::statusWord() {
    identify(Vasko);
    state.DemoLegPending[2] = state.DemoHaltMuted[2] = true;
    state.PollStep = 22;
    feed("ST0901+0000123\r\n");
    QVERIFY(view.lamps[int(PanelView::Lamp::CW)][2]);
    QVERIFY(!view.lamps[int(PanelView::Lamp::CCW)][2]);
    QVERIFY(!view.lamps[int(PanelView::Lamp::HP)][2]);
    QCOMPARE(state.HoldOff[2], 1);
    QVERIFY(view.holdOffLit[2]);
    QVERIFY(state.ChannelBusy[2]);
    QVERIFY(!state.DemoLegPending[2] && !state.DemoHaltMuted[2]);
    QCOMPARE(view.position[2], QStringLiteral("+0000123"));
    QCOMPARE(state.PollStep, 23);
    // Twenty characters: the position is everything from the seventh on.
    feed("ST0600+0000123456789\r\n");
    QCOMPARE(view.position[3], QStringLiteral("+0000123456789"));
    QVERIFY(view.lamps[int(PanelView::Lamp::CCW)][3] && view.lamps[int(PanelView::Lamp::HP)][3]);
    QVERIFY(!state.ChannelBusy[3]);
}

void TstReplies::stopConditionSequence() {
    identify(Runel);
    const QList<QPair<QByteArray, bool>> words = {{"000", false}, {"040", true},  {"060", true},
                                                  {"000", false}, {"020", false}, {"080", true},
                                                  {"020", true},  {"0E0", true},  {"X40", false}};
    for (const auto& [word, expected] : words) {
        state.PollStep = 20;
        feed("ST0" + word + "+0000000\r\n");
        QVERIFY2(state.ChannelStopCondition[0] == expected, word.constData());
    }
}

void TstReplies::tableReadingTakesEveryReply() {
    identify(Runel);
    MemoryTable table;
    interpreter->setTable(&table);
    state.TableReading = true;
    state.PollStep = 21;
    state.AwaitingReply = 1;
    state.TimeoutCount = 2;
    feed("SRQ+0001000\r\n");
    // Stored as the position of channel 0, service-request text and all; the rotation stays put.
    QCOMPARE(table.field(TableView::Position, 0), QStringLiteral("SRQ+0001000"));
    QCOMPARE(state.PollStep, 21);
    QCOMPARE(state.AwaitingReply, 0);
    QCOMPARE(state.TimeoutCount, 0);
    QCOMPARE(view.text3, QString());
    QCOMPARE(state.TableChannel, 1);
}

QTEST_MAIN(TstReplies)
#include "tst_replies.moc"
