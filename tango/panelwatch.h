#pragma once

#include "panelport.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// What the port last said of one channel, and of the panel around it.
struct AxisSnapshot {
    bool reachable = false;
    std::string problem;       // why the panel cannot be reached, when it cannot
    std::string panelState;    // SYST:STAT?: READY, NO SESSION, SETUP OPEN, SCRIPTS ABORTED
    int channels = 0;          // of the identified model
    char speed = 'M';          // H, M or L, one for the whole controller
    std::string positionText;  // as the panel shows it
    std::optional<double> position;
    bool busy = false, cw = false, ccw = false, hp = false, hold = false, stop = false;
    std::string motion = "NONE";  // MOT?: NONE, MOVING, DONE, STOPPED, LIMIT, ERROR
    std::string reason;           // MOT:REAS?: why the last move ended short, "" when it did not
    double stepsPerUnit = 0;      // UNIT?: the operator's scale, 0 for none
    std::string unit;             // and its name, in Latin-1 as Tango strings are
    std::uint64_t sequence = 0;   // the exchange it came from
};

// Follows the panel through its port on a connection of its own, at the pace of the panel's
// news: one line waits (WATCH?) until anything of the watched channels changes, then reads the
// panel's state and every watched channel's position, switches, motion, its reason and units, and
// each listener hears the channel's new snapshot. With no news the line comes back every half
// second all the same. A panel that cannot be reached is tried again every second.
class PanelWatch {
public:
    // A quoted answer of the port ("A stopped at ...", a doubled quote inside) as its text.
    static std::string unquoted(const std::string& answer);
    // UNIT?'s answer, `400,"mm"`: the scale (0 when none or garbled) and the name in Latin-1.
    static std::pair<double, std::string> units(const std::string& answer);

    static constexpr std::chrono::milliseconds kHeartbeat{500};
    // Between lines when the panel answers WATCH? without waiting (a panel from before it):
    // then the watch asks at this pace, as it used to.
    static constexpr std::chrono::milliseconds kUnpaced{20};
    static constexpr std::chrono::milliseconds kRetry{1000};
    using Listener = std::function<void(const AxisSnapshot&)>;

    explicit PanelWatch(const PanelPort::Settings& settings);
    ~PanelWatch();

    // Channel 0..3; the listener is called from the watch's own thread.
    int watch(int channel, Listener listener);
    // The listener is not called again. With `settle`, unwatch also waits for a call of it that
    // the watch thread is making right now (the listener's owner is about to go); a listener that
    // unwatches itself is never waited for.
    void unwatch(int token, bool settle = false);
    // A command went out: the next line reads at once instead of waiting for news, since the line
    // under way may have read the panel just before the command took effect.
    void hurry();

private:
    struct Watcher {
        int token;
        int channel;
        Listener listener;
    };
    void run();
    void pollOnce();

    PanelPort port_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable told_;  // a listener's call has ended
    std::vector<Watcher> watchers_;
    int telling_ = 0;  // the token whose listener is being called
    int nextToken_ = 1;
    bool hurry_ = false;
    bool reachable_ = false;
    bool paced_ = false;  // the panel's WATCH? paced the last line
    bool stopping_ = false;
    std::thread thread_;
};
