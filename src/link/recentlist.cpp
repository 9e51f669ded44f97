#include "recentlist.h"

#include "textfields.h"
#include "wholefile.h"

#include <QFile>

namespace RecentList {

namespace {
// A settings file is one short line; anything much larger is not ours.
constexpr qint64 kMaxFileSize = 64 * 1024;
}  // namespace

Loaded load(const QString& path) {
    Loaded result;
    QFile file(path);
    if (file.size() > kMaxFileSize || !file.open(QIODevice::ReadOnly)) {
        return result;
    }
    QString last;
    while (!file.atEnd()) {
        QByteArray raw = file.readLine();
        while (raw.endsWith('\n') || raw.endsWith('\r')) {
            raw.chop(1);
        }
        last = QString::fromUtf8(raw);
    }
    int position = 1;
    for (int i = 0; i < kEntries; ++i) {
        const auto field = TextFields::nextField(last, position);
        if (!field) {
            return result;
        }
        result.entries.append(*field);
    }
    result.complete = true;
    return result;
}

void update(QStringList& entries, const QString& text) {
    for (int i = 0; i < kEntries && i < entries.size(); ++i) {
        if (entries[i] == text) {
            entries.removeAt(i);
            break;
        }
    }
    if (!text.isEmpty()) {
        entries.insert(0, text);
    }
    if (entries.size() >= kEntries) {
        entries.removeAt(kEntries - 1);
    }
}

QString line(const QStringList& entries) {
    QString out;
    for (int i = 0; i < kEntries; ++i) {
        if (i < entries.size()) {
            out += entries[i];
        }
        out += u',';
    }
    return out;
}

bool save(const QString& path, const QString& text) {
    return WholeFile::write(path, text.toUtf8() + "\r\n");
}

}  // namespace RecentList
