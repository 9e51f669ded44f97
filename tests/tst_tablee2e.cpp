// The parameter table against the simulated controllers: written, read back, saved and loaded,
// for every model and both speed units, through the real setup window.
#include "filechooser.h"
#include "setupwindow.h"
#include "simpanel.h"
#include "textfields.h"

#include <QAbstractButton>
#include <QLabel>
#include <QListWidget>
#include <QtTest>

Q_DECLARE_METATYPE(SimModel)

namespace {
struct Table {
    QString fields[8][4];
    bool flags[3][4];
    bool switches[2][16];
};

// A full table the controller can hold: every value survives the write's forms and the read's
// layouts as the same number.
Table sampleTable(bool usb, int unit) {
    Table t{};
    const int positions[4] = {1000, -250, 0, 77};
    for (int ch = 0; ch < 4; ++ch) {
        t.fields[0][ch] = QString::number(positions[ch]);
        t.fields[1][ch] = QString::number(12000 + ch);
        t.fields[2][ch] = QString::number(-12000 - ch);
        if (unit == TableView::Code) {
            t.fields[3][ch] = QString::number(400 + ch);  // codes of up to three digits
            t.fields[4][ch] = QString::number(200 + ch);
            t.fields[5][ch] = QString::number(40 + ch);
        } else {
            t.fields[3][ch] = QString::number(4000 + 10 * ch);  // speeds the codes can hold exactly
            t.fields[4][ch] = QString::number(2000 + 10 * ch);
            t.fields[5][ch] = QString::number(400 + 10 * ch);
        }
        t.fields[6][ch] = QString::number(usb ? 120 + ch : 10 + ch);
        t.fields[7][ch] = QString::number(ch == 1 ? -20 : 20 + ch);
        t.flags[0][ch] = ch % 2 == 0;
        t.flags[1][ch] = ch != 2;
        t.flags[2][ch] = ch == 1 || ch == 3;
    }
    for (int i = 0; i < 16; ++i) {
        t.switches[0][i] = (0x9F35 >> i) & 1;  // the invisible third boxes included
        t.switches[1][i] = (0x8421 >> i) & 1;
    }
    return t;
}

void fill(TableView& view, const Table& t, int channels) {
    for (int ch = 0; ch < channels; ++ch) {
        for (int f = 0; f < 8; ++f) {
            view.setField(f + 1, ch, t.fields[f][ch]);
        }
        for (int k = 0; k < 3; ++k) {
            view.setFlag(TableView::Flag(k), ch, t.flags[k][ch]);
        }
    }
    for (int i = 0; i < 4 * channels; ++i) {
        view.setSwitchBox(TableView::LsEnable, i, t.switches[0][i]);
        view.setSwitchBox(TableView::LsNc, i, t.switches[1][i]);
    }
}

// Compares as numbers where the read gives the controller's own form (signs, leading zeros).
QString differences(const TableView& view, const Table& t, int channels) {
    QStringList out;
    for (int ch = 0; ch < channels; ++ch) {
        for (int f = 0; f < 8; ++f) {
            const QString got = view.field(f + 1, ch);
            if (!TextFields::isNumeric(got) ||
                TextFields::leadingNumber(got) != TextFields::leadingNumber(t.fields[f][ch])) {
                out << QStringLiteral("Text%1(%2): %3 != %4").arg(f + 1).arg(ch).arg(got, t.fields[f][ch]);
            }
        }
        for (int k = 0; k < 3; ++k) {
            if (view.flag(TableView::Flag(k), ch) != t.flags[k][ch]) {
                out << QStringLiteral("flag %1(%2)").arg(k).arg(ch);
            }
        }
    }
    for (int i = 0; i < 4 * channels; ++i) {
        if (view.switchBox(TableView::LsEnable, i) != t.switches[0][i]) {
            out << QStringLiteral("Check1(%1)").arg(i);
        }
        if (view.switchBox(TableView::LsNc, i) != t.switches[1][i]) {
            out << QStringLiteral("ChkLSNC(%1)").arg(i);
        }
    }
    return out.join(u"; ");
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
    const Table table = sampleTable(usb, unit);
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
    const QString readBack = differences(*w, table, channels);
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
    const QString loaded = differences(*w, table, channels);
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
    QVERIFY(differences(*w, table, channels).isEmpty());
}

QTEST_MAIN(TstTableE2E)
#include "tst_tablee2e.moc"
