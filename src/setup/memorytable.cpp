#include "memorytable.h"

// Out-of-range indexes read as empty or unticked and are ignored on writing, as a missing
// control would be: the callers' loops are bounded by the model, not by this class.
namespace {
bool channelOk(int ch) {
    return ch >= 0 && ch < TableView::kChannels;
}
}  // namespace

QString MemoryTable::field(int field, int ch) const {
    if (field < Position || field > Backlash || !channelOk(ch)) {
        return {};
    }
    return fields_[field - Position][ch];
}

void MemoryTable::setField(int field, int ch, const QString& text) {
    if (field < Position || field > Backlash || !channelOk(ch)) {
        return;
    }
    fields_[field - Position][ch] = text;
}

bool MemoryTable::flag(Flag flag, int ch) const {
    if (flag < 0 || flag >= kFlags || !channelOk(ch)) {
        return false;
    }
    return flags_[flag][ch];
}

void MemoryTable::setFlag(Flag flag, int ch, bool ticked) {
    if (flag < 0 || flag >= kFlags || !channelOk(ch)) {
        return;
    }
    flags_[flag][ch] = ticked;
}

bool MemoryTable::switchBox(SwitchGroup group, int item) const {
    if (group < 0 || group > LsNc || item < 0 || item >= kSwitchItems) {
        return false;
    }
    return switches_[group][item];
}

void MemoryTable::setSwitchBox(SwitchGroup group, int item, bool ticked) {
    if (group < 0 || group > LsNc || item < 0 || item >= kSwitchItems) {
        return;
    }
    switches_[group][item] = ticked;
}
