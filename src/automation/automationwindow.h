#pragma once

#include <QTimer>
#include <QWidget>

class AutomationServer;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The small "Automation" window: where the port listens, how many scripts are connected, the
// token file, the last commands, and the operator's brake on scripts.
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
    QPushButton* abort_ = nullptr;
    QPushButton* enable_ = nullptr;
    QTimer timer_;
};

// In the status bar: the port and the number of clients, and the button that opens the window.
class AutomationStatus : public QWidget {
    Q_OBJECT
public:
    explicit AutomationStatus(AutomationServer& server, QWidget* parent = nullptr);
    static QString text(quint16 port, int clients, bool enabled);

signals:
    void clicked();

private:
    void showCount(int clients);

    AutomationServer& server_;
    QLabel* label_ = nullptr;
};
