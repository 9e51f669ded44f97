#include "trafficrecorder.h"

#include "panelstate.h"
#include "wholefile.h"

#include <QDateTime>

namespace {

int linkIndex(bool lan) {
    return lan ? 1 : 0;
}

// A line of nothing but service-request markers arrives in the middle of an exchange; it answers
// no query, so the answer is still to come.
bool serviceRequestOnly(const QByteArray& line) {
    // Nearly every line holds no marker at all: no copy and no replacing for those.
    if (!line.contains("SRQ")) {
        return false;
    }
    QByteArray rest = line;
    for (const char* marker : {"SRQAB", "SRQA", "SRQB", "SRQ"}) {
        rest.replace(marker, "");
    }
    return rest.isEmpty() && !line.isEmpty();
}

QByteArray withoutCr(QByteArray line) {
    if (line.endsWith('\r')) {
        line.chop(1);
    }
    return line;
}

}  // namespace

TrafficRecorder::TrafficRecorder(const PanelState& state, MsClock clock)
    : state_(state), clock_(std::move(clock)), ring_(kCapacity) {}

TrafficEntry& TrafficRecorder::append(QByteArray text, bool sent, bool lan, TrafficClass cls, qint64 ms) {
    TrafficEntry& entry = ring_[end_ % kCapacity];
    entry = TrafficEntry{end_, ms, std::move(text), -1, sent, lan, false, cls};
    ++end_;
    if (end_ - first_ > quint64(kCapacity)) {
        ++first_;
    }
    return entry;
}

TrafficClass TrafficRecorder::classOf(Origin origin) {
    switch (origin) {
        case Origin::Polling:
            return TrafficClass::Polling;
        case Origin::Table:
            return TrafficClass::Table;
        case Origin::Script:
        case Origin::Ask:
            return TrafficClass::Automation;
        case Origin::FreeText:
        case Origin::Operator:
        case Origin::Demo:
        case Origin::Seen:
            break;
    }
    return TrafficClass::Operator;
}

void TrafficRecorder::commandSent(const QByteArray& text, bool lan, Origin origin) {
    const TrafficClass cls = classOf(origin);
    const qint64 ms = clock_();
    // A command text normally holds one line; a pasted free text may hold several.
    qsizetype from = 0;
    while (from < text.size()) {
        qsizetype lf = text.indexOf('\n', from);
        const qsizetype next = lf < 0 ? text.size() : lf + 1;
        if (lf < 0) {
            lf = text.size();
        }
        append(withoutCr(text.mid(from, lf - from)), true, lan, cls, ms);
        from = next;
    }
    const int link = linkIndex(lan);
    lastClass_[link] = cls;
    if (isQuery(origin, state_.TableReading)) {
        query_[link] = Query{true, ms, cls};
    }
}

void TrafficRecorder::bytesReceived(const QByteArray& data, bool lan) {
    const int link = linkIndex(lan);
    QByteArray& partial = partial_[link];
    const qint64 ms = clock_();
    qsizetype from = 0;
    while (from < data.size()) {
        const qsizetype lf = data.indexOf('\n', from);
        const qsizetype stop = lf < 0 ? data.size() : lf;
        if (!discarding_[link]) {
            partial.append(data.constData() + from, stop - from);
        }
        if (lf < 0) {
            break;
        }
        if (!discarding_[link]) {
            received(withoutCr(partial), lan, false, ms);
        }
        partial.clear();
        discarding_[link] = false;
        from = lf + 1;
    }
    // A peer that never ends its line must not fill memory: keep the start, drop the rest.
    if (!discarding_[link] && partial.size() > kLineCap) {
        received(partial.left(kLineCap), lan, true, ms);
        partial.clear();
        discarding_[link] = true;
    }
}

void TrafficRecorder::received(QByteArray line, bool lan, bool cut, qint64 ms) {
    const int link = linkIndex(lan);
    Query& query = query_[link];
    const TrafficClass cls = query.open ? query.cls : lastClass_[link];
    if (line.size() > kLineCap) {
        line.truncate(kLineCap);
        cut = true;
    }
    TrafficEntry& entry = append(std::move(line), false, lan, cls, ms);
    entry.cut = cut;
    if (query.open && !serviceRequestOnly(entry.text)) {
        entry.roundTripMs = int(ms - query.ms);
        query.open = false;
    }
}

void TrafficRecorder::clear() {
    first_ = end_;
    ++generation_;
}

QString TrafficRecorder::className(TrafficClass cls) {
    switch (cls) {
        case TrafficClass::Polling:
            return QStringLiteral("polling");
        case TrafficClass::Table:
            return QStringLiteral("table");
        case TrafficClass::Automation:
            return QStringLiteral("automation");
        case TrafficClass::Operator:
            break;
    }
    return QStringLiteral("operator");
}

QString TrafficRecorder::printable(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            out += QChar(byte);
        } else if (byte == '\\') {
            out += QStringLiteral("\\\\");
        } else {
            out += QStringLiteral("\\x") + QString::number(byte, 16).toUpper().rightJustified(2, u'0');
        }
    }
    return out;
}

namespace {
// Column widths of a formatted line; a longer line text pushes the round trip to the right.
constexpr int kTimeWidth = 12;
constexpr int kLinkWidth = 4;
constexpr int kDirWidth = 4;
constexpr int kClassWidth = 10;
constexpr int kTextWidth = 18;
const QString kGap = QStringLiteral("  ");
}  // namespace

qint64 TrafficRecorder::localUtcOffsetMs() {
    return qint64(QDateTime::currentDateTime().offsetFromUtc()) * 1000;
}

QString TrafficRecorder::header() {
    return QStringLiteral("Time").leftJustified(kTimeWidth) + kGap +
           QStringLiteral("Link").leftJustified(kLinkWidth) + kGap +
           QStringLiteral("Dir").leftJustified(kDirWidth) + kGap +
           QStringLiteral("Class").leftJustified(kClassWidth) + kGap +
           QStringLiteral("Line").leftJustified(kTextWidth) + kGap + QStringLiteral("Round trip");
}

QString TrafficRecorder::format(const TrafficEntry& entry, qint64 utcOffsetMs) {
    // The time of day by arithmetic: the monitor formats every visible line as it paints, and a
    // time-zone conversion per line would cost more than the rest of it.
    const qint64 day = 24 * 3600 * 1000;
    const qint64 t = ((entry.ms + utcOffsetMs) % day + day) % day;
    QString line = QString::asprintf("%02d:%02d:%02d.%03d", int(t / 3600000), int(t / 60000 % 60),
                                     int(t / 1000 % 60), int(t % 1000));
    line +=
        kGap + QString(entry.lan ? QStringLiteral("LAN") : QStringLiteral("USB")).leftJustified(kLinkWidth);
    line +=
        kGap + QString(entry.sent ? QStringLiteral("sent") : QStringLiteral("recv")).leftJustified(kDirWidth);
    line += kGap + className(entry.cls).leftJustified(kClassWidth) + kGap;
    QString text = printable(entry.text);
    if (entry.cut) {
        text += QStringLiteral(" [cut]");
    }
    if (entry.roundTripMs < 0) {
        return line + text;
    }
    return line + text.leftJustified(kTextWidth) + kGap + QStringLiteral("%1 ms").arg(entry.roundTripMs);
}

bool TrafficRecorder::save(const QString& path, TrafficFilter filter, QString* error) const {
    QStringList classes;
    for (TrafficClass cls :
         {TrafficClass::Polling, TrafficClass::Operator, TrafficClass::Table, TrafficClass::Automation}) {
        if (passes(filter, cls)) {
            classes << className(cls);
        }
    }
    QByteArray text =
        QStringLiteral("# Traffic of the control panel, saved %1; shown: %2\r\n# %3\r\n")
            .arg(QDateTime::currentDateTime().toString(Qt::ISODate), classes.join(u' '), header())
            .toUtf8();
    const qint64 offset = localUtcOffsetMs();
    for (quint64 seq = first_; seq < end_; ++seq) {
        const TrafficEntry& entry = at(seq);
        if (passes(filter, entry.cls)) {
            text += format(entry, offset).toUtf8() + "\r\n";
        }
    }
    return WholeFile::write(path, text, error);
}
