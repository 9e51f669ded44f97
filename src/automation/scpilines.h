#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <vector>

// What the automation port does with a whole line before and beside parsing its commands: pure
// functions of the text, so a fuzzer can call them.
namespace Scpi {

// The commands of a line, split at each ";" outside quotes; blank ones are left out.
std::vector<QByteArray> splitLine(QByteArrayView line);

// Whether a command, however malformed, reads as a query: its header (up to the first blank)
// holds a "?". A refused query still answers one line.
bool looksLikeQuery(QByteArrayView command);

// A space or a tab: what separates the parts of a command.
inline bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
// The text without the blanks at either end.
QByteArrayView trimmed(QByteArrayView text);

// The line as it may be shown: every authentication's parameters are replaced by "...".
QByteArray redacted(QByteArrayView line);

}  // namespace Scpi
