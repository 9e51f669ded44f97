#include "colours.h"
#include "filechooser.h"
#include "setupwindow.h"
#include "widgets.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPointer>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <array>

namespace {

template <typename T = QWidget>
T* child(const QObject* parent, const QString& name) {
    T* found = parent->findChild<T*>(name);
    if (found == nullptr) {
        qWarning("no control %s", qPrintable(name));
    }
    return found;
}

QString textBox(int field, int ch) {
    return QStringLiteral("Text%1_%2").arg(field).arg(ch);
}

// A folder holding empty files of these names; a name ending in '/' is a folder.
bool populate(const QTemporaryDir& dir, const QStringList& names) {
    for (const QString& name : names) {
        if (name.endsWith(u'/') ? !QDir(dir.path()).mkpath(name)
                                : !QFile(dir.filePath(name)).open(QIODevice::WriteOnly)) {
            return false;
        }
    }
    return true;
}

QStringList entries(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) {
        out << list->item(i)->text();
    }
    return out;
}

constexpr qint64 kNoColour = -1;

}  // namespace

class TstSetupWindow : public QObject {
    Q_OBJECT
private slots:
    void controls_data();
    void controls();
    void modelCaptions_data();
    void modelCaptions();
    void textFieldsMapToTheirBoxes();
    void flagsAndSwitchBoxes();
    void speedUnitAndStatus();
    void gridOrderAndTabOrder();
    void buttonsEmitTheirSignals();
    void closeStopsTimersThenDeletes();
    void fileAndFolderLists();
    void clickCopiesFileNameRefreshKeepsIt();
    void drivesAndUnavailableFolder();
    void mountTable();
};

void TstSetupWindow::controls_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<qint64>("colour");
    QTest::addColumn<bool>("visible");
    const qint64 grey = bgrFromRgb(224, 224, 224);
    auto row = [](const QString& name, const QString& caption, const QString& tip = {},
                  qint64 colour = kNoColour, bool visible = true) {
        QTest::newRow(qPrintable(name)) << name << caption << tip << colour << visible;
    };
    const auto label = [&row, grey](const QString& name, const QString& caption) {
        row(name, caption, {}, grey);
    };
    row("SetupVKFrm", "KELDA DATA READ WRITE control", "", grey);
    row("cmdDataRead", "Data Read", "Data table read from TORVE", bgrFromRgb(128, 255, 128));
    row("cmdDataWrite", "Data Write", "Data table write into TORVE", bgrFromRgb(255, 128, 128));
    row("Command2", "R/W Stop", "", bgrFromRgb(255, 255, 0));
    row("cmdDataClear", "Data Clear", "Clear all data table ", bgrFromRgb(192, 255, 255));
    row("Command1", "To Control Screen", "Quit Editor", bgrFromRgb(128, 255, 255));
    row("Frame1", "Spd Unit", "Choose unit", grey);
    row("optDisp_0", "Code");
    row("optDisp_1", "PPS");
    const QStringList rowCaptions = {"Position", "CW DGLS", "CCW DGLS", "HSPD", "MSPD", "LSPD", "Rate"};
    for (int i = 0; i < rowCaptions.size(); ++i) {
        label(QStringLiteral("Label%1").arg(4 + i), rowCaptions[i]);
    }
    label("Label14", "Backlash mode/data");
    label("Label21", "LS SET");
    label("Label11", "Enable");
    label("Label15", "NC/(NO)");
    for (const char* name : {"Label2", "Label12", "Label18", "Label20"}) {
        label(name, "CW CCW       HP");
    }
    for (int i = 0; i < 8; ++i) {
        label(indexed("Label22", i), i == 0 || i == 1 || i == 5 || i == 7 ? "DGLS enable" : "LS fast stop");
    }
    for (int ch = 0; ch < 4; ++ch) {
        label(indexed("Label3", ch), QStringLiteral("CH %1").arg(QChar('A' + ch)));
    }
    label("Label17", "");
    label("Label19", "Speed write data can be accepted both in Code or PPS unit.");
    label("Label16", "But speed read data in code may not be correct when the data were set in PPS unit.");
    for (int item = 0; item < 16; ++item) {
        row(indexed("Check1", item), "", "", grey, item % 4 != 2);
        row(indexed("ChkLSNC", item), "", "", grey, item % 4 != 2);
    }
    label("Label13", "Data Save to or Load from File");
    row("txtFileName", "", "Table data file name(xxx.txt)");
    row("cmdWrite", "Save to File", "Save data table to the file(xxx.txt)", bgrFromRgb(255, 192, 128));
    row("cmdRead", "Load from File", "Load data table from the file(xxx.txt) ", bgrFromRgb(128, 255, 128));
    for (const char* name : {"Drive1", "Dir1", "File1"}) {
        row(name, "");
    }
}

void TstSetupWindow::controls() {
    QFETCH(QString, name);
    QFETCH(qint64, colour);
    SetupWindow window;
    QWidget* w = name == window.objectName() ? &window : child(&window, name);
    QVERIFY(w != nullptr);
    QTEST(captionOf(w), "caption");
    QTEST(w->toolTip(), "toolTip");
    if (colour != kNoColour) {
        QCOMPARE(qint64(backColour(w)), colour);
    }
    if (w != &window) {
        QTEST(w->isVisibleTo(&window), "visible");
    }
}

void TstSetupWindow::modelCaptions_data() {
    QTest::addColumn<bool>("fourCh");
    QTest::addColumn<bool>("usb");
    QTest::addColumn<QString>("model");
    QTest::newRow("four-channel USB") << true << true << "VASKO";
    QTest::newRow("four-channel flag wins") << true << false << "VASKO";
    QTest::newRow("two-channel USB") << false << true << "RUNEL";
    QTest::newRow("network") << false << false << "KELDA";
}

void TstSetupWindow::modelCaptions() {
    QFETCH(bool, fourCh);
    QFETCH(bool, usb);
    QFETCH(QString, model);
    SetupWindow window;
    window.setModelCaptions(!fourCh, !usb);  // a different model first: the captions must follow
    window.setModelCaptions(fourCh, usb);
    QCOMPARE(window.windowTitle(), model + " DATA READ WRITE control");
    QCOMPARE(child<QLabel>(&window, "Label1")->text(), model + "-01 DATA RAED  WRITE");
}

void TstSetupWindow::textFieldsMapToTheirBoxes() {
    SetupWindow window;
    QCOMPARE(window.findChildren<QLineEdit*>(QRegularExpression("^Text\\d_\\d$")).size(), 32);
    // Through the boxes by name, so a field wired to a neighbour's box shows.
    for (int f = TableView::Position; f <= TableView::Backlash; ++f) {
        for (int ch = 0; ch < 4; ++ch) {
            auto* box = child<QLineEdit>(&window, textBox(f, ch));
            QVERIFY(box != nullptr);
            QVERIFY2(box->text().isEmpty(), qPrintable(box->objectName()));  // empty when the window opens
            const QString text = QStringLiteral("%1/%2").arg(f).arg(ch);
            window.setField(f, ch, text);
            QCOMPARE(box->text(), text);
            box->setText(text + "!");
            QCOMPARE(window.field(f, ch), text + "!");
        }
    }
    window.setField(0, 0, "x");
    window.setField(TableView::Position, 4, "x");
    QVERIFY(window.field(9, 0).isEmpty());
    QCOMPARE(window.field(TableView::Position, 0), QStringLiteral("1/0!"));
}

void TstSetupWindow::flagsAndSwitchBoxes() {
    SetupWindow window;
    const auto ticked = [&window] {
        QStringList names;
        for (const QCheckBox* box : window.findChildren<QCheckBox*>()) {
            if (box->checkState() != Qt::Unchecked) {
                names << box->objectName();
            }
        }
        return names;
    };
    // Each setter ticks its own box and no other; any state but unticked reads as set.
    const std::array<std::pair<TableView::Flag, const char*>, 3> flags = {
        std::pair{TableView::BacklashMode, "ChkBKLS"}, std::pair{TableView::DglsEnable, "ChkDGLS"},
        std::pair{TableView::LsFastStop, "ChkLSFS"}};
    for (const auto& [flag, name] : flags) {
        for (int ch = 0; ch < 4; ++ch) {
            window.setFlag(flag, ch, true);
            QCOMPARE(ticked(), QStringList{indexed(name, ch)});
            window.setFlag(flag, ch, false);
            child<QCheckBox>(&window, indexed(name, ch))->setCheckState(Qt::PartiallyChecked);
            QVERIFY(window.flag(flag, ch));
            window.setFlag(flag, ch, false);
        }
    }
    const std::array<std::pair<TableView::SwitchGroup, const char*>, 2> groups = {
        std::pair{TableView::LsEnable, "Check1"}, std::pair{TableView::LsNc, "ChkLSNC"}};
    for (const auto& [group, name] : groups) {
        for (int item = 0; item < 16; ++item) {  // the invisible items 2, 6, 10, 14 included
            window.setSwitchBox(group, item, true);
            QCOMPARE(ticked(), QStringList{indexed(name, item)});
            window.setSwitchBox(group, item, false);
            child<QCheckBox>(&window, indexed(name, item))->setCheckState(Qt::PartiallyChecked);
            QVERIFY(window.switchBox(group, item));
            window.setSwitchBox(group, item, false);
        }
    }
    QVERIFY(ticked().isEmpty());
    QVERIFY(!window.switchBox(TableView::LsEnable, 16));
}

void TstSetupWindow::speedUnitAndStatus() {
    SetupWindow window;
    QCOMPARE(window.findChildren<QCheckBox*>().size(), 3 * 4 + 2 * 16);  // nothing beyond the named ones
    QCOMPARE(window.speedUnit(), int(TableView::Pps));                   // as created
    QVERIFY(child<QRadioButton>(&window, "optDisp_1")->isChecked());
    window.setSpeedUnit(TableView::Code);
    window.setSpeedUnit(7);  // no such unit: the choice stays
    QVERIFY(child<QRadioButton>(&window, "optDisp_0")->isChecked());
    QVERIFY(!child<QRadioButton>(&window, "optDisp_1")->isChecked());
    child<QRadioButton>(&window, "optDisp_1")->click();
    QCOMPARE(window.speedUnit(), int(TableView::Pps));

    window.setStatus("--- Reading ---");
    QCOMPARE(child<QLabel>(&window, "Label17")->text(), QStringLiteral("--- Reading ---"));
}

void TstSetupWindow::gridOrderAndTabOrder() {
    SetupWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto box = [&](int f, int ch) { return child(&window, textBox(f, ch))->geometry(); };
    for (int f = TableView::Position; f <= TableView::Backlash; ++f) {
        for (int ch = 0; ch < 4; ++ch) {
            if (ch > 0) {
                QVERIFY(box(f, ch - 1).right() < box(f, ch).left());
            }
            if (f > TableView::Position) {
                QVERIFY(box(f - 1, ch).bottom() < box(f, ch).top());
            }
        }
    }
    QVERIFY(box(TableView::CwDgls, 0).width() > box(TableView::Hspd, 0).width());
    QVERIFY(child(&window, "ChkBKLS_2")->geometry().right() < box(TableView::Backlash, 2).left());
    int previousRight = -1;
    for (const char* name : {"cmdDataRead", "cmdDataWrite", "Command2", "cmdDataClear"}) {
        const QRect r = child(&window, name)->geometry();
        QVERIFY2(r.left() > previousRight, name);
        previousRight = r.right();
    }

    QStringList order;
    QWidget* w = child(&window, "Text1_0");
    for (int guard = 0; guard < 1000 && order.size() < 32; ++guard, w = w->nextInFocusChain()) {
        if (w->objectName().startsWith("Text")) {
            order << w->objectName();
        }
    }
    QStringList expected;
    for (int ch = 0; ch < 4; ++ch) {
        for (int f = 1; f <= 8; ++f) {
            expected << textBox(f, ch);
        }
    }
    QCOMPARE(order, expected);
}

void TstSetupWindow::buttonsEmitTheirSignals() {
    SetupWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    using Signal = void (SetupWindow::*)();
    const std::array<std::pair<const char*, Signal>, 7> buttons = {
        {{"cmdDataRead", &SetupWindow::dataReadClicked},
         {"cmdDataWrite", &SetupWindow::dataWriteClicked},
         {"Command2", &SetupWindow::rwStopClicked},
         {"cmdDataClear", &SetupWindow::clearClicked},
         {"Command1", &SetupWindow::toControlClicked},
         {"cmdWrite", &SetupWindow::saveClicked},
         {"cmdRead", &SetupWindow::loadClicked}}};
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (const auto& [name, signal] : buttons) {
        spies.push_back(std::make_unique<QSignalSpy>(&window, signal));
    }
    // Each click adds one to its own signal's count and to no other.
    for (std::size_t b = 0; b < buttons.size(); ++b) {
        QTest::mouseClick(child(&window, buttons[b].first), Qt::LeftButton);
        for (std::size_t i = 0; i < spies.size(); ++i) {
            QVERIFY2(spies[i]->count() == (i <= b ? 1 : 0), buttons[b].first);
        }
    }
}

void TstSetupWindow::closeStopsTimersThenDeletes() {
    QPointer<SetupWindow> window = new SetupWindow;
    window->show();
    QVERIFY(!window->tmrTokei().running() && !window->tmrWrite().running());  // as created
    window->tmrTokei().setInterval(20);
    window->tmrWrite().setInterval(30);
    QStringList events;
    connect(window, &SetupWindow::closing, this, [&] { events << "closing"; });
    connect(&window->tmrTokei(), &IntervalTimer::intervalChanged, this,
            [&](int ms) { events << QString("read %1").arg(ms); });
    connect(&window->tmrWrite(), &IntervalTimer::intervalChanged, this,
            [&](int ms) { events << QString("write %1").arg(ms); });
    connect(window, &QObject::destroyed, this, [&] { events << "destroyed"; });
    QVERIFY(window->close());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(window.isNull());
    QCOMPARE(events, QStringList({"read 0", "write 0", "closing", "destroyed"}));
}

void TstSetupWindow::fileAndFolderLists() {
    QTemporaryDir tmp;
    QVERIFY(populate(tmp, {"a.txt", "B.TXT", "c.Txt", "notes.csv", "txt", "d.txt.bak", "folder.txt/", "sub/",
                           "sub/inner.txt"}));
    // Links: to a folder (listed), to a device and to nothing (neither is a place to go).
    QVERIFY(QFile::link(tmp.filePath("sub"), tmp.filePath("to-sub")));
    QVERIFY(QFile::link(QStringLiteral("/dev/null"), tmp.filePath("ttyX")));
    QVERIFY(QFile::link(tmp.filePath("gone"), tmp.filePath("dangling")));
    FileChooser chooser;
    QCOMPARE(chooser.dirPath(), QDir::toNativeSeparators(QDir::currentPath()));
    chooser.setDirPath(tmp.path());
    auto* dir1 = child<QListWidget>(&chooser, "Dir1");
    auto* file1 = child<QListWidget>(&chooser, "File1");
    QCOMPARE(chooser.dirPath(), QDir::toNativeSeparators(tmp.path()));
    QCOMPARE(entries(file1), QStringList({"a.txt", "B.TXT", "c.Txt"}));
    QCOMPARE(entries(dir1).mid(2), QStringList({"folder.txt", "sub", "to-sub"}));
    QVERIFY(chooser.selectedFileName().isEmpty());

    // The operator picks folders with the keyboard: down into one and back up.
    QSignalSpy moved(&chooser, &FileChooser::dirPathChanged);
    const auto enter = [dir1](const char* folder) {
        const QList<QListWidgetItem*> hits = dir1->findItems(folder, Qt::MatchExactly);
        dir1->setCurrentItem(hits.value(0));
        QTest::keyClick(dir1, Qt::Key_Return);
    };
    enter("sub");
    QCOMPARE(chooser.dirPath(), QDir::toNativeSeparators(tmp.filePath("sub")));
    QCOMPARE(entries(file1), QStringList{"inner.txt"});
    enter("..");
    QCOMPARE(chooser.dirPath(), QDir::toNativeSeparators(tmp.path()));
    QCOMPARE(entries(file1).size(), 3);
    QCOMPARE(moved.count(), 2);
}

void TstSetupWindow::clickCopiesFileNameRefreshKeepsIt() {
    QTemporaryDir tmp;
    QVERIFY(populate(tmp, {"first.txt", "second.txt"}));
    FileChooser chooser;
    chooser.setDirPath(tmp.path());
    chooser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&chooser));
    chooser.setFileNameText("typed");
    auto* file1 = child<QListWidget>(&chooser, "File1");
    file1->setFocus();  // focus alone must not replace the typed name
    QCOMPARE(chooser.fileNameText(), QStringLiteral("typed"));
    const QRect second = file1->visualItemRect(file1->item(1));
    QTest::mouseClick(file1->viewport(), Qt::LeftButton, {}, second.center());
    QCOMPARE(chooser.fileNameText(), QStringLiteral("second.txt"));
    QCOMPARE(chooser.selectedFileName(), QStringLiteral("second.txt"));
    chooser.setFileNameText("other");
    QTest::mouseClick(file1->viewport(), Qt::LeftButton, {}, second.center());  // same file again
    QCOMPARE(chooser.fileNameText(), QStringLiteral("second.txt"));

    // A file saved meanwhile shows after a refresh, which keeps the selection and chooses nothing.
    chooser.setFileNameText("new.txt");
    QVERIFY(populate(tmp, {"new.txt"}));
    QCOMPARE(entries(file1), QStringList({"first.txt", "second.txt"}));
    chooser.refreshFiles();
    QCOMPARE(entries(file1), QStringList({"first.txt", "new.txt", "second.txt"}));
    QCOMPARE(chooser.selectedFileName(), QStringLiteral("second.txt"));
    QCOMPARE(chooser.fileNameText(), QStringLiteral("new.txt"));
}

void TstSetupWindow::drivesAndUnavailableFolder() {
    // Whatever the machine mounts (a chroot's table may not name its own root), Drive1 holds the
    // volume of the folder shown, and reads the volumes again each time it is opened.
    QStringList volumes;
    FileChooser chooser(nullptr, [&volumes] { return volumes; });
    auto* drive1 = child<QComboBox>(&chooser, "Drive1");
    const QString here = QDir::toNativeSeparators(QDir::currentPath());
    QCOMPARE(drive1->count(), 1);
    QVERIFY2(here.startsWith(drive1->currentText()), qPrintable(drive1->currentText()));
    emit drive1->activated(drive1->currentIndex());
    QCOMPARE(chooser.dirPath(), drive1->currentText());

    volumes = {QStringLiteral("/media/stick"), QStringLiteral("/media/stick")};
    QCOMPARE(drive1->count(), 1);
    drive1->showPopup();
    drive1->hidePopup();
    QCOMPARE(drive1->count(), 2);
    QCOMPARE(drive1->findText(QStringLiteral("/media/stick")) >= 0, true);
    QCOMPARE(chooser.dirPath(), drive1->currentText());  // the choice survives the refresh

    QTemporaryDir tmp;
    chooser.setDirPath(tmp.path());
    QSignalSpy refused(&chooser, &FileChooser::folderUnavailable);
    chooser.setDirPath(tmp.filePath("missing"));
    QCOMPARE(refused.count(), 1);
    QCOMPARE(chooser.dirPath(), QDir::toNativeSeparators(tmp.path()));
}

void TstSetupWindow::mountTable() {
    QTemporaryDir tmp;
    QVERIFY(populate(tmp, {"My Stick/", "hosts"}));
    // A file mounted as containers do, a name with an escaped blank, and a remote share that is
    // never looked at (it may be stale).
    const QByteArray table = QStringLiteral(
                                 "proc /proc proc rw 0 0\n/dev/sda1 %1 ext4 rw 0 0\n"
                                 "/dev/sda1 %1/hosts ext4 rw 0 0\n/dev/sdb1 %1/My\\040Stick vfat rw 0 0\n"
                                 "tmpfs /run tmpfs rw 0 0\nserver:/x /mnt/gone nfs4 rw 0 0\ntruncated\n")
                                 .arg(tmp.path())
                                 .toUtf8();
    QCOMPARE(FileChooser::mountRoots(table),
             QStringList({tmp.path(), tmp.filePath("My Stick"), QStringLiteral("/mnt/gone")}));
}

QTEST_MAIN(TstSetupWindow)
#include "tst_setupwindow.moc"
