#include "quitsignals.h"

#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace {

// A signal handler can reach nothing but what is global: the socket it writes to.
volatile std::sig_atomic_t handlerFd = -1;
struct sigaction previousTerm;
struct sigaction previousInt;

void onSignal(int signal) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(handlerFd, &byte, 1);
    errno = saved;
}

}  // namespace

QuitSignals::QuitSignals(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds_) != 0) {
        return;  // the panel still runs; a signal then ends it the default way
    }
    handlerFd = fds_[0];
    notifier_ = std::make_unique<QSocketNotifier>(fds_[1], QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &QuitSignals::read);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, &previousTerm);
    ::sigaction(SIGINT, &action, &previousInt);
}

QuitSignals::~QuitSignals() {
    if (handlerFd < 0) {
        return;
    }
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    ::sigaction(SIGINT, &previousInt, nullptr);
    handlerFd = -1;
    notifier_.reset();
    ::close(fds_[0]);
    ::close(fds_[1]);
}

void QuitSignals::read() {
    unsigned char byte = 0;
    unsigned char last = 0;
    while (::read(fds_[1], &byte, 1) == 1) {
        last = byte;
    }
    if (last != 0) {
        // A second signal while the panel winds down ends it the default way, should that hang.
        ::sigaction(SIGTERM, &previousTerm, nullptr);
        ::sigaction(SIGINT, &previousInt, nullptr);
        emit received(last);
    }
}
