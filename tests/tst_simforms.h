#pragma once

// The panel's side of the wire, written down independently of both the panel and the simulator:
// the character ranges the panel takes from each reply. Tests talk to the simulator through these,
// as the panel would.

#include "simclock.h"
#include "simcontroller.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace PanelForms {

// Removes every CR LF pair; the panel counts lengths and positions on what is left.
inline QByteArray cleaned(QByteArray reply) {
    return reply.replace("\r\n", "");
}

// Characters start..start+count-1, counted from 1; a range past the end yields what exists.
inline QByteArray chars(const QByteArray& text, int start, int count = -1) {
    return start > text.size() ? QByteArray() : text.mid(start - 1, count);
}

// Hex read digit by digit up to the first other character; no digit reads 0.
inline unsigned readHex(const QByteArray& text) {
    unsigned v = 0;
    for (char c : text) {
        const int d = QByteArray("0123456789ABCDEF").indexOf(char(QChar::toUpper(uint(c))));
        if (d < 0 || c == 0) {
            break;
        }
        v = v * 16 + unsigned(d);
    }
    return v;
}

}  // namespace PanelForms

// One simulated controller on a stepped clock, asked as the panel asks: a command with CR LF in,
// whatever it answered out.
struct Rig {
    explicit Rig(SimModel model = SimModel::Kelda) : controller(model, clock) {}
    SteppedClock clock;
    SimController controller;

    void send(const QByteArray& command) { controller.receive(command + "\r\n"); }
    QByteArray ask(const QByteArray& command) {
        send(command);
        return controller.takeOutput();
    }
    QByteArray line(const QByteArray& command) { return PanelForms::cleaned(ask(command)); }
    bool usb() const { return controller.model().usbDialect; }
    SimFaults& faults() { return controller.faults(); }
    quint16 status(int ch) {
        using namespace PanelForms;
        return quint16(readHex(chars(line("STS" + QByteArray::number(ch) + "?"), 4, 3)));
    }
    qint64 position(int ch) {
        using namespace PanelForms;
        const QByteArray n = QByteArray::number(ch);
        return usb() ? line("PS?" + n).toLongLong() : chars(line("S2" + n + "0"), 3).toLongLong();
    }
    void settle() { clock.advanceMs(100'000); }
};
