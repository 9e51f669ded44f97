#pragma once

#include <QEventLoop>
#include <QProcess>
#include <QTimer>
#include <functional>

// Runs a Python client (tests/e2e/) to its end, or for at most `ms`, while the panel serves from a
// real event loop (as in the program, not the test's waits), handing each line it prints to
// `onLine`. Its output so far; a client still running is left to the caller.
inline QByteArray runPythonClient(QProcess& client, const QStringList& args,
                                  const std::function<void(const QByteArray&)>& onLine, int ms) {
    client.setProcessChannelMode(QProcess::MergedChannels);
    QByteArray said;
    QEventLoop loop;
    QObject::connect(&client, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&client, &QProcess::readyReadStandardOutput, &loop, [&] {
        while (client.canReadLine()) {
            const QByteArray line = client.readLine();
            said += line;
            if (onLine) {
                onLine(line);
            }
        }
    });
    client.start(QStringLiteral("/usr/bin/python3"), args);
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
    return said + client.readAll();
}
