// motor-panel-tango, a real Tango device server process in front of the panel's automation port,
// used by a real Tango client nobody here wrote (Debian's PyTango, tests/e2e/tango_client.py).
// The panel runs here against a simulated KELDA-01; where the client needs the panel changed (its
// session ended, the panel killed and started again, a token file), this test does it.
#include "scriptclient.h"

#include <QProcess>
#include <QTcpServer>
#include <QtTest>

class TstTango : public QObject {
    Q_OBJECT
private slots:
    void pytangoClient();

private:
    // What the client needs changed in the panel.
    static void act(SimPanel& p, const QByteArray& what, quint16 automationPort, const QString& token,
                    const QString& badToken);
    // A Tango server serving lab/motor-panel/a and b on a free loopback port; "Ready" once up.
    std::unique_ptr<QProcess> server(quint16 automationPort, const QString& tokenFile, quint16* orbPort);
};

namespace {
quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
}  // namespace

std::unique_ptr<QProcess> TstTango::server(quint16 automationPort, const QString& tokenFile,
                                           quint16* orbPort) {
    *orbPort = freePort();
    auto process = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("MOTOR_PANEL_AUTOMATION_PORT"), QString::number(automationPort));
    env.insert(QStringLiteral("MOTOR_PANEL_TOKEN_FILE"), tokenFile);
    process->setProcessEnvironment(env);
    process->setProcessChannelMode(QProcess::MergedChannels);
    process->start(QStringLiteral(MOTOR_PANEL_TANGO),
                   {QStringLiteral("test"), QStringLiteral("-nodb"), QStringLiteral("-dlist"),
                    QStringLiteral("lab/motor-panel/a,lab/motor-panel/b"), QStringLiteral("-ORBendPoint"),
                    QStringLiteral("giop:tcp:127.0.0.1:%1").arg(*orbPort)});
    if (!QTest::qWaitFor([&] { return process->readAll().contains("Ready to accept request"); }, 10000)) {
        return nullptr;
    }
    return process;
}

void TstTango::act(SimPanel& p, const QByteArray& what, quint16 automationPort, const QString& token,
                   const QString& badToken) {
    QString error;
    if (what == "disconnect") {
        p.click(QStringLiteral("Connect"));
    } else if (what == "connect") {
        p.tcp->close();
        QVERIFY(p.connect());
    } else if (what == "kill") {
        p.app.reset();
    } else if (what == "start") {
        p.app = std::make_unique<Application>(QDir(p.dir.path()), &p.messages);
        p.app->window.show();
        QVERIFY2(p.app->startAutomation(automationPort, token, &error), qPrintable(error));
        p.tcp->close();
        QVERIFY(p.connect());
    } else if (what == "wrong token") {
        QDir(p.dir.path()).mkpath(QStringLiteral("missing"));
        QFile file(badToken);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(32, '0') + '\n');
    }
}

void TstTango::pytangoClient() {
    SimPanel p(SimModel::Kelda);
    p.sim.channel(0).sensors.cwLimit = 5000;
    QVERIFY(startAutomation(p));
    const quint16 automationPort = p.app->automation()->port();
    const QString token = p.dir.filePath(QStringLiteral("token"));
    QVERIFY(p.connect());
    quint16 orbPort = 0;
    quint16 badPort = 0;
    const QString badToken = p.dir.filePath(QStringLiteral("missing/token"));
    auto tango = server(automationPort, token, &orbPort);
    auto bad = server(automationPort, badToken, &badPort);
    QVERIFY(tango && bad);

    QProcess client;
    client.setProcessChannelMode(QProcess::MergedChannels);
    QByteArray said;
    // Served from a real event loop: the panel answers the server as it would in the program.
    QEventLoop loop;
    QObject::connect(&client, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&client, &QProcess::readyReadStandardOutput, &loop, [&] {
        while (client.canReadLine()) {
            const QByteArray line = client.readLine();
            said += line;
            if (line.startsWith("NEED ")) {
                act(p, line.mid(5).trimmed(), automationPort, token, badToken);
                client.write("ok\n");
            }
        }
    });
    client.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(TANGO_CLIENT), QString::number(orbPort), QString::number(badPort)});
    QTimer::singleShot(180000, &loop, &QEventLoop::quit);
    loop.exec();
    said += client.readAll();
    QVERIFY2(client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0, said.constData());

    // The servers end on a stop as Tango servers do, cleanly (also under the sanitizers).
    for (QProcess* s : {tango.get(), bad.get()}) {
        s->terminate();
        QVERIFY(s->waitForFinished(10000));
        const QByteArray output = s->readAll();
        QVERIFY2(s->exitStatus() == QProcess::NormalExit && s->exitCode() == 0, output.constData());
    }
}

QTEST_MAIN(TstTango)
#include "tst_tango.moc"
