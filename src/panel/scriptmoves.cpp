#include "scriptmoves.h"

#include "commandlink.h"
#include "sequencedmoves.h"

#include <utility>

ScriptMoves::ScriptMoves(PanelState& state, const SequencedMoves& builders, CommandLink& link)
    : state_(state), builders_(builders), link_(link) {}

void ScriptMoves::Request(MoveKind kind, const std::array<QString, 4>& values,
                          const std::array<bool, 4>& given, int client) {
    PanelState::ScriptMoveWord word;
    word.kind = kind;
    word.client = client;
    int count = 0;
    for (int ch = 0; ch < 4; ++ch) {
        if (!given[ch]) {
            continue;
        }
        word.flags |= std::uint16_t(1u << ch);
        word.value[ch] = builders_.ValueTextOf(values[ch]);
        word.move[ch] = state_.Axes.accept(ch, kind, SequencedMoves::ValueNumber(word.value[ch]), client);
        ++count;
    }
    // Bracketed as Start brackets a move of several channels; presets go out together anyway.
    if (count > 1 && kind != MoveKind::Preset) {
        word.flags += 128;
    }
    word.channels = std::uint8_t(word.flags & 0x0F);
    state_.ScriptMove = word;
}

void ScriptMoves::forgetEnded() {
    PanelState::ScriptMoveWord& w = state_.ScriptMove;
    for (int ch = 0; ch < 4; ++ch) {
        if (!(w.flags & (1u << ch))) {
            continue;
        }
        const AxisMove* move = state_.Axes.find(w.move[ch]);
        if (move == nullptr || !move->active()) {
            w.flags &= std::uint16_t(~(1u << ch));
        }
    }
    // An opening bracket with nothing left to open it for is not sent.
    if ((w.flags & 0x8F) == 0x80) {
        w.flags = 0;
    }
    if (w.flags == 0) {
        w = {};
    }
}

bool ScriptMoves::Pending() const {
    const PanelState::ScriptMoveWord& w = state_.ScriptMove;
    // A bracket left open by a lost session is closed by the next session's first tick; until
    // then nothing of it is under way, so no wait is held by it.
    if ((w.flags & 0x40) && state_.Connected) {
        return true;
    }
    for (int ch = 0; ch < 4; ++ch) {
        if (!(w.flags & (1u << ch))) {
            continue;
        }
        const AxisMove* move = state_.Axes.find(w.move[ch]);
        if (move != nullptr && move->active()) {
            return true;
        }
    }
    return false;
}

std::uint8_t ScriptMoves::Channels() const {
    return state_.ScriptMove.channels;
}

bool ScriptMoves::send(const QByteArray& command) {
    state_.ScriptMove.begun = true;
    return link_.SendCommand(command, Origin::Script);
}

void ScriptMoves::Step() {
    forgetEnded();
    PanelState::ScriptMoveWord& w = state_.ScriptMove;
    const MoveKind kind = w.kind;
    if (kind == MoveKind::Preset) {
        for (int ch = 0; ch < 4 && (w.flags & 0x0F); ++ch) {
            if (w.flags & (1u << ch)) {
                w.flags &= std::uint16_t(~(1u << ch));
                if (!send(builders_.PresetCommand(ch, w.value[ch]))) {
                    break;
                }
                state_.Axes.wentOut(ch, Origin::Script, kind, SequencedMoves::ValueNumber(w.value[ch]), false,
                                    w.client);
            }
        }
    } else if (w.flags & 0x80) {
        w.flags = std::uint16_t((w.flags & 63) | 64);
        send("S3016\r\n");
    } else if (w.flags & 0x0F) {
        int ch = 0;
        while (!(w.flags & (1u << ch))) {
            ++ch;
        }
        w.flags &= std::uint16_t(~(1u << ch));
        if (send(builders_.MoveCommand(ch, kind == MoveKind::Absolute, w.value[ch]))) {
            state_.Axes.wentOut(ch, Origin::Script, kind, SequencedMoves::ValueNumber(w.value[ch]),
                                (w.flags & 0x40) != 0, w.client);
        }
    } else if (w.flags & 0x40) {
        w.flags &= 191;
        if (send("S3017\r\n")) {
            state_.Axes.bracketClosed();
        }
    }
    if (state_.ScriptMove.flags == 0) {
        state_.ScriptMove = {};
    }
}

bool ScriptMoves::Cut(const QString& why) {
    PanelState::ScriptMoveWord w = std::exchange(state_.ScriptMove, {});
    if (w.flags == 0) {
        return true;
    }
    for (int ch = 0; ch < 4; ++ch) {
        if (w.flags & (1u << ch)) {
            state_.Axes.drop(w.move[ch], Outcome::Stopped, why);
        }
    }
    // The opening bracket went out and the closing one did not: the controller holds what was
    // sent inside it until "S3017", which goes out before anything else.
    if ((w.flags & 0xC0) == 0x40) {
        if (!link_.SendCommand("S3017\r\n", Origin::Script)) {
            return false;
        }
        state_.Axes.bracketClosed();
    }
    return true;
}

bool ScriptMoves::YieldTo(std::uint8_t channels, const QString& why) {
    const PanelState::ScriptMoveWord& w = state_.ScriptMove;
    if (w.flags == 0 || !(w.begun || (w.channels & channels))) {
        return true;
    }
    return Cut(why);
}
