#pragma once

#include "chartwindow.h"
#include "positionhistory.h"
#include "statusfigures.h"
#include "trafficmonitor.h"
#include "trafficrecorder.h"

#include <QObject>
#include <memory>

class CommandChannel;
class MessageSink;
class PanelView;
class QMainWindow;
class Session;
class StatusStrip;
struct PanelState;

// The operator's instruments, beside the panel and changing none of it: the traffic recorder
// and its monitor, the status bar's figures, and the position history with its chart. They only
// watch: the command channel's signals, and the positions and lamps the axis book records (given
// to positionShown and lampChanged by the application).
class Instruments : public QObject {
    Q_OBJECT
public:
    Instruments(const PanelState& state, CommandChannel& channel, Session& session, const PanelView& view,
                MessageSink& messages, MsClock clock = steadyWallClock(), QObject* parent = nullptr);
    ~Instruments() override;

    // The status strip into the window's status bar, and Ctrl+T / Ctrl+G on the window.
    void install(QMainWindow& window);
    void showTraffic();
    void showChart();

    // What the main window shows.
    void positionShown(int ch, const QString& text);
    void lampChanged(int ch, PositionHistory::Mark mark, bool lit);

    // The chart's units, loaded from and kept in `path` (reported when the file is damaged).
    void setUnitsFile(const QString& path);

    MsClock clock;
    TrafficRecorder recorder;
    StatusFigures figures;
    PositionHistory history;
    ChannelUnits units;

    TrafficMonitor& monitor() { return *monitor_; }
    ChartWindow& chart() { return *chart_; }
    StatusStrip* strip() const { return strip_; }

private:
    const PanelState& state_;
    CommandChannel& channel_;
    const PanelView& view_;
    MessageSink& messages_;
    std::unique_ptr<TrafficMonitor> monitor_;
    std::unique_ptr<ChartWindow> chart_;
    StatusStrip* strip_ = nullptr;  // owned by the status bar
};
