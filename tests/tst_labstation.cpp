// The panel on a lab PC with nobody at it: the session opened at start (--connect), by a script
// (SYST:CONN, SYST:DISC) and again once the link is back (--reconnect), with no box waiting for an
// answer; and the Automation window's log, which a polling script never floods.
#include "linkrequest.h"
#include "scpiparser.h"
#include "scriptclient.h"
#include "setupwindow.h"
#include "widgets.h"

#include <QApplication>
#include <QCheckBox>
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(SimModel)

namespace {
// Once the controller is identified, a script's move and its outcome.
QByteArray scriptMove(Script& s) {
    const bool identified =
        QTest::qWaitFor([&] { return s.ask("CHAN?") != "0" && s.ask("STAT? A").startsWith("0,"); }, 5000);
    s.send("MOVE:REL A,100");
    return identified ? s.ask("WAIT? A,TIMEOUT=10", 15000) : QByteArray("not identified");
}

// The link a script or the command line names for the panel's own simulator.
QString linkOf(SimPanel& p) {
    return p.usb ? QStringLiteral("usb:") + p.ptyLink()
                 : QStringLiteral("lan:127.0.0.1:%1").arg(p.tcp->port());
}

bool simListening(SimPanel& p) {
    return p.usb ? p.pty->open(p.ptyLink()) : p.tcp->listen(0) != 0;
}

quint16 closedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
}
}  // namespace

class TstLabStation : public QObject {
    Q_OBJECT
private slots:
    void linkText_data();
    void linkText();
    void parser_data();
    void parser();
    void programConnectsAtStart_data();
    void programConnectsAtStart();
    void failedStartIsTold_data();
    void failedStartIsTold();
    void scriptConnects_data();
    void scriptConnects();
    void reconnects_data();
    void reconnects();
    void logKeepsCommandsAmongQueries();
};

void TstLabStation::linkText_data() {
    QTest::addColumn<QString>("given");
    QTest::addColumn<QString>("read");  // as LinkRequest::text() gives it back; empty: refused
    QTest::newRow("host alone takes the dialog's port") << "lan:lab-7"
                                                        << "lan:lab-7:7777";
    QTest::newRow("host and port, any case") << "LAN:10.0.0.5:9000"
                                             << "lan:10.0.0.5:9000";
    QTest::newRow("IPv6 with a port") << "lan:[::1]:7000"
                                      << "lan:[::1]:7000";
    QTest::newRow("IPv6 without") << "lan:::1"
                                  << "lan:[::1]:7777";
    QTest::newRow("COM number") << "usb:3"
                                << "usb:3";
    QTest::newRow("device path") << "usb:/dev/ttyACM0"
                                 << "usb:/dev/ttyACM0";
    QTest::newRow("port left empty") << "lan:lab-7:"
                                     << "";
    QTest::newRow("bracket not closed") << "lan:[::1:7000"
                                        << "";
    QTest::newRow("no host") << "lan:"
                             << "";
    QTest::newRow("no port") << "usb:"
                             << "";
    QTest::newRow("other link") << "tcp:lab-7"
                                << "";
    QTest::newRow("no link") << "lab-7"
                             << "";
}

void TstLabStation::linkText() {
    QFETCH(QString, given);
    const std::optional<LinkRequest> link = LinkRequest::parse(given);
    QTEST(link ? link->text() : QString(), "read");
}

void TstLabStation::parser_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("link");  // what was parsed: kind, host, port
    QTest::newRow("network") << QByteArray("SYST:CONN LAN,\"lab-7\",7777") << 0 << "LAN lab-7 7777";
    QTest::newRow("USB, long form") << QByteArray("system:connect usb,'/dev/ttyUSB0'") << 0
                                    << "USB  /dev/ttyUSB0";
    QTest::newRow("port in float notation") << QByteArray("SYST:CONN LAN,\"h\",7.777E3") << 0 << "LAN h 7777";
    QTest::newRow("disconnect") << QByteArray("SYST:DISC") << 0 << "LAN  ";
    QTest::newRow("no link") << QByteArray("SYST:CONN") << int(Scpi::MissingParameter) << "";
    QTest::newRow("no port") << QByteArray("SYST:CONN LAN,\"h\"") << int(Scpi::MissingParameter) << "";
    QTest::newRow("USB with a port too")
        << QByteArray("SYST:CONN USB,\"3\",4") << int(Scpi::ParameterNotAllowed) << "";
    QTest::newRow("host unquoted") << QByteArray("SYST:CONN LAN,h,7777") << int(Scpi::SyntaxError) << "";
    QTest::newRow("other link") << QByteArray("SYST:CONN TCP,\"h\",1") << int(Scpi::IllegalParameterValue)
                                << "";
    QTest::newRow("fraction of a port")
        << QByteArray("SYST:CONN LAN,\"h\",77.5") << int(Scpi::IllegalParameterValue) << "";
    QTest::newRow("empty port") << QByteArray("SYST:CONN USB,\"\"") << int(Scpi::IllegalParameterValue) << "";
    QTest::newRow("disconnect asked") << QByteArray("SYST:DISC?") << int(Scpi::CommandError) << "";
    QTest::newRow("disconnect with a value")
        << QByteArray("SYST:DISC 1") << int(Scpi::ParameterNotAllowed) << "";
}

void TstLabStation::parser() {
    QFETCH(QByteArray, line);
    const Scpi::Parsed parsed = Scpi::parse(line);
    QTEST(parsed.code, "code");
    const Scpi::Link& l = parsed.command.link;
    QTEST(parsed.ok() ? QStringLiteral("%1 %2 %3").arg(l.lan ? "LAN" : "USB", l.host, l.port) : QString(),
          "link");
}

void TstLabStation::programConnectsAtStart_data() {
    QTest::addColumn<SimModel>("model");
    QTest::newRow("network") << SimModel::Kelda;
    QTest::newRow("USB") << SimModel::Vasko;
}

// The program itself, started as the service starts it: the session opens with no click, the
// recent list learns the link, and a script's move ends DONE.
void TstLabStation::programConnectsAtStart() {
    QFETCH(SimModel, model);
    SimPanel sim(model);  // its simulator; its own panel stays unconnected
    QVERIFY(simListening(sim));
    QTemporaryDir dir;
    const QString token = dir.filePath(QStringLiteral("token"));
    const QString recent =
        dir.filePath(sim.usb ? QStringLiteral("KELDA_U.Log") : QStringLiteral("KELDA_L.Log"));
    QVERIFY(writeFile(recent, "lab-1,lab-2,,,,,\r\n"));
    QProcess panel;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    panel.setProcessEnvironment(env);
    panel.start(QStringLiteral(MOTOR_PANEL),
                {QStringLiteral("--connect"), linkOf(sim), QStringLiteral("--folder"), dir.path(),
                 QStringLiteral("--automation"), QStringLiteral("0"),
                 QStringLiteral("--automation-token-file"), token});
    QByteArray said;
    const bool started = QTest::qWaitFor(
        [&] {
            said += panel.readAllStandardError();
            return said.contains("token in") &&
                   said.contains("motor-panel: connected to " + linkOf(sim).toUtf8());
        },
        20000);
    QVERIFY2(started, said.constData());
    const qsizetype at = said.indexOf("127.0.0.1:") + 10;
    Script s(quint16(said.mid(at, said.indexOf(',', at) - at).toUInt()));
    QVERIFY(s.ready());
    s.send("SYST:AUTH \"" + readAll(token).trimmed() + "\"");
    QCOMPARE(s.ask("CONN?"), QByteArray("1"));
    QCOMPARE(scriptMove(s), QByteArray("DONE"));
    QCOMPARE(readAll(recent),
             (sim.usb ? sim.ptyLink().toUtf8() : QByteArray("127.0.0.1")) + ",lab-1,lab-2,,,,\r\n");
    panel.terminate();
    QVERIFY(panel.waitForFinished(10000));
}

void TstLabStation::failedStartIsTold_data() {
    QTest::addColumn<QString>("link");
    QTest::addColumn<QString>("why");
    QTest::newRow("port beyond the dialog's range")
        << "lan:127.0.0.1:65536"
        << "cannot connect to lan:127.0.0.1:65536: wrong port number 65536 (1 to 65535)";
    QTest::newRow("connection refused, seen at the first poll")
        << QStringLiteral("lan:127.0.0.1:%1").arg(closedPort()) << "not connected";
    QTest::newRow("no such device") << "usb:/nonexistent/tty"
                                    << "cannot open /nonexistent/tty";
}

// Nobody is there to close a box: the reason goes to the status bar, and the panel runs on.
void TstLabStation::failedStartIsTold() {
    QFETCH(QString, link);
    QFETCH(QString, why);
    SimPanel p(SimModel::Kelda);
    p.app->keeper.open(*LinkRequest::parse(link), LinkKeeper::Source::StartUp);
    QVERIFY2(QTest::qWaitFor([&] { return p.app->linkNote().contains(why); }, 3000),
             qPrintable(p.app->linkNote()));
    QVERIFY(!p.app->state.Connected);
    QVERIFY2(p.messages.boxes.isEmpty(), qPrintable(p.messages.texts().join(u'|')));
}

void TstLabStation::scriptConnects_data() {
    QTest::addColumn<SimModel>("model");
    QTest::newRow("network") << SimModel::Kelda;
    QTest::newRow("USB") << SimModel::Vasko;
}

void TstLabStation::scriptConnects() {
    QFETCH(SimModel, model);
    SimPanel p(model);
    QVERIFY(simListening(p) && startAutomation(p));
    const QByteArray good = p.usb ? "SYST:CONN USB,\"" + p.ptyLink().toUtf8() + '"'
                                  : "SYST:CONN LAN,\"127.0.0.1\"," + QByteArray::number(p.tcp->port());
    // A link that does not come up: refused at once, or once the first poll finds it dead.
    const QByteArray bad = p.usb ? QByteArray("SYST:CONN USB,\"/nonexistent/tty\"")
                                 : "SYST:CONN LAN,\"127.0.0.1\"," + QByteArray::number(closedPort());
    const QByteArray failed =
        p.usb ? "-200,\"Execution error; cannot open /nonexistent/tty: No such file or directory\""
              : "-200,\"Execution error; connect failed: not connected\"";
    Script stranger(p.app->automation()->port());
    QVERIFY(stranger.ready());
    stranger.send(good);
    auto s = authenticated(p);
    QCOMPARE(s->ask("CONN?"), QByteArray("0"));
    QCOMPARE(stranger.ask("SYST:ERR?"), QByteArray("0,\"No error\""));

    s->send(bad);
    QVERIFY(QTest::qWaitFor([&] { return s->ask("*STB?") != "0"; }, 3000));
    QCOMPARE(s->ask("SYST:ERR?"), failed);
    QCOMPARE(s->ask("CONN?"), QByteArray("0"));

    s->send(good);
    QCOMPARE(s->ask("CONN?"), QByteArray("1"));
    QCOMPARE(scriptMove(*s), QByteArray("DONE"));
    s->send(good);
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-200,\"Execution error; already connected\""));
    p.click(QStringLiteral("SetupPb"));
    s->send("SYST:DISC;SYST:ERR?");
    QCOMPARE(s->read(), QByteArray("-200,\"Execution error; setup window open\""));
    p.app->setup.window()->close();
    s->send("SYST:DISC");
    QCOMPARE(s->ask("CONN?;SYST:ERR?"), QByteArray("0"));
    QCOMPARE(s->read(), QByteArray("0,\"No error\""));
    QCOMPARE(p.text(QStringLiteral("Connect")), QStringLiteral("Connect"));
    QVERIFY2(p.messages.boxes.isEmpty(), qPrintable(p.messages.texts().join(u'|')));
}

void TstLabStation::reconnects_data() {
    QTest::addColumn<int>("seconds");
    QTest::newRow("--reconnect 1") << 1;
    QTest::newRow("without, the box as always") << 0;
}

// The controller's TCP server goes away and comes back on the same address.
void TstLabStation::reconnects() {
    QFETCH(int, seconds);
    SimPanel p(SimModel::Kelda);
    p.app->keeper.setReconnectSeconds(seconds);
    QVERIFY(startAutomation(p));
    QVERIFY(p.connect());  // by the dialog: the last link is brought back whoever opened it
    const quint16 port = p.tcp->port();
    QSignalSpy opened(&p.app->session, &Session::connected);
    p.tcp->close();
    if (seconds == 0) {
        QTRY_COMPARE(p.messages.texts(), QStringList{QStringLiteral("Not connected !")});
        return;
    }
    QVERIFY(QTest::qWaitFor([&] { return opened.size() > 0 && !p.app->state.Connected; }, 5000));
    QVERIFY2(p.app->linkNote().contains("reconnecting every 1 s"), qPrintable(p.app->linkNote()));
    QCOMPARE(p.tcp->listen(port), port);
    QVERIFY(QTest::qWaitFor([&] { return p.app->linkNote().startsWith("reconnected"); }, 5000));
    auto s = authenticated(p);
    QCOMPARE(scriptMove(*s), QByteArray("DONE"));
    QVERIFY2(p.messages.boxes.isEmpty(), qPrintable(p.messages.texts().join(u'|')));
    int told = 0;
    for (const AutomationServer::LogEntry& e : p.app->automation()->log()) {
        told += e.line.startsWith(QStringLiteral("link lost ")) ||
                e.line.startsWith(QStringLiteral("reconnected "));
    }
    QCOMPARE(told, 2);
}

// A script polling six queries at a time pushes no command out of the Automation window's log.
void TstLabStation::logKeepsCommandsAmongQueries() {
    SimPanel p(SimModel::Kelda);
    QVERIFY(startAutomation(p) && p.connect());
    auto s = authenticated(p);
    s->send("*CLS");
    const QByteArray longLine = "SYST:CONN LAN,\"" + QByteArray(180, 'h') + "\",7777";
    s->send(longLine);
    for (int round = 0; round < AutomationServer::kLogLines / 5; ++round) {
        s->send("POS? A;POS? B;STAT? A;STAT? B;MOT? A;CONN?");
        for (int answer = 0; answer < 6; ++answer) {
            QVERIFY(s->read() != "<no answer>");
        }
    }
    p.app->showAutomation();
    QWidget* window = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        window = w->objectName() == QStringLiteral("AutomationWindow") ? w : window;
    }
    QVERIFY(window != nullptr);
    auto* log = window->findChild<QPlainTextEdit*>(QStringLiteral("AutomationLog"));
    QVERIFY(QTest::qWaitForWindowExposed(window));
    const QStringList lines = log->toPlainText().split(u'\n');
    QVERIFY2(lines.filter(QStringLiteral("#1  *CLS")).size() == 1, qPrintable(lines.join(u'\n')));
    QVERIFY(lines.filter(QStringLiteral("<- already connected")).size() == 1);
    QVERIFY(lines.filter(QStringLiteral("POS? A")).isEmpty());
    // Clock time, as the traffic monitor and a script's own log give it.
    const QTime at = QTime::fromString(lines.last().left(12), QStringLiteral("hh:mm:ss.zzz"));
    QVERIFY2(at.isValid() && std::abs(at.msecsTo(QTime::currentTime())) < 60000, qPrintable(lines.last()));
    QCOMPARE(log->horizontalScrollBar()->maximum(), 0);
    QVERIFY(log->document()->lineCount() > log->document()->blockCount());  // the long line wraps

    QTest::mouseClick(window->findChild<QCheckBox*>(QStringLiteral("AutomationShowQueries")), Qt::LeftButton);
    QCOMPARE(log->toPlainText().count(QStringLiteral("POS? A")), AutomationServer::kLogLines / 6);
}

QTEST_MAIN(TstLabStation)
#include "tst_labstation.moc"
