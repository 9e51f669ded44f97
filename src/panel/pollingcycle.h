#pragma once

#include <QByteArray>
#include <array>
#include <functional>

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

    PollingCycle(PanelState& state, PanelView& view, CommandLink& link, MessageSink& messages,
                 SequencedMoves& moves);

    void Tick();

    // Told of every query the tick itself got onto the wire: `rotation` for the poll step's query,
    // false for the operator's free-text line. Lets the traffic monitor tell polling from the
    // operator's commands without looking at the text.
    using QuerySentHook = std::function<void(const QByteArray& command, bool rotation)>;
    void setQuerySentHook(QuerySentHook hook) { querySent_ = std::move(hook); }

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
    QuerySentHook querySent_;
    std::array<std::array<QByteArray, kSteps>, 2> pollCommands_;  // [usbModel][step]
    QByteArray none_;
};
