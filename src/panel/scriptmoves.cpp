#include "scriptmoves.h"

#include "commandlink.h"
#include "sequencedmoves.h"

#include "operatorcommands.h"

#include <utility>
#include <vector>

ScriptMoves::ScriptMoves(PanelState& state, const SequencedMoves& builders, CommandLink& link)
    : state_(state), builders_(builders), link_(link) {}

void ScriptMoves::Request(MoveKind kind, const std::array<QString, 4>& values, const std::array<bool, 4>& cw,
                          const std::array<bool, 4>& given, int client) {
    PanelState::ScriptMoveWord word;
    word.kind = kind;
    word.client = client;
    word.cw = cw;
    const bool valued = kind == MoveKind::Preset || kind == MoveKind::Relative || kind == MoveKind::Absolute;
    int count = 0;
    for (int ch = 0; ch < 4; ++ch) {
        if (!given[ch]) {
            continue;
        }
        word.flags |= std::uint16_t(1u << ch);
        if (valued) {
            word.value[ch] = builders_.ValueTextOf(values[ch]);
        }
        word.move[ch] = state_.Axes.accept(
            ch, kind, valued ? SequencedMoves::ValueNumber(word.value[ch]) : std::nullopt, client);
        ++count;
    }
    // Bracketed as Start brackets a move of several channels; presets go out together anyway.
    if (count > 1 && (kind == MoveKind::Relative || kind == MoveKind::Absolute)) {
        word.flags += 128;
    }
    word.channels = std::uint8_t(word.flags & 0x0F);
    if (word.flags != 0) {
        state_.ScriptQueue.push_back(word);
    }
}

void ScriptMoves::forgetEnded() {
    std::deque<PanelState::ScriptMoveWord>& queue = state_.ScriptQueue;
    for (PanelState::ScriptMoveWord& w : queue) {
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
    }
    std::erase_if(queue, [](const PanelState::ScriptMoveWord& w) { return w.flags == 0; });
}

bool ScriptMoves::bracketOpen() const {
    return !state_.ScriptQueue.empty() && (state_.ScriptQueue.front().flags & 0xC0) == 0x40;
}

bool ScriptMoves::Pending() const {
    for (const PanelState::ScriptMoveWord& w : state_.ScriptQueue) {
        // A bracket left open by a lost session is closed by the next session's first tick; until
        // then nothing of it is under way, so no wait is held by it.
        if ((w.flags & 0x40) && state_.Connected) {
            return true;
        }
        for (int ch = 0; ch < 4; ++ch) {
            const AxisMove* move = (w.flags & (1u << ch)) ? state_.Axes.find(w.move[ch]) : nullptr;
            if (move != nullptr && move->active()) {
                return true;
            }
        }
    }
    return false;
}

std::uint8_t ScriptMoves::Channels() const {
    std::uint8_t channels = 0;
    for (const PanelState::ScriptMoveWord& w : state_.ScriptQueue) {
        channels |= w.channels;
    }
    return channels;
}

bool ScriptMoves::send(const QByteArray& command) {
    return link_.SendCommand(command, Origin::Script);
}

QByteArray ScriptMoves::motionCommand(const PanelState::ScriptMoveWord& w, int ch) const {
    switch (w.kind) {
        case MoveKind::Jog:
            return OperatorCommands::JogCommand(ch, w.cw[ch]);
        case MoveKind::Home:
            return OperatorCommands::HomeCommand(ch, w.cw[ch]);
        case MoveKind::Scan:
            return OperatorCommands::ScanCommand(ch, w.cw[ch]);
        case MoveKind::Preset:
            return builders_.PresetCommand(ch, w.value[ch]);
        case MoveKind::Relative:
        case MoveKind::Absolute:
            break;
    }
    return builders_.MoveCommand(ch, w.kind == MoveKind::Absolute, w.value[ch]);
}

// The word is brought up to date before each line goes out: a send that fails ends the session in
// a box whose event loop may take or cut other words meanwhile.
void ScriptMoves::Step() {
    forgetEnded();
    std::deque<PanelState::ScriptMoveWord>& queue = state_.ScriptQueue;
    if (queue.empty()) {
        return;
    }
    PanelState::ScriptMoveWord& w = queue.front();
    w.begun = true;
    const MoveKind kind = w.kind;
    const int client = w.client;
    struct Line {
        int ch = -1;
        QByteArray command;
        std::optional<qint64> value;
        bool held = false;
    };
    std::vector<Line> lines;
    bool closing = false;
    if (kind == MoveKind::Preset) {
        for (int ch = 0; ch < 4; ++ch) {
            if (w.flags & (1u << ch)) {
                lines.push_back({ch, motionCommand(w, ch), SequencedMoves::ValueNumber(w.value[ch]), false});
            }
        }
        w.flags &= std::uint16_t(~0x0Fu);
    } else if (w.flags & 0x80) {
        w.flags = std::uint16_t((w.flags & 63) | 64);
        lines.push_back({-1, "S3016\r\n", std::nullopt, false});
    } else if (w.flags & 0x0F) {
        int ch = 0;
        while (!(w.flags & (1u << ch))) {
            ++ch;
        }
        w.flags &= std::uint16_t(~(1u << ch));
        const bool valued = kind == MoveKind::Relative || kind == MoveKind::Absolute;
        lines.push_back({ch, motionCommand(w, ch),
                         valued ? SequencedMoves::ValueNumber(w.value[ch]) : std::nullopt,
                         (w.flags & 0x40) != 0});
    } else if (w.flags & 0x40) {
        w.flags &= 191;
        closing = true;
        lines.push_back({-1, "S3017\r\n", std::nullopt, false});
    }
    if (w.flags == 0) {
        queue.pop_front();
    }
    for (const Line& line : lines) {
        if (!send(line.command)) {
            return;
        }
        if (line.ch >= 0) {
            state_.Axes.wentOut(line.ch, Origin::Script, kind, line.value, line.held, client);
        }
    }
    if (closing) {
        state_.Axes.bracketClosed();
    }
}

bool ScriptMoves::Cut(const QString& why, int client, std::uint8_t channels) {
    // Out of the queue before anything is sent: the closing line may open a box.
    std::vector<PanelState::ScriptMoveWord> cut;
    bool close = false;
    std::deque<PanelState::ScriptMoveWord>& queue = state_.ScriptQueue;
    for (size_t i = 0; i < queue.size();) {
        const PanelState::ScriptMoveWord& w = queue[i];
        // The first word's bracket is open: anything sent next would be held inside it.
        const bool open = i == 0 && (w.flags & 0xC0) == 0x40;
        if (open || ((client == 0 || w.client == client) && (w.channels & channels))) {
            close = close || open;
            cut.push_back(w);
            queue.erase(queue.begin() + std::ptrdiff_t(i));
        } else {
            ++i;
        }
    }
    for (const PanelState::ScriptMoveWord& w : cut) {
        for (int ch = 0; ch < 4; ++ch) {
            if (w.flags & (1u << ch)) {
                state_.Axes.drop(w.move[ch], Outcome::Stopped, why);
            }
        }
    }
    // The controller holds what was sent inside the bracket until "S3017", which goes out
    // before anything else.
    if (close) {
        if (!link_.SendCommand("S3017\r\n", Origin::Script)) {
            return false;
        }
        state_.Axes.bracketClosed();
    }
    return true;
}

void ScriptMoves::Drop(const QString& why) {
    std::deque<PanelState::ScriptMoveWord>& queue = state_.ScriptQueue;
    for (PanelState::ScriptMoveWord& w : queue) {
        for (int ch = 0; ch < 4; ++ch) {
            if (w.flags & (1u << ch)) {
                state_.Axes.drop(w.move[ch], Outcome::Stopped, why);
            }
        }
        // Only the closing line of a bracket that has gone out is left to send.
        w.flags &= 0x40;
    }
    std::erase_if(queue, [](const PanelState::ScriptMoveWord& w) { return w.flags == 0; });
}

bool ScriptMoves::YieldTo(std::uint8_t channels, const QString& why) {
    return Cut(why, 0, channels);
}
