#include "sequencedmoves.h"

#include "colours.h"
#include "commandlink.h"
#include "mainview.h"
#include "panelstate.h"
#include "textfields.h"

namespace {
QString digit(int ch) {
    return QString(QChar(u'0' + ch));
}

const QString kDemoDrive = QStringLiteral("DEMO DRIVE");
const QString kDemoEnd = QStringLiteral("DEMO END");
}  // namespace

SequencedMoves::SequencedMoves(PanelState& state, MainView& view, CommandLink& link)
    : state_(state), view_(view), link_(link) {}

void SequencedMoves::send(const QString& command) {
    link_.SendCommand(command.toLatin1() + "\r\n");
}

QString SequencedMoves::MoveValueText(int ch) const {
    return ValueTextOf(view_.setData(ch));
}

QString SequencedMoves::ValueTextOf(const QString& text) const {
    if (state_.UsbModel) {
        QString value = text;
        return value.remove(u'+');
    }
    // The sign is decided on the value before rounding: -0.4 is below 0 and keeps its minus,
    // while -0 is not.
    const double value = TextFields::leadingNumber(text);
    const std::int64_t whole = TextFields::roundHalfAway(value);
    const QString padded = TextFields::signedPadded(whole, 7);
    return value < 0 && whole == 0 ? QLatin1Char('-') + padded.mid(1) : padded;
}

QString SequencedMoves::valueFor(int ch, const PanelState::ScriptMove& script) const {
    return (script.mask & (1u << ch)) ? ValueTextOf(script.value[ch]) : MoveValueText(ch);
}

QByteArray SequencedMoves::MoveCommand(int ch, bool absolute, const QString& value) const {
    const QString mark = view_.backlashTicked(ch) ? QStringLiteral("B") : QString();
    QString command;
    if (state_.UsbModel) {
        command = (absolute ? QStringLiteral("ABS") : QStringLiteral("REL")) + digit(ch) + mark + value;
    } else {
        const QString prefix = QStringLiteral("S3") + digit(2 + ch) + (absolute ? u'A' : u'R');
        command = prefix + value + mark;
    }
    return command.toLatin1() + "\r\n";
}

QByteArray SequencedMoves::RelMoveCommand(int ch) const {
    return MoveCommand(ch, false, MoveValueText(ch));
}
QByteArray SequencedMoves::AbsMoveCommand(int ch) const {
    return MoveCommand(ch, true, MoveValueText(ch));
}

void SequencedMoves::PresetStep() {
    for (int ch = 0; ch < 4; ++ch) {
        const std::uint16_t bit = std::uint16_t(1u << ch);
        if (state_.PresetMask & bit) {
            PanelState::ScriptMove& script = state_.ScriptPreset;
            const QString value = valueFor(ch, script);
            state_.ScriptSending = (script.mask & bit) != 0;
            send(state_.UsbModel ? QStringLiteral("PS") + digit(ch) + value
                                 : QStringLiteral("S39") + digit(ch) + u'9' + value);
            state_.ScriptSending = false;
            state_.PresetMask &= std::uint16_t(~bit);
            script.mask &= std::uint16_t(~bit);
        }
    }
}

void SequencedMoves::RelMoveStep() {
    MoveStep(state_.RelMoveFlags, false);
}
void SequencedMoves::AbsMoveStep() {
    MoveStep(state_.AbsMoveFlags, true);
}

void SequencedMoves::MoveStep(std::uint16_t& flags, bool absolute) {
    PanelState::ScriptMove& script = absolute ? state_.ScriptAbs : state_.ScriptRel;
    state_.ScriptSending = script.owned;
    if (flags & 0x80) {
        send(QStringLiteral("S3016"));
        flags = std::uint16_t((flags & 63) | 64);
    } else if (flags & 0x0F) {
        int ch = 0;
        while (!(flags & (1u << ch))) {
            ++ch;
        }
        link_.SendCommand(MoveCommand(ch, absolute, valueFor(ch, script)));
        flags &= std::uint16_t(~(1u << ch));
        script.mask &= std::uint16_t(~(1u << ch));
    } else if (flags & 0x40) {
        send(QStringLiteral("S3017"));
        flags &= 191;
    }
    state_.ScriptSending = false;
    if (flags == 0) {
        script = {};
    }
}

void SequencedMoves::RequestScriptPreset(const std::array<QString, 4>& values,
                                         const std::array<bool, 4>& given) {
    for (int ch = 0; ch < 4; ++ch) {
        if (given[ch]) {
            state_.ScriptPreset.value[ch] = values[ch];
            state_.ScriptPreset.mask |= std::uint16_t(1u << ch);
            state_.PresetMask |= std::uint16_t(1u << ch);
        }
    }
}

void SequencedMoves::RequestScriptMove(bool absolute, const std::array<QString, 4>& values,
                                       const std::array<bool, 4>& given) {
    // Built as Start builds it from the selection.
    std::uint16_t& flags = absolute ? state_.AbsMoveFlags : state_.RelMoveFlags;
    PanelState::ScriptMove& script = absolute ? state_.ScriptAbs : state_.ScriptRel;
    flags = 0;
    script = {};
    int count = 0;
    for (int ch = 0; ch < 4; ++ch) {
        if (given[ch]) {
            flags |= std::uint16_t(1u << ch);
            script.mask |= std::uint16_t(1u << ch);
            script.value[ch] = values[ch];
            ++count;
        }
    }
    if (count > 1) {
        flags += 128;
    }
    script.owned = flags != 0;
}

void SequencedMoves::CancelScriptRequests() {
    state_.PresetMask &= std::uint16_t(~state_.ScriptPreset.mask);
    state_.ScriptPreset = {};
    for (bool absolute : {false, true}) {
        PanelState::ScriptMove& script = absolute ? state_.ScriptAbs : state_.ScriptRel;
        if (script.owned) {
            (absolute ? state_.AbsMoveFlags : state_.RelMoveFlags) = 0;
        }
        script = {};
    }
}

bool SequencedMoves::ScriptPending(int ch) const {
    const std::uint16_t bit = std::uint16_t(1u << ch);
    return ((state_.ScriptPreset.mask | state_.ScriptRel.mask | state_.ScriptAbs.mask) & bit) != 0;
}

bool SequencedMoves::ScriptPending() const {
    return state_.ScriptPreset.mask != 0 || state_.ScriptRel.owned || state_.ScriptAbs.owned;
}

void SequencedMoves::DemoClicked() {
    if (!state_.Connected) {
        return;
    }
    if (state_.DemoFlags & 0x0F) {
        state_.DemoFlags |= 16;
        state_.DemoLegPending.fill(false);
        return;
    }
    for (int ch = 0; ch < 4; ++ch) {
        if (state_.ChannelSelected[ch] != 0 && !state_.ChannelBusy[ch]) {
            state_.DemoReverse[ch] = false;
            state_.DemoFlags |= std::uint8_t(1u << ch);
            view_.setDemoButton(kDemoEnd, Bgr::LightYellow);
            state_.DemoLegPending[ch] = false;
            state_.ChannelStopCondition[ch] = false;
            state_.DemoHaltMuted[ch] = true;
        }
    }
}

void SequencedMoves::DemoStep() {
    if (state_.DemoFlags & 16) {
        view_.setDemoButton(kDemoDrive, Bgr::ButtonFace);
        for (int ch = 0; ch < 4; ++ch) {
            if (state_.ChannelSelected[ch] != 0) {
                send(QStringLiteral("S3") + digit(ch) + QStringLiteral("40"));
            }
        }
        state_.DemoFlags = 0;
        return;
    }
    bool allIdle = true;
    if (view_.syncDemoTicked()) {
        for (int ch = 0; ch < 4; ++ch) {
            if (state_.ChannelBusy[ch]) {
                allIdle = false;
            }
        }
    }
    for (int ch = 0; ch < 4; ++ch) {
        const bool due = (state_.DemoFlags & (1u << ch)) && state_.ChannelSelected[ch] != 0 &&
                         !state_.DemoLegPending[ch] && !state_.ChannelBusy[ch] && allIdle;
        if (!due) {
            continue;
        }
        if (state_.ChannelStopCondition[ch] && !state_.DemoHaltMuted[ch]) {
            // A limit or soft-limit stop ends the drive on the next tick; higher channels that are
            // due still get their leg now.
            state_.DemoFlags |= 16;
            state_.DemoHaltMuted[ch] = true;
            continue;
        }
        QString leg;
        if (state_.DemoReverse[ch]) {
            leg = QStringLiteral("-") + MoveValueText(ch);
            leg.replace(QStringLiteral("--"), QStringLiteral("+"));
            state_.DemoReverse[ch] = false;
        } else {
            leg = MoveValueText(ch);
            state_.DemoReverse[ch] = true;
        }
        state_.DemoLegPending[ch] = true;
        send(QStringLiteral("REL") + digit(ch) + leg);
    }
}
