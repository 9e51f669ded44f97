// The whole panel against a controller whose line misbehaves, over loopback TCP (KELDA-01) and a
// pseudo-terminal (VASKO-01): lost and late replies, service-request markers,
// and line noise. What the operator sees and what the panel sends.
#include "faultdrive.h"

#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(SimModel)

using namespace FaultDrive;

namespace {
QByteArrayList sentTexts(const QSignalSpy& spy) {
    QByteArrayList out;
    for (const QList<QVariant>& args : spy) {
        out << args.at(0).toByteArray();
    }
    return out;
}

// The same query twice in a row: only a time-out repeats one.
int repeats(const QByteArrayList& sent) {
    int n = 0;
    for (qsizetype i = 1; i < sent.size(); ++i) {
        n += sent[i] == sent[i - 1] ? 1 : 0;
    }
    return n;
}
}  // namespace

class TstFaults : public QObject {
    Q_OBJECT
private slots:
    void droppedRepliesAreRetried_data() { links(); }
    void droppedRepliesAreRetried();
    void replyAroundTheTimeOut_data();
    void replyAroundTheTimeOut();
    void serviceRequestMarkers_data();
    void serviceRequestMarkers();
    void garbageAndNulBytes_data() { links(); }
    void garbageAndNulBytes();

private:
    static void links();
    SimPanel* ready(SimModel model) { return pool_.ready(model); }

    PanelPool pool_;
};

void TstFaults::links() {
    QTest::addColumn<SimModel>("model");
    QTest::newRow("TCP") << SimModel::Kelda;
    QTest::newRow("pty") << SimModel::Vasko;
}

void TstFaults::droppedRepliesAreRetried() {
    QFETCH(SimModel, model);
    SimPanel* p = ready(model);
    QVERIFY(p);
    const QStringList shown = display(*p);
    p->sim.faults().setDropEvery(3);
    QSignalSpy sent(&p->app->channel, &CommandChannel::commandSent);
    QVERIFY(pollReplies(*p, 12, 10000));
    // Every lost reply is one time-out and the same query once more; the rotation goes on.
    QVERIFY2(repeats(sentTexts(sent)) >= 4, sentTexts(sent).join(' ').constData());
    QVERIFY(p->app->state.Connected);
    QVERIFY(p->messages.boxes.isEmpty());
    QCOMPARE(display(*p), shown);
}

void TstFaults::replyAroundTheTimeOut_data() {
    QTest::addColumn<SimModel>("model");
    QTest::addColumn<bool>("late");
    for (auto [model, link] : {std::pair{SimModel::Kelda, "TCP"}, std::pair{SimModel::Vasko, "pty"}}) {
        // Ten silent ticks are allowed; the eleventh is the time-out and the twelfth repeats.
        QTest::addRow("%s, reply after tick 10", link) << model << false;
        QTest::addRow("%s, reply after tick 11", link) << model << true;
    }
}

void TstFaults::replyAroundTheTimeOut() {
    QFETCH(SimModel, model);
    QFETCH(bool, late);
    SimPanel* p = ready(model);
    QVERIFY(p);
    QVERIFY(stopAtReply(*p));
    p->sim.faults().setReplyDelayMs(400);  // far longer than the hand-driven ticks take
    QSignalSpy sent(&p->app->channel, &CommandChannel::commandSent);
    QSignalSpy delivered(&p->app->channel, &CommandChannel::replyDelivered);

    tick(*p, late ? 11 : 10);
    QCOMPARE(p->app->state.TimeoutCount, late ? 1 : 0);
    if (late) {
        // The repeat at tick 12 is answered at once; the first answer is still on its way.
        p->sim.faults().setReplyDelayMs(0);
        tick(*p);
    }
    const QByteArrayList early = sentTexts(sent);
    QCOMPARE(early.size(), late ? 2 : 1);
    QCOMPARE(early.count(early.first()), early.size());

    // The answer arrives: over TCP it is interpreted at once, on the serial link by the next tick.
    if (p->usb) {
        QSerialPort& port = p->app->channel.serialPort();
        QTRY_VERIFY(port.bytesAvailable() > 0 && port.peek(port.bytesAvailable()).endsWith('\n'));
    } else {
        QTRY_COMPARE(delivered.size(), 1);
    }
    tick(*p);
    QCOMPARE(p->app->state.TimeoutCount, 0);
    QCOMPARE(sent.size(), early.size() + 1);
    QVERIFY(sentTexts(sent).last() != early.first());

    // The answer that was late lands on a later step: polling goes on all the same.
    p->sim.faults().setReplyDelayMs(0);
    QVERIFY(pollReplies(*p, 12));
    QVERIFY(p->app->state.Connected);
    QVERIFY(p->messages.boxes.isEmpty());
}

void TstFaults::serviceRequestMarkers_data() {
    QTest::addColumn<SimModel>("model");
    QTest::addColumn<bool>("inside");
    for (auto [model, link] : {std::pair{SimModel::Kelda, "TCP"}, std::pair{SimModel::Vasko, "pty"}}) {
        QTest::addRow("%s, SRQ lines", link) << model << false;
        QTest::addRow("%s, markers inside replies", link) << model << true;
    }
}

void TstFaults::serviceRequestMarkers() {
    QFETCH(SimModel, model);
    QFETCH(bool, inside);
    SimPanel* p = ready(model);
    QVERIFY(p);
    const QStringList shown = display(*p);
    p->find<QPlainTextEdit>(QStringLiteral("Text3"))->clear();  // a pooled panel may show an earlier notice
    if (inside) {
        p->sim.faults().setSrqInsideEvery(1);  // every marker form in turn
    } else {
        p->sim.faults().setSrqLineEvery(2);
    }
    QVERIFY(stopAtReply(*p));
    QSignalSpy sent(&p->app->channel, &CommandChannel::commandSent);
    QVERIFY(pollReplies(*p, 16));
    QCOMPARE(p->text(QStringLiteral("Text3")), QStringLiteral("SRQ code received !"));
    QVERIFY(p->app->state.Connected);
    QVERIFY(p->messages.boxes.isEmpty());
    if (inside) {
        // Markers removed, the replies are the plain ones: nothing repeated, nothing misread.
        QCOMPARE(repeats(sentTexts(sent)), 0);
        QCOMPARE(display(*p), shown);
    } else {
        p->sim.faults().setSrqLineEvery(0);
        QVERIFY(pollReplies(*p, 12));
        QCOMPARE(display(*p), shown);
    }
}

void TstFaults::garbageAndNulBytes() {
    QFETCH(SimModel, model);
    SimPanel* p = ready(model);
    QVERIFY(p);
    const QStringList shown = display(*p);
    p->sim.faults().setGarbageEvery(2);
    QSignalSpy delivered(&p->app->channel, &CommandChannel::replyDelivered);
    QVERIFY(pollReplies(*p, 16));
    const bool nulSeen = std::any_of(delivered.begin(), delivered.end(), [](const QList<QVariant>& a) {
        return a.at(0).toByteArray().contains('\0');
    });
    QVERIFY(nulSeen);
    QVERIFY(p->app->state.Connected);
    QVERIFY(p->messages.boxes.isEmpty());
    // Noise shows as what it is while it lasts; the clean replies that follow put the display right.
    p->sim.faults().setGarbageEvery(0);
    QVERIFY(pollReplies(*p, 12));
    QCOMPARE(display(*p), shown);
}

QTEST_MAIN(TstFaults)
#include "tst_faults.moc"
