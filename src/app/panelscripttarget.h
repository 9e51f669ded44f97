#pragma once

#include "scripttarget.h"

class ChannelUnits;
class CommandChannel;
class MainWindow;
class SequencedMoves;
class SetupController;
struct PanelState;

// The automation port's way into the panel: the same command builders as the buttons, the same
// sequenced moves and free-text step of the tick, and the axis book for what the controller last
// reported. Every line it hands to the link is sent as the script's.
class PanelScriptTarget : public ScriptTarget {
public:
    PanelScriptTarget(PanelState& state, MainWindow& window, CommandChannel& channel, SequencedMoves& moves,
                      SetupController& setup, const ChannelUnits& units);

    bool connected() const override;
    bool setupOpen() const override;
    bool demoRunning() const override;
    QString model() const override;
    QString firmware() const override;
    int channels() const override;
    int selectedSpeed() const override;
    const AxisBook& axes() const override;
    ChannelUnit unit(int ch) const override;
    bool operatorSequencing(int ch) const override;
    bool scriptMovePending() const override;
    void requestMove(MoveKind kind, const std::array<QString, 4>& values, const std::array<bool, 4>& cw,
                     const std::array<bool, 4>& given, int client) override;
    bool cutScriptMoves(const QString& why, int client, unsigned channels) override;
    void dropScriptMoves(const QString& why, int client) override;
    bool stop(int ch, const QString& why) override;
    void endDemo() override;
    bool speed(int k) override;
    bool hold(int ch, bool holdOff, const QString& why) override;
    bool send(const QByteArray& text) override;
    bool ask(const QByteArray& text) override;
    AskState askState() const override;
    QByteArray takeAnswer() override;
    void dropAsk() override;

private:
    PanelState& state_;
    MainWindow& window_;
    CommandChannel& channel_;
    SequencedMoves& moves_;
    SetupController& setup_;
    const ChannelUnits& units_;
    // The script that asked no longer waits; its query may still be on the wire.
    bool askDropped_ = false;
};
