#include "keyjog.h"

#include "operatorcommands.h"
#include "panelstate.h"

KeyJog::KeyJog(PanelState& state, OperatorCommands& commands) : state_(state), commands_(commands) {}

void KeyJog::stopped() {
    stoppedHold_ = true;
    sinceLast_.start();
}

void KeyJog::pressed(bool cw) {
    const bool released = !sinceLast_.isValid() || sinceLast_.elapsed() > kReleasedMs;
    sinceLast_.start();
    if (blocked_ || (stoppedHold_ && !released)) {
        return;
    }
    stoppedHold_ = false;
    std::uint8_t settled = 0;
    for (int ch = 0; ch < 4; ++ch) {
        settled |= std::uint8_t(state_.Axes.settled(ch) ? 1u << ch : 0u);
    }
    if (settled != 0) {
        commands_.Jog(cw, settled);
    }
}
