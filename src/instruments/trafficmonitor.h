#pragma once

#include "trafficrecorder.h"

#include <QTimer>
#include <QWidget>

class MessageSink;
class QCheckBox;
class QLabel;
class QPushButton;
class QListView;
class TrafficModel;

// The traffic monitor window: every line on the wire with its time, link, direction, class and
// round trip. The view follows the recorder in batches from its own timer, never per line, and
// only while the window is shown; pausing freezes the view while recording goes on.
class TrafficMonitor : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 500;

    TrafficMonitor(TrafficRecorder& recorder, MessageSink& messages, QWidget* parent = nullptr);
    ~TrafficMonitor() override;

    // The refresh tick: brings the view up to date unless paused.
    void refresh();
    // Writes the lines that pass the filters to `path`; a failure is told to the operator.
    bool saveTo(const QString& path);

    TrafficModel& model() { return *model_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void filterChanged();
    void pauseToggled(bool paused);
    void clear();
    void chooseFileAndSave();
    void showCount();

    TrafficRecorder& recorder_;
    MessageSink& messages_;
    TrafficModel* model_ = nullptr;
    QListView* view_ = nullptr;
    QCheckBox* polling_ = nullptr;
    QCheckBox* operator_ = nullptr;
    QCheckBox* table_ = nullptr;
    QCheckBox* automation_ = nullptr;
    QPushButton* pause_ = nullptr;
    QLabel* count_ = nullptr;
    QTimer timer_;
};
