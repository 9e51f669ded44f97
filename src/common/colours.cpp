#include "colours.h"

#include <QApplication>
#include <QPalette>
#include <QVariant>
#include <QWidget>

QColor colourFromBgr(std::uint32_t bgr) {
    if (bgr == Bgr::ButtonFace) {
        return QApplication::palette().color(QPalette::Button);
    }
    return QColor(int(bgr & 0xFF), int((bgr >> 8) & 0xFF), int((bgr >> 16) & 0xFF));
}

void setBackColour(QWidget* widget, std::uint32_t bgr) {
    // Replies set the same colours again and again; a palette change repolishes the widget.
    const QVariant current = widget->property("backColour");
    if (current.isValid() && current.value<quint32>() == bgr) {
        return;
    }
    widget->setProperty("backColour", QVariant::fromValue<quint32>(bgr));
    QPalette pal = widget->palette();
    const QColor colour = colourFromBgr(bgr);
    pal.setColor(QPalette::Button, colour);
    pal.setColor(QPalette::Window, colour);
    widget->setPalette(pal);
}

std::uint32_t backColour(const QWidget* widget) {
    const QVariant v = widget->property("backColour");
    return v.isValid() ? v.value<quint32>() : Bgr::ButtonFace;
}
