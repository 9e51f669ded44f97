#include "qtmessages.h"

#include <QMessageBox>

void QtMessages::showMessage(const QString& text, const QString& title, Icon icon) {
    QMessageBox box(parent_);
    box.setWindowTitle(title.isEmpty() ? kProgramName : title);
    // Texts may hold a file name or a reply: shown as the characters they are.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.setIcon(icon == Icon::Information ? QMessageBox::Information
                : icon == Icon::Critical  ? QMessageBox::Critical
                                          : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}
