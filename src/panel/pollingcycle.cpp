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
        if (state_.DemoFlags & 0x0F) {
            moves_.DemoStep();
        } else if (state_.PresetMask != 0) {
            moves_.PresetStep();
            return;
        } else if (state_.RelMoveFlags != 0) {
            moves_.RelMoveStep();
            return;
        } else if (state_.AbsMoveFlags != 0) {
            moves_.AbsMoveStep();
            return;
        }
    }

    ++state_.ReplyWaitTicks;
    if (state_.ReplyWaitTicks > kReplyTimeoutTicks) {
        if (state_.PollStep == 6) {
            state_.PollStep = state_.UsbModel ? 20 : 0;
            if (state_.ScriptAskState == PanelState::ScriptAsk::Sent) {
                state_.ScriptAskState = PanelState::ScriptAsk::TimedOut;
            }
        }
        ++state_.TimeoutCount;
        ++state_.TimeoutsSeen;
        state_.AwaitingReply = 0;
        state_.ReplyWaitTicks = 0;
        return;
    }

    if (state_.TimeoutCount > kTimeoutsBeforeLoss) {
        // State first: the box runs an event loop in which nothing may find the session open.
        link_.EndSession();
        messages_.showMessage(QStringLiteral("Connection failed !"), QString(), MessageSink::Icon::None);
    }
    if (state_.AwaitingReply != 0 || !state_.Connected) {
        return;
    }
    if (state_.PendingFreeText != 0) {
        state_.PollStep = 6;
        const QByteArray line = view_.sendText().toLatin1() + "\r\n";
        if (link_.SendCommand(line) && querySent_) {
            querySent_(line, false);
        }
        state_.PendingFreeText = 0;
        state_.AwaitingReply = 1;
        return;
    }
    if (state_.ScriptAskState == PanelState::ScriptAsk::Pending) {
        // The automation port's raw query takes the same step as the operator's free text.
        state_.PollStep = 6;
        const QByteArray line = state_.ScriptAskText + "\r\n";
        state_.ScriptSending = true;
        const bool sent = link_.SendCommand(line);
        state_.ScriptSending = false;
        if (sent && querySent_) {
            querySent_(line, false);
        }
        state_.ScriptAskState = PanelState::ScriptAsk::Sent;
        state_.AwaitingReply = 1;
        return;
    }
    const QByteArray& command = pollCommand(state_.PollStep, state_.UsbModel);
    if (!command.isEmpty() && link_.SendCommand(command) && querySent_) {
        querySent_(command, true);
    }
    state_.AwaitingReply = 1;
}
