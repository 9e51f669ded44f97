#include "replyinterpreter.h"

#include "colours.h"
#include "panelstate.h"
#include "panelview.h"
#include "statusreplies.h"
#include "tablereplies.h"

namespace {
enum class Model { Runel, Vasko, Kelda };

const QString kDashes = QStringLiteral("-----------");
}  // namespace

ReplyInterpreter::ReplyInterpreter(PanelState& state, PanelView& view) : state_(state), view_(view) {}

QByteArray ReplyInterpreter::Clean(const QByteArray& reply) {
    QByteArray cleaned = reply;
    cleaned.replace("\r\n", "");
    return cleaned;
}

int ReplyInterpreter::NextPollStep(int step, bool usbModel, bool fourChModel) {
    switch (step) {
        case 0:
        case 1:
        case 2:
        case 3:
            return step + 10;
        case 10:
            return 1;
        case 11:
            return fourChModel ? 2 : 0;
        case 12:
            return 3;
        case 13:
            return 0;
        case 4:
            return 5;
        case 5:
            return usbModel ? 20 : 0;
        case 20:
            return 21;
        case 21:
            return fourChModel ? 22 : 20;
        case 22:
            return 23;
        case 23:
            return 20;
        default:
            return step;
    }
}

QByteArray ReplyInterpreter::TakeVerdicts(const QByteArray& reply) {
    bool awaited = state_.AwaitingReply != 0;
    bool taken = false;
    QByteArray rest;
    for (qsizetype from = 0; from < reply.size();) {
        const qsizetype lf = reply.indexOf('\n', from);
        const qsizetype end = lf < 0 ? reply.size() : lf + 1;
        const QByteArray line = reply.mid(from, end - from);
        from = end;
        const QByteArray bare = line.endsWith("\r\n") ? line.chopped(2) : QByteArray();
        if (state_.Axes.takeVerdict(bare, awaited)) {
            taken = true;
            continue;
        }
        rest += line;
        // Replies come in order: once the awaited query's reply has gone by, a verdict after it
        // answers a command sent after that query.
        awaited = awaited && line.trimmed().isEmpty();
    }
    return taken ? rest : reply;
}

void ReplyInterpreter::InterpretReply(const QByteArray& reply) {
    if (state_.TableReading) {
        if (table_ != nullptr) {
            StoreTableReply(state_, *table_, Clean(reply));
        }
        CloseReply();
        return;
    }

    // A refusal or acknowledgement of a command (not of the awaited query) is that command's,
    // never a poll reply: the rotation is left as it is, also when it came joined to one.
    const QByteArray withoutVerdicts = TakeVerdicts(reply);
    if (withoutVerdicts.isEmpty()) {
        return;
    }
    QByteArray text = Clean(withoutVerdicts);

    if (text.contains("SRQ")) {
        view_.setReceiveText(QStringLiteral("SRQ code received !"));
        state_.ReplyWaitTicks = 0;
        for (const char* marker : {"SRQAB", "SRQA", "SRQB", "SRQ"}) {
            text.replace(marker, "");
        }
        if (text.isEmpty()) {
            state_.AwaitingReply = 0;
            return;
        }
    }

    if (state_.PollStep == 4 && text.size() <= 9) {
        // Too short for a version: asked again at the next tick, the rotation stays put.
        state_.ReplyWaitTicks = 0;
        state_.AwaitingReply = 0;
        return;
    }

    const bool recognised = Dispatch(text);
    state_.PollStep = recognised ? NextPollStep(state_.PollStep, state_.UsbModel, state_.FourChModel) : 0;
    state_.Axes.queryAnswered();
    CloseReply();
}

bool ReplyInterpreter::Dispatch(const QByteArray& reply) {
    const int step = state_.PollStep;
    const qsizetype length = reply.size();
    if (step >= 0 && step <= 3 && length >= 8) {
        StatusReplies::Position(state_, view_, reply, step);
    } else if (step >= 20 && step <= 23 && length >= 14) {
        StatusReplies::StatusAndPosition(state_, view_, reply, step - 20);
    } else if (step >= 10 && step <= 13 && length <= 5) {
        StatusReplies::Lamps(state_, view_, reply, step - 10);
    } else if (AxisBook::isRefusal(reply) && (step == 5 || (step >= 20 && step <= 23))) {
        // The controller refused the query itself. Taken as not recognised it would drop a USB
        // controller into the other dialect's rotation for good; the rotation goes on instead.
    } else if (step == 4) {
        IdentifyModel(reply);
    } else if (step == 5 && length == (state_.FourChModel ? 9 : 7)) {
        SpeedReport(reply);
    } else if (step == 6) {
        if (state_.ScriptAskState == PanelState::ScriptAsk::Sent) {
            state_.ScriptAskReply = reply;
            state_.ScriptAskState = PanelState::ScriptAsk::Answered;
        } else {
            view_.setReceiveText(QString::fromLatin1(reply));
        }
    } else {
        return false;
    }
    return true;
}

void ReplyInterpreter::IdentifyModel(const QByteArray& reply) {
    state_.Firmware = QString::fromLatin1(reply);
    view_.setFirmwareLine(QStringLiteral("Firmware Version  ") + state_.Firmware);
    const QByteArray upper = reply.toUpper();
    const Model model = upper.contains("RUNEL")   ? Model::Runel
                        : upper.contains("VASKO") ? Model::Vasko
                                                  : Model::Kelda;

    // Applied in the order the model table lists its columns.
    switch (model) {
        case Model::Runel:
            view_.setModelTitle(QStringLiteral("RUNEL-01 2CH PULSE MOTOR CONTROLLER"));
            break;
        case Model::Vasko:
            view_.setModelTitle(QStringLiteral("VASKO-01 4CH PULSE MOTOR CONTROLLER"));
            break;
        case Model::Kelda:
            view_.setModelTitle(QStringLiteral("KELDA-01 2CH PULSE MOTOR CONTROLLER"));
            break;
    }
    if (model != Model::Vasko) {
        view_.setPosition(2, kDashes);
        view_.setPosition(3, kDashes);
    }
    state_.UsbModel = model != Model::Kelda;
    state_.FourChModel = model == Model::Vasko;
    view_.setDemoControlsVisible(model != Model::Kelda);
    state_.LastChannel = model == Model::Vasko ? 3 : 1;
    if (model == Model::Kelda) {
        view_.setChannelFontSize(0, 18);
        view_.setChannelFontSize(1, 18);
    } else {
        for (int ch = 0; ch < 4; ++ch) {
            view_.setChannelFontSize(ch, 12);
        }
    }
    for (int ch = 2; ch <= 3; ++ch) {
        if (model == Model::Vasko) {
            view_.setChannelEnabled(ch, true);
        } else {
            view_.setChannelEnabled(ch, false);
            state_.ChannelSelected[ch] = 0;
            view_.setChannelColour(ch, Bgr::ButtonFace);
        }
    }
}

void ReplyInterpreter::SpeedReport(const QByteArray& reply) {
    const char sixth = reply.at(5);
    view_.selectSpeed(sixth == '1' ? 2 : sixth == '2' ? 1 : 0);
}

void ReplyInterpreter::CloseReply() {
    state_.TimeoutCount = 0;
    state_.ReplyWaitTicks = 0;
    state_.AwaitingReply = 0;
}
