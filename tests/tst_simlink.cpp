// The simulator's own terminal ends: the demo's symlink to its pseudo-terminal, and a real serial
// device. Its links as the panel uses them are proven by the panel's end-to-end tests.

#include "simclock.h"
#include "simcontroller.h"
#include "simtty.h"

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>
#include <QTemporaryDir>
#include <QtTest>

class TstSimLink : public QObject {
    Q_OBJECT
private slots:
    void ptySymlink();
    void serialDevice();
};

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
        3000);
    QVERIFY(complete);
    QCOMPARE(got, QByteArray("S48=020\r\n"));
    serial.close();
    ::close(far);
    ::close(near);
}

QTEST_GUILESS_MAIN(TstSimLink)
#include "tst_simlink.moc"
