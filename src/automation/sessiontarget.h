#pragma once

#include <QString>

// How the automation port opens and ends the session with the controller (SYST:CONN, SYST:DISC).
// The application implements it with the way the Connect dialog opens a session, so a script's
// connect and the operator's cannot drift apart.
class SessionTarget {
public:
    virtual ~SessionTarget() = default;

    // Opens a session on the network link (`host`, `port`) or the USB link (`port`, a number or a
    // device path) for `client`: empty when it is open, else why not. A link that fails only once
    // open is reported to the client later, through the server.
    virtual QString openSession(bool lan, const QString& host, const QString& port, int client) = 0;
    // Ends the session as the Disconnect button does (`why` ends the moves under way); a lost one
    // is no longer brought back.
    virtual void closeSession(const QString& why) = 0;
};
