#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <vector>

// The automation port's command language, SCPI style. A line holds one command or several joined
// by ";". A command is a header of colon-separated keywords, each in its short form (the capitals
// of its name) or in full, in any case; a "?" for a query; then parameters separated by commas.
// Parsing is a pure function of the text, so a fuzzer can call it and the server only carries out
// what comes back.
namespace Scpi {

enum class Verb {
    Idn,
    Cls,
    Opc,     // *OPC?
    OpcSet,  // *OPC
    Wai,
    Rst,
    Esr,
    Stb,
    SystemError,
    SystemAuth,
    SystemState,
    SystemConnect,
    SystemDisconnect,
    Connected,
    Model,
    Channels,
    Position,
    Status,
    Motion,
    MotionReason,
    Unit,
    MoveRel,
    MoveAbs,
    Preset,
    Jog,
    Home,
    Scan,
    Stop,
    Speed,
    SpeedQuery,
    Hold,
    Wait,
    Watch,
    Send,
    Ask,
};

// Standard SCPI error numbers the port reports.
enum Code : int {
    NoError = 0,
    CommandError = -100,
    InvalidCharacter = -101,
    SyntaxError = -102,
    ParameterNotAllowed = -108,
    MissingParameter = -109,
    UndefinedHeader = -113,
    ExecutionError = -200,
    SettingsConflict = -221,
    DataOutOfRange = -222,
    TooMuchData = -223,
    IllegalParameterValue = -224,
    DeviceError = -300,
    QueueOverflow = -350,
};

// The standard text of a code ("Syntax error").
QString codeText(int code);

inline constexpr int kChannels = 4;
inline constexpr qsizetype kMaxLine = 4096;  // bytes, terminator excluded
inline constexpr int kDefaultWaitMs = 60000;
inline constexpr int kMaxWaitMs = 3600 * 1000;

struct Target {
    int ch = 0;         // 0..3 for A..D
    QByteArray value;   // MOVE/PRES: the value as a plain whole number ("1000", "-250")
    qint64 number = 0;  // the same as a number
    int direction = 0;  // JOG/HOME/SCAN: +1 clockwise, -1 counter-clockwise
    bool on = false;    // HOLD
};

// SYST:CONN's link, as the Connect dialog's fields give it.
struct Link {
    bool lan = true;
    QByteArray host;  // network
    QByteArray port;  // network: the TCP port as a whole number; USB: a number or a device path
};

struct Command {
    Verb verb = Verb::Idn;
    std::vector<Target> targets;     // in the order given; no channel twice
    int speed = 0;                   // SPEED: 0 H, 1 M, 2 L (the speed options' order)
    QByteArray text;                 // SEND, ASK?, SYST:AUTH: the string, quotes removed
    int timeoutMs = kDefaultWaitMs;  // WAIT?
    Link link;                       // SYST:CONN
};

struct Parsed {
    int code = NoError;  // NoError, or why the line was refused
    QString detail;      // what was wrong, for the error queue
    Command command;
    bool ok() const { return code == NoError; }
    bool query() const;  // the verb answers with a line
};

// One command, without its line end. Every byte must be printable ASCII, space or tab.
Parsed parse(QByteArrayView command);

// A value in float notation (1000, +1000.0, 1E3) that stands for a whole number: the number, or
// why not (IllegalParameterValue for a fraction or no number, DataOutOfRange beyond 15 digits).
struct Whole {
    int code = NoError;
    qint64 number = 0;
};
Whole wholeValue(QByteArrayView text);

// The channel letter of 0..3.
inline char channelLetter(int ch) {
    return char('A' + ch);
}

}  // namespace Scpi
