#include "positionchart.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kPadFraction = 0.08;
constexpr std::array<QRgb, PositionHistory::kChannels> kChannelColours{0x1f77b4, 0xe6730e, 0x2ca02c,
                                                                       0x9467bd};
constexpr double kMinSpan = 20;  // counts: a resting axis is drawn as a line, not as noise

// 1, 2 or 5 times a power of ten, near span / target.
double niceStep(double span, int target) {
    const double raw = span / target;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double n = raw / magnitude;
    const double factor = n < 1.5 ? 1 : n < 3 ? 2 : n < 7 ? 5 : 10;
    return factor * magnitude;
}

QString signedNumber(double value) {
    const auto whole = qint64(std::llround(value));
    return whole > 0 ? QStringLiteral("+%1").arg(whole) : QString::number(whole);
}

QString channelName(int ch) {
    return QString(QChar(u'A' + ch));
}

}  // namespace

PositionChart::PositionChart(const PositionHistory& history, QWidget* parent)
    : QWidget(parent), history_(history) {
    setObjectName(QStringLiteral("PositionChart"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer_.setInterval(kRepaintMs);
    connect(&timer_, &QTimer::timeout, this, &PositionChart::repaintTick);
}

void PositionChart::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    timer_.start();
}

void PositionChart::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    timer_.stop();
}

QColor PositionChart::channelColour(int ch) {
    return QColor(kChannelColours.at(size_t(ch)));
}

void PositionChart::setAutoscale(bool on) {
    autoscale_ = on;
    update();
}

void PositionChart::setPaused(bool paused) {
    if (paused) {
        frozen_ = history_;
        frozenEnd_ = history_.now();
    } else {
        frozen_.reset();
    }
    update();
}

void PositionChart::repaintTick() {
    if (!isVisible()) {
        return;
    }
    bool due = cursorMoved_;
    if (!paused()) {
        // Live, the time axis moves on: a chart with anything on it is redrawn every tick.
        bool anything = history_.version() != paintedVersion_;
        for (int ch = 0; ch < PositionHistory::kChannels && !anything; ++ch) {
            anything = !history_.samples(ch).empty();
        }
        due = due || anything;
    }
    if (due) {
        cursorMoved_ = false;
        update();
    }
}

void PositionChart::setUnits(const ChannelUnits* units) {
    units_ = units;
    background_ = QPixmap();  // the axes change
    update();
}

int PositionChart::unitAxisChannel() const {
    for (int ch = 0; units_ != nullptr && ch < PositionHistory::kChannels; ++ch) {
        if (units_->unit[size_t(ch)].set() && !shown().samples(ch).empty()) {
            return ch;
        }
    }
    return -1;
}

PositionChart::Frame PositionChart::frame() const {
    const QFontMetrics fm(font());
    const double left = fm.horizontalAdvance(QStringLiteral("-0000000")) + 16;
    const int unitCh = unitAxisChannel();
    const double right =
        unitCh < 0 ? 14 : fm.horizontalAdvance(units_->unit[size_t(unitCh)].format(-1234.567)) + 16;
    const double bottom = fm.height() + 12;
    Frame f;
    f.plot = QRectF(left, 10, qMax(10.0, width() - left - right), qMax(10.0, height() - 10 - bottom));
    f.end = frozen_ ? frozenEnd_ : history_.now();
    f.low = low_;
    f.high = high_;
    return f;
}

void PositionChart::fitRange(qint64 end) {
    const PositionHistory& h = shown();
    const qint64 start = end - PositionHistory::kSpanMs;
    bool any = false;
    double low = 0;
    double high = 0;
    for (int ch = 0; ch < PositionHistory::kChannels; ++ch) {
        const auto& samples = h.samples(ch);
        for (size_t i = 0; i < samples.size(); ++i) {
            const bool inView =
                samples[i].ms >= start || (i + 1 < samples.size() && samples[i + 1].ms >= start);
            if (!inView) {
                continue;
            }
            const auto v = double(samples[i].value);
            low = any ? qMin(low, v) : v;
            high = any ? qMax(high, v) : v;
            any = true;
        }
    }
    if (!any) {
        return;
    }
    if (high - low < kMinSpan) {
        const double middle = (high + low) / 2;
        low = middle - kMinSpan / 2;
        high = middle + kMinSpan / 2;
    }
    const double pad = (high - low) * kPadFraction;
    const double step = niceStep(high - low + 2 * pad, 5);
    low_ = std::floor((low - pad) / step) * step;
    high_ = std::ceil((high + pad) / step) * step;
}

double PositionChart::xOf(const Frame& f, qint64 ms) const {
    return f.plot.left() + f.plot.width() * double(ms - (f.end - PositionHistory::kSpanMs)) /
                               double(PositionHistory::kSpanMs);
}

double PositionChart::yOf(const Frame& f, double value) const {
    return f.plot.bottom() - f.plot.height() * (value - f.low) / (f.high - f.low);
}

void PositionChart::paintEvent(QPaintEvent*) {
    ++paints_;
    paintedVersion_ = history_.version();
    if (autoscale_) {
        fitRange(frozen_ ? frozenEnd_ : history_.now());
    }
    const Frame f = frame();
    QPainter p(this);
    // The axes change only with the range, the size or a pause: kept as a picture between those.
    bool any = false;
    for (int ch = 0; ch < PositionHistory::kChannels; ++ch) {
        any = any || !shown().samples(ch).empty();
    }
    const BackgroundKey key{size(), f.low, f.high, paused(), any, unitAxisChannel()};
    if (background_.isNull() || !(key == backgroundKey_)) {
        background_ = QPixmap(size() * devicePixelRatioF());
        background_.setDevicePixelRatio(devicePixelRatioF());
        QPainter bp(&background_);
        bp.fillRect(rect(), palette().color(QPalette::Window));
        bp.fillRect(f.plot, Qt::white);
        drawAxes(bp, f, any);
        backgroundKey_ = key;
    }
    p.drawPixmap(0, 0, background_);
    p.save();
    p.setClipRect(f.plot.adjusted(0, -1, 1, 1));
    p.setRenderHint(QPainter::Antialiasing);
    drawLines(p, f);
    drawMarks(p, f);
    p.restore();
    drawReadout(p, f);
}

void PositionChart::drawAxes(QPainter& p, const Frame& f, bool any) const {
    const QFontMetrics fm(font());
    const QColor grid(0xe3, 0xe3, 0xe3);
    const QColor text = palette().color(QPalette::WindowText);

    const double step = niceStep(f.high - f.low, 5);
    for (double v = std::ceil(f.low / step) * step; v <= f.high + step / 1000; v += step) {
        const double y = yOf(f, v);
        p.setPen(grid);
        p.drawLine(QPointF(f.plot.left(), y), QPointF(f.plot.right(), y));
        p.setPen(text);
        const QString label = signedNumber(v);
        p.drawText(QRectF(0, y - fm.height() / 2.0, f.plot.left() - 6, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, label);
    }
    for (int s = 0; s <= 60; s += 10) {
        const double x = f.plot.left() + f.plot.width() * s / 60.0;
        p.setPen(grid);
        p.drawLine(QPointF(x, f.plot.top()), QPointF(x, f.plot.bottom()));
        p.setPen(text);
        const QString label = s == 60 ? (paused() ? QStringLiteral("paused") : QStringLiteral("now"))
                                      : QStringLiteral("%1 s").arg(s - 60);
        const double w = fm.horizontalAdvance(label);
        const double lx = qBound(0.0, x - w / 2, width() - w);
        p.drawText(QPointF(lx, f.plot.bottom() + fm.ascent() + 5), label);
    }
    p.setPen(QColor(0x9a, 0x9a, 0x9a));
    p.drawRect(f.plot);
    drawUnitAxis(p, f);

    if (!any) {
        p.setPen(QColor(0x80, 0x80, 0x80));
        p.drawText(f.plot, Qt::AlignCenter,
                   QStringLiteral("No positions yet: connect, and the polled channels appear here."));
    }
}

void PositionChart::drawUnitAxis(QPainter& p, const Frame& f) const {
    const int ch = unitAxisChannel();
    if (ch < 0) {
        return;
    }
    // The same grid lines, read in the channel's unit, in the channel's colour.
    const ChannelUnit& unit = units_->unit[size_t(ch)];
    const QFontMetrics fm(font());
    p.setPen(channelColour(ch).darker(130));
    const double step = niceStep(f.high - f.low, 5);
    for (double v = std::ceil(f.low / step) * step; v <= f.high + step / 1000; v += step) {
        const double y = yOf(f, v);
        p.drawText(
            QRectF(f.plot.right() + 6, y - fm.height() / 2.0, width() - f.plot.right() - 6, fm.height()),
            Qt::AlignLeft | Qt::AlignVCenter, unit.format(v));
    }
}

void PositionChart::drawLines(QPainter& p, const Frame& f) const {
    const qint64 start = f.end - PositionHistory::kSpanMs;
    for (int ch = 0; ch < PositionHistory::kChannels; ++ch) {
        const auto& samples = shown().samples(ch);
        QPolygonF line;
        line.reserve(qsizetype(samples.size()));
        for (size_t i = 0; i < samples.size(); ++i) {
            if (samples[i].ms < start && i + 1 < samples.size() && samples[i + 1].ms < start) {
                continue;
            }
            const QPointF point(xOf(f, samples[i].ms), yOf(f, double(samples[i].value)));
            // An axis at rest gives hundreds of samples on one level: its run is drawn from its
            // first to its last point, which keeps the painting cheap for a full minute.
            const qsizetype n = line.size();
            if (n >= 2 && std::abs(line[n - 1].y() - point.y()) < 0.5 &&
                std::abs(line[n - 2].y() - point.y()) < 0.5) {
                line[n - 1] = point;
            } else {
                line << point;
            }
        }
        if (line.isEmpty()) {
            continue;
        }
        p.setPen(QPen(channelColour(ch), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        if (line.size() == 1) {
            p.drawPoint(line.first());
        } else {
            p.drawPolyline(line);
        }
    }
}

QPointF PositionChart::markPoint(const Frame& f, const PositionHistory::Event& e) const {
    // On the channel's line where it was at that moment; at the top when it has no position.
    const auto at = shown().nearest(e.ch, e.ms, 2000);
    return {xOf(f, e.ms), at ? yOf(f, double(at->value)) : f.plot.top() + 12};
}

void PositionChart::drawMarks(QPainter& p, const Frame& f) const {
    for (const PositionHistory::Event& e : shown().events()) {
        const QPointF m = markPoint(f, e);
        const QColor colour = channelColour(e.ch);
        QPainterPath diamond;
        diamond.moveTo(m.x(), m.y() - 6);
        diamond.lineTo(m.x() + 6, m.y());
        diamond.lineTo(m.x(), m.y() + 6);
        diamond.lineTo(m.x() - 6, m.y());
        diamond.closeSubpath();
        p.setPen(QPen(colour.darker(140), 1.5));
        p.setBrush(e.on ? QBrush(colour) : QBrush(Qt::white));
        p.drawPath(diamond);
    }
    p.setBrush(Qt::NoBrush);
    const QFontMetrics fm(font());
    for (const MarkLabel& label : markLabels(f)) {
        p.setPen(label.colour.darker(150));
        p.drawText(QPointF(label.area.left(), label.area.top() + fm.ascent()), label.text);
    }
}

QList<PositionChart::MarkLabel> PositionChart::markLabels() const {
    return markLabels(frame());
}

QList<PositionChart::MarkLabel> PositionChart::markLabels(const Frame& f) const {
    const QFontMetrics fm(font());
    const double line = fm.height() + 1;
    // Two labels closer than this read as one word ("HPHP off").
    constexpr double kGap = 4;
    QList<MarkLabel> placed;
    const auto free = [&](const QRectF& area) {
        const QRectF spaced = area.adjusted(-kGap, 0, kGap, 0);
        return area.top() >= f.plot.top() && area.bottom() <= f.plot.bottom() &&
               std::none_of(placed.begin(), placed.end(),
                            [&](const MarkLabel& other) { return other.area.intersects(spaced); });
    };
    for (const PositionHistory::Event& e : shown().events()) {
        const QPointF m = markPoint(f, e);
        const QString text = PositionHistory::markName(e.mark) + (e.on ? QString() : QStringLiteral(" off"));
        // Above the mark, or below it when the top of the plot is too near; then a line further
        // away each try, on that side first, then on the other.
        // Right of the mark, or left of it at the right edge, where "now" is.
        const double width = fm.horizontalAdvance(text);
        const double x = m.x() + 5 + width <= f.plot.right() ? m.x() + 5 : m.x() - 5 - width;
        const QRectF above(x, m.y() - 9 - fm.ascent(), width, fm.height());
        const QRectF below = above.translated(0, 18 + fm.ascent());
        const bool up = free(above) || !free(below);
        std::optional<QRectF> area;
        for (int step = 0; !area && step < 2 * int(f.plot.height() / line) + 2; ++step) {
            const int away = step / 2;
            const bool first = step % 2 == 0;
            const QRectF candidate =
                (first == up) ? above.translated(0, -away * line) : below.translated(0, away * line);
            if (free(candidate)) {
                area = candidate;
            }
        }
        if (area) {
            placed << MarkLabel{text, *area, channelColour(e.ch)};
        }
    }
    return placed;
}

QString PositionChart::readoutAt(QPoint point) const {
    const Frame f = frame();
    if (!f.plot.contains(point)) {
        return {};
    }
    const qint64 ms = f.end - PositionHistory::kSpanMs +
                      qint64((point.x() - f.plot.left()) / f.plot.width() * PositionHistory::kSpanMs);
    const double value = f.low + (f.plot.bottom() - point.y()) / f.plot.height() * (f.high - f.low);
    QString text = QStringLiteral("%1 s   cursor %2")
                       .arg(double(ms - f.end) / 1000.0, 0, 'f', 1)
                       .arg(signedNumber(value));
    for (int ch = 0; ch < PositionHistory::kChannels; ++ch) {
        // Within a second: the slowest rotation (four channels) still polls each one that often.
        if (const auto s = shown().nearest(ch, ms, 1000)) {
            text += QStringLiteral("   %1 %2").arg(channelName(ch), signedNumber(double(s->value)));
            if (units_ != nullptr) {
                text += units_->unit[size_t(ch)].beside(double(s->value));
            }
        }
    }
    return text;
}

void PositionChart::drawReadout(QPainter& p, const Frame& f) const {
    if (!cursor_ || !f.plot.contains(*cursor_)) {
        return;
    }
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1, Qt::DashLine));
    p.drawLine(QPointF(cursor_->x(), f.plot.top()), QPointF(cursor_->x(), f.plot.bottom()));
    const QString text = readoutAt(*cursor_);
    const QFontMetrics fm(font());
    QRectF box(0, 0, fm.horizontalAdvance(text) + 16, fm.height() + 8);
    box.moveTopLeft(QPointF(f.plot.left() + 6, f.plot.top() + 6));
    p.setPen(QColor(0xa0, 0xa0, 0xa0));
    p.setBrush(QColor(255, 255, 240, 235));
    p.drawRect(box);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(box, Qt::AlignCenter, text);
}

void PositionChart::mouseMoveEvent(QMouseEvent* event) {
    cursor_ = event->position().toPoint();
    cursorMoved_ = true;  // drawn at the next repaint tick, not per mouse event
}

void PositionChart::leaveEvent(QEvent* event) {
    QWidget::leaveEvent(event);
    cursor_.reset();
    cursorMoved_ = true;
}
