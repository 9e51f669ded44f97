#include "clientsession.h"

#include <QTcpSocket>

ClientSession::ClientSession(QTcpSocket* socket, int id) : socket_(socket), id_(id) {
    authTimer.setSingleShot(true);
}

ClientSession::~ClientSession() {
    socket_->disconnect();
    socket_->deleteLater();
}

bool ClientSession::servable() const {
    return !gone && !closing && socket_->state() == QAbstractSocket::ConnectedState &&
           socket_->bytesToWrite() <= kOutputHigh;
}

std::optional<ClientSession::Line> ClientSession::nextLine() {
    while (true) {
        const qsizetype lf = buffer_.indexOf('\n');
        if (lf >= 0) {
            QByteArray line = buffer_.left(lf);
            buffer_.remove(0, lf + 1);
            if (std::exchange(discarding_, false)) {
                continue;  // the rest of a line already refused as too long
            }
            if (line.endsWith('\r')) {
                line.chop(1);
            }
            if (line.size() > Scpi::kMaxLine) {
                return Line{line.left(Scpi::kMaxLine), true};
            }
            return Line{line, false};
        }
        if (buffer_.size() > Scpi::kMaxLine + 1) {
            // An endless line: refused once, then dropped up to its line feed.
            const bool first = !std::exchange(discarding_, true);
            const QByteArray start = buffer_.left(Scpi::kMaxLine);
            buffer_.clear();
            if (first) {
                return Line{start, true};
            }
        }
        if (socket_->bytesAvailable() == 0) {
            return std::nullopt;
        }
        buffer_ += socket_->read(8192);
    }
}

void ClientSession::answer(const QByteArray& text) {
    if (!gone) {
        socket_->write(text + '\n');
    }
}

void ClientSession::fail(int code, const QString& detail, bool query) {
    const QString entry = QStringLiteral("%1,\"%2; %3\"").arg(code).arg(Scpi::codeText(code), detail);
    ++failures_;
    lastFailure_ = detail;
    if (int(errors_.size()) >= kErrorQueue) {
        errors_.back() =
            QStringLiteral("%1,\"%2\"").arg(Scpi::QueueOverflow).arg(Scpi::codeText(Scpi::QueueOverflow));
    } else {
        errors_.push_back(entry);
    }
    // 488.2 sorts errors by their hundreds.
    events_ |= code <= -400   ? QueryError
               : code <= -300 ? DeviceError
               : code <= -200 ? ExecutionError
                              : CommandError;
    // A query always answers one line, so a script's read never hangs; the reason is in the queue.
    if (query) {
        answer(QByteArray());
    }
}

std::optional<QString> ClientSession::takeError() {
    if (errors_.empty()) {
        return std::nullopt;
    }
    QString entry = errors_.front();
    errors_.pop_front();
    return entry;
}

std::uint8_t ClientSession::statusByte() const {
    return std::uint8_t((errors_.empty() ? 0 : 0x04) | (events_ != 0 ? 0x20 : 0));
}
