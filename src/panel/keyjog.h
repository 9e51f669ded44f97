#pragma once

#include <QElapsedTimer>
#include <cstdint>

class OperatorCommands;
struct PanelState;

// Ctrl+Right and Ctrl+Left: the "+" and "-" buttons from the keyboard, safe to hold. Every press,
// the keyboard's repeats included, jogs the selected channels that have been seen to stand (the
// controller reports them idle, or their position unchanged for a poll): a channel's next jog goes
// out only once its last one has ended, the controller never queues jogs, and releasing the keys
// ends motion within one jog step, however long they were held. The command per channel is the
// button's own, armed home search and scan included.
class KeyJog {
public:
    // Quiet for this long, the keys have been released (repeats come every 25 to 40 ms).
    static constexpr qint64 kReleasedMs = 250;

    KeyJog(PanelState& state, OperatorCommands& commands);

    void pressed(bool cw);
    // Stop (its button or Esc) ends a hold: keys still down jog again only once released.
    void stopped();
    // While the setup window is open the keys do nothing.
    void setBlocked(bool blocked) { blocked_ = blocked; }

private:
    PanelState& state_;
    OperatorCommands& commands_;
    QElapsedTimer sinceLast_;
    bool stoppedHold_ = false;
    bool blocked_ = false;
};
