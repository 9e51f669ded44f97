#pragma once

#include "automationserver.h"
#include "faultdrive.h"
#include "simpanel.h"

#include <QFile>
#include <QLineEdit>
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

// A pooled panel connected afresh, its port started, every channel idle at 0 and seen to stand, on
// a controller with its switches where they are out of the box; no client connected, nothing
// selected.
inline SimPanel* scriptReady(FaultDrive::PanelPool& pool, SimModel model) {
    SimPanel* p = pool.ready(model);
    if (p == nullptr || !startAutomation(*p)) {
        return nullptr;
    }
    AutomationServer& server = *p->app->automation();
    if (!QTest::qWaitFor([&] { return server.clientCount() == 0; }, 3000)) {
        return nullptr;
    }
    server.enableScripts();
    SimMachine& m = p->sim.machine();
    m.setMotionRefused(false);
    m.setSpeed(SimMachine::Speed::Middle);
    for (int ch = 0; ch < m.channelCount(); ++ch) {
        m.channel(ch).sensors = {};
        m.channel(ch).placeAt(0, p->clock.nowUs());
        m.channel(ch).preset(0, p->clock.nowUs());
        if (p->app->state.ChannelSelected[ch] != 0) {
            p->click(QStringLiteral("Ch_%1").arg(ch));
        }
        p->find<QLineEdit>(QStringLiteral("Text1_%1").arg(ch))->setText(QStringLiteral("0001000"));
    }
    const AxisBook& axes = p->app->state.Axes;
    const quint64 polls = axes.report(1).polls;
    // Put back by hand, the channels were seen to move: they stand again before a test begins.
    const auto standing = [&] {
        for (int ch = 0; ch < m.channelCount(); ++ch) {
            if (axes.underWay(ch)) {
                return false;
            }
        }
        return true;
    };
    if (!QTest::qWaitFor(
            [&] { return axes.report(1).polls > polls + 1 && axes.report(0).position == 0 && standing(); },
            5000)) {
        return nullptr;
    }
    p->received.clear();
    return p;
}
