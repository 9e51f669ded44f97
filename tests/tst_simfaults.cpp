// Each fault of the simulated line, observed with a stepped clock.

#include "tst_simforms.h"

#include <QtTest>

using namespace PanelForms;

namespace {
const QByteArray kVersion = "KELDA-01 Ver 1.20\r\n";

bool everyLfAfterCr(const QByteArray& bytes) {
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r')) {
            return false;
        }
    }
    return true;
}
}  // namespace

class TstSimFaults : public QObject {
    Q_OBJECT
private slots:
    void silenceAnswersNothingButActs();
    void dropEveryNth();
    void delayedReplies();
    void splitIntoPieces();
    void srqLineBeforeReply();
    void srqInsideReplies();
    void garbageBeforeReply();
    void hangUpAfterN();
    void pacedLine();
    void linesAlwaysEndWithCrLf();
};

void TstSimFaults::silenceAnswersNothingButActs() {
    Rig rig;
    rig.faults().setSilent(true);
    QCOMPARE(rig.ask("VER?"), QByteArray());
    QCOMPARE(rig.ask("S71H"), QByteArray());
    rig.clock.advanceMs(5000);
    QCOMPARE(rig.controller.takeOutput(), QByteArray());
    rig.faults().setSilent(false);
    QCOMPARE(rig.ask("S48"), QByteArray("S48=030\r\n"));
}

void TstSimFaults::dropEveryNth() {
    Rig rig;
    rig.faults().setDropEvery(3);
    QList<bool> answered;
    for (int i = 0; i < 6; ++i) {
        answered << !rig.ask("VER?").isEmpty();
    }
    QCOMPARE(answered, (QList<bool>{true, true, false, true, true, false}));
}

void TstSimFaults::delayedReplies() {
    Rig rig;
    rig.faults().setReplyDelayMs(100);
    QSignalSpy ready(&rig.controller, &SimController::outputReady);
    rig.send("VER?");
    rig.clock.advanceMs(99);
    QCOMPARE(ready.count(), 0);
    QCOMPARE(rig.controller.takeOutput(), QByteArray());
    rig.clock.advanceMs(1);
    QCOMPARE(ready.count(), 1);
    QCOMPARE(rig.controller.takeOutput(), kVersion);
}

void TstSimFaults::splitIntoPieces() {
    Rig rig;
    rig.faults().setSplit(4, 10);
    rig.send("VER?");
    QList<QByteArray> pieces;
    for (int step = 0; step < 6; ++step) {
        const QList<SimChunk> due = rig.controller.takeDue();
        QVERIFY(due.size() <= 1);
        for (const SimChunk& c : due) {
            pieces << c.bytes;
        }
        rig.clock.advanceMs(10);
    }
    QCOMPARE(pieces.size(), 5);
    QCOMPARE(pieces.first(), QByteArray("KELD"));
    QCOMPARE(pieces.join(), kVersion);
}

void TstSimFaults::srqLineBeforeReply() {
    Rig rig;
    rig.faults().setSrqLineEvery(2);
    QCOMPARE(rig.controller.takeDue().size(), 0);
    rig.send("VER?");
    QCOMPARE(rig.controller.takeDue().size(), 1);
    rig.send("VER?");
    const QList<SimChunk> due = rig.controller.takeDue();
    QCOMPARE(due.size(), 2);
    QCOMPARE(due.at(0).bytes, QByteArray("SRQ\r\n"));
    QCOMPARE(due.at(1).bytes, kVersion);
}

void TstSimFaults::srqInsideReplies() {
    Rig rig;
    rig.faults().setSrqInsideEvery(1);
    QStringList markers;
    for (int i = 0; i < 4; ++i) {
        QByteArray reply = rig.ask("S200");
        QVERIFY(reply.endsWith("\r\n"));
        QVERIFY(!reply.startsWith("SRQ"));
        const qsizetype at = reply.indexOf("SRQ");
        QVERIFY(at > 0);
        markers << QString::fromLatin1(reply.mid(at, reply.indexOf('+') > at ? reply.indexOf('+') - at : 5));
        // What is left once the markers are taken out, as the reply interpreter does, is the
        // plain reply.
        for (const char* m : {"SRQAB", "SRQA", "SRQB", "SRQ"}) {
            reply.replace(m, "");
        }
        QCOMPARE(reply, QByteArray("P0+0000000\r\n"));
    }
    QCOMPARE(markers.size(), 4);
    QVERIFY(markers.contains("SRQAB"));
}

void TstSimFaults::garbageBeforeReply() {
    Rig rig;
    rig.faults().setGarbageEvery(2);
    QCOMPARE(rig.ask("VER?"), kVersion);
    const QByteArray noisy = rig.ask("VER?");
    QVERIFY(noisy.endsWith(kVersion));
    const QByteArray noise = noisy.left(noisy.size() - kVersion.size());
    QVERIFY(noise.contains('\0'));
    QVERIFY(std::any_of(noise.begin(), noise.end(),
                        [](char c) { return static_cast<unsigned char>(c) >= 0x80; }));
}

void TstSimFaults::hangUpAfterN() {
    Rig rig;
    rig.faults().setHangUpAfter(2);
    rig.faults().setSplit(5, 0);
    rig.send("VER?");
    const QList<SimChunk> first = rig.controller.takeDue();
    QVERIFY(std::none_of(first.begin(), first.end(), [](const SimChunk& c) { return c.hangUp; }));
    rig.send("VER?");
    const QList<SimChunk> second = rig.controller.takeDue();
    QVERIFY(second.last().hangUp);
    QVERIFY(std::none_of(second.begin(), second.end() - 1, [](const SimChunk& c) { return c.hangUp; }));
    QCOMPARE(rig.ask("VER?"), QByteArray());
    // A new peer starts the count again.
    rig.controller.resetLink();
    QCOMPARE(rig.ask("VER?"), kVersion);
}

void TstSimFaults::pacedLine() {
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

void TstSimFaults::linesAlwaysEndWithCrLf() {
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
    QVERIFY(everyLfAfterCr(all));
    QCOMPARE(all.count("\r\n"), 8 + 4);
}

int runSimFaultTests(int argc, char** argv) {
    TstSimFaults faults;
    return QTest::qExec(&faults, argc, argv);
}

#include "tst_simfaults.moc"
