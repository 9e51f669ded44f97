#include "tableclear.h"

bool ClearTable(TableView& table, const IntervalTimer& tmrTokei, const IntervalTimer& tmrWrite) {
    if (tmrTokei.running() || tmrWrite.running()) {
        return false;
    }
    for (int ch = 0; ch < TableView::kChannels; ++ch) {
        for (int field = TableView::Position; field <= TableView::Backlash; ++field) {
            table.setField(field, ch, QString());
        }
    }
    for (int ch = 0; ch < TableView::kChannels; ++ch) {
        table.setFlag(TableView::BacklashMode, ch, false);
        table.setFlag(TableView::DglsEnable, ch, false);
        table.setFlag(TableView::LsFastStop, ch, false);
    }
    for (int item = 0; item < TableView::kSwitchItems; ++item) {
        table.setSwitchBox(TableView::LsEnable, item, false);
        table.setSwitchBox(TableView::LsNc, item, false);
    }
    return true;
}

void StopReadWrite(IntervalTimer& tmrTokei, IntervalTimer& tmrWrite) {
    tmrTokei.setInterval(0);
    tmrWrite.setInterval(0);
}
