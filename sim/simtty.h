#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>
#include <memory>

class SimController;

// A character device as the controller's USB link: raw bytes in and out through a file
// descriptor watched by the event loop. SimPty and SimSerialDevice differ only in how the
// descriptor is opened and in what a hang-up means for them.
class SimTtyLink : public QObject {
    Q_OBJECT
public:
    ~SimTtyLink() override;

    QString devicePath() const { return m_devicePath; }
    bool isOpen() const { return m_fd >= 0; }
    QString errorString() const { return m_error; }
    virtual void close();

signals:
    void received(const QByteArray& bytes);
    void sent(const QByteArray& bytes);
    void hungUp();
    // The link now answers on another device (a pseudo-terminal is new after a hang-up).
    void deviceChanged(const QString& path);
    void deviceLost(const QString& reason);

protected:
    SimTtyLink(SimController& controller, QObject* parent);
    void attach(int fd, const QString& path);
    void detach();
    // After a hang-up has closed the descriptor: make the link reachable again.
    virtual void reopenAfterHangUp() = 0;
    // Called when output cannot be written because nobody reads it.
    virtual void discardUnread() {}
    bool fail(const QString& what);

    SimController& m_controller;
    QString m_error;

private:
    void readDevice();
    void writeDue();
    void writePending();
    void hangUp();

    int m_fd = -1;
    QString m_devicePath;
    QByteArray m_pending;
    bool m_hangingUp = false;
    std::unique_ptr<QSocketNotifier> m_readNotifier;
    std::unique_ptr<QSocketNotifier> m_writeNotifier;
};

// A pseudo-terminal in raw mode. The program on the other side opens devicePath() (or the
// symlink) as its serial port. The simulator keeps its own descriptor of the terminal side open,
// so the peer may close and reopen the port at will without the link seeing a hang-up.
class SimPty : public SimTtyLink {
    Q_OBJECT
public:
    explicit SimPty(SimController& controller, QObject* parent = nullptr);
    ~SimPty() override;

    // `linkPath`, when given, becomes a symlink to the device; an existing symlink there is
    // replaced, any other file is left alone and the open fails.
    bool open(const QString& linkPath = {});
    QString linkPath() const { return m_linkPath; }
    void close() override;

protected:
    void reopenAfterHangUp() override;
    void discardUnread() override;

private:
    bool openPty();
    bool placeLink();
    void removeLink();

    int m_terminalFd = -1;
    QString m_linkPath;
};

// A real serial device (for a USB-serial adapter looped to the panel's machine), in raw mode
// with 8 data bits, no parity, one stop bit.
class SimSerialDevice : public SimTtyLink {
    Q_OBJECT
public:
    explicit SimSerialDevice(SimController& controller, QObject* parent = nullptr);

    bool open(const QString& device, int baud = 9600);

protected:
    // A serial line cannot be unplugged from here: closing drops DTR, and the device is opened
    // again a moment later.
    void reopenAfterHangUp() override;

private:
    QString m_device;
    int m_baud = 9600;
};
