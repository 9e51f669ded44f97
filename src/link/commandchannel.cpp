#include "commandchannel.h"

#include "colours.h"
#include "intervaltimer.h"
#include "messages.h"
#include "panelstate.h"
#include "panelview.h"
#include "receivebuffer.h"
#include "replysink.h"

CommandChannel::CommandChannel(PanelState& state, PanelView& view, MessageSink& messages,
                               IntervalTimer& timer2, QObject* parent)
    : QObject(parent), state_(state), view_(view), messages_(messages), timer2_(timer2) {
    tcpclient.setObjectName(QStringLiteral("tcpclient"));
    MSComm1.setObjectName(QStringLiteral("MSComm1"));
    connect(&tcpclient, &QTcpSocket::readyRead, this, &CommandChannel::onTcpData);
    connect(&MSComm1, &QSerialPort::errorOccurred, this, &CommandChannel::onSerialError);
}

bool CommandChannel::SendCommand(const QByteArray& text, Origin origin) {
    const bool lan = view_.lanSelected();
    bool ok = false;
    if (lan) {
        // Only an established connection counts: a socket still connecting, refused or closed
        // by the peer fails here, which is how a connection that never came up gets reported.
        ok = tcpclient.state() == QAbstractSocket::ConnectedState && tcpclient.write(text) == text.size();
        if (ok) {
            tcpclient.flush();  // out now, not when the event loop next runs
        }
    } else {
        ok = MSComm1.isOpen() && MSComm1.write(text) == text.size();
        if (ok) {
            MSComm1.flush();
            if (!MSComm1.isOpen()) {
                // The port vanished during the flush: its error handler has ended the session and
                // told the operator already. The caller still learns that nothing went out.
                return false;
            }
        }
    }
    if (!ok) {
        EndSession(QStringLiteral("not connected"));
        messages_.showMessage(QStringLiteral("Not connected !"), QString(), MessageSink::Icon::None);
        return false;
    }
    // Queries are answered by a reply; everything else by nothing, or by a refusal that the axis
    // book must not take for a reply.
    state_.Axes.lineSent(isQuery(origin, state_.TableReading));
    emit commandSent(text, lan, origin);
    return true;
}

void CommandChannel::EndSession(const QString& why) {
    state_.Connected = false;
    timer2_.setInterval(0);
    state_.Axes.sessionEnded(why);
    view_.setConnectColour(Bgr::ButtonFace);
    view_.setQuitColour(Bgr::ButtonFace);
    view_.setConnectCaption(QStringLiteral("Connect"));
    emit sessionEnded(why);
}

QByteArray CommandChannel::ReadUsbInput() {
    if (!MSComm1.isOpen()) {
        return {};
    }
    return MSComm1.readAll();
}

void CommandChannel::onSerialError(QSerialPort::SerialPortError error) {
    // A resource error is a port that is gone (USB cable pulled, the other side of a
    // pseudo-terminal closed): it never comes back, and left open it would keep reporting. The
    // session on it ends as on a failed send, state first, then the box. A read that fails is the
    // same port gone, seen while nothing was being written (Qt reports the dead line's EIO on a
    // read as a read error); transient conditions never reach here.
    const bool gone = error == QSerialPort::ResourceError || error == QSerialPort::ReadError;
    if (!gone || !MSComm1.isOpen()) {
        return;
    }
    MSComm1.close();
    const bool session = state_.Connected && !view_.lanSelected();
    if (session) {
        EndSession(QStringLiteral("the serial port is gone"));
    }
    emit serialPortLost();
    if (session) {
        messages_.showMessage(QStringLiteral("Not connected !"), QString(), MessageSink::Icon::None);
    }
}

bool CommandChannel::usbPortOpen() const {
    return MSComm1.isOpen();
}

void CommandChannel::PollUsbInput() {
    if (!MSComm1.isOpen()) {
        return;
    }
    gather(state_.UsbRxBuffer, usbDiscarding_, ReadUsbInput(), false);
}

void CommandChannel::onTcpData() {
    if (tcpclient.state() == QAbstractSocket::ClosingState) {
        tcpclient.readAll();  // a link being closed delivers nothing more
        return;
    }
    gather(state_.NetRxBuffer, netDiscarding_, tcpclient.readAll(), true);
}

void CommandChannel::gather(QByteArray& buffer, bool& discarding, const QByteArray& data, bool lan) {
    if (data.isEmpty()) {
        return;
    }
    emit bytesReceived(data, lan);
    for (const QByteArray& reply : gatherReceived(buffer, discarding, data, kBufferCap)) {
        if (sink_ != nullptr) {
            sink_->InterpretReply(reply);
        }
        emit replyDelivered(reply, lan);
    }
}

void CommandChannel::openTcp(const QString& host, quint16 port) {
    tcpclient.abort();
    tcpclient.connectToHost(host, port);
}

void CommandChannel::closeTcp(int waitMs) {
    if (tcpclient.state() != QAbstractSocket::ConnectedState) {
        tcpclient.abort();
        return;
    }
    // What was written still goes out: the socket closes once its write buffer is empty. Only a
    // program about to end waits for that, and briefly.
    tcpclient.disconnectFromHost();
    if (waitMs > 0 && tcpclient.state() != QAbstractSocket::UnconnectedState &&
        !tcpclient.waitForDisconnected(waitMs)) {
        tcpclient.abort();
    }
}

bool CommandChannel::openSerial(const QString& portName) {
    if (MSComm1.isOpen()) {
        MSComm1.close();
    }
    MSComm1.setPortName(portName);
    if (!MSComm1.open(QIODevice::ReadWrite)) {
        return false;
    }
    const bool set = MSComm1.setBaudRate(QSerialPort::Baud9600) && MSComm1.setParity(QSerialPort::NoParity) &&
                     MSComm1.setDataBits(QSerialPort::Data8) && MSComm1.setStopBits(QSerialPort::OneStop) &&
                     MSComm1.setFlowControl(QSerialPort::NoFlowControl);
    if (!set) {
        MSComm1.close();
        return false;
    }
    return true;
}

void CommandChannel::closeSerial() {
    if (MSComm1.isOpen()) {
        MSComm1.close();
    }
}
