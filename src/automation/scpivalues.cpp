#include "scpilines.h"
#include "scpiparser.h"

#include <algorithm>

namespace Scpi {

QString codeText(int code) {
    switch (code) {
        case NoError:
            return QStringLiteral("No error");
        case CommandError:
            return QStringLiteral("Command error");
        case InvalidCharacter:
            return QStringLiteral("Invalid character");
        case SyntaxError:
            return QStringLiteral("Syntax error");
        case ParameterNotAllowed:
            return QStringLiteral("Parameter not allowed");
        case MissingParameter:
            return QStringLiteral("Missing parameter");
        case UndefinedHeader:
            return QStringLiteral("Undefined header");
        case ExecutionError:
            return QStringLiteral("Execution error");
        case SettingsConflict:
            return QStringLiteral("Settings conflict");
        case DataOutOfRange:
            return QStringLiteral("Data out of range");
        case TooMuchData:
            return QStringLiteral("Too much data");
        case IllegalParameterValue:
            return QStringLiteral("Illegal parameter value");
        case DeviceError:
            return QStringLiteral("Device-specific error");
        case QueueOverflow:
            return QStringLiteral("Queue overflow");
        default:
            return QStringLiteral("Error");
    }
}

namespace {
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
}  // namespace

Whole wholeValue(QByteArrayView text) {
    text = trimmed(text);
    qsizetype i = 0;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    QByteArray digits;  // the mantissa's digits, the point left out
    int fraction = 0;   // how many of them stand after the point
    bool point = false;
    for (; i < text.size() && (isDigit(text[i]) || (text[i] == '.' && !point)); ++i) {
        if (text[i] == '.') {
            point = true;
        } else {
            digits += text[i];
            fraction += point ? 1 : 0;
        }
    }
    int exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const bool down = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
            ++i;
        }
        const qsizetype from = i;
        for (; i < text.size() && isDigit(text[i]); ++i) {
            exponent = std::min(exponent * 10 + (text[i] - '0'), 1000);
        }
        if (i == from) {
            return {IllegalParameterValue, 0};
        }
        exponent = down ? -exponent : exponent;
    }
    if (digits.isEmpty() || i != text.size()) {
        return {IllegalParameterValue, 0};
    }
    // digits x 10^(exponent - fraction), exactly: the digits the shift moves behind the point
    // must all be 0.
    int shift = exponent - fraction;
    while (shift < 0 && !digits.isEmpty()) {
        if (digits.back() != '0') {
            return {IllegalParameterValue, 0};
        }
        digits.chop(1);
        ++shift;
    }
    while (digits.size() > 1 && digits.front() == '0') {
        digits.remove(0, 1);
    }
    if (digits.isEmpty() || digits == "0") {
        return {NoError, 0};
    }
    constexpr int kMaxDigits = 15;
    if (shift > kMaxDigits || digits.size() + shift > kMaxDigits) {
        return {DataOutOfRange, 0};
    }
    qint64 number = digits.toLongLong();
    for (; shift > 0; --shift) {
        number *= 10;
    }
    return {NoError, negative ? -number : number};
}

}  // namespace Scpi
