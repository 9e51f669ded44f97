#include "testpty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QThread>

TestPty::TestPty() {
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    termios tio{};
    tcgetattr(slave_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
    path_ = QString::fromLocal8Bit(name);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

TestPty::~TestPty() {
    closeMaster();
    if (slave_ >= 0) {
        ::close(slave_);
    }
}

void TestPty::write(const QByteArray& bytes) {
    qsizetype done = 0;
    while (master_ >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else {
            QThread::msleep(1);
        }
    }
}

QByteArray TestPty::read(int atLeast, int ms) {
    QByteArray out;
    QElapsedTimer clock;
    clock.start();
    while (master_ >= 0 && out.size() < atLeast && clock.elapsed() < ms) {
        pollfd p{master_, POLLIN, 0};
        if (::poll(&p, 1, 10) > 0 && (p.revents & POLLIN)) {
            char buf[4096];
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) {
                out.append(buf, n);
            }
        }
    }
    return out;
}

void TestPty::closeMaster() {
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
}
