// The simulator over real links: a loopback TCP socket and a pseudo-terminal opened with
// QSerialPort, as the panel opens them.

#include "simtcpserver.h"
#include "simtty.h"
#include "tst_simforms.h"

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace PanelForms;

namespace {
constexpr int kWaitMs = 3000;

// The panel's end of a link: collects what arrives and asks one command at a time.
class Peer {
public:
    explicit Peer(QIODevice& io, SimController* controller = nullptr) : m_io(io), m_controller(controller) {
        QObject::connect(&io, &QIODevice::readyRead, &io, [this] {
            const QByteArray piece = m_io.readAll();
            m_buffer += piece;
        });
    }
    // The reply, once its last character is LF, as the command channel completes it.
    QByteArray ask(const QByteArray& command) {
        m_buffer.clear();
        m_io.write(command + "\r\n");
        if (!QTest::qWaitFor([this] { return m_buffer.endsWith('\n'); }, kWaitMs)) {
            qWarning() << "no complete reply to" << command << "got" << m_buffer;
        }
        return m_buffer;
    }
    // A set or motion command, which answers nothing: done once the controller has it.
    bool tell(const QByteArray& command) {
        QSignalSpy arrived(m_controller, &SimController::commandReceived);
        m_buffer.clear();
        m_io.write(command + "\r\n");
        return arrived.wait(kWaitMs) && arrived.first().first().toByteArray() == command;
    }
    QByteArray buffer() const { return m_buffer; }

private:
    QIODevice& m_io;
    SimController* m_controller;
    QByteArray m_buffer;
};

std::unique_ptr<QSerialPort> openPort(const QString& path) {
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(path);
    port->setBaudRate(9600);
    if (!port->open(QIODevice::ReadWrite)) {
        qWarning() << "cannot open" << path << port->errorString();
        return nullptr;
    }
    return port;
}

std::unique_ptr<QTcpSocket> connectTo(quint16 port) {
    auto socket = std::make_unique<QTcpSocket>();
    socket->connectToHost(QHostAddress::LocalHost, port);
    return socket->waitForConnected(kWaitMs) ? std::move(socket) : nullptr;
}
}  // namespace

class TstSimLink : public QObject {
    Q_OBJECT
private slots:
    void secondTcpClientIsRefused();
    void hangUpClosesPty();
    void ptyPeerClosesAndReopens();
    void ptySymlink();
    void serialDevice();
};

void TstSimLink::secondTcpClientIsRefused() {
    SteppedClock clock;
    SimController controller(SimModel::Kelda, clock);
    SimTcpServer server(controller);
    const quint16 port = server.listen(0);
    auto first = connectTo(port);
    QVERIFY(first);
    Peer one(*first);
    QVERIFY(one.ask("VER?").contains("KELDA"));

    QSignalSpy refused(&server, &SimTcpServer::clientRefused);
    auto second = connectTo(port);
    QVERIFY(second);
    QSignalSpy closed(second.get(), &QTcpSocket::disconnected);
    QVERIFY(closed.wait(kWaitMs));
    QCOMPARE(second->readAll(), QByteArray("BUSY\r\n"));
    QCOMPARE(refused.count(), 1);
    QVERIFY(one.ask("VER?").contains("KELDA"));

    // Once the first client leaves, the next one is served.
    QSignalSpy left(&server, &SimTcpServer::clientDisconnected);
    first->disconnectFromHost();
    QVERIFY(left.wait(kWaitMs));
    auto third = connectTo(port);
    QVERIFY(third);
    Peer three(*third);
    QVERIFY(three.ask("VER?").contains("KELDA"));
}

void TstSimLink::hangUpClosesPty() {
    SteppedClock clock;
    SimController controller(SimModel::Runel, clock);
    controller.faults().setHangUpAfter(1);
    QTemporaryDir dir;
    SimPty terminal(controller);
    QVERIFY(terminal.open(dir.filePath("ttyRUNEL")));
    const QString before = terminal.devicePath();
    auto port = openPort(dir.filePath("ttyRUNEL"));
    QVERIFY(port);
    QSignalSpy changed(&terminal, &SimTtyLink::deviceChanged);
    QSignalSpy failed(port.get(), &QSerialPort::errorOccurred);
    Peer peer(*port);
    QVERIFY(peer.ask("VER?").contains("RUNEL"));
    QVERIFY(changed.wait(kWaitMs));
    // The old line is dead for the peer; the symlink leads to the fresh terminal.
    QTRY_VERIFY_WITH_TIMEOUT(!failed.isEmpty() || !port->isOpen(), kWaitMs);
    QVERIFY(terminal.devicePath() != before);
    QCOMPARE(QFileInfo(dir.filePath("ttyRUNEL")).symLinkTarget(), terminal.devicePath());
    // The peer lets go of the dead line (and its lock) before it connects again.
    port->close();
    auto fresh = openPort(dir.filePath("ttyRUNEL"));
    QVERIFY(fresh);
    Peer again(*fresh);
    QVERIFY(again.ask("VER?").contains("RUNEL"));
}

void TstSimLink::ptyPeerClosesAndReopens() {
    SteppedClock clock;
    SimController controller(SimModel::Vasko, clock);
    SimPty terminal(controller);
    QVERIFY(terminal.open());
    QSignalSpy lost(&terminal, &SimTtyLink::deviceLost);
    for (int round = 0; round < 3; ++round) {
        auto port = openPort(terminal.devicePath());
        QVERIFY(port);
        Peer peer(*port, &controller);
        QVERIFY(peer.ask("VER?").contains("VASKO"));
        QVERIFY(peer.tell("REL" + QByteArray::number(round) + "1000"));
        port->close();
        QTest::qWait(20);
    }
    QVERIFY(lost.isEmpty());
    QVERIFY(terminal.isOpen());
}

void TstSimLink::ptySymlink() {
    SteppedClock clock;
    SimController controller(SimModel::Vasko, clock);
    QTemporaryDir dir;
    const QString link = dir.filePath("ttyVASKO");
    {
        SimPty terminal(controller);
        QVERIFY(terminal.open(link));
        QCOMPARE(QFileInfo(link).symLinkTarget(), terminal.devicePath());
        // A stale symlink of an earlier run is replaced.
        SimPty other(controller);
        QVERIFY(other.open(link));
        QCOMPARE(QFileInfo(link).symLinkTarget(), other.devicePath());
    }
    QVERIFY(!QFileInfo(link).isSymLink());
    // A file that is not a symlink is never clobbered.
    QFile plain(link);
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.write("keep me");
    plain.close();
    SimPty refused(controller);
    QVERIFY(!refused.open(link));
    QVERIFY(refused.errorString().contains("not a symlink"));
    QVERIFY(plain.open(QIODevice::ReadOnly));
    QCOMPARE(plain.readAll(), QByteArray("keep me"));
}

void TstSimLink::serialDevice() {
    // A pseudo-terminal's far end stands in for the adapter; the test holds the near end.
    int near = -1;
    int far = -1;
    QCOMPARE(::openpty(&near, &far, nullptr, nullptr, nullptr), 0);
    const QString farPath = QString::fromLocal8Bit(::ttyname(far));
    ::fcntl(near, F_SETFL, ::fcntl(near, F_GETFL) | O_NONBLOCK);
    SteppedClock clock;
    SimController controller(SimModel::Runel, clock);
    SimSerialDevice serial(controller);
    QVERIFY2(serial.open(farPath, 9600), qPrintable(serial.errorString()));
    QCOMPARE(::write(near, "S48\r\n", 5), 5);
    QByteArray got;
    const bool complete = QTest::qWaitFor(
        [&] {
            char buffer[64];
            const ssize_t n = ::read(near, buffer, sizeof buffer);
            if (n > 0) {
                got.append(buffer, n);
            }
            return got.endsWith('\n');
        },
        kWaitMs);
    QVERIFY(complete);
    QCOMPARE(got, QByteArray("S48=020\r\n"));
    serial.close();
    ::close(far);
    ::close(near);
}

QTEST_GUILESS_MAIN(TstSimLink)
#include "tst_simlink.moc"
