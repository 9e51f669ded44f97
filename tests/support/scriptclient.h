#pragma once

#include "automationserver.h"
#include "simpanel.h"

#include <QFile>
#include <QTcpSocket>
#include <QtTest>
#include <memory>

// A script's side of the automation port: lines out, one line back for each query.
class Script {
public:
    explicit Script(quint16 port) { socket.connectToHost(QHostAddress::LocalHost, port); }
    bool ready() {
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; }, 3000);
    }
    void send(const QByteArray& line) { socket.write(line + "\r\n"); }
    QByteArray read(int ms = 5000) {
        return QTest::qWaitFor([this] { return socket.canReadLine(); }, ms) ? socket.readLine().chopped(1)
                                                                            : QByteArray("<no answer>");
    }
    QByteArray ask(const QByteArray& line, int ms = 5000) {
        send(line);
        return read(ms);
    }
    QTcpSocket socket;
};

inline QByteArray scriptToken(SimPanel& p) {
    QFile f(p.dir.filePath(QStringLiteral("token")));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
}

// Starts the port on a free loopback port, unless it runs already.
inline bool startAutomation(SimPanel& p) {
    QString error;
    return p.app->automation() != nullptr ||
           p.app->startAutomation(0, p.dir.filePath(QStringLiteral("token")), &error);
}

inline std::unique_ptr<Script> authenticated(SimPanel& p) {
    auto s = std::make_unique<Script>(p.app->automation()->port());
    if (s->ready()) {
        s->send("SYST:AUTH \"" + scriptToken(p) + "\"");
    }
    return s;
}

// The commands the controller received from `from` on, polling queries left out.
inline QByteArrayList commandsSince(const SimPanel& p, qsizetype from) {
    return p.commandsSince(from);
}
