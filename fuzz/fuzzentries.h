#pragma once

#include <QByteArrayView>
#include <QString>

// One input of each fuzz target, shared by the libFuzzer drivers and by the regression test
// that replays fuzz/corpus and fuzz/regressions. Each returns an empty text when the input was
// handled as it should be, else what went wrong; a crash or a sanitizer report needs no text.
namespace FuzzEntry {

// Any bytes as controller replies, at any poll step and table step, for each model. Byte 0
// picks the model, byte 1 the poll step (or, with its top bit, the table step), byte 2 the
// table channel and speed unit; the rest is cut after every LF, as the receive buffer hands it
// over, and each piece goes to the reply interpreter.
QString Replies(QByteArrayView input);

// Any bytes as a table file: its last line applied to a table. A line that loads must survive
// being saved and loaded again unchanged.
QString TableFile(QByteArrayView input);

// Any bytes as a recent-connections settings file, read as the connection dialog reads it. What
// loads must come back the same after a save.
QString RecentList(QByteArrayView input);

// Any bytes as the named-positions file and as the chart-units file. Every line of the first is
// either an entry or kept as damaged, and a save brings back the same entries and the same damaged
// lines; units that load come back the same after a save.
QString SettingsFiles(QByteArrayView input);

// The automation port's line parser: a line it accepts names only channels A to D, each once,
// and a refusal says why.
QString ScpiLine(QByteArrayView line);

}  // namespace FuzzEntry
