#pragma once

#include "simpanel.h"

#include <QStringList>
#include <map>
#include <memory>

// Helpers for driving the whole panel against a simulated controller whose line misbehaves.
namespace FaultDrive {

// Every fault of the controller's line off again, acknowledgements too.
void clearFaults(SimController& sim);

// Disconnects if a session is open and connects afresh (over a new listening port or a new
// pseudo-terminal), as an operator would after a lost session. True once the rotation polls.
bool reconnect(SimPanel& p);

// Stops Timer2 right at a reply: over TCP once the outstanding reply has been interpreted, over
// the serial port once it waits complete in the port (the next tick interprets it). Either way
// the next hand-driven tick is tick 1 of a fresh count, and it sends.
bool stopAtReply(SimPanel& p);

// Runs the polling tick by hand, letting the event loop deliver what it sent.
void tick(SimPanel& p, int count = 1);

// What the operator sees of every channel: position, the three lamps, hold-off.
QStringList display(SimPanel& p);

// Lets Timer2 run until `replies` more replies have been handed to the reply interpreter.
bool pollReplies(SimPanel& p, int replies, int timeoutMs = 5000);

// One panel per model for a whole test program (building the windows is the slow part), handed
// out connected afresh, with the line's faults off and nothing recorded yet.
class PanelPool {
public:
    // Null when the panel could not connect and poll.
    SimPanel* ready(SimModel model);

private:
    std::map<SimModel, std::unique_ptr<SimPanel>> panels_;
};

}  // namespace FaultDrive
