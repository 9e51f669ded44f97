#pragma once

#include "commandlink.h"
#include "intervaltimer.h"
#include "messages.h"
#include "panelstate.h"
#include "panelview.h"
#include "tableview.h"

#include <QByteArray>
#include <QObject>
#include <QString>

// "Data Read": fills the table from the controller, one query per parameter and channel, the
// next query only after the reply interpreter has stored the previous reply (which it does while
// state.TableReading is set). Paced by tmrTokei; the tick's timeout is connected here, so the
// window must not connect it again.
class TableRead : public QObject {
    Q_OBJECT
public:
    // Ticks of silence after which the read gives up (about a second at 20 ms).
    static constexpr int kNoReplyTicks = 50;
    static constexpr int kTickMs = 20;

    TableRead(PanelState& state, TableView& table, CommandLink& link, const PanelView& panel,
              MessageSink& messages, IntervalTimer& tmrTokei, IntervalTimer& tmrWrite,
              QObject* parent = nullptr);
    ~TableRead() override;

    void Start();
    void Tick();

    // The query of a step and channel, without CR LF; empty for a step the read never reaches.
    static QByteArray Query(int step, int ch, bool usbModel, int speedUnit);

private:
    void stop(const QString& status);

    PanelState& state_;
    TableView& table_;
    CommandLink& link_;
    const PanelView& panel_;
    MessageSink& messages_;
    IntervalTimer& tmrTokei_;
    IntervalTimer& tmrWrite_;
    int silentTicks_ = 0;
    // Set while SendCommand runs: its failure box runs a nested event loop in which this timer
    // keeps ticking, and a tick there would send (and fail) again behind the first box.
    bool sending_ = false;
};
