#include "automationserver.h"

#include "axisbook.h"
#include "motionwait.h"
#include "scpilines.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <algorithm>

using Scpi::Verb;

namespace {
constexpr int kSettleMs = 20;
constexpr int kCommandsPerTurn = 64;

QByteArray freshToken() {
    std::array<quint32, 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    QByteArray bytes(reinterpret_cast<const char*>(words.data()), sizeof(words));
    return bytes.toHex();
}

// The whole token is looked at, whatever the first difference.
bool sameToken(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size() || b.isEmpty()) {
        return false;
    }
    unsigned diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        diff |= unsigned(a[i] ^ b[i]);
    }
    return diff == 0;
}

QString printable(const QByteArray& line) {
    QString text;
    for (char c : line.left(200)) {
        const auto u = static_cast<unsigned char>(c);
        text += (u >= 0x20 && u < 0x7F) ? QChar(u) : QChar(u'\u00B7');
    }
    return line.size() > 200 ? text + QStringLiteral("...") : text;
}

QString kindName(MoveKind kind) {
    switch (kind) {
        case MoveKind::Relative:
            return QStringLiteral("MOVE:REL");
        case MoveKind::Absolute:
            return QStringLiteral("MOVE:ABS");
        case MoveKind::Preset:
            return QStringLiteral("PRES");
        case MoveKind::Jog:
            return QStringLiteral("JOG");
        case MoveKind::Home:
            return QStringLiteral("HOME");
        case MoveKind::Scan:
            break;
    }
    return QStringLiteral("SCAN");
}
}  // namespace

AutomationServer::AutomationServer(ScriptTarget& target, AxisBook& axes, QString version,
                                   SessionTarget* session, QObject* parent)
    : QObject(parent),
      target_(target),
      axes_(axes),
      execution_(target,
                 CommandExecution::Context{[this] { return enabled_; }, [this] { return clock_.elapsed(); },
                                           [this] { armSettle(); }, std::move(version), session}) {
    clock_.start();
    settleTimer_.setInterval(kSettleMs);
    connect(&settleTimer_, &QTimer::timeout, this, &AutomationServer::settleAll);
    axesToken_ = axes_.listen([this](const AxisEvent& event) { axisEvent(event); });
}

AutomationServer::~AutomationServer() {
    axes_.unlisten(axesToken_);
    clients_.clear();  // before the listening sockets, whose children the client sockets are
    // A token left behind would open nothing, but would point clients at a panel that is gone.
    // A file that holds another token now belongs to a panel started since, and stays.
    if (!token_.isEmpty()) {
        QFile file(tokenPath_);
        if (file.open(QIODevice::ReadOnly) && file.readAll() == token_ + '\n') {
            file.close();
            QFile::remove(tokenPath_);
        }
    }
}

bool AutomationServer::start(quint16 port, const QString& tokenPath, QString* error) {
    auto v4 = std::make_unique<QTcpServer>();
    if (!v4->listen(QHostAddress::LocalHost, port)) {
        *error = QStringLiteral("cannot listen on 127.0.0.1:%1: %2").arg(port).arg(v4->errorString());
        return false;
    }
    port_ = v4->serverPort();
    servers_.push_back(std::move(v4));
    // The IPv6 loopback too where the machine has one; without it 127.0.0.1 serves alone.
    auto v6 = std::make_unique<QTcpServer>();
    if (v6->listen(QHostAddress::LocalHostIPv6, port_)) {
        servers_.push_back(std::move(v6));
    }
    for (auto& server : servers_) {
        QTcpServer* s = server.get();
        s->setMaxPendingConnections(kMaxClients);
        connect(s, &QTcpServer::newConnection, this, [this, s] { accept(s); });
    }

    // A new file each time, created readable and writable by the user alone.
    token_ = freshToken();
    tokenPath_ = tokenPath;
    QDir().mkpath(QFileInfo(tokenPath).absolutePath());
    QFile::remove(tokenPath);
    QFile file(tokenPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                   QFileDevice::ReadOwner | QFileDevice::WriteOwner) ||
        file.write(token_ + '\n') != token_.size() + 1 || !file.flush()) {
        *error = QStringLiteral("cannot write the token file %1: %2").arg(tokenPath, file.errorString());
        servers_.clear();
        return false;
    }
    return true;
}

void AutomationServer::accept(QTcpServer* server) {
    while (QTcpSocket* socket = server->nextPendingConnection()) {
        if (int(clients_.size()) >= kMaxClients) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        // What the client sends beyond this waits in the system's buffers, not in ours.
        socket->setReadBufferSize(ClientSession::kOutputHigh);
        // Answers go out as they are written: a question and its answer are small, and waiting
        // to fill a segment would cost a client's delayed acknowledgement on every exchange.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        auto client = std::make_shared<ClientSession>(socket, nextClient_++);
        clients_.push_back(client);
        const std::weak_ptr<ClientSession> weak = client;
        const auto served = [this, weak] {
            if (const ClientPtr c = weak.lock()) {
                serve(c);
            }
        };
        connect(socket, &QTcpSocket::readyRead, this, served);
        connect(socket, &QTcpSocket::bytesWritten, this, served);
        connect(socket, &QTcpSocket::disconnected, this, [this, weak] {
            if (const ClientPtr c = weak.lock()) {
                drop(c);
            }
        });
        // Idle connections must not hold the places: closed unless authenticated in time.
        client->authTimer.setInterval(kAuthTimeoutMs);
        connect(&client->authTimer, &QTimer::timeout, socket,
                [socket] { QTimer::singleShot(0, socket, [socket] { socket->disconnectFromHost(); }); });
        client->authTimer.start();
        emit clientsChanged(clientCount());
    }
}

AutomationServer::ClientPtr AutomationServer::find(int id) const {
    const auto it =
        std::find_if(clients_.begin(), clients_.end(), [id](const ClientPtr& c) { return c->id() == id; });
    return it == clients_.end() ? nullptr : *it;
}

void AutomationServer::drop(const ClientPtr& client) {
    const auto it = std::find(clients_.begin(), clients_.end(), client);
    if (it == clients_.end()) {
        return;
    }
    // Out of the list and marked gone before anything that may open a box.
    clients_.erase(it);
    client->gone = true;
    client->authTimer.stop();
    client->socket()->disconnect(this);
    emit clientsChanged(clientCount());
    const int id = client->id();
    if (client->waitingOn && client->waitingOn->verb == Verb::Ask) {
        target_.dropAsk();
    }
    // What this client has under way is stopped: nobody is left to end it. Nothing else is.
    if (!target_.connected() || target_.setupOpen()) {
        return;
    }
    execution_.stopScripts(id, QStringLiteral("client %1 left").arg(id));
}

void AutomationServer::serve(const ClientPtr& c) {
    // A handler of this client is on the stack (a box is open in it): it goes on when it returns.
    if (c->serving) {
        return;
    }
    c->serving = true;
    int served = 0;
    while (c->servable() && !c->waitingOn) {
        if (!c->commands.empty()) {
            if (++served > kCommandsPerTurn) {
                // A client with a long backlog takes turns with the tick and the other clients.
                const std::weak_ptr<ClientSession> weak = c;
                QTimer::singleShot(0, this, [this, weak] {
                    if (const ClientPtr next = weak.lock()) {
                        serve(next);
                    }
                });
                break;
            }
            const QByteArray command = std::move(c->commands.front());
            c->commands.pop_front();
            handle(c, command);
            continue;
        }
        const std::optional<ClientSession::Line> line = c->nextLine();
        if (!line) {
            break;
        }
        if (line->tooLong) {
            logLine(c->id(), line->text, QStringLiteral("line too long"));
            const std::vector<QByteArray> commands = Scpi::splitLine(line->text);
            c->fail(Scpi::TooMuchData, QStringLiteral("line longer than 4096 bytes"),
                    !commands.empty() && Scpi::looksLikeQuery(commands.front()));
            continue;
        }
        for (QByteArray& command : Scpi::splitLine(line->text)) {
            c->commands.push_back(std::move(command));
        }
    }
    c->serving = false;
}

void AutomationServer::handle(const ClientPtr& client, const QByteArray& command) {
    const Scpi::Parsed parsed = Scpi::parse(command);
    if (!parsed.ok()) {
        logLine(client->id(), command, Scpi::codeText(parsed.code));
        client->fail(parsed.code, parsed.detail, Scpi::looksLikeQuery(command));
        return;
    }
    const Verb verb = parsed.command.verb;
    const bool open =
        verb == Verb::Idn || verb == Verb::SystemAuth || verb == Verb::SystemError || verb == Verb::Cls;
    if (!client->authenticated && !open) {
        // Answered, so a script's read never hangs, but not queued: the queue is the script's
        // own business once it has shown the token.
        logLine(client->id(), command, QStringLiteral("not authenticated"));
        if (parsed.query()) {
            client->answer(QByteArray());
        }
        return;
    }
    if (verb == Verb::SystemAuth) {
        authenticate(client, parsed.command);
        return;
    }
    const int failures = client->failures();
    execution_.execute(client, parsed);
    const bool failed = client->failures() != failures;
    logLine(client->id(), command, failed ? client->lastFailure() : QString(), parsed.query() && !failed);
}

void AutomationServer::authenticate(const ClientPtr& client, const Scpi::Command& command) {
    if (sameToken(command.text, token_)) {
        client->authenticated = true;
        client->authTimer.stop();
        logLine(client->id(), "SYST:AUTH", QString());
        return;
    }
    logLine(client->id(), "SYST:AUTH", QStringLiteral("wrong token"));
    if (++client->wrongTokens >= kWrongTokens) {
        // Closed from the event loop: the client must outlive the line being served.
        client->closing = true;
        QTcpSocket* socket = client->socket();
        QTimer::singleShot(0, socket, [socket] { socket->disconnectFromHost(); });
        return;
    }
    client->fail(Scpi::ExecutionError, QStringLiteral("wrong token"), false);
}

void AutomationServer::settleAll() {
    // A copy of the list: serving a client may open a box in which clients come and go.
    const std::vector<ClientPtr> clients = clients_;
    for (const ClientPtr& c : clients) {
        if (c->gone) {
            continue;
        }
        if (c->opcArmed && MotionWait::scriptsIdle(target_)) {
            c->opcArmed = false;
            c->addEvent(ClientSession::OperationComplete);
        }
        if (!c->waitingOn) {
            continue;
        }
        const std::optional<QByteArray> answer = c->waitingOn->verb == Verb::Watch
                                                     ? execution_.settleWatch(*c, clock_.elapsed())
                                                     : MotionWait::settle(target_, *c, clock_.elapsed());
        if (!answer) {
            continue;
        }
        // *WAI only holds the client's next commands back.
        if (std::exchange(c->waitingOn, std::nullopt)->verb != Verb::Wai) {
            c->answer(*answer);
        }
        serve(c);
    }
    const bool waiting = std::any_of(clients_.begin(), clients_.end(),
                                     [](const ClientPtr& c) { return c->waitingOn || c->opcArmed; });
    if (!waiting) {
        settleTimer_.stop();
    }
}

void AutomationServer::axisEvent(const AxisEvent& event) {
    // A client that watches hears of it as soon as the event loop is back, not a tick later.
    if (!watchKicked_ && std::any_of(clients_.begin(), clients_.end(), [](const ClientPtr& c) {
            return c->waitingOn && c->waitingOn->verb == Verb::Watch;
        })) {
        watchKicked_ = true;
        QTimer::singleShot(0, this, [this] {
            watchKicked_ = false;
            settleAll();
        });
    }
    // Heard while a reply is interpreted or a command sent: recorded here, answered by the timer.
    if (event.kind != AxisEvent::Kind::MoveEnded || event.move->origin != Origin::Script) {
        return;
    }
    const AxisMove& m = *event.move;
    const QString text = MotionWait::describe(event.ch, m);
    logLine(m.client,
            QStringLiteral("%1 %2: %3")
                .arg(kindName(m.kind))
                .arg(Scpi::channelLetter(event.ch))
                .arg(AxisBook::outcomeWord(m.outcome))
                .toLatin1(),
            text);
    if (m.outcome != Outcome::Done) {
        if (const ClientPtr c = find(m.client)) {
            c->fail(Scpi::DeviceError, text, false);
        }
    }
    if (!clients_.empty()) {
        armSettle();
    }
}

void AutomationServer::armSettle() {
    // Started only when idle: a restart on every event would put the settling off for as long as
    // events keep coming, and with it every other client's deadline.
    if (!settleTimer_.isActive()) {
        settleTimer_.start();
    }
}

void AutomationServer::logLine(int client, const QByteArray& line, const QString& outcome, bool query) {
    // The token never reaches the log, however the line that carried it was written.
    QByteArray shown = Scpi::redacted(line);
    if (!token_.isEmpty()) {
        shown.replace(token_, "...");
    }
    keep(LogEntry{0, client, printable(shown), outcome, query, 0});
}

void AutomationServer::note(const QString& text) {
    keep(LogEntry{0, 0, text, QString(), false, 0});
}

void AutomationServer::keep(LogEntry entry) {
    entry.at = QDateTime::currentMSecsSinceEpoch();
    entry.seq = ++logged_;
    std::deque<LogEntry>& ring = entry.query ? queries_ : log_;
    ring.push_back(std::move(entry));
    if (int(ring.size()) > kLogLines) {
        ring.pop_front();
    }
}

std::vector<AutomationServer::LogEntry> AutomationServer::log(bool queries) const {
    std::vector<LogEntry> out(log_.begin(), log_.end());
    if (queries) {
        out.insert(out.end(), queries_.begin(), queries_.end());
        std::sort(out.begin(), out.end(), [](const LogEntry& a, const LogEntry& b) { return a.seq < b.seq; });
    }
    return out;
}

void AutomationServer::connectFailed(int client, const QString& why) {
    if (const ClientPtr c = find(client)) {
        c->fail(Scpi::ExecutionError, QStringLiteral("connect failed: ") + why, false);
    }
}

void AutomationServer::abortScripts() {
    enabled_ = false;
    emit enabledChanged(false);
    const QString why = QStringLiteral("Abort scripts pressed");
    if (!target_.connected() || target_.setupOpen()) {
        // Nothing may be sent now; what the scripts still had to send must not go out later.
        target_.dropScriptMoves(why);
        return;
    }
    if (!target_.cutScriptMoves(why)) {
        return;
    }
    target_.endDemo();
    for (int ch = 0; ch < std::max(target_.channels(), 2); ++ch) {
        if (!target_.stop(ch, why)) {
            return;
        }
    }
}

void AutomationServer::enableScripts() {
    enabled_ = true;
    emit enabledChanged(true);
}
