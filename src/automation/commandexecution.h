#pragma once

#include "scpiparser.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

class ClientSession;
class ScriptTarget;
class SessionTarget;

// What each command of the automation port does, once the server has parsed it and the client is
// authenticated. Queries read the axis book; commands that reach the controller go through the
// panel's own handlers. Any of those may open a box whose event loop lets other clients come, go
// and send: the client is held by a shared pointer, nothing else of the server is held across such
// a call, and a client found gone afterwards is served no further.
class CommandExecution {
public:
    // The controller's own limit on a position, distance or counter value, in either dialect.
    static constexpr qint64 kValueLimit = 9'999'999;

    struct Context {
        std::function<bool()> scriptsEnabled;
        std::function<qint64()> now;        // ms, for the deadlines of waiting queries
        std::function<void()> waitStarted;  // a query now waits: the server settles it later
        QString version;                    // the program's, for *IDN?
        SessionTarget* session = nullptr;   // SYST:CONN and SYST:DISC; refused without one
    };

    CommandExecution(ScriptTarget& target, Context context);

    void execute(const std::shared_ptr<ClientSession>& client, const Scpi::Parsed& parsed);
    // What the scripts have going is ended: the moves still being sent are cut (a bracket that went
    // out closed first), then the channels they have under way are stopped. Those of `client`
    // only, or of every script when it is 0. False when a send failed.
    bool stopScripts(int client, const QString& why);
    // WATCH?'s answer once it is due: "1" when what the client would read of its channels (the
    // panel's state, model, speed; each channel's position, switches, motion, reason and unit)
    // differs from what it last saw, "0" at its deadline; nothing while it still waits.
    std::optional<QByteArray> settleWatch(ClientSession& client, qint64 now) const;

private:
    // The answers of the queries a client reads, one place for the queries and for WATCH?.
    QByteArray stateWord() const;
    QByteArray statusBits(int ch) const;
    QByteArray motionWord(int ch) const;
    QByteArray reasonText(int ch) const;
    QByteArray unitText(int ch) const;
    QByteArray watched(const std::vector<Scpi::Target>& targets) const;
    bool answerQuery(ClientSession& client, const Scpi::Command& c);
    // SYST:CONN and SYST:DISC; false for any other command.
    bool linkCommand(ClientSession& client, const Scpi::Command& c);
    void defer(ClientSession& client, const Scpi::Command& c, qint64 ms);
    // Why a command that reaches the controller may not run now; empty when it may.
    QString refusal(const Scpi::Command& c) const;
    bool channelsValid(ClientSession& client, const Scpi::Command& c, bool query) const;
    void reach(const std::shared_ptr<ClientSession>& client, const Scpi::Command& c);
    // Stops every channel in `channels` (a bit each); false when a send failed.
    bool stopAll(unsigned channels, const QString& why);

    ScriptTarget& target_;
    Context context_;
};
