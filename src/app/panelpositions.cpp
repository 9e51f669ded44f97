#include "panelpositions.h"

#include "mainwindow.h"
#include "operatorcommands.h"
#include "panelstate.h"

PanelPositions::PanelPositions(PanelState& state, MainWindow& window, OperatorCommands& commands)
    : state_(state), window_(window), commands_(commands) {}

PositionsTarget::Positions PanelPositions::currentPositions() const {
    Positions now{};
    if (!state_.Connected || state_.LastChannel == 0) {
        return now;
    }
    for (int ch = 0; ch <= state_.LastChannel; ++ch) {
        const AxisReport& r = state_.Axes.report(ch);
        if (r.polls > 0) {
            now[size_t(ch)] = r.position;
        }
    }
    return now;
}

void PanelPositions::recall(const Positions& positions) {
    for (int ch = 0; ch < 4; ++ch) {
        // A channel the identified model lacks is left alone.
        const bool wanted =
            positions[size_t(ch)].has_value() && (state_.LastChannel == 0 || ch <= state_.LastChannel);
        if (wanted) {
            window_.setSetData(ch, QString::number(*positions[size_t(ch)]));
        }
        // Exactly these channels selected, as their Ch buttons would select them.
        if ((state_.ChannelSelected[ch] != 0) != wanted) {
            commands_.ChannelClicked(ch);
        }
    }
    window_.setControlMode(OperatorCommands::ModeAbs);
}
