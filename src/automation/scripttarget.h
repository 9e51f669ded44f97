#pragma once

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>

#include "channelunits.h"

class AxisBook;
enum class MoveKind : std::uint8_t;

// What the automation port may ask of the panel. The application implements it with the panel's
// own handlers and command builders; the queries read the axis book, so they add no wire traffic.
// Channels are 0 to 3. A call that sends returns false when the send failed: the session has then
// ended and the operator has been told, in a box whose event loop has run meanwhile.
class ScriptTarget {
public:
    enum class AskState { None, Waiting, Answered, TimedOut };

    virtual ~ScriptTarget() = default;

    virtual bool connected() const = 0;
    virtual bool setupOpen() const = 0;
    virtual bool demoRunning() const = 0;
    virtual QString model() const = 0;      // "KELDA-01", "RUNEL-01", "VASKO-01" or "NONE"
    virtual QString firmware() const = 0;   // the version reply, empty before one came
    virtual int channels() const = 0;       // of the identified model, 0 before
    virtual int selectedSpeed() const = 0;  // 0 H, 1 M, 2 L: one for the whole controller
    virtual const AxisBook& axes() const = 0;
    // The channel's pulses per unit and unit name as the operator set them in the chart.
    virtual ChannelUnit unit(int ch) const = 0;

    // The operator's preset or move of the channel is still being sent.
    virtual bool operatorSequencing(int ch) const = 0;
    // Scripts' motions still have commands to send.
    virtual bool scriptMovePending() const = 0;

    // A preset, relative or absolute move (`values[ch]`), or a jog, home search or scan (`cw[ch]`):
    // `given[ch]` says which channels take part; accepted now, sent by the following ticks.
    virtual void requestMove(MoveKind kind, const std::array<QString, 4>& values,
                             const std::array<bool, 4>& cw, const std::array<bool, 4>& given, int client) = 0;
    // Drops what the scripts' motions of `client` (0: anybody's) on `channels` still had to send,
    // and closes a bracket that has gone out first. False when the closing line could not be sent.
    virtual bool cutScriptMoves(const QString& why, int client = 0, unsigned channels = 0x0F) = 0;
    // The same without sending anything, for when nothing may be sent (an open setup window).
    virtual void dropScriptMoves(const QString& why, int client = 0) = 0;
    virtual bool stop(int ch, const QString& why) = 0;
    virtual void endDemo() = 0;     // as Stop ends a running demonstration drive
    virtual bool speed(int k) = 0;  // 0 H, 1 M, 2 L
    virtual bool hold(int ch, bool holdOff, const QString& why) = 0;
    virtual bool send(const QByteArray& text) = 0;  // without CR LF

    // One raw query at a time through the tick's free-text step.
    virtual bool ask(const QByteArray& text) = 0;  // false when one is outstanding
    virtual AskState askState() const = 0;
    virtual QByteArray takeAnswer() = 0;  // the reply, and the state back to None
    virtual void dropAsk() = 0;
};
