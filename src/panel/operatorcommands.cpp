#include "operatorcommands.h"

#include "colours.h"
#include "commandlink.h"
#include "intervaltimer.h"
#include "mainview.h"
#include "messages.h"
#include "panelstate.h"
#include "scriptmoves.h"

OperatorCommands::OperatorCommands(PanelState& state, MainView& view, CommandLink& link,
                                   MessageSink& messages, IntervalTimer& timer2, ScriptMoves& script,
                                   QObject* parent)
    : QObject(parent),
      state_(state),
      view_(view),
      link_(link),
      messages_(messages),
      timer2_(timer2),
      script_(script) {}

QByteArray OperatorCommands::ChannelCommand(int ch, const char* code) {
    return QByteArray("S3") + char('0' + ch) + code + "\r\n";
}

QByteArray OperatorCommands::SpeedCommand(int k) {
    const char speed[] = {'H', 'M', 'L'};
    return k >= 0 && k <= 2 ? QByteArray("S71") + speed[k] + "\r\n" : QByteArray();
}

void OperatorCommands::sendToSelected(const char* code, std::optional<MoveKind> kind, std::uint8_t only) {
    std::uint8_t channels = 0;
    for (int ch = 0; ch < 4; ++ch) {
        channels |= std::uint8_t(state_.ChannelSelected[ch] != 0 && (only & (1u << ch)) ? 1u << ch : 0u);
    }
    // A script's motion of these channels still to go would be dropped by the controller, and a
    // script's open bracket would hold the operator's command: the operator comes first.
    if (channels != 0 && !script_.YieldTo(channels, QStringLiteral("taken over by the operator"))) {
        return;
    }
    for (int ch = 0; ch < 4; ++ch) {
        if (state_.ChannelSelected[ch] != 0 && (only & (1u << ch)) &&
            link_.SendCommand(ChannelCommand(ch, code), Origin::Operator) && kind) {
            state_.Axes.wentOut(ch, Origin::Operator, *kind, std::nullopt, false);
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

void OperatorCommands::Jog(bool cw, std::uint8_t only) {
    const int mode = view_.controlMode();
    if ((mode == ModeHp || mode == ModeScn) && state_.ScanArmed != 0) {
        if (mode == ModeHp) {
            sendToSelected(cw ? "1E" : "1F", MoveKind::Home, only);
        } else {
            sendToSelected(cw ? "0E" : "0F", MoveKind::Scan, only);
        }
        disarm();
    } else {
        sendToSelected(cw ? "08" : "09", MoveKind::Jog, only);
    }
}

void OperatorCommands::Preset() {
    for (int ch = 0; ch < 4; ++ch) {
        if (state_.ChannelSelected[ch] != 0) {
            state_.PresetMask |= std::uint16_t(1u << ch);
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

void OperatorCommands::Stop(bool esc) {
    if (state_.DemoFlags & 0x0F) {
        state_.DemoFlags |= 16;
    }
    const QString why = esc ? QStringLiteral("Esc pressed") : QStringLiteral("Stop pressed");
    std::uint8_t selected = 0;
    for (int ch = 0; ch < 4; ++ch) {
        selected |= std::uint8_t(state_.ChannelSelected[ch] != 0 ? 1u << ch : 0u);
    }
    // A script's move of a channel being stopped must not start after the stop: what it still had
    // to send is dropped, and a bracket it opened is closed first.
    // Its closing line failing has ended the session and told the operator: no stop could follow.
    if (selected != 0 && !script_.Cut(why, 0, selected)) {
        selected = 0;
    }
    for (int ch = 0; ch < 4; ++ch) {
        if (!(selected & (1u << ch))) {
            continue;
        }
        // A failed send has ended the session and told the operator: nothing more goes out.
        if (!link_.SendCommand(StopCommand(ch), Origin::Operator)) {
            break;
        }
        state_.Axes.stopWentOut(ch, why);
    }
    disarm();
}

void OperatorCommands::SpeedChosen(int k) {
    const QByteArray command = SpeedCommand(k);
    if (!command.isEmpty()) {
        state_.SpeedSelected = k;
        link_.SendCommand(command, Origin::Operator);
    }
}

void OperatorCommands::HoldOffClicked(int ch) {
    const bool holdOff = state_.HoldOff[ch] == 0;
    // Holding a channel off stops it, as a stop command does.
    if (link_.SendCommand(HoldOffCommand(ch, holdOff), Origin::Operator) && holdOff) {
        state_.Axes.stopWentOut(ch, QStringLiteral("hold-off pressed"));
    }
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
