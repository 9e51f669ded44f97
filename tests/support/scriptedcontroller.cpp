#include "scriptedcontroller.h"

#include "connectdialog.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <cerrno>

ScriptedController::ScriptedController(bool usb, QObject* parent) : QObject(parent), usb_(usb) {
    if (!usb_) {
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            socket_ = server_.nextPendingConnection();
            connect(socket_, &QTcpSocket::readyRead, this, [this] { onData(socket_->readAll()); });
        });
        server_.listen(QHostAddress::LocalHost, 0);
        return;
    }
    char name[256] = {};
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
        master_ = slave_ = -1;
        return;
    }
    termios tio{};
    tcgetattr(slave_, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave_, TCSANOW, &tio);
    slavePath_ = QString::fromLocal8Bit(name);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
    readable_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Read);
    connect(readable_.get(), &QSocketNotifier::activated, this, [this] {
        char buffer[4096];
        const ssize_t n = ::read(master_, buffer, sizeof buffer);
        if (n > 0) {
            onData(QByteArray(buffer, n));
        }
    });
    writable_ = std::make_unique<QSocketNotifier>(master_, QSocketNotifier::Write);
    writable_->setEnabled(false);
    connect(writable_.get(), &QSocketNotifier::activated, this, &ScriptedController::writePending);
}

ScriptedController::~ScriptedController() {
    readable_.reset();
    writable_.reset();
    for (int fd : {master_, slave_}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool ScriptedController::listening() const {
    return usb_ ? master_ >= 0 : server_.isListening();
}

bool ScriptedController::connectPanel(Application& app) {
    app.window.findChild<QRadioButton*>(usb_ ? QStringLiteral("Option4") : QStringLiteral("Option3"))
        ->setChecked(true);
    app.session.ConnectClicked();
    ConnectDialog* dialog = app.session.dialog();
    if (dialog == nullptr) {
        return false;
    }
    if (usb_) {
        dialog->findChild<QComboBox*>(QStringLiteral("ComNo"))->setEditText(slavePath_);
    } else {
        dialog->findChild<QComboBox*>(QStringLiteral("HostEdit"))->setEditText(QStringLiteral("127.0.0.1"));
        dialog->findChild<QLineEdit*>(QStringLiteral("Text1"))
            ->setText(QString::number(server_.serverPort()));
    }
    app.session.DialogConnect();
    return app.state.Connected;
}

void ScriptedController::onData(const QByteArray& bytes) {
    partial_ += bytes;
    qsizetype end = 0;
    while ((end = partial_.indexOf("\r\n")) >= 0) {
        const QByteArray line = partial_.left(end);
        partial_.remove(0, end + 2);
        QByteArray reply;
        if (line == "VER?") {
            reply = usb_ ? "VASKO-01 Ver 1.20" : "KELDA-01 Ver 1.20";
        } else if (line == "S48") {
            reply = usb_ ? "S48=02000" : "S48=020";
        } else if (line.startsWith("STS")) {
            reply = "ST0000+0001000";
        } else if (line.startsWith("PS?")) {
            reply = "+0001000";
        } else if (line.startsWith("S2") && line.size() == 4) {
            reply = line.endsWith('0') ? QByteArray("P") + line.at(2) + "+0001000" : QByteArray("L00");
        }
        if (!reply.isEmpty()) {
            send(reply + "\r\n");
        }
    }
}

void ScriptedController::flood(const QByteArray& line) {
    send(line);
    send("\r\n");
}

void ScriptedController::send(const QByteArray& bytes) {
    if (!usb_) {
        if (socket_) {
            socket_->write(bytes);
        }
        return;
    }
    pending_ += bytes;
    writePending();
}

void ScriptedController::writePending() {
    while (!pending_.isEmpty()) {
        const ssize_t n = ::write(master_, pending_.constData(), size_t(pending_.size()));
        if (n <= 0) {
            break;  // the terminal's buffer is full: the panel reads it empty in its own time
        }
        pending_.remove(0, n);
    }
    writable_->setEnabled(!pending_.isEmpty());
}

bool ScriptedController::flooded() const {
    return usb_ ? pending_.isEmpty() : (socket_ && socket_->bytesToWrite() == 0);
}
