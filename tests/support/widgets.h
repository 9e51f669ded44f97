#pragma once

#include <QAbstractButton>
#include <QByteArray>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QString>

// What the operator reads on a control: a label's or button's text, a frame's title, a box's
// contents, a window's title.
inline QString captionOf(const QWidget* w) {
    if (const auto* label = qobject_cast<const QLabel*>(w)) {
        return label->text();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(w)) {
        return button->text();
    }
    if (const auto* frame = qobject_cast<const QGroupBox*>(w)) {
        return frame->title();
    }
    if (const auto* line = qobject_cast<const QLineEdit*>(w)) {
        return line->text();
    }
    if (const auto* box = qobject_cast<const QPlainTextEdit*>(w)) {
        return box->toPlainText();
    }
    return w != nullptr && w->isWindow() ? w->windowTitle() : QString();
}

// The object name of one of a row of controls: "Ch_2".
inline QString indexed(const char* base, int index) {
    return QStringLiteral("%1_%2").arg(QLatin1String(base)).arg(index);
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Empty when the file is missing.
inline QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
