#pragma once

#include <QtGlobal>
#include <functional>

// Milliseconds since the epoch, as the instruments stamp what they see. Injected so that tests
// can step time exactly.
using MsClock = std::function<qint64()>;

// The wall time at the first call plus a monotonic count: readable as a time of day, yet it
// never steps backwards when the system clock is set, so round trips and the chart's time axis
// stay sound.
MsClock steadyWallClock();
