#include "trafficmodel.h"

#include <QBrush>
#include <QColor>

TrafficModel::TrafficModel(const TrafficRecorder& recorder, QObject* parent)
    : QAbstractListModel(parent), recorder_(recorder), generation_(recorder.generation()) {
    rebuild();
}

int TrafficModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
    // A row the recorder has let go since the last refresh is blank until that refresh drops it.
    if (!index.isValid() || index.row() >= int(rows_.size()) || !held(index.row())) {
        return {};
    }
    switch (role) {
        case Qt::DisplayRole:
            return text(index.row());
        case EntryRole:
            return rows_[size_t(index.row())];
        case Qt::ForegroundRole:
            // Sent and received lines in two colours, so an exchange reads at a glance.
            return QBrush(entry(index.row()).sent ? QColor(0x1f, 0x4e, 0x9a) : QColor(0x1e, 0x6b, 0x2e));
        default:
            return {};
    }
}

void TrafficModel::setFilter(TrafficFilter filter) {
    if (filter == filter_) {
        return;
    }
    filter_ = filter;
    beginResetModel();
    rebuild();
    endResetModel();
}

void TrafficModel::rebuild() {
    utcOffsetMs_ = TrafficRecorder::localUtcOffsetMs();
    rows_.clear();
    for (quint64 seq = recorder_.firstSeq(); seq < recorder_.endSeq(); ++seq) {
        if (passes(filter_, recorder_.at(seq).cls)) {
            rows_.push_back(seq);
        }
    }
    seenEnd_ = recorder_.endSeq();
    generation_ = recorder_.generation();
}

void TrafficModel::refresh() {
    if (generation_ != recorder_.generation()) {
        beginResetModel();
        rebuild();
        endResetModel();
        return;
    }
    utcOffsetMs_ = TrafficRecorder::localUtcOffsetMs();
    qsizetype gone = 0;
    while (size_t(gone) < rows_.size() && rows_[size_t(gone)] < recorder_.firstSeq()) {
        ++gone;
    }
    if (gone > 0) {
        beginRemoveRows({}, 0, int(gone) - 1);
        rows_.erase(rows_.begin(), rows_.begin() + gone);
        endRemoveRows();
    }
    std::vector<quint64> fresh;
    for (quint64 seq = qMax(seenEnd_, recorder_.firstSeq()); seq < recorder_.endSeq(); ++seq) {
        if (passes(filter_, recorder_.at(seq).cls)) {
            fresh.push_back(seq);
        }
    }
    seenEnd_ = recorder_.endSeq();
    if (!fresh.empty()) {
        const int first = int(rows_.size());
        beginInsertRows({}, first, first + int(fresh.size()) - 1);
        rows_.insert(rows_.end(), fresh.begin(), fresh.end());
        endInsertRows();
    }
}
