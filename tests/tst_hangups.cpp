// The controller's line hangs up: a TCP peer that closes, a pseudo-terminal whose other side goes
// away (as a pulled USB cable does), in the middle of polling, of a table read and of a table
// write. The operator is told once, the panel stays whole, and connecting again works.
#include "connectdialog.h"
#include "faultdrive.h"
#include "setupwindow.h"
#include "testpty.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QRadioButton>
#include <QSerialPort>
#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(SimModel)

using namespace FaultDrive;

namespace {
enum class During { Polling, TableRead, TableWrite };

void press(SetupWindow* w, const char* name) {
    QTest::mouseClick(w->findChild<QAbstractButton*>(QLatin1String(name)), Qt::LeftButton);
}
}  // namespace

Q_DECLARE_METATYPE(During)

class TstHangUps : public QObject {
    Q_OBJECT
private slots:
    void hangUpThenReconnect_data();
    void hangUpThenReconnect();
    void portVanishingDuringASend();

private:
    PanelPool pool_;
};

void TstHangUps::hangUpThenReconnect_data() {
    QTest::addColumn<SimModel>("model");
    QTest::addColumn<During>("during");
    for (auto [model, link] : {std::pair{SimModel::Kelda, "TCP"}, std::pair{SimModel::Vasko, "pty"}}) {
        QTest::addRow("%s, polling", link) << model << During::Polling;
        QTest::addRow("%s, table read", link) << model << During::TableRead;
        QTest::addRow("%s, table write", link) << model << During::TableWrite;
    }
}

void TstHangUps::hangUpThenReconnect() {
    QFETCH(SimModel, model);
    QFETCH(During, during);
    SimPanel* p = pool_.ready(model);
    QVERIFY(p);
    bool stateFirst = true;
    p->messages.onShow = [&](const RecordingMessages::Box&) {
        stateFirst = stateFirst && !p->app->state.Connected && !p->app->Timer2.running();
        QTest::qWait(200);  // a real box's event loop: nothing may stack a second box behind it
    };

    SetupWindow* w = nullptr;
    if (during != During::Polling) {
        p->click(QStringLiteral("SetupPb"));
        w = p->app->setup.window();
        QVERIFY(w != nullptr);
    }
    if (during == During::TableWrite) {
        for (int ch = 0; ch < 4; ++ch) {
            for (int f = TableView::Position; f <= TableView::Backlash; ++f) {
                w->setField(f, ch, QStringLiteral("10"));
            }
        }
        p->sim.setAck(true);  // set commands answer, so the line can hang up after the third
    }
    p->sim.faults().setHangUpAfter(3);
    if (during == During::TableRead) {
        press(w, "cmdDataRead");
    } else if (during == During::TableWrite) {
        press(w, "cmdDataWrite");
    }

    const QString terminal = p->usb ? p->pty->devicePath() : QString();
    QTRY_VERIFY_WITH_TIMEOUT(!p->messages.boxes.isEmpty(), 5000);
    QTest::qWait(300);
    QCOMPARE(p->messages.texts(), QStringList{QStringLiteral("Not connected !")});
    QCOMPARE(p->messages.boxes.first().title, QString());
    QVERIFY(stateFirst);
    QCOMPARE(p->text("Connect"), QStringLiteral("Connect"));
    if (p->usb) {
        QVERIFY(!p->app->channel.serialPort().isOpen());  // a vanished port is not kept
        // The simulator hung up its terminal and put the symlink on a fresh one.
        QVERIFY(p->pty->devicePath() != terminal);
        QCOMPARE(QFileInfo(p->ptyLink()).symLinkTarget(), p->pty->devicePath());
    }
    if (w != nullptr) {
        QVERIFY(!w->tmrTokei().running());
        QVERIFY(!w->tmrWrite().running());
        QCOMPARE(w->status(), during == During::TableRead
                                  ? QStringLiteral("--- Read stopped: not connected ---")
                                  : QStringLiteral("--- Write stopped: not connected ---"));
        press(w, "Command1");
    }

    clearFaults(p->sim);
    QVERIFY(reconnect(*p));
    QVERIFY(pollReplies(*p, 8));
    QCOMPARE(p->messages.boxes.size(), 1);
    QVERIFY(p->app->state.Connected);
}

void TstHangUps::portVanishingDuringASend() {
    // The other side goes away before the panel has noticed: the send itself runs into the dead
    // port, whose error arrives inside the send. One box, and the caller learns nothing went out.
    TestPty pty;
    QVERIFY(pty.ok());
    RecordingMessages messages;
    QTemporaryDir dir;
    Application app(QDir(dir.path()), &messages);
    app.window.findChild<QRadioButton*>(QStringLiteral("Option4"))->setChecked(true);
    app.session.ConnectClicked();
    app.session.dialog()->findChild<QComboBox*>(QStringLiteral("ComNo"))->setEditText(pty.slavePath());
    app.session.DialogConnect();
    QVERIFY(app.state.Connected);
    app.Timer2.setInterval(0);
    QSignalSpy sent(&app.channel, &CommandChannel::commandSent);

    pty.closeMaster();
    QVERIFY(!app.channel.SendCommand("VER?\r\n", Origin::Polling));
    QCOMPARE(messages.texts(), QStringList{QStringLiteral("Not connected !")});
    QVERIFY(sent.isEmpty());
    QVERIFY(!app.channel.serialPort().isOpen());
    QVERIFY(!app.state.Connected);
}

QTEST_MAIN(TstHangUps)
#include "tst_hangups.moc"
