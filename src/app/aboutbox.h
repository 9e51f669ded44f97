#pragma once

#include <QDialog>

class QPixmap;

// The program's about box: a picture, the program line and an OK button.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

    // Drawn rather than loaded, so the box needs no image files: a stepper motor's face beside the
    // pulse train that drives it.
    static QPixmap picture();
};
