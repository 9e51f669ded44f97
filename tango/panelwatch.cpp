#include "panelwatch.h"

#include <algorithm>
#include <cstdlib>
#include <tuple>
#include <utility>

namespace {
constexpr size_t kAnswers = 5;  // per channel

// "0.500": written without the locale, which might put a comma there.
std::string seconds(std::chrono::milliseconds ms) {
    const std::string fraction = std::to_string(1000 + ms.count() % 1000).substr(1);
    return std::to_string(ms.count() / 1000) + "." + fraction;
}

std::optional<double> numberOf(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end == text.c_str() || *end != '\0') {
        return std::nullopt;
    }
    return value;
}

// Tango strings are Latin-1; the port speaks UTF-8. What Latin-1 lacks becomes "?".
std::string latin1(const std::string& utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += char(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size() &&
                   (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80) {
            out += char(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else if ((c & 0xC0) != 0x80) {
            out += '?';  // the lead byte of a character beyond Latin-1; its tail is skipped
        }
    }
    return out;
}
}  // namespace

std::string PanelWatch::unquoted(const std::string& answer) {
    if (answer.size() < 2 || answer.front() != '"' || answer.back() != '"') {
        return answer;
    }
    std::string text;
    for (size_t i = 1; i + 1 < answer.size(); ++i) {
        text += answer[i];
        if (answer[i] == '"' && answer[i + 1] == '"') {
            ++i;
        }
    }
    return text;
}

std::pair<double, std::string> PanelWatch::units(const std::string& answer) {
    const size_t comma = answer.find(',');
    const std::optional<double> scale = numberOf(answer.substr(0, comma));
    if (comma == std::string::npos || !scale || !(*scale > 0)) {
        return {0, ""};
    }
    return {*scale, latin1(unquoted(answer.substr(comma + 1)))};
}

PanelWatch::PanelWatch(const PanelPort::Settings& settings) : port_(settings), thread_([this] { run(); }) {}

PanelWatch::~PanelWatch() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

int PanelWatch::watch(int channel, Listener listener) {
    const std::lock_guard<std::mutex> lock(mutex_);
    watchers_.push_back(Watcher{nextToken_, channel, std::move(listener)});
    hurry_ = true;
    wake_.notify_all();
    return nextToken_++;
}

void PanelWatch::unwatch(int token, bool settle) {
    std::unique_lock<std::mutex> lock(mutex_);
    std::erase_if(watchers_, [token](const Watcher& w) { return w.token == token; });
    if (settle && std::this_thread::get_id() != thread_.get_id()) {
        told_.wait(lock, [this, token] { return telling_ != token; });
    }
}

void PanelWatch::hurry() {
    const std::lock_guard<std::mutex> lock(mutex_);
    hurry_ = true;
    wake_.notify_all();
}

void PanelWatch::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        lock.unlock();
        pollOnce();
        lock.lock();
        if (!reachable_ || watchers_.empty()) {
            wake_.wait_for(lock, kRetry, [this] { return stopping_ || hurry_; });
        } else if (!paced_) {
            wake_.wait_for(lock, kUnpaced, [this] { return stopping_; });
        }
    }
}

void PanelWatch::pollOnce() {
    std::vector<int> channels;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        for (const Watcher& w : watchers_) {
            if (std::find(channels.begin(), channels.end(), w.channel) == channels.end()) {
                channels.push_back(w.channel);
            }
        }
    }
    if (channels.empty()) {
        return;
    }
    bool now = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        now = std::exchange(hurry_, false);
    }
    // The queue of this connection holds only the refusals of queries for channels the model
    // lacks: emptied every time, read never.
    std::string line = "*CLS;WATCH? ";
    for (int ch : channels) {
        line += std::string(1, char('A' + ch)) + ",";
    }
    line += now ? "TIMEOUT=0.001" : "TIMEOUT=" + seconds(kHeartbeat);
    line += ";SYST:STAT?;CHAN?;SPE?";
    for (int ch : channels) {
        const char letter = char('A' + ch);
        line += std::string(";POS? ") + letter + ";STAT? " + letter + ";MOT? " + letter + ";MOT:REAS? " +
                letter + ";UNIT? " + letter;
    }
    std::array<AxisSnapshot, 4> fresh{};
    std::uint64_t sequence = 0;
    bool paced = false;
    try {
        const std::vector<std::string> answers =
            port_.exchange(line, 4 + kAnswers * int(channels.size()), &sequence, kHeartbeat);
        paced = answers[0] == "0" || answers[0] == "1";
        for (size_t i = 0; i < channels.size(); ++i) {
            AxisSnapshot& s = fresh[size_t(channels[i])];
            const auto answer = [&answers, i](size_t k) -> const std::string& {
                return answers[4 + kAnswers * i + k];
            };
            s.sequence = sequence;
            s.reachable = true;
            s.panelState = answers[1];
            s.channels = std::atoi(answers[2].c_str());
            s.speed = answers[3].empty() ? 'M' : answers[3][0];
            s.positionText = answer(0);
            s.position = numberOf(s.positionText);
            // BUSY,CW,CCW,HP,HOLD,STOP; a channel the model lacks answers an empty line.
            const std::string& bits = answer(1);
            const auto bit = [&bits](size_t k) { return bits.size() > 2 * k && bits[2 * k] == '1'; };
            s.busy = bit(0);
            s.cw = bit(1);
            s.ccw = bit(2);
            s.hp = bit(3);
            s.hold = bit(4);
            s.stop = bit(5);
            s.motion = answer(2).empty() ? "NONE" : answer(2);
            s.reason = latin1(unquoted(answer(3)));
            std::tie(s.stepsPerUnit, s.unit) = units(answer(4));
        }
    } catch (const PanelPort::Unreachable& e) {
        for (int ch : channels) {
            fresh[size_t(ch)].problem = e.what();
        }
    }
    std::vector<Watcher> watchers;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        reachable_ = fresh[size_t(channels.front())].reachable;
        paced_ = paced;
        watchers = watchers_;
    }
    // Listeners are told outside the lock: they push Tango events, which may take a while. One
    // unwatched meanwhile is skipped.
    for (const Watcher& w : watchers) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            const bool watching = std::any_of(watchers_.begin(), watchers_.end(),
                                              [&w](const Watcher& now) { return now.token == w.token; });
            if (!watching) {
                continue;
            }
            telling_ = w.token;
        }
        w.listener(fresh[size_t(w.channel)]);
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            telling_ = 0;
        }
        told_.notify_all();
    }
}
