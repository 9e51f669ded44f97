#include "scpiparser.h"

#include "scpilines.h"

#include <algorithm>
#include <array>

namespace Scpi {

namespace {

enum class Form { Query, Command };
enum class Params { None, String, Channel, Values, Directions, OnOff, Channels, WaitList, SpeedWord, Link };

struct Entry {
    std::array<const char*, 2> keywords;  // the second may be null
    Verb verb;
    Form form;
    Params params;
};

// Keywords in mixed case: the capitals are the short form, the whole word the long one.
constexpr std::array kTree{
    Entry{{"*IDN", nullptr}, Verb::Idn, Form::Query, Params::None},
    Entry{{"*CLS", nullptr}, Verb::Cls, Form::Command, Params::None},
    Entry{{"*OPC", nullptr}, Verb::Opc, Form::Query, Params::None},
    Entry{{"*OPC", nullptr}, Verb::OpcSet, Form::Command, Params::None},
    Entry{{"*WAI", nullptr}, Verb::Wai, Form::Command, Params::None},
    Entry{{"*RST", nullptr}, Verb::Rst, Form::Command, Params::None},
    Entry{{"*ESR", nullptr}, Verb::Esr, Form::Query, Params::None},
    Entry{{"*STB", nullptr}, Verb::Stb, Form::Query, Params::None},
    Entry{{"SYSTem", "ERRor"}, Verb::SystemError, Form::Query, Params::None},
    Entry{{"SYSTem", "AUTHenticate"}, Verb::SystemAuth, Form::Command, Params::String},
    Entry{{"SYSTem", "STATe"}, Verb::SystemState, Form::Query, Params::None},
    Entry{{"SYSTem", "CONNect"}, Verb::SystemConnect, Form::Command, Params::Link},
    Entry{{"SYSTem", "DISConnect"}, Verb::SystemDisconnect, Form::Command, Params::None},
    Entry{{"CONNected", nullptr}, Verb::Connected, Form::Query, Params::None},
    Entry{{"MODel", nullptr}, Verb::Model, Form::Query, Params::None},
    Entry{{"CHANnels", nullptr}, Verb::Channels, Form::Query, Params::None},
    Entry{{"POSition", nullptr}, Verb::Position, Form::Query, Params::Channel},
    Entry{{"STATus", nullptr}, Verb::Status, Form::Query, Params::Channel},
    Entry{{"MOTion", nullptr}, Verb::Motion, Form::Query, Params::Channel},
    Entry{{"MOTion", "REASon"}, Verb::MotionReason, Form::Query, Params::Channel},
    Entry{{"UNIT", nullptr}, Verb::Unit, Form::Query, Params::Channel},
    Entry{{"MOVE", "RELative"}, Verb::MoveRel, Form::Command, Params::Values},
    Entry{{"MOVE", "ABSolute"}, Verb::MoveAbs, Form::Command, Params::Values},
    Entry{{"PRESet", nullptr}, Verb::Preset, Form::Command, Params::Values},
    Entry{{"JOG", nullptr}, Verb::Jog, Form::Command, Params::Directions},
    Entry{{"HOME", nullptr}, Verb::Home, Form::Command, Params::Directions},
    Entry{{"SCAN", nullptr}, Verb::Scan, Form::Command, Params::Directions},
    Entry{{"STOP", nullptr}, Verb::Stop, Form::Command, Params::Channels},
    Entry{{"SPEed", nullptr}, Verb::Speed, Form::Command, Params::SpeedWord},
    Entry{{"SPEed", nullptr}, Verb::SpeedQuery, Form::Query, Params::None},
    Entry{{"HOLD", nullptr}, Verb::Hold, Form::Command, Params::OnOff},
    Entry{{"WAIT", nullptr}, Verb::Wait, Form::Query, Params::WaitList},
    Entry{{"WATCH", nullptr}, Verb::Watch, Form::Query, Params::WaitList},
    Entry{{"SEND", nullptr}, Verb::Send, Form::Command, Params::String},
    Entry{{"ASK", nullptr}, Verb::Ask, Form::Query, Params::String},
};

bool matches(QByteArrayView keyword, const char* mnemonic) {
    const QByteArrayView name(mnemonic);
    QByteArray shortForm;
    for (char c : name) {
        if (c == '*' || (c >= 'A' && c <= 'Z')) {
            shortForm += c;
        }
    }
    const QByteArray upper = keyword.toByteArray().toUpper();
    return upper == name.toByteArray().toUpper() || upper == shortForm;
}

Parsed refused(int code, const QString& detail) {
    Parsed p;
    p.code = code;
    p.detail = detail;
    return p;
}

struct Param {
    QByteArray text;
    bool quoted = false;
};

// Splits at commas outside quotes. A quote is doubled to stand for itself.
bool split(QByteArrayView rest, std::vector<Param>& params, QString& detail) {
    rest = trimmed(rest);
    if (rest.isEmpty()) {
        return true;
    }
    qsizetype i = 0;
    while (true) {
        while (i < rest.size() && isBlank(rest[i])) {
            ++i;
        }
        Param param;
        if (i < rest.size() && (rest[i] == '"' || rest[i] == '\'')) {
            const char quote = rest[i++];
            bool closed = false;
            while (i < rest.size()) {
                if (rest[i] == quote) {
                    if (i + 1 < rest.size() && rest[i + 1] == quote) {
                        param.text += quote;
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                param.text += rest[i++];
            }
            if (!closed) {
                detail = QStringLiteral("string not closed");
                return false;
            }
            param.quoted = true;
            while (i < rest.size() && isBlank(rest[i])) {
                ++i;
            }
            if (i < rest.size() && rest[i] != ',') {
                detail = QStringLiteral("text after a string");
                return false;
            }
        } else {
            const qsizetype comma = rest.indexOf(',', i);
            const qsizetype end = comma < 0 ? rest.size() : comma;
            param.text = trimmed(rest.sliced(i, end - i)).toByteArray();
            if (param.text.isEmpty()) {
                detail = QStringLiteral("empty parameter");
                return false;
            }
            if (param.text.contains('"') || param.text.contains('\'')) {
                detail = QStringLiteral("quote inside a parameter");
                return false;
            }
            i = end;
        }
        params.push_back(std::move(param));
        if (i >= rest.size()) {
            return true;
        }
        ++i;  // the comma
        if (trimmed(rest.sliced(i)).isEmpty()) {
            detail = QStringLiteral("empty parameter");
            return false;
        }
    }
}

int channelOf(const Param& p) {
    if (p.quoted || p.text.size() != 1) {
        return -1;
    }
    const char c = char(p.text[0] & ~0x20);
    return c >= 'A' && c < 'A' + kChannels ? c - 'A' : -1;
}

int directionOf(const QByteArray& word) {
    const QByteArray w = word.toUpper();
    return w == "+" || w == "CW" ? 1 : w == "-" || w == "CCW" ? -1 : 0;
}

// TIMEOUT=seconds, fractions allowed.
bool timeoutOf(const QByteArray& text, int& ms) {
    const qsizetype eq = text.indexOf('=');
    if (eq < 0 || !matches(trimmed(QByteArrayView(text).first(eq)), "TIMEOUT")) {
        return false;
    }
    bool ok = false;
    const double seconds = trimmed(QByteArrayView(text).sliced(eq + 1)).toByteArray().toDouble(&ok);
    if (!ok || !(seconds > 0) || seconds * 1000 > kMaxWaitMs) {
        return false;
    }
    ms = int(seconds * 1000 + 0.5);
    return ms > 0;
}

// A quoted string of printable characters (a tab is not one).
Parsed badString(const Param& param) {
    if (!param.quoted) {
        return refused(SyntaxError, QStringLiteral("the string must be quoted"));
    }
    for (char ch : param.text) {
        if (ch < 0x20 || ch > 0x7E) {
            return refused(IllegalParameterValue, QStringLiteral("control character in the string"));
        }
    }
    return {};
}

// LAN,"host",port or USB,"port": the link as the Connect dialog's fields give it.
Parsed withLink(Parsed p, const std::vector<Param>& params) {
    const QByteArray kind = params.empty() || params[0].quoted ? QByteArray() : params[0].text.toUpper();
    if (params.empty() || (kind != "LAN" && kind != "USB")) {
        return refused(params.empty() ? MissingParameter : IllegalParameterValue,
                       QStringLiteral("LAN,\"host\",port or USB,\"port\" expected"));
    }
    Link& link = p.command.link;
    link.lan = kind == "LAN";
    const std::size_t count = link.lan ? 3 : 2;
    if (params.size() != count) {
        return refused(params.size() < count ? MissingParameter : ParameterNotAllowed,
                       link.lan ? QStringLiteral("LAN,\"host\",port expected")
                                : QStringLiteral("USB,\"port\" expected"));
    }
    if (const Parsed bad = badString(params[1]); !bad.ok()) {
        return bad;
    }
    if (params[1].text.isEmpty()) {
        return refused(IllegalParameterValue,
                       link.lan ? QStringLiteral("empty host") : QStringLiteral("empty port"));
    }
    if (!link.lan) {
        link.port = params[1].text;
        return p;
    }
    link.host = params[1].text;
    const Whole w = params[2].quoted ? Whole{IllegalParameterValue, 0} : wholeValue(params[2].text);
    if (w.code != NoError) {
        return refused(w.code, QStringLiteral("a port number expected"));
    }
    link.port = QByteArray::number(w.number);
    return p;
}

Parsed withParams(const Entry& entry, const std::vector<Param>& params) {
    Parsed p;
    p.command.verb = entry.verb;
    Command& c = p.command;
    const auto count = params.size();
    const auto addChannel = [&c](int ch) {
        for (const Target& t : c.targets) {
            if (t.ch == ch) {
                return false;
            }
        }
        c.targets.push_back(Target{ch, {}, 0, false});
        return true;
    };
    const auto badChannel = [](const Param& param) {
        return refused(IllegalParameterValue,
                       QStringLiteral("channel %1: A to D expected").arg(QString::fromLatin1(param.text)));
    };
    const QString twice = QStringLiteral("a channel named twice");

    switch (entry.params) {
        case Params::Link:
            return withLink(p, params);
        case Params::None:
            return count == 0 ? p : refused(ParameterNotAllowed, QStringLiteral("no parameter expected"));
        case Params::String:
            if (count == 0) {
                return refused(MissingParameter, QStringLiteral("a quoted string expected"));
            }
            if (count > 1) {
                return refused(ParameterNotAllowed, QStringLiteral("one string expected"));
            }
            if (const Parsed bad = badString(params[0]); !bad.ok()) {
                return bad;
            }
            if (entry.verb != Verb::SystemAuth && params[0].text.isEmpty()) {
                return refused(IllegalParameterValue, QStringLiteral("empty command text"));
            }
            c.text = params[0].text;
            return p;
        case Params::Channel:
            if (count == 0) {
                return refused(MissingParameter, QStringLiteral("a channel expected"));
            }
            if (count > 1) {
                return refused(ParameterNotAllowed, QStringLiteral("one channel expected"));
            }
            if (channelOf(params[0]) < 0) {
                return badChannel(params[0]);
            }
            addChannel(channelOf(params[0]));
            return p;
        case Params::Channels:
        case Params::WaitList:
            for (std::size_t i = 0; i < count; ++i) {
                if (entry.params == Params::WaitList && i + 1 == count && i > 0 &&
                    params[i].text.contains('=')) {
                    if (!timeoutOf(params[i].text, c.timeoutMs)) {
                        return refused(IllegalParameterValue,
                                       QStringLiteral("TIMEOUT=seconds expected, up to 3600"));
                    }
                    break;
                }
                const int ch = channelOf(params[i]);
                if (ch < 0) {
                    return badChannel(params[i]);
                }
                if (!addChannel(ch)) {
                    return refused(IllegalParameterValue, twice);
                }
            }
            if (entry.params == Params::WaitList && c.targets.empty()) {
                return refused(MissingParameter, QStringLiteral("a channel expected"));
            }
            return p;
        case Params::Values:
        case Params::Directions:
        case Params::OnOff:
            if (count == 0 || count % 2 != 0) {
                return refused(MissingParameter, QStringLiteral("channel and value pairs expected"));
            }
            for (std::size_t i = 0; i < count; i += 2) {
                const int ch = channelOf(params[i]);
                if (ch < 0) {
                    return badChannel(params[i]);
                }
                if (!addChannel(ch)) {
                    return refused(IllegalParameterValue, twice);
                }
                const Param& v = params[i + 1];
                Target& t = c.targets.back();
                if (entry.params == Params::Values) {
                    const Whole w = v.quoted ? Whole{IllegalParameterValue, 0} : wholeValue(v.text);
                    if (w.code != NoError) {
                        return refused(
                            w.code,
                            w.code == DataOutOfRange
                                ? QStringLiteral("%1 is out of range").arg(QString::fromLatin1(v.text))
                                : QStringLiteral("a whole number expected"));
                    }
                    t.number = w.number;
                    t.value = QByteArray::number(w.number);
                } else if (entry.params == Params::Directions) {
                    t.direction = v.quoted ? 0 : directionOf(v.text);
                    if (t.direction == 0) {
                        return refused(IllegalParameterValue, QStringLiteral("+, -, CW or CCW expected"));
                    }
                } else {
                    const QByteArray w = v.text.toUpper();
                    if (v.quoted || (w != "ON" && w != "OFF" && w != "1" && w != "0")) {
                        return refused(IllegalParameterValue, QStringLiteral("ON or OFF expected"));
                    }
                    t.on = w == "ON" || w == "1";
                }
            }
            return p;
        case Params::SpeedWord: {
            if (count != 1) {
                return refused(count == 0 ? MissingParameter : ParameterNotAllowed,
                               QStringLiteral("one of H, M, L expected"));
            }
            const QByteArray w = params[0].quoted ? QByteArray() : params[0].text.toUpper();
            c.speed = (w == "H" || w == "HIGH")     ? 0
                      : (w == "M" || w == "MEDIUM") ? 1
                      : (w == "L" || w == "LOW")    ? 2
                                                    : -1;
            if (c.speed < 0) {
                return refused(IllegalParameterValue, QStringLiteral("one of H, M, L expected"));
            }
            return p;
        }
    }
    return p;
}

}  // namespace

bool Parsed::query() const {
    for (const Entry& e : kTree) {
        if (e.verb == command.verb) {
            return e.form == Form::Query;
        }
    }
    return false;
}

Parsed parse(QByteArrayView line) {
    if (line.size() > kMaxLine) {
        return refused(TooMuchData, QStringLiteral("line longer than 4096 bytes"));
    }
    for (char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u > 0x7E) {
            return refused(InvalidCharacter, QStringLiteral("byte 0x%1").arg(u, 2, 16, QLatin1Char('0')));
        }
    }
    line = trimmed(line);
    if (line.isEmpty()) {
        return refused(CommandError, QStringLiteral("empty command"));
    }
    qsizetype end = 0;
    while (end < line.size() && !isBlank(line[end])) {
        ++end;
    }
    QByteArrayView header = line.first(end);
    const bool query = header.endsWith('?');
    if (query) {
        header.chop(1);
    }
    if (header.startsWith(':')) {
        header = header.sliced(1);
    }
    if (header.isEmpty() || header.contains('?')) {
        return refused(SyntaxError, QStringLiteral("malformed header"));
    }
    std::vector<QByteArrayView> keywords;
    qsizetype from = 0;
    while (true) {
        const qsizetype colon = header.indexOf(':', from);
        keywords.push_back(header.sliced(from, (colon < 0 ? header.size() : colon) - from));
        if (colon < 0) {
            break;
        }
        from = colon + 1;
    }
    for (QByteArrayView k : keywords) {
        if (k.isEmpty() || keywords.size() > 2) {
            return refused(keywords.size() > 2 ? UndefinedHeader : SyntaxError,
                           QStringLiteral("header %1").arg(QString::fromLatin1(header)));
        }
    }
    const Entry* named = nullptr;
    for (const Entry& e : kTree) {
        const std::size_t depth = e.keywords[1] == nullptr ? 1 : 2;
        if (depth != keywords.size() || !matches(keywords[0], e.keywords[0]) ||
            (depth == 2 && !matches(keywords[1], e.keywords[1]))) {
            continue;
        }
        named = &e;
        if (query != (e.form == Form::Query)) {
            continue;  // *OPC has both forms
        }
        std::vector<Param> params;
        QString detail;
        if (!split(line.sliced(end), params, detail)) {
            return refused(SyntaxError, detail);
        }
        return withParams(e, params);
    }
    if (named != nullptr) {
        return refused(CommandError,
                       query ? QStringLiteral("no query form") : QStringLiteral("query only: add ?"));
    }
    return refused(UndefinedHeader, QStringLiteral("header %1").arg(QString::fromLatin1(header)));
}

}  // namespace Scpi
