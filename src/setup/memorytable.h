#pragma once

#include "tableview.h"

#include <QString>
#include <array>

// The parameter table without a window: the table logic can run (and be tested) against it
// exactly as against the setup window's controls. Starts as a new window does: empty fields,
// every box unticked, "PPS" chosen, status empty.
class MemoryTable : public TableView {
public:
    QString field(int field, int ch) const override;
    void setField(int field, int ch, const QString& text) override;
    bool flag(Flag flag, int ch) const override;
    void setFlag(Flag flag, int ch, bool ticked) override;
    bool switchBox(SwitchGroup group, int item) const override;
    void setSwitchBox(SwitchGroup group, int item, bool ticked) override;
    int speedUnit() const override { return unit_; }
    void setSpeedUnit(int unit) override { unit_ = unit == Code ? Code : Pps; }
    QString status() const override { return status_; }
    void setStatus(const QString& text) override { status_ = text; }

private:
    static constexpr int kFields = Backlash;
    static constexpr int kFlags = 3;

    std::array<std::array<QString, kChannels>, kFields> fields_{};
    std::array<std::array<bool, kChannels>, kFlags> flags_{};
    std::array<std::array<bool, kSwitchItems>, 2> switches_{};
    int unit_ = Pps;
    QString status_;
};
