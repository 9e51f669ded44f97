#pragma once

#include "trafficrecorder.h"

#include <QAbstractListModel>
#include <deque>

// The recorder's lines that pass the monitor's filter, one row each. It follows the recorder only
// when refresh() is called, so a burst of lines costs one batch of row insertions, and a row is
// formatted only when the view paints it.
class TrafficModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { EntryRole = Qt::UserRole + 1 };  // the entry's sequence number

    explicit TrafficModel(const TrafficRecorder& recorder, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Takes in what the recorder holds now: drops rows it let go, appends new lines.
    void refresh();
    void setFilter(TrafficFilter filter);
    TrafficFilter filter() const { return filter_; }

    const TrafficEntry& entry(int row) const { return recorder_.at(rows_[size_t(row)]); }
    // False for a row whose line the recorder has let go since the last refresh.
    bool held(int row) const { return rows_[size_t(row)] >= recorder_.firstSeq(); }
    QString text(int row) const { return TrafficRecorder::format(entry(row), utcOffsetMs_); }

private:
    void rebuild();

    const TrafficRecorder& recorder_;
    TrafficFilter filter_ = kAllTraffic;
    std::deque<quint64> rows_;  // sequence numbers of the shown entries
    quint64 seenEnd_ = 0;
    int generation_ = 0;
    qint64 utcOffsetMs_ = 0;  // taken at each refresh, so a change of summer time follows
};
