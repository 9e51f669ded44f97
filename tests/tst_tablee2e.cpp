// The parameter table against the simulated controllers: written, read back, saved and loaded,
// for every model and both speed units, through the real setup window.
#include "filechooser.h"
#include "memorytable.h"
#include "setupwindow.h"
#include "simpanel.h"
#include "tablecompare.h"

#include <QAbstractButton>
#include <QLabel>
#include <QListWidget>
#include <QtTest>

Q_DECLARE_METATYPE(SimModel)

namespace {
// A full table the controller can hold: every value survives the write's forms and the read's
// layouts as the same number.
MemoryTable sampleTable(bool usb, int unit) {
    MemoryTable t;
    const int positions[4] = {1000, -250, 0, 77};
    const int scale = unit == TableView::Code ? 1 : 10;  // codes of three digits; speeds they hold exactly
    for (int ch = 0; ch < 4; ++ch) {
        const int values[8] = {positions[ch],
                               12000 + ch,
                               -12000 - ch,
                               (400 + ch) * scale,
                               (200 + ch) * scale,
                               (40 + ch) * scale,
                               usb ? 120 + ch : 10 + ch,
                               ch == 1 ? -20 : 20 + ch};
        for (int f = 0; f < 8; ++f) {
            t.setField(TableView::Position + f, ch, QString::number(values[f]));
        }
        t.setFlag(TableView::BacklashMode, ch, ch % 2 == 0);
        t.setFlag(TableView::DglsEnable, ch, ch != 2);
        t.setFlag(TableView::LsFastStop, ch, ch == 1 || ch == 3);
    }
    for (int i = 0; i < 16; ++i) {
        t.setSwitchBox(TableView::LsEnable, i, (0x9F35 >> i) & 1);  // the invisible third boxes included
        t.setSwitchBox(TableView::LsNc, i, (0x8421 >> i) & 1);
    }
    return t;
}

void fill(TableView& view, const TableView& t, int channels) {
    for (int ch = 0; ch < channels; ++ch) {
        for (int f = TableView::Position; f <= TableView::Backlash; ++f) {
            view.setField(f, ch, t.field(f, ch));
        }
        for (auto flag : kTableFlags) {
            view.setFlag(flag, ch, t.flag(flag, ch));
        }
    }
    for (int i = 0; i < 4 * channels; ++i) {
        for (auto group : kSwitchGroups) {
            view.setSwitchBox(group, i, t.switchBox(group, i));
        }
    }
}

void press(SetupWindow* w, const char* name) {
    QTest::mouseClick(w->findChild<QAbstractButton*>(QLatin1String(name)), Qt::LeftButton);
}
}  // namespace

class TstTableE2E : public QObject {
    Q_OBJECT
private slots:
    void writeReadSaveLoad_data();
    void writeReadSaveLoad();
};

void TstTableE2E::writeReadSaveLoad_data() {
    QTest::addColumn<SimModel>("model");
    QTest::addColumn<int>("unit");
    for (auto [model, name] : {std::pair{SimModel::Kelda, "KELDA-01"}, std::pair{SimModel::Runel, "RUNEL-01"},
                               std::pair{SimModel::Vasko, "VASKO-01"}}) {
        QTest::addRow("%s PPS", name) << model << int(TableView::Pps);
        QTest::addRow("%s Code", name) << model << int(TableView::Code);
    }
}

void TstTableE2E::writeReadSaveLoad() {
    QFETCH(SimModel, model);
    QFETCH(int, unit);
    SimPanel p(model);
    QVERIFY(p.connect());
    const bool usb = model != SimModel::Kelda;
    const int channels = model == SimModel::Vasko ? 4 : 2;

    p.click("SetupPb");
    QVERIFY(!p.app->Timer2.running());
    SetupWindow* w = p.app->setup.window();
    QVERIFY(w != nullptr && w->isVisible());
    w->setSpeedUnit(unit);
    const MemoryTable table = sampleTable(usb, unit);
    fill(*w, table, channels);

    press(w, "cmdDataWrite");
    QVERIFY(w->tmrWrite().running());
    QTRY_VERIFY_WITH_TIMEOUT(!w->tmrWrite().running(), 5000);
    QVERIFY2(p.messages.boxes.isEmpty(), qPrintable(p.messages.texts().join(u' ')));
    QVERIFY(p.received.contains(channels == 4 ? "LSEN9F35" : "LSEN35"));

    press(w, "cmdDataClear");
    QCOMPARE(w->field(TableView::Position, 0), QString());
    press(w, "cmdDataRead");
    QTRY_VERIFY_WITH_TIMEOUT(!w->tmrTokei().running(), 5000);
    QCOMPARE(w->status(), QString());
    QVERIFY2(p.messages.boxes.isEmpty(), qPrintable(p.messages.texts().join(u' ')));
    const QString readBack = tableDifferences(*w, table, channels, true);
    QVERIFY2(readBack.isEmpty(), qPrintable(readBack));
    if (channels == 2) {
        QCOMPARE(w->field(TableView::Position, 2), QString());  // C and D are not read
    }

    // Save what was read, clear, load it again: every field and box comes back.
    FileChooser* files = w->fileChooser();
    files->setDirPath(p.dir.path());
    files->setFileNameText(QStringLiteral("table"));
    press(w, "cmdWrite");
    QCOMPARE(files->fileNameText(), QStringLiteral("table.txt"));
    press(w, "cmdDataClear");
    auto* list = w->findChild<QListWidget*>(QStringLiteral("File1"));
    const auto found = list->findItems(QStringLiteral("table.txt"), Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    list->setCurrentItem(found.first());
    press(w, "cmdRead");
    QVERIFY2(p.messages.boxes.isEmpty(), qPrintable(p.messages.texts().join(u' ')));
    const QString loaded = tableDifferences(*w, table, channels, true);
    QVERIFY2(loaded.isEmpty(), qPrintable(loaded));
    QCOMPARE(w->speedUnit(), unit);

    // Back to the control screen: polling resumes and the table is kept for the next opening.
    press(w, "Command1");
    QVERIFY(!w->isVisible());
    QVERIFY(p.app->Timer2.running());
    const auto before = p.received.size();
    QTRY_VERIFY(p.received.size() > before + 2);
    p.click("SetupPb");
    QCOMPARE(p.app->setup.window(), w);
    QVERIFY(tableDifferences(*w, table, channels, true).isEmpty());
}

QTEST_MAIN(TstTableE2E)
#include "tst_tablee2e.moc"
