#pragma once

#include <QPushButton>
#include <QTimer>
#include <QWidget>

class AutomationServer;
class QCheckBox;
class QLabel;
class QPlainTextEdit;

// The small "Automation" window: where the port listens, how many scripts are connected, the
// token file, the last commands, refusals and outcomes (queries only when asked for), and the
// operator's brake on scripts.
class AutomationWindow : public QWidget {
    Q_OBJECT
public:
    explicit AutomationWindow(AutomationServer& server, QWidget* parent = nullptr);

    void refresh();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    AutomationServer& server_;
    QLabel* clients_ = nullptr;
    QLabel* state_ = nullptr;
    QPlainTextEdit* log_ = nullptr;
    QCheckBox* showQueries_ = nullptr;
    QPushButton* abort_ = nullptr;
    QPushButton* enable_ = nullptr;
    QTimer timer_;
};

// In the status bar: one button that says how many scripts are connected and opens the window;
// the port is in its tool tip, so the status bar's other fields keep their room.
class AutomationStatus : public QPushButton {
    Q_OBJECT
public:
    explicit AutomationStatus(AutomationServer& server, QWidget* parent = nullptr);
    static QString text(int clients, bool enabled);

private:
    void showCount(int clients);

    AutomationServer& server_;
};
