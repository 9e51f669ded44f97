#include "chartwindow.h"

#include "messages.h"
#include "positionchart.h"
#include "unitsdialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
// A colour chip and the channel's name, as the legend of the chart.
QLabel* legendEntry(int ch) {
    const int side = 12;
    QPixmap chip(side, side);
    chip.fill(Qt::transparent);
    QPainter p(&chip);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(PositionChart::channelColour(ch).darker(140));
    p.setBrush(PositionChart::channelColour(ch));
    p.drawRoundedRect(QRectF(0.5, 0.5, side - 1, side - 1), 2, 2);
    p.end();
    auto* label = new QLabel;
    label->setPixmap(chip);
    return label;
}
}  // namespace

ChartWindow::ChartWindow(const PositionHistory& history, ChannelUnits& units, MessageSink& messages,
                         QWidget* parent)
    : QWidget(parent, Qt::Window), units_(units), messages_(messages) {
    setObjectName(QStringLiteral("PositionChartWindow"));
    setWindowTitle(QStringLiteral("Position chart"));
    setAttribute(Qt::WA_QuitOnClose, false);

    chart_ = new PositionChart(history);
    chart_->setUnits(&units_);
    auto* unitsButton = new QPushButton(QStringLiteral("Units..."));
    unitsButton->setObjectName(QStringLiteral("ChartUnits"));
    unitsButton->setAutoDefault(false);
    unitsButton->setToolTip(
        QStringLiteral("Pulses per unit and the unit's name, per channel (400 per mm, say)"));
    connect(unitsButton, &QPushButton::clicked, this, &ChartWindow::editUnits);
    autoscale_ = new QCheckBox(QStringLiteral("Autoscale"));
    autoscale_->setObjectName(QStringLiteral("ChartAutoscale"));
    autoscale_->setToolTip(
        QStringLiteral("Fit the vertical range to the positions shown; off, it stays put"));
    autoscale_->setChecked(true);
    pause_ = new QPushButton(QStringLiteral("Pause"));
    pause_->setObjectName(QStringLiteral("ChartPause"));
    pause_->setCheckable(true);
    pause_->setAutoDefault(false);
    pause_->setToolTip(QStringLiteral("Hold the chart still; positions are still taken"));

    auto* bar = new QHBoxLayout;
    for (int ch = 0; ch < PositionHistory::kChannels; ++ch) {
        bar->addWidget(legendEntry(ch));
        bar->addWidget(new QLabel(QStringLiteral("%1 position").arg(QChar(u'A' + ch))));
        bar->addSpacing(10);
    }
    auto* marks = new QLabel(QStringLiteral("\u25C6 lamp or hold-off on   \u25C7 off"));
    marks->setToolTip(QStringLiteral("CW, CCW and HP lamps, and the hold-off, where they changed"));
    bar->addSpacing(10);
    bar->addWidget(marks);
    bar->addStretch();
    bar->addWidget(unitsButton);
    bar->addWidget(autoscale_);
    bar->addWidget(pause_);

    auto* hint = new QLabel(QStringLiteral("Point at the chart to read the time and the positions there."));
    hint->setEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(chart_, 1);
    layout->addWidget(hint);
    resize(860, 440);

    connect(autoscale_, &QCheckBox::toggled, chart_, &PositionChart::setAutoscale);
    connect(pause_, &QPushButton::toggled, this, [this](bool paused) {
        chart_->setPaused(paused);
        pause_->setText(paused ? QStringLiteral("Resume") : QStringLiteral("Pause"));
    });
}

void ChartWindow::editUnits() {
    UnitsDialog dialog(units_, messages_, this);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    // Only the channels the operator changed are written: the file may have been changed
    // elsewhere meanwhile, and its other lines are kept as they stand now.
    const ChannelUnits before = units_;
    ChannelUnits merged = dialog.units();
    QString message;
    if (!unitsFile_.isEmpty()) {
        ChannelUnits onDisk;
        QString error;
        if (!onDisk.load(unitsFile_, &error)) {
            message = QStringLiteral(
                          "The units were not written: %1 could not be read (%2), and writing "
                          "would lose it. They hold until the panel ends.")
                          .arg(unitsFile_, error);
        } else {
            QStringList takenIn;
            for (size_t ch = 0; ch < merged.unit.size(); ++ch) {
                if (merged.unit[ch] == before.unit[ch] && onDisk.unit[ch] != before.unit[ch]) {
                    merged.unit[ch] = onDisk.unit[ch];
                    takenIn << QString(QChar(u'A' + int(ch)));
                }
            }
            if (!merged.save(unitsFile_, &error)) {
                message =
                    QStringLiteral("The units could not be kept in %1: %2. They hold until the panel ends.")
                        .arg(unitsFile_, error);
            } else if (!takenIn.isEmpty()) {
                message =
                    QStringLiteral("%1 had been changed elsewhere: the units of %2 are now as it has them.")
                        .arg(unitsFile_, takenIn.join(QStringLiteral(", ")));
            }
        }
    }
    units_ = merged;
    chart_->setUnits(&units_);
    emit unitsChanged();
    if (!message.isEmpty()) {
        messages_.showMessage(message, QStringLiteral("Chart units"), MessageSink::Icon::Information);
    }
}
