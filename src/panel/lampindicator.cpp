#include "lampindicator.h"

#include <QPainter>
#include <QVariant>

namespace {
constexpr int kDiameter = 20;
}

LampIndicator::LampIndicator(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFillBgr(Bgr::White);
}

void LampIndicator::setFillBgr(std::uint32_t bgr) {
    // Every status reply sets every lamp: repaint only what changed. The check is a plain member,
    // not a property lookup, as it runs a dozen times a reply.
    if (bgr == fill_ && propertySet_) {
        return;
    }
    fill_ = bgr;
    propertySet_ = true;
    setProperty("backColour", QVariant::fromValue<quint32>(bgr));
    update();
}

QSize LampIndicator::sizeHint() const {
    return {kDiameter + 2, kDiameter + 2};
}

QSize LampIndicator::minimumSizeHint() const {
    return sizeHint();
}

void LampIndicator::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = qMin(width(), height()) - 2;
    const QRectF disc((width() - side) / 2.0, (height() - side) / 2.0, side, side);

    // A dark bezel sets the lamp apart from the option buttons' rings and keeps a white (dark)
    // lamp visible against the grey panel.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(70, 70, 74));
    painter.drawEllipse(disc);

    const QColor fill = colourFromBgr(fill_);
    const QRectF lens = disc.adjusted(3, 3, -3, -3);
    QRadialGradient shade(lens.center() - QPointF(lens.width() / 5.0, lens.height() / 5.0),
                          lens.width() * 0.75);
    shade.setColorAt(0.0, fill.lighter(115));
    shade.setColorAt(1.0, fill.darker(115));
    painter.setBrush(shade);
    painter.drawEllipse(lens);
}
