#pragma once

#include "messages.h"

#include <QPointer>
#include <QWidget>

// Shows the logic's messages as real modal boxes with an OK button, centred over the window they
// belong to. A box without a title of its own gets the program's name.
class QtMessages : public MessageSink {
public:
    explicit QtMessages(QWidget* parent = nullptr) : parent_(parent) {}
    void setParent(QWidget* parent) { parent_ = parent; }
    void showMessage(const QString& text, const QString& title, Icon icon) override;

private:
    QPointer<QWidget> parent_;
};
