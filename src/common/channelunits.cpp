#include "channelunits.h"

#include "textfields.h"
#include "wholefile.h"

#include <QFile>
#include <QLocale>
#include <cmath>

QString ChannelUnit::format(double pulses) const {
    if (!set()) {
        return {};
    }
    return QString::number(pulses / pulsesPerUnit, 'g', 7) + (name.isEmpty() ? QString() : u' ' + name);
}

QString ChannelUnit::beside(double pulses) const {
    return set() ? QStringLiteral(" (%1)").arg(format(pulses)) : QString();
}

std::optional<double> ChannelUnits::parseScale(const QString& text, QString* why) {
    const QString trimmed = text.trimmed();
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(value)) {
        *why = QStringLiteral("\"%1\" is not a number").arg(trimmed);
        return std::nullopt;
    }
    if (!(value >= kSmallestScale && value <= kLargestScale)) {
        *why = QStringLiteral("the pulses per unit must be from 0.000001 to 1000000000, not %1").arg(trimmed);
        return std::nullopt;
    }
    return value;
}

bool ChannelUnits::load(const QString& path, QString* error) {
    QFile file(path);
    if (!file.exists()) {
        unit = {};
        return true;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return false;
    }
    std::array<ChannelUnit, 4> read{};
    int ch = 0;
    for (QByteArray line : file.readAll().split('\n')) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.isEmpty() && ch >= 4) {
            continue;
        }
        const qsizetype comma = line.indexOf(',');
        qsizetype at = comma + 1;
        const QByteArray scale = line.left(comma);
        const std::optional<QString> name = comma < 0 ? std::nullopt : TextFields::quotedField(line, at);
        QString why;
        const std::optional<double> value =
            scale.isEmpty() ? std::optional<double>(0) : parseScale(QString::fromLatin1(scale), &why);
        if (ch >= 4 || !name || !value || at != line.size()) {
            *error = QStringLiteral("line %1 is damaged").arg(ch + 1);
            return false;
        }
        // Without a scale there is no unit, whatever name stands beside it.
        read[size_t(ch++)] = ChannelUnit{*value, *value > 0 ? *name : QString()};
    }
    unit = read;
    return true;
}

bool ChannelUnits::save(const QString& path, QString* error) const {
    QByteArray text;
    for (const ChannelUnit& u : unit) {
        text += (u.set() ? QByteArray::number(u.pulsesPerUnit, 'g', QLocale::FloatingPointShortest)
                         : QByteArray()) +
                ',' + TextFields::quoted(u.set() ? u.name : QString()) + ",\r\n";
    }
    return WholeFile::write(path, text, error);
}
