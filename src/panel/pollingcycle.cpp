#include "pollingcycle.h"

#include "commandlink.h"
#include "messages.h"
#include "panelstate.h"
#include "panelview.h"
#include "sequencedmoves.h"

PollingCycle::PollingCycle(PanelState& state, PanelView& view, CommandLink& link, MessageSink& messages,
                           SequencedMoves& moves)
    : state_(state), view_(view), link_(link), messages_(messages), moves_(moves) {
    for (int usb = 0; usb < 2; ++usb) {
        for (int step = 0; step < kSteps; ++step) {
            pollCommands_[usb][step] = PollCommand(step, usb != 0);
        }
    }
}

const QByteArray& PollingCycle::pollCommand(int step, bool usbModel) const {
    return step >= 0 && step < kSteps ? pollCommands_[usbModel ? 1 : 0][step] : none_;
}

QByteArray PollingCycle::PollCommand(int step, bool usbModel) {
    const char n = char('0' + step % 10);
    QByteArray command;
    if (step == 4) {
        command = "VER?";
    } else if (step == 5) {
        command = "S48";
    } else if (step >= 0 && step <= 3) {
        command = usbModel ? QByteArray("PS?") + n : QByteArray("S2") + n + '0';
    } else if (step >= 10 && step <= 13) {
        command = QByteArray("S2") + n + '2';
    } else if (step >= 20 && step <= 23) {
        command = QByteArray("STS") + n + '?';
    } else {
        // Step 6 included: a free-text line goes out only once, from the pending flag.
        return {};
    }
    return command + "\r\n";
}

void PollingCycle::Tick() {
    link_.PollUsbInput();

    if (state_.Connected) {
        // The operator comes first: a script sequence under way, or one that wants the channels
        // of the operator's request, is cut before the operator's own step.
        ScriptMoves& script = moves_.script();
        const std::uint8_t asked =
            std::uint8_t((state_.PresetMask | state_.RelMoveFlags | state_.AbsMoveFlags) & 0x0F);
        if (state_.DemoFlags & 0x0F) {
            // The drive moves every channel its own way: the scripts' moves are over, each told so.
            const QString why = QStringLiteral("the demonstration drive took over");
            if (script.YieldTo(0x0F, why)) {
                state_.Axes.takenOver(Origin::Script, why);
                moves_.DemoStep();
            }
        } else if (asked != 0 || state_.RelMoveFlags != 0 || state_.AbsMoveFlags != 0) {
            if (!script.YieldTo(asked, QStringLiteral("taken over by the operator"))) {
                return;
            }
            if (state_.PresetMask != 0) {
                moves_.PresetStep();
            } else if (state_.RelMoveFlags != 0) {
                moves_.RelMoveStep();
            } else {
                moves_.AbsMoveStep();
            }
            return;
        } else if (script.Pending() && scriptTicks_ < kScriptTicksInARow) {
            ++scriptTicks_;
            script.Step();
            return;
        }
        // Clients that keep the queue full must not starve the polling: what it reports is what
        // tells every client when a motion has ended.
        scriptTicks_ = 0;
    }

    ++state_.ReplyWaitTicks;
    if (state_.ReplyWaitTicks > kReplyTimeoutTicks) {
        // A script's raw query that draws no answer is the script's business: it says TIMEOUT,
        // and the session is not counted a step nearer to "Connection failed !" for it.
        const bool scriptAsk = state_.PollStep == 6 && state_.ScriptAskState == PanelState::ScriptAsk::Sent;
        if (state_.PollStep == 6) {
            state_.PollStep = state_.UsbModel ? 20 : 0;
        }
        if (scriptAsk) {
            state_.ScriptAskState = PanelState::ScriptAsk::TimedOut;
        } else {
            ++state_.TimeoutCount;
        }
        ++state_.TimeoutsSeen;
        state_.AwaitingReply = 0;
        state_.ReplyWaitTicks = 0;
        return;
    }

    if (state_.TimeoutCount > kTimeoutsBeforeLoss) {
        // State first: the box runs an event loop in which nothing may find the session open.
        link_.EndSession(QStringLiteral("connection failed"));
        messages_.showMessage(QStringLiteral("Connection failed !"), QString(), MessageSink::Icon::None);
    }
    if (state_.AwaitingReply != 0 || !state_.Connected) {
        return;
    }
    if (state_.PendingFreeText != 0) {
        state_.PollStep = 6;
        link_.SendCommand(view_.sendText().toLatin1() + "\r\n", Origin::FreeText);
        state_.PendingFreeText = 0;
        state_.AwaitingReply = 1;
        return;
    }
    if (state_.ScriptAskState == PanelState::ScriptAsk::Pending) {
        // The automation port's raw query takes the same step as the operator's free text.
        state_.PollStep = 6;
        link_.SendCommand(state_.ScriptAskText + "\r\n", Origin::Ask);
        state_.ScriptAskState = PanelState::ScriptAsk::Sent;
        state_.AwaitingReply = 1;
        return;
    }
    const QByteArray& command = pollCommand(state_.PollStep, state_.UsbModel);
    if (!command.isEmpty()) {
        link_.SendCommand(command, Origin::Polling);
    }
    state_.AwaitingReply = 1;
}
