#include "panelscripttarget.h"

#include "colours.h"
#include "commandchannel.h"
#include "lampindicator.h"
#include "mainwindow.h"
#include "operatorcommands.h"
#include "panelstate.h"
#include "sequencedmoves.h"
#include "setupcontroller.h"
#include "setupwindow.h"

#include <QLabel>

namespace {
const QString kFirmwarePrefix = QStringLiteral("Firmware Version  ");
}

PanelScriptTarget::PanelScriptTarget(PanelState& state, MainWindow& window, CommandChannel& channel,
                                     SequencedMoves& moves, SetupController& setup)
    : state_(state), window_(window), channel_(channel), moves_(moves), setup_(setup) {}

bool PanelScriptTarget::connected() const {
    return state_.Connected;
}

bool PanelScriptTarget::setupOpen() const {
    const SetupWindow* setup = setup_.window();
    return setup != nullptr && setup->isVisible();
}

QString PanelScriptTarget::model() const {
    if (state_.LastChannel == 0) {
        return QStringLiteral("NONE");
    }
    return state_.FourChModel ? QStringLiteral("VASKO-01")
           : state_.UsbModel  ? QStringLiteral("RUNEL-01")
                              : QStringLiteral("KELDA-01");
}

QString PanelScriptTarget::firmware() const {
    const auto* label = window_.findChild<QLabel*>(QStringLiteral("Label13"));
    const QString text = label != nullptr ? label->text() : QString();
    return text.startsWith(kFirmwarePrefix) ? text.mid(kFirmwarePrefix.size()) : QString();
}

int PanelScriptTarget::channels() const {
    return state_.LastChannel == 0 ? 0 : state_.LastChannel + 1;
}

bool PanelScriptTarget::reportsBusy() const {
    return state_.UsbModel;
}

QString PanelScriptTarget::position(int ch) const {
    const auto* label = window_.findChild<QLabel*>(QStringLiteral("LblPosition_%1").arg(ch));
    return label != nullptr ? label->text() : QString();
}

ScriptTarget::Report PanelScriptTarget::report(int ch) const {
    const auto lit = [this, ch](PanelView::Lamp lamp) {
        const LampIndicator* l = window_.lamp(lamp, ch);
        return l != nullptr && l->fillBgr() == Bgr::Red;
    };
    Report r;
    r.busy = state_.UsbModel && state_.ChannelBusy[ch];
    r.cw = lit(PanelView::Lamp::CW);
    r.ccw = lit(PanelView::Lamp::CCW);
    r.hp = lit(PanelView::Lamp::HP);
    r.hold = state_.HoldOff[ch] != 0;
    r.stop = state_.ChannelStopCondition[ch];
    return r;
}

bool PanelScriptTarget::movePending(int ch) const {
    return moves_.ScriptPending(ch);
}

bool PanelScriptTarget::movePending() const {
    return moves_.ScriptPending();
}

void PanelScriptTarget::requestMove(Move kind, const std::array<QString, 4>& values,
                                    const std::array<bool, 4>& given) {
    if (kind == Move::Preset) {
        moves_.RequestScriptPreset(values, given);
    } else {
        moves_.RequestScriptMove(kind == Move::Absolute, values, given);
    }
}

void PanelScriptTarget::cancelMoves() {
    moves_.CancelScriptRequests();
}

void PanelScriptTarget::sendScript(const QByteArray& command) {
    state_.ScriptSending = true;
    channel_.SendCommand(command);
    state_.ScriptSending = false;
}

void PanelScriptTarget::motion(Motion kind, int ch, bool cw) {
    sendScript(kind == Motion::Jog    ? OperatorCommands::JogCommand(ch, cw)
               : kind == Motion::Home ? OperatorCommands::HomeCommand(ch, cw)
                                      : OperatorCommands::ScanCommand(ch, cw));
}

void PanelScriptTarget::stop(int ch) {
    sendScript(OperatorCommands::StopCommand(ch));
}

void PanelScriptTarget::endDemo() {
    if (state_.DemoFlags & 0x0F) {
        state_.DemoFlags |= 16;
    }
}

void PanelScriptTarget::speed(int k) {
    // Through the speed options, so the window shows the speed the controller runs at; choosing
    // the option sends its command as the operator's click does.
    state_.ScriptSending = true;
    window_.selectSpeed(k);
    state_.ScriptSending = false;
}

void PanelScriptTarget::hold(int ch, bool holdOff) {
    sendScript(OperatorCommands::HoldOffCommand(ch, holdOff));
}

void PanelScriptTarget::send(const QByteArray& text) {
    sendScript(text + "\r\n");
}

bool PanelScriptTarget::ask(const QByteArray& text) {
    using S = PanelState::ScriptAsk;
    // A query given up on is forgotten once its step is over.
    if (askDropped_ && (state_.ScriptAskState != S::Sent || state_.PollStep != 6)) {
        state_.ScriptAskState = S::None;
        askDropped_ = false;
    }
    if (state_.ScriptAskState != S::None) {
        return false;
    }
    state_.ScriptAskText = text;
    state_.ScriptAskReply.clear();
    state_.ScriptAskState = S::Pending;
    return true;
}

ScriptTarget::AskState PanelScriptTarget::askState() const {
    switch (state_.ScriptAskState) {
        case PanelState::ScriptAsk::None:
            return AskState::None;
        case PanelState::ScriptAsk::Pending:
        case PanelState::ScriptAsk::Sent:
            return AskState::Waiting;
        case PanelState::ScriptAsk::Answered:
            return AskState::Answered;
        case PanelState::ScriptAsk::TimedOut:
            break;
    }
    return AskState::TimedOut;
}

QByteArray PanelScriptTarget::takeAnswer() {
    state_.ScriptAskState = PanelState::ScriptAsk::None;
    return std::exchange(state_.ScriptAskReply, QByteArray());
}

void PanelScriptTarget::dropAsk() {
    using S = PanelState::ScriptAsk;
    if (state_.ScriptAskState == S::Sent) {
        askDropped_ = true;
    } else {
        state_.ScriptAskState = S::None;
    }
}
