#pragma once

#include "commandlink.h"
#include "intervaltimer.h"
#include "messages.h"
#include "panelstate.h"
#include "tableview.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <optional>

// The value forms of the set commands. t is a field's text as typed.
namespace WriteForms {
// Signed, zero-padded to 7 (S7) or 4 (S4) digits, fractions rounded half away from zero.
QString S7(const QString& t);
QString S4(const QString& t);
// The text behind `zeros`, cut to its last n characters.
QString R(int n, const QString& zeros, const QString& t);
// Upper-case hexadecimal, zero-filled and cut to n digits.
QString H(int n, std::uint32_t value);
// What R(n, zeros) of t leaves out on the left: nothing when the value fits.
QString Lost(int n, const QString& zeros, const QString& t);
}  // namespace WriteForms

// The set command for a step and channel of the table write, without CR LF. Nothing for a text
// field that is not numeric (it is skipped) and for a step without a command.
std::optional<QByteArray> TableWriteCommand(const TableView& table, int step, int ch, bool usbModel,
                                            bool fourChModel);

// When the field of (step, ch) would lose a digit other than 0, or the minus sign of a negative
// value, in its command: a message naming the channel, the field and what is lost; otherwise
// empty. Checked for the whole table before the write starts; the tick sends what it finds.
QString TableWriteCutProblem(const TableView& table, int step, int ch, bool usbModel);

// "Data Write": checks the table, then sends one set command per tick of tmrWrite without
// waiting for replies. The tick's timeout is connected here; the window must not connect it.
class TableWrite : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 30;

    TableWrite(PanelState& state, TableView& table, CommandLink& link, MessageSink& messages,
               IntervalTimer& tmrTokei, IntervalTimer& tmrWrite, QObject* parent = nullptr);
    ~TableWrite() override;

    void Start();
    void Tick();

private:
    int lastChannel() const { return state_.FourChModel ? 3 : 1; }
    void stop(const QString& status);

    PanelState& state_;
    TableView& table_;
    CommandLink& link_;
    MessageSink& messages_;
    IntervalTimer& tmrTokei_;
    IntervalTimer& tmrWrite_;
    // Set while SendCommand runs: its failure box runs a nested event loop in which this timer
    // keeps ticking, and a tick there would send (and fail) again behind the first box.
    bool sending_ = false;
};
