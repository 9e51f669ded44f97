// The connection dialog and session: links, captions, settings files and the close guard.
#include "commandchannel.h"
#include "connectdialog.h"
#include "fakepanelview.h"
#include "intervaltimer.h"
#include "panelstate.h"
#include "portlistdialog.h"
#include "recentlist.h"
#include "recordingmessages.h"
#include "session.h"
#include "testpty.h"
#include "widgets.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

class TstSession : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void firstStartShowsDesignValues();
    void settingsFileLoad_data();
    void settingsFileLoad();
    void recentListRules_data();
    void recentListRules();
    void connectOpensSessionAndRemembersPort_data();
    void connectOpensSessionAndRemembersPort();
    void typedTextIsNotCompleted_data();
    void typedTextIsNotCompleted();
    void portNumberRules_data();
    void portNumberRules();
    void portList();
    void cancelAndCloseBox_data();
    void cancelAndCloseBox();
    void dialogLoadsOnlyOnce();

private:
    QString path(const QString& name) const { return QDir(dir->path()).filePath(name); }
    QComboBox* combo(const char* name) { return session->dialog()->findChild<QComboBox*>(name); }
    void click(const char* name) {
        QTest::mouseClick(session->dialog()->findChild<QPushButton*>(name), Qt::LeftButton);
    }
    // Through the dialog as the operator does: open it, type the port (and host), press Connect.
    void connectVia(bool lan, const QString& port) {
        view.lan = lan;
        session->ConnectClicked();
        if (lan) {
            combo("HostEdit")->setEditText(QStringLiteral("127.0.0.1"));
            session->dialog()->findChild<QLineEdit*>("Text1")->setText(port);
        } else {
            combo("ComNo")->setEditText(port);
        }
        click("ConnectButton");
    }

    std::unique_ptr<QTemporaryDir> dir;
    PanelState state;
    FakePanelView view;
    RecordingMessages messages;
    std::unique_ptr<IntervalTimer> timer2;
    std::unique_ptr<CommandChannel> channel;
    std::unique_ptr<Session> session;
};

void TstSession::init() {
    dir = std::make_unique<QTemporaryDir>();
    state = PanelState{};
    view = FakePanelView{};
    messages = RecordingMessages{};
    timer2 = std::make_unique<IntervalTimer>();
    channel = std::make_unique<CommandChannel>(state, view, messages, *timer2);
    session = std::make_unique<Session>(state, view, *channel, messages, *timer2, QDir(dir->path()));
}

void TstSession::cleanup() {
    session.reset();
    channel.reset();
}

void TstSession::firstStartShowsDesignValues() {
    session->ConnectClicked();
    ConnectDialog* dlg = session->dialog();
    QVERIFY(dlg && dlg->isVisible());
    QCOMPARE(dlg->objectName(), QStringLiteral("ConnectDlgVK"));
    QCOMPARE(dlg->windowTitle(), QStringLiteral("Connect"));
    QCOMPARE(combo("ComNo")->currentText(), QStringLiteral("3"));
    QCOMPARE(combo("ComNo")->count(), 0);
    QCOMPARE(combo("HostEdit")->currentText(), ConnectDialog::kDefaultHost);
    QCOMPARE(dlg->findChild<QLineEdit*>("Text1")->text(), QStringLiteral("7777"));
    // USB is the design choice: the LAN option is locked and only the COM box is usable.
    QVERIFY(!view.lanEnabled);
    QVERIFY(view.usbEnabled);
    QVERIFY(combo("ComNo")->isEnabled());
    QVERIFY(!combo("HostEdit")->isEnabled());
}

void TstSession::settingsFileLoad_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("text");
    QTest::newRow("two texts, six commas")
        << QByteArray("4,7,,,,,\r\n") << QStringList{"4", "7", "", "", "", ""} << "4";
    QTest::newRow("only the last line counts")
        << QByteArray("1,,,,,,\r\n2,5,,,,,\r\n") << QStringList{"2", "5", "", "", "", ""} << "2";
    QTest::newRow("fewer than six commas keeps what was found")
        << QByteArray("8,9,\r\n") << QStringList{"8", "9"} << "3";
    QTest::newRow("empty file") << QByteArray() << QStringList{} << "3";
}

void TstSession::settingsFileLoad() {
    QFETCH(QByteArray, content);
    QVERIFY(writeFile(path(Session::kComFile), content));
    session->ConnectClicked();
    QTEST(session->dialog()->comList(), "entries");
    QTEST(combo("ComNo")->currentText(), "text");
    QVERIFY(messages.boxes.isEmpty());
}

void TstSession::recentListRules_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("used");
    QTest::addColumn<QString>("line");
    QTest::newRow("first use") << QStringList{} << QStringList{"a"} << "a,,,,,,";
    QTest::newRow("used again moves to the top")
        << QStringList{"a", "b", "c", "", "", ""} << QStringList{"c"} << "c,a,b,,,,";
    QTest::newRow("settles at five texts and an empty sixth")
        << QStringList{} << QStringList{"1", "2", "3", "4", "5", "6", "7"} << "7,6,5,4,3,,";
    QTest::newRow("full list, a known text: one entry fewer")
        << QStringList{"a", "b", "c", "d", "e", "f"} << QStringList{"d"} << "d,a,b,c,e,,";
    QTest::newRow("empty text is not inserted") << QStringList{"a", "b"} << QStringList{""} << "a,b,,,,,";
}

void TstSession::recentListRules() {
    QFETCH(QStringList, before);
    QFETCH(QStringList, used);
    QFETCH(QString, line);
    QStringList list = before;
    for (const QString& t : used) {
        RecentList::update(list, t);
    }
    QCOMPARE(RecentList::line(list), line);
    QCOMPARE(RecentList::line(list).count(u','), 6);
}

void TstSession::connectOpensSessionAndRemembersPort_data() {
    QTest::addColumn<bool>("lan");
    QTest::newRow("USB") << false;
    QTest::newRow("LAN") << true;
}

void TstSession::connectOpensSessionAndRemembersPort() {
    QFETCH(bool, lan);
    TestPty pty;
    QTcpServer server;
    QVERIFY(pty.ok() && server.listen(QHostAddress::LocalHost, 0));
    const QString port = lan ? QString::number(server.serverPort()) : pty.slavePath();
    connectVia(lan, port);
    QVERIFY(messages.boxes.isEmpty());
    QVERIFY(state.Connected);
    QCOMPARE(timer2->interval(), 20);
    QCOMPARE(state.PollStep, 4);
    if (lan) {
        QVERIFY(server.waitForNewConnection(2000));
        QCOMPARE(state.HostName, QStringLiteral("127.0.0.1"));
        QCOMPARE(view.hostLine, QStringLiteral("Host Name 127.0.0.1"));
        QCOMPARE(view.portLine, QStringLiteral("Port No. ") + port);
    } else {
        QVERIFY(channel->usbPortOpen());
        QCOMPARE(channel->serialPort().baudRate(), 9600);
        QCOMPARE(view.portLine, QStringLiteral("Port No.   COM") + port + QStringLiteral(" (USB)"));
    }
    QCOMPARE(view.connectCaption, QStringLiteral("Disconnect"));
    QCOMPARE(view.connectColour, Bgr::LightYellow);
    QCOMPARE(view.quitColour, Bgr::LightYellow);
    QVERIFY(!session->dialog()->isVisible());
    QCOMPARE(readAll(path(lan ? Session::kHostsFile : Session::kComFile)),
             (lan ? QByteArray("127.0.0.1") : port.toUtf8()) + ",,,,,,\r\n");
    QVERIFY(!(lan ? view.usbEnabled : view.lanEnabled));  // the option not chosen stays locked

    session->ConnectClicked();  // now Disconnect
    QVERIFY(!state.Connected);
    QVERIFY(!channel->usbPortOpen());
    QCOMPARE(channel->tcpSocket().state(), QAbstractSocket::UnconnectedState);
    QVERIFY(!timer2->running());
    QCOMPARE(view.connectCaption, QStringLiteral("Connect"));
    QCOMPARE(view.connectColour, Bgr::ButtonFace);
    QCOMPARE(view.quitColour, Bgr::ButtonFace);
    QCOMPARE(view.portLine, QStringLiteral("Port No. "));
    QCOMPARE(view.hostLine, QStringLiteral("Host Name "));
    QVERIFY(view.lanEnabled && view.usbEnabled);
}

void TstSession::typedTextIsNotCompleted_data() {
    QTest::addColumn<bool>("lan");
    QTest::newRow("HostEdit") << true;
    QTest::newRow("ComNo") << false;
}

void TstSession::typedTextIsNotCompleted() {
    // A remembered entry that starts with the typed text must not be offered in its place: what
    // is typed is what Connect reads.
    QFETCH(bool, lan);
    const QString typed = lan ? QStringLiteral("127.0.0.1") : QStringLiteral("/dev/ttyUSB1");
    QVERIFY(writeFile(path(lan ? Session::kHostsFile : Session::kComFile), (typed + "0,,,,,,\r\n").toUtf8()));
    view.lan = lan;
    session->ConnectClicked();
    QComboBox* box = combo(lan ? "HostEdit" : "ComNo");
    QCOMPARE(box->itemText(0), typed + "0");
    box->lineEdit()->clear();
    session->dialog()->activateWindow();
    box->setFocus();
    QTRY_VERIFY(box->lineEdit()->hasFocus());  // completion works only on the focused box
    QTest::keyClicks(box->lineEdit(), typed);
    QCOMPARE(box->currentText(), typed);
}

void TstSession::portNumberRules_data() {
    QTest::addColumn<bool>("lan");
    QTest::addColumn<QString>("port");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("portNo");
    QTest::newRow("number then letters") << true << "7777abc" << true << 7777;
    QTest::newRow("above 32767") << true << "40000" << true << 40000;
    QTest::newRow("highest") << true << "65535" << true << 65535;
    QTest::newRow("zero") << true << "0" << false << 0;
    QTest::newRow("too large") << true << "70000" << false << 0;
    QTest::newRow("negative") << true << "-5" << false << 0;
    QTest::newRow("no number") << true << "abc" << false << 0;
    QTest::newRow("no such COM port") << false << "/dev/no-such-port" << false << 0;
}

void TstSession::portNumberRules() {
    QFETCH(bool, lan);
    QFETCH(QString, port);
    QFETCH(bool, accepted);
    connectVia(lan, port);
    QCOMPARE(state.Connected, accepted);
    if (accepted) {
        QTEST(state.PortNo, "portNo");
        QVERIFY(messages.boxes.isEmpty());
    } else {
        QCOMPARE(messages.texts(), QStringList{"Wrong port number !"});
        QVERIFY(messages.boxes.first().title.isEmpty());
        QVERIFY(session->dialog()->isVisible());  // open for another try
        QVERIFY(!timer2->running());
        QVERIFY(!channel->usbPortOpen());
        QVERIFY(readAll(path(lan ? Session::kHostsFile : Session::kComFile)).isEmpty());  // not remembered
    }
    channel->closeTcp();
}

void TstSession::portList() {
    // Read afresh at every opening: empty first, two ports plugged in meanwhile.
    session->ConnectClicked();
    QList<SerialPortDescription> present;
    session->dialog()->setPortLister([&] { return present; });
    const auto open = [this] {
        click("PortsButton");
        auto* list = session->dialog()->findChild<PortListDialog*>();
        return list != nullptr && list->isVisible() ? list : nullptr;
    };
    PortListDialog* list = open();
    QVERIFY(list);
    QVERIFY(list->findChild<QLabel*>("PortListNote")->text().contains("dialout"));
    QVERIFY(!list->findChild<QPushButton*>("PortUseButton")->isEnabled());
    list->reject();
    QTRY_VERIFY(session->dialog()->findChild<PortListDialog*>() == nullptr);

    present = {{"/dev/ttyUSB0", "FT232R", "FTDI", "A5028", 0x0403, 0x6001},
               {"/dev/ttyACM1", {}, {}, {}, {}, {}}};
    for (const bool use : {false, true}) {
        list = open();
        QVERIFY(list);
        auto* tree = list->findChild<QTreeWidget*>("PortList");
        QCOMPARE(tree->topLevelItemCount(), 2);
        QCOMPARE(tree->topLevelItem(0)->text(4), QStringLiteral("0403:6001"));
        QCOMPARE(tree->topLevelItem(1)->text(4), QString());
        tree->setCurrentItem(tree->topLevelItem(1));
        QTest::mouseClick(list->findChild<QPushButton*>(use ? "PortUseButton" : "PortCancelButton"),
                          Qt::LeftButton);
        QVERIFY(!list->isVisible());
        // Cancel leaves the typed text; Use puts the chosen port's location there, nothing more.
        QCOMPARE(combo("ComNo")->currentText(), use ? QStringLiteral("/dev/ttyACM1") : QStringLiteral("3"));
        QCOMPARE(combo("ComNo")->count(), 0);
        QVERIFY(!state.Connected);
        QTRY_VERIFY(session->dialog()->findChild<PortListDialog*>() == nullptr);
    }
}

void TstSession::cancelAndCloseBox_data() {
    QTest::addColumn<bool>("lan");
    QTest::newRow("USB chosen") << false;
    QTest::newRow("LAN chosen") << true;
}

void TstSession::cancelAndCloseBox() {
    QFETCH(bool, lan);
    view.lan = lan;
    bool& otherOption = lan ? view.usbEnabled : view.lanEnabled;
    session->ConnectClicked();
    QVERIFY(!otherOption);
    click("CancelButton");
    QVERIFY(!session->dialog()->isVisible());
    QVERIFY(view.lanEnabled && view.usbEnabled);
    QCOMPARE(view.connectCaption, QStringLiteral("Connect"));

    session->ConnectClicked();
    QVERIFY(!otherOption);
    session->dialog()->close();
    QVERIFY(view.lanEnabled && view.usbEnabled);
    QTRY_VERIFY(session->dialog() == nullptr);  // unloaded
}

void TstSession::dialogLoadsOnlyOnce() {
    // After a network session the COM list was never read: a USB connect in the same dialog
    // writes only the COM number it used.
    QVERIFY(writeFile(path(Session::kComFile), "5,6,,,,,\r\n"));
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));
    connectVia(true, QString::number(server.serverPort()));
    session->ConnectClicked();  // disconnect

    TestPty pty;
    connectVia(false, pty.slavePath());
    QVERIFY(state.Connected);
    QCOMPARE(readAll(path(Session::kComFile)), pty.slavePath().toUtf8() + ",,,,,,\r\n");
}

QTEST_MAIN(TstSession)
#include "tst_session.moc"
