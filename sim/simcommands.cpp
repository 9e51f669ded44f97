#include "simcommands.h"

#include "simformat.h"

using SimFormat::hexPadded;
using SimFormat::signedPadded;
using SimFormat::unsignedPadded;
using Match = QRegularExpressionMatch;
using Kind = SimMotionRequest::Kind;

namespace {
// Positions, soft limits and move distances fit the seven-digit field of the replies.
constexpr qint64 kPositionLimit = 9'999'999;
constexpr qint64 kBacklashLimit = 9'999;
constexpr qint64 kSpeedLimit = 999'999;
// Stands in a pattern for a signed whole number, optionally with a fraction (rounded), as the
// panel may pass on what the operator typed.
constexpr QLatin1StringView kValueMark("{V}");
constexpr QLatin1StringView kValuePattern("([+-]?[0-9]+(?:\\.[0-9]*)?)");

QByteArray cap(const Match& m, int group) {
    return m.captured(group).toLatin1();
}
}  // namespace

SimCommands::SimCommands(SimMachine& machine) : m_machine(machine) {
    addQueries();
    addMotion();
    addTable();
}

qint64 SimCommands::codeFromPps(qint64 pps) {
    return std::min<qint64>(999, (pps + 5) / 10);
}

void SimCommands::add(const char* pattern, int dialects, Handler handler) {
    const QString expanded = QString::fromLatin1(pattern).replace(kValueMark, kValuePattern);
    m_rules.append(Rule{QRegularExpression(QRegularExpression::anchoredPattern(expanded)), dialects,
                        std::move(handler)});
}

SimReply SimCommands::execute(const QByteArray& line, qint64 nowUs) {
    const int dialect = m_machine.model().usbDialect ? Usb : Network;
    const QString text = QString::fromLatin1(line);
    for (const Rule& rule : m_rules) {
        if (!(rule.dialects & dialect)) {
            continue;
        }
        const Match m = rule.pattern.match(text);
        if (m.hasMatch()) {
            return rule.handler(m, nowUs);
        }
    }
    return SimReply::error();
}

SimChannel* SimCommands::channelAt(const Match& m, int group) {
    const int index = m.captured(group).toInt();
    return index < m_machine.channelCount() ? &m_machine.channel(index) : nullptr;
}

SimReply SimCommands::motion(int channel, const SimMotionRequest& request, qint64 nowUs) {
    if (channel >= m_machine.channelCount() || m_machine.motionRefused()) {
        return SimReply::error();
    }
    return m_machine.submit(channel, request, nowUs) == SimStart::Started ? SimReply::done()
                                                                          : SimReply::refused();
}

SimReply SimCommands::positionReply(SimChannel& c, int index, qint64 nowUs) const {
    // The network layout carries a two-character head ("P0") before the signed position; the USB
    // layout is the signed position alone, which the panel shows whole.
    const QByteArray position = signedPadded(c.position(nowUs), 7);
    if (m_machine.model().usbDialect) {
        return SimReply::reply(position);
    }
    return SimReply::reply("P" + QByteArray::number(index) + position);
}

qint64* SimCommands::speedField(SimChannel& c, char speedLetter) const {
    switch (speedLetter) {
        case 'H':
            return &c.table.hspd;
        case 'M':
            return &c.table.mspd;
        default:
            return &c.table.lspd;
    }
}

void SimCommands::addQueries() {
    add("VER\\?", Both, [this](const Match&, qint64) { return SimReply::reply(m_machine.model().version); });
    add("S48", Both, [this](const Match&, qint64) {
        // The sixth character tells the speed: 1 L, 2 M, 3 H. Seven characters on the two-channel
        // models, nine on the four-channel one.
        const char digit = m_machine.speed() == SimMachine::Speed::Low      ? '1'
                           : m_machine.speed() == SimMachine::Speed::Middle ? '2'
                                                                            : '3';
        const QByteArray tail = m_machine.channelCount() == 4 ? "000" : "0";
        return SimReply::reply(QByteArray("S48=0") + digit + tail);
    });
    add("S71([HML])", Both, [this](const Match& m, qint64) {
        const QChar s = m.captured(1).at(0);
        m_machine.setSpeed(s == u'H'   ? SimMachine::Speed::High
                           : s == u'M' ? SimMachine::Speed::Middle
                                       : SimMachine::Speed::Low);
        return SimReply::done();
    });
    add("S2([0-9])0", Both, [this](const Match& m, qint64 now) {
        SimChannel* c = channelAt(m, 1);
        return c ? positionReply(*c, m.captured(1).toInt(), now) : SimReply::error();
    });
    add("S2([0-9])2", Both, [this](const Match& m, qint64 now) {
        SimChannel* c = channelAt(m, 1);
        return c ? SimReply::reply("L" + cap(m, 1) + hexPadded(c->lampDigit(now), 1)) : SimReply::error();
    });
    add("STS([0-9])\\?", Usb, [this](const Match& m, qint64 now) {
        SimChannel* c = channelAt(m, 1);
        if (!c) {
            return SimReply::error();
        }
        const quint16 status = c->status(now);
        return SimReply::reply("ST" + cap(m, 1) + hexPadded(status, 3) + signedPadded(c->position(now), 7));
    });
    add("PS\\?([0-9])", Usb, [this](const Match& m, qint64 now) {
        SimChannel* c = channelAt(m, 1);
        return c ? SimReply::reply(signedPadded(c->position(now), 7)) : SimReply::error();
    });
}

void SimCommands::addMotion() {
    add("S3([0-9])(08|09|1E|1F|0E|0F|40|18|19|16|17)", Both, [this](const Match& m, qint64 now) {
        const QString code = m.captured(2);
        // The bracket codes belong to the controller as a whole, whatever the channel digit.
        if (code == u"16") {
            m_machine.openBracket();
            return SimReply::done();
        }
        if (code == u"17") {
            m_machine.closeBracket(now);
            return SimReply::done();
        }
        const int ch = m.captured(1).toInt();
        if (ch >= m_machine.channelCount()) {
            return SimReply::error();
        }
        if (code == u"40") {
            m_machine.stop(ch, now);
            return SimReply::done();
        }
        if (code == u"18" || code == u"19") {
            m_machine.channel(ch).setHoldOff(code == u"18", now);
            return SimReply::done();
        }
        // 08/09 jog, 1E/1F home search, 0E/0F scan; the even code or E goes CW.
        SimMotionRequest r;
        r.direction = code.endsWith(u'8') || code.endsWith(u'E') ? 1 : -1;
        r.kind = code.startsWith(u'1')                        ? Kind::HomeSearch
                 : code.endsWith(u'8') || code.endsWith(u'9') ? Kind::Jog
                                                              : Kind::Scan;
        r.value = m_machine.jogStep();
        return motion(ch, r, now);
    });
    add("(REL|ABS)([0-9])(B?){V}", Usb, [this](const Match& m, qint64 now) {
        const auto value = SimFormat::parseWhole(cap(m, 4), kPositionLimit);
        if (!value) {
            return SimReply::error();
        }
        SimMotionRequest r;
        r.kind = m.captured(1) == u"REL" ? Kind::Relative : Kind::Absolute;
        r.value = *value;
        r.backlash = !m.captured(3).isEmpty();
        return motion(m.captured(2).toInt(), r, now);
    });
    add("S3([23])([RA]){V}(B?)", Network, [this](const Match& m, qint64 now) {
        const auto value = SimFormat::parseWhole(cap(m, 3), kPositionLimit);
        if (!value) {
            return SimReply::error();
        }
        SimMotionRequest r;
        r.kind = m.captured(2) == u"R" ? Kind::Relative : Kind::Absolute;
        r.value = *value;
        r.backlash = !m.captured(4).isEmpty();
        return motion(m.captured(1).toInt() - 2, r, now);
    });
    const auto preset = [this](const Match& m, qint64 now) {
        SimChannel* c = channelAt(m, 1);
        const auto value = SimFormat::parseWhole(cap(m, 2), kPositionLimit);
        if (!c || !value) {
            return SimReply::error();
        }
        return c->preset(*value, now) ? SimReply::done() : SimReply::refused();
    };
    add("PS([0-9]){V}", Usb, preset);
    add("S39([0-9])9{V}", Network, preset);
}

void SimCommands::addTable() {
    // Soft (DGLS) limits: FL is the CW limit, BL the CCW limit.
    const auto softField = [](SimChannel& c, const QString& which) {
        return which == u"FL" ? &c.table.cwSoftLimit : &c.table.ccwSoftLimit;
    };
    const auto softRead = [this, softField](int chGroup, int whichGroup) {
        return [=, this](const Match& m, qint64) {
            SimChannel* c = channelAt(m, chGroup);
            return c ? SimReply::reply(signedPadded(*softField(*c, m.captured(whichGroup)), 7))
                     : SimReply::error();
        };
    };
    const auto softWrite = [this, softField](int chGroup, int whichGroup, int valueGroup) {
        return [=, this](const Match& m, qint64) {
            SimChannel* c = channelAt(m, chGroup);
            const auto value = SimFormat::parseWhole(cap(m, valueGroup), kPositionLimit);
            if (!c || !value) {
                return SimReply::error();
            }
            *softField(*c, m.captured(whichGroup)) = *value;
            return SimReply::done();
        };
    };
    add("(FL|BL)\\?([0-9])", Usb, softRead(2, 1));
    add("(FL|BL)([0-9]){V}", Usb, softWrite(2, 1, 3));
    add("S4([0-9])(FL|BL)", Network, softRead(1, 2));
    add("S5([0-9])(FL|BL){V}", Network, softWrite(1, 2, 3));

    // Speeds in pulses per second: plain number on USB, a letter and six digits on the network.
    add("SPD([HML])\\?([0-9])", Usb, [this](const Match& m, qint64) {
        SimChannel* c = channelAt(m, 2);
        return c ? SimReply::reply(QByteArray::number(*speedField(*c, cap(m, 1).at(0)))) : SimReply::error();
    });
    add("SPD([HML])([0-9])(.+)", Usb, [this](const Match& m, qint64) {
        SimChannel* c = channelAt(m, 2);
        const auto value = SimFormat::parseWhole(cap(m, 3), kSpeedLimit);
        if (!c || !value || *value < 0) {
            return SimReply::error();
        }
        *speedField(*c, cap(m, 1).at(0)) = *value;
        return SimReply::done();
    });
    add("SP([HML])\\?([0-9])", Network, [this](const Match& m, qint64) {
        SimChannel* c = channelAt(m, 2);
        return c ? SimReply::reply(cap(m, 1) + unsignedPadded(*speedField(*c, cap(m, 1).at(0)), 6))
                 : SimReply::error();
    });
    add("SP([HML])([0-9])([0-9]{1,6})", Network, [this](const Match& m, qint64) {
        SimChannel* c = channelAt(m, 2);
        if (!c) {
            return SimReply::error();
        }
        *speedField(*c, cap(m, 1).at(0)) = m.captured(3).toLongLong();
        return SimReply::done();
    });
    // Speed codes: "S4"n"0"/"1"/"2" answers a head of three characters, then four digits.
    add("S4([0-9])([012])", Both, [this](const Match& m, qint64) {
        SimChannel* c = channelAt(m, 1);
        if (!c) {
            return SimReply::error();
        }
        const char letter = "HML"[m.captured(2).toInt()];
        return SimReply::reply("C" + cap(m, 1) + letter +
                               unsignedPadded(codeFromPps(*speedField(*c, letter)), 4));
    });
    add("S39([0-9])([012])([0-9]{1,3})", Both, [this](const Match& m, qint64) {
        SimChannel* c = channelAt(m, 1);
        if (!c) {
            return SimReply::error();
        }
        *speedField(*c, "HML"[m.captured(2).toInt()]) = ppsFromCode(m.captured(3).toLongLong());
        return SimReply::done();
    });

    add("S4([0-9])3", Both, [this](const Match& m, qint64) {
        SimChannel* c = channelAt(m, 1);
        return c ? SimReply::reply("RT" + cap(m, 1) + ":" + unsignedPadded(c->table.rate, 3))
                 : SimReply::error();
    });
    const auto rateWrite = [this](const Match& m, qint64) {
        SimChannel* c = channelAt(m, 1);
        if (!c) {
            return SimReply::error();
        }
        c->table.rate = m.captured(2).toInt();
        return SimReply::done();
    };
    add("RTE([0-9])([0-9]{1,3})", Usb, rateWrite);
    add("S39([0-9])3([0-9]{1,2})", Network, rateWrite);

    add("B([0-9])\\?", Both, [this](const Match& m, qint64) {
        SimChannel* c = channelAt(m, 1);
        return c ? SimReply::reply(signedPadded(c->table.backlash, 4)) : SimReply::error();
    });
    add("B([0-9]){V}", Both, [this](const Match& m, qint64) {
        SimChannel* c = channelAt(m, 1);
        const auto value = SimFormat::parseWhole(cap(m, 2), kBacklashLimit);
        if (!c || !value) {
            return SimReply::error();
        }
        c->table.backlash = *value;
        return SimReply::done();
    });

    add("S4([0-9])5", Both, [this](const Match& m, qint64) {
        SimChannel* c = channelAt(m, 1);
        return c ? SimReply::reply("FLG" + cap(m, 1) + ":" + hexPadded(c->table.flags, 2))
                 : SimReply::error();
    });
    add("S39([0-9])6([0-9A-F]{1,2})", Both, [this](const Match& m, qint64) {
        SimChannel* c = channelAt(m, 1);
        if (!c) {
            return SimReply::error();
        }
        c->table.flags = static_cast<quint8>(m.captured(2).toUInt(nullptr, 16));
        return SimReply::done();
    });

    // Limit-switch masks: two hex digits on the two-channel models, four on the four-channel one.
    const auto maskDigits = [this] { return m_machine.channelCount() == 4 ? 4 : 2; };
    add("LSEN\\?", Both, [this, maskDigits](const Match&, qint64) {
        return SimReply::reply("E" + hexPadded(m_machine.switchEnable(), maskDigits()));
    });
    add("LSIV\\?", Both, [this, maskDigits](const Match&, qint64) {
        return SimReply::reply("I" + hexPadded(m_machine.switchInvert(), maskDigits()));
    });
    add("LSEN([0-9A-F]{2}|[0-9A-F]{4})", Both, [this](const Match& m, qint64) {
        m_machine.setSwitchEnable(static_cast<quint16>(m.captured(1).toUInt(nullptr, 16)));
        return SimReply::done();
    });
    add("LSIV([0-9A-F]{2}|[0-9A-F]{4})", Both, [this](const Match& m, qint64) {
        m_machine.setSwitchInvert(static_cast<quint16>(m.captured(1).toUInt(nullptr, 16)));
        return SimReply::done();
    });
}
