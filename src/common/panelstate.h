#pragma once

#include "axisbook.h"

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <deque>

// Everything the panel's procedures share, in one place. One instance is owned by the
// application and handed by reference to the classes that need it; a test builds a fresh one.
// Channel arrays have five entries (A to D at 0 to 3) because the controller firmware's
// channel masks leave room for a fifth; only 0 to 3 are used.
struct PanelState {
    // Session
    bool Connected = false;
    QString HostName;
    int PortNo = 0;

    // Polling cycle
    int PollStep = 0;
    int AwaitingReply = 0;  // 1 while a command of the cycle (or a table query) is outstanding
    int PendingFreeText = 0;
    int ReplyWaitTicks = 0;
    int TimeoutCount = 0;
    // Every time-out the tick has counted since the program started; only the instruments read
    // it (TimeoutCount is cleared by each reply, so it cannot say how many there were).
    int TimeoutsSeen = 0;

    // Operator selection
    std::array<int, 5> ChannelSelected{};  // 0 or 1
    int ScanArmed = 0;
    // The speed option last chosen (0 H, 1 M, 2 L), by a click, the controller's report or a script;
    // M is the window's design state.
    int SpeedSelected = 1;

    // Identified model; kept across disconnects
    bool UsbModel = false;
    bool FourChModel = false;
    int LastChannel = 0;
    QString Firmware;  // the version reply that identified it

    // Reported per-channel state, as the sequencer works with it (the demonstration drive clears a
    // stop condition at its start); what the controller said is kept in the axis book.
    std::array<int, 5> HoldOff{};  // 1 or 0
    std::array<bool, 5> ChannelBusy{};
    std::array<bool, 5> ChannelStopCondition{};

    // Motion requests, served by the polling tick
    std::uint8_t DemoFlags = 0;
    std::uint16_t PresetMask = 0;
    std::uint16_t RelMoveFlags = 0;
    std::uint16_t AbsMoveFlags = 0;
    std::array<bool, 5> DemoReverse{};
    std::array<bool, 5> DemoLegPending{};
    std::array<bool, 5> DemoHaltMuted{};

    // Parameter table read and write
    int TableStep = 0;
    int TableChannel = 0;
    // Published by the table read: true exactly while its timer runs. While set, every reply is
    // a table value.
    bool TableReading = false;
    // Published by the table write in the same way: true exactly while its timer runs.
    bool TableWriting = false;

    // The automation port's motions, from any number of clients: request words of their own, laid
    // out as the operator's (bits 0-3 channels still to send, bit 6 closing "S3017" still to send,
    // bit 7 opening "S3016" still to send), served in the order they came by the tick after the
    // operator's words, one whole word (its bracket closed) before the next. Values are the
    // script's, never the set-data boxes'.
    struct ScriptMoveWord {
        MoveKind kind = MoveKind::Relative;
        std::uint16_t flags = 0;    // none pending when 0
        std::uint8_t channels = 0;  // every channel it was asked for
        bool begun = false;         // some of it has gone out
        int client = 0;
        std::array<QString, 4> value{};  // a preset's or move's
        std::array<bool, 4> cw{};        // a jog's, home search's or scan's way
        std::array<quint64, 4> move{};   // each channel's move in the axis book
        std::uint8_t held = 0;           // channels whose command went out inside its bracket
    };
    std::deque<ScriptMoveWord> ScriptQueue;
    // A raw query of the automation port through the tick's free-text step; its reply is kept
    // here and never reaches the receive box.
    enum class ScriptAsk { None, Pending, Sent, Answered, TimedOut };
    ScriptAsk ScriptAskState = ScriptAsk::None;
    QByteArray ScriptAskText;   // without CR LF
    QByteArray ScriptAskReply;  // CR LF pairs removed

    // What the controller last reported per channel, each channel's moves and their outcomes.
    AxisBook Axes;

    // Receive buffers; they survive disconnects on purpose (a partial reply joins the next data).
    QByteArray NetRxBuffer;
    QByteArray UsbRxBuffer;
};
