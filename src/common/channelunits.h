#pragma once

#include <QString>
#include <array>
#include <optional>

// A scale per channel, set by the operator in the chart window: how many pulses make one unit
// (400 pulses per mm) and the unit's name. The chart and the Positions window show positions in
// units beside pulses; the main window's position labels keep the controller's own text. Kept in
// KELDA_C.Log beside the recent-connection files: one line per channel, A to D, each
// `<pulses per unit>,"<unit>",` (the name quoted, a quote in it doubled; both empty for none),
// ended by CR LF.
struct ChannelUnit {
    double pulsesPerUnit = 0;  // 0: no unit
    QString name;
    bool set() const { return pulsesPerUnit > 0; }
    bool operator==(const ChannelUnit&) const = default;
    // The pulses in the unit: "2.5 mm".
    QString format(double pulses) const;
    // The same as shown beside pulses: " (2.5 mm)", or nothing without a unit.
    QString beside(double pulses) const;
};

class ChannelUnits {
public:
    static inline const QString kFile = QStringLiteral("KELDA_C.Log");

    std::array<ChannelUnit, 4> unit{};

    // The scales taken: a position of the controller's seven digits shown in any of them is a
    // number a person can read, neither infinite nor lost below the smallest double.
    static constexpr double kSmallestScale = 1e-6;
    static constexpr double kLargestScale = 1e9;

    // A scale as typed, from kSmallestScale to kLargestScale pulses per unit; otherwise nothing,
    // and why.
    static std::optional<double> parseScale(const QString& text, QString* why);

    // A missing file means no units; a damaged one is not taken (`error` says why).
    bool load(const QString& path, QString* error);
    // Written all-or-nothing.
    bool save(const QString& path, QString* error) const;
};
