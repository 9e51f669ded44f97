#pragma once

#include "intervaltimer.h"
#include "tableview.h"

// "Data Clear": empties all four channels whatever the model, the invisible switch boxes
// included. Refused without a word while a table read or write runs, because those sequences
// are filling or reading the very fields. Returns whether the table was cleared.
// The speed unit, the status label and the sequence counters are not part of the table.
bool ClearTable(TableView& table, const IntervalTimer& tmrTokei, const IntervalTimer& tmrWrite);

// "R/W Stop": stops both sequences and nothing else, so the fields keep what was read so far and
// the status label keeps what it showed.
void StopReadWrite(IntervalTimer& tmrTokei, IntervalTimer& tmrWrite);
