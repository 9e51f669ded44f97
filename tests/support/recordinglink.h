#pragma once

#include "axisbook.h"
#include "commandlink.h"

#include <QByteArrayList>
#include <functional>

// A command link that records what would go over the wire. It can be told to fail sends, to
// stand in for a link that is gone, and to offer USB input to the receive step.
class RecordingLink : public CommandLink {
public:
    bool SendCommand(const QByteArray& text, Origin origin) override;
    QByteArray ReadUsbInput() override;
    void PollUsbInput() override;
    bool usbPortOpen() const override { return true; }
    void EndSession(const QString& why) override {
        ++sessionsEnded;
        if (axes != nullptr) {
            axes->sessionEnded(why);
        }
        if (onEndSession) {
            onEndSession();
        }
    }

    // Sent texts with their CR LF removed, for readable comparisons.
    QByteArrayList lines() const;

    QByteArrayList sent;
    QList<Origin> origins;
    AxisBook* axes = nullptr;  // told of every line, as the real channel tells it
    bool failSends = false;
    QByteArray usbInput;
    std::function<void()> onSendFailure;
    std::function<void()> onEndSession;
    int sessionsEnded = 0;
    std::function<void(const QByteArray&)> onUsbReply;  // what PollUsbInput hands over
    QByteArray usbBuffer;
};
