#include "tableread.h"

#include "tableclear.h"

namespace {
const QString kReading = QStringLiteral("--- Reading ---");
}  // namespace

TableRead::TableRead(PanelState& state, TableView& table, CommandLink& link, const PanelView& panel,
                     MessageSink& messages, IntervalTimer& tmrTokei, IntervalTimer& tmrWrite, QObject* parent)
    : QObject(parent),
      state_(state),
      table_(table),
      link_(link),
      panel_(panel),
      messages_(messages),
      tmrTokei_(tmrTokei),
      tmrWrite_(tmrWrite) {
    // The reply interpreter decides from this flag alone that a reply is a table value, so it
    // must follow the timer exactly, also when the window (and with it the timer) goes away.
    state_.TableReading = tmrTokei_.running();
    connect(&tmrTokei_, &IntervalTimer::intervalChanged, this,
            [this](int ms) { state_.TableReading = ms != 0; });
    connect(&tmrTokei_, &QObject::destroyed, this, [this] { state_.TableReading = false; });
    connect(&tmrTokei_, &IntervalTimer::timeout, this, &TableRead::Tick);
}

TableRead::~TableRead() {
    state_.TableReading = false;
}

QByteArray TableRead::Query(int step, int ch, bool usbModel, int speedUnit) {
    const QByteArray n = QByteArray::number(ch, 16).toUpper();
    const bool code = speedUnit == TableView::Code;
    switch (step) {
        case 0:
            return usbModel ? "PS?" + n : "S2" + n + "0";
        case 3:
            return usbModel ? "FL?" + n : "S4" + n + "FL";
        case 6:
            return usbModel ? "BL?" + n : "S4" + n + "BL";
        case 9:
        case 10:
        case 11: {
            const int k = step - 9;
            if (code) {
                return "S4" + n + QByteArray::number(k);
            }
            const QByteArray which = QByteArray(1, "HML"[k]);
            return (usbModel ? "SPD" : "SP") + which + "?" + n;
        }
        case 12:
            return "S4" + n + "3";
        case 13:
            return "B" + n + "?";
        case 14:
            return "S4" + n + "5";
        case 15:
            return "LSEN?";
        case 16:
            return "LSIV?";
        default:
            return {};
    }
}

void TableRead::Start() {
    // Both sequences drive the same counters; a read over a running write would scramble it.
    if (tmrWrite_.running()) {
        messages_.showMessage(QStringLiteral("The table is being written. Press \"R/W Stop\" first."),
                              kCautionTitle, MessageSink::Icon::Information);
        return;
    }
    ClearTable(table_, tmrTokei_, tmrWrite_);
    table_.setStatus(kReading);
    if (link_.usbPortOpen()) {
        link_.ReadUsbInput();  // stale input, e.g. answers to an earlier write
    }
    tmrTokei_.setInterval(kTickMs);
    state_.AwaitingReply = 0;
    state_.TableStep = 0;
    state_.TableChannel = 0;
    silentTicks_ = 0;
}

void TableRead::stop(const QString& status) {
    tmrTokei_.setInterval(0);
    table_.setStatus(status);
}

void TableRead::Tick() {
    if (sending_ || !tmrTokei_.running()) {
        return;
    }
    // On the network link replies arrive through the socket's own handler instead.
    if (!panel_.lanSelected()) {
        link_.PollUsbInput();
    }
    if (state_.TableStep >= 17) {
        stop(QString());
        return;
    }
    if (state_.AwaitingReply != 0) {
        if (++silentTicks_ >= kNoReplyTicks) {
            // Everything is settled before the box opens: its event loop keeps ticking.
            stop(QStringLiteral("--- Read stopped: no reply ---"));
            messages_.showMessage(QStringLiteral("No reply from the controller. The table read was stopped."),
                                  kCautionTitle, MessageSink::Icon::Information);
        }
        return;
    }

    const QByteArray query =
        Query(state_.TableStep, state_.TableChannel, state_.UsbModel, table_.speedUnit());
    sending_ = true;
    const bool sent = link_.SendCommand(query + "\r\n", Origin::Table);
    sending_ = false;
    if (!sent) {
        // The link has told the operator already ("Not connected !").
        stop(QStringLiteral("--- Read stopped: not connected ---"));
        return;
    }
    if (state_.TableChannel % 2 != 0) {
        table_.setStatus(table_.status().isEmpty() ? kReading : QString());
    }
    state_.AwaitingReply = 1;
    silentTicks_ = 0;
}
