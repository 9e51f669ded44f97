#pragma once

#include "origin.h"

#include <QByteArray>
#include <QString>

// The command channel as its users see it: send a command text (terminator included) on the
// link chosen in the main window, and the USB receive step. Implemented by the link's command
// channel; tests may record instead.
class CommandLink {
public:
    virtual ~CommandLink() = default;

    // Writes the text unchanged to the active link; `origin` says whose line it is. A failure ends
    // the session and tells the operator; it returns false then, which callers may use to stop a
    // sequence early.
    virtual bool SendCommand(const QByteArray& text, Origin origin) = 0;

    // All characters waiting in the serial port's input (none when it is closed).
    virtual QByteArray ReadUsbInput() = 0;

    // The USB receive step: when the serial port is open, gathers its input into the USB
    // receive buffer and hands a reply that ends with LF to the reply interpreter.
    virtual void PollUsbInput() = 0;

    virtual bool usbPortOpen() const = 0;

    // Ends the session without closing the link (a failed send, or a controller that stopped
    // answering): Connected false, polling stopped, the Connect button back to "Connect". `why`
    // ends every move still under way.
    virtual void EndSession(const QString& why) = 0;
};
