// motor-panel-tango on a Tango site of its own, as a facility runs it: MariaDB with Debian's
// tango-db schema, the Tango database server, the server registered with tango_admin and started
// with TANGO_HOST, its clients finding the devices by name (tests/e2e/tango_site.py). The panel
// runs here against a simulated VASKO-01 and serves the port from a real event loop while the
// client (tests/e2e/tango_site_client.py) runs its checks; where a check needs the panel changed
// ("NEED <what>"), this test does it.
#include "pythonclient.h"
#include "scriptclient.h"

#include <sys/prctl.h>
#include <QPlainTextEdit>
#include <QProcess>
#include <QtTest>
#include <csignal>
#include <cstdio>

class TstTangoSite : public QObject {
    Q_OBJECT
private slots:
    void pytangoOnASite();
};

void TstTangoSite::pytangoOnASite() {
    SimPanel p(SimModel::Vasko);
    QVERIFY(startAutomation(p));
    QVERIFY(p.connect());

    // What the client's checks may ask of the panel, by the words after NEED.
    const QHash<QByteArray, std::function<void()>> actions{
        // The operator sends a scan of B from the send box: motion no device started.
        {"scan B",
         [&] {
             p.find<QPlainTextEdit>(QStringLiteral("Text2"))->insertPlainText(QStringLiteral("S310E\n"));
         }},
        {"units on C",
         [&] {
             p.app->instruments.units.unit[2] = {400, QStringLiteral("µm")};
         }},
    };

    QProcess client;
    // The client stops its site on SIGTERM: it gets one when this test dies, killed or not.
    client.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    QByteArray said = runPythonClient(
        client,
        {QStringLiteral(TANGO_SITE_CLIENT), QStringLiteral(TANGO_SITE_FOLDER),
         QStringLiteral(MOTOR_PANEL_TANGO), QString::number(p.app->automation()->port()),
         p.dir.filePath(QStringLiteral("token"))},
        [&](const QByteArray& line) {
            std::fputs(line.constData(), stdout);
            if (line.startsWith("NEED ")) {
                const auto action = actions.find(line.mid(5).trimmed());
                if (action != actions.end()) {
                    (*action)();
                }
                client.write(action != actions.end() ? "ok\n" : "unknown\n");
            }
        },
        270000);
    if (client.state() != QProcess::NotRunning) {
        client.terminate();  // the site goes down with it
        client.waitForFinished(30000);
        said += client.readAll();
    }
    QVERIFY2(client.exitStatus() == QProcess::NormalExit && client.exitCode() == 0,
             said.right(600).constData());
    QVERIFY2(!QFileInfo::exists(QStringLiteral(TANGO_SITE_FOLDER)), "the site's folder is left behind");
}

QTEST_MAIN(TstTangoSite)
#include "tst_tangosite.moc"
