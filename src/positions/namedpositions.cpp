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

std::vector<NamedPosition> Loaded::entries() const {
    std::vector<NamedPosition> out;
    for (const Line& l : lines) {
        if (l.entry) {
            out.push_back(*l.entry);
        }
    }
    return out;
}

QByteArrayList Loaded::damagedLines() const {
    QByteArrayList out;
    for (const Line& l : lines) {
        if (!l.entry) {
            out << l.text;
        }
    }
    return out;
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
    loaded.raw = file.readAll();
    int number = 0;
    for (const QByteArray& raw : loaded.raw.split('\n')) {
        ++number;
        QByteArray text = raw;
        if (text.endsWith('\r')) {
            text.chop(1);
        }
        if (text.isEmpty()) {
            continue;
        }
        std::optional<NamedPosition> entry = parse(text);
        if (!entry) {
            loaded.damaged << number;
        }
        loaded.lines.push_back(Line{text, std::move(entry)});
    }
    return loaded;
}

QByteArray text(const std::vector<Line>& lines) {
    QByteArray out;
    for (const Line& l : lines) {
        out += l.text + "\r\n";
    }
    return out;
}

bool save(const QString& path, const std::vector<Line>& lines, QString* error) {
    return WholeFile::write(path, text(lines), error);
}

Applied apply(std::vector<Line>& lines, const Edit& edit) {
    const auto named = [&lines](const QString& name) {
        return std::find_if(lines.begin(), lines.end(),
                            [&](const Line& l) { return l.entry && l.entry->name == name; });
    };
    const auto at = named(edit.name);
    switch (edit.kind) {
        case Edit::Kind::Put: {
            Line fresh{line(edit.entry).chopped(2), edit.entry};
            if (at != lines.end()) {
                *at = std::move(fresh);
            } else {
                lines.push_back(std::move(fresh));
            }
            return Applied::Done;
        }
        case Edit::Kind::Rename: {
            if (at == lines.end()) {
                return Applied::Missing;
            }
            if (named(edit.newName) != lines.end()) {
                return Applied::NameTaken;
            }
            NamedPosition renamed = *at->entry;
            renamed.name = edit.newName;
            *at = Line{line(renamed).chopped(2), renamed};
            return Applied::Done;
        }
        case Edit::Kind::Remove:
            if (at == lines.end()) {
                return Applied::Missing;
            }
            lines.erase(at);
            return Applied::Done;
    }
    return Applied::Missing;
}

}  // namespace NamedPositions
