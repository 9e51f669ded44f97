#include "namedpositions.h"

#include "textfields.h"
#include "wholefile.h"

#include <QFile>
#include <algorithm>

namespace NamedPositions {

namespace {
const QString kTimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");
constexpr qlonglong kLimit = 9'999'999;
}  // namespace

bool validName(const QString& name) {
    return !name.trimmed().isEmpty() &&
           std::all_of(name.begin(), name.end(), [](QChar c) { return c.isPrint(); });
}

QByteArray line(const NamedPosition& entry) {
    QByteArray text =
        TextFields::quoted(entry.name) + ',' + entry.taken.toString(kTimeFormat).toLatin1() + ',';
    for (const std::optional<qint64>& p : entry.position) {
        text += (p ? QByteArray::number(*p) : QByteArray()) + ',';
    }
    return text + "\r\n";
}

std::optional<NamedPosition> parse(const QByteArray& text) {
    QByteArray bare = text;
    if (bare.endsWith("\r\n")) {
        bare.chop(2);
    }
    NamedPosition entry;
    qsizetype at = 0;
    const std::optional<QString> name = TextFields::quotedField(bare, at);
    if (!name || !validName(*name)) {
        return std::nullopt;
    }
    entry.name = *name;
    const QByteArrayList fields = bare.mid(at).split(',');
    // Five fields, each ended by a comma: the split leaves an empty one after the last.
    if (fields.size() != 6 || !fields.last().isEmpty()) {
        return std::nullopt;
    }
    entry.taken = QDateTime::fromString(QString::fromLatin1(fields[0]), kTimeFormat);
    if (!entry.taken.isValid()) {
        return std::nullopt;
    }
    for (int ch = 0; ch < 4; ++ch) {
        const QByteArray& field = fields[ch + 1];
        if (field.isEmpty()) {
            continue;
        }
        bool ok = false;
        const qlonglong value = field.toLongLong(&ok);
        // The controller's positions have seven digits.
        if (!ok || value > kLimit || value < -kLimit) {
            return std::nullopt;
        }
        entry.position[size_t(ch)] = value;
    }
    return entry;
}

Loaded load(const QString& path) {
    Loaded loaded;
    QFile file(path);
    if (!file.exists()) {
        return loaded;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        loaded.error = file.errorString();
        return loaded;
    }
    int number = 0;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        ++number;
        QByteArray text = raw;
        if (text.endsWith('\r')) {
            text.chop(1);
        }
        if (text.isEmpty()) {
            continue;
        }
        if (const std::optional<NamedPosition> entry = parse(text)) {
            loaded.entries.push_back(*entry);
        } else {
            loaded.damaged << number;
            loaded.damagedLines << text;
        }
    }
    return loaded;
}

bool save(const QString& path, const std::vector<NamedPosition>& entries, const QByteArrayList& damagedLines,
          QString* error) {
    QByteArray text;
    for (const NamedPosition& entry : entries) {
        text += line(entry);
    }
    for (const QByteArray& kept : damagedLines) {
        text += kept + "\r\n";
    }
    return WholeFile::write(path, text, error);
}

}  // namespace NamedPositions
