#pragma once

#include <QtGlobal>
#include <array>
#include <optional>

// What the Positions window asks of the panel; the application implements it with the axis book
// and the main window's own controls.
class PositionsTarget {
public:
    using Positions = std::array<std::optional<qint64>, 4>;

    virtual ~PositionsTarget() = default;
    // The position of every channel polled in the session now open; none for the others.
    virtual Positions currentPositions() const = 0;
    // Fills the set-data boxes of the channels that have a position, selects exactly those
    // channels and sets mode ABS: the operator's Start then goes there.
    virtual void recall(const Positions& positions) = 0;
};
