#pragma once

#include "scripttarget.h"

class CommandChannel;
class MainWindow;
class SequencedMoves;
class SetupController;
struct PanelState;

// The automation port's way into the panel: the same command builders as the buttons, the same
// sequenced moves and free-text step of the tick, and what the window last showed. Every command
// it hands to the link is marked as the automation's, for the traffic monitor.
class PanelScriptTarget : public ScriptTarget {
public:
    PanelScriptTarget(PanelState& state, MainWindow& window, CommandChannel& channel, SequencedMoves& moves,
                      SetupController& setup);

    bool connected() const override;
    bool setupOpen() const override;
    QString model() const override;
    QString firmware() const override;
    int channels() const override;
    bool reportsBusy() const override;
    QString position(int ch) const override;
    Report report(int ch) const override;
    bool movePending(int ch) const override;
    bool movePending() const override;
    void requestMove(Move kind, const std::array<QString, 4>& values,
                     const std::array<bool, 4>& given) override;
    void cancelMoves() override;
    void motion(Motion kind, int ch, bool cw) override;
    void stop(int ch) override;
    void endDemo() override;
    void speed(int k) override;
    void hold(int ch, bool holdOff) override;
    void send(const QByteArray& text) override;
    bool ask(const QByteArray& text) override;
    AskState askState() const override;
    QByteArray takeAnswer() override;
    void dropAsk() override;

private:
    void sendScript(const QByteArray& command);

    PanelState& state_;
    MainWindow& window_;
    CommandChannel& channel_;
    SequencedMoves& moves_;
    SetupController& setup_;
    // The script that asked no longer waits; its query may still be on the wire.
    bool askDropped_ = false;
};
