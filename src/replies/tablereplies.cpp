#include "tablereplies.h"

#include "textfields.h"

#include <QLocale>

using TextFields::mid;

namespace {

// Wire text is ASCII; Latin-1 keeps any stray byte visible instead of dropping it.
QString text(const QByteArray& bytes) {
    return QString::fromLatin1(bytes);
}

// The number as an operator would type it: no plus sign, no leading zeros, no exponent.
QString plainDecimal(double value) {
    return QString::number(value, 'f', QLocale::FloatingPointShortest);
}

QString speedValue(const PanelState& state, const TableView& table, const QByteArray& reply) {
    if (table.speedUnit() == TableView::Code) {
        return text(mid(reply, 4, 4));
    }
    const QByteArray number = state.UsbModel ? reply : mid(reply, 2, 6);
    return plainDecimal(TextFields::leadingNumber(text(number)));
}

void storeFlags(TableView& table, int ch, const QByteArray& reply) {
    const std::uint32_t d6 = TextFields::readHex(mid(reply, 6, 1));
    const std::uint32_t d7 = TextFields::readHex(mid(reply, 7, 1));
    // A clear bit leaves its box alone: the read starts from a cleared table.
    if (d6 & 2u) {
        table.setFlag(TableView::BacklashMode, ch, true);
    }
    if (d6 & 1u) {
        table.setFlag(TableView::DglsEnable, ch, true);
    }
    if (d7 & 1u) {
        table.setFlag(TableView::LsFastStop, ch, true);
    }
}

void storeSwitches(const PanelState& state, TableView& table, TableView::SwitchGroup group,
                   const QByteArray& reply) {
    const int items = state.FourChModel ? 16 : 8;
    const std::uint32_t mask = TextFields::readHex(mid(reply, 2, state.FourChModel ? 4 : 2));
    for (int k = 0; k < items; ++k) {
        if (mask & (1u << k)) {
            table.setSwitchBox(group, k, true);
        }
    }
}

// Next step after the last channel of a per-channel step; 0 marks a step without a row.
int nextStep(int step) {
    switch (step) {
        case 0:
            return 3;
        case 3:
            return 6;
        case 6:
            return 9;
        case 9:
        case 10:
        case 11:
        case 12:
        case 13:
        case 14:
            return step + 1;
        default:
            return 0;
    }
}

}  // namespace

void StoreTableReply(PanelState& state, TableView& table, const QByteArray& cleaned) {
    const int step = state.TableStep;
    const int ch = state.TableChannel;

    switch (step) {
        case 0:
            table.setField(TableView::Position, ch, text(state.UsbModel ? cleaned : mid(cleaned, 3, 8)));
            break;
        case 3:
            table.setField(TableView::CwDgls, ch, text(state.UsbModel ? cleaned : mid(cleaned, 1, 8)));
            break;
        case 6:
            table.setField(TableView::CcwDgls, ch, text(state.UsbModel ? cleaned : mid(cleaned, 1, 8)));
            break;
        case 9:
            table.setField(TableView::Hspd, ch, speedValue(state, table, cleaned));
            break;
        case 10:
            table.setField(TableView::Mspd, ch, speedValue(state, table, cleaned));
            break;
        case 11:
            table.setField(TableView::Lspd, ch, speedValue(state, table, cleaned));
            break;
        case 12:
            table.setField(TableView::Rate, ch, text(mid(cleaned, 5, 3)));
            break;
        case 13:
            table.setField(TableView::Backlash, ch, text(mid(cleaned, 1, 5)));
            break;
        case 14:
            storeFlags(table, ch, cleaned);
            break;
        case 15:
            storeSwitches(state, table, TableView::LsEnable, cleaned);
            state.TableStep = 16;
            return;
        case 16:
            storeSwitches(state, table, TableView::LsNc, cleaned);
            state.TableStep = 17;
            return;
        default:
            return;  // a step the read never asks at: the reply is dropped
    }

    state.TableChannel = ch + 1;
    if (state.TableChannel > state.LastChannel) {
        state.TableChannel = 0;
        state.TableStep = nextStep(step);
    }
}
