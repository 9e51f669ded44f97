// The polling tick, counted tick by tick, with the reply interpreter behind it.
#include "fakepanelview.h"
#include "intervaltimer.h"
#include "panelstate.h"
#include "pollingcycle.h"
#include "recordinglink.h"
#include "recordingmessages.h"
#include "replyinterpreter.h"
#include "sequencedmoves.h"

#include <QtTest>
#include <memory>

class TstPolling : public QObject {
    Q_OBJECT
private slots:
    void init();

    void silentControllerEndsSession();
    void lateReplyAfterThreeTimeouts();
    void freeTextAfterOutstandingReply_data();
    void freeTextAfterOutstandingReply();
    void usbReplyIsInterpretedBeforeTheNextQuery();
    void rotations_data();
    void rotations();
    void tickWithoutSessionCountsTimeouts();

private:
    // Runs `ticks` ticks and returns the numbers (from 1) of the ticks that sent something.
    QList<int> ticksThatSent(int ticks);
    void reply(const QByteArray& text) { interpreter->InterpretReply(text); }

    PanelState state;
    FakePanelView view;
    RecordingLink link;
    RecordingMessages messages;
    std::unique_ptr<ReplyInterpreter> interpreter;
    std::unique_ptr<SequencedMoves> moves;
    std::unique_ptr<PollingCycle> cycle;
    std::unique_ptr<IntervalTimer> timer2;  // not started: ticks are driven by hand while it "runs"
};

void TstPolling::init() {
    state = PanelState{};
    view = FakePanelView{};
    link = RecordingLink{};
    messages = RecordingMessages{};
    interpreter = std::make_unique<ReplyInterpreter>(state, view);
    moves = std::make_unique<SequencedMoves>(state, view, link);
    cycle = std::make_unique<PollingCycle>(state, view, link, messages, *moves);
    link.onUsbReply = [this](const QByteArray& r) { interpreter->InterpretReply(r); };
    timer2 = std::make_unique<IntervalTimer>();
    timer2->setInterval(20);
    timer2->blockSignals(true);
    link.onEndSession = [this] {
        state.Connected = false;
        timer2->setInterval(0);
    };
    // As a connect leaves it.
    state.Connected = true;
    state.PollStep = 4;
}

QList<int> TstPolling::ticksThatSent(int ticks) {
    QList<int> out;
    for (int t = 1; t <= ticks && timer2->running(); ++t) {
        const auto before = link.sent.size();
        cycle->Tick();
        if (link.sent.size() != before) {
            out << t;
        }
    }
    return out;
}

void TstPolling::silentControllerEndsSession() {
    bool endedWhenShown = false;
    messages.onShow = [&](const RecordingMessages::Box&) { endedWhenShown = !state.Connected; };
    QCOMPARE(ticksThatSent(60), (QList<int>{1, 12, 23, 34}));
    QCOMPARE(link.lines(), (QByteArrayList{"VER?", "VER?", "VER?", "VER?"}));
    QCOMPARE(messages.texts(), QStringList{"Connection failed !"});
    QVERIFY(messages.boxes.first().title.isEmpty());
    QVERIFY(endedWhenShown);
    QCOMPARE(link.sessionsEnded, 1);
    QVERIFY(!state.Connected);
}

void TstPolling::lateReplyAfterThreeTimeouts() {
    QCOMPARE(ticksThatSent(40), (QList<int>{1, 12, 23, 34}));
    QCOMPARE(state.TimeoutCount, 3);
    reply("KELDA-01 Ver 2.00\r\n");
    QCOMPARE(state.TimeoutCount, 0);
    QCOMPARE(ticksThatSent(1), QList<int>{1});
    QCOMPARE(link.lines().last(), QByteArray("S48"));
    QVERIFY(messages.boxes.isEmpty());
}

void TstPolling::freeTextAfterOutstandingReply_data() {
    QTest::addColumn<bool>("usb");
    QTest::addColumn<int>("resumeStep");
    QTest::newRow("network controller resumes at 0") << false << 0;
    QTest::newRow("USB controller resumes at 20") << true << 20;
}

void TstPolling::freeTextAfterOutstandingReply() {
    QFETCH(bool, usb);
    QFETCH(int, resumeStep);
    state.UsbModel = usb;
    state.PollStep = resumeStep;
    cycle->Tick();  // a poll query is outstanding
    view.text2 = QStringLiteral("VER?");
    state.PendingFreeText = 1;
    cycle->Tick();
    QCOMPARE(link.sent.size(), 1);  // waits for the outstanding reply
    reply(usb ? "ST0000+0000000\r\n" : "P0+0000000\r\n");
    cycle->Tick();
    QCOMPARE(link.lines().last(), QByteArray("VER?"));
    QCOMPARE(state.PollStep, 6);
    reply("KELDA-01 Ver 2.00\r\n");
    QCOMPARE(view.text3, QStringLiteral("KELDA-01 Ver 2.00"));
    QCOMPARE(state.PollStep, 6);
    // Nothing is sent at step 6: polling resumes only with the time-out ten ticks later.
    QCOMPARE(ticksThatSent(11), QList<int>{});
    QCOMPARE(state.PollStep, resumeStep);
    QCOMPARE(state.TimeoutCount, 1);
    QCOMPARE(ticksThatSent(1), QList<int>{1});
}

void TstPolling::usbReplyIsInterpretedBeforeTheNextQuery() {
    state.UsbModel = true;
    state.PollStep = 20;
    // A demonstration leg goes out in the same tick as the poll query (a sequenced move takes
    // whole ticks: tst_moves counts them).
    state.DemoFlags = 1;
    state.ChannelSelected = {1, 0, 0, 0, 0};
    cycle->Tick();
    QCOMPARE(link.lines(), (QByteArrayList{"REL00001000", "STS0?"}));
    link.usbInput = "ST0100+00";
    cycle->Tick();
    QCOMPARE(link.sent.size(), 2);
    link.usbInput = "01000\r\n";
    cycle->Tick();  // collects the rest, interprets it, and asks the next channel at once
    QCOMPARE(view.position[0], QStringLiteral("+0001000"));
    QCOMPARE(link.lines(), (QByteArrayList{"REL00001000", "STS0?", "STS1?"}));
}

void TstPolling::rotations_data() {
    QTest::addColumn<QByteArray>("version");
    QTest::addColumn<QByteArray>("speed");
    QTest::addColumn<QByteArrayList>("replies");
    QTest::addColumn<QByteArrayList>("queries");
    const QByteArray st = "ST0000+0000000\r\n";
    const QByteArray pos = "P0+0000000\r\n";
    const QByteArray lamp = "L00\r\n";
    QTest::newRow("network") << QByteArray("KELDA-01 Ver 2.00\r\n") << QByteArray("S48=020\r\n")
                             << QByteArrayList{pos, lamp, pos, lamp, pos}
                             << QByteArrayList{"VER?", "S48", "S200", "S202", "S210", "S212", "S200", "S202"};
    QTest::newRow("USB two channels")
        << QByteArray("RUNEL-01 Ver 1.10\r\n") << QByteArray("S48=020\r\n") << QByteArrayList{st, st, st}
        << QByteArrayList{"VER?", "S48", "STS0?", "STS1?", "STS0?", "STS1?"};
    QTest::newRow("USB four channels")
        << QByteArray("VASKO-01 Ver 1.20\r\n") << QByteArray("S48=02000\r\n")
        << QByteArrayList{st, st, st, st}
        << QByteArrayList{"VER?", "S48", "STS0?", "STS1?", "STS2?", "STS3?", "STS0?"};
    // A reply of the wrong length drops a USB controller into the position/status rotation.
    QTest::newRow("USB fallback") << QByteArray("VASKO-01 Ver 1.20\r\n") << QByteArray("S48=02000\r\n")
                                  << QByteArrayList{"short\r\n", "PS+0000000\r\n", lamp, "+0000000\r\n",
                                                    lamp,        "+0000000\r\n"}
                                  << QByteArrayList{"VER?", "S48",  "STS0?", "PS?0", "S202",
                                                    "PS?1", "S212", "PS?2",  "S222"};
}

void TstPolling::rotations() {
    QFETCH(QByteArray, version);
    QFETCH(QByteArray, speed);
    QFETCH(QByteArrayList, replies);
    QFETCH(QByteArrayList, queries);
    cycle->Tick();
    reply(version);
    cycle->Tick();
    reply(speed);
    link.sent.removeAll("S71H\r\n");
    link.sent.removeAll("S71L\r\n");
    for (const QByteArray& r : replies) {
        cycle->Tick();
        reply(r);
    }
    cycle->Tick();
    QCOMPARE(link.lines(), queries);
}

void TstPolling::tickWithoutSessionCountsTimeouts() {
    // The setup window closed after the session was lost there: the timer runs without one.
    state.Connected = false;
    state.PresetMask = 1;  // request flags wait while not connected
    QCOMPARE(ticksThatSent(44), QList<int>{});
    QCOMPARE(state.TimeoutCount, 4);
    QVERIFY(messages.boxes.isEmpty());
    cycle->Tick();
    QCOMPARE(messages.texts(), QStringList{"Connection failed !"});
    QCOMPARE(state.PresetMask, 1);
}

QTEST_MAIN(TstPolling)
#include "tst_polling.moc"
