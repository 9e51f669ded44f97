#pragma once

#include "msclock.h"

#include <QString>
#include <array>
#include <deque>
#include <optional>

// What the chart draws, apart from any widget: per channel the positions shown over the last
// minute, and the moments a limit or home lamp or the hold-off changed.
class PositionHistory {
public:
    static constexpr int kChannels = 4;
    static constexpr qint64 kSpanMs = 60000;
    // A guard against a flood: far above what the 20 ms tick can deliver in a minute.
    static constexpr size_t kMaxSamples = 20000;

    enum class Mark { Cw, Ccw, Hp, HoldOff };

    struct Sample {
        qint64 ms;
        qint64 value;
    };
    struct Event {
        qint64 ms;
        int ch;
        Mark mark;
        bool on;
    };

    explicit PositionHistory(MsClock clock);

    // A position as the display shows it. Text that is not a whole number (the dashes of an
    // unused channel, a damaged reply) is skipped, never taken as 0. Returns whether it was taken.
    bool addPosition(int ch, const QString& text);
    void addMark(int ch, Mark mark, bool on);

    qint64 now() const { return clock_(); }
    const std::deque<Sample>& samples(int ch) const { return samples_.at(size_t(ch)); }
    const std::deque<Event>& events() const { return events_; }
    // Positions taken per channel since the start, including those the minute has let go.
    quint64 taken(int ch) const { return taken_.at(size_t(ch)); }
    // Changes with every sample or mark, so a view can tell whether there is anything new.
    quint64 version() const { return version_; }

    // The sample nearest to `ms` within `toleranceMs`, if any.
    std::optional<Sample> nearest(int ch, qint64 ms, qint64 toleranceMs) const;
    static QString markName(Mark mark);

private:
    void forgetOld(qint64 now);

    MsClock clock_;
    std::array<std::deque<Sample>, kChannels> samples_;
    std::array<quint64, kChannels> taken_{};
    std::deque<Event> events_;
    quint64 version_ = 0;
};
