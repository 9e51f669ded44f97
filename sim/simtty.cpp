#include "simtty.h"

#include "simcontroller.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <cerrno>
#include <cstring>

namespace {
// Output nobody reads is not kept beyond this: a real device's buffer overruns too.
constexpr qsizetype kMaxPending = 64 * 1024;
// Time for the last reply to drain before a hang-up closes the line.
constexpr int kHangUpDrainMs = 50;
constexpr int kSerialReopenMs = 500;

QString errnoText() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

bool makeRaw(int fd, speed_t speed) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) {
        return false;
    }
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD | HUPCL;
    t.c_cflag &= ~(CSTOPB | PARENB);
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

speed_t speedCode(int baud) {
    switch (baud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B9600;
    }
}
}  // namespace

SimTtyLink::SimTtyLink(SimController& controller, QObject* parent)
    : QObject(parent), m_controller(controller) {
    connect(&m_controller, &SimController::outputReady, this, &SimTtyLink::writeDue);
}

SimTtyLink::~SimTtyLink() {
    detach();
}

void SimTtyLink::close() {
    detach();
}

bool SimTtyLink::fail(const QString& what) {
    m_error = what + ": " + errnoText();
    return false;
}

void SimTtyLink::attach(int fd, const QString& path) {
    m_fd = fd;
    m_devicePath = path;
    m_pending.clear();
    m_hangingUp = false;
    m_readNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_readNotifier.get(), &QSocketNotifier::activated, this, &SimTtyLink::readDevice);
    m_writeNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier.get(), &QSocketNotifier::activated, this, &SimTtyLink::writePending);
    m_controller.resetLink();
}

void SimTtyLink::detach() {
    // detach may run inside a notifier's own signal: let the event loop delete them.
    for (auto* notifier : {&m_readNotifier, &m_writeNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            notifier->release()->deleteLater();
        }
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    m_pending.clear();
}

void SimTtyLink::readDevice() {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n > 0) {
            const QByteArray bytes(buffer, n);
            emit received(bytes);
            if (!m_hangingUp) {
                m_controller.receive(bytes);
            }
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            return;
        }
        // End of file or an error: the device is gone. Stop watching it, or the notifier would
        // fire without end.
        const QString reason = n == 0 ? QStringLiteral("end of file") : errnoText();
        detach();
        emit deviceLost(reason);
        return;
    }
}

void SimTtyLink::writeDue() {
    const QList<SimChunk> due = m_controller.takeDue();
    if (m_fd < 0 || m_hangingUp) {
        return;
    }
    for (const SimChunk& chunk : due) {
        m_pending += chunk.bytes;
        emit sent(chunk.bytes);
        if (chunk.hangUp) {
            m_hangingUp = true;
            QTimer::singleShot(kHangUpDrainMs, this, &SimTtyLink::hangUp);
            break;
        }
    }
    writePending();
}

void SimTtyLink::writePending() {
    while (m_fd >= 0 && !m_pending.isEmpty()) {
        const ssize_t n = ::write(m_fd, m_pending.constData(), size_t(m_pending.size()));
        if (n > 0) {
            m_pending.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (m_pending.size() > kMaxPending) {
            discardUnread();
            m_pending = m_pending.right(kMaxPending);
        }
        break;
    }
    if (m_writeNotifier) {
        m_writeNotifier->setEnabled(!m_pending.isEmpty());
    }
}

void SimTtyLink::hangUp() {
    detach();
    emit hungUp();
    reopenAfterHangUp();
}

SimPty::SimPty(SimController& controller, QObject* parent) : SimTtyLink(controller, parent) {}

SimPty::~SimPty() {
    close();
}

bool SimPty::open(const QString& linkPath) {
    close();
    m_linkPath = linkPath.isEmpty() ? QString() : QFileInfo(linkPath).absoluteFilePath();
    if (!openPty()) {
        return false;
    }
    if (!placeLink()) {
        m_linkPath.clear();
        close();
        return false;
    }
    return true;
}

bool SimPty::openPty() {
    int master = -1;
    int terminal = -1;
    if (::openpty(&master, &terminal, nullptr, nullptr, nullptr) != 0) {
        return fail(QStringLiteral("cannot open a pseudo-terminal"));
    }
    // Raw from the start, so nothing is echoed or translated before the peer sets its own mode.
    if (!makeRaw(terminal, B9600)) {
        ::close(master);
        ::close(terminal);
        return fail(QStringLiteral("cannot set the pseudo-terminal raw"));
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(terminal, F_SETFD, FD_CLOEXEC);
    m_terminalFd = terminal;
    attach(master, QString::fromLocal8Bit(::ttyname(terminal)));
    return true;
}

bool SimPty::placeLink() {
    if (m_linkPath.isEmpty()) {
        return true;
    }
    const QFileInfo existing(m_linkPath);
    if (existing.isSymLink()) {
        QFile::remove(m_linkPath);
    } else if (existing.exists()) {
        m_error = m_linkPath + " exists and is not a symlink; it was left alone";
        return false;
    }
    if (!QFile::link(devicePath(), m_linkPath)) {
        m_error = "cannot create the symlink " + m_linkPath;
        return false;
    }
    return true;
}

void SimPty::removeLink() {
    // Only our own link: another simulator may have taken the path over meanwhile.
    const QFileInfo link(m_linkPath);
    if (!m_linkPath.isEmpty() && link.isSymLink() && link.symLinkTarget() == devicePath()) {
        QFile::remove(m_linkPath);
    }
}

void SimPty::close() {
    removeLink();
    detach();
    if (m_terminalFd >= 0) {
        ::close(m_terminalFd);
        m_terminalFd = -1;
    }
}

void SimPty::reopenAfterHangUp() {
    // The peer's descriptor is dead now; a fresh terminal takes the symlink over.
    removeLink();
    if (m_terminalFd >= 0) {
        ::close(m_terminalFd);
        m_terminalFd = -1;
    }
    if (openPty() && placeLink()) {
        emit deviceChanged(devicePath());
    }
}

void SimPty::discardUnread() {
    if (m_terminalFd >= 0) {
        ::tcflush(m_terminalFd, TCIFLUSH);
    }
}

SimSerialDevice::SimSerialDevice(SimController& controller, QObject* parent)
    : SimTtyLink(controller, parent) {}

bool SimSerialDevice::open(const QString& device, int baud) {
    close();
    m_device = device;
    m_baud = baud;
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return fail("cannot open " + device);
    }
    if (!makeRaw(fd, speedCode(baud))) {
        ::close(fd);
        return fail(device + " is not a serial device");
    }
    attach(fd, device);
    return true;
}

void SimSerialDevice::reopenAfterHangUp() {
    QTimer::singleShot(kSerialReopenMs, this, [this] {
        if (open(m_device, m_baud)) {
            emit deviceChanged(devicePath());
        }
    });
}
