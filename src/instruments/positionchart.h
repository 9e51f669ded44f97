#pragma once

#include "channelunits.h"
#include "positionhistory.h"

#include <QColor>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <optional>

// The chart itself: each channel's position against the last minute, one colour per channel,
// with a mark where a lamp or the hold-off changed. Drawn with QPainter from the history; it
// repaints from its own timer, at most kRepaintMs apart, never per sample.
class PositionChart : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRepaintMs = 200;

    explicit PositionChart(const PositionHistory& history, QWidget* parent = nullptr);

    // The operator's units: the readout gives each position in its channel's unit too, and the
    // first channel drawn that has one gets an axis of its own on the right.
    void setUnits(const ChannelUnits* units);

    static QColor channelColour(int ch);

    // Autoscale fits the vertical range to what is drawn; off, the range stays where it was.
    void setAutoscale(bool on);
    bool autoscale() const { return autoscale_; }
    // Paused, the chart keeps showing the minute up to the moment of pausing; recording goes on.
    void setPaused(bool paused);
    bool paused() const { return frozen_.has_value(); }

    // The repaint tick: schedules one paint when there is something new to show.
    void repaintTick();
    // The readout for a point of the widget: time, the value under the cursor and each
    // channel's position at that time. Empty outside the plot.
    QString readoutAt(QPoint point) const;
    QRectF plotArea() const { return frame().plot; }

    // A mark's label where the chart writes it. Labels that would touch are stacked, one line
    // above (or below) the other; only where the plot has no free line left is one left out.
    struct MarkLabel {
        QString text;
        QRectF area;
        QColor colour;
    };
    QList<MarkLabel> markLabels() const;
    int paintCount() const { return paints_; }

    QSize sizeHint() const override { return {720, 360}; }
    QSize minimumSizeHint() const override { return {360, 200}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Frame {
        QRectF plot;
        qint64 end = 0;  // ms at the right edge
        double low = 0;
        double high = 0;
    };
    const PositionHistory& shown() const { return frozen_ ? *frozen_ : history_; }
    Frame frame() const;
    void fitRange(qint64 end);
    double xOf(const Frame& f, qint64 ms) const;
    double yOf(const Frame& f, double value) const;
    void drawAxes(QPainter& p, const Frame& f, bool any) const;
    void drawLines(QPainter& p, const Frame& f) const;
    void drawMarks(QPainter& p, const Frame& f) const;
    QList<MarkLabel> markLabels(const Frame& f) const;
    QPointF markPoint(const Frame& f, const PositionHistory::Event& e) const;
    void drawReadout(QPainter& p, const Frame& f) const;

    struct BackgroundKey {
        QSize size;
        double low = 0;
        double high = 0;
        bool paused = false;
        bool any = false;
        int unitAxis = -1;
        bool operator==(const BackgroundKey&) const = default;
    };

    // The channel whose unit the right-hand axis shows, or -1.
    int unitAxisChannel() const;
    void drawUnitAxis(QPainter& p, const Frame& f) const;

    const PositionHistory& history_;
    const ChannelUnits* units_ = nullptr;
    std::optional<PositionHistory> frozen_;
    qint64 frozenEnd_ = 0;
    bool autoscale_ = true;
    double low_ = -1000;
    double high_ = 1000;
    std::optional<QPoint> cursor_;
    bool cursorMoved_ = false;
    quint64 paintedVersion_ = ~quint64(0);
    int paints_ = 0;
    QPixmap background_;
    BackgroundKey backgroundKey_;
    QTimer timer_;
};
