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

// A line of the file as it stands: an entry, or a damaged line kept as it was read. `text` holds
// the line without its CR LF, so a line nobody changed is written back byte for byte.
struct Line {
    QByteArray text;
    std::optional<NamedPosition> entry;
};

struct Loaded {
    std::vector<Line> lines;  // in the file's order; blank lines left out
    QList<int> damaged;       // line numbers (from 1) that are not entries
    QByteArray raw;           // the bytes read, to tell a change made on disk since
    QString error;            // the file could not be read at all (it exists)

    std::vector<NamedPosition> entries() const;
    QByteArrayList damagedLines() const;
};
Loaded load(const QString& path);
QByteArray text(const std::vector<Line>& lines);
// Every line where it stood. False, with the reason, when it could not be written; the file is
// then left as it was.
bool save(const QString& path, const std::vector<Line>& lines, QString* error);

// A change the operator made, applied to the file as it stands on disk at the moment of writing,
// so a line put there meanwhile by someone else is kept. Put replaces the entry of that name (or
// adds one at the end); Rename and Remove find their entry by name.
struct Edit {
    enum class Kind { Put, Rename, Remove };
    Kind kind = Kind::Put;
    QString name;
    NamedPosition entry;  // Put
    QString newName;      // Rename
};
enum class Applied { Done, Missing, NameTaken };
Applied apply(std::vector<Line>& lines, const Edit& edit);

}  // namespace NamedPositions
