#pragma once

#include "tableview.h"
#include "textfields.h"

#include <QStringList>

inline constexpr TableView::Flag kTableFlags[] = {TableView::BacklashMode, TableView::DglsEnable,
                                                  TableView::LsFastStop};
inline constexpr TableView::SwitchGroup kSwitchGroups[] = {TableView::LsEnable, TableView::LsNc};

// Where `got` differs from `want` in channels 0..channels-1 and their switch boxes; empty when
// they agree. With `asNumbers` a field agrees when it holds the same number: a read gives the
// controller's own form (signs, leading zeros).
inline QString tableDifferences(const TableView& got, const TableView& want, int channels,
                                bool asNumbers = false) {
    QStringList out;
    for (int ch = 0; ch < channels; ++ch) {
        for (int f = TableView::Position; f <= TableView::Backlash; ++f) {
            const QString g = got.field(f, ch);
            const QString w = want.field(f, ch);
            const bool same = asNumbers ? TextFields::isNumeric(g) &&
                                              TextFields::leadingNumber(g) == TextFields::leadingNumber(w)
                                        : g == w;
            if (!same) {
                out << QStringLiteral("Text%1(%2): %3 != %4").arg(f).arg(ch).arg(g, w);
            }
        }
        for (auto flag : kTableFlags) {
            if (got.flag(flag, ch) != want.flag(flag, ch)) {
                out << QStringLiteral("flag %1(%2)").arg(flag).arg(ch);
            }
        }
    }
    for (int i = 0; i < 4 * channels; ++i) {
        for (auto group : kSwitchGroups) {
            if (got.switchBox(group, i) != want.switchBox(group, i)) {
                out << QStringLiteral("%1(%2)")
                           .arg(group == TableView::LsEnable ? "Check1" : "ChkLSNC")
                           .arg(i);
            }
        }
    }
    return out.join(u"; ");
}
