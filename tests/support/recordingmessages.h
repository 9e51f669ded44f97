#pragma once

#include "messages.h"

#include <QList>
#include <QString>
#include <functional>

// Records every box the logic asks for instead of showing it.
class RecordingMessages : public MessageSink {
public:
    struct Box {
        QString text;
        QString title;
        Icon icon;
    };

    void showMessage(const QString& text, const QString& title, Icon icon) override {
        boxes.append({text, title, icon});
        if (onShow) {
            onShow(boxes.last());
        }
    }

    QStringList texts() const {
        QStringList out;
        for (const Box& b : boxes) {
            out << b.text;
        }
        return out;
    }

    QList<Box> boxes;
    // Runs while the "box" is open, standing in for the nested event loop of a real box.
    std::function<void(const Box&)> onShow;
};
