#include "serialports.h"

#include <QSerialPortInfo>

QList<SerialPortDescription> availableSerialPorts() {
    QList<SerialPortDescription> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialPortDescription port;
#ifdef Q_OS_WIN
        port.location = info.portName();
#else
        port.location = info.systemLocation();
#endif
        port.description = info.description();
        port.manufacturer = info.manufacturer();
        port.serialNumber = info.serialNumber();
        if (info.hasVendorIdentifier()) {
            port.vendorId = info.vendorIdentifier();
        }
        if (info.hasProductIdentifier()) {
            port.productId = info.productIdentifier();
        }
        ports << port;
    }
    return ports;
}

QString usbId(const SerialPortDescription& port) {
    if (!port.vendorId || !port.productId) {
        return {};
    }
    return QStringLiteral("%1:%2")
        .arg(*port.vendorId, 4, 16, QChar(u'0'))
        .arg(*port.productId, 4, 16, QChar(u'0'));
}
