#pragma once

#include "scpiparser.h"

#include <QByteArray>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <optional>

class QTcpSocket;

// One connection of the automation port: its socket, its lines, its error queue with the 488.2
// status registers, and the query it is waiting on. Shared by the handlers that serve it, so a
// box opened while one of them runs cannot pull it from under them: a client that leaves is only
// marked gone, and freed when the last handler lets go.
class ClientSession {
public:
    static constexpr int kErrorQueue = 16;
    static constexpr qint64 kOutputHigh = 64 * 1024;

    // Standard event status register bits.
    enum Event : std::uint8_t {
        OperationComplete = 0x01,
        QueryError = 0x04,
        DeviceError = 0x08,
        ExecutionError = 0x10,
        CommandError = 0x20,
    };

    ClientSession(QTcpSocket* socket, int id);
    ~ClientSession();
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    QTcpSocket* socket() const { return socket_; }
    int id() const { return id_; }

    // The next line the client sent, without its line end; nothing until one is complete. A line
    // longer than the cap comes back once as `tooLong` with its start, and the rest of it up to
    // its line feed is dropped.
    struct Line {
        QByteArray text;
        bool tooLong = false;
    };
    std::optional<Line> nextLine();
    // Whether the client may be served: connected, not gone, reading its answers.
    bool servable() const;

    void answer(const QByteArray& text);
    // Queues an error (and sets its event bit); a query refused this way still answers its line.
    void fail(int code, const QString& detail, bool query);
    std::optional<QString> takeError();
    void clearErrors() { errors_.clear(); }
    int failures() const { return failures_; }
    const QString& lastFailure() const { return lastFailure_; }

    std::uint8_t takeEvents() { return std::exchange(events_, 0); }
    void addEvent(std::uint8_t bits) { events_ |= bits; }
    // Bit 2: the error queue holds an entry; bit 5: an event is registered.
    std::uint8_t statusByte() const;

    bool authenticated = false;
    int wrongTokens = 0;
    bool gone = false;      // dropped; its handlers are still unwinding
    bool closing = false;   // closed from the event loop, after the line that closed it
    bool serving = false;   // a handler is serving its lines (a box may have opened inside)
    bool opcArmed = false;  // *OPC: the operation-complete event is due when the scripts' moves end

    // The commands of the line being served that are still to come.
    std::deque<QByteArray> commands;
    // The query answered later (WAIT?, *OPC?, *WAI, ASK?); the client's next commands wait behind
    // it, so answers keep their order.
    std::optional<Scpi::Command> waitingOn;
    qint64 deadline = 0;
    // What WATCH? last showed the client of its channels; it answers when that has changed.
    QByteArray watchSeen;
    QTimer authTimer;

private:
    QTcpSocket* socket_;  // deleted later: it may be inside its own signal
    int id_;
    QByteArray buffer_;
    bool discarding_ = false;
    std::deque<QString> errors_;
    std::uint8_t events_ = 0;
    int failures_ = 0;
    QString lastFailure_;
};
