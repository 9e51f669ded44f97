// Several clients and the operator moving the channels at once, against the simulated controllers
// over TCP (KELDA-01) and a pseudo-terminal (VASKO-01): every move taken for an idle channel goes
// and ends DONE at its target, a moving channel is refused whoever moved it, motion the panel did
// not start is seen, and every outcome tells what the motor did.
#include "faultdrive.h"
#include "scriptclient.h"
#include "setupwindow.h"

#include <QPlainTextEdit>
#include <QtTest>

Q_DECLARE_METATYPE(SimModel)

namespace {
enum class Case {
    DemoTakesOver,
    SessionEndClearsReports,
    AbortWithSetupOpen,
    SlowNetworkMove,
    SlowSeenScan,
    BracketSurvivesOthers,
    StopAfterTheEnd
};

}  // namespace
Q_DECLARE_METATYPE(Case)

class TstLabMotion : public QObject {
    Q_OBJECT
private slots:
    void concurrentMoves_data();
    void concurrentMoves();
    void seenMotion_data();
    void seenMotion();
    void outcomesTellTheTruth_data();
    void outcomesTellTheTruth();

private:
    FaultDrive::PanelPool pool_;
};

void TstLabMotion::concurrentMoves_data() {
    QTest::addColumn<SimModel>("model");
    QTest::addColumn<int>("moves");
    QTest::addColumn<int>("clients");
    QTest::addColumn<int>("apartMs");
    for (auto [model, link] : {std::pair{SimModel::Kelda, "TCP"}, std::pair{SimModel::Vasko, "pty"}}) {
        for (int clients : {1, 2, 3}) {
            for (int apart : {0, 5, 20, 60}) {
                QTest::addRow("%s, %d clients, %d ms apart", link, clients, apart)
                    << model << std::max(clients, 2) << clients << apart;
            }
        }
    }
}

// Moves of channels of their own, one line `apartMs` after the other, from one client or several,
// relative and absolute by turns: every one is taken and ends DONE at its target. With more moves
// than channels the last finds its channel moving: refused, and taken once WAIT? saw it stand.
void TstLabMotion::concurrentMoves() {
    QFETCH(SimModel, model);
    QFETCH(int, moves);
    QFETCH(int, clients);
    QFETCH(int, apartMs);
    SimPanel* p = scriptReady(pool_, model);
    QVERIFY(p);
    const int channels = p->app->state.LastChannel + 1;
    std::vector<std::unique_ptr<Script>> s;
    for (int k = 0; k < clients; ++k) {
        s.push_back(authenticated(*p));
    }
    const auto line = [](int k, char ch) {
        return QByteArray(k % 2 == 0 ? "MOVE:REL " : "MOVE:ABS ") + ch + ',' +
               QByteArray::number((k + 1) * 400);
    };
    for (int k = 0; k < moves; ++k) {
        s[size_t(k % clients)]->send(line(k, char('A' + k % channels)) + ";SYST:ERR?");
        QTest::qWait(apartMs);
    }
    // Each client reads its answers in the order it sent its lines.
    for (int k = 0; k < moves; ++k) {
        const QByteArray ch(1, char('A' + k % channels));
        QCOMPARE(s[size_t(k % clients)]->read(), k < channels
                                                     ? QByteArray("0,\"No error\"")
                                                     : "-200,\"Execution error; " + ch + " is moving\"");
    }
    for (int k = 0; k < moves; ++k) {
        Script& c = *s[size_t(k % clients)];
        const QByteArray ch(1, char('A' + k % channels));
        qint64 target = (k + 1) * 400;
        if (k >= channels) {
            QCOMPARE(c.ask("WAIT? " + ch + ",TIMEOUT=10", 10000), QByteArray("DONE"));
            QCOMPARE(c.ask(line(k, ch[0]) + ";SYST:ERR?"), QByteArray("0,\"No error\""));
            target += k % 2 == 0 ? (k % channels + 1) * 400 : 0;
        }
        QCOMPARE(c.ask("WAIT? " + ch + ",TIMEOUT=10", 10000), QByteArray("DONE"));
        QCOMPARE(c.ask("POS? " + ch), AxisBook::positionText(target).toLatin1());
    }
}

void TstLabMotion::seenMotion_data() {
    QTest::addColumn<SimModel>("model");
    QTest::addColumn<bool>("sendBox");  // else a script's SEND
    QTest::newRow("TCP, SEND") << SimModel::Kelda << false;
    QTest::newRow("TCP, send box") << SimModel::Kelda << true;
    QTest::newRow("pty, SEND") << SimModel::Vasko << false;
    QTest::newRow("pty, send box") << SimModel::Vasko << true;
}

// A scan the panel only passed on as text is seen to move: MOVING within two poll rounds, no
// WAIT? answers DONE while it runs, a script's move of the channel is refused, and a stop ends it.
void TstLabMotion::seenMotion() {
    QFETCH(SimModel, model);
    QFETCH(bool, sendBox);
    SimPanel* p = scriptReady(pool_, model);
    QVERIFY(p);
    auto s = authenticated(*p);
    if (sendBox) {
        p->find<QPlainTextEdit>(QStringLiteral("Text2"))->insertPlainText(QStringLiteral("S300E\n"));
    } else {
        s->send("SEND \"S300E\"");
    }
    QVERIFY(QTest::qWaitFor([&] { return p->received.contains("S300E"); }, 3000));
    const AxisBook& axes = p->app->state.Axes;
    const quint64 polls = axes.report(0).polls;
    QVERIFY(QTest::qWaitFor([&] { return axes.underWay(0) || axes.report(0).polls > polls + 2; }, 3000));
    QCOMPARE(s->ask("MOT? A"), QByteArray("MOVING"));
    QCOMPARE(axes.latest(0)->origin, Origin::Seen);
    QCOMPARE(s->ask("*OPC?"), QByteArray("1"));  // the scripts' own moves only
    QCOMPARE(s->ask("WAIT? A,TIMEOUT=0.3"), QByteArray("TIMEOUT"));
    QCOMPARE(s->ask("JOG A,-;SYST:ERR?"), QByteArray("-200,\"Execution error; A is moving\""));
    s->send("STOP A");
    QCOMPARE(s->ask("WAIT? A,TIMEOUT=5"), QByteArray("STOPPED"));
    QCOMPARE(s->ask("MOT:REAS? A").left(12), QByteArray("\"A stopped a"));
}

void TstLabMotion::outcomesTellTheTruth_data() {
    QTest::addColumn<Case>("which");
    QTest::newRow("a demonstration drive takes over") << Case::DemoTakesOver;
    QTest::newRow("a USB session ended mid-move") << Case::SessionEndClearsReports;
    QTest::newRow("Abort with the setup window open") << Case::AbortWithSetupOpen;
    QTest::newRow("a slow move on the network model") << Case::SlowNetworkMove;
    QTest::newRow("a slow scan seen on the network model") << Case::SlowSeenScan;
    QTest::newRow("others' stops and leaving beside a bracket") << Case::BracketSurvivesOthers;
    QTest::newRow("a stop after a jog ended by itself") << Case::StopAfterTheEnd;
}

void TstLabMotion::outcomesTellTheTruth() {
    QFETCH(Case, which);
    const bool network =
        which == Case::SlowNetworkMove || which == Case::SlowSeenScan || which == Case::StopAfterTheEnd;
    SimPanel* p = scriptReady(pool_, network ? SimModel::Kelda : SimModel::Vasko);
    QVERIFY(p);
    auto s = authenticated(*p);
    switch (which) {
        case Case::DemoTakesOver: {
            // The script moves A; the operator starts the drive on B: A's move is over at once,
            // told once; what A's motor goes on doing is motion seen, which WAIT? waits for.
            s->send("MOVE:REL A,6000");
            QVERIFY(QTest::qWaitFor([&] { return p->app->state.Axes.report(0).busy; }, 3000));
            p->click(QStringLiteral("Ch_1"));
            p->click(QStringLiteral("BtnDEMO"));
            const AxisBook& axes = p->app->state.Axes;
            QVERIFY(QTest::qWaitFor([&] { return axes.latest(0)->origin == Origin::Seen; }, 3000));
            const QByteArray error = s->ask("SYST:ERR?");
            QVERIFY2(error.endsWith(": the demonstration drive took over\""), error.constData());
            QCOMPARE(s->ask("SYST:ERR?"), QByteArray("0,\"No error\""));
            QCOMPARE(s->ask("MOT? A"), QByteArray("MOVING"));
            QCOMPARE(s->ask("WAIT? A,TIMEOUT=0.3"), QByteArray("TIMEOUT"));
            p->click(QStringLiteral("Ctr_6"));
            s->send("STOP A");
            QCOMPARE(s->ask("WAIT? A,B,TIMEOUT=5"), QByteArray("STOPPED"));
            break;
        }
        case Case::SessionEndClearsReports:
            // Busy and stopped when the link went: nothing of it is shown or used afterwards.
            s->send("SCAN A,+");
            QVERIFY(QTest::qWaitFor([&] { return p->app->state.Axes.report(0).busy; }, 3000));
            p->sim.faults().setSilent(true);
            QCOMPARE(s->ask("WAIT? A,TIMEOUT=5"), QByteArray("ERROR"));
            QCOMPARE(s->ask("STAT? A;POS? A"), QByteArray("0,0,0,0,0,0"));
            QCOMPARE(s->read(), QByteArray());
            p->messages.boxes.clear();
            // The next session takes no motion before it has polled the channel: the motor may
            // still run from before, and the model's command form is not known yet.
            p->sim.faults().setSilent(false);
            QCOMPARE(s->ask("*CLS;SYST:CONN USB,\"" + p->ptyLink().toLatin1() + "\";MOVE:REL A,10;SYST:ERR?"),
                     QByteArray("-200,\"Execution error; A not yet polled in this session\""));
            QVERIFY(QTest::qWaitFor([&] { return p->app->state.Axes.report(0).position.has_value(); }, 3000));
            s->send("STOP A");
            QCOMPARE(s->ask("WAIT? A,TIMEOUT=5"), QByteArray("STOPPED"));
            break;
        case Case::StopAfterTheEnd: {
            // The jog ended by itself; a stop sent while the panel still waits out the still
            // polls stopped nothing.
            SimChannel& a = p->sim.channel(0);
            s->send("JOG A,+");
            QVERIFY(QTest::qWaitFor(
                [&] { return a.position(p->clock.nowUs()) != 0 && !a.busy(p->clock.nowUs()); }));
            const AxisBook& axes = p->app->state.Axes;
            QVERIFY(QTest::qWaitFor([&] { return axes.latest(0)->still >= 1; }, 3000));
            QVERIFY(axes.underWay(0));
            s->send("STOP A");
            QCOMPARE(s->ask("WAIT? A,TIMEOUT=5"), QByteArray("DONE"));
            break;
        }
        case Case::AbortWithSetupOpen: {
            // A's command went out inside the bracket, B's not, when the window opened: neither
            // moves; A's is withdrawn before the bracket is closed.
            QVERIFY(FaultDrive::stopAtReply(*p));
            s->send("MOVE:REL A,1000,B,1000");
            QVERIFY(QTest::qWaitFor([&] { return !p->app->state.ScriptQueue.empty(); }));
            FaultDrive::tick(*p, 2);
            QCOMPARE(p->commandsSince(0), (QByteArrayList{"S3016", "REL01000"}));
            p->click(QStringLiteral("SetupPb"));
            p->app->automation()->abortScripts();
            p->app->setup.window()->close();
            p->app->automation()->enableScripts();
            p->app->Timer2.setInterval(20);
            QCOMPARE(s->ask("WAIT? A,B,TIMEOUT=2"), QByteArray("STOPPED"));
            QVERIFY(FaultDrive::pollReplies(*p, 8));
            QCOMPARE(p->commandsSince(0), (QByteArrayList{"S3016", "REL01000", "S3040", "S3017"}));
            QCOMPARE(p->sim.channel(0).position(p->clock.nowUs()), 0);
            break;
        }
        case Case::SlowNetworkMove: {
            // Two pulses a second: between two pulses the position stands for several polls.
            p->sim.channel(0).table.mspd = 2;
            s->send("MOVE:REL A,3");
            QCOMPARE(s->ask("WAIT? A,TIMEOUT=10", 10000), QByteArray("DONE"));
            QCOMPARE(s->ask("POS? A"), QByteArray("+0000003"));
            p->sim.channel(0).table.mspd = 2500;
            break;
        }
        case Case::SlowSeenScan: {
            // Seen at two pulses a second, it stays MOVING between its pulses.
            p->sim.channel(0).table.mspd = 2;
            s->send("SEND \"S300E\"");
            QTest::qWait(2500);
            QCOMPARE(s->ask("MOT? A"), QByteArray("MOVING"));
            s->send("STOP A");
            QCOMPARE(s->ask("WAIT? A,TIMEOUT=5"), QByteArray("STOPPED"));
            p->sim.channel(0).table.mspd = 2500;
            break;
        }
        case Case::BracketSurvivesOthers: {
            // Inside a script's open bracket, another client stops C and another leaves: the
            // bracket's move of A and B goes on whole.
            QVERIFY(FaultDrive::stopAtReply(*p));
            s->send("MOVE:REL A,1000,B,1000");
            QVERIFY(QTest::qWaitFor([&] { return !p->app->state.ScriptQueue.empty(); }));
            FaultDrive::tick(*p, 2);
            auto other = authenticated(*p);
            QCOMPARE(other->ask("STOP C;SYST:ERR?"), QByteArray("0,\"No error\""));
            authenticated(*p).reset();
            QVERIFY(QTest::qWaitFor([&] { return p->app->automation()->clientCount() == 2; }, 3000));
            p->app->Timer2.setInterval(20);
            QCOMPARE(s->ask("WAIT? A,B,TIMEOUT=5"), QByteArray("DONE"));
            QCOMPARE(s->ask("POS? B"), QByteArray("+0001000"));
            break;
        }
    }
}

QTEST_MAIN(TstLabMotion)
#include "tst_labmotion.moc"
