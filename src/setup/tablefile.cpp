#include "tablefile.h"

#include "tablecaptions.h"
#include "tableclear.h"
#include "textfields.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringList>
#include <cstdint>

namespace TableFile {

namespace {

const QString kNotMatching = QStringLiteral("File format is not matching!");

QString hexField(std::uint32_t value, int digits) {
    return QString::number(value, 16).toUpper().rightJustified(digits, u'0');
}

std::uint32_t flagByte(const TableView& table, int ch) {
    return (table.flag(TableView::BacklashMode, ch) ? 32u : 0u) +
           (table.flag(TableView::DglsEnable, ch) ? 16u : 0u) +
           (table.flag(TableView::LsFastStop, ch) ? 1u : 0u);
}

std::uint32_t mask(const TableView& table, TableView::SwitchGroup group, int items) {
    std::uint32_t m = 0;
    for (int k = 0; k < items; ++k) {
        if (table.switchBox(group, k)) {
            m |= 1u << k;
        }
    }
    return m;
}

// A hexadecimal field is read by its leading digits; more than four significant digits would no
// longer fit the 16 bits of a mask, and reading them would silently drop the top ones.
bool fitsSixteenBits(const QString& field) {
    int significant = 0;
    bool leading = true;
    for (QChar c : field) {
        const bool hex = (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
        if (!hex) {
            break;
        }
        if (leading && c == u'0') {
            continue;
        }
        leading = false;
        ++significant;
    }
    return significant <= 4;
}

void warn(MessageSink& messages, const QString& text,
          MessageSink::Icon icon = MessageSink::Icon::Information) {
    messages.showMessage(text, kCautionTitle, icon);
}

}  // namespace

QString BuildLine(const TableView& table, bool fourCh) {
    const int channels = fourCh ? 4 : 2;
    const bool code = table.speedUnit() == TableView::Code;
    QString line = code ? (fourCh ? "COD4," : "COD,") : (fourCh ? "PPM4," : "PPM,");
    for (int field = TableView::Position; field <= TableView::Backlash; ++field) {
        for (int ch = 0; ch < channels; ++ch) {
            line += table.field(field, ch) + u',';
        }
    }
    for (int ch = 0; ch < channels; ++ch) {
        line += hexField(flagByte(table, ch), 2) + u',';
    }
    const int items = 4 * channels;
    line += hexField(mask(table, TableView::LsEnable, items), channels) + u',';
    line += hexField(mask(table, TableView::LsNc, items), channels) + u',';
    return line;
}

std::optional<QString> FieldBreakingLine(const TableView& table, bool fourCh) {
    const int channels = fourCh ? 4 : 2;
    for (int field = TableView::Position; field <= TableView::Backlash; ++field) {
        for (int ch = 0; ch < channels; ++ch) {
            const QString t = table.field(field, ch);
            if (t.contains(u',') || t.contains(u'\r') || t.contains(u'\n')) {
                return TableFieldCaption(field, ch);
            }
        }
    }
    return std::nullopt;
}

QString FileNameWithExtension(const QString& name) {
    if (name.endsWith(QLatin1String(".txt")) || name.endsWith(QLatin1String(".TXT"))) {
        return name;
    }
    return name + QStringLiteral(".txt");
}

bool HoldsSeparator(const QString& name) {
    return name.contains(QLatin1Char('/')) || name.contains(QDir::separator());
}

QString JoinPath(const QString& dir, const QString& name) {
    if (dir.isEmpty()) {
        return name;
    }
    if (dir.endsWith(QDir::separator()) || dir.endsWith(QLatin1Char('/'))) {
        return dir + name;
    }
    return dir + QDir::separator() + name;
}

QString LastLine(const QString& text) {
    QString unified = text;
    unified.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    unified.replace(u'\r', u'\n');
    QStringList lines = unified.split(u'\n');
    if (lines.size() > 1 && lines.last().isEmpty()) {
        lines.removeLast();
    }
    return lines.last();
}

bool ApplyLine(TableView& table, const QString& line) {
    int channels = 0;
    int position = 0;
    bool code = false;
    const QString head4 = line.left(4);
    const QString head3 = line.left(3);
    if (head4 == QLatin1String("COD4") || head4 == QLatin1String("PPM4")) {
        channels = 4;
        position = 6;
        code = head4 == QLatin1String("COD4");
    } else if (head3 == QLatin1String("COD") || head3 == QLatin1String("PPM")) {
        channels = 2;
        position = 5;
        code = head3 == QLatin1String("COD");
    } else {
        return false;
    }

    // Every field is gathered and checked before the first one is stored.
    const int textFields = 8 * channels;
    const int count = textFields + channels + 2;
    QStringList fields;
    for (int i = 0; i < count; ++i) {
        const std::optional<QString> f = TextFields::nextField(line, position);
        if (!f) {
            return false;
        }
        fields << *f;
    }
    for (int i = textFields; i < count; ++i) {
        if (!fitsSixteenBits(fields[i])) {
            return false;
        }
    }

    table.setSpeedUnit(code ? TableView::Code : TableView::Pps);
    int i = 0;
    for (int field = TableView::Position; field <= TableView::Backlash; ++field) {
        for (int ch = 0; ch < channels; ++ch) {
            table.setField(field, ch, fields[i++]);
        }
    }
    // Boxes are only ever ticked: a clear bit leaves what the Clear before the load left.
    for (int ch = 0; ch < channels; ++ch) {
        const std::uint32_t v = TextFields::readHex(fields[i++]);
        if (v & 32u) {
            table.setFlag(TableView::BacklashMode, ch, true);
        }
        if (v & 16u) {
            table.setFlag(TableView::DglsEnable, ch, true);
        }
        if (v & 1u) {
            table.setFlag(TableView::LsFastStop, ch, true);
        }
    }
    for (auto group : {TableView::LsEnable, TableView::LsNc}) {
        const std::uint32_t v = TextFields::readHex(fields[i++]);
        for (int k = 0; k < 4 * channels; ++k) {
            if (v & (1u << k)) {
                table.setSwitchBox(group, k, true);
            }
        }
    }
    return true;
}

QString Save(const TableView& table, bool fourCh, const QString& dirPath, const QString& fileNameBoxText,
             MessageSink& messages) {
    const QString line = BuildLine(table, fourCh);
    if (fileNameBoxText.isEmpty()) {
        warn(messages, QStringLiteral("Input file name !"));
        return fileNameBoxText;
    }
    if (const std::optional<QString> field = FieldBreakingLine(table, fourCh)) {
        warn(messages, QStringLiteral("%1 holds a comma or a line break, which a table file cannot keep. "
                                      "Nothing was saved.")
                           .arg(*field));
        return fileNameBoxText;
    }
    if (HoldsSeparator(fileNameBoxText)) {
        warn(messages, QStringLiteral("A file name cannot hold a folder separator: the file is saved in the "
                                      "folder chosen in the list. Nothing was saved."));
        return fileNameBoxText;
    }
    const QString name = FileNameWithExtension(fileNameBoxText);
    const QString path = JoinPath(dirPath, name);

    // QSaveFile writes beside the target and renames over it only when everything was written,
    // so a failure leaves the old file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        warn(messages,
             QStringLiteral("The file %1 cannot be written: %2")
                 .arg(QDir::toNativeSeparators(path), file.errorString()),
             MessageSink::Icon::Critical);
        return name;
    }
    const QByteArray bytes = line.toUtf8() + "\r\n";
    // commit() lets a write error during its own final flush pass (a full disk leaves a cut file in
    // the old one's place), so the data is flushed and checked first.
    const bool complete = file.write(bytes) == bytes.size() && file.flush();
    if (!complete) {
        const QString reason = file.errorString();
        file.cancelWriting();
        warn(messages,
             QStringLiteral("The file %1 cannot be written: %2. The old file is kept.")
                 .arg(QDir::toNativeSeparators(path), reason),
             MessageSink::Icon::Critical);
    } else if (!file.commit()) {
        warn(messages,
             QStringLiteral("The file %1 cannot be written: %2")
                 .arg(QDir::toNativeSeparators(path), file.errorString()),
             MessageSink::Icon::Critical);
    }
    return name;
}

bool Load(TableView& table, const QString& dirPath, const QString& selectedFile, MessageSink& messages,
          const IntervalTimer& tmrTokei, const IntervalTimer& tmrWrite) {
    ClearTable(table, tmrTokei, tmrWrite);
    if (selectedFile.isEmpty()) {
        warn(messages, QStringLiteral("Indicate the file name in the folder !"), MessageSink::Icon::Critical);
        return false;
    }
    if (HoldsSeparator(selectedFile)) {
        warn(messages, QStringLiteral("A file name cannot hold a folder separator. Nothing was loaded."));
        return false;
    }
    const QString path = JoinPath(dirPath, selectedFile);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        warn(messages,
             QStringLiteral("The file %1 cannot be opened: %2")
                 .arg(QDir::toNativeSeparators(path), file.errorString()),
             MessageSink::Icon::Critical);
        return false;
    }
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        warn(messages,
             QStringLiteral("The file %1 cannot be read: %2")
                 .arg(QDir::toNativeSeparators(path), file.errorString()),
             MessageSink::Icon::Critical);
        return false;
    }
    if (bytes.size() > kMaxFileBytes) {
        warn(messages, QStringLiteral("The file %1 is larger than 1 MiB and cannot be a table file.")
                           .arg(QDir::toNativeSeparators(path)));
        return false;
    }
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF))) {
        text.remove(0, 1);  // a byte-order mark some editors put in front
    }
    if (!ApplyLine(table, LastLine(text))) {
        warn(messages, kNotMatching);
        return false;
    }
    return true;
}

}  // namespace TableFile
