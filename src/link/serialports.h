#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <optional>

// One serial port present on the machine, as the port list shows it.
struct SerialPortDescription {
    // What goes into the COM box: the device path, or the port name (COMn) on Windows.
    QString location;
    QString description;
    QString manufacturer;
    QString serialNumber;
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;
};

// The ports present now. Tests hand the connection dialog one of their own.
using SerialPortLister = std::function<QList<SerialPortDescription>()>;

QList<SerialPortDescription> availableSerialPorts();

// "vvvv:pppp" in four-digit hex, as lsusb prints it; empty for a port that is not a USB device.
QString usbId(const SerialPortDescription& port);
