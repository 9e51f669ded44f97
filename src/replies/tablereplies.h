#pragma once

#include "panelstate.h"
#include "tableview.h"

#include <QByteArray>

// Stores one reply of the table read into the field that the read's counters point at and
// moves the counters on. The reply interpreter calls it, with the reply already cleaned of its
// CR LF pairs, whenever state.TableReading is set, and does the closing bookkeeping itself
// (AwaitingReply and the time-out counters). Every reply is taken as the answer to the
// outstanding query: nothing is rejected, a short reply stores what it has.
void StoreTableReply(PanelState& state, TableView& table, const QByteArray& cleaned);
