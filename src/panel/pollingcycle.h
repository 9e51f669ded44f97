#pragma once

#include <QByteArray>
#include <array>

class CommandLink;
class MessageSink;
class PanelView;
class SequencedMoves;
struct PanelState;

// The Timer2 tick: collects USB input, gives way to sequenced moves, keeps exactly one query of
// the rotation outstanding, repeats it after 10 silent ticks and declares the session lost after
// four time-outs in a row. Ticks are counted, not timed.
class PollingCycle {
public:
    static constexpr int kReplyTimeoutTicks = 10;
    static constexpr int kTimeoutsBeforeLoss = 3;
    // Ticks the scripts' commands may take in a row before one goes to the polling.
    static constexpr int kScriptTicksInARow = 4;

    PollingCycle(PanelState& state, PanelView& view, CommandLink& link, MessageSink& messages,
                 SequencedMoves& moves);

    void Tick();

    // The query of a poll step, CR LF included; empty for a step that has none.
    static QByteArray PollCommand(int step, bool usbModel);

private:
    static constexpr int kSteps = 24;  // the rotation's steps are below this

    // PollCommand's texts, built once: the tick sends one every 20 ms.
    const QByteArray& pollCommand(int step, bool usbModel) const;

    PanelState& state_;
    PanelView& view_;
    CommandLink& link_;
    MessageSink& messages_;
    SequencedMoves& moves_;
    std::array<std::array<QByteArray, kSteps>, 2> pollCommands_;  // [usbModel][step]
    QByteArray none_;
    int scriptTicks_ = 0;  // scripts' commands sent in a row
};
