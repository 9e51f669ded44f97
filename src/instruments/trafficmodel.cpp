#include "trafficmodel.h"

#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QFontDatabase>

TrafficModel::TrafficModel(const TrafficRecorder& recorder, QObject* parent)
    : QAbstractTableModel(parent),
      recorder_(recorder),
      generation_(recorder.generation()),
      fixed_(QFontDatabase::systemFont(QFontDatabase::FixedFont)) {
    rebuild();
}

int TrafficModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int TrafficModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return {};
    }
    switch (section) {
        case Time:
            return QStringLiteral("Time");
        case Link:
            return QStringLiteral("Link");
        case Direction:
            return QStringLiteral("Dir");
        case Class:
            return QStringLiteral("Class");
        case Line:
            return QStringLiteral("Line");
        case RoundTrip:
            return QStringLiteral("Round trip");
        default:
            return {};
    }
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
    // A row the recorder has let go since the last refresh is blank until that refresh drops it.
    if (!index.isValid() || index.row() >= int(rows_.size()) ||
        rows_[size_t(index.row())] < recorder_.firstSeq()) {
        return {};
    }
    const TrafficEntry& e = entry(index.row());
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
            case Time:
                return QDateTime::fromMSecsSinceEpoch(e.ms).toString(QStringLiteral("HH:mm:ss.zzz"));
            case Link:
                return e.lan ? QStringLiteral("LAN") : QStringLiteral("USB");
            case Direction:
                return e.sent ? QStringLiteral("sent") : QStringLiteral("recv");
            case Class:
                return TrafficRecorder::className(e.cls);
            case Line:
                return TrafficRecorder::printable(e.text) + (e.cut ? QStringLiteral(" [cut]") : QString());
            case RoundTrip:
                return e.roundTripMs >= 0 ? QStringLiteral("%1 ms").arg(e.roundTripMs) : QString();
            default:
                return {};
        }
    }
    if (role == Qt::ForegroundRole && (index.column() == Direction || index.column() == Line)) {
        // Sent and received lines in two colours, so an exchange reads at a glance.
        return QBrush(e.sent ? QColor(0x1f, 0x4e, 0x9a) : QColor(0x1e, 0x6b, 0x2e));
    }
    if (role == Qt::ForegroundRole && index.column() == Class && e.cls == TrafficClass::Polling) {
        return QBrush(QColor(0x70, 0x70, 0x70));
    }
    if (role == Qt::FontRole && (index.column() == Line || index.column() == Time)) {
        return fixed_;
    }
    if (role == Qt::TextAlignmentRole && index.column() == RoundTrip) {
        return int(Qt::AlignRight | Qt::AlignVCenter);
    }
    return {};
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
