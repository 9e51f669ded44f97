#include "commandexecution.h"

#include "axisbook.h"
#include "clientsession.h"
#include "motionwait.h"
#include "scripttarget.h"
#include "sessiontarget.h"

#include <algorithm>
#include <cstdlib>

using Scpi::Verb;

namespace {
MoveKind kindOf(Verb verb) {
    switch (verb) {
        case Verb::Preset:
            return MoveKind::Preset;
        case Verb::MoveAbs:
            return MoveKind::Absolute;
        case Verb::Jog:
            return MoveKind::Jog;
        case Verb::Home:
            return MoveKind::Home;
        case Verb::Scan:
            return MoveKind::Scan;
        default:
            return MoveKind::Relative;
    }
}

bool isMove(Verb v) {
    return v == Verb::MoveRel || v == Verb::MoveAbs || v == Verb::Preset;
}

bool isMotion(Verb v) {
    return isMove(v) || v == Verb::Jog || v == Verb::Home || v == Verb::Scan;
}

QByteArray flag(bool b) {
    return b ? "1" : "0";
}
}  // namespace

CommandExecution::CommandExecution(ScriptTarget& target, Context context)
    : target_(target), context_(std::move(context)) {}

void CommandExecution::execute(const std::shared_ptr<ClientSession>& client, const Scpi::Parsed& parsed) {
    if (!answerQuery(*client, parsed.command) && !linkCommand(*client, parsed.command)) {
        reach(client, parsed.command);
    }
}

bool CommandExecution::linkCommand(ClientSession& client, const Scpi::Command& c) {
    if (c.verb != Verb::SystemConnect && c.verb != Verb::SystemDisconnect) {
        return false;
    }
    // Opening a session restarts the polling that the setup window stopped; ending one would
    // leave the window working a table on a link that is gone.
    QString why;
    if (context_.session == nullptr) {
        why = QStringLiteral("no session control");
    } else if (target_.setupOpen()) {
        why = QStringLiteral("setup window open");
    } else if (c.verb == Verb::SystemDisconnect) {
        context_.session->closeSession(QStringLiteral("SYST:DISC from client %1").arg(client.id()));
    } else if (target_.connected()) {
        why = QStringLiteral("already connected");
    } else {
        const Scpi::Link& link = c.link;
        why = context_.session->openSession(link.lan, QString::fromLatin1(link.host),
                                            QString::fromLatin1(link.port), client.id());
    }
    if (!why.isEmpty()) {
        client.fail(Scpi::ExecutionError, why, false);
    }
    return true;
}

void CommandExecution::defer(ClientSession& client, const Scpi::Command& c, qint64 ms) {
    client.waitingOn = c;
    client.deadline = context_.now() + ms;
    context_.waitStarted();
}

bool CommandExecution::channelsValid(ClientSession& client, const Scpi::Command& c, bool query) const {
    const int n = target_.channels();
    for (const Scpi::Target& t : c.targets) {
        if (t.ch >= n) {
            client.fail(Scpi::SettingsConflict,
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

bool CommandExecution::answerQuery(ClientSession& client, const Scpi::Command& c) {
    const AxisBook& axes = target_.axes();
    switch (c.verb) {
        case Verb::Idn: {
            QString firmware = target_.firmware();
            firmware.replace(u',', u' ');
            client.answer(QStringLiteral("motor-panel,%1,%2,%3")
                              .arg(target_.model(), firmware.isEmpty() ? QStringLiteral("NONE") : firmware,
                                   context_.version)
                              .toLatin1());
            return true;
        }
        case Verb::Cls:
            client.clearErrors();
            client.takeEvents();
            client.opcArmed = false;
            return true;
        case Verb::Esr:
            client.answer(QByteArray::number(client.takeEvents()));
            return true;
        case Verb::Stb:
            client.answer(QByteArray::number(client.statusByte()));
            return true;
        case Verb::SystemError:
            client.answer(client.takeError().value_or(QStringLiteral("0,\"No error\"")).toLatin1());
            return true;
        case Verb::SystemAuth:
            return true;
        case Verb::Connected:
            client.answer(flag(target_.connected()));
            return true;
        case Verb::Model:
            client.answer(target_.model().toLatin1());
            return true;
        case Verb::Channels:
            client.answer(QByteArray::number(target_.channels()));
            return true;
        case Verb::SpeedQuery:
            client.answer(QByteArray(1, "HML"[std::clamp(target_.selectedSpeed(), 0, 2)]));
            return true;
        case Verb::SystemState:
            client.answer(stateWord());
            return true;
        case Verb::Position:
        case Verb::Status:
        case Verb::Motion:
        case Verb::MotionReason: {
            if (!channelsValid(client, c, true)) {
                return true;
            }
            const int ch = c.targets[0].ch;
            client.answer(c.verb == Verb::Position ? axes.report(ch).positionText.toLatin1()
                          : c.verb == Verb::Status ? statusBits(ch)
                          : c.verb == Verb::Motion ? motionWord(ch)
                                                   : reasonText(ch));
            return true;
        }
        case Verb::Unit:
            client.answer(unitText(c.targets[0].ch));
            return true;
        case Verb::Watch:
            // Any channel may be watched, one the model lacks too: a session with a larger model
            // brings it.
            defer(client, c, c.timeoutMs);
            // Due now when something changed since the client's last look.
            if (const std::optional<QByteArray> now = settleWatch(client, context_.now())) {
                client.waitingOn.reset();
                client.answer(*now);
            }
            return true;
        case Verb::Wait:
            if (channelsValid(client, c, true)) {
                defer(client, c, c.timeoutMs);
            }
            return true;
        case Verb::Opc:
        case Verb::Wai:
            defer(client, c, Scpi::kDefaultWaitMs);
            return true;
        case Verb::OpcSet:
            client.opcArmed = true;
            context_.waitStarted();
            return true;
        default:
            return false;
    }
}

QByteArray CommandExecution::stateWord() const {
    // Whether commands that reach the controller are taken, and if not, why.
    return !target_.connected()         ? "NO SESSION"
           : target_.setupOpen()        ? "SETUP OPEN"
           : !context_.scriptsEnabled() ? "SCRIPTS ABORTED"
                                        : "READY";
}

QByteArray CommandExecution::statusBits(int ch) const {
    const AxisReport& r = target_.axes().report(ch);
    return flag(r.busy) + ',' + flag(r.cw) + ',' + flag(r.ccw) + ',' + flag(r.hp) + ',' + flag(r.holdOff) +
           ',' + flag(r.stopBits & 0x0C0);
}

QByteArray CommandExecution::motionWord(int ch) const {
    // A move under way, whosever, is the channel's news even when a newer one has ended.
    const AxisBook& axes = target_.axes();
    const AxisMove* m = axes.latest(ch);
    return m == nullptr        ? "NONE"
           : axes.underWay(ch) ? "MOVING"
                               : AxisBook::outcomeWord(m->outcome).toLatin1();
}

QByteArray CommandExecution::reasonText(int ch) const {
    // The channel's own reason, as its queue entry gives it, without touching a queue.
    const AxisMove* m = target_.axes().latest(ch);
    const bool told = m != nullptr && m->outcome != Outcome::None && m->outcome != Outcome::Done;
    QString reason = told ? MotionWait::describe(ch, *m) : QString();
    reason.replace(u'"', QStringLiteral("\"\""));
    return '"' + reason.toUtf8() + '"';
}

QByteArray CommandExecution::unitText(int ch) const {
    // The operator's scale for the channel, kept by the panel with or without a session:
    // pulses per unit and the name, UTF-8 ("µm"), a quote in it doubled; 0,"" for none.
    const ChannelUnit u = target_.unit(ch);
    QString name = u.set() ? u.name : QString();
    name.replace(u'"', QStringLiteral("\"\""));
    return QByteArray::number(u.set() ? u.pulsesPerUnit : 0.0, 'g', 15) + ",\"" + name.toUtf8() + '"';
}

QByteArray CommandExecution::watched(const std::vector<Scpi::Target>& targets) const {
    QByteArray seen = stateWord() + ';' + QByteArray::number(target_.channels()) + ';' +
                      QByteArray::number(target_.selectedSpeed());
    for (const Scpi::Target& t : targets) {
        seen += ';' + target_.axes().report(t.ch).positionText.toLatin1() + ';' + statusBits(t.ch) + ';' +
                motionWord(t.ch) + ';' + reasonText(t.ch) + ';' + unitText(t.ch);
    }
    return seen;
}

std::optional<QByteArray> CommandExecution::settleWatch(ClientSession& client, qint64 now) const {
    QByteArray seen = watched(client.waitingOn->targets);
    if (seen != client.watchSeen) {
        client.watchSeen = std::move(seen);
        return QByteArray("1");
    }
    if (now >= client.deadline) {
        return QByteArray("0");
    }
    return std::nullopt;
}

QString CommandExecution::refusal(const Scpi::Command& c) const {
    const bool stopping = c.verb == Verb::Stop;
    if (!target_.connected()) {
        return QStringLiteral("not connected");
    }
    if (target_.setupOpen()) {
        return QStringLiteral("setup window open");
    }
    if (!context_.scriptsEnabled() && !stopping) {
        return QStringLiteral("scripts aborted by the operator");
    }
    if (isMotion(c.verb) && target_.demoRunning()) {
        return QStringLiteral("demonstration drive running");
    }
    // A channel takes one motion at a time, whoever started the one under way: a command sent to
    // a moving channel would be dropped by the controller.
    for (const Scpi::Target& t : c.targets) {
        if (!isMotion(c.verb) || t.ch >= target_.channels()) {
            continue;
        }
        if (target_.operatorSequencing(t.ch)) {
            return QStringLiteral("the operator's move on %1 is still being sent")
                .arg(Scpi::channelLetter(t.ch));
        }
        if (target_.axes().underWay(t.ch)) {
            return QStringLiteral("%1 is moving").arg(Scpi::channelLetter(t.ch));
        }
        // Until then the session has not told the model (the command's form) nor where the
        // channel stands (a relative move's target), nor whether a motor still runs from before.
        if (!target_.axes().report(t.ch).position) {
            return QStringLiteral("%1 not yet polled in this session").arg(Scpi::channelLetter(t.ch));
        }
    }
    return {};
}

bool CommandExecution::stopAll(unsigned channels, const QString& why) {
    for (int ch = 0; ch < target_.channels(); ++ch) {
        if ((channels & (1u << ch)) && !target_.stop(ch, why)) {
            return false;
        }
    }
    return true;
}

bool CommandExecution::stopScripts(int client, const QString& why) {
    // Nothing may be sent now; what the scripts still had to send must not go out later.
    if (!target_.connected() || target_.setupOpen()) {
        target_.dropScriptMoves(why, client);
        return true;
    }
    // Cut first: a move dropped unsent needs no stop, one held in the bracket does.
    if (!target_.cutScriptMoves(why, client)) {
        return false;
    }
    unsigned channels = 0;
    for (int ch = 0; ch < target_.channels(); ++ch) {
        channels |= target_.axes().underWay(ch, Origin::Script, client) ? 1u << ch : 0u;
    }
    return stopAll(channels, why);
}

void CommandExecution::reach(const std::shared_ptr<ClientSession>& client, const Scpi::Command& c) {
    const QString who = QStringLiteral("client %1").arg(client->id());
    if (c.verb == Verb::Rst) {
        // Whatever else: the scripts' moves are stopped where a session allows, the queue emptied.
        const bool sent = stopScripts(0, QStringLiteral("*RST from ") + who);
        if (!client->gone) {
            client->clearErrors();
            if (!sent) {
                client->fail(Scpi::ExecutionError, QStringLiteral("not connected"), false);
            }
        }
        return;
    }
    // The controller's own limit, in either dialect: refused before anything is sent.
    for (const Scpi::Target& t : c.targets) {
        if (isMove(c.verb) && std::abs(t.number) > kValueLimit) {
            client->fail(Scpi::DataOutOfRange,
                         QStringLiteral("%1: %2 is beyond the controller's limit of %3")
                             .arg(Scpi::channelLetter(t.ch))
                             .arg(t.number)
                             .arg(kValueLimit),
                         false);
            return;
        }
    }
    const bool query = c.verb == Verb::Ask;
    if (const QString why = refusal(c); !why.isEmpty()) {
        client->fail(Scpi::ExecutionError, why, query);
        return;
    }
    if (!channelsValid(*client, c, query)) {
        return;
    }
    bool sent = true;
    switch (c.verb) {
        case Verb::MoveRel:
        case Verb::MoveAbs:
        case Verb::Preset:
        case Verb::Jog:
        case Verb::Home:
        case Verb::Scan: {
            std::array<QString, 4> values;
            std::array<bool, 4> cw{};
            std::array<bool, 4> given{};
            for (const Scpi::Target& t : c.targets) {
                values[t.ch] = QString::fromLatin1(t.value);
                cw[t.ch] = t.direction > 0;
                given[t.ch] = true;
            }
            target_.requestMove(kindOf(c.verb), values, cw, given, client->id());
            return;
        }
        case Verb::Stop: {
            // What the scripts still had to send goes first (a bracket they opened is closed),
            // so nothing starts after the stop.
            unsigned channels = c.targets.empty() ? 0x0Fu : 0u;
            for (const Scpi::Target& t : c.targets) {
                channels |= 1u << t.ch;
            }
            const QString why = QStringLiteral("STOP from ") + who;
            sent = target_.cutScriptMoves(why, 0, channels);
            if (sent) {
                target_.endDemo();
                sent = stopAll(channels, why);
            }
            break;
        }
        case Verb::Speed:
            sent = target_.speed(c.speed);
            break;
        case Verb::Hold:
            for (const Scpi::Target& t : c.targets) {
                sent = target_.hold(t.ch, t.on, QStringLiteral("HOLD from ") + who);
                if (!sent || client->gone) {
                    break;
                }
            }
            break;
        case Verb::Send:
            sent = target_.send(c.text);
            break;
        case Verb::Ask:
            if (!target_.ask(c.text)) {
                client->fail(Scpi::ExecutionError, QStringLiteral("another raw query is outstanding"), true);
                return;
            }
            defer(*client, c, MotionWait::kAskTimeoutMs);
            return;
        default:
            return;
    }
    // A failed send has ended the session: the rest of the command is not sent, and the client
    // hears of it once.
    if (!sent && !client->gone) {
        client->fail(Scpi::ExecutionError, QStringLiteral("not connected"), false);
    }
}
