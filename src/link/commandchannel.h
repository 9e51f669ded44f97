#pragma once

#include "commandlink.h"

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QTcpSocket>

class IntervalTimer;
class MessageSink;
class PanelView;
class ReplySink;
struct PanelState;

// The only road to the controller. Owns the TCP client (`tcpclient`) and the serial port
// (`MSComm1`), sends command texts on the link chosen in the main window, gathers incoming bytes
// into the two receive buffers and hands a buffer to the reply interpreter when its last
// character is LF.
class CommandChannel : public QObject, public CommandLink {
    Q_OBJECT
public:
    // A receive line longer than this is discarded up to its LF; the lines around it are kept.
    static constexpr qsizetype kBufferCap = 64 * 1024;

    CommandChannel(PanelState& state, PanelView& view, MessageSink& messages, IntervalTimer& timer2,
                   QObject* parent = nullptr);

    void setReplySink(ReplySink* sink) { sink_ = sink; }

    // CommandLink
    bool SendCommand(const QByteArray& text, Origin origin) override;
    QByteArray ReadUsbInput() override;
    void PollUsbInput() override;
    bool usbPortOpen() const override;

    // Ends the session without closing the link: state first, so that ticks and socket events
    // during the message box that follows find the session already closed.
    void EndSession(const QString& why) override;

    // Link set-up for the connection session. Opening the TCP link only starts connecting.
    void openTcp(const QString& host, quint16 port);
    // Closes after what was written has gone out; `waitMs` > 0 waits that long for it (at exit).
    void closeTcp(int waitMs = 0);
    bool openSerial(const QString& portName);
    void closeSerial();
    QString serialError() const { return MSComm1.errorString(); }

    QTcpSocket& tcpSocket() { return tcpclient; }
    QSerialPort& serialPort() { return MSComm1; }

signals:
    // Observers (traffic monitor, status bar); emitted after the bytes went out or came in.
    void commandSent(const QByteArray& text, bool lan, Origin origin);
    void bytesReceived(const QByteArray& data, bool lan);
    void replyDelivered(const QByteArray& reply, bool lan);
    // The session ended by the link (a failed send, the controller silent, the port gone), never
    // by the operator; `why` as the axis book was told.
    void sessionEnded(const QString& why);
    // The serial port vanished and was closed (after the session ended, before the operator is
    // told): sequences that use the link stop here instead of failing again behind the box.
    void serialPortLost();

private:
    void onTcpData();
    void onSerialError(QSerialPort::SerialPortError error);
    // Appends to a buffer under the cap and hands over what is complete.
    void gather(QByteArray& buffer, bool& discarding, const QByteArray& data, bool lan);

    PanelState& state_;
    PanelView& view_;
    MessageSink& messages_;
    IntervalTimer& timer2_;
    ReplySink* sink_ = nullptr;

    QTcpSocket tcpclient;
    QSerialPort MSComm1;
    bool netDiscarding_ = false;
    bool usbDiscarding_ = false;
};
