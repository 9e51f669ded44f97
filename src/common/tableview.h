#pragma once

#include <QString>

// The parameter table as the setup window holds it in its controls. Read, write and file logic
// and the reply interpreter work through this interface only.
class TableView {
public:
    // Text fields by their box number: Text1 .. Text8 of the setup window.
    enum Field { Position = 1, CwDgls, CcwDgls, Hspd, Mspd, Lspd, Rate, Backlash };
    enum Flag { BacklashMode, DglsEnable, LsFastStop };  // ChkBKLS, ChkDGLS, ChkLSFS
    enum SwitchGroup { LsEnable, LsNc };                 // Check1, ChkLSNC: 16 items, 4 * ch + k
    enum SpeedUnit { Code = 0, Pps = 1 };                // optDisp items

    static constexpr int kChannels = 4;
    static constexpr int kSwitchItems = 16;

    virtual ~TableView() = default;

    virtual QString field(int field, int ch) const = 0;
    virtual void setField(int field, int ch, const QString& text) = 0;
    virtual bool flag(Flag flag, int ch) const = 0;
    virtual void setFlag(Flag flag, int ch, bool ticked) = 0;
    virtual bool switchBox(SwitchGroup group, int item) const = 0;
    virtual void setSwitchBox(SwitchGroup group, int item, bool ticked) = 0;
    virtual int speedUnit() const = 0;
    virtual void setSpeedUnit(int unit) = 0;
    virtual QString status() const = 0;  // Label17
    virtual void setStatus(const QString& text) = 0;
};
