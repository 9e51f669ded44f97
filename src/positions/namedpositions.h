#pragma once

#include <QByteArrayList>
#include <QDateTime>
#include <QString>
#include <array>
#include <optional>
#include <vector>

// Positions the operator saved under a name, to go back to ("sample 1"). Kept in KELDA_P.Log
// beside the recent-connection files, one line per name ended by CR LF:
//   "<name>",<taken>,<A>,<B>,<C>,<D>,
// The name in UTF-8 in double quotes, a quote in it doubled, so any printable text fits, commas
// and quotes included; <taken> is the local time as 2026-12-07T16:30:00; each position a whole
// number of pulses within the controller's seven digits, or empty for a channel that was not
// polled. The file is written all-or-nothing.
struct NamedPosition {
    QString name;
    QDateTime taken;
    std::array<std::optional<qint64>, 4> position{};

    bool operator==(const NamedPosition&) const = default;
};

namespace NamedPositions {

inline const QString kFile = QStringLiteral("KELDA_P.Log");

// A name the list takes: printable, not empty.
bool validName(const QString& name);
QByteArray line(const NamedPosition& entry);  // CR LF included
std::optional<NamedPosition> parse(const QByteArray& line);

struct Loaded {
    std::vector<NamedPosition> entries;
    QList<int> damaged;           // line numbers (from 1) skipped as damaged
    QByteArrayList damagedLines;  // their text, written back as it was so nothing is lost
    QString error;                // the file could not be read at all (it exists)
};
Loaded load(const QString& path);
// The entries, then the damaged lines as they were read. False, with the reason, when it could
// not be written; the file is then left as it was.
bool save(const QString& path, const std::vector<NamedPosition>& entries, const QByteArrayList& damagedLines,
          QString* error);

}  // namespace NamedPositions
