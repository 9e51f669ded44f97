// Retakes the README's screenshots from the real panel driven against a simulated VASKO-01 on a
// pseudo-terminal, in this process: the main window in a session, the setup window after a table
// read, the traffic monitor, the position chart (A in mm, D in degrees) and the Positions window.
// The panel is operated through its own controls, as an operator would, so what the pictures show
// is what the program does.
//
// Usage: screenshots [OUTPUT_DIR]   (default docs/screenshots; run under a display, e.g. Xvfb)
#include "application.h"
#include "automationserver.h"
#include "connectdialog.h"
#include "filechooser.h"
#include "namedpositions.h"
#include "positionchart.h"
#include "positionswindow.h"
#include "setupwindow.h"
#include "simclock.h"
#include "simcontroller.h"
#include "simtty.h"
#include "statusstrip.h"
#include "trafficmodel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QListView>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QStyleFactory>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>

namespace {

struct Silent : MessageSink {
    void showMessage(const QString& text, const QString&, Icon) override {
        std::fprintf(stderr, "screenshots: the panel said \"%s\"\n", qPrintable(text));
    }
};

void wait(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > ms) {
            return false;
        }
        wait(20);
    }
    return true;
}

class Operator {
public:
    explicit Operator(Application& panel) : panel_(panel) {}

    void click(const QString& name, QWidget* in = nullptr) {
        QWidget* root = in != nullptr ? in : &panel_.window;
        auto* button = root->findChild<QAbstractButton*>(name);
        if (button == nullptr) {
            std::fprintf(stderr, "screenshots: no control %s\n", qPrintable(name));
            std::exit(1);
        }
        button->click();
        wait(60);
    }
    void type(const QString& name, const QString& text) {
        panel_.window.findChild<QLineEdit*>(name)->setText(text);
    }
    // Selects exactly the channels given.
    void select(std::initializer_list<int> channels) {
        for (int ch = 0; ch < 4; ++ch) {
            const bool wanted = std::find(channels.begin(), channels.end(), ch) != channels.end();
            if ((panel_.state.ChannelSelected[ch] != 0) != wanted) {
                click(QStringLiteral("Ch_%1").arg(ch));
            }
        }
    }

private:
    Application& panel_;
};

bool save(QWidget& widget, const QDir& out, const QString& name) {
    const QString path = out.filePath(name);
    if (!widget.grab().save(path)) {
        std::fprintf(stderr, "screenshots: could not write %s\n", qPrintable(path));
        return false;
    }
    std::printf("screenshots: %s\n", qPrintable(path));
    return true;
}

void writeTableFile(const QDir& dir, const QString& name) {
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly)) {
        file.write("PPM4,\r\n");
    }
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication qapp(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("KELDA-01 control"));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QDir out(
        QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs/screenshots")).absolutePath());
    if (!out.exists()) {
        std::fprintf(stderr, "screenshots: no folder %s\n", qPrintable(out.path()));
        return 1;
    }

    // The setup window's file area lists the working folder: give it a few table files.
    QTemporaryDir temporary;
    QDir work(temporary.path());
    work.mkpath(QStringLiteral("tables/archive"));
    work.cd(QStringLiteral("tables"));
    QDir::setCurrent(work.path());
    for (const char* name : {"stage-a.txt", "stage-b.txt", "xy-table.txt"}) {
        writeTableFile(work, QString::fromLatin1(name));
    }

    MonotonicClock clock;
    SimController sim(SimModel::Vasko, clock);
    sim.channel(2).sensors.cwLimit = 7000;  // channel C's scan ends here, lighting its CW lamp
    sim.channel(1).sensors.ccwLimit = -30000;
    SimPty pty(sim);
    if (!pty.open()) {
        std::fprintf(stderr, "screenshots: no pseudo-terminal: %s\n", qPrintable(pty.errorString()));
        return 1;
    }

    // Positions the operator saved on an earlier day.
    QFile kept(work.filePath(NamedPositions::kFile));
    kept.open(QIODevice::WriteOnly);
    kept.write(
        "\"home corner\",2026-12-04T09:12:40,0,0,0,0,\r\n"
        "\"sample 1, \"\"left\"\"\",2026-12-04T10:03:15,12000,-3500,1800,250,\r\n");
    kept.close();

    Silent messages;
    Application panel(work, &messages);
    panel.window.resize(1060, 700);
    panel.window.show();
    Operator op(panel);

    op.click(QStringLiteral("Option4"));
    panel.session.ConnectClicked();
    panel.session.dialog()->findChild<QComboBox*>(QStringLiteral("ComNo"))->setEditText(pty.devicePath());
    panel.session.DialogConnect();
    if (!waitFor([&] { return panel.state.Connected && panel.state.PollStep >= 20; }, 5000)) {
        std::fprintf(stderr, "screenshots: the panel did not identify the simulated controller\n");
        return 1;
    }

    // Half a minute of work: moves, a scan to a limit, moves started together, a hold-off and a
    // home search, so that the chart and the monitor have something to show.
    wait(3000);
    op.select({0});
    op.type(QStringLiteral("Text1_0"), QStringLiteral("6000"));
    op.click(QStringLiteral("Ctr_5"));  // REL: A moves 6000
    wait(4000);
    op.select({1});
    op.type(QStringLiteral("Text1_1"), QStringLiteral("-4000"));
    op.click(QStringLiteral("Ctr_5"));  // B moves -4000
    wait(4000);
    op.select({2});
    op.click(QStringLiteral("Option1_3"));  // SCN
    op.click(QStringLiteral("Ctr_5"));
    op.click(QStringLiteral("Command6"));  // C scans CW to its limit
    wait(5000);
    op.click(QStringLiteral("Option1_1"));  // back to REL
    op.select({0, 3});
    op.type(QStringLiteral("Text1_0"), QStringLiteral("-2500"));
    op.type(QStringLiteral("Text1_3"), QStringLiteral("3000"));
    op.click(QStringLiteral("Ctr_5"));  // A and D start together
    wait(4000);
    op.click(QStringLiteral("BtnHOff_1"));  // B held off
    wait(3000);
    op.select({3});
    op.type(QStringLiteral("Text1_3"), QStringLiteral("-7000"));
    op.click(QStringLiteral("Ctr_5"));  // D moves back past 0
    wait(4000);
    op.select({0});
    op.click(QStringLiteral("Option1_0"));  // HP
    op.click(QStringLiteral("Ctr_5"));
    op.click(QStringLiteral("Command7"));  // A searches home CCW
    wait(3000);
    op.click(QStringLiteral("Option1_1"));
    op.select({0, 2});

    auto* send = panel.window.findChild<QPlainTextEdit*>(QStringLiteral("Text2"));
    send->setPlainText(QStringLiteral("VER?\n"));
    wait(1200);
    // A script on the automation port: a move, a few queries and a line it gets wrong.
    QString error;
    const QString tokenPath = temporary.filePath(QStringLiteral("automation.token"));
    if (!panel.startAutomation(0, tokenPath, &error)) {
        std::fprintf(stderr, "screenshots: automation: %s\n", qPrintable(error));
        return 1;
    }
    QFile tokenFile(tokenPath);
    tokenFile.open(QIODevice::ReadOnly);
    QTcpSocket script;
    script.connectToHost(QHostAddress::LocalHost, panel.automation()->port());
    waitFor([&] { return script.state() == QAbstractSocket::ConnectedState; }, 3000);
    script.write("*IDN?\nSYST:AUTH \"" + tokenFile.readAll().trimmed() +
                 "\"\nMOVE:REL A,500,B,-250\n"
                 "WAIT? A,B,TIMEOUT=10\nPOS? A\nPOS? B\nJOG C,+\nSYST:ERR?\n");
    wait(3000);

    panel.window.findChild<StatusStrip*>()->refresh();

    bool ok = save(panel.window, out, QStringLiteral("main-window.png"));

    panel.showAutomation();
    QWidget* automation = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QLatin1String("AutomationWindow")) {
            automation = w;
        }
    }
    if (automation != nullptr) {
        wait(700);
        ok = save(*automation, out, QStringLiteral("automation-window.png")) && ok;
        automation->hide();
    }

    panel.instruments.showTraffic();
    TrafficMonitor& monitor = panel.instruments.monitor();
    monitor.resize(820, 460);
    monitor.refresh();
    // Around the operator's free text, where polling and the operator's lines meet.
    const TrafficModel& rows = monitor.model();
    for (int row = rows.rowCount() - 1; row >= 0; --row) {
        if (rows.entry(row).text == "VER?" && rows.entry(row).cls == TrafficClass::Operator) {
            monitor.findChild<QListView*>()->scrollTo(rows.index(row), QAbstractItemView::PositionAtCenter);
            break;
        }
    }
    wait(300);
    ok = save(monitor, out, QStringLiteral("traffic-monitor.png")) && ok;
    monitor.hide();

    // Channel A in millimetres, D in degrees.
    panel.instruments.units.unit[0] = ChannelUnit{400, QStringLiteral("mm")};
    panel.instruments.units.unit[3] = ChannelUnit{100, QStringLiteral("deg")};
    panel.instruments.showChart();
    ChartWindow& chart = panel.instruments.chart();
    chart.chart().setUnits(&panel.instruments.units);
    chart.resize(900, 460);
    wait(300);
    PositionChart& canvas = chart.chart();
    const QPointF at(canvas.width() * 0.80, canvas.height() * 0.45);
    QMouseEvent move(QEvent::MouseMove, at, canvas.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&canvas, &move);
    canvas.repaintTick();
    wait(200);
    ok = save(chart, out, QStringLiteral("position-chart.png")) && ok;
    chart.hide();

    PositionsWindow& positions = panel.positions();
    positions.show();
    positions.findChild<QLineEdit*>(QStringLiteral("PositionName"))
        ->setText(QStringLiteral("after the scan"));
    positions.save();
    wait(300);
    ok = save(positions, out, QStringLiteral("positions-window.png")) && ok;
    positions.hide();

    op.click(QStringLiteral("SetupPb"));
    SetupWindow* setup = panel.setup.window();
    if (setup == nullptr) {
        std::fprintf(stderr, "screenshots: the setup window did not open\n");
        return 1;
    }
    setup->fileChooser()->setFileNameText(QStringLiteral("stage-a.txt"));
    op.click(QStringLiteral("cmdDataRead"), setup);
    if (!waitFor([&] { return !setup->tmrTokei().running(); }, 15000)) {
        std::fprintf(stderr, "screenshots: the table read did not finish\n");
        return 1;
    }
    wait(200);
    ok = save(*setup, out, QStringLiteral("setup-window.png")) && ok;
    op.click(QStringLiteral("Command1"), setup);

    panel.session.ConnectClicked();
    return ok ? 0 : 1;
}
