// The automation port: its line parser, and scripts on a real loopback socket driving the whole
// panel against the simulated controllers over TCP (KELDA-01) and a pseudo-terminal (VASKO-01).
#include "automationserver.h"
#include "scpiparser.h"
#include "setupwindow.h"
#include "simpanel.h"
#include "trafficrecorder.h"

#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTcpSocket>
#include <QtTest>

Q_DECLARE_METATYPE(SimModel)

namespace {
// A script's side of the port: one line out, one line back for a query.
class Script {
public:
    explicit Script(quint16 port) { socket.connectToHost(QHostAddress::LocalHost, port); }
    bool ready() {
        return QTest::qWaitFor([this] { return socket.state() == QAbstractSocket::ConnectedState; }, 3000);
    }
    void send(const QByteArray& line) { socket.write(line + "\r\n"); }
    QByteArray ask(const QByteArray& line, int ms = 5000) {
        send(line);
        return QTest::qWaitFor([this] { return socket.canReadLine(); }, ms) ? socket.readLine().chopped(1)
                                                                            : QByteArray("<no answer>");
    }
    QTcpSocket socket;
};

QByteArray token(SimPanel& p) {
    QFile f(p.dir.filePath(QStringLiteral("token")));
    return f.open(QIODevice::ReadOnly) ? f.readAll().trimmed() : QByteArray();
}

std::unique_ptr<Script> authenticated(SimPanel& p) {
    auto s = std::make_unique<Script>(p.app->automation()->port());
    if (s->ready()) {
        s->send("SYST:AUTH \"" + token(p) + "\"");
    }
    return s;
}

bool started(SimPanel& p) {
    QString error;
    return p.app->startAutomation(0, p.dir.filePath(QStringLiteral("token")), &error);
}

// The commands the controller received from `from` on, polling queries left out.
QByteArrayList commandsSince(SimPanel& p, qsizetype from) {
    QByteArrayList out;
    for (qsizetype i = from; i < p.received.size(); ++i) {
        const QByteArray& c = p.received[i];
        const bool poll = c == "VER?" || c == "S48" || c.startsWith("STS") || c.startsWith("PS?") ||
                          (c.startsWith("S2") && c.size() == 4);
        if (!poll) {
            out << c;
        }
    }
    return out;
}
}  // namespace

class TstAutomation : public QObject {
    Q_OBJECT
private slots:
    void parser_data();
    void parser();
    void authentication();
    void queriesBeforeAndAfterConnect();
    void scriptMoveSendsWhatTheButtonSends_data();
    void scriptMoveSendsWhatTheButtonSends();
    void waitAndPosition();
    void refusals();
    void disconnectingClientStopsItsMotion();
    void abortStopsAndRefuses();
    void askGoesThroughTheFreeTextStep();
    void badInputKeepsTheConnection();
    void pyvisaScript();
};

void TstAutomation::parser_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("verb");
    QTest::addColumn<QByteArray>("args");  // channel letters and values, as parsed
    const auto row = [](const char* name, const char* line, int code, Scpi::Verb verb, const char* args) {
        QTest::newRow(name) << QByteArray(line) << code << int(verb) << QByteArray(args);
    };
    using V = Scpi::Verb;
    row("short form", "MOVE:REL A,1000", 0, V::MoveRel, "A1000");
    row("long form any case", "move:relative a,+1000,C,-200", 0, V::MoveRel, "A+1000C-200");
    row("leading colon, absolute", ":MOVE:ABS B,-500", 0, V::MoveAbs, "B-500");
    row("nine digits", "PRES A,123456789", 0, V::Preset, "A123456789");
    row("ten digits", "PRES A,1234567890", Scpi::IllegalParameterValue, V::Idn, "");
    row("channel D", "JOG D,+", 0, V::Jog, "D+");
    row("channel E", "JOG E,+", Scpi::IllegalParameterValue, V::Idn, "");
    row("home ccw", "HOME A,-", 0, V::Home, "A-");
    row("stop all", "STOP", 0, V::Stop, "");
    row("stop two", "STOP A,B", 0, V::Stop, "AB");
    row("channel twice", "STOP A,A", Scpi::IllegalParameterValue, V::Idn, "");
    row("hold", "HOLD B,ON", 0, V::Hold, "B1");
    row("wait with timeout", "WAIT? A,B,TIMEOUT=2.5", 0, V::Wait, "AB2500");
    row("wait without channel", "WAIT? TIMEOUT=2", Scpi::IllegalParameterValue, V::Idn, "");
    row("quoted text with a doubled quote", "SEND \"S3008 \"\"x\"\"\"", 0, V::Send, "S3008 \"x\"");
    row("unquoted text", "SEND S3008", Scpi::SyntaxError, V::Idn, "");
    row("string not closed", "ASK? \"VER?", Scpi::SyntaxError, V::Idn, "");
    row("query without mark", "POS A", Scpi::CommandError, V::Idn, "");
    row("command with mark", "STOP?", Scpi::CommandError, V::Idn, "");
    row("unknown header", "FLY A", Scpi::UndefinedHeader, V::Idn, "");
    row("extra parameter", "*IDN? 1", Scpi::ParameterNotAllowed, V::Idn, "");
    row("value missing", "MOVE:REL A", Scpi::MissingParameter, V::Idn, "");
    row("empty parameter", "STOP A,", Scpi::SyntaxError, V::Idn, "");
    row("non-ASCII byte", "STOP \xC3\xA9", Scpi::InvalidCharacter, V::Idn, "");
    QTest::newRow("4096 bytes") << QByteArray("*CLS").leftJustified(4096, ' ') << 0 << int(V::Cls)
                                << QByteArray();
    QTest::newRow("4097 bytes") << QByteArray("*CLS").leftJustified(4097, ' ') << int(Scpi::TooMuchData)
                                << int(V::Idn) << QByteArray();
}

void TstAutomation::parser() {
    QFETCH(QByteArray, line);
    QFETCH(int, code);
    const Scpi::Parsed p = Scpi::parse(line);
    QCOMPARE(p.code, code);
    if (code != 0) {
        return;
    }
    QTEST(int(p.command.verb), "verb");
    QByteArray args;
    for (const Scpi::Target& t : p.command.targets) {
        args += Scpi::channelLetter(t.ch) + t.value;
        if (t.direction != 0) {
            args += t.direction > 0 ? '+' : '-';
        }
        if (p.command.verb == Scpi::Verb::Hold) {
            args += t.on ? '1' : '0';
        }
    }
    args += p.command.text;
    if (p.command.verb == Scpi::Verb::Wait) {
        args += QByteArray::number(p.command.timeoutMs);
    }
    QTEST(args, "args");
}

void TstAutomation::authentication() {
    SimPanel p(SimModel::Kelda);
    QVERIFY(started(p));
    QCOMPARE(QFile(p.dir.filePath(QStringLiteral("token"))).permissions() & 0x0777,
             QFileDevice::ReadUser | QFileDevice::WriteUser);
    QCOMPARE(token(p).size(), 32);
    Script s(p.app->automation()->port());
    QVERIFY(s.ready());
    QCOMPARE(s.ask("*IDN?"), QByteArray("motor-panel,NONE,NONE," PANEL_VERSION));
    QCOMPARE(s.ask("CONN?"), QByteArray());  // refused before the token, still one line
    s.send("SYST:AUTH \"0123\"");
    QCOMPARE(s.ask("SYST:AUTH? \"x\""), QByteArray());
    s.send("SYST:AUTH \"" + token(p) + "\"");
    QCOMPARE(s.ask("SYST:ERR?"), QByteArray("-200,\"Execution error; not authenticated: SYST:AUTH first\""));
    QCOMPARE(s.ask("SYST:ERR?"), QByteArray("-200,\"Execution error; wrong token\""));
    QCOMPARE(s.ask("SYST:ERR?"), QByteArray("-100,\"Command error; no query form\""));
    QCOMPARE(s.ask("SYST:ERR?"), QByteArray("0,\"No error\""));

    Script intruder(p.app->automation()->port());
    QVERIFY(intruder.ready());
    for (int i = 0; i < AutomationServer::kWrongTokens; ++i) {
        intruder.send("SYST:AUTH \"guess\"");
    }
    QVERIFY(
        QTest::qWaitFor([&] { return intruder.socket.state() == QAbstractSocket::UnconnectedState; }, 3000));
    QCOMPARE(s.ask("CONN?"), QByteArray("0"));
}

void TstAutomation::queriesBeforeAndAfterConnect() {
    SimPanel p(SimModel::Vasko);
    QVERIFY(started(p));
    auto s = authenticated(p);
    QCOMPARE(s->ask("MODEL?"), QByteArray("NONE"));
    QCOMPARE(s->ask("CHAN?"), QByteArray("0"));
    QVERIFY(p.connect());
    QCOMPARE(s->ask("CONN?"), QByteArray("1"));
    QCOMPARE(s->ask("model?"), QByteArray("VASKO-01"));
    QCOMPARE(s->ask("CHANNELS?"), QByteArray("4"));
    QVERIFY(s->ask("*IDN?").startsWith("motor-panel,VASKO-01,VASKO-01"));
    QVERIFY(QTest::qWaitFor(
        [&] { return s->ask("POS? D") == p.text(QStringLiteral("LblPosition_3")).toLatin1(); }));
    QCOMPARE(s->ask("STAT? A"), QByteArray("0,0,0,1,0,0"));  // at 0, on the home sensor
}

void TstAutomation::scriptMoveSendsWhatTheButtonSends_data() {
    QTest::addColumn<SimModel>("model");
    QTest::addColumn<int>("mode");  // Option1: 1 REL, 2 ABS
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArrayList>("wire");
    QTest::newRow("network, two channels, relative")
        << SimModel::Kelda << 1 << QByteArray("MOVE:REL A,1000,B,-250")
        << QByteArrayList{"S3016", "S32R+0001000", "S33R-0000250", "S3017"};
    QTest::newRow("four channels, absolute on A and D")
        << SimModel::Vasko << 2 << QByteArray("MOVE:ABS A,1000,D,-250")
        << QByteArrayList{"S3016", "ABS01000", "ABS3-250", "S3017"};
    QTest::newRow("one channel, no bracket")
        << SimModel::Vasko << 1 << QByteArray("MOVE:REL C,+300") << QByteArrayList{"REL2300"};
}

void TstAutomation::scriptMoveSendsWhatTheButtonSends() {
    QFETCH(SimModel, model);
    QFETCH(int, mode);
    QFETCH(QByteArray, line);
    QFETCH(QByteArrayList, wire);
    SimPanel p(model);
    QVERIFY(started(p));
    QVERIFY(p.connect());
    auto s = authenticated(p);

    // The script's move: the operator's boxes and selection stay as they are.
    const QString before = p.find<QLineEdit>(QStringLiteral("Text1_0"))->text();
    qsizetype from = p.received.size();
    s->send(line);
    QVERIFY(QTest::qWaitFor([&] { return commandsSince(p, from).size() >= wire.size(); }, 3000));
    QCOMPARE(commandsSince(p, from), wire);
    QCOMPARE(p.find<QLineEdit>(QStringLiteral("Text1_0"))->text(), before);
    QCOMPARE(p.app->state.ChannelSelected, (std::array<int, 5>{}));

    // The same move from the buttons.
    for (int i = 0; i + 1 < line.split(' ')[1].split(',').size(); i += 2) {
        const QByteArrayList args = line.split(' ')[1].split(',');
        const int ch = args[i][0] - 'A';
        p.find<QLineEdit>(QStringLiteral("Text1_%1").arg(ch))->setText(QString::fromLatin1(args[i + 1]));
        p.click(QStringLiteral("Ch_%1").arg(ch));
    }
    p.click(QStringLiteral("Option1_%1").arg(mode));
    from = p.received.size();
    p.click(QStringLiteral("Ctr_5"));
    QVERIFY(QTest::qWaitFor([&] { return commandsSince(p, from).size() >= wire.size(); }, 3000));
    QCOMPARE(commandsSince(p, from), wire);

    // Script traffic has its own class in the traffic monitor.
    const TrafficRecorder& r = p.app->instruments.recorder;
    int automation = 0;
    for (quint64 seq = r.firstSeq(); seq < r.endSeq(); ++seq) {
        automation += r.at(seq).sent && r.at(seq).cls == TrafficClass::Automation;
    }
    QCOMPARE(automation, wire.size());
}

void TstAutomation::waitAndPosition() {
    SimPanel p(SimModel::Vasko);
    QVERIFY(started(p));
    QVERIFY(p.connect());
    auto s = authenticated(p);
    s->send("PRES B,0");
    s->send("MOVE:REL A,300");  // refused: the preset is still to go out
    QCOMPARE(s->ask("*OPC?"), QByteArray("1"));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-200,\"Execution error; a script move is still pending\""));
    s->send("MOVE:REL A,300,B,200");
    QCOMPARE(s->ask("*OPC?"), QByteArray("1"));
    QCOMPARE(s->ask("WAIT? A,B,TIMEOUT=20", 21000), QByteArray("DONE"));
    QCOMPARE(s->ask("POS? B"), p.text(QStringLiteral("LblPosition_1")).toLatin1());
    QVERIFY(s->ask("POS? B").endsWith("200"));
    s->send("SCAN C,+");
    QCOMPARE(s->ask("WAIT? C,TIMEOUT=0.3"), QByteArray("TIMEOUT"));
    s->send("STOP C");
    QCOMPARE(s->ask("WAIT? C,TIMEOUT=5", 6000), QByteArray("DONE"));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("0,\"No error\""));
}

void TstAutomation::refusals() {
    SimPanel p(SimModel::Kelda);
    QVERIFY(started(p));
    auto s = authenticated(p);
    s->send("JOG A,+");
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-200,\"Execution error; not connected\""));
    QVERIFY(p.connect());
    s->send("JOG C,+");  // a two-channel model
    QCOMPARE(s->ask("SYST:ERR?"),
             QByteArray("-221,\"Settings conflict; channel C: the model has 2 channels\""));
    // A move still pending refuses the next one: the setup window holds the tick.
    p.click(QStringLiteral("SetupPb"));
    QVERIFY(p.app->setup.window() != nullptr && p.app->setup.window()->isVisible());
    s->send("MOVE:REL A,10");
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-200,\"Execution error; setup window open\""));
    p.app->setup.window()->close();
    p.app->moves.RequestScriptMove(false, {QStringLiteral("10")}, {true});
    p.app->Timer2.setInterval(0);
    s->send("MOVE:REL A,10");
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-200,\"Execution error; a script move is still pending\""));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("0,\"No error\""));

    // The queue holds 16; what overflows is reported in its last entry.
    for (int i = 0; i < 20; ++i) {
        s->send("FLY");
    }
    for (int i = 0; i < AutomationServer::kErrorQueue - 1; ++i) {
        QVERIFY(s->ask("SYST:ERR?").startsWith("-113,"));
    }
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-350,\"Queue overflow\""));
    s->send("*CLS");
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("0,\"No error\""));
}

void TstAutomation::disconnectingClientStopsItsMotion() {
    SimPanel p(SimModel::Vasko);
    QVERIFY(started(p));
    QVERIFY(p.connect());
    auto s = authenticated(p);
    s->send("SCAN B,+");
    QVERIFY(QTest::qWaitFor([&] { return p.received.contains("S310E"); }, 3000));
    QVERIFY(QTest::qWaitFor([&] { return p.app->state.ChannelBusy[1]; }, 3000));
    const qsizetype from = p.received.size();
    s->socket.disconnectFromHost();
    QVERIFY(QTest::qWaitFor([&] { return commandsSince(p, from).contains("S3140"); }, 3000));
    QCOMPARE(commandsSince(p, from), QByteArrayList{"S3140"});  // only the channel it started
}

void TstAutomation::abortStopsAndRefuses() {
    SimPanel p(SimModel::Vasko);
    QVERIFY(started(p));
    QVERIFY(p.connect());
    auto s = authenticated(p);
    QCOMPARE(s->ask("CONN?"), QByteArray("1"));
    const qsizetype from = p.received.size();
    AutomationServer& server = *p.app->automation();
    server.abortScripts();
    QVERIFY(QTest::qWaitFor([&] { return commandsSince(p, from).size() >= 4; }, 3000));
    QCOMPARE(commandsSince(p, from), (QByteArrayList{"S3040", "S3140", "S3240", "S3340"}));
    s->send("JOG A,+");
    s->send("SEND \"S3008\"");
    s->send("STOP A");  // stopping stays allowed
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-200,\"Execution error; scripts aborted by the operator\""));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-200,\"Execution error; scripts aborted by the operator\""));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("0,\"No error\""));
    server.enableScripts();
    s->send("JOG A,-");
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("0,\"No error\""));
    QVERIFY(QTest::qWaitFor([&] { return commandsSince(p, from).endsWith("S3009"); }, 3000));
}

void TstAutomation::askGoesThroughTheFreeTextStep() {
    SimPanel p(SimModel::Kelda);
    QVERIFY(started(p));
    QVERIFY(p.connect());
    auto s = authenticated(p);
    QVERIFY(s->ask("ASK? \"VER?\"").startsWith("KELDA-01"));
    QCOMPARE(p.find<QPlainTextEdit>(QStringLiteral("Text3"))->toPlainText(), QString());
    p.sim.faults().setSilent(true);
    QCOMPARE(s->ask("ASK? \"VER?\""), QByteArray("TIMEOUT"));
}

void TstAutomation::badInputKeepsTheConnection() {
    SimPanel p(SimModel::Kelda);
    QVERIFY(started(p));
    auto s = authenticated(p);
    s->send(QByteArray(100000, 'x'));
    s->send("STOP \xFF");
    QCOMPARE(s->ask("CONN?"), QByteArray("0"));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-223,\"Too much data; line longer than 4096 bytes\""));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-101,\"Invalid character; byte 0xff\""));

    // A client that floods and never reads: the panel goes on polling, and others are served.
    QVERIFY(p.connect());
    auto flood = authenticated(p);
    flood->socket.setReadBufferSize(1);
    const QByteArray burst = QByteArray("POS? A\n").repeated(20000);
    for (int i = 0; i < 20; ++i) {
        flood->socket.write(burst);
    }
    const qsizetype sent = p.received.size();
    QVERIFY(QTest::qWaitFor([&] { return p.received.size() > sent + 20; }, 5000));
    QCOMPARE(s->ask("CONN?"), QByteArray("1"));
    flood.reset();
    QVERIFY(QTest::qWaitFor([&] { return p.app->automation()->clientCount() == 1; }, 3000));

    // At most eight clients; the ninth is closed at once.
    std::vector<std::unique_ptr<Script>> more;
    for (int i = 1; i <= AutomationServer::kMaxClients; ++i) {
        more.push_back(std::make_unique<Script>(p.app->automation()->port()));
        QVERIFY(more.back()->ready());
    }
    QVERIFY(QTest::qWaitFor([&] { return more.back()->socket.state() == QAbstractSocket::UnconnectedState; },
                            3000));
    QCOMPARE(p.app->automation()->clientCount(), AutomationServer::kMaxClients);
}

// A script written with PyVISA, run against this panel while its event loop serves.
void TstAutomation::pyvisaScript() {
    SimPanel p(SimModel::Kelda);
    QVERIFY(started(p));
    QVERIFY(p.connect());
    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(PYVISA_CLIENT), QString::number(p.app->automation()->port()),
                  p.dir.filePath(QStringLiteral("token"))});
    QVERIFY(QTest::qWaitFor([&] { return script.state() == QProcess::NotRunning; }, 60000));
    const QByteArray output = script.readAll();
    QVERIFY2(script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0, output.constData());
}

QTEST_MAIN(TstAutomation)
#include "tst_automation.moc"
