#pragma once

#include "simmachine.h"

#include <QByteArray>
#include <QList>
#include <QRegularExpression>
#include <functional>

// What a command line produced: a reply text (queries), a done or refused set/motion command
// (answered only when acknowledgements are on), or an error.
struct SimReply {
    enum class Kind { Text, Done, Refused, Error };
    Kind kind = Kind::Error;
    QByteArray text;

    static SimReply reply(const QByteArray& text) { return {Kind::Text, text}; }
    static SimReply done() { return {Kind::Done, {}}; }
    static SimReply refused() { return {Kind::Refused, {}}; }
    static SimReply error() { return {Kind::Error, {}}; }
};

// The command set of both dialects. Each command is one anchored pattern with the dialects that
// know it; a line that matches none of its dialect's patterns, or names a channel the model does
// not have, is an error.
class SimCommands {
public:
    explicit SimCommands(SimMachine& machine);

    // One command line without its terminator, already upper-cased.
    SimReply execute(const QByteArray& line, qint64 nowUs);

    // Speed codes stand for ten pulses per second each; reading a speed set in pulses per
    // second back as a code rounds it.
    static qint64 ppsFromCode(qint64 code) { return code * 10; }
    static qint64 codeFromPps(qint64 pps);

private:
    enum Dialect { Network = 1, Usb = 2, Both = 3 };
    using Handler = std::function<SimReply(const QRegularExpressionMatch&, qint64)>;
    struct Rule {
        QRegularExpression pattern;
        int dialects;
        Handler handler;
    };

    void add(const char* pattern, int dialects, Handler handler);
    void addQueries();
    void addMotion();
    void addTable();

    SimChannel* channelAt(const QRegularExpressionMatch& m, int group);
    SimReply motion(int channel, const SimMotionRequest& request, qint64 nowUs);
    SimReply positionReply(SimChannel& c, int index, qint64 nowUs) const;
    qint64* speedField(SimChannel& c, char speedLetter) const;

    SimMachine& m_machine;
    QList<Rule> m_rules;
};
