// The simulator's core with a stepped clock: what it makes of commands the panel never sends,
// motion, the synchronous-start bracket, speed units and line pacing. (The reply layouts, the table
// round trip, acknowledgements and each fault are pinned by what the panel makes of them, in
// tst_endtoend, tst_tablee2e, tst_faults and tst_hangups.)

#include "simclock.h"
#include "simcontroller.h"
#include "textfields.h"

#include <QtTest>

using TextFields::readHex;
namespace St = SimStatus;

namespace {
// The character ranges the panel takes from a reply, counted as it counts them: CR LF pairs
// removed, characters from 1, a range past the end yielding what exists.
QByteArray cleaned(QByteArray reply) {
    return reply.replace("\r\n", "");
}
QByteArray chars(const QByteArray& text, int start, int count = -1) {
    return start > text.size() ? QByteArray() : text.mid(start - 1, count);
}

// One simulated controller on a stepped clock, asked as the panel asks: a command with CR LF in,
// whatever it answered out.
struct Rig {
    explicit Rig(SimModel model = SimModel::Kelda) : controller(model, clock) {}
    SteppedClock clock;
    SimController controller;

    void send(const QByteArray& command) { controller.receive(command + "\r\n"); }
    QByteArray ask(const QByteArray& command) {
        send(command);
        return controller.takeOutput();
    }
    QByteArray line(const QByteArray& command) { return cleaned(ask(command)); }
    bool usb() const { return controller.model().usbDialect; }
    SimFaults& faults() { return controller.faults(); }
    quint16 status(int ch) {
        return quint16(readHex(chars(line("STS" + QByteArray::number(ch) + "?"), 4, 3)));
    }
    qint64 position(int ch) {
        const QByteArray n = QByteArray::number(ch);
        return usb() ? line("PS?" + n).toLongLong() : chars(line("S2" + n + "0"), 3).toLongLong();
    }
    void settle() { clock.advanceMs(100'000); }
};

const QByteArray kVersion = "KELDA-01 Ver 1.20\r\n";
}  // namespace

class TstSim : public QObject {
    Q_OBJECT
private slots:
    void terminators_data();
    void terminators();
    void errors_data();
    void errors();
    void motionOutcome_data();
    void motionOutcome();
    void positionAdvancesAtSelectedSpeed_data();
    void positionAdvancesAtSelectedSpeed();
    void stopAndHoldOff();
    void runRecord_data();
    void runRecord();
    void bracketStartsTogether_data();
    void bracketStartsTogether();
    void speedCodeOfPpsValue();
    void pacedLine();
    void linesAlwaysEndWithCrLf();
};

void TstSim::terminators_data() {
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::newRow("CR LF") << QList<QByteArray>{"VER?\r\n"};
    QTest::newRow("bare LF") << QList<QByteArray>{"VER?\n"};
    QTest::newRow("bare CR") << QList<QByteArray>{"VER?\r"};
    QTest::newRow("split in the terminator") << QList<QByteArray>{"VER?\r", "\n"};
    QTest::newRow("blank lines around") << QList<QByteArray>{"\r\n\r\nVER?\r\n\n"};
}

void TstSim::terminators() {
    QFETCH(QList<QByteArray>, pieces);
    Rig rig(SimModel::Kelda);
    QByteArray out;
    for (const QByteArray& p : pieces) {
        rig.controller.receive(p);
        out += rig.controller.takeOutput();
    }
    QCOMPARE(out, QByteArray("KELDA-01 Ver 1.20\r\n"));
}

void TstSim::errors_data() {
    QTest::addColumn<SimModel>("model");
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("unknown") << SimModel::Vasko << QByteArray("HELLO");
    QTest::newRow("USB query on the network model") << SimModel::Kelda << QByteArray("PS?0");
    QTest::newRow("status query on the network model") << SimModel::Kelda << QByteArray("STS0?");
    QTest::newRow("network move on a USB model") << SimModel::Runel << QByteArray("S32R+0000100");
    QTest::newRow("network speed on a USB model") << SimModel::Vasko << QByteArray("SPH?0");
    QTest::newRow("third channel of a two-channel model") << SimModel::Kelda << QByteArray("S220");
    QTest::newRow("fifth channel") << SimModel::Vasko << QByteArray("STS4?");
    QTest::newRow("channel C of RUNEL") << SimModel::Runel << QByteArray("REL21000");
    QTest::newRow("letters for a value") << SimModel::Vasko << QByteArray("REL0abc");
    QTest::newRow("backlash out of range") << SimModel::Vasko << QByteArray("B0+12345");
    QTest::newRow("position out of range") << SimModel::Kelda << QByteArray("S3909+12345678");
    QTest::newRow("non-ASCII") << SimModel::Kelda << QByteArray("\xFFVER?");
    QTest::newRow("NUL") << SimModel::Kelda << QByteArray("VER?\0", 5);
    QTest::newRow("overlong") << SimModel::Kelda << QByteArray(SimController::kMaxLine + 10, 'A');
}

void TstSim::errors() {
    QFETCH(SimModel, model);
    QFETCH(QByteArray, command);
    Rig rig(model);
    QCOMPARE(rig.ask(command), QByteArray("ERR\r\n"));
    // The line after a bad one is understood again.
    QVERIFY(rig.line("VER?").contains("-01"));
}

void TstSim::motionOutcome_data() {
    QTest::addColumn<QList<QByteArray>>("setup");
    QTest::addColumn<QByteArray>("move");
    QTest::addColumn<qint64>("position");
    QTest::addColumn<int>("status");
    // A jog, a scan to the CW switch and a home search as the panel drives them are in the panel's
    // end-to-end tests.
    using L = QList<QByteArray>;
    const int atCw = St::CwLimit | St::StoppedAtLimit;
    const int atCcw = St::CcwLimit | St::StoppedAtLimit;
    QTest::newRow("jog CW") << L{} << QByteArray("S3008") << 100LL << 0;
    QTest::newRow("relative") << L{} << QByteArray("REL01000") << 1000LL << 0;
    QTest::newRow("absolute") << L{"REL01000"} << QByteArray("ABS0-0000300") << -300LL << 0;
    QTest::newRow("scan CCW to the switch") << L{} << QByteArray("S300F") << -20000LL << atCcw;
    QTest::newRow("move into the CW switch") << L{} << QByteArray("REL0+0030000") << 20000LL << atCw;
    QTest::newRow("further CW from the switch") << L{"S300E"} << QByteArray("S3008") << 20000LL << atCw;
    QTest::newRow("CW switch disabled") << L{"LSENBBBA"} << QByteArray("REL0+0030000") << 30000LL << 0;
    QTest::newRow("soft limit") << L{"S390610", "FL0+0000500"} << QByteArray("REL01000") << 500LL
                                << int(St::StoppedAtSoftLimit);
    QTest::newRow("to exactly the soft limit")
        << L{"S390610", "FL0+0000500"} << QByteArray("ABS0+0000500") << 500LL << 0;
    QTest::newRow("CCW soft limit") << L{"S390610", "BL0-0000200"} << QByteArray("S300F") << -200LL
                                    << int(St::StoppedAtSoftLimit);
    QTest::newRow("soft limits not enabled") << L{"FL0+0000500"} << QByteArray("REL01000") << 1000LL << 0;
    QTest::newRow("held off does not move")
        << L{"S3018"} << QByteArray("REL01000") << 0LL << int(St::HoldOff | St::Home);
    QTest::newRow("home search turns at the switch")
        << L{"REL05000"} << QByteArray("S301E") << 0LL << int(St::Home);
    QTest::newRow("home search without a sensor")
        << L{"LSENBBB3"} << QByteArray("S301E") << -20000LL << atCcw;
    QTest::newRow("home search resets a preset")
        << L{"REL0300", "PS0+0007000"} << QByteArray("S301F") << 0LL << int(St::Home);
    // Sensors sit on the machine: a preset moves the counter, not the switches.
    QTest::newRow("preset keeps the sensors") << L{"PS0+0001000"} << QByteArray("REL0-0001000") << 0LL << 0;
    QTest::newRow("backlash lands on target") << L{"B0+0050"} << QByteArray("REL0B1000") << 1000LL << 0;
    QTest::newRow("zero move clears stop bits")
        << L{"S300E"} << QByteArray("REL00") << 20000LL << int(St::CwLimit);
}

void TstSim::motionOutcome() {
    QFETCH(QList<QByteArray>, setup);
    QFETCH(QByteArray, move);
    QFETCH(qint64, position);
    QFETCH(int, status);
    Rig rig(SimModel::Vasko);
    for (const QByteArray& command : setup) {
        QCOMPARE(rig.ask(command), QByteArray());
        rig.settle();
    }
    QCOMPARE(rig.ask(move), QByteArray());
    rig.settle();
    QCOMPARE(rig.position(0), position);
    QCOMPARE(rig.status(0), quint16(status));
    // The lamp digit carries the same four flags.
    QCOMPARE(readHex(chars(rig.line("S202"), 3, 1)), unsigned(status >> 8));
}

void TstSim::positionAdvancesAtSelectedSpeed_data() {
    QTest::addColumn<QByteArray>("select");
    QTest::addColumn<qint64>("after100ms");
    QTest::addColumn<int>("busyMs");
    QTest::newRow("H 5000/s") << QByteArray("S71H") << 500LL << 200;
    QTest::newRow("M 2500/s") << QByteArray("S71M") << 250LL << 400;
    QTest::newRow("L 500/s") << QByteArray("S71L") << 50LL << 2000;
}

void TstSim::positionAdvancesAtSelectedSpeed() {
    QFETCH(QByteArray, select);
    QFETCH(int, busyMs);
    Rig rig(SimModel::Runel);
    rig.ask(select);
    rig.ask("REL11000");
    QVERIFY(rig.status(1) & St::Busy);
    rig.clock.advanceMs(100);
    QTEST(rig.position(1), "after100ms");
    rig.clock.advanceMs(busyMs - 101);
    QVERIFY(rig.status(1) & St::Busy);
    QVERIFY(rig.position(1) < 1000);
    rig.clock.advanceMs(1);
    QCOMPARE(rig.status(1), quint16(0));
    QCOMPARE(rig.position(1), 1000LL);
}

void TstSim::stopAndHoldOff() {
    Rig rig(SimModel::Vasko);
    rig.ask("REL21000");
    rig.clock.advanceMs(100);
    rig.ask("S3240");
    QCOMPARE(rig.status(2), quint16(St::StoppedByCommand));
    QCOMPARE(rig.position(2), 250LL);
    rig.clock.advanceMs(100);
    QCOMPARE(rig.position(2), 250LL);
    // The next move clears the stop condition as it starts.
    rig.ask("REL2100");
    QCOMPARE(rig.status(2), quint16(St::Busy));
    rig.settle();
    // Hold-off during a move ends it where it is; releasing it does not resume it.
    rig.ask("REL21000");
    rig.clock.advanceMs(40);
    rig.ask("S3218");
    QCOMPARE(rig.status(2), quint16(St::HoldOff | St::StoppedByCommand));
    rig.ask("S3219");
    rig.settle();
    QCOMPARE(rig.position(2), 450LL);
    QCOMPARE(rig.status(2), quint16(St::StoppedByCommand));
    // A stop while idle sets nothing.
    rig.ask("S3140");
    QCOMPARE(rig.status(1), quint16(St::Home));
}

void TstSim::runRecord_data() {
    QTest::addColumn<QList<QByteArray>>("commands");  // 100 ms apart
    QTest::addColumn<int>("end");                     // SimRun::End, -1 for no run at all
    QTest::addColumn<qint64>("at");
    using L = QList<QByteArray>;
    using E = SimRun::End;
    QTest::newRow("reached") << L{"REL01000"} << int(E::Reached) << 1000LL;
    QTest::newRow("stopped") << L{"REL01000", "S3040"} << int(E::Stopped) << 250LL;
    QTest::newRow("held off") << L{"REL01000", "S3018"} << int(E::HeldOff) << 250LL;
    QTest::newRow("soft limit") << L{"S390610", "FL0+0000500", "REL01000"} << int(E::SoftLimit) << 500LL;
    QTest::newRow("withdrawn from the bracket") << L{"S3016", "REL01000", "S3040", "S3017"} << -1 << 0LL;
}

// The channel's own record of a run: how it ended and where, whatever the polling saw.
void TstSim::runRecord() {
    QFETCH(QList<QByteArray>, commands);
    QFETCH(int, end);
    Rig rig(SimModel::Vasko);
    SimChannel& channel = rig.controller.channel(0);
    const quint64 first = channel.nextRunSeq();
    for (const QByteArray& command : commands) {
        rig.ask(command);
        rig.clock.advanceMs(100);
    }
    rig.settle();
    const std::deque<SimRun>& runs = channel.runs(rig.clock.nowUs());
    QCOMPARE(runs.size(), size_t(end < 0 ? 0 : 1));
    if (end >= 0) {
        QCOMPARE(runs.back().seq, first);
        QCOMPARE(runs.back().target, std::optional<qint64>(1000));
        QCOMPARE(int(runs.back().end), end);
        QTEST(runs.back().at, "at");
    }
}

void TstSim::bracketStartsTogether_data() {
    QTest::addColumn<SimModel>("model");
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("second");
    QTest::newRow("USB") << SimModel::Vasko << QByteArray("REL01000") << QByteArray("REL3B1000");
    QTest::newRow("network") << SimModel::Kelda << QByteArray("S32R+0001000") << QByteArray("S33R+0001000B");
}

void TstSim::bracketStartsTogether() {
    QFETCH(SimModel, model);
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    Rig rig(model);
    const int other = rig.controller.machine().channelCount() - 1;
    rig.ask("S3016");
    rig.ask(first);
    rig.clock.advanceMs(60);
    rig.ask(second);
    rig.clock.advanceMs(60);
    QCOMPARE(rig.position(0), 0LL);
    QCOMPARE(rig.position(other), 0LL);
    rig.ask("S3017");
    for (int step = 0; step < 3; ++step) {
        rig.clock.advanceMs(100);
        QCOMPARE(rig.position(0), 250LL * (step + 1));
        QCOMPARE(rig.position(other), rig.position(0));
    }
    // After the bracket, moves start at once again.
    rig.settle();
    rig.ask(first);
    rig.clock.advanceMs(100);
    QCOMPARE(rig.position(0), 1250LL);
}

void TstSim::speedCodeOfPpsValue() {
    // One speed, two units: a rate set in pulses per second reads back as the nearest code.
    Rig rig(SimModel::Vasko);
    rig.ask("SPDH22006");
    QCOMPARE(chars(rig.line("S420"), 4, 4), QByteArray("0201"));
    rig.ask("S3921077");
    QCOMPARE(rig.line("SPDM?2"), QByteArray("770"));
}

void TstSim::pacedLine() {
    Rig rig;
    rig.faults().setBaud(9600);
    // "VER?" CR is through after 5.21 ms, the 19 characters back take 19.79 ms more.
    rig.send("VER?");
    rig.clock.advanceMs(24);
    QCOMPARE(rig.controller.takeOutput(), QByteArray());
    rig.clock.advanceMs(1);
    QCOMPARE(rig.controller.takeOutput(), kVersion);
    // Two commands back to back queue on the line rather than overtaking each other.
    // Replies due 13.54 ms and 22.92 ms after the two commands are handed over together.
    rig.send("S48");
    rig.send("S48");
    rig.clock.advanceMs(13);
    QCOMPARE(rig.controller.takeOutput(), QByteArray());
    rig.clock.advanceMs(1);
    QCOMPARE(rig.controller.takeOutput(), QByteArray("S48=020\r\n"));
    rig.clock.advanceMs(8);
    QCOMPARE(rig.controller.takeOutput(), QByteArray());
    rig.clock.advanceMs(1);
    QCOMPARE(rig.controller.takeOutput(), QByteArray("S48=020\r\n"));
}

void TstSim::linesAlwaysEndWithCrLf() {
    Rig rig;
    rig.faults().setSrqLineEvery(2);
    rig.faults().setSrqInsideEvery(3);
    rig.faults().setGarbageEvery(5);
    rig.faults().setSplit(3, 1);
    QByteArray all;
    for (const QByteArray& command :
         QByteArrayList{"VER?", "S48", "S200", "S212", "BOGUS", "S403", "S405", "B1?"}) {
        rig.send(command);
        rig.clock.advanceMs(50);
        all += rig.controller.takeOutput();
    }
    QVERIFY(all.endsWith("\r\n"));
    QCOMPARE(all.count('\n'), 8 + 4);  // every line feed after a carriage return
    QCOMPARE(all.count("\r\n"), 8 + 4);
}

QTEST_GUILESS_MAIN(TstSim)
#include "tst_sim.moc"
