// The instruments' windows on the real panel, without a controller: how they open, the monitor's
// filters, pause and failed save, the chart's readout and pause, and the main window's menu.
#include "application.h"
#include "positionchart.h"
#include "recordingmessages.h"
#include "trafficmodel.h"

#include <QCheckBox>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
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
}

void TstInstrumentsWindow::opening() {
    QFETCH(QString, button);
    QFETCH(QKeySequence, keys);
    QFETCH(QString, window);
    QWidget* target = window == "TrafficMonitor" ? static_cast<QWidget*>(&app_->instruments.monitor())
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
    const QPoint nearNow(chart.width() - 20, chart.height() / 2);
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

// At the window's own width every field of the status bar is shown whole, the automation port's
// button and the longest link text included.
void TstInstrumentsWindow::statusBarReadableWithTheAutomationButton() {
    QString error;
    QVERIFY(app_->startAutomation(0, dir_.filePath(QStringLiteral("token")), &error));
    app_->window.findChild<QLabel*>("StatusLink")
        ->setText(QStringLiteral("LAN 255.255.255.255:65535 connected"));
    QCoreApplication::processEvents();
    for (QLabel* label : app_->window.statusBar()->findChildren<QLabel*>()) {
        QVERIFY2(label->width() >= label->sizeHint().width(), qPrintable(label->objectName()));
    }
    QTest::mouseClick(app_->window.findChild<QPushButton*>("StatusAutomationButton"), Qt::LeftButton);
    QVERIFY(QTest::qWaitFor([] {
        const QWidget* w = QApplication::activeWindow();
        return w != nullptr && w->objectName() == QLatin1String("AutomationWindow");
    }));
}

QTEST_MAIN(TstInstrumentsWindow)
#include "tst_instrumentswindow.moc"
