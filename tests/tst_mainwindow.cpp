#include "aboutbox.h"
#include "application.h"
#include "colours.h"
#include "elidinglabel.h"
#include "lampindicator.h"
#include "mainwindow.h"
#include "setupwindow.h"
#include "widgets.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QToolTip>
#include <QtTest>
#include <memory>

using Lamp = PanelView::Lamp;

namespace {

constexpr qint64 kNoColour = -1;
constexpr int kNotCheckable = -1;

// Positions line up digit under digit only if every character is as wide as every other. (Asked of
// the metrics: some monospaced fonts do not declare themselves fixed-pitch.)
bool monospaced(const QFont& font) {
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(u'0');
    for (QChar c : QStringLiteral("1-+W.i")) {
        if (metrics.horizontalAdvance(c) != width) {
            return false;
        }
    }
    return true;
}

// Radio and check boxes react only to clicks on their indicator or text, not on empty layout
// space to their right.
void click(QWidget* widget) {
    const bool box = qobject_cast<QRadioButton*>(widget) || qobject_cast<QCheckBox*>(widget);
    QTest::mouseClick(widget, Qt::LeftButton, {},
                      box ? QPoint(8, widget->height() / 2) : widget->rect().center());
}

}  // namespace

class TstMainWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void windowAndMenu();
    void controls_data();
    void controls();
    void clicksBecomeSignals_data();
    void clicksBecomeSignals();
    void lampsAndHoldOff();
    void speedSelection_data();
    void speedSelection();
    void settersReachTheirControls();
    void readersFollowTheOperator();
    void modelDependentControls();
    void sendBox();
    void aboutBox();
    void boxesOpenOverTheirWindow();
    void longDevicePathKeepsTheLayout();
    void deviceNameStaysReadable_data();
    void deviceNameStaysReadable();

private:
    template <class T = QWidget>
    T* find(const QString& objectName) const {
        return window_->findChild<T*>(objectName);
    }

    std::unique_ptr<MainWindow> window_;
};

void TstMainWindow::init() {
    window_ = std::make_unique<MainWindow>();
    window_->show();
}

void TstMainWindow::cleanup() {
    window_.reset();
}

void TstMainWindow::windowAndMenu() {
    QCOMPARE(window_->objectName(), QStringLiteral("KELDAVK"));
    QCOMPARE(window_->windowTitle(), QStringLiteral("KELDA-01, RUNEL-01, VASKO-01 control via Telnet & USB"));
    QCOMPARE(window_->palette().color(QPalette::Window), colourFromBgr(Bgr::PanelGrey));

    // The one item (tst_instrumentswindow counts them on the whole panel).
    QAction* about = window_->findChild<QAction*>("Menu_About");
    QCOMPARE(about->text(), QStringLiteral("&About"));
    QSignalSpy spy(window_.get(), &MainWindow::aboutRequested);
    about->trigger();
    QCOMPARE(spy.count(), 1);
}

void TstMainWindow::controls_data() {
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QByteArray>("className");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<qint64>("colour");
    QTest::addColumn<int>("checked");

    const auto row = [](const QString& objectName, const char* className, const QString& caption,
                        const QString& toolTip = {}, qint64 colour = kNoColour, int checked = kNotCheckable) {
        QTest::newRow(qPrintable(objectName))
            << objectName << QByteArray(className) << caption << toolTip << colour << checked;
    };
    const qint64 face = Bgr::ButtonFace;
    const qint64 grey = Bgr::PanelGrey;

    row("Connect", "QPushButton", "&Connect...", "Remote connection control", face);
    row("Frame3", "QGroupBox", "CTL Port", {}, grey);
    row("Option4", "QRadioButton", "USB", {}, grey, 1);
    row("Option3", "QRadioButton", "LAN", {}, grey, 0);
    row("Label8", "ElidingLabel", "Host Name", {}, grey);
    row("Label9", "ElidingLabel", "Port No.", {}, grey);
    row("Command1", "QPushButton", "Quit", {}, face);
    row("Label1", "QLabel", "KELDA-01 2CH PULSE MOTOR CONTROLLER", {}, grey);
    row("Label13", "QLabel", "Firmware version", {}, grey);

    const std::array<int, 4> headingIndex{0, 1, 3, 4};
    const std::array<int, 4> setDataIndex{0, 1, 3, 7};
    for (int ch = 0; ch < 4; ++ch) {
        const QString letter(QChar(u'A' + ch));
        row(indexed("Ch", ch), "QPushButton", letter, "control select", face);
        row(indexed("Label11", headingIndex[ch]), "QLabel", letter + " position", {}, grey);
        row(indexed("LblPosition", ch), "QLabel", ch < 2 ? "0000000" : "-----------", "Position display",
            Bgr::LightYellow);
        row(indexed("Text1", ch), "QLineEdit", "0001000", "Set data input");
        row(indexed("Label10", setDataIndex[ch]), "QLabel", "SET DATA", {}, grey);
        row(indexed("LampCW", ch), "LampIndicator", {}, {}, Bgr::White);
        row(indexed("LampCCW", ch), "LampIndicator", {}, {}, Bgr::White);
        row(indexed("LampHP", ch), "LampIndicator", {}, {}, Bgr::White);
        row(indexed("BtnHOff", ch), "QPushButton", {}, {}, face);
        row(indexed("Check1", ch), "QCheckBox", {}, {}, grey, 0);
        row(indexed("Label22", ch), "QLabel", "Backlash ", {}, grey);
    }
    row("Label10_2", "QLabel", "cw", {}, grey);
    row("Label10_4", "QLabel", "ccw", {}, grey);
    row("Label10_5", "QLabel", "hp", {}, grey);
    row("Label10_6", "QLabel", "LS", {}, grey);
    row("Label4", "QLabel", "CHANNEL", {}, grey);
    row("Label6", "QLabel", "CONTROL", {}, grey);
    row("Label7", "QLabel", "JOG", {}, grey);

    row("Frame1", "QGroupBox", "MODE", "Control mode select", grey);
    const QStringList modes{"HP", "REL", "ABS", "SCN"};
    for (int i = 0; i < modes.size(); ++i) {
        row(indexed("Option1", i), "QRadioButton", modes[i], {}, grey, i == 1);
    }
    row("Ctr_4", "QPushButton", "Preset", "position data preset", Bgr::Yellow);
    row("Ctr_5", "QPushButton", "Start", "scan start", Bgr::LightGreen);
    row("Ctr_6", "QPushButton", "Stop", "scan stop", Bgr::LightRed);
    row("Frame2", "QGroupBox", "SPEED", "Speed select", grey);
    const QStringList speeds{"H", "M", "L"};
    for (int k = 0; k < speeds.size(); ++k) {
        row(indexed("RadSpeed", k), "QRadioButton", speeds[k], {}, grey, k == 1);
    }
    row("Command6", "QPushButton", "+", "CW jog", face);
    row("Command7", "QPushButton", "-", "CCW jog", face);
    row("BtnDEMO", "QPushButton", "DEMO DRIVE", "Remote connection control", face);
    row("ChkSyncDemo", "QCheckBox", "Synchro drive", {}, grey, 0);
    row("SetupPb", "QPushButton", "To Setup Screen", "To data table and setup", Bgr::LightCyan);

    row("Label20", "QLabel", "Send Data(with return Key)", {}, grey);
    row("Text2", "QPlainTextEdit", {});
    row("Label21", "QLabel", "Receive Data", {}, grey);
    row("Text3", "QPlainTextEdit", {}, {}, Bgr::LightCyan);
    row("Command2", "QPushButton", "CLR", {}, Bgr::ClearButton);
}

void TstMainWindow::controls() {
    QFETCH(QString, objectName);
    QFETCH(qint64, colour);
    QFETCH(int, checked);

    const QList<QWidget*> found = window_->findChildren<QWidget*>(objectName);
    QCOMPARE(found.size(), 1);
    QWidget* widget = found.first();
    QTEST(QByteArray(widget->metaObject()->className()), "className");
    QTEST(captionOf(widget), "caption");
    QTEST(widget->toolTip(), "toolTip");
    QVERIFY(widget->isEnabled());
    QVERIFY(widget->isVisible());

    if (colour != kNoColour) {
        const auto bgr = std::uint32_t(colour);
        QCOMPARE(backColour(widget), bgr);
        if (const auto* lamp = qobject_cast<LampIndicator*>(widget)) {
            QCOMPARE(lamp->fillBgr(), bgr);
        } else {
            QCOMPARE(widget->palette().color(QPalette::Window), colourFromBgr(bgr));
        }
        if (qobject_cast<QPlainTextEdit*>(widget)) {
            QCOMPARE(widget->palette().color(QPalette::Base), colourFromBgr(bgr));
        }
    }
    if (checked != kNotCheckable) {
        QCOMPARE(qobject_cast<QAbstractButton*>(widget)->isChecked(), checked == 1);
    }
}

void TstMainWindow::clicksBecomeSignals_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("signal");  // empty: the click raises none of the window's signals
    QTest::addColumn<QVariantList>("arguments");
    const auto row = [](const QString& control, const char* signal = "", const QVariantList& arguments = {}) {
        QTest::newRow(qPrintable(control)) << control << QByteArray(signal) << arguments;
    };

    row("Connect", "connectClicked()");
    for (int ch = 0; ch < 4; ++ch) {
        row(indexed("Ch", ch), "channelClicked(int)", {ch});
        row(indexed("BtnHOff", ch), "holdOffClicked(int)", {ch});
    }
    row("Command6", "jogClicked(bool)", {true});
    row("Command7", "jogClicked(bool)", {false});
    for (int index = 4; index <= 6; ++index) {
        row(indexed("Ctr", index), "ctrClicked(int)", {index});
    }
    row("RadSpeed_0", "speedChosen(int)", {0});
    row("RadSpeed_2", "speedChosen(int)", {2});
    row("RadSpeed_1");  // already selected
    row("SetupPb", "setupClicked()");
    row("Command2", "clearClicked()");
    row("Command1", "quitClicked()");
    row("BtnDEMO", "demoClicked()");
    for (const char* silent : {"Option1_3", "Option3", "Check1_2", "ChkSyncDemo"}) {
        row(silent);
    }
}

void TstMainWindow::clicksBecomeSignals() {
    QFETCH(QString, control);
    QFETCH(QByteArray, signal);
    QFETCH(QVariantList, arguments);

    // Spy on every signal the window declares, so a click that raises a wrong or a second one fails.
    const QMetaObject* meta = &MainWindow::staticMetaObject;
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    std::vector<QByteArray> signatures;
    for (int i = meta->methodOffset(); i < meta->methodCount(); ++i) {
        const QMetaMethod method = meta->method(i);
        if (method.methodType() == QMetaMethod::Signal) {
            spies.push_back(std::make_unique<QSignalSpy>(window_.get(), method));
            signatures.push_back(method.methodSignature());
        }
    }
    QVERIFY(signal.isEmpty() || std::find(signatures.begin(), signatures.end(), signal) != signatures.end());

    QWidget* widget = find(control);
    QVERIFY(widget != nullptr);
    click(widget);

    for (std::size_t i = 0; i < spies.size(); ++i) {
        const bool expected = signatures[i] == signal;
        QCOMPARE(spies[i]->count(), expected ? 1 : 0);
        if (expected) {
            QCOMPARE(spies[i]->first(), arguments);
        }
    }
}

void TstMainWindow::lampsAndHoldOff() {
    const std::array<std::pair<Lamp, const char*>, 3> kinds{
        {{Lamp::CW, "LampCW"}, {Lamp::CCW, "LampCCW"}, {Lamp::HP, "LampHP"}}};
    // Each lamp lights alone, so a lamp wired to a neighbour's indicator shows.
    for (const auto& [lamp, lampName] : kinds) {
        for (int ch = 0; ch < 4; ++ch) {
            window_->setLamp(lamp, ch, true);
            for (const auto& [kind, base] : kinds) {
                for (int other = 0; other < 4; ++other) {
                    const bool lit = kind == lamp && other == ch;
                    QVERIFY2(
                        find<LampIndicator>(indexed(base, other))->fillBgr() == (lit ? Bgr::Red : Bgr::White),
                        qPrintable(indexed(lampName, ch) + " lit, looking at " + indexed(base, other)));
                }
            }
            window_->setLamp(lamp, ch, false);
        }
    }
    window_->setHoldOffLit(2, true);
    QCOMPARE(find(indexed("BtnHOff", 2))->palette().color(QPalette::Button), colourFromBgr(Bgr::Red));
    QCOMPARE(backColour(find(indexed("BtnHOff", 1))), Bgr::ButtonFace);
    window_->setHoldOffLit(2, false);
    QCOMPARE(find(indexed("BtnHOff", 2))->palette().color(QPalette::Button), colourFromBgr(Bgr::ButtonFace));
}

void TstMainWindow::speedSelection_data() {
    QTest::addColumn<QList<int>>("selections");
    QTest::addColumn<QList<int>>("reported");
    QTest::addColumn<int>("finallyChecked");
    QTest::newRow("already selected") << QList<int>{1} << QList<int>{} << 1;
    QTest::newRow("two changes") << QList<int>{2, 0} << QList<int>{2, 0} << 0;
    QTest::newRow("same twice") << QList<int>{2, 2} << QList<int>{2} << 2;
    QTest::newRow("no such option") << QList<int>{3, -1} << QList<int>{} << 1;
}

void TstMainWindow::speedSelection() {
    QFETCH(QList<int>, selections);
    QFETCH(int, finallyChecked);

    QSignalSpy spy(window_.get(), &MainWindow::speedChosen);
    for (int k : selections) {
        window_->selectSpeed(k);
    }
    QList<int> seen;
    for (const QList<QVariant>& call : spy) {
        seen << call.first().toInt();
    }
    QTEST(seen, "reported");
    for (int k = 0; k < 3; ++k) {
        QCOMPARE(find<QRadioButton>(indexed("RadSpeed", k))->isChecked(), k == finallyChecked);
    }
}

// Read back by object name, so a setter wired to a neighbouring control shows.
void TstMainWindow::settersReachTheirControls() {
    window_->setConnectCaption("Disconnect");
    window_->setConnectColour(Bgr::LightYellow);
    window_->setQuitColour(Bgr::LightYellow);
    window_->setHostLine("Host Name 10.0.0.5");
    window_->setPortLine("Port No. 7777");
    window_->setModelTitle("VASKO-01 4CH PULSE MOTOR CONTROLLER");
    window_->setFirmwareLine("Firmware Version  VASKO-01 Ver 1.20");
    window_->setPosition(3, "+0001234");
    window_->setPosition(0, "<b>1</b>");  // shown as the characters it holds, not as markup
    window_->setChannelColour(1, Bgr::LightOrange);
    window_->setStartColour(Bgr::Green);
    window_->setDemoButton("DEMO END", Bgr::LightYellow);

    const QList<std::pair<const char*, QString>> captions{{"Connect", "Disconnect"},
                                                          {"Label8", "Host Name 10.0.0.5"},
                                                          {"Label9", "Port No. 7777"},
                                                          {"Label1", "VASKO-01 4CH PULSE MOTOR CONTROLLER"},
                                                          {"Label13", "Firmware Version  VASKO-01 Ver 1.20"},
                                                          {"LblPosition_3", "+0001234"},
                                                          {"LblPosition_2", "-----------"},
                                                          {"LblPosition_0", "<b>1</b>"},
                                                          {"BtnDEMO", "DEMO END"}};
    for (const auto& [control, caption] : captions) {
        QCOMPARE(captionOf(find(control)), caption);
        if (const auto* label = find<QLabel>(control)) {
            QVERIFY2(label->textFormat() == Qt::PlainText, control);
        }
    }
    const QList<std::pair<const char*, std::uint32_t>> colours{
        {"Connect", Bgr::LightYellow}, {"Command1", Bgr::LightYellow}, {"Ch_1", Bgr::LightOrange},
        {"Ch_0", Bgr::ButtonFace},     {"Ctr_5", Bgr::Green},          {"Ctr_4", Bgr::Yellow},
        {"BtnDEMO", Bgr::LightYellow}};
    for (const auto& [control, colour] : colours) {
        QVERIFY2(backColour(find(control)) == colour, control);
    }
}

// (The link option and the set data are read by every end-to-end connect and move.)
void TstMainWindow::readersFollowTheOperator() {
    click(find("Option1_0"));
    click(find("ChkSyncDemo"));
    find<QCheckBox>("Check1_2")->setCheckState(Qt::PartiallyChecked);  // any state but unticked counts

    QCOMPARE(window_->controlMode(), 0);
    QVERIFY(window_->syncDemoTicked());
    QVERIFY(window_->backlashTicked(2));
    QVERIFY(!window_->backlashTicked(1));

    window_->setLinkOptionEnabled(false, false);
    QVERIFY(!find("Option4")->isEnabled());
    QVERIFY(find("Option3")->isEnabled());
}

// What follows the identified model: channel C and D controls, the demonstration controls and the
// size of the position and set-data fonts.
void TstMainWindow::modelDependentControls() {
    window_->setChannelEnabled(2, false);
    for (const char* base : {"Ch", "BtnHOff", "Text1"}) {
        QVERIFY2(!find(indexed(base, 2))->isEnabled(), base);
        QVERIFY2(find(indexed(base, 3))->isEnabled() && find(indexed(base, 1))->isEnabled(), base);
    }
    window_->setChannelEnabled(2, true);
    for (const char* base : {"Ch", "BtnHOff", "Text1"}) {
        QVERIFY2(find(indexed(base, 2))->isEnabled(), base);
    }

    window_->setDemoControlsVisible(false);
    QVERIFY(!find("BtnDEMO")->isVisible() && !find("ChkSyncDemo")->isVisible());
    QVERIFY(find("SetupPb")->isVisible());
    window_->setDemoControlsVisible(true);
    QVERIFY(find("BtnDEMO")->isVisible() && find("ChkSyncDemo")->isVisible());

    window_->setChannelFontSize(1, 12);
    for (int ch = 0; ch < 4; ++ch) {
        for (const char* base : {"LblPosition", "Text1"}) {
            QCOMPARE(find(indexed(base, ch))->font().pointSize(), ch == 1 ? 12 : 18);
            QVERIFY(monospaced(find(indexed(base, ch))->font()));
        }
        auto* display = find<QLabel>(indexed("LblPosition", ch));
        const int needed = display->fontMetrics().horizontalAdvance(QStringLiteral("-----------"));
        QVERIFY2(display->contentsRect().width() - 2 * display->margin() >= needed,
                 qPrintable(indexed("", ch)));
    }
}

// Qt's box breaks lines with LF where the send line holds CR LF: typing Enter must read back as
// CR LF, and a caret counted over CR LF must land in the right place of the box.
void TstMainWindow::sendBox() {
    auto* box = find<QPlainTextEdit>("Text2");
    QSignalSpy spy(window_.get(), &MainWindow::sendTextChanged);
    box->setFocus();
    QTest::keyClicks(box, "VER?");
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(spy.count(), 5);
    QCOMPARE(window_->sendText(), QStringLiteral("VER?\r\n"));

    window_->setSendText("AB\r\nCD", 4);  // caret after the CR LF
    QCOMPARE(box->toPlainText(), QStringLiteral("AB\nCD"));
    QCOMPARE(box->textCursor().position(), 3);
    QCOMPARE(spy.count(), 6);
    window_->setSendText("AB\r\nCD", 6);  // the same text: no change to announce
    QCOMPARE(spy.count(), 6);
    QCOMPARE(box->textCursor().position(), 5);
    window_->setSendText("S71H", 99);  // a caret past the end rests at the end
    QCOMPARE(box->textCursor().position(), 4);
    QCOMPARE(spy.count(), 7);
}

void TstMainWindow::aboutBox() {
    AboutBox box(window_.get());
    QVERIFY(box.isModal());
    box.show();
    const QList<QLabel*> labels = box.findChildren<QLabel*>();
    QVERIFY(std::any_of(labels.begin(), labels.end(), [](const QLabel* l) {
        return l->text() == QStringLiteral("KELDA-01 control program");
    }));
    QVERIFY(std::any_of(labels.begin(), labels.end(), [](const QLabel* l) { return !l->pixmap().isNull(); }));

    auto* ok = box.findChild<QPushButton*>("OkButton");
    QVERIFY(ok != nullptr);
    QCOMPARE(ok->text(), QStringLiteral("&Ok"));
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(!box.isVisible());
    QCOMPARE(box.result(), int(QDialog::Accepted));
}

void TstMainWindow::boxesOpenOverTheirWindow() {
    QTemporaryDir dir;
    Application app{QDir(dir.path())};
    app.window.show();
    app.setup.Open();
    struct Seen {
        QWidget* parent = nullptr;
        QString title;
        QString text;
    } seen;
    const auto answerNextBox = [&seen] {
        QTimer::singleShot(0, [&seen] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                seen = {box->parentWidget(), box->windowTitle(), box->text()};
                box->accept();
            }
        });
    };

    answerNextBox();
    emit app.setup.window()->saveClicked();  // no file name typed
    QCOMPARE(seen.text, QStringLiteral("Input file name !"));
    QCOMPARE(seen.parent, app.setup.window());
    QCOMPARE(seen.title, kCautionTitle);

    answerNextBox();
    app.channel.SendCommand("STS0?\r\n", Origin::Polling);  // no link: a box without a title of its own
    QCOMPARE(seen.text, QStringLiteral("Not connected !"));
    QCOMPARE(seen.parent, &app.window);
    QCOMPARE(seen.title, kProgramName);
}

void TstMainWindow::longDevicePathKeepsTheLayout() {
    window_->setPortLine("Port No.   COM3 (USB)");
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    const QList<QWidget*> controls = window_->findChildren<QWidget*>();
    QList<QRect> before;
    for (const QWidget* w : controls) {
        before << w->geometry();
    }
    auto* line = find<ElidingLabel>("Label9");
    QVERIFY(!line->elided());

    const QString path = "Port No.   COM/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3ZQX-if00 (USB)";
    window_->setPortLine(path);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    for (int i = 0; i < controls.size(); ++i) {
        QVERIFY2(controls[i]->geometry() == before[i], qPrintable(controls[i]->objectName()));
    }
    QCOMPARE(line->text(), path);
    QVERIFY(line->elided());
}

// The port line of a serial session: what tells ports apart is the device's own name and " (USB)".
void TstMainWindow::deviceNameStaysReadable_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("widthOf");  // the label is as wide as this text, less `less` pixels
    QTest::addColumn<int>("less");
    QTest::addColumn<QString>("starts");  // what is shown
    QTest::addColumn<QString>("ends");
    const QString demo = "Port No.   COM/work/demo/ttyVASKO (USB)";
    const QString bare = "Port No.   COM\u2026/ttyVASKO (USB)";
    QTest::newRow("fits") << demo << demo << 0 << demo << demo;
    QTest::newRow("the outer folder goes first") << demo << demo << 1 << "Port No.   COM\u2026/demo/"
                                                 << "\u2026/demo/ttyVASKO (USB)";
    QTest::newRow("no folder left") << demo << bare << 0 << bare << bare;
    QTest::newRow("then the words before") << demo << bare << 1 << "Port"
                                           << "\u2026/ttyVASKO (USB)";
    QTest::newRow("the name alone too wide") << demo << "/ttyVASKO (USB)" << 1 << "\u2026"
                                             << "O (USB)";
    QTest::newRow("no path: cut in the middle") << "Host Name lab-controller.example.org"
                                                << "Host Name lab-con" << 0 << "Host"
                                                << "org";
}

void TstMainWindow::deviceNameStaysReadable() {
    QFETCH(QString, text);
    QFETCH(QString, widthOf);
    QFETCH(int, less);
    QFETCH(QString, starts);
    QFETCH(QString, ends);
    ElidingLabel line(text, 0);
    line.resize(line.fontMetrics().horizontalAdvance(widthOf) - less, line.sizeHint().height());
    line.show();
    const QString shown = line.shownText();
    QVERIFY2(shown.startsWith(starts) && shown.endsWith(ends), qPrintable(shown));
    QVERIFY2(line.fontMetrics().horizontalAdvance(shown) <= line.contentsRect().width(), qPrintable(shown));
    // The whole text is one hover away whenever any of it is cut.
    QHelpEvent hover(QEvent::ToolTip, line.rect().center(), line.mapToGlobal(line.rect().center()));
    QApplication::sendEvent(&line, &hover);
    QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), shown == text ? QString() : text);
    QToolTip::hideText();
    QTRY_VERIFY(!QToolTip::isVisible());
}

QTEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
