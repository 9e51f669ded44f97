// Truth soak: what the automation port reports for every move must be what the motor did.
//
// The whole panel (offscreen) runs here against in-process simulated controllers: a KELDA-01 over
// loopback TCP and a VASKO-01 over a pseudo-terminal, alternating per session unless --model picks
// one. Three script clients on the automation port and the operator's Stop button move random
// channels at random: relative and absolute moves (now and then into a limit switch or a soft
// limit), jogs, scans, stops; every so often the line falls silent, the panel ends the session and
// the operator connects again.
//
// Each client keeps a channel to itself from the moment it sends a motion until WAIT? has
// answered: WAIT? answers for the channel's latest move, so a second client moving the channel
// in between would make the answer someone else's. Refusals come from the client asking a second
// motion of its own moving channel, and from the time without a session.
//
// The truth is the simulator's record of each channel's runs. For every outcome, the run that
// started after the client sent its move is held against it:
//   DONE     the run ended by itself: a relative or absolute move at its target (the start plus
//            the value, or the value); a jog or scan where the controller ended it, a switch or a
//            soft limit included, as the port's rules have it
//   STOPPED  the run was stopped by a command or a hold-off, or no run started (the move was cut
//            before its command went out)
//   LIMIT    the run ended at a limit switch or a soft limit
//   ERROR    only when the session was lost while the move was under way, or for a move the
//            network model's soft limit ended short of its target (that model reports no stop
//            condition, so the panel says it stopped short; counted apart)
// Anything else is a mismatch. Exits non-zero on a mismatch or an answer the port should not give.
//
// Usage: truth_soak [--minutes N] [--seed S] [--model both|kelda|vasko]
#include "application.h"
#include "automationserver.h"
#include "linkrequest.h"
#include "simclock.h"
#include "simcontroller.h"
#include "simtcpserver.h"
#include "simtty.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>

namespace {

constexpr int kClients = 3;
const QByteArray kNoError = "0,\"No error\"";

struct Silent : MessageSink {
    void showMessage(const QString&, const QString&, Icon) override {}
};

struct Controller {
    Controller(SimModel model, MonotonicClock& clock) : sim(model, clock), usb(model != SimModel::Kelda) {
        if (usb) {
            pty = std::make_unique<SimPty>(sim);
        } else {
            tcp = std::make_unique<SimTcpServer>(sim);
        }
        // Fast enough for many moves a minute; soft limits on B (and D) so that some moves end there.
        sim.machine().setSpeed(SimMachine::Speed::High);
        for (int ch = 1; ch < sim.machine().channelCount(); ch += 2) {
            sim.channel(ch).table.flags |= SimChannel::FlagSoftLimits;
        }
        // When a stop last reached each channel, to tell how late a stop came for a run that
        // had ended by itself.
        QObject::connect(&sim, &SimController::commandReceived, &sim, [this, &clock](const QByteArray& line) {
            const QByteArray c = line.trimmed().toUpper();
            if (c.size() == 5 && c.startsWith("S3") && c.endsWith("40")) {
                lastStopUs[size_t(c[2] - '0') % lastStopUs.size()] = clock.nowUs();
            }
            // What went out besides the polling, to show what a move that never ran was sent as.
            const bool poll = c == "VER?" || c == "S48" || c.startsWith("STS") || c.startsWith("PS?") ||
                              (c.startsWith("S2") && c.size() == 4);
            if (!poll) {
                recent.push_back({clock.nowUs(), c});
                if (recent.size() > 16) {
                    recent.pop_front();
                }
            }
        });
    }
    bool open() { return usb ? pty->open() : tcp->listen(0) != 0; }
    int channels() { return sim.machine().channelCount(); }

    SimController sim;
    bool usb;
    std::unique_ptr<SimTcpServer> tcp;
    std::unique_ptr<SimPty> pty;
    std::array<qint64, 4> lastStopUs{};
    std::deque<std::pair<qint64, QByteArray>> recent;
};

enum class Action { Rel, Abs, Jog, Scan };

// A motion a client sent and waits on.
struct Sent {
    Action action = Action::Rel;
    int ch = 0;
    qint64 value = 0;
    QByteArray line;
    Controller* controller = nullptr;
    quint64 firstRun = 0;  // runs from this one on started after it was sent
    int session = 0;       // sessions lost when it was sent
    qint64 sentUs = 0;
    qint64 sessionAgeUs = 0;  // how long the session had been open when it was sent
    bool stoppedByUs = false;
};

struct Client {
    int id = 0;
    QTcpSocket socket;
    std::deque<std::function<void(const QByteArray&)>> answers;
    Sent sent;
};

const char* endName(SimRun::End end) {
    switch (end) {
        case SimRun::End::Running:
            return "still running";
        case SimRun::End::Reached:
            return "reached its end";
        case SimRun::End::Stopped:
            return "stopped by command";
        case SimRun::End::HeldOff:
            return "stopped by hold-off";
        case SimRun::End::Limit:
            return "stopped at a limit switch";
        case SimRun::End::SoftLimit:
            return "stopped at a soft limit";
        case SimRun::End::Placed:
            return "placed by hand";
    }
    return "?";
}

class TruthSoak : public QObject {
public:
    TruthSoak(int minutes, quint32 seed, const QString& model)
        : minutes_(minutes), seed_(seed), random_(seed), model_(model) {}

    int run() {
        if (!kelda_.open() || !vasko_.open()) {
            std::printf("truth_soak: cannot open the simulators' links\n");
            return 2;
        }
        current_ = model_ == u"vasko" ? &vasko_ : &kelda_;
        connect(&app_.channel, &CommandChannel::sessionEnded, this, [this](const QString& why) {
            ++sessionsLost_;
            ++lossReasons_[why];
            QTimer::singleShot(100 + int(random_.bounded(200)), this, &TruthSoak::reconnect);
        });
        connect(&app_.session, &Session::connected, this, [this] {
            ++sessions_;
            sessionBeganUs_ = clock_.nowUs();
        });
        QString error;
        const QString tokenPath = dir_.filePath(QStringLiteral("token"));
        if (!app_.startAutomation(0, tokenPath, &error)) {
            std::printf("truth_soak: no automation port: %s\n", qPrintable(error));
            return 2;
        }
        QFile tokenFile(tokenPath);
        tokenFile.open(QIODevice::ReadOnly);
        token_ = tokenFile.readAll().trimmed();
        app_.window.show();
        startUs_ = clock_.nowUs();
        firstConnect_ = true;
        reconnect();

        for (int k = 0; k < kClients; ++k) {
            startClient(k + 1);
        }
        QTimer operatorStop;
        connect(&operatorStop, &QTimer::timeout, this, [&] {
            pressStop();
            operatorStop.start(2000 + int(random_.bounded(4000)));
        });
        operatorStop.start(3000);
        QTimer drops;
        connect(&drops, &QTimer::timeout, this, [&] {
            if (app_.state.Connected) {
                current_->sim.faults().setSilent(true);  // the panel ends the session at its 4th time-out
                ++drops_;
            }
            drops.start(20'000 + int(random_.bounded(25'000)));
        });
        drops.start(15'000);

        QEventLoop loop;
        QTimer::singleShot(minutes_ * 60'000, &loop, [&] {
            ending_ = true;
            operatorStop.stop();
            drops.stop();
        });
        // Every client finishes the move it waits on; a generous bound for one that hangs.
        QTimer idle;
        connect(&idle, &QTimer::timeout, &loop, [&] {
            if (ending_ && (idleClients_ == kClients || ++graceTicks_ > 120)) {
                loop.quit();
            }
        });
        idle.start(500);
        loop.exec();
        report();
        return mismatches_ == 0 && unexpected_ == 0 && sessions_ > 0 ? 0 : 1;
    }

private:
    void reconnect() {
        if (app_.state.Connected) {
            return;
        }
        if (!firstConnect_ && model_ == u"both") {
            current_ = current_ == &kelda_ ? &vasko_ : &kelda_;
        }
        firstConnect_ = false;
        current_->sim.faults().setSilent(false);
        if (current_->usb && !current_->pty->isOpen()) {
            current_->pty->open();
        } else if (!current_->usb) {
            // As an operator's controller would after a lost line: the old peer is gone, not
            // left to turn the new connection away as busy.
            current_->tcp->close();
            current_->tcp->listen(0);
        }
        // The dialog's own checks and recent lists, without the clicks: the soak tells outcomes,
        // not the dialog.
        LinkRequest link;
        link.lan = !current_->usb;
        link.host = QStringLiteral("127.0.0.1");
        link.port = current_->usb ? current_->pty->devicePath() : QString::number(current_->tcp->port());
        app_.session.Open(link);
        if (!app_.state.Connected) {
            firstConnect_ = true;  // the same link again
            QTimer::singleShot(500, this, &TruthSoak::reconnect);
        }
    }

    // The operator selects a channel, presses Stop, and selects it no more.
    void pressStop() {
        if (!app_.state.Connected) {
            return;
        }
        const QString ch = QString::number(random_.bounded(current_->channels()));
        auto* select = app_.window.findChild<QAbstractButton*>(QStringLiteral("Ch_") + ch);
        select->click();
        app_.window.findChild<QAbstractButton*>(QStringLiteral("Ctr_6"))->click();
        select->click();
        ++operatorStops_;
    }

    void startClient(int id) {
        auto client = std::make_unique<Client>();
        Client& c = *client;
        c.id = id;
        clients_.push_back(std::move(client));
        connect(&c.socket, &QTcpSocket::readyRead, this, [this, &c] {
            while (c.socket.canReadLine()) {
                const QByteArray line = c.socket.readLine().trimmed();
                if (c.answers.empty()) {
                    unexpectedAnswer(c, "an answer nobody asked for", line);
                    continue;
                }
                auto then = std::move(c.answers.front());
                c.answers.pop_front();
                then(line);
            }
        });
        connect(&c.socket, &QTcpSocket::connected, this, [this, &c] {
            ask(c, "SYST:AUTH \"" + token_ + "\";SYST:ERR?", [this, &c](const QByteArray& answer) {
                if (answer != kNoError) {
                    unexpectedAnswer(c, "SYST:AUTH", answer);
                }
                next(c);
            });
        });
        c.socket.connectToHost(QHostAddress::LocalHost, app_.automation()->port());
    }

    void ask(Client& c, const QByteArray& line, std::function<void(const QByteArray&)> then) {
        c.answers.push_back(std::move(then));
        c.socket.write(line + '\n');
    }

    void next(Client& c) {
        if (ending_) {
            ++idleClients_;
            return;
        }
        QTimer::singleShot(10 + int(random_.bounded(150)), this, [this, &c] { act(c); });
    }

    QByteArray letter(int ch) const { return QByteArray(1, char('A' + ch)); }

    qint64 randomValue(Action a) {
        const bool far = random_.bounded(10) == 0;  // into a switch or a soft limit, mostly
        const qint64 sign = random_.bounded(2) == 0 ? -1 : 1;
        if (a == Action::Rel) {
            return far ? sign * (15'000 + random_.bounded(20'000)) : qint64(random_.bounded(8001)) - 4000;
        }
        return far ? sign * (14'000 + random_.bounded(10'000)) : qint64(random_.bounded(28'001)) - 14'000;
    }

    void act(Client& c) {
        Controller& ctl = *current_;
        const int ch = int(random_.bounded(ctl.channels()));
        if (random_.bounded(20) == 0) {
            // A stop of any channel, whoever moves it.
            ask(c, "*CLS;STOP " + letter(ch) + ";SYST:ERR?", [this, &c](const QByteArray& answer) {
                ++clientStops_;
                if (answer != kNoError && !refusal(answer)) {
                    unexpectedAnswer(c, "STOP", answer);
                }
                next(c);
            });
            return;
        }
        if (owner_[size_t(ch)] != 0) {
            next(c);
            return;
        }
        Sent s;
        // Moves to a value twice as often as jogs and scans.
        constexpr std::array kActions{Action::Rel, Action::Rel, Action::Abs,
                                      Action::Abs, Action::Jog, Action::Scan};
        s.action = kActions[random_.bounded(int(kActions.size()))];
        s.ch = ch;
        const QByteArray x = letter(ch);
        if (s.action == Action::Rel || s.action == Action::Abs) {
            s.value = randomValue(s.action);
            s.line =
                (s.action == Action::Rel ? "MOVE:REL " : "MOVE:ABS ") + x + ',' + QByteArray::number(s.value);
        } else {
            s.value = random_.bounded(2) == 0 ? 1 : -1;
            s.line = (s.action == Action::Jog ? "JOG " : "SCAN ") + x + (s.value > 0 ? ",+" : ",-");
        }
        owner_[size_t(ch)] = c.id;
        send(
            c, s,
            [this, &c] {
                // Now and then a second motion of the same channel at once: it moves, so it is refused.
                if (random_.bounded(5) != 0) {
                    wait(c);
                    return;
                }
                Sent again = c.sent;
                again.action = Action::Jog;
                again.value = 1;
                again.line = "JOG " + letter(again.ch) + ",+";
                send(
                    c, again,
                    [this, &c] {
                        ++superseded_;  // the first had ended already: WAIT? tells of the second
                        wait(c);
                    },
                    [this, &c] { wait(c); });
            },
            [this, &c, ch] { release(c, ch); });
    }

    // Sends a motion; `taken` goes on with it as the client's move, `refused` without it.
    void send(Client& c, Sent s, std::function<void()> taken, std::function<void()> refused) {
        s.controller = current_;
        s.firstRun = current_->sim.channel(s.ch).nextRunSeq();
        s.session = sessionsLost_;
        s.sentUs = clock_.nowUs();
        s.sessionAgeUs = s.sentUs - sessionBeganUs_;
        ++movesSent_;
        ask(c, "*CLS;" + s.line + ";SYST:ERR?", [this, &c, s, taken, refused](const QByteArray& answer) {
            if (answer == kNoError) {
                c.sent = s;
                taken();
                return;
            }
            if (!refusal(answer)) {
                unexpectedAnswer(c, s.line, answer);
            }
            refused();
        });
    }

    bool refusal(const QByteArray& answer) {
        if (answer.endsWith(" is moving\"")) {
            ++refusedMoving_;
        } else if (answer.endsWith("; not connected\"")) {
            ++refusedNoSession_;
        } else if (answer.startsWith("-221,")) {
            ++refusedChannel_;  // a session just opened on a model with fewer channels than the last
        } else if (answer.startsWith("-200,")) {
            ++refusedOther_;
            ++otherRefusals_[answer];
        } else {
            return false;
        }
        return true;
    }

    void release(Client& c, int ch) {
        if (owner_[size_t(ch)] == c.id) {
            owner_[size_t(ch)] = 0;
        }
        c.sent = Sent{};
        next(c);
    }

    void wait(Client& c) {
        // A scan runs until it meets a limit: the client stops it after a while.
        const bool scan = c.sent.action == Action::Scan && !c.sent.stoppedByUs;
        const QByteArray timeout = scan ? QByteArray::number(0.5 + random_.bounded(3.0), 'f', 1) : "40";
        ask(c, "WAIT? " + letter(c.sent.ch) + ",TIMEOUT=" + timeout,
            [this, &c, scan](const QByteArray& answer) {
                if (answer == "TIMEOUT") {
                    if (!scan) {
                        ++lateOutcomes_;
                        mismatch(c,
                                 QStringLiteral("%1 %2 no outcome within 40 s")
                                     .arg(QLatin1String(c.sent.controller->sim.model().name),
                                          QString::fromLatin1(c.sent.line.split(' ').first())),
                                 QStringLiteral("TIMEOUT"));
                    }
                    c.sent.stoppedByUs = true;
                    ask(c, "STOP " + letter(c.sent.ch) + ";SYST:ERR?",
                        [this, &c](const QByteArray&) { wait(c); });
                    return;
                }
                judge(c, answer);
            });
    }

    void judge(Client& c, const QByteArray& outcome) {
        const Sent& s = c.sent;
        const std::deque<SimRun>& runs = s.controller->sim.channel(s.ch).runs(clock_.nowUs());
        const SimRun* run = nullptr;
        int started = 0;
        for (const SimRun& r : runs) {
            if (r.seq >= s.firstRun) {
                run = run == nullptr ? &r : run;
                ++started;
            }
        }
        const bool lost = sessionsLost_ != s.session;
        ++outcomes_[outcome];
        QString wrong;
        const auto ended = [run](std::initializer_list<SimRun::End> ends) {
            return run != nullptr && std::find(ends.begin(), ends.end(), run->end) != ends.end();
        };
        using E = SimRun::End;
        if (started > 1) {
            wrong = QStringLiteral("%1 runs started after the move was sent").arg(started);
        } else if (outcome == "DONE") {
            if (s.action == Action::Rel || s.action == Action::Abs) {
                const qint64 target = s.action == Action::Abs ? s.value : (run ? run->from + s.value : 0);
                if (!ended({E::Reached}) || run->at != target) {
                    wrong = QStringLiteral("expected to have reached %1").arg(target);
                }
            } else if (!ended({E::Reached, E::Limit, E::SoftLimit})) {
                wrong = QStringLiteral("expected to have ended by itself");
            }
        } else if (outcome == "STOPPED") {
            if (run != nullptr && !ended({E::Stopped, E::HeldOff})) {
                wrong = QStringLiteral("expected a stop by command or hold-off, or no run");
            }
        } else if (outcome == "LIMIT") {
            if (!ended({E::Limit, E::SoftLimit})) {
                wrong = QStringLiteral("expected to have ended at a limit");
            }
        } else if (outcome == "ERROR") {
            if (lost) {
                ++errorsSessionLost_;
            } else if (run != nullptr && run->end == E::SoftLimit &&
                       s.controller->sim.model().name == "KELDA-01") {
                // The network model reports no stop condition: a move ended by a soft limit short
                // of its target is all the panel can tell, and it says so rather than DONE.
                ++softLimitsUntold_;
            } else {
                wrong = QStringLiteral("ERROR with the session open throughout");
            }
        } else {
            wrong = QStringLiteral("not an outcome");
        }
        if (wrong.isEmpty()) {
            release(c, s.ch);
            return;
        }
        const qint64 now = clock_.nowUs();
        QString found = QStringLiteral("no run");
        const SimRun* before = nullptr;
        for (const SimRun& r : runs) {
            before = r.seq < s.firstRun ? &r : before;
        }
        if (run != nullptr) {
            found = QStringLiteral("run %1 from %2%3: %4 at %5 after %6 ms")
                        .arg(run->seq)
                        .arg(run->from)
                        .arg(run->target ? QStringLiteral(" to %1").arg(*run->target) : QString())
                        .arg(QLatin1String(endName(run->end)))
                        .arg(run->at)
                        .arg(run->end == E::Running ? -1 : (run->endUs - run->startUs) / 1000);
            const qint64 stopUs = s.controller->lastStopUs[size_t(s.ch)];
            if (run->end != E::Running && run->end != E::Stopped && stopUs > run->endUs) {
                found += QStringLiteral(", a stop came %1 ms after").arg((stopUs - run->endUs) / 1000);
            }
        } else {
            if (before != nullptr) {
                const qint64 ms = (before->endUs - s.sentUs) / 1000;
                found += QStringLiteral("; the run before %1 %2")
                             .arg(QLatin1String(endName(before->end)))
                             .arg(before->end == E::Running ? QStringLiteral("when the move was sent")
                                  : ms >= 0 ? QStringLiteral("%1 ms after the move was sent").arg(ms)
                                            : QStringLiteral("%1 ms before the move was sent").arg(-ms));
            }
            QByteArrayList out;
            for (const auto& [atUs, line] : s.controller->recent) {
                out << (atUs >= s.sentUs ? line : QByteArray());
            }
            out.removeAll(QByteArray());
            found += QStringLiteral("; the controller received ") + QString::fromLatin1(out.join(' '));
        }
        found += QStringLiteral(" (sent %1 ms into its session%2)")
                     .arg(s.sessionAgeUs / 1000)
                     .arg(lost ? QStringLiteral(", which was lost meanwhile") : QString());
        // Mismatches of one kind are counted together; the first of each is described.
        const QString kind =
            QStringLiteral("%1 %2 %3, truth: %4%5")
                .arg(QLatin1String(s.controller->sim.model().name),
                     QString::fromLatin1(s.line.split(' ').first()), QString::fromLatin1(outcome),
                     run != nullptr ? QLatin1String(endName(run->end)) : QLatin1String("no run"),
                     lost ? QStringLiteral(", session lost") : QString());
        const int ch = s.ch;
        ask(c, "MOT:REAS? " + letter(ch), [this, &c, kind, wrong, found, ch, now](const QByteArray& reason) {
            mismatch(c, kind,
                     QStringLiteral("at %1 s: ").arg(double(now - startUs_) / 1e6, 0, 'f', 1) + wrong +
                         QStringLiteral("; found ") + found + QStringLiteral("; panel: ") +
                         QString::fromLatin1(reason));
            release(c, ch);
        });
    }

    void mismatch(const Client& c, const QString& kind, const QString& what) {
        ++mismatches_;
        Kind& k = kinds_[kind];
        if (k.count++ == 0) {
            k.example =
                QStringLiteral("%1, client %2: %3").arg(QString::fromLatin1(c.sent.line)).arg(c.id).arg(what);
        }
    }

    // An answer the port's rules do not allow: the bench cannot judge what follows it.
    void unexpectedAnswer(const Client& c, const QByteArray& asked, const QByteArray& answer) {
        ++unexpected_;
        Kind& k =
            kinds_[QStringLiteral("unexpected answer to ") + QString::fromLatin1(asked.split(' ').first())];
        if (k.count++ == 0) {
            k.example = QStringLiteral("client %1: %2 answered %3")
                            .arg(c.id)
                            .arg(QString::fromLatin1(asked), QString::fromLatin1(answer));
        }
    }

    void report() {
        std::printf("truth_soak: %d min, seed %u, model %s, %d clients and the operator's Stop\n", minutes_,
                    seed_, qPrintable(model_), kClients);
        std::printf("sessions          %d (%d lost, %d of them by a silenced line)\n", sessions_,
                    sessionsLost_, drops_);
        for (const auto& [why, n] : lossReasons_) {
            std::printf("                  %5d  %s\n", n, qPrintable(why));
        }
        std::printf("moves sent        %lld (superseded by a second at once: %d)\n", movesSent_, superseded_);
        std::printf("refusals          %d moving, %d no session, %d channel not on the model, %d other\n",
                    refusedMoving_, refusedNoSession_, refusedChannel_, refusedOther_);
        for (const auto& [text, n] : otherRefusals_) {
            std::printf("                  %5d  %s\n", n, text.constData());
        }
        std::printf("stops             %d by clients, %d by the operator\n", clientStops_, operatorStops_);
        std::printf("outcomes         ");
        for (const auto& [word, n] : outcomes_) {
            std::printf(" %s %d", word.constData(), n);
        }
        std::printf(
            "  (ERROR with the session lost: %d; ERROR for a soft limit on KELDA-01, which reports no "
            "stop condition: %d)\n",
            errorsSessionLost_, softLimitsUntold_);
        std::printf("mismatches        %d (no outcome within 40 s: %d); unexpected answers %d\n", mismatches_,
                    lateOutcomes_, unexpected_);
        std::vector<std::pair<QString, Kind>> kinds(kinds_.begin(), kinds_.end());
        std::stable_sort(kinds.begin(), kinds.end(),
                         [](const auto& a, const auto& b) { return a.second.count > b.second.count; });
        for (const auto& [kind, k] : kinds) {
            std::printf("  %5d  %s\n         first: %s\n", k.count, qPrintable(kind), qPrintable(k.example));
        }
        std::fflush(stdout);
    }

    int minutes_;
    quint32 seed_;
    QRandomGenerator random_;
    QString model_;
    QTemporaryDir dir_;
    Silent messages_;
    Application app_{QDir(dir_.path()), &messages_};
    MonotonicClock clock_;
    Controller kelda_{SimModel::Kelda, clock_};
    Controller vasko_{SimModel::Vasko, clock_};
    Controller* current_ = nullptr;
    bool firstConnect_ = true;
    QByteArray token_;
    std::vector<std::unique_ptr<Client>> clients_;
    std::array<int, 4> owner_{};  // the client a channel is kept for, 0 for none
    bool ending_ = false;
    int idleClients_ = 0;
    int graceTicks_ = 0;

    int sessions_ = 0;
    int sessionsLost_ = 0;
    int drops_ = 0;
    std::map<QString, int> lossReasons_;
    qint64 movesSent_ = 0;
    int superseded_ = 0;
    int refusedMoving_ = 0;
    int refusedNoSession_ = 0;
    int refusedOther_ = 0;
    int refusedChannel_ = 0;
    std::map<QByteArray, int> otherRefusals_;
    int clientStops_ = 0;
    int operatorStops_ = 0;
    std::map<QByteArray, int> outcomes_;
    int errorsSessionLost_ = 0;
    int softLimitsUntold_ = 0;
    int lateOutcomes_ = 0;
    int mismatches_ = 0;
    int unexpected_ = 0;
    struct Kind {
        int count = 0;
        QString example;
    };
    std::map<QString, Kind> kinds_;
    qint64 startUs_ = 0;
    qint64 sessionBeganUs_ = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Script moves against the simulator's record of each run"));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("minutes"), QStringLiteral("Length of the run (default 10)."),
                      QStringLiteral("N"), QStringLiteral("10")});
    parser.addOption({QStringLiteral("seed"), QStringLiteral("Seed of the random schedule (default 1)."),
                      QStringLiteral("S"), QStringLiteral("1")});
    parser.addOption({QStringLiteral("model"),
                      QStringLiteral("kelda, vasko, or both alternating per session (default both)."),
                      QStringLiteral("M"), QStringLiteral("both")});
    parser.process(qapp);
    const QString model = parser.value(QStringLiteral("model")).toLower();
    if (model != u"both" && model != u"kelda" && model != u"vasko") {
        std::printf("truth_soak: --model is both, kelda or vasko\n");
        return 2;
    }
    TruthSoak soak(std::max(1, parser.value(QStringLiteral("minutes")).toInt()),
                   parser.value(QStringLiteral("seed")).toUInt(), model);
    return soak.run();
}
