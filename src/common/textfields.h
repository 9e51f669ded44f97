#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

// Small readers and writers for the protocol's fixed-position replies and comma-field lines.
// Positions are counted from 1, as the protocol documentation counts them.
namespace TextFields {

// Characters start..start+count-1 (count < 0: to the end); a range past the end yields what
// exists, possibly nothing.
QByteArray mid(const QByteArray& text, int start, int count = -1);

// Unsigned hexadecimal read digit by digit (0-9, A-F, either case) up to the first other
// character; no leading digit reads 0. Digits beyond 32 bits shift out of the top.
std::uint32_t readHex(const QByteArray& text);
std::uint32_t readHex(const QString& text);

// The leading decimal number of a text: blanks, tabs and line feeds anywhere are skipped, then an
// optional sign, digits and an optional fraction, up to the first other character. No leading
// number reads 0.
double leadingNumber(const QString& text);

// True when the whole text (surrounding blanks allowed) is a number: optional sign, digits with an
// optional decimal fraction, optional exponent.
bool isNumeric(const QString& text);

// A position as the controller writes it (+0001000, -250), surrounding blanks allowed; anything
// else (the dashes of an unused channel, a damaged reply) is no number.
std::optional<std::int64_t> wholeNumber(const QString& text);

// Rounds half away from zero, the rule used wherever a typed value becomes a whole number.
std::int64_t roundHalfAway(double value);

// Sign and at least `digits` zero-padded digits: 1000 -> +0001000, -250 -> -0000250. Longer
// magnitudes keep all their digits.
QString signedPadded(std::int64_t value, int digits);

// Collects characters from `position` up to and including the next comma and returns them
// without the comma; `position` is left on the character after the comma. No further comma:
// nothing, and `position` is unchanged.
std::optional<QString> nextField(const QString& line, int& position);

// A text as a quoted field, "" standing for a quote inside: "a ""b"", c" (UTF-8).
QByteArray quoted(const QString& text);
// The quoted field starting at `position` and the comma after it; `position` is left after that
// comma. Nothing for anything else (no opening quote, not closed, no comma after it).
// Nothing when the field is not closed, not followed by a comma, or not UTF-8.
std::optional<QString> quotedField(const QByteArray& line, qsizetype& position);

}  // namespace TextFields
