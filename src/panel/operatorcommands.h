#pragma once

#include <QObject>
#include <cstdint>
#include <optional>

class CommandLink;
class IntervalTimer;
class MainView;
class MessageSink;
class ScriptMoves;
enum class MoveKind : std::uint8_t;
struct PanelState;

// What the main window's buttons do. Most handlers send one short command per selected channel
// at once (channels A to D in order); preset and moves only raise request flags for the tick.
class OperatorCommands : public QObject {
    Q_OBJECT
public:
    enum Mode { ModeHp = 0, ModeRel = 1, ModeAbs = 2, ModeScn = 3 };

    OperatorCommands(PanelState& state, MainView& view, CommandLink& link, MessageSink& messages,
                     IntervalTimer& timer2, ScriptMoves& script, QObject* parent = nullptr);

    void ChannelClicked(int ch);
    // "+" or "-": for every selected channel; `only` leaves out the channels whose bit is clear.
    void Jog(bool cw, std::uint8_t only = 0x0F);
    void Preset();
    void Start();
    // Stop, from its button or from the Esc key; the two are told apart in the moves' outcomes.
    void Stop(bool esc = false);
    void SpeedChosen(int k);
    void HoldOffClicked(int ch);
    void SetupClicked();
    void SendTextChanged();
    void ClearReceived();

    // The command texts the buttons send, CR LF included; the automation port sends the same.
    static QByteArray ChannelCommand(int ch, const char* code);  // "S3" + channel digit + code
    static QByteArray JogCommand(int ch, bool cw) { return ChannelCommand(ch, cw ? "08" : "09"); }
    static QByteArray HomeCommand(int ch, bool cw) { return ChannelCommand(ch, cw ? "1E" : "1F"); }
    static QByteArray ScanCommand(int ch, bool cw) { return ChannelCommand(ch, cw ? "0E" : "0F"); }
    static QByteArray StopCommand(int ch) { return ChannelCommand(ch, "40"); }
    // "18" holds the channel off, "19" releases it.
    static QByteArray HoldOffCommand(int ch, bool holdOff) {
        return ChannelCommand(ch, holdOff ? "18" : "19");
    }
    static QByteArray SpeedCommand(int k);  // k: 0 H, 1 M, 2 L; empty for any other

signals:
    // The setup window is to be shown (polling has been paused).
    void setupRequested();

private:
    // "S3" + channel digit + code for every selected channel; a jog, home search or scan is entered
    // in the axis book as it goes out.
    void sendToSelected(const char* code, std::optional<MoveKind> kind = std::nullopt,
                        std::uint8_t only = 0x0F);
    void disarm();

    PanelState& state_;
    MainView& view_;
    CommandLink& link_;
    MessageSink& messages_;
    IntervalTimer& timer2_;
    ScriptMoves& script_;
};
