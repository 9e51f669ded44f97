// The automation port: its parser, and scripts on a real loopback socket driving the whole panel
// against the simulated controllers over TCP (KELDA-01) and a pseudo-terminal (VASKO-01): what a
// move's outcome is, how a cut-short bracket is closed, how scripts and the operator share the
// channels, and what the port refuses.
#include "faultdrive.h"
#include "scpilines.h"
#include "scpiparser.h"
#include "scriptclient.h"
#include "setupwindow.h"
#include "trafficrecorder.h"

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QtTest>

Q_DECLARE_METATYPE(SimModel)

namespace {
enum class Event {
    Reached,
    OperatorStop,
    Esc,
    ScriptStop,
    CwLimit,
    CcwLimit,
    ControllerErr,
    SessionLost,
    Here
};
enum class Cutter { Stop, Reset, Abort, ClientGone };
}  // namespace
Q_DECLARE_METATYPE(Event)
Q_DECLARE_METATYPE(Cutter)

class TstAutomation : public QObject {
    Q_OBJECT
private slots:
    void parser_data();
    void parser();
    void lines_data();
    void lines();
    void authentication();
    void queriesAndTheStatusRegisters();
    void scriptMoveSendsWhatTheButtonSends_data();
    void scriptMoveSendsWhatTheButtonSends();
    void scriptLinesGoOutAsTheScripts_data();
    void scriptLinesGoOutAsTheScripts();
    void tokenNeverShown_data();
    void tokenNeverShown();
    void outcomes_data();
    void outcomes();
    void bracketCutShort_data();
    void bracketCutShort();
    void sessionLostInsideABracket();
    void scriptAndOperator_data();
    void scriptAndOperator();
    void refusals();
    void leavingClientStopsOnlyWhatItHasMoving();
    void abortStopsAndRefuses();
    void unansweredAsksNeverEndTheSession();
    void badInputKeepsTheConnection();
    void pyvisaScript();

private:
    // A pooled panel connected afresh, its port started, every channel idle at 0 on a controller
    // with its switches where they are out of the box; no client connected, nothing selected.
    SimPanel* fresh(SimModel model);

    FaultDrive::PanelPool pool_;
};

SimPanel* TstAutomation::fresh(SimModel model) {
    return scriptReady(pool_, model);
}

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
    row("long form any case, plus sign", "move:relative a,+1000,C,-200", 0, V::MoveRel, "A1000C-200");
    row("leading colon, absolute", ":MOVE:ABS B,-500", 0, V::MoveAbs, "B-500");
    row("float notation", "PRES A,1E3,B,-2.50e2,C,1000.0", 0, V::Preset, "A1000B-250C1000");
    row("fraction", "PRES A,1.5", Scpi::IllegalParameterValue, V::Idn, "");
    row("fraction behind an exponent", "PRES A,1.0001E3", Scpi::IllegalParameterValue, V::Idn, "");
    row("fifteen digits", "PRES A,999999999999999", 0, V::Preset, "A999999999999999");
    row("sixteen digits", "PRES A,1E15", Scpi::DataOutOfRange, V::Idn, "");
    row("channel D", "JOG D,+", 0, V::Jog, "D+");
    row("direction words", "JOG A,CW,B,CCW", 0, V::Jog, "A+B-");
    row("direction words, lower case", "home c,ccw,d,cw", 0, V::Home, "C-D+");
    row("direction words beside signs", "SCAN A,-,B,CW", 0, V::Scan, "A-B+");
    row("not a direction", "SCAN A,CWW", Scpi::IllegalParameterValue, V::Idn, "");
    row("channel E", "JOG E,+", Scpi::IllegalParameterValue, V::Idn, "");
    row("stop all", "STOP", 0, V::Stop, "");
    row("channel twice", "STOP A,A", Scpi::IllegalParameterValue, V::Idn, "");
    row("hold", "HOLD B,ON", 0, V::Hold, "B1");
    row("motion", "MOT? B", 0, V::Motion, "B");
    row("motion reason, long form", "motion:reason? c", 0, V::MotionReason, "C");
    row("unit", "UNIT? D", 0, V::Unit, "D");
    row("watch", "WATCH? A,B,TIMEOUT=0.5", 0, V::Watch, "AB500");
    row("wait with timeout", "WAIT? A,B,TIMEOUT=2.5", 0, V::Wait, "AB2500");
    row("wait without channel", "WAIT? TIMEOUT=2", Scpi::IllegalParameterValue, V::Idn, "");
    row("operation complete, both forms", "*OPC", 0, V::OpcSet, "");
    row("quoted text with a doubled quote", "SEND \"S3008 \"\"x\"\"\"", 0, V::Send, "S3008 \"x\"");
    row("unquoted text", "SEND S3008", Scpi::SyntaxError, V::Idn, "");
    row("query without mark", "POS A", Scpi::CommandError, V::Idn, "");
    row("command with mark", "STOP?", Scpi::CommandError, V::Idn, "");
    row("unknown header", "FLY A", Scpi::UndefinedHeader, V::Idn, "");
    row("extra parameter", "*IDN? 1", Scpi::ParameterNotAllowed, V::Idn, "");
    row("non-ASCII byte", "STOP \xC3\xA9", Scpi::InvalidCharacter, V::Idn, "");
    row("tabs around parameters", "MOVE:REL\tA,\t100", 0, V::MoveRel, "A100");
    row("tab in a string", "SEND \"S3008\t1\"", Scpi::IllegalParameterValue, V::Idn, "");
    row("vertical tab", "POS?\vA", Scpi::InvalidCharacter, V::Idn, "");
    QTest::newRow("4096 bytes") << QByteArray("*CLS").leftJustified(4096, ' ') << 0 << int(V::Cls)
                                << QByteArray();
    QTest::newRow("4097 bytes") << QByteArray("*CLS").leftJustified(4097, ' ') << int(Scpi::TooMuchData) << 0
                                << QByteArray();
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
    if (p.command.verb == Scpi::Verb::Wait || p.command.verb == Scpi::Verb::Watch) {
        args += QByteArray::number(p.command.timeoutMs);
    }
    QTEST(args, "args");
}

// A line is split into its commands, each read as a query or not, and shown without the token.
void TstAutomation::lines_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("commands");  // joined by "|", each marked "?" when it reads as a query
    QTest::addColumn<QByteArray>("shown");
    const auto row = [](const char* name, const char* line, const char* commands, const char* shown) {
        QTest::newRow(name) << QByteArray(line) << QByteArray(commands) << QByteArray(shown);
    };
    row("compound", "MOVE:REL A,100;*OPC?", "MOVE:REL A,100|*OPC??", "MOVE:REL A,100;*OPC?");
    row("empty commands", " ;;*IDN?; ", "*IDN??", " ;;*IDN?; ");
    row("semicolon in a string", "SEND \"A;B\";STOP", "SEND \"A;B\"|STOP", "SEND \"A;B\";STOP");
    row("tab after a query", "WAIT?\tA", "WAIT?\tA?", "WAIT?\tA");
    row("bytes in a query", "\x01POS?\xFF", "\x01POS?\xFF?", "\x01POS?\xFF");
    row("token", "SYST:AUTH \"c0ffee\";*IDN?", "SYST:AUTH \"c0ffee\"|*IDN??", "SYST:AUTH \"...\";*IDN?");
    row("token unquoted, long form", "system:authenticate c0ffee", "system:authenticate c0ffee",
        "system:authenticate \"...\"");
    row("token glued to the header", "SYST:AUTHc0ffee", "SYST:AUTHc0ffee", "SYST:AUTH \"...\"");
    row("string never closed", "SYST:AUTH \"c0f;fee", "SYST:AUTH \"c0f;fee", "SYST:AUTH \"...\"");
    row("lone control bytes are commands", " ;\v;\r;*IDN?", "\v|\r|*IDN??", " ;\v;\r;*IDN?");
    row("spaces and tabs only: empty", " \t;\t;*IDN?", "*IDN??", " \t;\t;*IDN?");
}

void TstAutomation::lines() {
    QFETCH(QByteArray, line);
    QByteArrayList commands;
    for (const QByteArray& c : Scpi::splitLine(line)) {
        commands << c + (Scpi::looksLikeQuery(c) ? "?" : "");
    }
    QTEST(commands.join('|'), "commands");
    QTEST(Scpi::redacted(line), "shown");
}

void TstAutomation::authentication() {
    SimPanel p(SimModel::Kelda);
    QVERIFY(startAutomation(p));
    QCOMPARE(QFile(p.dir.filePath(QStringLiteral("token"))).permissions() & 0x0777,
             QFileDevice::ReadUser | QFileDevice::WriteUser);
    const QByteArray token = scriptToken(p);
    QCOMPARE(token.size(), 32);
    AutomationServer& server = *p.app->automation();
    Script s(server.port());
    QVERIFY(s.ready());
    QCOMPARE(s.ask("*IDN?"), QByteArray("motor-panel,NONE,NONE," PANEL_VERSION));
    QCOMPARE(s.ask("CONN?"), QByteArray());  // refused before the token: answered, not queued
    QCOMPARE(s.ask("SYST:ERR?"), QByteArray("0,\"No error\""));
    // Only the whole token opens: not its first digit with the rest wrong, not a part of it.
    s.send("SYST:AUTH \"" + token.left(1) + QByteArray(31, token[1] == '0' ? '1' : '0') + "\"");
    s.send("SYST:AUTH \"" + token.left(31) + "\";SYST:AUTH \"" + token + "\"");
    QCOMPARE(s.ask("SYST:ERR?"), QByteArray("-200,\"Execution error; wrong token\""));
    QCOMPARE(s.ask("SYST:ERR?"), QByteArray("-200,\"Execution error; wrong token\""));
    QCOMPARE(s.ask("CONN?"), QByteArray("0"));
    for (const AutomationServer::LogEntry& e : server.log()) {
        QVERIFY2(!e.line.contains(QString::fromLatin1(token.left(8))), qPrintable(e.line));
    }

    // Three wrong tokens close the connection; a client that never gives one is closed in time.
    Script intruder(server.port());
    Script idle(server.port());
    QVERIFY(intruder.ready() && idle.ready());
    for (int i = 0; i < AutomationServer::kWrongTokens; ++i) {
        intruder.send("SYST:AUTH \"guess\"");
    }
    QVERIFY(
        QTest::qWaitFor([&] { return intruder.socket.state() == QAbstractSocket::UnconnectedState; }, 3000));
    QCOMPARE(idle.socket.state(), QAbstractSocket::ConnectedState);
    QVERIFY(QTest::qWaitFor([&] { return idle.socket.state() == QAbstractSocket::UnconnectedState; },
                            AutomationServer::kAuthTimeoutMs + 3000));
    QCOMPARE(s.ask("CONN?"), QByteArray("0"));
}

void TstAutomation::queriesAndTheStatusRegisters() {
    SimPanel* p = fresh(SimModel::Kelda);
    QVERIFY(p);
    auto s = authenticated(*p);
    QCOMPARE(s->ask("MODEL?;CHAN?;MOT? A;SPE?;SYST:STAT?"), QByteArray("KELDA-01"));
    QCOMPARE(s->read(), QByteArray("2"));
    QCOMPARE(s->read(), QByteArray("NONE"));
    QCOMPARE(s->read(), QByteArray("M"));
    QCOMPARE(s->read(), QByteArray("READY"));
    QCOMPARE(s->ask("SPEED H;SPE?"), QByteArray("H"));
    QCOMPARE(s->ask("STAT? A"), QByteArray("0,0,0,1,0,0"));  // at 0, on the home sensor

    // The operator's units: the scale as set, the name in UTF-8 with a quote doubled; none is 0,"".
    p->app->instruments.units.unit[0] = {400, QStringLiteral("µm \"fine\"")};
    p->app->instruments.units.unit[3] = {ChannelUnits::kSmallestScale, QStringLiteral("rev")};
    QCOMPARE(s->ask("UNIT? A;UNIT? B;unit? d"), QByteArray("400,\"µm \"\"fine\"\"\""));
    QCOMPARE(s->read(), QByteArray("0,\"\""));
    QCOMPARE(s->read(), QByteArray("1e-06,\"rev\""));

    // WATCH? answers 1 as soon as anything the client reads of its channels differs from what it
    // last saw, 0 at its deadline; the queries behind it answer then. Each client has its own view.
    auto other = authenticated(*p);
    QCOMPARE(s->ask("WATCH? A,TIMEOUT=5;POS? A"), QByteArray("1"));  // never looked before
    QCOMPARE(s->read(), QByteArray("+0000000"));
    QCOMPARE(s->ask("WATCH? A,TIMEOUT=0.1"), QByteArray("0"));
    QCOMPARE(other->ask("WATCH? A,TIMEOUT=0.001"), QByteArray("1"));
    s->send("WATCH? A,TIMEOUT=5;MOT? A");
    other->send("MOVE:REL A,300");
    QCOMPARE(s->read(1000), QByteArray("1"));  // the move taken
    QCOMPARE(s->read(), QByteArray("MOVING"));
    QCOMPARE(other->ask("WAIT? A", 10000), QByteArray("DONE"));
    QCOMPARE(other->ask("MOVE:REL A,-300;WAIT? A", 10000), QByteArray("DONE"));
    QCOMPARE(s->ask("WATCH? B,TIMEOUT=0.001"), QByteArray("1"));  // B is new to it
    QCOMPARE(s->ask("WATCH? C,TIMEOUT=0.001"), QByteArray("1"));  // one the model lacks: no error
    QCOMPARE(s->ask("WATCH? C,TIMEOUT=0.001;SYST:ERR?"), QByteArray("0"));
    QCOMPARE(s->read(), QByteArray("0,\"No error\""));
    const auto change = [&](const std::function<void()>& act) {
        s->send("WATCH? B,TIMEOUT=5");
        QTest::qWait(50);
        act();
        return s->read(1000);
    };
    QCOMPARE(change([&] { p->app->instruments.units.unit[1] = {2, QStringLiteral("mm")}; }), QByteArray("1"));
    QCOMPARE(change([&] { other->send("SPEED L"); }), QByteArray("1"));
    QCOMPARE(change([&] { p->app->automation()->abortScripts(); }), QByteArray("1"));
    QCOMPARE(s->ask("WATCH? A,TIMEOUT=0.001;SYST:STAT?"), QByteArray("1"));  // A moved since
    QCOMPARE(s->read(), QByteArray("SCRIPTS ABORTED"));
    p->app->automation()->enableScripts();

    // An error sets its event and the status byte's queue bit, each read back once.
    s->send("FLY");
    QCOMPARE(s->ask("*STB?"), QByteArray("36"));
    QCOMPARE(s->ask("*ESR?;*ESR?"), QByteArray("32"));
    QCOMPARE(s->read(), QByteArray("0"));
    QCOMPARE(s->ask("*STB?"), QByteArray("4"));
    s->send("*RST");
    QCOMPARE(s->ask("*STB?"), QByteArray("0"));

    // *OPC? and *WAI wait for the move to end, not merely to go out.
    QCOMPARE(s->ask("MOVE:REL A,1E2;*OPC?", 10000), QByteArray("1"));
    QCOMPARE(s->ask("MOT? A"), QByteArray("DONE"));
    QCOMPARE(s->ask("MOVE:REL A,-100;*OPC;*WAI;MOT? A;POS? A;*ESR?", 10000), QByteArray("DONE"));
    QCOMPARE(s->read(), QByteArray("+0000000"));
    QCOMPARE(s->read(), QByteArray("1"));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("0,\"No error\""));
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
    SimPanel* p = fresh(model);
    QVERIFY(p);
    auto s = authenticated(*p);

    // The script's move: the operator's boxes and selection stay as they are.
    const QString before = p->find<QLineEdit>(QStringLiteral("Text1_0"))->text();
    const TrafficRecorder& r = p->app->instruments.recorder;
    const quint64 first = r.endSeq();
    s->send(line);
    QVERIFY(QTest::qWaitFor([&] { return commandsSince(*p, 0).size() >= wire.size(); }, 3000));
    QCOMPARE(commandsSince(*p, 0), wire);
    QCOMPARE(p->find<QLineEdit>(QStringLiteral("Text1_0"))->text(), before);
    QCOMPARE(p->app->state.ChannelSelected, (std::array<int, 5>{}));
    int automation = 0;
    for (quint64 seq = first; seq < r.endSeq(); ++seq) {
        automation += r.at(seq).sent && r.at(seq).cls == TrafficClass::Automation;
    }
    QCOMPARE(automation, wire.size());

    // The same move from the buttons.
    const QByteArrayList args = line.split(' ')[1].split(',');
    for (int i = 0; i + 1 < args.size(); i += 2) {
        const int ch = args[i][0] - 'A';
        p->find<QLineEdit>(QStringLiteral("Text1_%1").arg(ch))->setText(QString::fromLatin1(args[i + 1]));
        p->click(QStringLiteral("Ch_%1").arg(ch));
    }
    p->click(QStringLiteral("Option1_%1").arg(mode));
    const qsizetype from = p->received.size();
    p->click(QStringLiteral("Ctr_5"));
    QVERIFY(QTest::qWaitFor([&] { return commandsSince(*p, from).size() >= wire.size(); }, 3000));
    QCOMPARE(commandsSince(*p, from), wire);
}

// Every line a script has sent goes out as the script's: the command its words name (CW is the +
// way, and the motor goes that way), filed as automation traffic, a motion recorded as the
// script's move.
void TstAutomation::scriptLinesGoOutAsTheScripts_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("ch");   // the channel a motion moves, -1 for none
    QTest::addColumn<int>("way");  // +1 CW, -1 CCW
    QTest::addColumn<int>("kind");
    const auto row = [](const char* line, const char* wire, int ch = -1, int way = 0,
                        MoveKind kind = MoveKind::Jog) {
        QTest::newRow(line) << QByteArray(line) << QByteArray(wire) << ch << way << int(kind);
    };
    row("JOG A,CW", "S3008", 0, 1, MoveKind::Jog);
    row("JOG B,CCW", "S3109", 1, -1, MoveKind::Jog);
    row("HOME C,CW", "S321E", 2, 1, MoveKind::Home);
    row("HOME D,CCW", "S331F", 3, -1, MoveKind::Home);
    row("SCAN A,CW", "S300E", 0, 1, MoveKind::Scan);
    row("SCAN B,CCW", "S310F", 1, -1, MoveKind::Scan);
    row("STOP C", "S3240");
    row("HOLD D,ON", "S3318");
    row("SPE L", "S71L");
    row("SEND \"S71M\"", "S71M");
    row("ASK? \"FL?0\"", "FL?0");
}

void TstAutomation::scriptLinesGoOutAsTheScripts() {
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, wire);
    QFETCH(int, ch);
    QFETCH(int, way);
    QFETCH(int, kind);
    SimPanel* p = fresh(SimModel::Vasko);
    QVERIFY(p);
    if (ch >= 0) {
        // Home away from where it stands, on the side the search goes to.
        p->sim.channel(ch).sensors.homeLow = way * 300 - 10;
        p->sim.channel(ch).sensors.homeHigh = way * 300 + 10;
    }
    auto s = authenticated(*p);
    const TrafficRecorder& r = p->app->instruments.recorder;
    const quint64 first = r.endSeq();
    s->send(line);
    const auto sent = [&] {
        QList<std::pair<QByteArray, TrafficClass>> lines;
        for (quint64 seq = first; seq < r.endSeq(); ++seq) {
            if (r.at(seq).sent && r.at(seq).cls != TrafficClass::Polling) {
                lines.append({r.at(seq).text, r.at(seq).cls});
            }
        }
        return lines;
    };
    QVERIFY(QTest::qWaitFor([&] { return !sent().isEmpty(); }, 3000));
    QCOMPARE(sent(), (QList<std::pair<QByteArray, TrafficClass>>{{wire, TrafficClass::Automation}}));
    if (ch < 0) {
        return;
    }
    const AxisMove* move = p->app->state.Axes.latest(ch);
    QVERIFY(move);
    QCOMPARE(move->origin, Origin::Script);
    QCOMPARE(int(move->kind), kind);
    SimChannel& c = p->sim.channel(ch);
    QVERIFY(QTest::qWaitFor([&] { return c.position(p->clock.nowUs()) != 0; }, 3000));
    QCOMPARE(c.position(p->clock.nowUs()) > 0 ? 1 : -1, way);
    s->send("STOP");
}

// The token never reaches the log the Automation window shows, whatever line carried it and
// however near the real one it is: every SYST:AUTH parameter is hidden, not only the right token.
void TstAutomation::tokenNeverShown_data() {
    QTest::addColumn<QByteArray>("line");  // %1: the near miss
    QTest::addColumn<int>("miss");         // 0: one character wrong, 1: one extra, 2: one short
    const char* lines[][2] = {
        {"well-formed", "SYST:AUTH \"%1\""},
        {"extra parameter", "SYST:AUTH \"%1\",1"},
        {"as a query", "SYST:AUTH? \"%1\""},
        {"long form, unquoted", "system:authenticate %1"},
        {"glued to the header", "SYST:AUTH%1"},
        {"string never closed", "SYST:AUTH \"%1"},
        {"behind a bad command", "FLY A;syst:auth '%1';*IDN?"},
        {"in a line too long", "SYST:AUTH \"%1\" "},  // padded past the longest line taken
    };
    for (const auto& [name, line] : lines) {
        for (int miss = 0; miss < 3; ++miss) {
            QTest::addRow("%s, %s", name,
                          miss == 0   ? "one wrong"
                          : miss == 1 ? "one extra"
                                      : "one short")
                << QByteArray(line) << miss;
        }
    }
}

void TstAutomation::tokenNeverShown() {
    QFETCH(QByteArray, line);
    QFETCH(int, miss);
    SimPanel* p = pool_.ready(SimModel::Kelda);
    QVERIFY(p && startAutomation(*p));
    const QByteArray token = scriptToken(*p);
    QByteArray near = token;
    if (miss == 0) {
        near.back() = near.back() == 'a' ? 'b' : 'a';
    } else if (miss == 1) {
        near += '0';
    } else {
        near.chop(1);
    }
    QByteArray sent = line;
    sent.replace("%1", near);
    if (sent.endsWith(' ')) {
        sent = sent.leftJustified(Scpi::kMaxLine + 1, ' ');
    }
    AutomationServer& server = *p->app->automation();
    // Before the token and after it: a script that is in may still mistype it.
    auto before = std::make_unique<Script>(server.port());
    auto after = authenticated(*p);
    QVERIFY(before->ready() && after->ready());
    before->send(sent);
    after->send(sent);
    if (sent.contains("AUTH?")) {  // a refused query is answered, empty
        QCOMPARE(before->read(), QByteArray());
        QCOMPARE(after->read(), QByteArray());
    }
    QVERIFY(after->ask("*IDN?").startsWith("motor-panel"));
    QVERIFY(before->ask("*IDN?").startsWith("motor-panel"));
    for (const AutomationServer::LogEntry& e : server.log()) {
        for (qsizetype at = 0; at + 8 <= near.size(); ++at) {
            QVERIFY2(!e.line.contains(QString::fromLatin1(near.mid(at, 8))), qPrintable(e.line));
        }
    }
}

void TstAutomation::outcomes_data() {
    QTest::addColumn<SimModel>("model");
    QTest::addColumn<Event>("event");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("outcome");
    QTest::addColumn<QByteArray>("entry");  // the end of the queue entry; none for DONE
    for (auto [model, link] : {std::pair{SimModel::Kelda, "TCP"}, std::pair{SimModel::Vasko, "pty"}}) {
        const auto row = [&](const char* name, Event event, const char* line, const char* outcome,
                             const char* entry) {
            QTest::addRow("%s, %s", link, name)
                << model << event << QByteArray(line) << QByteArray(outcome) << QByteArray(entry);
        };
        row("reached", Event::Reached, "MOVE:REL A,1000", "DONE", "");
        row("Stop button", Event::OperatorStop, "MOVE:REL A,6000", "STOPPED",
            ", target +0006000: Stop pressed");
        row("Esc", Event::Esc, "MOVE:ABS A,6000", "STOPPED", ", target +0006000: Esc pressed");
        row("script STOP", Event::ScriptStop, "MOVE:REL A,6000", "STOPPED",
            ", target +0006000: STOP from client ");
        row("CW limit", Event::CwLimit, "MOVE:REL A,1000", "LIMIT",
            "A ended at +0000400, target +0001000: CW limit");
        row("CCW limit", Event::CcwLimit, "MOVE:ABS A,-1000", "LIMIT",
            "A ended at -0000400, target -0001000: CCW limit");
        row("refused by the controller", Event::ControllerErr, "MOVE:REL A,1000", "ERROR",
            "A ended at +0000000, target +0001000: the controller answered ERR");
        row("session lost", Event::SessionLost, "MOVE:REL A,6000", "ERROR",
            ", target +0006000: connection failed");
        row("to where it is", Event::Here, "MOVE:ABS A,0", "DONE", "");
    }
}

void TstAutomation::outcomes() {
    QFETCH(SimModel, model);
    QFETCH(Event, event);
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, outcome);
    QFETCH(QByteArray, entry);
    SimPanel* p = fresh(model);
    QVERIFY(p);
    PanelState& state = p->app->state;
    SimChannel& a = p->sim.channel(0);
    if (event == Event::CwLimit || event == Event::CcwLimit) {
        a.sensors.cwLimit = 400;
        a.sensors.ccwLimit = -400;
    }
    p->sim.machine().setMotionRefused(event == Event::ControllerErr);
    auto s = authenticated(*p);
    std::unique_ptr<Script> stopper;
    s->send(line + ";WAIT? A,TIMEOUT=10");
    QVERIFY(QTest::qWaitFor(
        [&] { return std::abs(a.position(p->clock.nowUs())) > 200 || event > Event::ScriptStop; }));
    switch (event) {
        case Event::OperatorStop:
            p->click(QStringLiteral("Ch_0"));
            p->click(QStringLiteral("Ctr_6"));
            break;
        case Event::Esc:
            p->click(QStringLiteral("Ch_0"));
            p->app->window.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&p->app->window));
            QTest::keyClick(&p->app->window, Qt::Key_Escape);
            break;
        case Event::ScriptStop:
            stopper = authenticated(*p);
            stopper->send("STOP A");
            break;
        case Event::SessionLost:
            p->sim.faults().setSilent(true);
            break;
        default:
            break;
    }
    // A session that ends answers the wait at once, with the moves it ended.
    QCOMPARE(s->read(event == Event::SessionLost ? 3000 : 10000), outcome);
    QCOMPARE(s->ask("MOT? A"), outcome);
    // The channel's own reason: the entry's text, read without taking the entry.
    const QByteArray reason = s->ask("MOT:REAS? A");
    const QByteArray error = s->ask("SYST:ERR?");
    QCOMPARE(reason, entry.isEmpty() ? QByteArray("\"\"") : error.mid(error.indexOf("; ") + 2).prepend('"'));
    if (entry.isEmpty()) {
        QCOMPARE(error, QByteArray("0,\"No error\""));
        QCOMPARE(s->ask("POS? A"), line.endsWith(",0") ? QByteArray("+0000000") : QByteArray("+0001000"));
    } else {
        QVERIFY2(error.startsWith("-300,\"Device-specific error; A ") && error.contains(entry),
                 error.constData());
    }
    if (event == Event::ControllerErr) {
        // The refusal was the move's, not a poll reply: the rotation stays in its own dialect.
        QVERIFY(FaultDrive::pollReplies(*p, 8));
        QVERIFY((state.PollStep >= 20) == (model == SimModel::Vasko));
    }
}

void TstAutomation::bracketCutShort_data() {
    QTest::addColumn<Cutter>("cutter");
    QTest::addColumn<int>("ticks");  // of the move's sequence before the cut
    QTest::addColumn<QByteArrayList>("wire");
    const QByteArrayList all{"S3040", "S3140", "S3240", "S3340"};
    for (int ticks = 1; ticks <= 3; ++ticks) {
        const QByteArrayList sent = QByteArrayList{"S3016", "REL01000", "REL11000"}.mid(0, ticks);
        // Stopped are the channels a script has under way: those whose command went out.
        const QByteArrayList underWay = QByteArrayList{"S3040", "S3140"}.mid(0, ticks - 1);
        const QByteArrayList closed = sent + QByteArrayList{"S3017"};
        QTest::addRow("STOP after %d ticks", ticks) << Cutter::Stop << ticks << closed + all;
        QTest::addRow("*RST after %d ticks", ticks) << Cutter::Reset << ticks << closed + underWay;
        QTest::addRow("Abort after %d ticks", ticks) << Cutter::Abort << ticks << closed + all;
        QTest::addRow("client gone after %d ticks", ticks)
            << Cutter::ClientGone << ticks << closed + underWay;
    }
}

// The bracket that has gone out is closed before anything else, then the stops go out, so the
// controller holds nothing back and a later move runs.
void TstAutomation::bracketCutShort() {
    QFETCH(Cutter, cutter);
    QFETCH(int, ticks);
    QFETCH(QByteArrayList, wire);
    SimPanel* p = fresh(SimModel::Vasko);
    QVERIFY(p);
    AutomationServer& server = *p->app->automation();
    auto s = authenticated(*p);
    QCOMPARE(s->ask("CONN?"), QByteArray("1"));
    QVERIFY(FaultDrive::stopAtReply(*p));
    s->send("MOVE:REL A,1000,B,1000");
    QVERIFY(QTest::qWaitFor([&] { return !p->app->state.ScriptQueue.empty(); }));
    FaultDrive::tick(*p, ticks);
    switch (cutter) {
        case Cutter::Stop:
            s->send("STOP");
            break;
        case Cutter::Reset:
            s->send("*RST");
            break;
        case Cutter::Abort:
            server.abortScripts();
            server.enableScripts();
            break;
        case Cutter::ClientGone:
            s.reset();
            break;
    }
    QVERIFY(QTest::qWaitFor([&] { return commandsSince(*p, 0).size() >= wire.size(); }, 3000));
    p->app->Timer2.setInterval(20);
    auto later = authenticated(*p);
    // B takes a move once it has been seen to stand.
    QCOMPARE(later->ask("WAIT? B,TIMEOUT=10", 10000), QByteArray("STOPPED"));
    QCOMPARE(later->ask("MOVE:REL B,500;WAIT? B,TIMEOUT=10", 10000), QByteArray("DONE"));
    QCOMPARE(commandsSince(*p, 0), wire + QByteArrayList{"REL1500"});
    QCOMPARE(later->ask("WAIT? A,TIMEOUT=5"), QByteArray("STOPPED"));
}

// A session lost inside a script's bracket leaves no wait hanging on it, and the next session
// closes the bracket before anything else goes out, withdrawing first the move it held, which
// ended with the session.
void TstAutomation::sessionLostInsideABracket() {
    SimPanel* p = fresh(SimModel::Vasko);
    QVERIFY(p);
    auto s = authenticated(*p);
    QCOMPARE(s->ask("CONN?"), QByteArray("1"));
    QVERIFY(FaultDrive::stopAtReply(*p));
    s->send("MOVE:REL A,1000,B,1000");
    QVERIFY(QTest::qWaitFor([&] { return !p->app->state.ScriptQueue.empty(); }));
    FaultDrive::tick(*p, 2);
    p->click(QStringLiteral("Connect"));
    QCOMPARE(s->ask("*OPC?", 3000), QByteArray("1"));
    QCOMPARE(s->ask("WAIT? A,B,TIMEOUT=5", 3000), QByteArray("ERROR"));
    const qsizetype from = p->received.size();
    QVERIFY(FaultDrive::reconnect(*p));
    QCOMPARE(s->ask("MOVE:REL B,500;WAIT? B,TIMEOUT=10", 10000), QByteArray("DONE"));
    QCOMPARE(commandsSince(*p, from), (QByteArrayList{"S3040", "S3017", "REL1500"}));
    QCOMPARE(p->sim.channel(0).position(p->clock.nowUs()), 0);
}

void TstAutomation::scriptAndOperator_data() {
    QTest::addColumn<bool>("scriptFirst");
    QTest::addColumn<int>("operatorChannel");
    QTest::addColumn<QByteArrayList>("wire");
    QTest::addColumn<QByteArray>("script");  // the script's outcome, or its refusal
    QTest::newRow("script first, Start on the same channel")
        << true << 0 << QByteArrayList{"REL00001000"} << QByteArray("STOPPED");
    QTest::newRow("script first, Start on another channel")
        << true << 2 << QByteArrayList{"REL20001000", "S3016", "REL0300", "REL1300", "S3017"}
        << QByteArray("DONE");
    QTest::newRow("Start first, script on the same channel")
        << false << 0 << QByteArrayList{"REL00001000"}
        << QByteArray("-200,\"Execution error; the operator's move on A is still being sent\"");
    QTest::newRow("Start first, script on another channel")
        << false << 2 << QByteArrayList{"REL20001000", "S3016", "REL0300", "REL1300", "S3017"}
        << QByteArray("DONE");
}

// Script and operator never overwrite each other: the operator's Start is sent whole, and the
// script's move is sent whole too, or refused, or ends STOPPED when the operator took it over.
void TstAutomation::scriptAndOperator() {
    QFETCH(bool, scriptFirst);
    QFETCH(int, operatorChannel);
    QFETCH(QByteArray, script);
    SimPanel* p = fresh(SimModel::Vasko);
    QVERIFY(p);
    auto s = authenticated(*p);
    QCOMPARE(s->ask("CONN?"), QByteArray("1"));
    QVERIFY(FaultDrive::stopAtReply(*p));
    const auto scriptMoves = [&] {
        s->send("MOVE:REL A,300,B,300");
        QCOMPARE(s->ask("SYST:ERR?"), script.startsWith("-") ? script : QByteArray("0,\"No error\""));
    };
    if (scriptFirst) {
        scriptMoves();
    }
    p->click(QStringLiteral("Option1_1"));
    p->click(QStringLiteral("Ch_%1").arg(operatorChannel));
    p->click(QStringLiteral("Ctr_5"));
    if (!scriptFirst) {
        scriptMoves();
    }
    p->app->Timer2.setInterval(20);
    if (!script.startsWith("-")) {
        QCOMPARE(s->ask("WAIT? A,B,TIMEOUT=10", 10000), script);
    }
    QFETCH(QByteArrayList, wire);
    QVERIFY(QTest::qWaitFor(
        [&] {
            return commandsSince(*p, 0).contains(wire.first()) &&
                   !p->app->state.Axes.underWay(operatorChannel);
        },
        5000));
    QCOMPARE(commandsSince(*p, 0), wire);
}

void TstAutomation::refusals() {
    SimPanel p(SimModel::Vasko);
    QVERIFY(startAutomation(p));
    auto s = authenticated(p);
    s->send("JOG A,+");
    QCOMPARE(s->ask("SYST:ERR?;SYST:STAT?"), QByteArray("-200,\"Execution error; not connected\""));
    QCOMPARE(s->read(), QByteArray("NO SESSION"));
    QVERIFY(p.connect());
    p.click(QStringLiteral("SetupPb"));
    QCOMPARE(s->ask("SYST:STAT?"), QByteArray("SETUP OPEN"));
    s->send("MOVE:REL A,10");
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-200,\"Execution error; setup window open\""));
    p.app->setup.window()->close();
    // The controller's limit, in either dialect, is kept before anything is sent.
    const qsizetype from = p.received.size();
    s->send("MOVE:REL A,9999999;MOVE:REL A,-10000000");
    QCOMPARE(
        s->ask("SYST:ERR?"),
        QByteArray("-222,\"Data out of range; A: -10000000 is beyond the controller's limit of 9999999\""));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("0,\"No error\""));
    QVERIFY(QTest::qWaitFor([&] { return commandsSince(p, from).contains("REL09999999"); }, 3000));
    s->send("STOP A");
    QCOMPARE(s->ask("WAIT? A"), QByteArray("STOPPED"));
    QVERIFY(s->ask("SYST:ERR?").endsWith(": STOP from client 1\""));
    QCOMPARE(commandsSince(p, from), (QByteArrayList{"REL09999999", "S3040"}));

    // A demonstration drive runs: the scripts' motion waits for no one and is refused.
    p.click(QStringLiteral("Ch_1"));
    p.click(QStringLiteral("BtnDEMO"));
    QVERIFY(QTest::qWaitFor([&] { return p.app->state.DemoFlags != 0; }));
    s->send("MOVE:REL C,10;JOG C,+;MOT? C");
    QCOMPARE(s->read(), QByteArray("NONE"));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-200,\"Execution error; demonstration drive running\""));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-200,\"Execution error; demonstration drive running\""));
    p.click(QStringLiteral("BtnDEMO"));

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

// A channel belongs to a script only while that script's move runs on it.
void TstAutomation::leavingClientStopsOnlyWhatItHasMoving() {
    SimPanel* p = fresh(SimModel::Vasko);
    QVERIFY(p);
    auto s = authenticated(*p);
    QCOMPARE(s->ask("MOVE:REL A,300;WAIT? A,TIMEOUT=10", 10000), QByteArray("DONE"));
    s->send("SCAN B,+");
    p->click(QStringLiteral("Option1_3"));  // the operator's scan on the channel the script let go
    p->click(QStringLiteral("Ch_0"));
    p->click(QStringLiteral("Ctr_5"));
    p->click(QStringLiteral("Command6"));
    const AxisBook& axes = p->app->state.Axes;
    QVERIFY(QTest::qWaitFor([&] { return axes.report(0).busy && axes.report(1).busy; }, 3000));
    const qsizetype from = p->received.size();
    s.reset();
    QVERIFY(QTest::qWaitFor([&] { return commandsSince(*p, from).contains("S3140"); }, 3000));
    QTest::qWait(100);
    QCOMPARE(commandsSince(*p, from), QByteArrayList{"S3140"});
    p->click(QStringLiteral("Ctr_6"));
}

void TstAutomation::abortStopsAndRefuses() {
    SimPanel* p = fresh(SimModel::Vasko);
    QVERIFY(p);
    auto s = authenticated(*p);
    QCOMPARE(s->ask("CONN?"), QByteArray("1"));
    AutomationServer& server = *p->app->automation();
    server.abortScripts();
    QCOMPARE(s->ask("SYST:STAT?"), QByteArray("SCRIPTS ABORTED"));
    QVERIFY(QTest::qWaitFor([&] { return commandsSince(*p, 0).size() >= 4; }, 3000));
    QCOMPARE(commandsSince(*p, 0), (QByteArrayList{"S3040", "S3140", "S3240", "S3340"}));
    s->send("JOG A,+;SEND \"S3008\";STOP A");  // stopping stays allowed
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-200,\"Execution error; scripts aborted by the operator\""));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-200,\"Execution error; scripts aborted by the operator\""));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("0,\"No error\""));
    server.enableScripts();
    QCOMPARE(s->ask("JOG A,-;SYST:ERR?"), QByteArray("0,\"No error\""));
    QVERIFY(QTest::qWaitFor([&] { return commandsSince(*p, 0).endsWith("S3009"); }, 3000));
}

// A raw query that draws no answer says TIMEOUT, and the session goes on polling.
void TstAutomation::unansweredAsksNeverEndTheSession() {
    SimPanel* p = fresh(SimModel::Kelda);
    QVERIFY(p);
    auto s = authenticated(*p);
    QVERIFY(s->ask("ASK? \"VER?\"").startsWith("KELDA-01"));
    QCOMPARE(p->find<QPlainTextEdit>(QStringLiteral("Text3"))->toPlainText(), QString());
    // Five in a row, each sent as soon as the last one's TIMEOUT: no poll reply comes between.
    s->send(QByteArray("ASK? \"S3019\";").repeated(5));  // a command: nothing comes back
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(s->read(), QByteArray("TIMEOUT"));
    }
    QVERIFY(p->app->state.Connected);
    QVERIFY(p->messages.boxes.isEmpty());
    QCOMPARE(s->ask("CONN?"), QByteArray("1"));
}

void TstAutomation::badInputKeepsTheConnection() {
    SimPanel* p = fresh(SimModel::Kelda);
    QVERIFY(p);
    auto s = authenticated(*p);
    s->send(QByteArray(100000, 'x'));
    s->send("STOP \xFF");
    // A refused query answers its one line whatever blanks or bytes it holds.
    QCOMPARE(s->ask("WAIT?\tA,\x01"), QByteArray());
    QCOMPARE(s->ask("POS?\xFF A"), QByteArray());
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-223,\"Too much data; line longer than 4096 bytes\""));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-101,\"Invalid character; byte 0xff\""));
    QCOMPARE(s->ask("SYST:ERR?"), QByteArray("-101,\"Invalid character; byte 0x01\""));

    // A client that floods and never reads: the panel goes on polling, and others are served.
    auto flood = authenticated(*p);
    flood->socket.setReadBufferSize(1);
    const QByteArray burst = QByteArray("POS? A\n").repeated(20000);
    for (int i = 0; i < 20; ++i) {
        flood->socket.write(burst);
    }
    const qsizetype sent = p->received.size();
    QVERIFY(QTest::qWaitFor([&] { return p->received.size() > sent + 20; }, 5000));
    QCOMPARE(s->ask("CONN?"), QByteArray("1"));
    flood.reset();
    QVERIFY(QTest::qWaitFor([&] { return p->app->automation()->clientCount() == 1; }, 3000));

    // Nor does one that keeps arming *OPC put off another client's deadline.
    auto nag = authenticated(*p);
    QTimer nagging;
    nagging.callOnTimeout([&] { nag->send("*OPC"); });
    nagging.start(5);
    QCOMPARE(s->ask("MOVE:REL A,99999;WAIT? A,TIMEOUT=1", 4000), QByteArray("TIMEOUT"));
    nagging.stop();
    s->send("STOP A");
    nag.reset();
    QVERIFY(QTest::qWaitFor([&] { return p->app->automation()->clientCount() == 1; }, 3000));

    // At most eight clients; the ninth is closed at once.
    std::vector<std::unique_ptr<Script>> more;
    for (int i = 1; i <= AutomationServer::kMaxClients; ++i) {
        more.push_back(std::make_unique<Script>(p->app->automation()->port()));
        QVERIFY(more.back()->ready());
    }
    QVERIFY(QTest::qWaitFor([&] { return more.back()->socket.state() == QAbstractSocket::UnconnectedState; },
                            3000));
    QCOMPARE(p->app->automation()->clientCount(), AutomationServer::kMaxClients);
}

// A script written with PyVISA, run against this panel while its event loop serves; halfway
// through its scan the operator presses Stop.
void TstAutomation::pyvisaScript() {
    SimPanel* p = fresh(SimModel::Kelda);
    QVERIFY(p);
    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral(PYVISA_CLIENT), QString::number(p->app->automation()->port()),
                  p->dir.filePath(QStringLiteral("token"))});
    SimChannel& a = p->sim.channel(0);
    QVERIFY(QTest::qWaitFor([&] { return a.position(p->clock.nowUs()) > 3000; }, 30000));
    p->click(QStringLiteral("Ch_0"));
    p->click(QStringLiteral("Ctr_6"));
    QVERIFY(QTest::qWaitFor([&] { return script.state() == QProcess::NotRunning; }, 60000));
    const QByteArray output = script.readAll();
    QVERIFY2(script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0, output.constData());
}

QTEST_MAIN(TstAutomation)
#include "tst_automation.moc"
