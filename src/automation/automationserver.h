#pragma once

#include "clientsession.h"
#include "commandexecution.h"
#include "scpiparser.h"
#include "scripttarget.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>
#include <memory>
#include <vector>

class AxisBook;
struct AxisEvent;
class SessionTarget;
class QTcpServer;

// The automation port: lab scripts on this machine send SCPI lines to the panel over a loopback
// socket, and the panel carries them out with its own handlers, through its own tick. A query
// answers with exactly one line, a command with none; errors go to each client's queue
// (SYST:ERR?). Until a client has given the token (SYST:AUTH), only *IDN?, SYST:AUTH, SYST:ERR?
// and *CLS are served. The server owns the sockets and the client sessions; what a command does is
// CommandExecution's, and the queries that wait for motion are MotionWait's.
class AutomationServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxClients = 8;
    static constexpr int kErrorQueue = ClientSession::kErrorQueue;
    static constexpr int kWrongTokens = 3;
    static constexpr int kLogLines = 100;
    static constexpr int kAuthTimeoutMs = 10000;

    // One line of the log: a command or query, a move's outcome, or the panel's own note on its
    // link (client 0).
    struct LogEntry {
        qint64 at = 0;  // clock time, ms since the epoch
        int client = 0;
        QString line;
        QString outcome;     // empty when carried out
        bool query = false;  // a query answered: kept apart, so a polling script pushes no command out
        quint64 seq = 0;     // the order of all entries, queries or not
    };

    // `axes` is the panel's axis book, heard for the moves that end; `session` opens and ends the
    // session for SYST:CONN and SYST:DISC (refused without it).
    AutomationServer(ScriptTarget& target, AxisBook& axes, QString version, SessionTarget* session = nullptr,
                     QObject* parent = nullptr);
    ~AutomationServer() override;

    // Listens on the loopback addresses (0 picks a free port) and writes a fresh token to
    // `tokenPath`, readable by the user only. False with the reason when either failed.
    bool start(quint16 port, const QString& tokenPath, QString* error);
    quint16 port() const { return port_; }
    QString tokenPath() const { return tokenPath_; }
    int clientCount() const { return int(clients_.size()); }
    // The last kLogLines commands, refusals, outcomes and notes, and with `queries` the last
    // kLogLines queries answered among them, oldest first.
    std::vector<LogEntry> log(bool queries = true) const;

    // Abort scripts: the scripts' unsent moves are dropped, every channel is sent its stop command,
    // and commands that reach the controller (STOP apart) are refused until the operator enables
    // scripts again.
    void abortScripts();
    void enableScripts();
    bool scriptsEnabled() const { return enabled_; }

    // What the panel says about its link, kept in the log beside the scripts' lines.
    void note(const QString& text);
    // A client's SYST:CONN opened a link that failed before the controller answered.
    void connectFailed(int client, const QString& why);

signals:
    void clientsChanged(int count);
    void enabledChanged(bool enabled);

private:
    using ClientPtr = std::shared_ptr<ClientSession>;

    void accept(QTcpServer* server);
    void drop(const ClientPtr& client);
    void serve(const ClientPtr& client);
    void handle(const ClientPtr& client, const QByteArray& command);
    void authenticate(const ClientPtr& client, const Scpi::Command& command);
    void settleAll();
    void armSettle();
    void axisEvent(const AxisEvent& event);
    ClientPtr find(int id) const;
    void logLine(int client, const QByteArray& line, const QString& outcome, bool query = false);
    void keep(LogEntry entry);

    ScriptTarget& target_;
    AxisBook& axes_;
    int axesToken_ = 0;
    CommandExecution execution_;
    std::vector<std::unique_ptr<QTcpServer>> servers_;
    // Handlers hold a client by a shared pointer of their own, never by its place in this list:
    // a box opened inside one lets clients come and go.
    std::vector<ClientPtr> clients_;
    quint16 port_ = 0;
    QString tokenPath_;
    QByteArray token_;
    bool enabled_ = true;
    int nextClient_ = 1;
    std::deque<LogEntry> log_;
    std::deque<LogEntry> queries_;
    quint64 logged_ = 0;
    QElapsedTimer clock_;
    QTimer settleTimer_;        // runs while a query waits for its answer
    bool watchKicked_ = false;  // a settling for WATCH? is due as soon as the event loop runs
};
