#include "panelport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {
// Every answer comes within a few milliseconds; a panel that takes this long is gone or frozen.
constexpr std::chrono::milliseconds kAnswerTimeout{3000};

// The order of exchanges across every connection of the server.
std::atomic<std::uint64_t> exchanges{0};

std::string where(int port) {
    return "127.0.0.1:" + std::to_string(port);
}
}  // namespace

PanelPort::PanelPort(Settings settings) : settings_(std::move(settings)) {}

PanelPort::~PanelPort() {
    close();
}

std::string PanelPort::defaultTokenFile() {
    // The panel's choice: $XDG_RUNTIME_DIR when it is a folder fit for it (the user's own, mode
    // 700, not a link), else its own folder motor-panel-<uid> in $TMPDIR or /tmp.
    const std::string name = "/motor-panel-automation.token";
    struct stat st = {};
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && runtime[0] == '/' && ::lstat(runtime, &st) == 0 && S_ISDIR(st.st_mode) &&
        st.st_uid == ::geteuid() && (st.st_mode & 0777) == 0700) {
        return runtime + name;
    }
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/motor-panel-" +
           std::to_string(::geteuid()) + name;
}

void PanelPort::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    buffer_.clear();
}

void PanelPort::open() {
    std::ifstream file(settings_.tokenFile);
    std::string token;
    if (!file || !std::getline(file, token) || token.empty()) {
        throw Unreachable("the panel's token file " + settings_.tokenFile + " cannot be read");
    }
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(settings_.port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd_ < 0 || ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        const std::string why = std::strerror(errno);
        close();
        throw Unreachable("the panel cannot be reached on " + where(settings_.port) + ": " + why);
    }
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
    // A token the panel refuses leaves the query after it unanswered: its line comes back empty.
    writeAll("SYST:AUTH \"" + token + "\";CONN?\n");
    if (readLine(std::chrono::steady_clock::now() + kAnswerTimeout).empty()) {
        close();
        throw Unreachable("the panel refused the token in " + settings_.tokenFile);
    }
}

void PanelPort::writeAll(const std::string& text) {
    for (size_t sent = 0; sent < text.size();) {
        const ssize_t n = ::send(fd_, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            const std::string why = std::strerror(errno);
            close();
            throw Unreachable("the panel on " + where(settings_.port) + " went away: " + why);
        }
        sent += size_t(n);
    }
}

std::string PanelPort::readLine(std::chrono::steady_clock::time_point deadline) {
    while (true) {
        if (const size_t lf = buffer_.find('\n'); lf != std::string::npos) {
            std::string line = buffer_.substr(0, lf);
            buffer_.erase(0, lf + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd wait{fd_, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&wait, 1, int(left.count())) <= 0) {
            close();
            throw Unreachable("the panel on " + where(settings_.port) + " does not answer");
        }
        char chunk[4096];
        const ssize_t n = ::recv(fd_, chunk, sizeof(chunk), 0);
        if (n <= 0) {
            close();
            throw Unreachable("the panel on " + where(settings_.port) + " closed the connection");
        }
        buffer_.append(chunk, size_t(n));
    }
}

std::vector<std::string> PanelPort::exchangeLocked(const std::string& line, int answers,
                                                   std::chrono::milliseconds wait) {
    if (fd_ >= 0) {
        // Nothing comes unasked on these connections: one that reads now was closed by a panel
        // that went away while it lay idle (restarted since, maybe). Opened afresh, the line
        // goes to the panel that is there instead of failing on the dead socket.
        pollfd idle{fd_, POLLIN, 0};
        char c = 0;
        if (::poll(&idle, 1, 0) > 0 && ::recv(fd_, &c, 1, MSG_PEEK | MSG_DONTWAIT) <= 0) {
            close();
        }
    }
    if (fd_ < 0) {
        open();
    }
    writeAll(line + "\n");
    const auto deadline = std::chrono::steady_clock::now() + kAnswerTimeout + wait;
    std::vector<std::string> lines;
    for (int i = 0; i < answers; ++i) {
        lines.push_back(readLine(deadline));
    }
    return lines;
}

std::vector<std::string> PanelPort::exchange(const std::string& line, int answers, std::uint64_t* sequence,
                                             std::chrono::milliseconds wait) {
    const std::lock_guard<std::mutex> turn(mutex_);
    if (sequence != nullptr) {
        *sequence = ++exchanges;
    }
    return exchangeLocked(line, answers, wait);
}

std::string PanelPort::command(const std::string& commands, std::uint64_t* sequence) {
    const std::lock_guard<std::mutex> turn(mutex_);
    // The queue holds at most a few dozen entries: the loop ends, whatever the panel says.
    std::string entry = exchangeLocked("*CLS;" + commands + ";SYST:ERR?", 1).front();
    std::string refusal;
    for (int i = 0; i < 64 && entry.rfind("0,", 0) != 0; ++i) {
        const int code = std::atoi(entry.c_str());
        if (refusal.empty() && code > -300) {
            refusal = entry.empty() ? std::string("an empty answer") : entry;
        }
        entry = exchangeLocked("SYST:ERR?", 1).front();
    }
    if (sequence != nullptr) {
        *sequence = ++exchanges;
    }
    return refusal;
}
