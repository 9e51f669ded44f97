#pragma once

#include <QByteArray>
#include <optional>

// Number formatting and parsing of the wire protocol. Deliberately written here rather than
// borrowed from the panel: the simulator must not share the panel's reading of the protocol.
namespace SimFormat {

// Sign and at least `digits` zero-padded digits: (1000, 7) gives +0001000, (-250, 7) -0000250.
QByteArray signedPadded(qint64 value, int digits);

// Unsigned, zero-padded to `digits`: (50, 4) gives 0050.
QByteArray unsignedPadded(qint64 value, int digits);

// Upper-case hexadecimal, zero-padded to `digits`.
QByteArray hexPadded(quint32 value, int digits);

// A whole decimal number with optional sign and optional fraction ("+0001000", "-5", "12.5");
// a fraction is rounded half away from zero. Anything else, or a value beyond `limit` in
// magnitude, gives nothing.
std::optional<qint64> parseWhole(const QByteArray& text, qint64 limit);

// Hexadecimal digits only, either case.
std::optional<quint32> parseHex(const QByteArray& text);

// CR and LF shown as \r and \n, other control and non-ASCII bytes as \xHH, for logs.
QByteArray printable(const QByteArray& bytes);

}  // namespace SimFormat
