// The integrations built on the automation port, used by clients nobody here wrote: the Python
// instrument under Debian's python3-pymeasure (tests/e2e/pymeasure_client.py), and
// motor-panel-tango, a real Tango device server process, under Debian's PyTango
// (tests/e2e/tango_client.py). The panel runs here against a simulated KELDA-01; where a client
// needs the panel changed (its session ended, the panel killed and started again, a token file),
// this test does it.
#include "pythonclient.h"
#include "scriptclient.h"

#include <QProcess>
#include <QTcpServer>
#include <QtTest>
#include <cstdio>

class TstIntegrations : public QObject {
    Q_OBJECT
private slots:
    void pymeasureInstrument();
#ifdef MOTOR_PANEL_TANGO
    void pytangoClient();
#endif

private:
    static QByteArray run(QProcess& client, const QStringList& args,
                          const std::function<void(const QByteArray&)>& onLine) {
        return runPythonClient(client, args, onLine, 180000);
    }
    // What the client needs changed in the panel.
    static void act(SimPanel& p, const QByteArray& what, quint16 automationPort, const QString& token,
                    const QString& badToken);
    // A Tango server serving lab/motor-panel/a and b on a free loopback port; "Ready" once up.
    std::unique_ptr<QProcess> server(quint16 automationPort, const QString& tokenFile, quint16* orbPort);
};

void TstIntegrations::pymeasureInstrument() {
    SimPanel p(SimModel::Kelda);
    p.sim.channel(1).sensors.cwLimit = 5000;
    p.app->instruments.units.unit[0] = {400, QStringLiteral("µm \"fine\"")};
    QVERIFY(startAutomation(p));
    const quint16 automationPort = p.app->automation()->port();
    const QString token = p.dir.filePath(QStringLiteral("token"));
    QVERIFY(p.connect());
    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PYTHONPATH"), QStringLiteral(PYTHON_PACKAGES));
    client.setProcessEnvironment(env);
    const QByteArray said =
        run(client, {QStringLiteral(PYMEASURE_CLIENT), QString::number(automationPort), token},
            [&](const QByteArray& line) {
                if (line.startsWith("NEED ")) {
                    act(p, line.mid(5).trimmed(), automationPort, token, QString());
                    client.write("ok\n");
                }
            });
    QVERIFY2(client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0, said.constData());
}

#ifdef MOTOR_PANEL_TANGO
namespace {
quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
}  // namespace

std::unique_ptr<QProcess> TstIntegrations::server(quint16 automationPort, const QString& tokenFile,
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

#endif

void TstIntegrations::act(SimPanel& p, const QByteArray& what, quint16 automationPort, const QString& token,
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

#ifdef MOTOR_PANEL_TANGO
void TstIntegrations::pytangoClient() {
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
    const QByteArray said =
        run(client, {QStringLiteral(TANGO_CLIENT), QString::number(orbPort), QString::number(badPort)},
            [&](const QByteArray& line) {
                if (line.startsWith("NEED ")) {
                    act(p, line.mid(5).trimmed(), automationPort, token, badToken);
                    client.write("ok\n");
                }
            });
    const bool passed = client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0;
    if (!passed) {
        // The whole story, the server's side (a sanitizer's report) included: the check's own
        // message keeps only the end of the client's.
        tango->terminate();
        tango->waitForFinished(10000);
        std::fprintf(stderr, "%s\n--- motor-panel-tango:\n%s\n", said.constData(),
                     tango->readAll().constData());
    }
    QVERIFY2(passed, said.right(800).constData());

    // The servers end on a stop as Tango servers do, cleanly (also under the sanitizers).
    for (QProcess* s : {tango.get(), bad.get()}) {
        s->terminate();
        QVERIFY(s->waitForFinished(10000));
        const QByteArray output = s->readAll();
        QVERIFY2(s->exitStatus() == QProcess::NormalExit && s->exitCode() == 0, output.constData());
    }
}

#endif

QTEST_MAIN(TstIntegrations)
#include "tst_integrations.moc"
