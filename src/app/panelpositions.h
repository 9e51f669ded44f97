#pragma once

#include "positionstarget.h"

class MainWindow;
class OperatorCommands;
struct PanelState;

// The Positions window's way into the panel: positions from the axis book, a recall through the
// main window's own controls, as the operator would set them.
class PanelPositions : public PositionsTarget {
public:
    PanelPositions(PanelState& state, MainWindow& window, OperatorCommands& commands);

    Positions currentPositions() const override;
    void recall(const Positions& positions) override;

private:
    PanelState& state_;
    MainWindow& window_;
    OperatorCommands& commands_;
};
