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
    : state_(state), view_(view), link_(link), script_(state, *this, link) {}

bool SequencedMoves::send(const QString& command, Origin origin) {
    return link_.SendCommand(command.toLatin1() + "\r\n", origin);
}

std::optional<qint64> SequencedMoves::ValueNumber(const QString& value) {
    if (!TextFields::isNumeric(value)) {
        return std::nullopt;
    }
    return TextFields::roundHalfAway(TextFields::leadingNumber(value));
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

QByteArray SequencedMoves::PresetCommand(int ch, const QString& value) const {
    const QString command = state_.UsbModel ? QStringLiteral("PS") + digit(ch) + value
                                            : QStringLiteral("S39") + digit(ch) + u'9' + value;
    return command.toLatin1() + "\r\n";
}

void SequencedMoves::PresetStep() {
    for (int ch = 0; ch < 4; ++ch) {
        const std::uint16_t bit = std::uint16_t(1u << ch);
        if (state_.PresetMask & bit) {
            const QString value = MoveValueText(ch);
            if (link_.SendCommand(PresetCommand(ch, value), Origin::Operator)) {
                state_.Axes.wentOut(ch, Origin::Operator, MoveKind::Preset, ValueNumber(value), false);
            }
            state_.PresetMask &= std::uint16_t(~bit);
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
    if (flags & 0x80) {
        send(QStringLiteral("S3016"), Origin::Operator);
        flags = std::uint16_t((flags & 63) | 64);
    } else if (flags & 0x0F) {
        int ch = 0;
        while (!(flags & (1u << ch))) {
            ++ch;
        }
        const QString value = MoveValueText(ch);
        if (link_.SendCommand(MoveCommand(ch, absolute, value), Origin::Operator)) {
            state_.Axes.wentOut(ch, Origin::Operator, absolute ? MoveKind::Absolute : MoveKind::Relative,
                                ValueNumber(value), (flags & 0x40) != 0);
        }
        flags &= std::uint16_t(~(1u << ch));
    } else if (flags & 0x40) {
        if (send(QStringLiteral("S3017"), Origin::Operator)) {
            state_.Axes.bracketClosed();
        }
        flags &= 191;
    }
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
            if (state_.ChannelSelected[ch] != 0 &&
                send(QStringLiteral("S3") + digit(ch) + QStringLiteral("40"), Origin::Demo)) {
                state_.Axes.stopWentOut(ch, QStringLiteral("the demonstration drive ended"));
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
        if (send(QStringLiteral("REL") + digit(ch) + leg, Origin::Demo)) {
            state_.Axes.wentOut(ch, Origin::Demo, MoveKind::Relative, ValueNumber(leg), false);
        }
    }
}
