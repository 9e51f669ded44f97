// Operator commands and the sequenced moves they request, with what goes over the wire.
#include "fakepanelview.h"
#include "intervaltimer.h"
#include "operatorcommands.h"
#include "panelstate.h"
#include "pollingcycle.h"
#include "recordinglink.h"
#include "recordingmessages.h"
#include "sequencedmoves.h"

#include <QSignalSpy>
#include <QtTest>
#include <memory>

class TstMoves : public QObject {
    Q_OBJECT
private slots:
    void init();

    void jogOrderAndArming_data();
    void jogOrderAndArming();
    void startFlags_data();
    void startFlags();
    void presetAccumulates();
    void speedAndHoldOff();
    void setupNeedsSession();
    void sendBox_data();
    void sendBox();
    void valueTexts_data();
    void valueTexts();
    void moveCommands_data();
    void moveCommands();
    void sequencesTickByTick_data();
    void sequencesTickByTick();
    void stopHalfWayThroughSequence();
    void sequenceWaitsBehindDemo();
    void demoLegs_data();
    void demoLegs();
    void demoEndsOnStopCondition();
    void synchroDriveWaitsForAllIdle();
    void demoNeedsIdleSelectedChannel();

private:
    void select(const QList<int>& channels) {
        for (int ch : channels) {
            commands->ChannelClicked(ch);
        }
    }
    // One tick; returns what it sent without CR LF.
    QByteArrayList tick() {
        const auto before = link.sent.size();
        cycle->Tick();
        return link.lines().mid(before);
    }

    PanelState state;
    FakePanelView view;
    RecordingLink link;
    RecordingMessages messages;
    std::unique_ptr<IntervalTimer> timer2;
    std::unique_ptr<SequencedMoves> moves;
    std::unique_ptr<OperatorCommands> commands;
    std::unique_ptr<PollingCycle> cycle;
};

void TstMoves::init() {
    state = PanelState{};
    view = FakePanelView{};
    link = RecordingLink{};
    messages = RecordingMessages{};
    timer2 = std::make_unique<IntervalTimer>();
    moves = std::make_unique<SequencedMoves>(state, view, link);
    commands = std::make_unique<OperatorCommands>(state, view, link, messages, *timer2, moves->script());
    cycle = std::make_unique<PollingCycle>(state, view, link, messages, *moves);
    state.Connected = true;
    state.UsbModel = true;
    state.FourChModel = true;
    state.PollStep = 20;
    state.AwaitingReply = 1;  // a poll reply is outstanding: ticks show only the moves
}

void TstMoves::jogOrderAndArming_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("arm");
    QTest::addColumn<bool>("cw");
    QTest::addColumn<QByteArrayList>("sent");
    QTest::addColumn<bool>("stop");  // Stop pressed between arming and the jog
    QTest::newRow("REL plain +") << 1 << false << true << QByteArrayList{"S3008", "S3208"} << false;
    QTest::newRow("ABS, Start does not arm")
        << 2 << true << false << QByteArrayList{"S3009", "S3209"} << false;
    QTest::newRow("HP armed -") << 0 << true << false << QByteArrayList{"S301F", "S321F"} << false;
    QTest::newRow("HP armed +") << 0 << true << true << QByteArrayList{"S301E", "S321E"} << false;
    QTest::newRow("SCN armed +") << 3 << true << true << QByteArrayList{"S300E", "S320E"} << false;
    QTest::newRow("SCN not armed -") << 3 << false << false << QByteArrayList{"S3009", "S3209"} << false;
    QTest::newRow("SCN armed, Stop disarms") << 3 << true << true << QByteArrayList{"S3008", "S3208"} << true;
}

void TstMoves::jogOrderAndArming() {
    QFETCH(int, mode);
    QFETCH(bool, arm);
    QFETCH(bool, cw);
    QFETCH(QByteArrayList, sent);
    QFETCH(bool, stop);
    select({2, 0});
    view.mode = mode;
    if (arm) {
        commands->Start();
        if (mode == 0 || mode == 3) {
            QCOMPARE(view.startColour, Bgr::Green);
        }
    }
    if (stop) {
        commands->Stop();
        QCOMPARE(link.lines(), (QByteArrayList{"S3040", "S3240"}));
    }
    link.sent.clear();
    commands->Jog(cw);
    QCOMPARE(link.lines(), sent);
    QCOMPARE(view.startColour, Bgr::LightGreen);
    QCOMPARE(state.ScanArmed, 0);
    // Fired once: the next press is a plain jog again.
    link.sent.clear();
    commands->Jog(cw);
    QCOMPARE(link.lines().first(), QByteArray(cw ? "S3008" : "S3009"));
}

void TstMoves::startFlags_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<int>>("channels");
    QTest::addColumn<int>("rel");
    QTest::addColumn<int>("abs");
    QTest::newRow("REL B and C") << 1 << QList<int>{1, 2} << 134 << 0;
    QTest::newRow("REL B only") << 1 << QList<int>{1} << 2 << 0;
    QTest::newRow("ABS A and D") << 2 << QList<int>{0, 3} << 0 << 137;
    QTest::newRow("REL nothing selected") << 1 << QList<int>{} << 0 << 0;
}

void TstMoves::startFlags() {
    QFETCH(int, mode);
    QFETCH(QList<int>, channels);
    select(channels);
    view.mode = mode;
    commands->Start();
    QTEST(int(state.RelMoveFlags), "rel");
    QTEST(int(state.AbsMoveFlags), "abs");
    QVERIFY(link.sent.isEmpty());
}

void TstMoves::presetAccumulates() {
    select({0});
    QCOMPARE(view.channelColour[0], Bgr::LightOrange);
    commands->Preset();
    commands->ChannelClicked(0);  // off again: the preset stays requested
    QCOMPARE(view.channelColour[0], Bgr::ButtonFace);
    select({2, 3});
    commands->Preset();
    QCOMPARE(int(state.PresetMask), 1 + 4 + 8);
    view.text1[2] = QStringLiteral("+250");
    QCOMPARE(tick(), (QByteArrayList{"PS00001000", "PS2250", "PS30001000"}));
    QCOMPARE(int(state.PresetMask), 0);
    state.UsbModel = false;
    select({2, 3, 1});  // C and D off, B on
    commands->Preset();
    QCOMPARE(tick(), QByteArrayList{"S3919+0001000"});
}

void TstMoves::speedAndHoldOff() {
    commands->SpeedChosen(0);
    commands->SpeedChosen(1);
    commands->SpeedChosen(2);
    state.HoldOff[1] = 1;
    commands->HoldOffClicked(1);  // not selected: sent all the same
    commands->HoldOffClicked(0);
    QCOMPARE(link.lines(), (QByteArrayList{"S71H", "S71M", "S71L", "S3119", "S3018"}));
}

void TstMoves::setupNeedsSession() {
    QSignalSpy opened(commands.get(), &OperatorCommands::setupRequested);
    timer2->setInterval(20);
    state.Connected = false;
    commands->SetupClicked();
    QCOMPARE(messages.texts(), QStringList{"Not connected !"});
    QCOMPARE(messages.boxes.first().title, QStringLiteral("Caution !"));
    QCOMPARE(opened.count(), 0);
    QVERIFY(timer2->running());
    state.Connected = true;
    commands->SetupClicked();
    QCOMPARE(opened.count(), 1);
    QVERIFY(!timer2->running());
}

void TstMoves::sendBox_data() {
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::addColumn<int>("pending");
    QTest::newRow("Enter at the end") << true << "VER?\n" << QStringLiteral("VER?") << 1;
    QTest::newRow("no line break yet") << true << "VE" << QStringLiteral("VE") << 0;
    QTest::newRow("pasted lines become one") << true << "S3\n0\r\n08\n" << QStringLiteral("S3008") << 1;
    QTest::newRow("disconnected keeps the text") << false << "VER?\n" << QStringLiteral("VER?\n") << 0;
}

void TstMoves::sendBox() {
    QFETCH(bool, connected);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    QFETCH(int, pending);
    state.Connected = connected;
    // Setting the text raises the change event again, as the real box does.
    view.onSendTextChanged = [this] { commands->SendTextChanged(); };
    view.text2 = typed;
    commands->SendTextChanged();
    QCOMPARE(view.text2, kept);
    QCOMPARE(state.PendingFreeText, pending);
    QCOMPARE(messages.texts(), connected ? QStringList{} : QStringList{"Not connected !"});
    if (pending) {
        QCOMPARE(view.sendCursor, kept.size());
    }
}

void TstMoves::valueTexts_data() {
    QTest::addColumn<bool>("usb");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("value");
    const auto row = [](const char* name, bool usb, const char* text, const char* value) {
        QTest::newRow(name) << usb << text << value;
    };
    row("net 0", false, "0", "+0000000");
    row("net -0", false, "-0", "+0000000");
    row("net -0.4 keeps its sign", false, "-0.4", "-0000000");
    row("net eight digits kept", false, "123456789", "+123456789");
    row("net not a number", false, "abc", "+0000000");
    row("net number then letters", false, "12ab", "+0000012");
    row("net half away from zero", false, "2.5", "+0000003");
    row("net negative half", false, "-2.5", "-0000003");
    row("usb plus removed", true, "+0001000", "0001000");
    row("usb unchanged otherwise", true, "-5x0", "-5x0");
}

void TstMoves::valueTexts() {
    QFETCH(bool, usb);
    QFETCH(QString, text);
    state.UsbModel = usb;
    view.text1[0] = text;
    QTEST(moves->MoveValueText(0), "value");
}

void TstMoves::moveCommands_data() {
    QTest::addColumn<bool>("usb");
    QTest::addColumn<int>("ch");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("backlash");
    QTest::addColumn<bool>("absolute");
    QTest::addColumn<QByteArray>("command");
    const auto row = [](const char* name, bool usb, int ch, const char* text, bool backlash, bool absolute,
                        const char* command) {
        QTest::newRow(name) << usb << ch << text << backlash << absolute << QByteArray(command) + "\r\n";
    };
    row("net rel A, backlash", false, 0, "-250", true, false, "S32R-0000250B");
    row("net abs A", false, 0, "1000", false, true, "S32A+0001000");
    row("net rel B", false, 1, "5", false, false, "S33R+0000005");
    row("usb rel B", true, 1, "+0001000", false, false, "REL10001000");
    row("usb rel B, backlash", true, 1, "+500", true, false, "REL1B500");
    row("usb abs D", true, 3, "-20", false, true, "ABS3-20");
}

void TstMoves::moveCommands() {
    QFETCH(bool, usb);
    QFETCH(int, ch);
    QFETCH(QString, text);
    QFETCH(bool, backlash);
    QFETCH(bool, absolute);
    state.UsbModel = usb;
    view.text1[ch] = text;
    view.backlash[ch] = backlash;
    QTEST(absolute ? moves->AbsMoveCommand(ch) : moves->RelMoveCommand(ch), "command");
}

void TstMoves::sequencesTickByTick_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<QList<int>>("channels");
    QTest::addColumn<QList<QByteArrayList>>("ticks");
    QTest::newRow("relative, two channels")
        << 1 << QList<int>{0, 1}
        << QList<QByteArrayList>{{"S3016"}, {"REL00001000"}, {"REL10001000"}, {"S3017"}, {"STS0?"}};
    QTest::newRow("relative, one channel")
        << 1 << QList<int>{1} << QList<QByteArrayList>{{"REL10001000"}, {"STS0?"}};
    QTest::newRow("preset, three channels: one tick")
        << -1 << QList<int>{0, 2, 3}
        << QList<QByteArrayList>{{"PS00001000", "PS20001000", "PS30001000"}, {"STS0?"}};
    QTest::newRow("absolute, four channels")
        << 2 << QList<int>{3, 2, 1, 0}
        << QList<QByteArrayList>{{"S3016"},       {"ABS00001000"}, {"ABS10001000"}, {"ABS20001000"},
                                 {"ABS30001000"}, {"S3017"},       {"STS0?"}};
}

void TstMoves::sequencesTickByTick() {
    QFETCH(int, mode);
    QFETCH(QList<int>, channels);
    QFETCH(QList<QByteArrayList>, ticks);
    state.AwaitingReply = 0;
    state.ReplyWaitTicks = 3;
    select(channels);
    view.mode = mode;
    mode < 0 ? commands->Preset() : commands->Start();
    for (const QByteArrayList& expected : ticks) {
        QCOMPARE(tick(), expected);
    }
    QCOMPARE(state.ReplyWaitTicks, 4);  // counted only on the final, polling tick
}

void TstMoves::stopHalfWayThroughSequence() {
    select({0, 1});
    commands->Start();
    QCOMPARE(tick(), QByteArrayList{"S3016"});
    QCOMPARE(tick(), QByteArrayList{"REL00001000"});
    commands->Stop();
    QCOMPARE(link.lines().mid(2), (QByteArrayList{"S3040", "S3140"}));
    QCOMPARE(tick(), QByteArrayList{"REL10001000"});
    QCOMPARE(tick(), QByteArrayList{"S3017"});
}

void TstMoves::sequenceWaitsBehindDemo() {
    select({0});
    moves->DemoClicked();
    commands->Start();
    QCOMPARE(tick(), QByteArrayList{"REL00001000"});  // the leg, not the move
    QCOMPARE(tick(), QByteArrayList{});
    moves->DemoClicked();  // end requested
    QCOMPARE(tick(), QByteArrayList{"S3040"});
    QCOMPARE(view.demoCaption, QStringLiteral("DEMO DRIVE"));
    QCOMPARE(tick(), QByteArrayList{"REL00001000"});  // now the move
    QCOMPARE(state.RelMoveFlags, 0);
}

void TstMoves::demoLegs_data() {
    QTest::addColumn<int>("ch");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArrayList>("legs");
    QTest::addColumn<bool>("byStop");  // ended by Stop instead of the button
    for (int ch = 0; ch < 4; ++ch) {
        QTest::addRow("channel %d", ch)
            << ch << "0001000" << QByteArrayList{"0001000", "-0001000", "0001000"} << false;
    }
    QTest::newRow("channel 3, -500, Stop") << 3 << "-500" << QByteArrayList{"-500", "+500", "-500"} << true;
}

void TstMoves::demoLegs() {
    QFETCH(int, ch);
    QFETCH(QString, text);
    QFETCH(QByteArrayList, legs);
    QFETCH(bool, byStop);
    const QByteArray digit = QByteArray::number(ch);
    view.text1[ch] = text;
    view.backlash[ch] = true;  // a leg never carries the backlash mark
    select({ch});
    state.ChannelStopCondition[ch] = true;  // left over from an earlier stop at a limit
    moves->DemoClicked();
    QCOMPARE(view.demoCaption, QStringLiteral("DEMO END"));
    QCOMPARE(view.demoColour, Bgr::LightYellow);
    QVERIFY(!state.ChannelStopCondition[ch]);
    state.ChannelStopCondition[ch] = true;  // still reported until the channel moves
    for (const QByteArray& leg : legs) {
        QCOMPARE(tick(), QByteArrayList{"REL" + digit + leg});
        QCOMPARE(tick(), QByteArrayList{});  // pending until reported busy
        // As a status reply of the moving channel leaves it:
        state.ChannelBusy[ch] = true;
        state.DemoLegPending[ch] = state.DemoHaltMuted[ch] = state.ChannelStopCondition[ch] = false;
        QCOMPARE(tick(), QByteArrayList{});
        state.ChannelBusy[ch] = false;
    }
    byStop ? commands->Stop() : moves->DemoClicked();       // end requested
    QCOMPARE(tick(), QByteArrayList{"S3" + digit + "40"});  // (Stop has sent its own stop already)
    QCOMPARE(view.demoCaption, QStringLiteral("DEMO DRIVE"));
    QCOMPARE(view.demoColour, Bgr::ButtonFace);
    QCOMPARE(state.DemoFlags, 0);
}

void TstMoves::demoEndsOnStopCondition() {
    select({0, 1});
    moves->DemoClicked();
    QCOMPARE(tick(), (QByteArrayList{"REL00001000", "REL10001000"}));
    state.DemoLegPending = {};
    state.DemoHaltMuted = {};
    state.ChannelStopCondition[0] = true;  // channel A stopped at a limit
    // A sees the stop condition; B still gets its leg in the same tick; the next tick ends.
    QCOMPARE(tick(), QByteArrayList{"REL1-0001000"});
    QCOMPARE(tick(), (QByteArrayList{"S3040", "S3140"}));
    QCOMPARE(state.DemoFlags, 0);
}

void TstMoves::synchroDriveWaitsForAllIdle() {
    view.syncDemo = true;
    select({0, 1});
    moves->DemoClicked();
    QCOMPARE(tick(), (QByteArrayList{"REL00001000", "REL10001000"}));
    state.DemoLegPending = {};
    state.ChannelBusy[1] = true;  // B's leg is longer
    QCOMPARE(tick(), QByteArrayList{});
    // Channel C is not in the drive, but its being busy holds the legs all the same.
    state.ChannelBusy[1] = false;
    state.ChannelBusy[2] = true;
    QCOMPARE(tick(), QByteArrayList{});
    state.ChannelBusy[2] = false;
    QCOMPARE(tick(), (QByteArrayList{"REL0-0001000", "REL1-0001000"}));
}

void TstMoves::demoNeedsIdleSelectedChannel() {
    moves->DemoClicked();
    QCOMPARE(state.DemoFlags, 0);
    select({0});
    state.ChannelBusy[0] = true;
    moves->DemoClicked();
    QCOMPARE(state.DemoFlags, 0);
    QCOMPARE(view.demoCaption, QStringLiteral("DEMO DRIVE"));
    state.ChannelBusy[0] = false;
    state.Connected = false;
    moves->DemoClicked();
    QCOMPARE(state.DemoFlags, 0);
}

QTEST_MAIN(TstMoves)
#include "tst_moves.moc"
