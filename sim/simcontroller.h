#pragma once

#include "simclock.h"
#include "simcommands.h"
#include "simfaults.h"
#include "simmachine.h"
#include "simmodel.h"

#include <QObject>
#include <QTimer>

// One simulated controller: the machine, its command set, its clock and the faults of its line.
// A link feeds it the bytes it receives and writes out what takeDue returns whenever outputReady
// is emitted. Tests may instead call receive and takeOutput directly and step a SteppedClock.
class SimController : public QObject {
    Q_OBJECT
public:
    SimController(SimModel model, SimClock& clock, QObject* parent = nullptr);

    const SimModelInfo& model() const { return m_machine.model(); }
    SimClock& clock() const { return m_clock; }
    SimMachine& machine() { return m_machine; }
    SimChannel& channel(int index) { return m_machine.channel(index); }
    SimFaults& faults() { return m_faults; }

    // Set and motion commands answer "OK" (accepted) or "NG" (refused) instead of nothing.
    void setAck(bool on) { m_ack = on; }
    bool ack() const { return m_ack; }

    // Bytes from the line. Commands end with CR LF, a bare LF or a bare CR; empty lines are
    // ignored.
    void receive(const QByteArray& bytes);
    QList<SimChunk> takeDue();
    // Everything due now, joined: convenient where the pieces do not matter.
    QByteArray takeOutput();
    // A new peer: forget half-received input and unsent output, and count faults afresh. The
    // machine itself keeps its state, as hardware does when a cable is replugged.
    void resetLink();

    static constexpr int kMaxLine = 256;

signals:
    // Output has fallen due: call takeDue.
    void outputReady();
    // A command line as received, before it is executed.
    void commandReceived(const QByteArray& line);

private:
    struct Pending {
        qint64 dueUs;
        QByteArray line;
        bool overlong;
    };
    void service();
    void execute(const Pending& command);
    void arm();

    SimClock& m_clock;
    SimMachine m_machine;
    SimCommands m_commands;
    SimFaults m_faults;
    QTimer m_timer;
    QByteArray m_partial;
    bool m_overlong = false;
    QList<Pending> m_input;
    bool m_ack = false;
};
