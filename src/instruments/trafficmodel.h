#pragma once

#include "trafficrecorder.h"

#include <QAbstractTableModel>
#include <QFont>
#include <deque>

// The recorder's lines that pass the monitor's filter, as table rows. It follows the recorder
// only when refresh() is called, so a burst of lines costs one batch of row insertions, and
// rows are formatted only when the view paints them.
class TrafficModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Link, Direction, Class, Line, RoundTrip, ColumnCount };

    explicit TrafficModel(const TrafficRecorder& recorder, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Takes in what the recorder holds now: drops rows it let go, appends new lines.
    void refresh();
    void setFilter(TrafficFilter filter);
    TrafficFilter filter() const { return filter_; }

    const TrafficEntry& entry(int row) const { return recorder_.at(rows_[size_t(row)]); }

private:
    void rebuild();

    const TrafficRecorder& recorder_;
    TrafficFilter filter_ = kAllTraffic;
    std::deque<quint64> rows_;  // sequence numbers of the shown entries
    quint64 seenEnd_ = 0;
    int generation_ = 0;
    QFont fixed_;
};
