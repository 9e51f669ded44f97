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
// a box whose event loop may take or cut other words meanwhile. A send that succeeds runs no event
// loop, so after it the word that went out is still the first.
void ScriptMoves::Step() {
    forgetEnded();
    std::deque<PanelState::ScriptMoveWord>& queue = state_.ScriptQueue;
    if (queue.empty()) {
        return;
    }
    PanelState::ScriptMoveWord& w = queue.front();
    w.begun = true;
    if (w.flags & 0x0F) {
        // A channel set moving since the word was taken (the operator's button, a line sent as
        // text) would drop the command: the word's move of it never runs.
        for (int ch = 0; ch < 4; ++ch) {
            if ((w.flags & (1u << ch)) && state_.Axes.running(ch)) {
                w.flags &= std::uint16_t(~(1u << ch));
                state_.Axes.drop(
                    w.move[ch], Outcome::Stopped,
                    QStringLiteral("%1 was set moving before its turn came").arg(QChar(u'A' + ch)));
            }
        }
        if ((w.flags & 0x8F) == 0x80 || w.flags == 0) {
            queue.pop_front();
            return;
        }
    }
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
        const bool held = (w.flags & 0x40) != 0;
        w.held |= std::uint8_t(held ? 1u << ch : 0u);
        const bool valued = kind == MoveKind::Relative || kind == MoveKind::Absolute;
        lines.push_back({ch, motionCommand(w, ch),
                         valued ? SequencedMoves::ValueNumber(w.value[ch]) : std::nullopt, held});
    } else if (w.flags & 0x40) {
        // The word stays first until its closing line has gone out. A move held inside the bracket
        // whose record has ended meanwhile (dropped, or ended with a lost session) must not start
        // with it: a stop withdraws it first.
        closing = true;
        for (int ch = 0; ch < 4; ++ch) {
            const AxisMove* move = (w.held & (1u << ch)) ? state_.Axes.find(w.move[ch]) : nullptr;
            if ((w.held & (1u << ch)) && (move == nullptr || !move->active())) {
                lines.push_back({-1, OperatorCommands::StopCommand(ch), std::nullopt, false});
            }
        }
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
        queue.pop_front();
        state_.Axes.bracketClosed();
    }
}

bool ScriptMoves::Cut(const QString& why, int client, std::uint8_t channels) {
    return cut(why, client, channels, false);
}

bool ScriptMoves::YieldTo(std::uint8_t channels, const QString& why) {
    // The operator's own request may open a bracket: one of a script's must be closed first.
    return cut(why, 0, channels, true);
}

bool ScriptMoves::cut(const QString& why, int client, std::uint8_t channels, bool openToo) {
    // Out of the queue before anything is sent: the closing line may open a box.
    std::vector<PanelState::ScriptMoveWord> cut;
    std::optional<PanelState::ScriptMoveWord> closer;
    std::deque<PanelState::ScriptMoveWord>& queue = state_.ScriptQueue;
    for (size_t i = 0; i < queue.size();) {
        const PanelState::ScriptMoveWord& w = queue[i];
        const bool open = i == 0 && (w.flags & 0xC0) == 0x40;
        if ((open && openToo) || ((client == 0 || w.client == client) && (w.channels & channels))) {
            if (open) {
                // What went out inside it starts at the closing line, and the stops follow.
                closer = w;
                closer->flags = 0x40;
            }
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
    if (closer) {
        // Kept first until the closing line is out, so a failed one is closed by the next session.
        queue.push_front(*closer);
        if (!link_.SendCommand("S3017\r\n", Origin::Script)) {
            return false;
        }
        queue.pop_front();
        state_.Axes.bracketClosed();
    }
    return true;
}

void ScriptMoves::Drop(const QString& why, int client) {
    std::deque<PanelState::ScriptMoveWord>& queue = state_.ScriptQueue;
    for (PanelState::ScriptMoveWord& w : queue) {
        if (client != 0 && w.client != client) {
            continue;
        }
        // Its unsent channels and those held in its bracket: the closing line withdraws the latter.
        for (int ch = 0; ch < 4; ++ch) {
            if ((w.flags | w.held) & (1u << ch)) {
                state_.Axes.drop(w.move[ch], Outcome::Stopped, why);
            }
        }
        w.flags &= 0x40;
    }
    std::erase_if(queue, [](const PanelState::ScriptMoveWord& w) { return w.flags == 0; });
}
