// The automation port while a box is open: a failed send opens "Not connected !", whose event loop
// lets clients connect, leave and send while a handler of the server is still on the stack.
#include "faultdrive.h"
#include "scriptclient.h"

#include <QtTest>

namespace {
enum class Entry { ClientLeaves, LineServed, WaitSettles, Abort };
}
Q_DECLARE_METATYPE(Entry)

class TstScriptRaces : public QObject {
    Q_OBJECT
private slots:
    void boxInsideEveryEntryPoint_data();
    void boxInsideEveryEntryPoint();
    void failedSendEndsTheCommand_data();
    void failedSendEndsTheCommand();
    void operatorStopOnADeadLinkInsideABracket();

private:
    // The link drops between two ticks: the session is still open, and the next send fails.
    static bool dropLink(SimPanel& p);
};

bool TstScriptRaces::dropLink(SimPanel& p) {
    p.app->Timer2.setInterval(0);
    p.tcp->close();
    return QTest::qWaitFor(
        [&] { return p.app->channel.tcpSocket().state() == QAbstractSocket::UnconnectedState; }, 3000);
}

void TstScriptRaces::boxInsideEveryEntryPoint_data() {
    QTest::addColumn<Entry>("entry");
    QTest::newRow("a client leaving") << Entry::ClientLeaves;
    QTest::newRow("a line served") << Entry::LineServed;
    QTest::newRow("a wait settling") << Entry::WaitSettles;
    QTest::newRow("Abort") << Entry::Abort;
}

void TstScriptRaces::boxInsideEveryEntryPoint() {
    QFETCH(Entry, entry);
    SimPanel p(SimModel::Kelda);
    QVERIFY(startAutomation(p));
    QVERIFY(p.connect());
    AutomationServer& server = *p.app->automation();
    auto mover = authenticated(p);
    auto waiter = authenticated(p);
    mover->send("SCAN A,+");
    QVERIFY(QTest::qWaitFor([&] { return p.received.contains("S300E"); }, 3000));
    QCOMPARE(waiter->ask("CONN?"), QByteArray("1"));
    QVERIFY(dropLink(p));

    int boxes = 0;
    std::vector<std::unique_ptr<Script>> churn;
    p.messages.onShow = [&](const RecordingMessages::Box&) {
        ++boxes;
        // Inside the box: clients come and go, and the waiting client and the mover leave.
        for (int i = 0; i < 3; ++i) {
            churn.push_back(authenticated(p));
        }
        waiter.reset();
        mover.reset();
        QTest::qWait(100);
        churn.erase(churn.begin(), churn.begin() + 2);
        QTest::qWait(100);
    };
    switch (entry) {
        case Entry::ClientLeaves:
            mover->socket.disconnectFromHost();
            break;
        case Entry::LineServed:
            mover->send("STOP A");
            break;
        case Entry::WaitSettles:
            waiter->send("WAIT? B,TIMEOUT=0.1;HOLD B,ON");
            break;
        case Entry::Abort:
            server.abortScripts();
            break;
    }
    QVERIFY(QTest::qWaitFor([&] { return boxes > 0; }, 3000));
    QTest::qWait(300);  // nothing may stack a second box behind the first
    QCOMPARE(boxes, 1);
    QCOMPARE(server.clientCount(), int(churn.size()));
    auto late = authenticated(p);
    QCOMPARE(late->ask("CONN?"), QByteArray("0"));
}

void TstScriptRaces::failedSendEndsTheCommand_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("STOP of every channel") << QByteArray("STOP");
    QTest::newRow("hold-off of two channels") << QByteArray("HOLD A,ON,B,ON");
}

// One entry in the client's queue, one box, and nothing more sent.
void TstScriptRaces::failedSendEndsTheCommand() {
    QFETCH(QByteArray, line);
    SimPanel p(SimModel::Kelda);
    QVERIFY(startAutomation(p));
    QVERIFY(p.connect());
    auto s = authenticated(p);
    QCOMPARE(s->ask("CONN?"), QByteArray("1"));
    QVERIFY(dropLink(p));
    int ended = 0;
    QObject::connect(&p.app->channel, &CommandChannel::sessionEnded, [&] { ++ended; });
    QCOMPARE(s->ask(line + ";SYST:ERR?"), QByteArray("-200,\"Execution error; not connected\""));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("0,\"No error\""));
    QCOMPARE(p.messages.texts(), QStringList{QStringLiteral("Not connected !")});
    QCOMPARE(ended, 1);  // one failed send, nothing sent after it
}

// The operator's Stop cuts a script's open bracket first; its closing line failing ends the
// session, and no stop is tried after it: one box.
void TstScriptRaces::operatorStopOnADeadLinkInsideABracket() {
    SimPanel p(SimModel::Kelda);
    QVERIFY(startAutomation(p));
    QVERIFY(p.connect());
    auto s = authenticated(p);
    QCOMPARE(s->ask("CONN?"), QByteArray("1"));
    QVERIFY(FaultDrive::stopAtReply(p));
    s->send("MOVE:REL A,1000,B,1000");
    QVERIFY(QTest::qWaitFor([&] { return !p.app->state.ScriptQueue.empty(); }));
    FaultDrive::tick(p);
    QVERIFY(QTest::qWaitFor([&] { return p.received.contains("S3016"); }, 3000));
    p.click(QStringLiteral("Ch_0"));
    p.click(QStringLiteral("Ch_1"));
    QVERIFY(dropLink(p));
    p.click(QStringLiteral("Ctr_6"));
    QCOMPARE(p.messages.texts(), QStringList{QStringLiteral("Not connected !")});
    QCOMPARE(s->ask("WAIT? A,B,TIMEOUT=1"), QByteArray("STOPPED"));
}

QTEST_MAIN(TstScriptRaces)
#include "tst_scriptraces.moc"
