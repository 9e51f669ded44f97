#pragma once

#include "scpiparser.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

class AxisBook;
class ClientSession;
class ScriptTarget;
struct AxisMove;

// The queries that wait (WAIT?, *OPC?, *WAI, ASK?) and what the port says of a move that ended.
// They read the axis book: a move is over when it has an outcome, never merely when it was sent.
namespace MotionWait {

inline constexpr int kAskTimeoutMs = 5000;

// WAIT?'s answer: DONE when the newest move of every channel ended DONE (or it has had none),
// otherwise the first other outcome in the order the channels were named; nothing while a move
// of one of them is still under way.
std::optional<QByteArray> waitAnswer(const AxisBook& axes, const std::vector<Scpi::Target>& targets);
// No script move is under way or still to send.
bool scriptsIdle(const ScriptTarget& target);
// "A stopped at +0001373, target +0006000: Stop pressed".
QString describe(int ch, const AxisMove& move);

// The answer of the query the client waits on once it is due (or past its deadline, or the
// session ended); nothing while it still waits. *WAI is due with an answer it does not send.
std::optional<QByteArray> settle(ScriptTarget& target, const ClientSession& client, qint64 now);

}  // namespace MotionWait
