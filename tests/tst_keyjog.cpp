// Ctrl+Right and Ctrl+Left on the real panel against the simulator over TCP (KELDA-01) and a
// pseudo-terminal (VASKO-01): a press is a click on "+", held keys jog step by step, never ahead
// of the controller, and motion ends within one step of the release.
#include "setupwindow.h"
#include "simpanel.h"

#include <QtTest>

Q_DECLARE_METATYPE(SimModel)

namespace {
// The keys held for `ms`, the keyboard repeating them every 33 ms (30 Hz), then released.
void hold(QWidget* to, Qt::Key which, int ms, const std::function<void(int)>& during = {}) {
    for (int t = 0; t < ms; t += 33) {
        QTest::keyPress(to, which, Qt::ControlModifier);
        if (during) {
            during(t);
        }
        QTest::qWait(33);
    }
    QTest::keyRelease(to, which, Qt::ControlModifier);
}

int jogs(const SimPanel& p, qsizetype from, const QByteArray& code) {
    return int(p.commandsSince(from).count(code));
}
}  // namespace

class TstKeyJog : public QObject {
    Q_OBJECT
private slots:
    void heldKeysJogStepByStep_data();
    void heldKeysJogStepByStep();
};

void TstKeyJog::heldKeysJogStepByStep_data() {
    QTest::addColumn<SimModel>("model");
    QTest::newRow("network, TCP") << SimModel::Kelda;
    QTest::newRow("four channels, pty") << SimModel::Vasko;
}

void TstKeyJog::heldKeysJogStepByStep() {
    QFETCH(SimModel, model);
    SimPanel p(model);
    QVERIFY(p.connect());
    p.click(QStringLiteral("Ch_0"));
    p.app->window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&p.app->window));
    QWidget* button = p.find<QWidget>(QStringLiteral("Ch_0"));
    button->setFocus();
    SimChannel& a = p.sim.channel(0);
    const auto position = [&] { return a.position(p.clock.nowUs()); };
    const qint64 step = p.sim.machine().jogStep();

    // A press is one click of "+": one jog, of one step.
    qsizetype from = p.received.size();
    QTest::keyClick(button, Qt::Key_Right, Qt::ControlModifier);
    QTRY_COMPARE(p.commandsSince(from), QByteArrayList{"S3008"});
    QTRY_VERIFY(p.app->state.Axes.settled(0) && position() == step);

    // Held for two seconds: every jog is a step the controller took, none refused as busy.
    from = p.received.size();
    hold(button, Qt::Key_Left, 2000);
    const int held = jogs(p, from, "S3009");
    QVERIFY2(held > 3, qPrintable(QString::number(held)));
    const qint64 released = position();
    QTRY_VERIFY_WITH_TIMEOUT(!a.busy(p.clock.nowUs()), 200);  // within the step under way
    QTest::qWait(300);
    QCOMPARE(jogs(p, from, "S3009"), held);
    QVERIFY(position() - released >= -step);
    QCOMPARE(position(), step - held * step);

    // Esc in the middle of a hold stops, and the keys still down jog no more.
    from = p.received.size();
    hold(button, Qt::Key_Right, 1000, [&](int t) {
        if (t == 429) {
            QTest::keyClick(button, Qt::Key_Escape);
        }
    });
    QTest::qWait(100);
    const QByteArrayList afterHold = p.commandsSince(from);
    QVERIFY(afterHold.contains("S3040") && afterHold.indexOf("S3040") > 0);
    QCOMPARE(afterHold.mid(afterHold.indexOf("S3040")), QByteArrayList{"S3040"});

    // In the send box and in a set-data box the keys move the cursor by a word, nothing else.
    from = p.received.size();
    for (const char* box : {"Text2", "Text1_0"}) {
        QWidget* text = p.find<QWidget>(QLatin1String(box));
        text->setFocus();
        hold(text, Qt::Key_Right, 200);
    }
    // Nor while the setup window is open.
    button->setFocus();
    p.click(QStringLiteral("SetupPb"));
    hold(button, Qt::Key_Right, 200);
    QTest::qWait(100);
    QCOMPARE(p.commandsSince(from), QByteArrayList{});
}

QTEST_MAIN(TstKeyJog)
#include "tst_keyjog.moc"
