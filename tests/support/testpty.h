#pragma once

#include <QByteArray>
#include <QString>

// A pseudo-terminal pair for tests: the panel opens the slave side by its path with QSerialPort,
// the test plays the controller on the master side.
class TestPty {
public:
    TestPty();
    ~TestPty();
    TestPty(const TestPty&) = delete;
    TestPty& operator=(const TestPty&) = delete;

    bool ok() const { return master_ >= 0; }
    QString slavePath() const { return path_; }
    void write(const QByteArray& bytes);
    // Reads what the panel wrote, waiting up to `ms` for at least `atLeast` bytes.
    QByteArray read(int atLeast, int ms = 1000);
    void closeMaster();

private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
};
