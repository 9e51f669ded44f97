#include "operatorcommands.h"

#include "colours.h"
#include "commandlink.h"
#include "intervaltimer.h"
#include "mainview.h"
#include "messages.h"
#include "panelstate.h"

OperatorCommands::OperatorCommands(PanelState& state, MainView& view, CommandLink& link,
                                   MessageSink& messages, IntervalTimer& timer2, QObject* parent)
    : QObject(parent), state_(state), view_(view), link_(link), messages_(messages), timer2_(timer2) {}

QByteArray OperatorCommands::ChannelCommand(int ch, const char* code) {
    return QByteArray("S3") + char('0' + ch) + code + "\r\n";
}

QByteArray OperatorCommands::SpeedCommand(int k) {
    const char speed[] = {'H', 'M', 'L'};
    return k >= 0 && k <= 2 ? QByteArray("S71") + speed[k] + "\r\n" : QByteArray();
}

void OperatorCommands::sendToSelected(const char* code) {
    for (int ch = 0; ch < 4; ++ch) {
        if (state_.ChannelSelected[ch] != 0) {
            link_.SendCommand(ChannelCommand(ch, code));
        }
    }
}

void OperatorCommands::disarm() {
    state_.ScanArmed = 0;
    view_.setStartColour(Bgr::LightGreen);
}

void OperatorCommands::ChannelClicked(int ch) {
    state_.ChannelSelected[ch] ^= 1;
    view_.setChannelColour(ch, state_.ChannelSelected[ch] != 0 ? Bgr::LightOrange : Bgr::ButtonFace);
}

void OperatorCommands::Jog(bool cw) {
    const int mode = view_.controlMode();
    if ((mode == ModeHp || mode == ModeScn) && state_.ScanArmed != 0) {
        if (mode == ModeHp) {
            sendToSelected(cw ? "1E" : "1F");
        } else {
            sendToSelected(cw ? "0E" : "0F");
        }
        disarm();
    } else {
        sendToSelected(cw ? "08" : "09");
    }
}

void OperatorCommands::Preset() {
    for (int ch = 0; ch < 4; ++ch) {
        if (state_.ChannelSelected[ch] != 0) {
            state_.PresetMask |= std::uint16_t(1u << ch);
            // The operator's own value from now on, not a script's.
            state_.ScriptPreset.mask &= std::uint16_t(~(1u << ch));
        }
    }
}

void OperatorCommands::Start() {
    const int mode = view_.controlMode();
    if (mode == ModeHp || mode == ModeScn) {
        state_.ScanArmed = 1;
        view_.setStartColour(Bgr::Green);
        return;
    }
    std::uint16_t& flags = mode == ModeRel ? state_.RelMoveFlags : state_.AbsMoveFlags;
    // A script's sequence still pending here is replaced by the operator's.
    (mode == ModeRel ? state_.ScriptRel : state_.ScriptAbs) = {};
    flags = 0;
    int count = 0;
    for (int ch = 0; ch < 4; ++ch) {
        if (state_.ChannelSelected[ch] != 0) {
            flags |= std::uint16_t(1u << ch);
            ++count;
        }
    }
    if (count > 1) {
        flags += 128;
    }
}

void OperatorCommands::Stop() {
    if (state_.DemoFlags & 0x0F) {
        state_.DemoFlags |= 16;
    }
    sendToSelected("40");
    disarm();
}

void OperatorCommands::SpeedChosen(int k) {
    const QByteArray command = SpeedCommand(k);
    if (!command.isEmpty()) {
        link_.SendCommand(command);
    }
}

void OperatorCommands::HoldOffClicked(int ch) {
    link_.SendCommand(HoldOffCommand(ch, state_.HoldOff[ch] == 0));
}

void OperatorCommands::SetupClicked() {
    if (!state_.Connected) {
        messages_.showMessage(QStringLiteral("Not connected !"), kCautionTitle,
                              MessageSink::Icon::Information);
        return;
    }
    timer2_.setInterval(0);
    emit setupRequested();
}

void OperatorCommands::SendTextChanged() {
    if (!state_.Connected) {
        messages_.showMessage(QStringLiteral("Not connected !"), kCautionTitle,
                              MessageSink::Icon::Information);
        return;
    }
    // The multi-line box gives a line break where the operator's Enter stands for CR LF.
    QString text = view_.sendText();
    const qsizetype p = text.indexOf(u'\n');
    if (p < 0) {
        return;
    }
    const qsizetype from = (p > 0 && text[p - 1] == u'\r') ? p - 1 : p;
    text.remove(from, p - from + 1);
    // The caret goes to the end: the length before the removal less the line break.
    view_.setSendText(text, int(text.size()));
    state_.PendingFreeText = 1;
}

void OperatorCommands::ClearReceived() {
    view_.setReceiveText(QString());
}
