#pragma once

#include "channelunits.h"
#include "positionhistory.h"

#include <QWidget>

class MessageSink;
class PositionChart;
class QCheckBox;
class QPushButton;

// The live position chart's window: the legend, autoscale, pause and the units above the chart.
class ChartWindow : public QWidget {
    Q_OBJECT
public:
    ChartWindow(const PositionHistory& history, ChannelUnits& units, MessageSink& messages,
                QWidget* parent = nullptr);

    PositionChart& chart() { return *chart_; }
    // Where the units are kept; empty: not kept (the Units... button still sets them).
    void setUnitsFile(const QString& path) { unitsFile_ = path; }
    // Units... : the dialog, then the units taken and kept.
    void editUnits();

signals:
    void unitsChanged();

private:
    ChannelUnits& units_;
    MessageSink& messages_;
    QString unitsFile_;
    PositionChart* chart_ = nullptr;
    QCheckBox* autoscale_ = nullptr;
    QPushButton* pause_ = nullptr;
};
