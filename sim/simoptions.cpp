#include "simoptions.h"

#include "simcontroller.h"

#include <QCommandLineParser>
#include <cstdio>

namespace {
struct IntOption {
    const char* name;
    int SimOptions::*field;
    int minimum;
};

// Integer options, all "off" at 0 unless the minimum says otherwise.
const IntOption kIntOptions[] = {
    {"drop-every", &SimOptions::dropEvery, 0},
    {"delay", &SimOptions::delayMs, 0},
    {"split", &SimOptions::splitBytes, 0},
    {"split-gap", &SimOptions::splitGapMs, 0},
    {"srq-every", &SimOptions::srqEvery, 0},
    {"srq-inside", &SimOptions::srqInside, 0},
    {"garbage-every", &SimOptions::garbageEvery, 0},
    {"hangup-after", &SimOptions::hangUpAfter, 0},
    {"baud", &SimOptions::baud, 0},
};

QString helpText() {
    return QStringLiteral(
        "Simulated pulse motor controller for the control panel's tests and demo.\n"
        "\n"
        "Links (without any, --listen 127.0.0.1:7777 is assumed; each link is its own controller):\n"
        "  --model NAME          KELDA-01 (2 channels, network dialect; default), RUNEL-01\n"
        "                        (2 channels, USB dialect) or VASKO-01 (4 channels, USB dialect)\n"
        "  --listen [HOST:]PORT  TCP server, one client at a time (a second one gets BUSY)\n"
        "  --pty                 pseudo-terminal in raw mode; its path is printed\n"
        "  --link PATH           with --pty: a symlink to the pseudo-terminal at PATH\n"
        "  --serial DEVICE       a real serial device (raw, 8N1, at --baud or 9600)\n"
        "\n"
        "Behaviour:\n"
        "  --ack                 set and motion commands answer OK (accepted) or NG (refused)\n"
        "  --verbose             log every line in and out with a timestamp\n"
        "  --jog-step N          pulses per jog command (default 100)\n"
        "  --cw-limit N          CW limit switch position of every channel (default 20000)\n"
        "  --ccw-limit N         CCW limit switch position of every channel (default -20000)\n"
        "\n"
        "Faults (0 = off):\n"
        "  --silent              answer nothing (commands still act)\n"
        "  --drop-every N        lose every Nth reply\n"
        "  --delay MS            send every reply MS milliseconds late\n"
        "  --split N             send replies in pieces of N bytes ...\n"
        "  --split-gap MS        ... MS milliseconds apart (default 25)\n"
        "  --srq-every N         an SRQ line of its own before every Nth reply\n"
        "  --srq-inside N        an SRQ, SRQA, SRQB or SRQAB marker inside every Nth reply\n"
        "  --garbage-every N     a NUL and two non-ASCII bytes before every Nth reply\n"
        "  --hangup-after N      close the connection (or the pty) after N replies\n"
        "  --baud B              pace the line at B baud both ways (9600 = 960 characters/s)\n"
        "\n"
        "  -h, --help            this text\n"
        "\n"
        "SIGINT or SIGTERM ends the program and removes its symlink.\n");
}

std::optional<qint64> parseInteger(const QString& text) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok ? std::optional<qint64>(value) : std::nullopt;
}
}  // namespace

SimOptionsResult parseSimOptions(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({"h", "help"}, "help");
    parser.addOption(help);
    for (const char* flag : {"pty", "ack", "verbose", "silent"}) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(flag), "flag"));
    }
    for (const char* valued : {"model", "listen", "link", "serial", "jog-step", "cw-limit", "ccw-limit"}) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(valued), "value", "value"));
    }
    for (const IntOption& o : kIntOptions) {
        parser.addOption(QCommandLineOption(QString::fromLatin1(o.name), "value", "value"));
    }

    SimOptionsResult result;
    if (!parser.parse(arguments)) {
        result.error = parser.errorText() + " (see --help)";
        return result;
    }
    if (parser.isSet(help)) {
        std::fputs(qPrintable(helpText()), stdout);
        result.exit = true;
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error = "unexpected argument: " + parser.positionalArguments().first() + " (see --help)";
        return result;
    }

    SimOptions o;
    if (parser.isSet("model")) {
        const auto model = simModelFromName(parser.value("model"));
        if (!model) {
            result.error = "unknown model " + parser.value("model") + " (KELDA-01, RUNEL-01 or VASKO-01)";
            return result;
        }
        o.model = *model;
    }
    if (parser.isSet("listen")) {
        const QString hostPort = parser.value("listen");
        const qsizetype colon = hostPort.lastIndexOf(u':');
        const auto port = parseInteger(colon < 0 ? hostPort : hostPort.mid(colon + 1));
        if (colon >= 0 && !o.listenAddress.setAddress(hostPort.left(colon))) {
            result.error = "--listen: not an IP address: " + hostPort.left(colon);
            return result;
        }
        if (!port || *port < 0 || *port > 65535) {
            result.error = "--listen: not a port number: " + hostPort;
            return result;
        }
        o.listen = true;
        o.listenPort = quint16(*port);
    }
    o.pty = parser.isSet("pty");
    o.linkPath = parser.value("link");
    if (!o.linkPath.isEmpty() && !o.pty) {
        result.error = "--link needs --pty";
        return result;
    }
    o.serialDevice = parser.value("serial");
    if (!o.listen && !o.pty && o.serialDevice.isEmpty()) {
        o.listen = true;
    }
    o.ack = parser.isSet("ack");
    o.verbose = parser.isSet("verbose");
    o.silent = parser.isSet("silent");
    for (const IntOption& io : kIntOptions) {
        if (!parser.isSet(io.name)) {
            continue;
        }
        const auto value = parseInteger(parser.value(io.name));
        if (!value || *value < io.minimum || *value > 10'000'000) {
            result.error = QStringLiteral("--%1: not a count: %2").arg(io.name, parser.value(io.name));
            return result;
        }
        o.*(io.field) = int(*value);
    }
    const struct {
        const char* name;
        std::optional<qint64>* target;
    } positions[] = {{"cw-limit", &o.cwLimit}, {"ccw-limit", &o.ccwLimit}};
    for (const auto& p : positions) {
        if (parser.isSet(p.name)) {
            *p.target = parseInteger(parser.value(p.name));
            if (!*p.target) {
                result.error = QStringLiteral("--%1: not a position: %2").arg(p.name, parser.value(p.name));
                return result;
            }
        }
    }
    if (parser.isSet("jog-step")) {
        const auto step = parseInteger(parser.value("jog-step"));
        if (!step || *step < 1) {
            result.error = "--jog-step: not a pulse count: " + parser.value("jog-step");
            return result;
        }
        o.jogStep = *step;
    }
    const SimChannel::Sensors defaults;
    if (o.ccwLimit.value_or(defaults.ccwLimit) >= o.cwLimit.value_or(defaults.cwLimit)) {
        result.error = "--ccw-limit must lie below --cw-limit";
        return result;
    }
    result.options = o;
    return result;
}

void applySimOptions(const SimOptions& o, SimController& controller) {
    controller.setAck(o.ack);
    SimFaults& f = controller.faults();
    f.setSilent(o.silent);
    f.setDropEvery(o.dropEvery);
    f.setReplyDelayMs(o.delayMs);
    f.setSplit(o.splitBytes, o.splitGapMs);
    f.setSrqLineEvery(o.srqEvery);
    f.setSrqInsideEvery(o.srqInside);
    f.setGarbageEvery(o.garbageEvery);
    f.setHangUpAfter(o.hangUpAfter);
    f.setBaud(o.baud);
    SimMachine& m = controller.machine();
    m.setJogStep(o.jogStep);
    for (int i = 0; i < m.channelCount(); ++i) {
        SimChannel::Sensors& s = m.channel(i).sensors;
        s.cwLimit = o.cwLimit.value_or(s.cwLimit);
        s.ccwLimit = o.ccwLimit.value_or(s.ccwLimit);
    }
}
