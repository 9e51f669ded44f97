#pragma once

#include <cstdint>

// Whose line a command text is: every send says it, so the traffic monitor and the axis book
// never have to guess from a flag set around the call.
//   Polling   the tick's rotation query
//   FreeText  the operator's free-text line (answered at the free-text step)
//   Operator  a button: jog, home, scan, stop, hold-off, speed, the operator's presets and moves
//   Demo      the demonstration drive's legs and its closing stops
//   Script    a command of the automation port
//   Ask       the automation port's raw query (answered at the free-text step)
//   Table     the parameter table's read and write
//   Seen      no line at all: motion the replies showed that no move of the panel's accounts for
//             (a scan typed in the send box, a line sent by a script's SEND, a controller's own)
enum class Origin : std::uint8_t { Polling, FreeText, Operator, Demo, Script, Ask, Table, Seen };

// Whether a line of that origin is a query, answered by a reply; the table's lines are queries
// while it is being read.
inline bool isQuery(Origin origin, bool tableReading) {
    return origin == Origin::Polling || origin == Origin::FreeText || origin == Origin::Ask ||
           (origin == Origin::Table && tableReading);
}
