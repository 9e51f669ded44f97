// The instruments' windows on the real panel, without a controller: how they open, the monitor's
// filters, pause and failed save, the chart's readout and pause, and the main window's menu.
#include "application.h"
#include "positionchart.h"
#include "positionswindow.h"
#include "recordingmessages.h"
#include "trafficmodel.h"
#include "unitsdialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>
#include <memory>

class TstInstrumentsWindow : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void opening_data();
    void opening();
    void menuKeepsItsOneItem();
    void monitorFiltersAndPause();
    void failedSaveIsTold();
    void chartReadoutAndPause();
    void unitsInTheReadout_data();
    void unitsInTheReadout();
    void scaleRefused_data();
    void scaleRefused();
    void unitsKeptInTheirFile();
    void markLabelsNeverOverlap_data();
    void markLabelsNeverOverlap();
    void statusBarReadableWithTheAutomationButton();

private:
    QTemporaryDir dir_;
    RecordingMessages messages_;
    std::unique_ptr<Application> app_;
};

void TstInstrumentsWindow::init() {
    messages_ = RecordingMessages{};
    app_ = std::make_unique<Application>(QDir(dir_.path()), &messages_);
    app_->window.show();
    app_->window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&app_->window));
}

void TstInstrumentsWindow::cleanup() {
    app_.reset();
}

void TstInstrumentsWindow::opening_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QKeySequence>("keys");
    QTest::addColumn<QString>("window");
    QTest::newRow("traffic, button") << "StatusTraffic" << QKeySequence() << "TrafficMonitor";
    QTest::newRow("traffic, Ctrl+T") << "" << QKeySequence(Qt::CTRL | Qt::Key_T) << "TrafficMonitor";
    QTest::newRow("chart, button") << "StatusChart" << QKeySequence() << "PositionChartWindow";
    QTest::newRow("chart, Ctrl+G") << "" << QKeySequence(Qt::CTRL | Qt::Key_G) << "PositionChartWindow";
    QTest::newRow("positions, button") << "StatusPositions" << QKeySequence() << "PositionsWindow";
}

void TstInstrumentsWindow::opening() {
    QFETCH(QString, button);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, window);
    QWidget* target = window == "TrafficMonitor"    ? static_cast<QWidget*>(&app_->instruments.monitor())
                      : window == "PositionsWindow" ? static_cast<QWidget*>(&app_->positions())
                                                    : &app_->instruments.chart();
    QVERIFY(!target->isVisible());
    if (button.isEmpty()) {
        // From inside the send box, where the operator's hands are.
        QWidget* send = app_->window.findChild<QWidget*>("Text2");
        send->setFocus();
        QTest::keySequence(send, keys);
    } else {
        QTest::mouseClick(app_->window.findChild<QPushButton*>(button), Qt::LeftButton);
    }
    QVERIFY(target->isVisible());
    QCOMPARE(target->objectName(), window);
    QVERIFY(!target->testAttribute(Qt::WA_QuitOnClose));
}

void TstInstrumentsWindow::menuKeepsItsOneItem() {
    const QList<QAction*> items = app_->window.menuBar()->actions();
    QCOMPARE(items.size(), 1);
    QCOMPARE(items.first()->objectName(), QStringLiteral("Menu_About"));
}

void TstInstrumentsWindow::monitorFiltersAndPause() {
    TrafficRecorder& recorder = app_->instruments.recorder;
    TrafficMonitor& monitor = app_->instruments.monitor();
    recorder.commandSent("S200\r\n", true, Origin::Polling);
    recorder.bytesReceived("P0+0000000\r\n", true);
    recorder.commandSent("S3008\r\n", true, Origin::Operator);
    app_->instruments.showTraffic();
    const TrafficModel& model = monitor.model();
    QCOMPARE(model.rowCount(), 3);

    QTest::mouseClick(monitor.findChild<QCheckBox*>("FilterPolling"), Qt::LeftButton, {}, {8, 8});
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.entry(0).text, QByteArray("S3008"));

    auto* pause = monitor.findChild<QPushButton*>("TrafficPause");
    QTest::mouseClick(pause, Qt::LeftButton);
    recorder.commandSent("S3009\r\n", true, Origin::Operator);
    monitor.refresh();
    QCOMPARE(model.rowCount(), 1);  // held still while paused
    QCOMPARE(pause->text(), QStringLiteral("Resume"));
    QTest::mouseClick(pause, Qt::LeftButton);
    QCOMPARE(model.rowCount(), 2);

    QTest::mouseClick(monitor.findChild<QPushButton*>("TrafficClear"), Qt::LeftButton);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(recorder.endSeq(), recorder.firstSeq());
}

void TstInstrumentsWindow::failedSaveIsTold() {
    app_->instruments.recorder.commandSent("VER?\r\n", true, Origin::Polling);
    QVERIFY(!app_->instruments.monitor().saveTo(dir_.filePath("missing/traffic.txt")));
    QCOMPARE(messages_.boxes.size(), 1);
    const QString text = messages_.boxes.first().text;
    QVERIFY2(text.startsWith(QStringLiteral("The traffic could not be saved to ")) && !text.endsWith(u' '),
             qPrintable(text));  // the reason follows the file name
    QCOMPARE(messages_.boxes.first().title, kCautionTitle);
}

void TstInstrumentsWindow::chartReadoutAndPause() {
    PositionHistory& history = app_->instruments.history;
    history.addPosition(0, QStringLiteral("+0001000"));
    history.addPosition(1, QStringLiteral("-0000250"));
    app_->instruments.showChart();
    PositionChart& chart = app_->instruments.chart().chart();
    const QPoint nearNow(int(chart.plotArea().right()) - 4, chart.height() / 2);
    const QString readout = chart.readoutAt(nearNow);
    QVERIFY2(readout.contains(QStringLiteral("A +1000")) && readout.contains(QStringLiteral("B -250")),
             qPrintable(readout));
    QVERIFY(!readout.contains(QStringLiteral("C ")));  // nothing polled there
    QVERIFY(chart.readoutAt({1, 1}).isEmpty());        // outside the plot

    QTest::mouseClick(app_->instruments.chart().findChild<QPushButton*>("ChartPause"), Qt::LeftButton);
    QVERIFY(chart.paused());
    history.addPosition(2, QStringLiteral("+0000007"));
    QVERIFY(!chart.readoutAt(nearNow).contains(QStringLiteral("C +7")));  // the paused minute
    QTest::mouseClick(app_->instruments.chart().findChild<QPushButton*>("ChartPause"), Qt::LeftButton);
    QVERIFY(chart.readoutAt(nearNow).contains(QStringLiteral("C +7")));
}

void TstInstrumentsWindow::unitsInTheReadout_data() {
    QTest::addColumn<double>("perUnit");
    QTest::addColumn<QString>("unit");
    QTest::addColumn<QString>("position");
    QTest::addColumn<QString>("shown");
    QTest::newRow("400 per mm") << 400.0 << "mm"
                                << "+0001000"
                                << "A +1000 (2.5 mm)";
    QTest::newRow("a pulse back") << 400.0 << "mm"
                                  << "-0000001"
                                  << "A -1 (-0.0025 mm)";
    QTest::newRow("no unit name") << 1000.0 << ""
                                  << "+0012345"
                                  << "A +12345 (12.345)";
    QTest::newRow("less than a pulse per unit") << 0.5 << "um"
                                                << "+0000003"
                                                << "A +3 (6 um)";
    QTest::newRow("widest position") << 36000.0 << "deg"
                                     << "-9999999"
                                     << "A -9999999 (-277.7778 deg)";
}

// The chart's readout gives the position in the channel's unit beside the pulses.
void TstInstrumentsWindow::unitsInTheReadout() {
    QFETCH(double, perUnit);
    QFETCH(QString, unit);
    QFETCH(QString, position);
    QFETCH(QString, shown);
    app_->instruments.units.unit[0] = ChannelUnit{perUnit, unit};
    app_->instruments.history.addPosition(0, position);
    app_->instruments.history.addPosition(1, QStringLiteral("+0000005"));
    app_->instruments.showChart();
    PositionChart& chart = app_->instruments.chart().chart();
    chart.setUnits(&app_->instruments.units);
    const QString readout = chart.readoutAt({int(chart.plotArea().right()) - 4, chart.height() / 2});
    QVERIFY2(readout.contains(shown + QStringLiteral("   B +5")), qPrintable(readout));  // B has no unit
}

void TstInstrumentsWindow::scaleRefused_data() {
    QTest::addColumn<QString>("scale");
    QTest::addColumn<bool>("taken");
    const auto exact = [](double value) { return QString::number(value, 'g', 17); };
    const double smallest = ChannelUnits::kSmallestScale;
    const double largest = ChannelUnits::kLargestScale;
    QTest::newRow("smallest") << exact(smallest) << true;
    QTest::newRow("just below the smallest") << exact(std::nextafter(smallest, 0.0)) << false;
    QTest::newRow("largest") << exact(largest) << true;
    QTest::newRow("just above the largest") << exact(std::nextafter(largest, 2 * largest)) << false;
    QTest::newRow("smallest double, an infinite inverse") << "5e-324" << false;
    QTest::newRow("0") << "0" << false;
    QTest::newRow("negative") << "-400" << false;
    QTest::newRow("empty: no unit") << "" << true;
}

// A scale is taken within its range; outside it the dialog stays open and says the range.
void TstInstrumentsWindow::scaleRefused() {
    QFETCH(QString, scale);
    QFETCH(bool, taken);
    ChannelUnits before;
    before.unit[0] = ChannelUnit{400, QStringLiteral("mm")};
    UnitsDialog dialog(before, messages_);
    dialog.findChild<QLineEdit*>("UnitScale_1")->setText(scale);
    dialog.findChild<QLineEdit*>("UnitName_1")->setText(QStringLiteral("deg"));
    dialog.accept();
    if (taken) {
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(messages_.boxes.isEmpty());
        QCOMPARE(dialog.units().unit[1].set(), !scale.isEmpty());
        if (!scale.isEmpty()) {
            // Every position of the controller shows as a number in it.
            for (const double pulses : {9999999.0, -1.0}) {
                const double shown = dialog.units().unit[1].format(pulses).split(u' ').first().toDouble();
                QVERIFY(std::isfinite(shown) && shown != 0);
            }
        }
    } else {
        QCOMPARE(dialog.result(), int(QDialog::Rejected));  // still open, nothing taken
        QCOMPARE(messages_.boxes.size(), 1);
        QCOMPARE(messages_.boxes.first().text,
                 QStringLiteral("Channel B: the pulses per unit must be from 0.000001 to 1000000000, not %1.")
                     .arg(scale));
    }
    QCOMPARE(dialog.units().unit[0].pulsesPerUnit, 400.0);
}

// Units... sets them and keeps them; a damaged file is told and shows none.
void TstInstrumentsWindow::unitsKeptInTheirFile() {
    const QString path = dir_.filePath(ChannelUnits::kFile);
    QFile saved(dir_.filePath(NamedPositions::kFile));
    QVERIFY(saved.open(QIODevice::WriteOnly));
    saved.write("\"bay\",2026-12-01T08:00:00,700,,4000,,\r\n");
    saved.close();
    PositionsWindow& positions = app_->positions();
    positions.show();
    QTimer::singleShot(0, this, [] {
        auto* dialog = qobject_cast<UnitsDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        dialog->findChild<QLineEdit*>("UnitScale_2")->setText(QStringLiteral("2000"));
        dialog->findChild<QLineEdit*>("UnitName_2")->setText(QStringLiteral("\"deg\", fine"));
        dialog->accept();
    });
    app_->instruments.showChart();
    app_->instruments.chart().editUnits();
    QCOMPARE(app_->instruments.units.unit[2].pulsesPerUnit, 2000.0);
    // The open Positions window shows them at once.
    const QTreeWidgetItem* bay = positions.findChild<QTreeWidget*>("PositionsList")->topLevelItem(0);
    QCOMPARE(bay->text(3), QStringLiteral("+4000 (2 \"deg\", fine)"));
    ChannelUnits read;
    QString error;
    QVERIFY(read.load(path, &error));
    QCOMPARE(read.unit[2].name, QStringLiteral("\"deg\", fine"));
    QVERIFY(!read.unit[0].set());

    // Changed elsewhere meanwhile (A in mm): setting D keeps A, and says so.
    QFile changed(path);
    QVERIFY(changed.open(QIODevice::WriteOnly));
    changed.write("400,\"mm\",\r\n,\"\",\r\n2000,\"\"\"deg\"\", fine\",\r\n,\"\",\r\n");
    changed.close();
    QTimer::singleShot(0, this, [] {
        auto* dialog = qobject_cast<UnitsDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        dialog->findChild<QLineEdit*>("UnitScale_3")->setText(QStringLiteral("100"));
        dialog->accept();
    });
    app_->instruments.chart().editUnits();
    QVERIFY(read.load(path, &error));
    QCOMPARE(read.unit[0], (ChannelUnit{400, QStringLiteral("mm")}));
    QCOMPARE(read.unit[3].pulsesPerUnit, 100.0);
    QCOMPARE(app_->instruments.units.unit[0], read.unit[0]);
    QCOMPARE(messages_.boxes.size(), 1);
    QVERIFY2(messages_.boxes.takeFirst().text.contains(QStringLiteral("changed elsewhere: the units of A")),
             "");

    QFile fifth(path);
    QVERIFY(fifth.open(QIODevice::Append));
    fifth.write("400,\"mm\",\r\n");  // a fifth channel
    fifth.close();
    app_->instruments.setUnitsFile(path);
    QCOMPARE(messages_.boxes.size(), 1);
    QVERIFY2(messages_.boxes.first().text.contains(QStringLiteral("line 5 is damaged")),
             qPrintable(messages_.boxes.first().text));
    QVERIFY(!app_->instruments.units.unit[2].set());
    // A damaged file is never written over.
    const QByteArray damaged = [&] {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    QTimer::singleShot(0, this, [] {
        auto* dialog = qobject_cast<UnitsDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog != nullptr);
        dialog->findChild<QLineEdit*>("UnitScale_1")->setText(QStringLiteral("50"));
        dialog->accept();
    });
    app_->instruments.chart().editUnits();
    QCOMPARE(app_->instruments.units.unit[1].pulsesPerUnit, 50.0);
    QCOMPARE(messages_.boxes.size(), 2);
    QVERIFY(messages_.boxes.last().text.startsWith(QStringLiteral("The units were not written")));
    QFile after(path);
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), damaged);
}

void TstInstrumentsWindow::markLabelsNeverOverlap_data() {
    QTest::addColumn<QString>("position");  // of channel A; none: the marks stand at the top
    QTest::addColumn<int>("marks");         // lamps of A changing at once, off then on by turns
    QTest::addColumn<int>("apartMs");
    QTest::newRow("two at the same moment") << "+0001000" << 2 << 0;
    QTest::newRow("four at the same moment") << "+0001000" << 4 << 0;
    QTest::newRow("two close together") << "+0001000" << 2 << 40;
    QTest::newRow("two at once, no position") << "" << 2 << 0;
}

// Lamps that change close together get labels that neither overlap nor touch ("HPHP off").
void TstInstrumentsWindow::markLabelsNeverOverlap() {
    QFETCH(QString, position);
    QFETCH(int, marks);
    QFETCH(int, apartMs);
    PositionHistory& history = app_->instruments.history;
    if (!position.isEmpty()) {
        history.addPosition(0, position);
    }
    const PositionHistory::Mark lamps[] = {PositionHistory::Mark::Hp, PositionHistory::Mark::Cw,
                                           PositionHistory::Mark::HoldOff, PositionHistory::Mark::Ccw};
    for (int i = 0; i < marks; ++i) {
        history.addMark(0, lamps[i % 2 == 0 ? 0 : i / 2], i % 2 == 1);
        QTest::qWait(apartMs);
    }
    app_->instruments.showChart();
    const QList<PositionChart::MarkLabel> labels = app_->instruments.chart().chart().markLabels();
    QCOMPARE(labels.size(), marks);
    for (int i = 0; i < labels.size(); ++i) {
        for (int j = i + 1; j < labels.size(); ++j) {
            QVERIFY2(!labels[i].area.adjusted(-1, 0, 1, 0).intersects(labels[j].area),
                     qPrintable(labels[i].text + u'/' + labels[j].text));
        }
    }
}

// At the window's own width every field of the status bar is shown whole, the automation port's
// button and the longest link text included.
void TstInstrumentsWindow::statusBarReadableWithTheAutomationButton() {
    QString error;
    QVERIFY(app_->startAutomation(0, dir_.filePath(QStringLiteral("token")), &error));
    app_->window.findChild<QLabel*>("StatusLink")
        ->setText(QStringLiteral("LAN 255.255.255.255:65535 connected"));
    app_->window.findChild<QLabel*>("StatusModel")->setText(QStringLiteral("VASKO-01, 4 ch"));
    QVERIFY(app_->window.findChild<QPushButton*>("StatusPositions")->isVisible());
    QCoreApplication::processEvents();
    QWidgetList shown;
    for (QLabel* label : app_->window.statusBar()->findChildren<QLabel*>()) {
        shown << label;
    }
    for (QPushButton* button : app_->window.statusBar()->findChildren<QPushButton*>()) {
        shown << button;
    }
    QCOMPARE(shown.size(), 9);  // help, link, model, rate, time-outs; four buttons
    for (QWidget* w : shown) {
        QVERIFY2(w->width() >= w->sizeHint().width(), qPrintable(w->objectName()));
    }
    QTest::mouseClick(app_->window.findChild<QPushButton*>("StatusAutomationButton"), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([] {
        const QWidget* w = QApplication::activeWindow();
        return w != nullptr && w->objectName() == QLatin1String("AutomationWindow");
    }));
}

QTEST_MAIN(TstInstrumentsWindow)
#include "tst_instrumentswindow.moc"
