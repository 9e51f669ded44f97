#include "textfields.h"

#include <QStringDecoder>

#include <cmath>
#include <cstdlib>

namespace TextFields {

QByteArray mid(const QByteArray& text, int start, int count) {
    if (start < 1 || start > text.size()) {
        return {};
    }
    return text.mid(start - 1, count < 0 ? -1 : count);
}

namespace {
int hexDigit(int c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}
}  // namespace

std::uint32_t readHex(const QByteArray& text) {
    std::uint32_t value = 0;
    for (char ch : text) {
        const int d = hexDigit(static_cast<unsigned char>(ch));
        if (d < 0) {
            break;
        }
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return value;
}

std::uint32_t readHex(const QString& text) {
    std::uint32_t value = 0;
    for (QChar ch : text) {
        const int d = ch.unicode() < 128 ? hexDigit(ch.unicode()) : -1;
        if (d < 0) {
            break;
        }
        value = (value << 4) | static_cast<std::uint32_t>(d);
    }
    return value;
}

double leadingNumber(const QString& text) {
    QString packed;
    packed.reserve(text.size());
    for (QChar ch : text) {
        if (ch != u' ' && ch != u'\t' && ch != u'\n') {
            packed.append(ch);
        }
    }
    int i = 0;
    QString number;
    if (i < packed.size() && (packed[i] == u'+' || packed[i] == u'-')) {
        number.append(packed[i++]);
    }
    bool digits = false;
    while (i < packed.size() && packed[i].isDigit() && packed[i].unicode() < 128) {
        number.append(packed[i++]);
        digits = true;
    }
    if (i < packed.size() && packed[i] == u'.') {
        number.append(packed[i++]);
        while (i < packed.size() && packed[i].isDigit() && packed[i].unicode() < 128) {
            number.append(packed[i++]);
            digits = true;
        }
    }
    if (!digits) {
        return 0.0;
    }
    bool ok = false;
    const double v = number.toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0.0;
}

bool isNumeric(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty()) {
        return false;
    }
    int i = 0;
    if (t[i] == u'+' || t[i] == u'-') {
        ++i;
    }
    bool digits = false;
    while (i < t.size() && t[i] >= u'0' && t[i] <= u'9') {
        ++i;
        digits = true;
    }
    if (i < t.size() && t[i] == u'.') {
        ++i;
        while (i < t.size() && t[i] >= u'0' && t[i] <= u'9') {
            ++i;
            digits = true;
        }
    }
    if (!digits) {
        return false;
    }
    if (i < t.size() && (t[i] == u'e' || t[i] == u'E')) {
        ++i;
        if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) {
            ++i;
        }
        bool expDigits = false;
        while (i < t.size() && t[i] >= u'0' && t[i] <= u'9') {
            ++i;
            expDigits = true;
        }
        if (!expDigits) {
            return false;
        }
    }
    return i == t.size() && std::isfinite(t.toDouble());
}

std::int64_t roundHalfAway(double value) {
    // Values beyond what fits are clamped: a table or set-data text is never that large in
    // practice, and a clamp keeps the conversion defined.
    constexpr double kLimit = 9.0e18;
    if (!std::isfinite(value)) {
        return 0;
    }
    const double r = std::round(value);
    if (r > kLimit) {
        return static_cast<std::int64_t>(kLimit);
    }
    if (r < -kLimit) {
        return static_cast<std::int64_t>(-kLimit);
    }
    return static_cast<std::int64_t>(r);
}

QByteArray quoted(const QString& text) {
    QByteArray bytes = text.toUtf8();
    bytes.replace('"', "\"\"");
    return '"' + bytes + '"';
}

std::optional<QString> quotedField(const QByteArray& line, qsizetype& position) {
    if (position >= line.size() || line[position] != '"') {
        return std::nullopt;
    }
    QByteArray text;
    for (qsizetype i = position + 1; i < line.size(); ++i) {
        if (line[i] != '"') {
            text += line[i];
        } else if (i + 1 < line.size() && line[i + 1] == '"') {
            text += '"';
            ++i;
        } else if (i + 1 < line.size() && line[i + 1] == ',') {
            // Bytes that are not UTF-8 would come back changed: not a field.
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString decoded = utf8.decode(text);
            if (utf8.hasError()) {
                return std::nullopt;
            }
            position = i + 2;
            return decoded;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> wholeNumber(const QString& text) {
    bool ok = false;
    const qlonglong value = text.trimmed().toLongLong(&ok, 10);
    return ok ? std::optional<std::int64_t>(value) : std::nullopt;
}

QString signedPadded(std::int64_t value, int digits) {
    const QString magnitude =
        QString::number(static_cast<qulonglong>(value < 0 ? -value : value)).rightJustified(digits, u'0');
    return (value < 0 ? QStringLiteral("-") : QStringLiteral("+")) + magnitude;
}

std::optional<QString> nextField(const QString& line, int& position) {
    const int from = position - 1;
    if (from < 0) {
        return std::nullopt;
    }
    const int comma = line.indexOf(u',', from);
    if (comma < 0) {
        return std::nullopt;
    }
    position = comma + 2;
    return line.mid(from, comma - from);
}

}  // namespace TextFields
