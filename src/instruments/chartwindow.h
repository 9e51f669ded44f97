#pragma once

#include "positionhistory.h"

#include <QWidget>

class PositionChart;
class QCheckBox;
class QPushButton;

// The live position chart's window: the legend, autoscale and pause above the chart.
class ChartWindow : public QWidget {
    Q_OBJECT
public:
    explicit ChartWindow(const PositionHistory& history, QWidget* parent = nullptr);

    PositionChart& chart() { return *chart_; }

private:
    PositionChart* chart_ = nullptr;
    QCheckBox* autoscale_ = nullptr;
    QPushButton* pause_ = nullptr;
};
