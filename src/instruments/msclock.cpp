#include "msclock.h"

#include <QDateTime>
#include <QElapsedTimer>

MsClock steadyWallClock() {
    QElapsedTimer elapsed;
    elapsed.start();
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    return [elapsed, start] { return start + elapsed.elapsed(); };
}
