#pragma once

#include "linkrequest.h"

#include <QObject>
#include <QTimer>
#include <functional>

class CommandChannel;
class Session;
struct PanelState;

// Keeps the session with nobody at the panel: opens it at start or for a script without a box
// waiting for an answer, and, when asked to, opens a session that the link lost again every few
// seconds until the controller answers. Until a session opened this way has its first reply, and
// whenever reconnection is on, the link's boxes are told (in `note`) instead of shown.
class LinkKeeper : public QObject {
    Q_OBJECT
public:
    enum class Source { StartUp, Script, Reconnection };

    LinkKeeper(Session& session, CommandChannel& channel, const PanelState& state, QObject* parent = nullptr);

    // A lost session is opened again every `seconds`; 0 leaves it lost, as the panel always did.
    void setReconnectSeconds(int seconds);
    int reconnectSeconds() const { return seconds_; }
    // Asked before every attempt to reconnect: while it says no (the setup window is open) the
    // attempt waits for the next turn.
    void setGate(std::function<bool()> mayOpen) { mayOpen_ = std::move(mayOpen); }

    // Opens a session on `link` for `source` (`client`: the script's): empty when it is open, else
    // why not. A start-up attempt that fails is made again while reconnection is on.
    QString open(const LinkRequest& link, Source source, int client = 0);
    // Ends the session as Disconnect does (`why` ends the moves under way), and nothing is brought
    // back.
    void close(const QString& why);
    // Waiting to open a lost session again.
    bool reconnecting() const { return phase_ != Phase::Idle && source_ == Source::Reconnection; }

    // A box the logic raised: true when it is about the link and nobody is there to answer it, and
    // so told in a note (unless it only repeats what was told) instead of shown.
    bool divert(const QString& boxText);

signals:
    // What happened to the link and when, for the status bar, the automation log, standard error.
    void note(const QString& text);
    // A script's connect failed, perhaps only once the link was open: for the script's queue.
    void scriptConnectFailed(int client, const QString& why);

private:
    enum class Phase { Idle, Waiting, Trying };

    void sessionEnded(const QString& why);
    void answered();
    void attempt();
    void wait(const LinkRequest& link);
    void failed(const QString& why);
    bool unattended() const;

    Session& session_;
    const PanelState& state_;
    std::function<bool()> mayOpen_;
    int seconds_ = 0;
    QTimer timer_;
    Phase phase_ = Phase::Idle;
    Source source_ = Source::StartUp;
    int client_ = 0;
    LinkRequest link_;
    bool opening_ = false;
    // The end of a session was told: the box that follows it says nothing new.
    bool told_ = false;
};
