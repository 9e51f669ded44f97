#pragma once

#include "scpiparser.h"
#include "scripttarget.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <array>
#include <deque>
#include <memory>
#include <vector>

class QTcpServer;
class QTcpSocket;

// The automation port: lab scripts on this machine send SCPI lines to the panel over a loopback
// socket, and the panel carries them out with its own handlers, through its own tick. One line is
// one command; a query answers with exactly one line, a command with none; errors go to each
// client's queue (SYST:ERR?). Until a client has given the token (SYST:AUTH), only *IDN? and
// SYST:AUTH are served.
class AutomationServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxClients = 8;
    static constexpr int kErrorQueue = 16;
    static constexpr int kWrongTokens = 3;
    static constexpr int kLogLines = 100;
    // A client that does not read its answers is not served beyond this much unsent output.
    static constexpr qint64 kOutputHigh = 64 * 1024;
    // Polls without a change after which a move counts as ended where no busy bit is reported.
    static constexpr int kStillPolls = 5;

    struct LogEntry {
        qint64 ms = 0;  // since the server started
        int client = 0;
        QString line;
        QString outcome;  // empty when carried out
    };

    AutomationServer(ScriptTarget& target, QString version, QObject* parent = nullptr);
    ~AutomationServer() override;

    // Listens on the loopback addresses (0 picks a free port) and writes a fresh token to
    // `tokenPath`, readable by the user only. False with the reason when either failed.
    bool start(quint16 port, const QString& tokenPath, QString* error);
    quint16 port() const { return port_; }
    QString tokenPath() const { return tokenPath_; }
    int clientCount() const { return int(clients_.size()); }
    const std::deque<LogEntry>& log() const { return log_; }

    // Abort scripts: every channel is sent its stop command, and commands that reach the
    // controller (STOP apart) are refused until the operator enables scripts again.
    void abortScripts();
    void enableScripts();
    bool scriptsEnabled() const { return enabled_; }

    // The polling showed a position of the channel: the waits count polls by this.
    void positionPolled(int ch);

signals:
    void clientsChanged(int count);
    void enabledChanged(bool enabled);

private:
    struct Client;
    struct Watch {
        bool armed = false;
        bool seenBusy = false;
        bool moved = false;
        int still = 0;
        QString start;
        QString last;
    };

    void accept(QTcpServer* server);
    void drop(Client* client);
    void serve(Client* client);
    void serveLines(Client& client);
    void bury();
    void handle(Client& client, const QByteArray& line);
    void execute(Client& client, const Scpi::Parsed& parsed);
    // The queries answered later (WAIT?, ASK?, *OPC?): true once answered.
    bool settle(Client& client);
    void settleAll();
    void answer(Client& client, const QByteArray& text);
    void fail(Client& client, int code, const QString& detail, bool query);
    void logLine(const Client& client, const QByteArray& line, const QString& outcome);

    // Why a command that reaches the controller may not run now; empty when it may.
    QString refusal(bool stopCommand, bool motion) const;
    bool channelsValid(Client& client, const Scpi::Command& command, bool query);
    void arm(Client& client, int ch);
    bool done(int ch) const;

    ScriptTarget& target_;
    QString version_;
    std::vector<std::unique_ptr<QTcpServer>> servers_;
    std::vector<std::unique_ptr<Client>> clients_;
    // Clients dropped while a line was being served, freed once no line is.
    std::vector<std::unique_ptr<Client>> graveyard_;
    int serving_ = 0;
    quint16 port_ = 0;
    QString tokenPath_;
    QByteArray token_;
    bool enabled_ = true;
    int nextClient_ = 1;
    int moveOwner_ = 0;  // the client whose script move is pending
    std::array<Watch, Scpi::kChannels> watch_{};
    std::array<int, Scpi::kChannels> owner_{};  // the client whose motion runs on the channel
    std::deque<LogEntry> log_;
    QElapsedTimer clock_;
    QTimer settleTimer_;  // runs while a query waits for its answer
};
