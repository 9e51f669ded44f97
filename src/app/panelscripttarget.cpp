#include "panelscripttarget.h"

#include "commandchannel.h"
#include "mainwindow.h"
#include "operatorcommands.h"
#include "panelstate.h"
#include "sequencedmoves.h"
#include "setupcontroller.h"
#include "setupwindow.h"

PanelScriptTarget::PanelScriptTarget(PanelState& state, MainWindow& window, CommandChannel& channel,
                                     SequencedMoves& moves, SetupController& setup, const ChannelUnits& units)
    : state_(state), window_(window), channel_(channel), moves_(moves), setup_(setup), units_(units) {}

ChannelUnit PanelScriptTarget::unit(int ch) const {
    return units_.unit[size_t(ch)];
}

bool PanelScriptTarget::connected() const {
    return state_.Connected;
}

bool PanelScriptTarget::setupOpen() const {
    const SetupWindow* setup = setup_.window();
    return setup != nullptr && setup->isVisible();
}

bool PanelScriptTarget::demoRunning() const {
    return (state_.DemoFlags & 0x0F) != 0;
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
    return state_.Firmware;
}

int PanelScriptTarget::selectedSpeed() const {
    return state_.SpeedSelected;
}

int PanelScriptTarget::channels() const {
    return state_.LastChannel == 0 ? 0 : state_.LastChannel + 1;
}

const AxisBook& PanelScriptTarget::axes() const {
    return state_.Axes;
}

bool PanelScriptTarget::operatorSequencing(int ch) const {
    const unsigned bit = 1u << ch;
    const AxisMove* latest = state_.Axes.latest(ch);
    // Its command still to go, or gone out inside a bracket that is not yet closed.
    return ((state_.PresetMask | state_.RelMoveFlags | state_.AbsMoveFlags) & bit) != 0 ||
           (latest != nullptr && latest->origin == Origin::Operator && latest->state == MoveState::Held);
}

bool PanelScriptTarget::scriptMovePending() const {
    return moves_.script().Pending();
}

void PanelScriptTarget::requestMove(MoveKind kind, const std::array<QString, 4>& values,
                                    const std::array<bool, 4>& cw, const std::array<bool, 4>& given,
                                    int client) {
    moves_.script().Request(kind, values, cw, given, client);
}

bool PanelScriptTarget::cutScriptMoves(const QString& why, int client, unsigned channels) {
    return moves_.script().Cut(why, client, std::uint8_t(channels & 0x0F));
}

void PanelScriptTarget::dropScriptMoves(const QString& why, int client) {
    moves_.script().Drop(why, client);
}

bool PanelScriptTarget::stop(int ch, const QString& why) {
    if (!channel_.SendCommand(OperatorCommands::StopCommand(ch), Origin::Script)) {
        return false;
    }
    state_.Axes.stopWentOut(ch, why);
    return true;
}

void PanelScriptTarget::endDemo() {
    if (state_.DemoFlags & 0x0F) {
        state_.DemoFlags |= 16;
    }
}

bool PanelScriptTarget::speed(int k) {
    // The script's own line; the option then shows the speed the controller runs at, without
    // sending it a second time.
    if (!channel_.SendCommand(OperatorCommands::SpeedCommand(k), Origin::Script)) {
        return false;
    }
    state_.SpeedSelected = k;
    window_.showSpeed(k);
    return true;
}

bool PanelScriptTarget::hold(int ch, bool holdOff, const QString& why) {
    if (!channel_.SendCommand(OperatorCommands::HoldOffCommand(ch, holdOff), Origin::Script)) {
        return false;
    }
    if (holdOff) {
        state_.Axes.stopWentOut(ch, why);  // holding a channel off stops it
    }
    return true;
}

bool PanelScriptTarget::send(const QByteArray& text) {
    return channel_.SendCommand(text + "\r\n", Origin::Script);
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
