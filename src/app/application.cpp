#include "application.h"

#include "automationserver.h"
#include "automationwindow.h"
#include "chartwindow.h"
#include "elidinglabel.h"
#include "panelscripttarget.h"
#include "panelsessiontarget.h"
#include "positionswindow.h"
#include "setupwindow.h"
#include "statusstrip.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QStatusBar>

namespace {
constexpr int kLinkNoteWidth = 240;

MessageSink& chosen(MessageSink* given, QtMessages& fallback) {
    return given != nullptr ? *given : fallback;
}
}  // namespace

Application::Application(QDir settingsDir, MessageSink* messages)
    : linkMessages(chosen(messages, qtMessages)),
      channel(state, window, linkMessages, Timer2),
      interpreter(state, window),
      session(state, window, channel, linkMessages, Timer2, settingsDir),
      moves(state, window, channel),
      polling(state, window, channel, linkMessages, moves),
      commands(state, window, channel, linkMessages, Timer2, moves.script()),
      keyJog(state, commands),
      setup(state, channel, window, chosen(messages, setupMessages)),
      keeper(session, channel, state),
      instruments(state, channel, session, window, linkMessages),
      settingsDir_(settingsDir),
      messages_(chosen(messages, qtMessages)),
      positionsTarget_(state, window, commands) {
    qtMessages.setParent(&window);
    linkMessages.setKeeper(&keeper);
    keeper.setGate([this] { return !setupOpen(); });
    connect(&keeper, &LinkKeeper::note, this, &Application::showLinkNote);
    Timer2.setObjectName(QStringLiteral("Timer2"));
    channel.setReplySink(&interpreter);

    connect(&Timer2, &IntervalTimer::timeout, this, [this] { polling.Tick(); });
    connect(&window, &MainWindow::connectClicked, &session, &Session::ConnectClicked);
    connect(&window, &MainWindow::channelClicked, &commands, &OperatorCommands::ChannelClicked);
    connect(&window, &MainWindow::jogClicked, &commands, [this](bool cw) { commands.Jog(cw); });
    connect(&window, &MainWindow::jogKeyPressed, &commands, [this](bool cw) { keyJog.pressed(cw); });
    connect(&window, &MainWindow::ctrClicked, &commands, [this](int index) {
        if (index == 4) {
            commands.Preset();
        } else if (index == 5) {
            commands.Start();
        } else if (index == 6) {
            keyJog.stopped();
            commands.Stop();
        }
    });
    connect(&window, &MainWindow::escPressed, &commands, [this] {
        keyJog.stopped();
        commands.Stop(true);
    });
    connect(&window, &MainWindow::speedChosen, &commands, &OperatorCommands::SpeedChosen);
    connect(&window, &MainWindow::holdOffClicked, &commands, &OperatorCommands::HoldOffClicked);
    connect(&window, &MainWindow::setupClicked, &commands, &OperatorCommands::SetupClicked);
    connect(&window, &MainWindow::sendTextChanged, &commands, &OperatorCommands::SendTextChanged);
    connect(&window, &MainWindow::clearClicked, &commands, &OperatorCommands::ClearReceived);
    connect(&window, &MainWindow::demoClicked, this, [this] { moves.DemoClicked(); });
    connect(&window, &MainWindow::quitClicked, this, &Application::quit);
    connect(&window, &MainWindow::aboutRequested, this, &Application::showAbout);
    window.setCloseGuard([this] { return session.MayCloseMainWindow(); });

    connect(&commands, &OperatorCommands::setupRequested, &setup, &SetupController::Open);
    connect(&commands, &OperatorCommands::setupRequested, this, [this] { keyJog.setBlocked(true); });
    connect(&channel, &CommandChannel::serialPortLost, &setup, &SetupController::LinkLost);
    connect(&setup, &SetupController::pollingResumeRequested, this, [this] {
        Timer2.setInterval(20);
        keyJog.setBlocked(false);
    });
    connect(&setup, &SetupController::tableChanged, this,
            [this](TableView* table) { interpreter.setTable(table); });
    // Only a table that is being attached names a live window: the null of a window going away
    // comes from its destructor.
    connect(&setup, &SetupController::tableChanged, this, [this](TableView* table) {
        setupMessages.setParent(table != nullptr ? setup.window() : nullptr);
    });
    wireInstruments();
}

void Application::wireInstruments() {
    // The chart follows what the controller reports, as the axis book holds it.
    axesToken_ = state.Axes.listen([this](const AxisEvent& event) {
        if (event.kind == AxisEvent::Kind::Position) {
            instruments.positionShown(event.ch, state.Axes.report(event.ch).positionText);
        } else if (event.kind == AxisEvent::Kind::Lamp) {
            const auto mark = event.lamp == AxisEvent::Lamp::Cw    ? PositionHistory::Mark::Cw
                              : event.lamp == AxisEvent::Lamp::Ccw ? PositionHistory::Mark::Ccw
                              : event.lamp == AxisEvent::Lamp::Hp  ? PositionHistory::Mark::Hp
                                                                   : PositionHistory::Mark::HoldOff;
            instruments.lampChanged(event.ch, mark, event.lit);
        }
    });
    instruments.install(window);
    instruments.setUnitsFile(settingsDir_.filePath(ChannelUnits::kFile));
    QPushButton* positions = instruments.strip()->addButton(
        QStringLiteral("Positions..."), QStringLiteral("StatusPositions"),
        QStringLiteral("Named positions: save where the channels are, go back there later"));
    connect(positions, &QPushButton::clicked, this, &Application::showPositions);
}

PositionsWindow& Application::positions() {
    if (!positionsWindow_) {
        positionsWindow_ = std::make_unique<PositionsWindow>(positionsTarget_, instruments.units, messages_,
                                                             settingsDir_.filePath(NamedPositions::kFile));
        connect(&instruments.chart(), &ChartWindow::unitsChanged, positionsWindow_.get(),
                &PositionsWindow::refresh);
    }
    return *positionsWindow_;
}

void Application::showPositions() {
    PositionsWindow& w = positions();
    w.show();
    w.raise();
    w.activateWindow();
}

Application::~Application() {
    state.Axes.unlisten(axesToken_);
}

bool Application::startAutomation(quint16 port, const QString& tokenPath, QString* error) {
    scriptTarget_ = std::make_unique<PanelScriptTarget>(state, window, channel, moves, setup, instruments.units);
    sessionTarget_ = std::make_unique<PanelSessionTarget>(keeper);
    automation_ = std::make_unique<AutomationServer>(*scriptTarget_, state.Axes,
                                                     QStringLiteral(PANEL_VERSION), sessionTarget_.get());
    if (!automation_->start(port, tokenPath, error)) {
        automation_.reset();
        sessionTarget_.reset();
        scriptTarget_.reset();
        return false;
    }
    connect(&keeper, &LinkKeeper::scriptConnectFailed, automation_.get(), &AutomationServer::connectFailed);
    automationWindow_ = std::make_unique<AutomationWindow>(*automation_);
    auto* status = new AutomationStatus(*automation_);
    window.statusBar()->addPermanentWidget(status);
    connect(status, &AutomationStatus::clicked, this, &Application::showAutomation);
    return true;
}

void Application::showAutomation() {
    if (automationWindow_) {
        automationWindow_->show();
        automationWindow_->raise();
        automationWindow_->activateWindow();
    }
}

void Application::quit() {
    // "Quit" is not guarded: it ends the program at once, closing the network link first; what
    // was already written (a Stop pressed just before) gets half a second to go out.
    if (state.Connected) {
        channel.closeTcp(500);
    }
    emit quitRequested();
}

bool Application::setupOpen() const {
    const SetupWindow* w = setup.window();
    return w != nullptr && w->isVisible();
}

void Application::showLinkNote(const QString& text) {
    if (linkNote_ == nullptr) {
        // Of a fixed width, so the instruments' figures beside it keep their room; the whole note
        // is its tool tip, and in the Automation window's log.
        linkNote_ = new ElidingLabel(QString(), kLinkNoteWidth);
        linkNote_->setObjectName(QStringLiteral("StatusLinkNote"));
        window.statusBar()->addPermanentWidget(linkNote_);
    }
    linkNote_->setText(text);
    if (automation_) {
        automation_->note(text);
    }
}

QString Application::linkNote() const {
    return linkNote_ == nullptr ? QString() : linkNote_->text();
}

void Application::showAbout() {
    AboutBox box(&window);
    box.exec();
}
