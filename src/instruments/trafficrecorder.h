#pragma once

#include "msclock.h"
#include "origin.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <vector>

struct PanelState;

// Which part of the panel a line belongs to: the polling tick's rotation, the operator (buttons,
// moves, free text), the table read and write, or a script on the automation port. A reply
// belongs to the class of its command.
enum class TrafficClass : quint8 { Polling = 1, Operator = 2, Table = 4, Automation = 8 };
using TrafficFilter = quint8;  // a set of TrafficClass bits
inline constexpr TrafficFilter kAllTraffic = 15;

inline bool passes(TrafficFilter filter, TrafficClass cls) {
    return (filter & quint8(cls)) != 0;
}

struct TrafficEntry {
    quint64 seq = 0;
    qint64 ms = 0;         // when the panel sent it or received its line feed
    QByteArray text;       // the line as it went over the wire, without its line end
    int roundTripMs = -1;  // on the reply to a query: the time since that query went out
    bool sent = true;
    bool lan = false;
    bool cut = false;  // a received line longer than kLineCap, kept up to the cap
    TrafficClass cls = TrafficClass::Operator;
};

// Every line sent and received on either link, the last kCapacity of them, in wire order. Each
// line costs one slot of a fixed ring and no search, so recording never holds up the tick. The
// recorder sees what the command channel reports (commands sent with whose they are, bytes
// received); it has no view and emits nothing: the monitor reads it on a timer.
class TrafficRecorder {
public:
    static constexpr int kCapacity = 10000;
    static constexpr qsizetype kLineCap = 1024;

    TrafficRecorder(const PanelState& state, MsClock clock);

    // A command text as the channel sent it (CR LF included), with whose line it is. Queries (the
    // rotation's, free text, a script's raw query, the table read's) wait for their answer.
    void commandSent(const QByteArray& text, bool lan, Origin origin);
    // Raw bytes as they arrived; lines are taken at each line feed.
    void bytesReceived(const QByteArray& data, bool lan);
    static TrafficClass classOf(Origin origin);
    void clear();

    // Entries are numbered from 0 in the order they were recorded; [firstSeq, endSeq) is held.
    quint64 firstSeq() const { return first_; }
    quint64 endSeq() const { return end_; }
    const TrafficEntry& at(quint64 seq) const { return ring_[seq % kCapacity]; }
    // Changes whenever the recorder is cleared, so that a view knows to start over.
    int generation() const { return generation_; }

    // One line of the monitor and of a saved file, in fixed columns under header(); the time of
    // day is local time, given as the offset from UTC.
    static QString format(const TrafficEntry& entry, qint64 utcOffsetMs);
    static QString header();
    static qint64 localUtcOffsetMs();
    static QString className(TrafficClass cls);
    // The line's bytes as readable text: control and non-ASCII bytes as \xNN.
    static QString printable(const QByteArray& bytes);
    // The held entries that pass the filter, as a text file (CR LF line ends). False, with the
    // reason, when the file could not be written; an existing file is then left as it was.
    bool save(const QString& path, TrafficFilter filter, QString* error) const;

private:
    struct Query {
        bool open = false;
        qint64 ms = 0;
        TrafficClass cls = TrafficClass::Operator;
    };
    TrafficEntry& append(QByteArray text, bool sent, bool lan, TrafficClass cls, qint64 ms);
    void received(QByteArray line, bool lan, bool cut, qint64 ms);

    const PanelState& state_;
    MsClock clock_;
    std::vector<TrafficEntry> ring_;
    quint64 first_ = 0;
    quint64 end_ = 0;
    int generation_ = 0;
    // Per link, 0 USB and 1 LAN: the query waiting for its answer, the class of the last line
    // sent (a line that answers no query, such as an acknowledgement, is taken to answer that),
    // and the part of a line still waiting for its line feed.
    std::array<Query, 2> query_{};
    std::array<TrafficClass, 2> lastClass_{TrafficClass::Operator, TrafficClass::Operator};
    std::array<QByteArray, 2> partial_;
    std::array<bool, 2> discarding_{};
};
