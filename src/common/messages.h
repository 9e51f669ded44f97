#pragma once

#include <QString>

// The one way logic reports to the operator. The application shows a real modal box; tests
// record the calls. Callers finish their state changes before calling: a modal box runs a
// nested event loop in which timers and sockets keep firing.
class MessageSink {
public:
    enum class Icon { None, Information, Critical };

    virtual ~MessageSink() = default;
    // An empty title means the box has no title of its own (the program's name is shown).
    virtual void showMessage(const QString& text, const QString& title, Icon icon) = 0;
};

inline const QString kCautionTitle = QStringLiteral("Caution !");
// The title of a box without a title of its own.
inline const QString kProgramName = QStringLiteral("KELDA-01 control");
