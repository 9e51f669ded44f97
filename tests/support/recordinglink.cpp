#include "recordinglink.h"

bool RecordingLink::SendCommand(const QByteArray& text, Origin origin) {
    if (failSends) {
        if (onSendFailure) {
            onSendFailure();
        }
        return false;
    }
    sent.append(text);
    origins.append(origin);
    if (axes != nullptr) {
        axes->lineSent(isQuery(origin, false));
    }
    return true;
}

QByteArray RecordingLink::ReadUsbInput() {
    QByteArray out;
    out.swap(usbInput);
    return out;
}

void RecordingLink::PollUsbInput() {
    usbBuffer += ReadUsbInput();
    if (usbBuffer.endsWith('\n')) {
        const QByteArray reply = usbBuffer;
        if (onUsbReply) {
            onUsbReply(reply);
        }
        usbBuffer.clear();
    }
}

QByteArrayList RecordingLink::lines() const {
    QByteArrayList out;
    for (QByteArray s : sent) {
        if (s.endsWith("\r\n")) {
            s.chop(2);
        }
        out.append(s);
    }
    return out;
}
