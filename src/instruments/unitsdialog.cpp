#include "unitsdialog.h"

#include "messages.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QVBoxLayout>

UnitsDialog::UnitsDialog(const ChannelUnits& units, MessageSink& messages, QWidget* parent)
    : QDialog(parent), units_(units), messages_(messages) {
    setObjectName(QStringLiteral("UnitsDialog"));
    setWindowTitle(QStringLiteral("Chart units"));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Pulses per unit")), 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Unit")), 0, 2);
    for (int ch = 0; ch < 4; ++ch) {
        const ChannelUnit& u = units.unit[size_t(ch)];
        grid->addWidget(new QLabel(QStringLiteral("%1").arg(QChar(u'A' + ch))), ch + 1, 0);
        scale_[size_t(ch)] = new QLineEdit(
            u.set() ? QString::number(u.pulsesPerUnit, 'g', QLocale::FloatingPointShortest) : QString());
        scale_[size_t(ch)]->setObjectName(QStringLiteral("UnitScale_%1").arg(ch));
        scale_[size_t(ch)]->setPlaceholderText(QStringLiteral("none"));
        name_[size_t(ch)] = new QLineEdit(u.name);
        name_[size_t(ch)]->setObjectName(QStringLiteral("UnitName_%1").arg(ch));
        name_[size_t(ch)]->setPlaceholderText(QStringLiteral("mm, deg, ..."));
        grid->addWidget(scale_[size_t(ch)], ch + 1, 1);
        grid->addWidget(name_[size_t(ch)], ch + 1, 2);
    }
    auto* note =
        new QLabel(QStringLiteral("The chart and the Positions window show positions in these units beside "
                                  "pulses. Leave the pulses empty for none."));
    note->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &UnitsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &UnitsDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addWidget(note);
    layout->addWidget(buttons);
}

void UnitsDialog::accept() {
    ChannelUnits taken;
    for (int ch = 0; ch < 4; ++ch) {
        const QString scale = scale_[size_t(ch)]->text().trimmed();
        if (scale.isEmpty()) {
            continue;
        }
        QString why;
        const std::optional<double> value = ChannelUnits::parseScale(scale, &why);
        if (!value) {
            messages_.showMessage(QStringLiteral("Channel %1: %2.").arg(QChar(u'A' + ch)).arg(why),
                                  QStringLiteral("Chart units"), MessageSink::Icon::Information);
            scale_[size_t(ch)]->setFocus();
            return;
        }
        taken.unit[size_t(ch)] = ChannelUnit{*value, name_[size_t(ch)]->text().trimmed()};
    }
    units_ = taken;
    QDialog::accept();
}
