#include "positionhistory.h"

#include "textfields.h"

#include <algorithm>

PositionHistory::PositionHistory(MsClock clock) : clock_(std::move(clock)) {}

bool PositionHistory::addPosition(int ch, const QString& text) {
    if (ch < 0 || ch >= kChannels) {
        return false;
    }
    const std::optional<qint64> value = TextFields::wholeNumber(text);
    if (!value) {
        return false;
    }
    const qint64 ms = now();
    auto& samples = samples_[size_t(ch)];
    samples.push_back({ms, *value});
    if (samples.size() > kMaxSamples) {
        samples.pop_front();
    }
    ++taken_[size_t(ch)];
    ++version_;
    forgetOld(ms);
    return true;
}

void PositionHistory::addMark(int ch, Mark mark, bool on) {
    if (ch < 0 || ch >= kChannels) {
        return;
    }
    const qint64 ms = now();
    events_.push_back({ms, ch, mark, on});
    if (events_.size() > kMaxSamples) {
        events_.pop_front();
    }
    ++version_;
    forgetOld(ms);
}

void PositionHistory::forgetOld(qint64 now) {
    const qint64 edge = now - kSpanMs;
    for (auto& samples : samples_) {
        // One sample before the edge stays, so the line still enters the chart from its left side.
        while (samples.size() > 1 && samples[1].ms < edge) {
            samples.pop_front();
        }
    }
    while (!events_.empty() && events_.front().ms < edge) {
        events_.pop_front();
    }
}

std::optional<PositionHistory::Sample> PositionHistory::nearest(int ch, qint64 ms, qint64 toleranceMs) const {
    const auto& samples = samples_.at(size_t(ch));
    const auto after = std::lower_bound(samples.begin(), samples.end(), ms,
                                        [](const Sample& s, qint64 t) { return s.ms < t; });
    std::optional<Sample> best;
    qint64 bestGap = toleranceMs + 1;
    for (auto it : {after, after == samples.begin() ? samples.end() : std::prev(after)}) {
        if (it != samples.end() && std::abs(it->ms - ms) < bestGap) {
            bestGap = std::abs(it->ms - ms);
            best = *it;
        }
    }
    return best;
}

QString PositionHistory::markName(Mark mark) {
    switch (mark) {
        case Mark::Cw:
            return QStringLiteral("CW");
        case Mark::Ccw:
            return QStringLiteral("CCW");
        case Mark::Hp:
            return QStringLiteral("HP");
        case Mark::HoldOff:
            break;
    }
    return QStringLiteral("HOLD");
}
