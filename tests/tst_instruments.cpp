// The instruments' logic on a stepped clock: the traffic recorder (ring, classes, round trips,
// filters, saved file), the position history, the status figures, and the hooks in the panel
// that feed them (the polling tick's report, the table write's flag, the time-out count).
#include "fakepanelview.h"
#include "intervaltimer.h"
#include "memorytable.h"
#include "panelstate.h"
#include "pollingcycle.h"
#include "positionhistory.h"
#include "recordinglink.h"
#include "recordingmessages.h"
#include "sequencedmoves.h"
#include "statusfigures.h"
#include "tablewrite.h"
#include "trafficmodel.h"
#include "trafficrecorder.h"

#include <QTemporaryDir>
#include <QtTest>

Q_DECLARE_METATYPE(TrafficClass)
Q_DECLARE_METATYPE(Origin)

namespace {
QStringList texts(const TrafficRecorder& r) {
    QStringList out;
    for (quint64 seq = r.firstSeq(); seq < r.endSeq(); ++seq) {
        out << QString::fromLatin1(r.at(seq).text);
    }
    return out;
}
}  // namespace

class TstInstruments : public QObject {
    Q_OBJECT
private slots:
    void init();

    void ringKeepsTheNewestLines();
    void classes_data();
    void classes();
    void roundTripsPairWithTheQuery();
    void receivedBytesBecomeLines();
    void filterAndSavedFile();

    void positionsThatAreNotNumbersAreSkipped_data();
    void positionsThatAreNotNumbersAreSkipped();
    void historyKeepsOneMinute();

    void statusFigures();
    void tickReportsWhatItSent();
    void tableWritePublishesItsRun();

private:
    qint64 now = 1'000'000;
    MsClock clock = [this] { return now; };
    PanelState state;
};

void TstInstruments::init() {
    state = PanelState{};
    now = 1'000'000;
}

void TstInstruments::ringKeepsTheNewestLines() {
    TrafficRecorder r(state, clock);
    const int total = TrafficRecorder::kCapacity + 5;
    for (int i = 0; i < total; ++i) {
        r.commandSent(QByteArray("L") + QByteArray::number(i) + "\r\n", true, Origin::Operator);
    }
    QCOMPARE(r.endSeq() - r.firstSeq(), quint64(TrafficRecorder::kCapacity));
    QCOMPARE(r.at(r.firstSeq()).text, QByteArray("L5"));
    QCOMPARE(r.at(r.endSeq() - 1).text, QByteArray("L") + QByteArray::number(total - 1));

    TrafficModel model(r);
    QCOMPARE(model.rowCount(), TrafficRecorder::kCapacity);
    r.commandSent("NEXT\r\n", true, Origin::Operator);
    model.refresh();  // the oldest row goes as the newest comes
    QCOMPARE(model.rowCount(), TrafficRecorder::kCapacity);
    QCOMPARE(model.entry(0).text, QByteArray("L6"));
    QCOMPARE(model.entry(model.rowCount() - 1).text, QByteArray("NEXT"));
}

void TstInstruments::classes_data() {
    QTest::addColumn<Origin>("origin");
    QTest::addColumn<bool>("reading");
    QTest::addColumn<TrafficClass>("cls");
    QTest::addColumn<bool>("answered");  // the reply carries a round trip

    QTest::newRow("operator button") << Origin::Operator << false << TrafficClass::Operator << false;
    QTest::newRow("demonstration leg") << Origin::Demo << false << TrafficClass::Operator << false;
    QTest::newRow("rotation query") << Origin::Polling << false << TrafficClass::Polling << true;
    QTest::newRow("free text") << Origin::FreeText << false << TrafficClass::Operator << true;
    QTest::newRow("table read") << Origin::Table << true << TrafficClass::Table << true;
    QTest::newRow("table write") << Origin::Table << false << TrafficClass::Table << false;
    QTest::newRow("script command") << Origin::Script << false << TrafficClass::Automation << false;
    QTest::newRow("script raw query") << Origin::Ask << false << TrafficClass::Automation << true;
}

void TstInstruments::classes() {
    QFETCH(Origin, origin);
    QFETCH(bool, reading);
    QFETCH(TrafficClass, cls);
    QFETCH(bool, answered);
    TrafficRecorder r(state, clock);
    state.TableReading = reading;
    r.commandSent("Q1\r\n", false, origin);
    now += 7;
    r.bytesReceived("R1\r\n", false);
    QCOMPARE(r.endSeq(), quint64(2));
    QCOMPARE(r.at(0).cls, cls);
    QCOMPARE(r.at(1).cls, cls);  // a reply belongs to the class of its command
    QVERIFY(r.at(0).sent && !r.at(1).sent);
    QCOMPARE(r.at(1).roundTripMs, answered ? 7 : -1);
}

void TstInstruments::roundTripsPairWithTheQuery() {
    TrafficRecorder r(state, clock);
    r.commandSent("S200\r\n", true, Origin::Polling);
    now += 3;
    r.commandSent("S3008\r\n", true, Origin::Operator);  // an operator command while the poll waits
    now += 2;
    r.bytesReceived("SRQ\r\nP0+00", true);  // a service request answers nothing
    now += 4;
    r.bytesReceived("01000\r\n", true);
    now += 1;
    r.bytesReceived("OK\r\n", true);  // answers no query: taken for the last command's, no round trip
    r.bytesReceived("P1+0000000\r\n", false);  // the other link had asked nothing

    QCOMPARE(texts(r), (QStringList{"S200", "S3008", "SRQ", "P0+0001000", "OK", "P1+0000000"}));
    QCOMPARE(r.at(1).cls, TrafficClass::Operator);
    QCOMPARE(r.at(2).cls, TrafficClass::Polling);
    QCOMPARE(r.at(2).roundTripMs, -1);
    QCOMPARE(r.at(3).cls, TrafficClass::Polling);
    QCOMPARE(r.at(3).roundTripMs, 9);
    QCOMPARE(r.at(4).cls, TrafficClass::Operator);
    QCOMPARE(r.at(4).roundTripMs, -1);
    QCOMPARE(r.at(5).cls, TrafficClass::Operator);
    QCOMPARE(r.at(5).roundTripMs, -1);
    QVERIFY(r.at(4).lan && !r.at(5).lan);
}

void TstInstruments::receivedBytesBecomeLines() {
    TrafficRecorder r(state, clock);
    r.bytesReceived(QByteArray("\x00\xFF\x8A", 3) + "L05\r", true);
    r.bytesReceived("\nA\r\n\r\nB\n", true);
    QCOMPARE(texts(r).mid(1), (QStringList{"A", "", "B"}));
    QCOMPARE(TrafficRecorder::printable(r.at(0).text), QStringLiteral("\\x00\\xFF\\x8AL05"));
    // A line that never ends is kept up to the cap, and the rest of it up to its line feed goes.
    r.bytesReceived(QByteArray(TrafficRecorder::kLineCap + 10, 'x'), true);
    r.bytesReceived(QByteArray(50, 'y') + "\nNEXT\n", true);
    QCOMPARE(r.at(4).text.size(), TrafficRecorder::kLineCap);
    QVERIFY(r.at(4).cut);
    QCOMPARE(texts(r).last(), QStringLiteral("NEXT"));
    QCOMPARE(r.endSeq(), quint64(6));
}

void TstInstruments::filterAndSavedFile() {
    TrafficRecorder r(state, clock);
    r.commandSent("STS0?\r\n", false, Origin::Polling);
    now += 12;
    r.bytesReceived("ST0100+0001000\r\n", false);
    r.commandSent("S3040\r\n", false, Origin::Operator);
    r.commandSent("B0+0005\r\n", false, Origin::Table);

    TrafficModel model(r);
    QCOMPARE(model.rowCount(), 4);
    model.setFilter(quint8(TrafficClass::Operator) | quint8(TrafficClass::Table));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.entry(0).text, QByteArray("S3040"));
    QVERIFY(model.data(model.index(1), Qt::DisplayRole)
                .toString()
                .endsWith(QStringLiteral("  table       B0+0005")));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("traffic.txt"));
    QString error;
    QVERIFY(r.save(path, quint8(TrafficClass::Polling), &error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 5);  // two comment lines, the two polling lines, nothing after the last CR LF
    QVERIFY(lines[0].startsWith("# ") && lines[0].contains("shown: polling"));
    QVERIFY(lines[1].startsWith("# Time          Link  Dir   Class       Line                Round trip"));
    QVERIFY(lines[2].endsWith("  USB   sent  polling     STS0?\r"));
    QVERIFY(lines[3].endsWith("  USB   recv  polling     ST0100+0001000      12 ms\r"));
    QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d{3}  "))
                .match(QString::fromLatin1(lines[2]))
                .hasMatch());
}

void TstInstruments::positionsThatAreNotNumbersAreSkipped_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<qint64>("value");
    QTest::newRow("signed") << "+0001000" << true << qint64(1000);
    QTest::newRow("negative") << "-0000300" << true << qint64(-300);
    QTest::newRow("spaces") << " 12 " << true << qint64(12);
    QTest::newRow("dashes of an unused channel") << "-----------" << false << qint64(0);
    QTest::newRow("empty") << "" << false << qint64(0);
    QTest::newRow("damaged digits") << "+00A1000" << false << qint64(0);
    QTest::newRow("fraction") << "10.5" << false << qint64(0);
}

void TstInstruments::positionsThatAreNotNumbersAreSkipped() {
    QFETCH(QString, text);
    QFETCH(bool, taken);
    QFETCH(qint64, value);
    PositionHistory h(clock);
    QCOMPARE(h.addPosition(2, text), taken);
    QCOMPARE(h.samples(2).size(), size_t(taken ? 1 : 0));
    QCOMPARE(h.taken(2), quint64(taken ? 1 : 0));
    if (taken) {
        QCOMPARE(h.samples(2).front().value, value);
    }
}

void TstInstruments::historyKeepsOneMinute() {
    PositionHistory h(clock);
    for (int i = 0; i < 130; ++i) {  // one sample a second for 130 s
        h.addPosition(0, QString::number(i));
        if (i % 10 == 0) {
            h.addMark(0, PositionHistory::Mark::Cw, i % 20 == 0);
        }
        now += 1000;
    }
    h.addPosition(1, QStringLiteral("5"));
    // The minute, plus the sample just before it so the line enters from the left edge.
    QCOMPARE(h.samples(0).size(), size_t(61));
    QCOMPARE(h.samples(0).front().value, qint64(69));
    QCOMPARE(h.taken(0), quint64(130));
    QCOMPARE(h.events().size(), size_t(6));
    QVERIFY(h.events().front().ms >= now - PositionHistory::kSpanMs);
    QCOMPARE(h.nearest(0, now - 1000 - 300, 500)->value, qint64(129));
    QVERIFY(!h.nearest(0, now + 5000, 1000).has_value());
}

void TstInstruments::statusFigures() {
    StatusFigures f(state, clock);
    state.Connected = true;
    state.PollStep = 4;
    state.TimeoutsSeen = 3;  // from an earlier session
    f.sessionOpened();
    f.replyDelivered();  // too short a version reply leaves the step at 4
    QVERIFY(f.model().isEmpty());
    state.PollStep = 5;
    state.FourChModel = state.UsbModel = true;
    f.replyDelivered();
    QCOMPARE(f.model(), QStringLiteral("VASKO-01, 4 ch"));
    for (int i = 0; i < 100; ++i) {  // 50 replies a second for two seconds
        now += 20;
        f.replyDelivered();
    }
    QCOMPARE(f.repliesInWindow(), 100);
    QCOMPARE(f.repliesPerSecond(), 50.0);
    now += 1000;  // half of them are older than the window now
    QCOMPARE(f.repliesInWindow(), 50);
    state.TimeoutsSeen = 5;
    QCOMPARE(f.timeouts(), 2);
    f.sessionOpened();
    QCOMPARE(f.timeouts(), 0);
    QVERIFY(f.model().isEmpty());
}

void TstInstruments::tickReportsWhatItSent() {
    FakePanelView view;
    RecordingLink link;
    RecordingMessages messages;
    SequencedMoves moves(state, view, link);
    PollingCycle cycle(state, view, link, messages, moves);
    state.Connected = true;
    state.PollStep = 4;

    cycle.Tick();  // VER?
    state.AwaitingReply = 0;
    view.text2 = QStringLiteral("ABC");
    state.PendingFreeText = 1;
    cycle.Tick();  // the free text
    state.AwaitingReply = 0;
    cycle.Tick();  // step 6 sends nothing
    state.ReplyWaitTicks = 0;
    for (int i = 0; i <= PollingCycle::kReplyTimeoutTicks; ++i) {
        cycle.Tick();
    }
    QCOMPARE(state.TimeoutsSeen, 1);
    state.PollStep = 0;
    state.AwaitingReply = 0;
    link.failSends = true;
    cycle.Tick();  // a send that failed went nowhere
    QCOMPARE(link.lines(), (QByteArrayList{"VER?", "ABC"}));
    QCOMPARE(link.origins, (QList<Origin>{Origin::Polling, Origin::FreeText}));
}

void TstInstruments::tableWritePublishesItsRun() {
    MemoryTable table;
    RecordingLink link;
    RecordingMessages messages;
    IntervalTimer tmrTokei;
    IntervalTimer tmrWrite;
    {
        TableWrite write(state, table, link, messages, tmrTokei, tmrWrite);
        tmrWrite.setInterval(TableWrite::kTickMs);
        QVERIFY(state.TableWriting);
        tmrWrite.setInterval(0);
        QVERIFY(!state.TableWriting);
        tmrWrite.setInterval(TableWrite::kTickMs);
    }
    QVERIFY(!state.TableWriting);  // a write that goes away leaves no flag behind
}

QTEST_MAIN(TstInstruments)
#include "tst_instruments.moc"
