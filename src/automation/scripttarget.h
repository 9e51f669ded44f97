#pragma once

#include <QByteArray>
#include <QString>
#include <array>

// What the automation port may ask of the panel. The application implements it with the panel's
// own handlers and command builders; the queries read what the polling has already brought in,
// so they add no wire traffic. Channels are 0 to 3.
class ScriptTarget {
public:
    struct Report {
        bool busy = false;  // the network model reports none
        bool cw = false;
        bool ccw = false;
        bool hp = false;
        bool hold = false;
        bool stop = false;
    };
    enum class Move { Preset, Relative, Absolute };
    enum class Motion { Jog, Home, Scan };
    enum class AskState { None, Waiting, Answered, TimedOut };

    virtual ~ScriptTarget() = default;

    virtual bool connected() const = 0;
    virtual bool setupOpen() const = 0;
    virtual QString model() const = 0;           // "KELDA-01", "RUNEL-01", "VASKO-01" or "NONE"
    virtual QString firmware() const = 0;        // the version reply, empty before one came
    virtual int channels() const = 0;            // of the identified model, 0 before
    virtual bool reportsBusy() const = 0;        // the USB models do
    virtual QString position(int ch) const = 0;  // as the window shows it
    virtual Report report(int ch) const = 0;

    // A script's preset or move with commands still to go, for the channel or for any.
    virtual bool movePending(int ch) const = 0;
    virtual bool movePending() const = 0;

    // `given[ch]` says which channels take part, `values[ch]` their value texts.
    virtual void requestMove(Move kind, const std::array<QString, 4>& values,
                             const std::array<bool, 4>& given) = 0;
    virtual void cancelMoves() = 0;  // the script's unsent requests only
    virtual void motion(Motion kind, int ch, bool cw) = 0;
    virtual void stop(int ch) = 0;
    virtual void endDemo() = 0;     // as Stop ends a running demonstration drive
    virtual void speed(int k) = 0;  // 0 H, 1 M, 2 L
    virtual void hold(int ch, bool holdOff) = 0;
    virtual void send(const QByteArray& text) = 0;  // without CR LF

    // One raw query at a time through the tick's free-text step.
    virtual bool ask(const QByteArray& text) = 0;  // false when one is outstanding
    virtual AskState askState() const = 0;
    virtual QByteArray takeAnswer() = 0;  // the reply, and the state back to None
    virtual void dropAsk() = 0;
};
