#pragma once

#include "panelview.h"

#include <QString>
#include <cstdint>

// The main window as the panel's own logic (operator commands, sequenced moves) sees it, beyond
// what the lower layers need.
class MainView : public PanelView {
public:
    // Option1: 0 "HP", 1 "REL", 2 "ABS", 3 "SCN".
    virtual int controlMode() const = 0;
    virtual QString setData(int ch) const = 0;  // Text1(ch)
    virtual void setSetData(int ch, const QString& text) = 0;
    virtual void setControlMode(int mode) = 0;      // selects Option1(mode)
    virtual bool backlashTicked(int ch) const = 0;  // Check1(ch), any state but unticked
    virtual bool syncDemoTicked() const = 0;        // ChkSyncDemo
    virtual void setDemoButton(const QString& caption, std::uint32_t bgr) = 0;  // BtnDEMO
    virtual QString demoButtonCaption() const = 0;
    virtual void setStartColour(std::uint32_t bgr) = 0;  // Ctr(5)
    // Replaces Text2's text and puts the caret at `cursor`.
    virtual void setSendText(const QString& text, int cursor) = 0;
};
