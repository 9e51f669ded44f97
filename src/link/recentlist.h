#pragma once

#include <QString>
#include <QStringList>

// The recent hosts and COM numbers remembered by the connection dialog: one line of six
// comma-terminated fields in a small settings file, most recent first.
namespace RecentList {

inline constexpr int kEntries = 6;

struct Loaded {
    QStringList entries;    // the fields read, in order (fewer than six when the line was short)
    bool complete = false;  // all six fields were found
};

// Reads the last line of the file and takes up to six fields from it. A missing or unreadable
// file gives nothing; a line with fewer than six commas gives the fields before the gap.
Loaded load(const QString& path);

// Puts `text` at the top of the list as the dialog does after a connect: the first equal entry
// is removed, a non-empty text is inserted first, and a list of six or more loses its sixth.
void update(QStringList& entries, const QString& text);

// The settings line: entries 0 to 5, each followed by a comma (missing entries are empty).
QString line(const QStringList& entries);

// Replaces the file's content with the line and CR LF; the old file survives a failed write.
bool save(const QString& path, const QString& line);

}  // namespace RecentList
