#pragma once

#include <QTimer>
#include <QWidget>

class CommandChannel;
class PanelView;
class QHBoxLayout;
class QLabel;
class QPushButton;
class StatusFigures;
struct PanelState;

// What the main window's status bar shows: the Esc help, the link's state, the session and its model,
// the replies per second achieved, the time-outs, and the buttons that open the instruments. It
// reads its figures on its own timer, so polling never waits for it.
class StatusStrip : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRefreshMs = 500;

    StatusStrip(StatusFigures& figures, CommandChannel& channel, const PanelState& state,
                const PanelView& view, QWidget* parent = nullptr);

    // The refresh tick.
    void refresh();

    static QString rateText(double repliesPerSecond);

    // A button of the strip's own look after the others, for a window beside the instruments.
    QPushButton* addButton(const QString& text, const QString& name, const QString& tip);

signals:
    void trafficClicked();
    void chartClicked();

private:
    QString linkText();

    StatusFigures& figures_;
    CommandChannel& channel_;
    const PanelState& state_;
    const PanelView& view_;
    QLabel* link_ = nullptr;
    QLabel* model_ = nullptr;
    QLabel* rate_ = nullptr;
    QLabel* timeouts_ = nullptr;
    QHBoxLayout* layout_ = nullptr;
    QTimer timer_;
};
