#pragma once

#include "intervaltimer.h"
#include "recordinglink.h"
#include "recordingmessages.h"

#include <QtTest>
#include <functional>

// A sequence (table read or write) already started, ticked by `tick` on a link whose sends fail:
// the first failed send stops it, without a box of its own (the link has told the operator).
// A tick during the link's own failure box must not send again; bounded, so a missing guard
// fails instead of recursing. The caller sees a failure through QTest::currentTestFailed().
inline void checkFailedSendStops(RecordingLink& link, const RecordingMessages& messages,
                                 const IntervalTimer& timer, const std::function<void()>& tick) {
    link.failSends = true;
    int failures = 0;
    link.onSendFailure = [&] {
        if (++failures < 5) {
            tick();
        }
    };
    tick();
    link.onSendFailure = nullptr;
    QCOMPARE(failures, 1);
    QVERIFY(!timer.running());
    QVERIFY(messages.boxes.isEmpty());
    tick();
    QCOMPARE(failures, 1);
}
