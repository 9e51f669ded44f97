// Named positions: the file keeps any printable name and loses no line, and the Positions window
// saves what the panel polled and recalls it into the set-data boxes for Start to go there, on the
// real panel against the simulator over TCP (KELDA-01) and a pseudo-terminal (VASKO-01).
#include "namedpositions.h"
#include "operatorcommands.h"
#include "positionstarget.h"
#include "positionswindow.h"
#include "simpanel.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QtTest>

Q_DECLARE_METATYPE(SimModel)
Q_DECLARE_METATYPE(NamedPosition)

namespace {
using Positions = PositionsTarget::Positions;

// A target standing still where it was put.
struct StillTarget : PositionsTarget {
    Positions now{1500, -250, std::nullopt, std::nullopt};
    Positions currentPositions() const override { return now; }
    void recall(const Positions&) override {}
};

QDateTime at(const char* text) {
    return QDateTime::fromString(QString::fromLatin1(text), Qt::ISODate);
}

QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void write(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

void saveAs(PositionsWindow& w, const QString& name) {
    w.findChild<QLineEdit*>("PositionName")->setText(name);
    QTest::mouseClick(w.findChild<QPushButton*>("PositionsSave"), Qt::LeftButton);
}

const QByteArray kGood1 = "\"first\",2026-12-07T09:00:00,1,2,,,\r\n";
const QByteArray kGood2 = "\"second\",2026-12-07T09:05:00,-3,,4,5,\r\n";
}  // namespace

class TstPositions : public QObject {
    Q_OBJECT
private slots:
    void fileRoundTrip_data();
    void fileRoundTrip();
    void damagedLineToldAndKept_data();
    void damagedLineToldAndKept();
    void unwritableFileLosesNothing();
    void changesOnDiskSurvive_data();
    void changesOnDiskSurvive();
    void namesReadWhole();
    void saveRecallStart_data();
    void saveRecallStart();

private:
    QTemporaryDir dir_;
};

void TstPositions::fileRoundTrip_data() {
    QTest::addColumn<NamedPosition>("entry");
    QTest::addColumn<QByteArray>("line");
    const QDateTime t = at("2026-12-07T16:30:00");
    QTest::newRow("plain") << NamedPosition{"sample 1", t, {1500, -250, {}, {}}}
                           << QByteArray("\"sample 1\",2026-12-07T16:30:00,1500,-250,,,\r\n");
    QTest::newRow("commas and quotes")
        << NamedPosition{"say \"hi\", then go", t, {0, {}, {}, 7}}
        << QByteArray("\"say \"\"hi\"\", then go\",2026-12-07T16:30:00,0,,,7,\r\n");
    QTest::newRow("a whole line as its name")
        << NamedPosition{"\"x\",2026-12-07T16:30:00,1,2,,,", t, {1, {}, {}, {}}}
        << QByteArray("\"\"\"x\"\",2026-12-07T16:30:00,1,2,,,\",2026-12-07T16:30:00,1,,,,\r\n");
    QTest::newRow("widest positions, not Latin-1")
        << NamedPosition{QStringLiteral("Probe \u00b5 1 \u2013 left"), t, {9999999, -9999999, 1, -1}}
        << QByteArray(
               "\"Probe \xc2\xb5 1 \xe2\x80\x93 left\",2026-12-07T16:30:00,9999999,-9999999,1,-1,\r\n");
}

void TstPositions::fileRoundTrip() {
    QFETCH(NamedPosition, entry);
    QFETCH(QByteArray, line);
    QCOMPARE(NamedPositions::line(entry), line);
    const QString path = dir_.filePath(QStringLiteral("roundtrip.log"));
    write(path, line + line);
    const NamedPositions::Loaded loaded = NamedPositions::load(path);
    QVERIFY(loaded.damaged.isEmpty());
    QCOMPARE(loaded.entries().size(), size_t(2));
    QCOMPARE(loaded.entries()[1], entry);
}

void TstPositions::damagedLineToldAndKept_data() {
    QTest::addColumn<QByteArray>("damaged");
    QTest::newRow("quote not closed") << QByteArray("\"s,2026-12-07T09:00:00,1,2,,,");
    QTest::newRow("name not quoted") << QByteArray("s,2026-12-07T09:00:00,1,2,,,");
    QTest::newRow("empty name") << QByteArray("\"\",2026-12-07T09:00:00,1,2,,,");
    QTest::newRow("one field short") << QByteArray("\"s\",2026-12-07T09:00:00,1,2,,");
    QTest::newRow("one field more") << QByteArray("\"s\",2026-12-07T09:00:00,1,2,,,,");
    QTest::newRow("not a number") << QByteArray("\"s\",2026-12-07T09:00:00,1x,2,,,");
    QTest::newRow("month 13") << QByteArray("\"s\",2026-13-07T09:00:00,1,2,,,");
    QTest::newRow("eight digits") << QByteArray("\"s\",2026-12-07T09:00:00,-10000000,,,,");
    QTest::newRow("name not UTF-8") << QByteArray("\"s\xff\",2026-12-07T09:00:00,1,,,,");
    QTest::newRow("binary") << QByteArray("\x01\xff\"\x02", 4);
}

// A damaged line is told, left out of the list, and written back as it was, where it was, with
// every change.
void TstPositions::damagedLineToldAndKept() {
    QFETCH(QByteArray, damaged);
    const QString path = dir_.filePath(QStringLiteral("KELDA_P.Log"));
    write(path, kGood1 + damaged + "\r\n" + kGood2);
    StillTarget target;
    const ChannelUnits none;
    RecordingMessages messages;
    PositionsWindow w(target, none, messages, path);
    QCOMPARE(w.entries().size(), size_t(2));
    QCOMPARE(messages.boxes.size(), 1);
    QVERIFY2(messages.boxes.first().text.contains(QStringLiteral("line 2 is damaged")),
             qPrintable(messages.boxes.first().text));

    saveAs(w, QStringLiteral("third"));
    QCOMPARE(messages.boxes.size(), 1);
    const QByteArray text = read(path);
    QVERIFY(text.startsWith(kGood1 + damaged + "\r\n" + kGood2 + "\"third\","));
    const NamedPositions::Loaded again = NamedPositions::load(path);
    QCOMPARE(again.entries().size(), size_t(3));
    QCOMPARE(again.damagedLines(), QByteArrayList{damaged});
}

// A folder that is not there: told, and what was saved stays in the list until it can be kept.
void TstPositions::unwritableFileLosesNothing() {
    const QString path = dir_.filePath(QStringLiteral("gone/KELDA_P.Log"));
    StillTarget target;
    const ChannelUnits none;
    RecordingMessages messages;
    PositionsWindow w(target, none, messages, path);
    QVERIFY(messages.boxes.isEmpty());
    saveAs(w, QStringLiteral("one"));
    QCOMPARE(messages.boxes.size(), 1);
    QVERIFY2(
        messages.boxes.first().text.startsWith(QStringLiteral("The positions could not be kept in ") + path),
        qPrintable(messages.boxes.first().text));
    QCOMPARE(w.entries().size(), size_t(1));

    QVERIFY(QDir(dir_.path()).mkdir(QStringLiteral("gone")));
    target.now = {1, 2, 3, 4};
    saveAs(w, QStringLiteral("two"));
    QCOMPARE(messages.boxes.size(), 1);
    const std::vector<NamedPosition> kept = NamedPositions::load(path).entries();
    QCOMPARE(kept.size(), size_t(2));
    QCOMPARE(kept[0].name, QStringLiteral("one"));
    QCOMPARE(kept[0].position, (Positions{1500, -250, {}, {}}));
}

// A line another panel or an editor put in the file while the window was open is still there after
// the operator's next change, and the window shows it; an entry gone meanwhile is told, not
// written back.
void TstPositions::changesOnDiskSurvive_data() {
    QTest::addColumn<QByteArray>("outside");   // the file as changed elsewhere
    QTest::addColumn<QString>("action");       // the window's button
    QTest::addColumn<int>("row");              // the entry chosen
    QTest::addColumn<QByteArray>("expected");  // the file after it; "*" ends a line of any time
    QTest::addColumn<int>("boxes");
    const QByteArray added = "\"outside\",2026-12-07T10:00:00,9,,,,\r\n";
    QTest::newRow("added, then Save") << kGood1 + kGood2 + added << QStringLiteral("PositionsSave") << -1
                                      << kGood1 + kGood2 + added + "\"third\",*" << 0;
    QTest::newRow("added, then Delete")
        << kGood1 + kGood2 + added << QStringLiteral("PositionsDelete") << 0 << kGood2 + added << 0;
    QTest::newRow("added, then Rename") << kGood1 + kGood2 + added << QStringLiteral("PositionsRename") << 1
                                        << kGood1 + "\"third\",2026-12-07T09:05:00,-3,,4,5,\r\n" + added << 0;
    QTest::newRow("the entry gone, then Rename")
        << kGood2 << QStringLiteral("PositionsRename") << 0 << kGood2 << 1;
    QTest::newRow("file gone, then Save")
        << QByteArray() << QStringLiteral("PositionsSave") << -1 << QByteArray("\"third\",*") << 0;
}

void TstPositions::changesOnDiskSurvive() {
    QFETCH(QByteArray, outside);
    QFETCH(QString, action);
    QFETCH(int, row);
    QFETCH(QByteArray, expected);
    QFETCH(int, boxes);
    const QString path = dir_.filePath(QStringLiteral("disk/KELDA_P.Log"));
    QVERIFY(QDir().mkpath(QFileInfo(path).path()));
    write(path, kGood1 + kGood2);
    StillTarget target;
    const ChannelUnits none;
    RecordingMessages messages;
    PositionsWindow w(target, none, messages, path);
    w.show();
    if (outside.isEmpty()) {
        QVERIFY(QFile::remove(path));
    } else {
        write(path, outside);
    }
    auto* list = w.findChild<QTreeWidget*>("PositionsList");
    if (row >= 0) {
        list->setCurrentItem(list->topLevelItem(row));
    }
    w.findChild<QLineEdit*>("PositionName")->setText(QStringLiteral("third"));
    QTest::mouseClick(w.findChild<QPushButton*>(action), Qt::LeftButton);
    const QByteArray text = read(path);
    const qsizetype any = expected.indexOf('*');
    QVERIFY2(any < 0 ? text == expected
                     : text.startsWith(expected.left(any)) && text.count('\n') == expected.count('\n') + 1,
             text.constData());
    QCOMPARE(messages.boxes.size(), boxes);
    QCOMPARE(w.entries(), NamedPositions::load(path).entries());
    QCOMPARE(list->topLevelItemCount(), int(w.entries().size()));
    QVERIFY(w.findChild<QLabel*>("PositionsNote")->text().contains(QStringLiteral("changed elsewhere")));
}

// After a save the name box is ready for the next name; a name too long for its column is read
// whole in its tooltip, and the column grows with the names up to its limit.
void TstPositions::namesReadWhole() {
    const QString path = dir_.filePath(QStringLiteral("names.log"));
    StillTarget target;
    const ChannelUnits none;
    RecordingMessages messages;
    PositionsWindow w(target, none, messages, path);
    w.show();
    auto* name = w.findChild<QLineEdit*>("PositionName");
    auto* list = w.findChild<QTreeWidget*>("PositionsList");
    const QFontMetrics fm = list->fontMetrics();
    saveAs(w, QStringLiteral("short"));
    QVERIFY(name->text().isEmpty());
    QTest::keyClicks(name, QStringLiteral("next"));
    QTest::keyClick(name, Qt::Key_Return);
    QCOMPARE(w.entries().back().name, QStringLiteral("next"));
    const int shortWidth = list->columnWidth(0);
    QCOMPARE(shortWidth, fm.averageCharWidth() * PositionsWindow::kNameShortest);

    const QString middle = QStringLiteral("sample holder, left bay");
    saveAs(w, middle);
    QVERIFY(list->columnWidth(0) >= fm.horizontalAdvance(middle));
    const QString long_ =
        QStringLiteral("park position beside the cryostat, before the long scan of the day");
    saveAs(w, long_);
    QCOMPARE(list->columnWidth(0), fm.averageCharWidth() * PositionsWindow::kNameLongest);
    QVERIFY(list->columnWidth(0) < fm.horizontalAdvance(long_));
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        for (int column = 0; column < list->columnCount(); ++column) {
            QCOMPARE(list->topLevelItem(i)->toolTip(column), list->topLevelItem(i)->text(column));
        }
    }
    QVERIFY(messages.boxes.isEmpty());
}

void TstPositions::saveRecallStart_data() {
    QTest::addColumn<SimModel>("model");
    QTest::newRow("two channels, TCP") << SimModel::Kelda;
    QTest::newRow("four channels, pty") << SimModel::Vasko;
}

void TstPositions::saveRecallStart() {
    QFETCH(SimModel, model);
    SimPanel p(model);
    // Kept from an earlier day: A alone.
    write(p.dir.filePath(NamedPositions::kFile), "\"A alone\",2026-12-01T08:00:00,700,,,,\r\n");
    QVERIFY(p.connect());
    const int channels = p.app->state.LastChannel + 1;
    const std::array<qint64, 4> saved{1500, -250, 3000, -4000};
    const auto placeAll = [&](const std::array<qint64, 4>& where) {
        for (int ch = 0; ch < channels; ++ch) {
            QVERIFY(p.sim.channel(ch).preset(where[size_t(ch)], p.clock.nowUs()));
        }
        for (int ch = 0; ch < channels; ++ch) {
            QTRY_COMPARE(p.app->state.Axes.report(ch).position, where[size_t(ch)]);
        }
    };
    placeAll(saved);
    p.app->instruments.units.unit[0] = ChannelUnit{400, QStringLiteral("mm")};

    PositionsWindow& w = p.app->positions();
    w.show();
    saveAs(w, QStringLiteral("bay 2, \"left\""));
    QCOMPARE(w.entries().size(), size_t(2));
    const NamedPosition& entry = w.entries()[1];
    for (int ch = 0; ch < 4; ++ch) {
        QCOMPARE(entry.position[size_t(ch)],
                 ch < channels ? std::optional<qint64>(saved[size_t(ch)]) : std::nullopt);
    }
    auto* list = w.findChild<QTreeWidget*>("PositionsList");
    QCOMPARE(list->topLevelItem(1)->text(1), QStringLiteral("+1500 (3.75 mm)"));
    QCOMPARE(list->topLevelItem(1)->text(2), QStringLiteral("-250"));
    QCOMPARE(NamedPositions::load(p.dir.filePath(NamedPositions::kFile)).entries().size(), size_t(2));

    // Elsewhere, B alone selected: recall fills the boxes, selects every saved channel, mode ABS.
    placeAll({0, 0, 0, 0});
    p.click(QStringLiteral("Option1_1"));
    p.click(QStringLiteral("Ch_1"));
    list->setCurrentItem(list->topLevelItem(1));
    QTest::mouseClick(w.findChild<QPushButton*>("PositionsRecall"), Qt::LeftButton);
    QCOMPARE(p.app->window.controlMode(), int(OperatorCommands::ModeAbs));
    for (int ch = 0; ch < channels; ++ch) {
        QCOMPARE(p.text(QStringLiteral("Text1_%1").arg(ch)), QString::number(saved[size_t(ch)]));
        QVERIFY(p.app->state.ChannelSelected[ch] != 0);
    }
    for (const QByteArray& command : p.commandsSince(0)) {
        QVERIFY2(!command.startsWith("S3"), command.constData());  // nothing moves before Start
    }

    p.click(QStringLiteral("Ctr_5"));
    for (int ch = 0; ch < channels; ++ch) {
        QTRY_COMPARE_WITH_TIMEOUT(p.sim.channel(ch).position(p.clock.nowUs()), saved[size_t(ch)], 15000);
    }
    QTRY_VERIFY(p.app->state.Axes.settled(0));

    // An entry of A alone leaves the others unselected, their boxes as they were.
    list->setCurrentItem(list->topLevelItem(0));
    QTest::mouseClick(w.findChild<QPushButton*>("PositionsRecall"), Qt::LeftButton);
    QCOMPARE(p.text(QStringLiteral("Text1_0")), QStringLiteral("700"));
    QCOMPARE(p.text(QStringLiteral("Text1_1")), QString::number(saved[1]));
    for (int ch = 0; ch < channels; ++ch) {
        QCOMPARE(p.app->state.ChannelSelected[ch] != 0, ch == 0);
    }
    QVERIFY(p.messages.boxes.isEmpty());
}

QTEST_MAIN(TstPositions)
#include "tst_positions.moc"
