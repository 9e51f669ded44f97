#include "panelwatch.h"

#include <algorithm>
#include <cstdlib>

namespace {
std::optional<double> numberOf(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end == text.c_str() || *end != '\0') {
        return std::nullopt;
    }
    return value;
}
}  // namespace

PanelWatch::PanelWatch(PanelPort& port) : port_(port), thread_([this] { run(); }) {}

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
        wake_.wait_for(lock, reachable_ ? kPeriod : kRetry, [this] { return stopping_ || hurry_; });
        hurry_ = false;
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
    std::string line = "SYST:STAT?;CHAN?;SPE?";
    for (int ch : channels) {
        const char letter = char('A' + ch);
        line += std::string(";POS? ") + letter + ";STAT? " + letter + ";MOT? " + letter;
    }
    std::array<AxisSnapshot, 4> fresh{};
    std::uint64_t sequence = 0;
    try {
        const std::vector<std::string> answers =
            port_.exchange(line, 3 + 3 * int(channels.size()), &sequence);
        for (size_t i = 0; i < channels.size(); ++i) {
            AxisSnapshot& s = fresh[size_t(channels[i])];
            s.sequence = sequence;
            s.reachable = true;
            s.panelState = answers[0];
            s.channels = std::atoi(answers[1].c_str());
            s.speed = answers[2].empty() ? 'M' : answers[2][0];
            s.positionText = answers[3 + 3 * i];
            s.position = numberOf(s.positionText);
            // BUSY,CW,CCW,HP,HOLD,STOP; a channel the model lacks answers an empty line.
            const std::string& bits = answers[4 + 3 * i];
            const auto bit = [&bits](size_t k) { return bits.size() > 2 * k && bits[2 * k] == '1'; };
            s.busy = bit(0);
            s.cw = bit(1);
            s.ccw = bit(2);
            s.hp = bit(3);
            s.hold = bit(4);
            s.stop = bit(5);
            s.motion = answers[5 + 3 * i].empty() ? "NONE" : answers[5 + 3 * i];
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
