#pragma once

#include "messages.h"

class QWidget;

// Shows the logic's messages as real modal boxes with an OK button.
class QtMessages : public MessageSink {
public:
    explicit QtMessages(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void showMessage(const QString& text, const QString& title, Icon icon) override;

private:
    QWidget* parent_;
};
