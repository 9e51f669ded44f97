#include "aboutbox.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

void drawMotorFace(QPainter& painter, const QRectF& face) {
    painter.setPen(QPen(QColor(40, 44, 52), 1.5));
    painter.setBrush(QColor(92, 98, 110));
    painter.drawRoundedRect(face, 8, 8);

    // Mounting holes in the corners of the flange.
    const qreal inset = face.width() * 0.14;
    const qreal hole = face.width() * 0.07;
    painter.setBrush(QColor(30, 32, 38));
    for (const QPointF& corner :
         {face.topLeft() + QPointF(inset, inset), face.topRight() + QPointF(-inset, inset),
          face.bottomLeft() + QPointF(inset, -inset), face.bottomRight() + QPointF(-inset, -inset)}) {
        painter.drawEllipse(corner, hole, hole);
    }

    const QPointF centre = face.center();
    const qreal boss = face.width() * 0.30;
    QRadialGradient metal(centre - QPointF(boss / 3, boss / 3), boss * 1.3);
    metal.setColorAt(0.0, QColor(225, 228, 232));
    metal.setColorAt(1.0, QColor(130, 136, 146));
    painter.setBrush(metal);
    painter.drawEllipse(centre, boss, boss);

    // The shaft with its flat, seen end on.
    const qreal shaft = face.width() * 0.12;
    QPainterPath flatShaft;
    flatShaft.addEllipse(centre, shaft, shaft);
    QPainterPath flat;
    flat.addRect(QRectF(centre.x() - shaft, centre.y() - shaft, 2 * shaft, shaft * 0.55));
    painter.setBrush(QColor(60, 64, 72));
    painter.drawPath(flatShaft.subtracted(flat));
}

void drawPulseTrain(QPainter& painter, const QRectF& area) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(16, 28, 22));
    painter.drawRoundedRect(area, 6, 6);

    painter.setPen(QPen(QColor(40, 80, 60), 1, Qt::DotLine));
    const qreal baseline = area.bottom() - area.height() * 0.28;
    const qreal top = area.top() + area.height() * 0.28;
    painter.drawLine(QPointF(area.left() + 6, baseline), QPointF(area.right() - 6, baseline));

    // Pulses that close up from left to right, as a move accelerates.
    QPainterPath train;
    qreal x = area.left() + 8;
    train.moveTo(x, baseline);
    qreal period = area.width() * 0.2;
    while (x + period < area.right() - 8) {
        train.lineTo(x, top);
        train.lineTo(x + period / 2, top);
        train.lineTo(x + period / 2, baseline);
        train.lineTo(x + period, baseline);
        x += period;
        period = qMax(area.width() * 0.09, period * 0.82);
    }
    train.lineTo(area.right() - 8, baseline);
    painter.setPen(QPen(QColor(90, 240, 140), 2.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(train);
}

}  // namespace

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About"));
    setModal(true);

    auto* image = new QLabel;
    image->setObjectName(QStringLiteral("picIcon"));
    image->setPixmap(picture());

    auto* line = new QLabel(QStringLiteral("KELDA-01 control program"));
    line->setObjectName(QStringLiteral("lblTitle"));
    QFont font = line->font();
    font.setBold(true);
    font.setPointSizeF(font.pointSizeF() * 1.3);
    line->setFont(font);

    auto* ok = new QPushButton(QStringLiteral("&Ok"));
    ok->setObjectName(QStringLiteral("OkButton"));
    ok->setDefault(true);
    ok->setMinimumWidth(90);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* top = new QHBoxLayout;
    top->setSpacing(18);
    top->addWidget(image);
    top->addWidget(line, 1);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 18, 18, 14);
    layout->setSpacing(14);
    layout->addLayout(top);
    layout->addLayout(buttons);
    setFixedSize(sizeHint());
}

QPixmap AboutBox::picture() {
    QPixmap pixmap(220, 100);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    drawMotorFace(painter, QRectF(4, 4, 92, 92));
    drawPulseTrain(painter, QRectF(106, 14, 110, 72));
    return pixmap;
}
