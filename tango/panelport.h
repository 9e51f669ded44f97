#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

// The Tango server's one connection to a running panel's automation port on this machine. It
// connects and authenticates when first needed, and again after the panel went away (reading the
// token file afresh, so a restarted panel's new token is taken). Every call is one line out and
// its answers back; calls from several threads take turns.
class PanelPort {
public:
    struct Settings {
        int port = 5025;
        std::string tokenFile;
    };
    // Why the panel could not be reached or would not serve: the text a client is shown.
    class Unreachable : public std::runtime_error {
    public:
        using std::runtime_error::runtime_error;
    };

    explicit PanelPort(Settings settings);
    ~PanelPort();
    PanelPort(const PanelPort&) = delete;
    PanelPort& operator=(const PanelPort&) = delete;

    // Sends `line` (commands joined by ";") and returns the `answers` lines it draws. Throws
    // Unreachable when the panel cannot be reached, refuses the token or stops answering (within
    // `wait` beyond the usual few ms); the connection is then dropped, and the next call tries
    // afresh. `sequence`, when given, receives the place of the line's sending in one order kept
    // across every connection: what it read is older than a command placed after it.
    std::vector<std::string> exchange(const std::string& line, int answers, std::uint64_t* sequence = nullptr,
                                      std::chrono::milliseconds wait = {});

    // Sends `commands` and returns why the panel refused them: the first entry they left in the
    // connection's error queue that refuses a command (-1xx, -2xx), or "" when none did. The queue
    // is emptied first; entries that are the outcomes of moves (-300, and -350 for a full queue)
    // are not refusals and are passed over, so a Stop is not failed by the end of the move it
    // stopped, whichever device's move that was. `sequence` receives the place of its answer in
    // the order of all exchanges: what a line sent after it reads is newer than the command.
    std::string command(const std::string& commands, std::uint64_t* sequence = nullptr);

    // The default token file of the panel: motor-panel-automation.token in the runtime folder.
    static std::string defaultTokenFile();

private:
    void open();
    void close();
    void writeAll(const std::string& text);
    std::string readLine(std::chrono::steady_clock::time_point deadline);
    std::vector<std::string> exchangeLocked(const std::string& line, int answers,
                                            std::chrono::milliseconds wait = {});

    Settings settings_;
    std::mutex mutex_;
    int fd_ = -1;
    std::string buffer_;
};
