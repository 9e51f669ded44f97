#include "simformat.h"

#include <cctype>

namespace SimFormat {

QByteArray signedPadded(qint64 value, int digits) {
    const QByteArray magnitude = unsignedPadded(value < 0 ? -value : value, digits);
    return (value < 0 ? QByteArray("-") : QByteArray("+")) + magnitude;
}

QByteArray unsignedPadded(qint64 value, int digits) {
    return QByteArray::number(value).rightJustified(digits, '0');
}

QByteArray hexPadded(quint32 value, int digits) {
    return QByteArray::number(value, 16).toUpper().rightJustified(digits, '0');
}

std::optional<qint64> parseWhole(const QByteArray& text, qint64 limit) {
    int i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const int digitsStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        ++i;
    }
    if (i == digitsStart || i - digitsStart > 15) {
        return std::nullopt;
    }
    qint64 whole = text.mid(digitsStart, i - digitsStart).toLongLong();
    if (i < text.size() && text[i] == '.') {
        const int fractionStart = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            ++i;
        }
        if (i > fractionStart && text[fractionStart] >= '5') {
            ++whole;
        }
    }
    if (i != text.size() || whole > limit) {
        return std::nullopt;
    }
    return negative ? -whole : whole;
}

std::optional<quint32> parseHex(const QByteArray& text) {
    if (text.isEmpty() || text.size() > 8) {
        return std::nullopt;
    }
    for (char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) {
            return std::nullopt;
        }
    }
    return text.toUInt(nullptr, 16);
}

QByteArray printable(const QByteArray& bytes) {
    QByteArray out;
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (u < 0x20 || u >= 0x7F) {
            out += "\\x" + hexPadded(u, 2);
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace SimFormat
