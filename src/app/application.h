#pragma once

#include "aboutbox.h"
#include "commandchannel.h"
#include "instruments.h"
#include "intervaltimer.h"
#include "keyjog.h"
#include "linkkeeper.h"
#include "linkmessages.h"
#include "mainwindow.h"
#include "operatorcommands.h"
#include "panelpositions.h"
#include "panelstate.h"
#include "pollingcycle.h"
#include "qtmessages.h"
#include "replyinterpreter.h"
#include "sequencedmoves.h"
#include "session.h"
#include "setupcontroller.h"

#include <QDir>
#include <QObject>
#include <memory>

class AutomationServer;
class AutomationWindow;
class PanelScriptTarget;
class PanelSessionTarget;
class PositionsWindow;
class ElidingLabel;

// The whole panel, wired: one shared state, the main window, the link, the reply interpreter,
// the polling tick, the operator commands and the setup side. A test builds a fresh one in one
// line and may replace the message sink.
class Application : public QObject {
    Q_OBJECT
public:
    explicit Application(QDir settingsDir = QDir::current(), MessageSink* messages = nullptr);
    ~Application() override;

    PanelState state;
    IntervalTimer Timer2;
    QtMessages qtMessages;
    // The setup window's boxes open over it, not over the main window.
    QtMessages setupMessages;
    // What the logic is given: the link's boxes are told instead while nobody is there to answer.
    LinkMessages linkMessages;
    MainWindow window;
    CommandChannel channel;
    ReplyInterpreter interpreter;
    Session session;
    SequencedMoves moves;
    PollingCycle polling;
    OperatorCommands commands;
    KeyJog keyJog;
    SetupController setup;
    // The session kept with nobody at the panel: opened at start, by scripts, again when lost.
    LinkKeeper keeper;
    // Watches the rest and changes none of it; built last, so it goes first.
    Instruments instruments;

    // The automation port, off unless started: listens on the loopback addresses (0 picks a free
    // port) and writes a fresh token to `tokenPath`. False with the reason when it could not.
    bool startAutomation(quint16 port, const QString& tokenPath, QString* error);
    AutomationServer* automation() const { return automation_.get(); }
    void showAutomation();
    // The Positions window, made when first asked for (its file is read then).
    PositionsWindow& positions();
    void showPositions();
    // The Quit button's way out, also taken on a stop from outside (SIGTERM, SIGINT).
    void quit();
    // What the link keeper said last, as the status bar shows it.
    QString linkNote() const;

signals:
    void quitRequested();

private:
    QDir settingsDir_;
    MessageSink& messages_;
    PanelPositions positionsTarget_;
    std::unique_ptr<PositionsWindow> positionsWindow_;
    std::unique_ptr<PanelScriptTarget> scriptTarget_;
    std::unique_ptr<PanelSessionTarget> sessionTarget_;
    std::unique_ptr<AutomationServer> automation_;
    std::unique_ptr<AutomationWindow> automationWindow_;
    int axesToken_ = 0;
    ElidingLabel* linkNote_ = nullptr;

    bool setupOpen() const;
    void showLinkNote(const QString& text);
    void showAbout();
    void wireInstruments();
};
