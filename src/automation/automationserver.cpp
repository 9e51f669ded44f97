#include "automationserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>

using Scpi::Verb;

struct AutomationServer::Client {
    QTcpSocket* socket = nullptr;  // deleted later: it may be inside its own signal
    int id = 0;
    QByteArray buffer;
    bool discarding = false;
    bool authenticated = false;
    int wrongTokens = 0;
    std::deque<QString> errors;
    // The query answered later; the client's next lines wait behind it, so answers keep order.
    bool waiting = false;
    bool closing = false;
    bool gone = false;  // dropped while one of its lines was being served
    Scpi::Command deferred;
    qint64 deadline = 0;
};

namespace {
constexpr int kSettleMs = 20;
constexpr int kAskTimeoutMs = 5000;

QByteArray freshToken() {
    std::array<quint32, 4> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    QByteArray bytes(reinterpret_cast<const char*>(words.data()), sizeof(words));
    return bytes.toHex();
}

// The whole token is looked at, whatever the first difference.
bool sameToken(const QByteArray& a, const QByteArray& b) {
    if (a.size() != b.size()) {
        return false;
    }
    unsigned diff = 0;
    for (qsizetype i = 0; i < a.size(); ++i) {
        diff |= unsigned(a[i] ^ b[i]);
    }
    return diff == 0;
}

bool looksLikeQuery(const QByteArray& line) {
    const QByteArray head = line.trimmed().split(' ').value(0);
    return head.endsWith('?');
}

QString printable(const QByteArray& line) {
    QString text;
    for (char c : line.left(200)) {
        const auto u = static_cast<unsigned char>(c);
        text += (u >= 0x20 && u < 0x7F) ? QChar(u) : QChar(u'\u00B7');
    }
    return line.size() > 200 ? text + QStringLiteral("...") : text;
}
}  // namespace

AutomationServer::AutomationServer(ScriptTarget& target, QString version, QObject* parent)
    : QObject(parent), target_(target), version_(std::move(version)) {
    clock_.start();
    settleTimer_.setInterval(kSettleMs);
    connect(&settleTimer_, &QTimer::timeout, this, &AutomationServer::settleAll);
}

AutomationServer::~AutomationServer() {
    for (auto& c : graveyard_) {
        delete c->socket;
    }
    for (auto& c : clients_) {
        c->socket->disconnect(this);
        delete c->socket;
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
        auto client = std::make_unique<Client>();
        client->socket = socket;
        client->id = nextClient_++;
        // What the client sends beyond this waits in the system's buffers, not in ours.
        socket->setReadBufferSize(kOutputHigh);
        Client* c = client.get();
        clients_.push_back(std::move(client));
        connect(socket, &QTcpSocket::readyRead, this, [this, c] { serve(c); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, c] { serve(c); });
        connect(socket, &QTcpSocket::disconnected, this, [this, c] { drop(c); });
        emit clientsChanged(clientCount());
    }
}

void AutomationServer::drop(Client* client) {
    const auto it =
        std::find_if(clients_.begin(), clients_.end(), [client](auto& c) { return c.get() == client; });
    if (it == clients_.end()) {
        return;
    }
    // What this client set going is stopped: nobody is left to end it.
    const int id = client->id;
    if (moveOwner_ == id && target_.movePending()) {
        target_.cancelMoves();
    }
    if (moveOwner_ == id) {
        moveOwner_ = 0;
    }
    const bool mayStop = target_.connected() && !target_.setupOpen();
    for (int ch = 0; ch < Scpi::kChannels; ++ch) {
        if (owner_[ch] == id) {
            if (mayStop && ch < target_.channels() && !done(ch)) {
                target_.stop(ch);
            }
            owner_[ch] = 0;
        }
    }
    if (client->waiting && client->deferred.verb == Verb::Ask) {
        target_.dropAsk();
    }
    client->socket->disconnect(this);
    // A line being served may have opened a box whose event loop brought the disconnect: the
    // client and its socket then live on, marked gone, until that line's frame has unwound.
    client->gone = true;
    if (serving_ > 0) {
        graveyard_.push_back(std::move(*it));
    } else {
        client->socket->deleteLater();
    }
    clients_.erase(it);
    emit clientsChanged(clientCount());
}

void AutomationServer::serve(Client* client) {
    ++serving_;
    serveLines(*client);
    if (--serving_ == 0) {
        bury();
    }
}

void AutomationServer::serveLines(Client& c) {
    while (!c.gone && !c.waiting && !c.closing && c.socket->state() == QAbstractSocket::ConnectedState &&
           c.socket->bytesToWrite() <= kOutputHigh) {
        const qsizetype lf = c.buffer.indexOf('\n');
        if (lf < 0) {
            if (c.buffer.size() > Scpi::kMaxLine + 1) {
                // Endless line: refused once, the rest up to its line feed dropped.
                if (!c.discarding) {
                    logLine(c, c.buffer, QStringLiteral("line too long"));
                    fail(c, Scpi::TooMuchData, QStringLiteral("line longer than 4096 bytes"),
                         looksLikeQuery(c.buffer));
                }
                c.discarding = true;
                c.buffer.clear();
            }
            if (c.socket->bytesAvailable() == 0) {
                return;
            }
            c.buffer += c.socket->read(8192);
            continue;
        }
        QByteArray line = c.buffer.left(lf);
        c.buffer.remove(0, lf + 1);
        if (c.discarding) {
            c.discarding = false;
            continue;
        }
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.size() > Scpi::kMaxLine) {
            logLine(c, line, QStringLiteral("line too long"));
            fail(c, Scpi::TooMuchData, QStringLiteral("line longer than 4096 bytes"), looksLikeQuery(line));
            continue;
        }
        handle(c, line);
    }
}

void AutomationServer::handle(Client& client, const QByteArray& line) {
    const Scpi::Parsed parsed = Scpi::parse(line);
    if (!parsed.ok()) {
        logLine(client, line, Scpi::codeText(parsed.code));
        fail(client, parsed.code, parsed.detail, looksLikeQuery(line));
        return;
    }
    const Verb verb = parsed.command.verb;
    if (!client.authenticated && verb != Verb::Idn && verb != Verb::SystemAuth) {
        logLine(client, line, QStringLiteral("not authenticated"));
        fail(client, Scpi::ExecutionError, QStringLiteral("not authenticated: SYST:AUTH first"),
             parsed.query());
        return;
    }
    if (verb == Verb::SystemAuth) {
        // The token itself is never logged.
        if (sameToken(parsed.command.text, token_)) {
            client.authenticated = true;
            logLine(client, "SYST:AUTH \"...\"", QString());
            return;
        }
        logLine(client, "SYST:AUTH \"...\"", QStringLiteral("wrong token"));
        if (++client.wrongTokens >= kWrongTokens) {
            // Closed from the event loop: the client must outlive the line being served.
            client.closing = true;
            QTcpSocket* socket = client.socket;
            QTimer::singleShot(0, socket, [socket] { socket->disconnectFromHost(); });
            return;
        }
        fail(client, Scpi::ExecutionError, QStringLiteral("wrong token"), false);
        return;
    }
    const int errorsBefore = int(client.errors.size());
    execute(client, parsed);
    logLine(client, line, int(client.errors.size()) > errorsBefore ? client.errors.back() : QString());
}

QString AutomationServer::refusal(bool stopCommand, bool motion) const {
    if (!target_.connected()) {
        return QStringLiteral("not connected");
    }
    if (target_.setupOpen()) {
        return QStringLiteral("setup window open");
    }
    if (!enabled_ && !stopCommand) {
        return QStringLiteral("scripts aborted by the operator");
    }
    if (motion && target_.movePending()) {
        return QStringLiteral("a script move is still pending");
    }
    return {};
}

bool AutomationServer::channelsValid(Client& client, const Scpi::Command& command, bool query) {
    const int n = target_.channels();
    for (const Scpi::Target& t : command.targets) {
        if (t.ch >= n) {
            fail(client, Scpi::SettingsConflict,
                 n == 0 ? QStringLiteral("no model identified")
                        : QStringLiteral("channel %1: the model has %2 channels")
                              .arg(Scpi::channelLetter(t.ch))
                              .arg(n),
                 query);
            return false;
        }
    }
    return true;
}

void AutomationServer::arm(Client& client, int ch) {
    const QString now = target_.position(ch);
    watch_[ch] = Watch{true, false, false, 0, now, now};
    owner_[ch] = client.id;
}

void AutomationServer::positionPolled(int ch) {
    if (ch < 0 || ch >= Scpi::kChannels || !watch_[ch].armed) {
        return;
    }
    Watch& w = watch_[ch];
    const QString now = target_.position(ch);
    if (target_.movePending(ch)) {
        // Counted from the poll after the channel's command went out.
        w.start = w.last = now;
        w.still = 0;
        return;
    }
    const bool busy = target_.report(ch).busy;
    w.seenBusy = w.seenBusy || busy;
    w.moved = w.moved || now != w.start;
    w.still = (!busy && now == w.last) ? w.still + 1 : 0;
    w.last = now;
}

bool AutomationServer::done(int ch) const {
    if (target_.movePending(ch)) {
        return false;
    }
    const Watch& w = watch_[ch];
    if (!target_.reportsBusy()) {
        return !w.armed || w.still >= kStillPolls;
    }
    if (target_.report(ch).busy) {
        return false;
    }
    // A short move can end between two polls; a move to where the channel already is never
    // shows busy or a change, and ends once the channel has stood still for a while.
    return !w.armed || w.seenBusy || w.moved || w.still >= kStillPolls;
}

void AutomationServer::execute(Client& client, const Scpi::Parsed& parsed) {
    const Scpi::Command& c = parsed.command;
    const bool query = parsed.query();
    const auto refuse = [&](const QString& why) { fail(client, Scpi::ExecutionError, why, query); };

    switch (c.verb) {
        case Verb::Idn: {
            QString firmware = target_.firmware();
            firmware.replace(u',', u' ');
            answer(client,
                   QStringLiteral("motor-panel,%1,%2,%3")
                       .arg(target_.model(), firmware.isEmpty() ? QStringLiteral("NONE") : firmware, version_)
                       .toLatin1());
            return;
        }
        case Verb::Cls:
            client.errors.clear();
            return;
        case Verb::SystemError:
            if (client.errors.empty()) {
                answer(client, "0,\"No error\"");
            } else {
                answer(client, client.errors.front().toLatin1());
                client.errors.pop_front();
            }
            return;
        case Verb::SystemAuth:
            return;
        case Verb::Connected:
            answer(client, target_.connected() ? "1" : "0");
            return;
        case Verb::Model:
            answer(client, target_.model().toLatin1());
            return;
        case Verb::Channels:
            answer(client, QByteArray::number(target_.channels()));
            return;
        case Verb::Position:
            if (channelsValid(client, c, true)) {
                answer(client, target_.position(c.targets[0].ch).toLatin1());
            }
            return;
        case Verb::Status:
            if (channelsValid(client, c, true)) {
                const ScriptTarget::Report r = target_.report(c.targets[0].ch);
                QByteArray bits;
                for (bool b : {r.busy, r.cw, r.ccw, r.hp, r.hold, r.stop}) {
                    bits += QByteArray(bits.isEmpty() ? "" : ",") + (b ? '1' : '0');
                }
                answer(client, bits);
            }
            return;
        case Verb::Opc:
        case Verb::Wait:
            if (c.verb == Verb::Wait && !channelsValid(client, c, true)) {
                return;
            }
            client.waiting = true;
            client.deferred = c;
            client.deadline = clock_.elapsed() + (c.verb == Verb::Wait ? c.timeoutMs : Scpi::kDefaultWaitMs);
            if (!settle(client)) {
                settleTimer_.start();
            }
            return;
        case Verb::Ask: {
            const QString why = refusal(false, false);
            if (!why.isEmpty()) {
                refuse(why);
                return;
            }
            if (!target_.ask(c.text)) {
                refuse(QStringLiteral("another raw query is outstanding"));
                return;
            }
            client.waiting = true;
            client.deferred = c;
            client.deadline = clock_.elapsed() + kAskTimeoutMs;
            settleTimer_.start();
            return;
        }
        default:
            break;
    }

    // Commands that reach the controller.
    const bool stopCommand = c.verb == Verb::Stop;
    const bool motion = c.verb == Verb::MoveRel || c.verb == Verb::MoveAbs || c.verb == Verb::Preset ||
                        c.verb == Verb::Jog || c.verb == Verb::Home || c.verb == Verb::Scan;
    const QString why = refusal(stopCommand, motion);
    if (!why.isEmpty()) {
        refuse(why);
        return;
    }
    if (!channelsValid(client, c, false)) {
        return;
    }
    switch (c.verb) {
        case Verb::MoveRel:
        case Verb::MoveAbs:
        case Verb::Preset: {
            std::array<QString, 4> values;
            std::array<bool, 4> given{};
            for (const Scpi::Target& t : c.targets) {
                values[t.ch] = QString::fromLatin1(t.value);
                given[t.ch] = true;
                arm(client, t.ch);
            }
            target_.requestMove(c.verb == Verb::Preset    ? ScriptTarget::Move::Preset
                                : c.verb == Verb::MoveAbs ? ScriptTarget::Move::Absolute
                                                          : ScriptTarget::Move::Relative,
                                values, given);
            moveOwner_ = client.id;
            return;
        }
        case Verb::Jog:
        case Verb::Home:
        case Verb::Scan:
            for (const Scpi::Target& t : c.targets) {
                target_.motion(c.verb == Verb::Jog    ? ScriptTarget::Motion::Jog
                               : c.verb == Verb::Home ? ScriptTarget::Motion::Home
                                                      : ScriptTarget::Motion::Scan,
                               t.ch, t.direction > 0);
                arm(client, t.ch);
            }
            return;
        case Verb::Stop: {
            // What the scripts still had to send is dropped first, so nothing starts after the stop.
            target_.cancelMoves();
            target_.endDemo();
            std::vector<int> channels;
            for (const Scpi::Target& t : c.targets) {
                channels.push_back(t.ch);
            }
            if (channels.empty()) {
                for (int ch = 0; ch < target_.channels(); ++ch) {
                    channels.push_back(ch);
                }
            }
            for (int ch : channels) {
                target_.stop(ch);
                arm(client, ch);
                owner_[ch] = 0;
            }
            return;
        }
        case Verb::Speed:
            target_.speed(c.speed);
            return;
        case Verb::Hold:
            for (const Scpi::Target& t : c.targets) {
                target_.hold(t.ch, t.on);
            }
            return;
        case Verb::Send:
            target_.send(c.text);
            return;
        default:
            return;
    }
}

bool AutomationServer::settle(Client& client) {
    if (!client.waiting) {
        return true;
    }
    const Scpi::Command& c = client.deferred;
    const bool late = clock_.elapsed() >= client.deadline;
    QByteArray reply;
    bool answered = false;
    switch (c.verb) {
        case Verb::Wait: {
            bool all = true;
            for (const Scpi::Target& t : c.targets) {
                all = all && done(t.ch);
            }
            if (all) {
                reply = "DONE";
                answered = true;
            } else if (late || !target_.connected()) {
                if (!target_.connected()) {
                    fail(client, Scpi::ExecutionError, QStringLiteral("the session ended while waiting"),
                         false);
                }
                reply = "TIMEOUT";
                answered = true;
            }
            break;
        }
        case Verb::Opc:
            if (!target_.movePending() || late || !target_.connected()) {
                reply = target_.movePending() ? "0" : "1";
                answered = true;
            }
            break;
        case Verb::Ask: {
            const ScriptTarget::AskState state = target_.askState();
            if (state == ScriptTarget::AskState::Answered) {
                reply = target_.takeAnswer();
                answered = true;
            } else if (state == ScriptTarget::AskState::TimedOut || late || !target_.connected()) {
                target_.dropAsk();
                reply = "TIMEOUT";
                answered = true;
            }
            break;
        }
        default:
            answered = true;
    }
    if (!answered) {
        return false;
    }
    client.waiting = false;
    answer(client, reply);
    return true;
}

void AutomationServer::settleAll() {
    bool anyWaiting = false;
    // serve() may drop a client; walk a copy of the list.
    std::vector<Client*> clients;
    for (auto& c : clients_) {
        clients.push_back(c.get());
    }
    ++serving_;
    for (Client* c : clients) {
        if (!c->gone && c->waiting && settle(*c)) {
            serve(c);
        }
    }
    if (--serving_ == 0) {
        bury();
    }
    for (auto& c : clients_) {
        anyWaiting = anyWaiting || c->waiting;
    }
    if (!anyWaiting) {
        settleTimer_.stop();
    }
}

void AutomationServer::bury() {
    for (auto& c : graveyard_) {
        c->socket->deleteLater();
    }
    graveyard_.clear();
}

void AutomationServer::answer(Client& client, const QByteArray& text) {
    if (!client.gone) {
        client.socket->write(text + '\n');
    }
}

void AutomationServer::fail(Client& client, int code, const QString& detail, bool query) {
    const QString entry = QStringLiteral("%1,\"%2; %3\"").arg(code).arg(Scpi::codeText(code), detail);
    if (int(client.errors.size()) >= kErrorQueue) {
        client.errors.back() =
            QStringLiteral("%1,\"%2\"").arg(Scpi::QueueOverflow).arg(Scpi::codeText(Scpi::QueueOverflow));
    } else {
        client.errors.push_back(entry);
    }
    // A query always answers one line, so a script's read never hangs; the reason is in the queue.
    if (query) {
        answer(client, QByteArray());
    }
}

void AutomationServer::logLine(const Client& client, const QByteArray& line, const QString& outcome) {
    log_.push_back(LogEntry{clock_.elapsed(), client.id, printable(line), outcome});
    if (int(log_.size()) > kLogLines) {
        log_.pop_front();
    }
}

void AutomationServer::abortScripts() {
    enabled_ = false;
    target_.cancelMoves();
    if (target_.connected() && !target_.setupOpen()) {
        target_.endDemo();
        for (int ch = 0; ch < std::max(target_.channels(), 2); ++ch) {
            target_.stop(ch);
        }
    }
    owner_.fill(0);
    moveOwner_ = 0;
    emit enabledChanged(false);
}

void AutomationServer::enableScripts() {
    enabled_ = true;
    emit enabledChanged(true);
}
