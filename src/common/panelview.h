#pragma once

#include <QString>
#include <cstdint>

// What the link, the reply interpreter and the setup side change or read in the main window.
// The main window implements it; logic below the window never includes a window header.
// Channel indexes are 0 to 3 for channels A to D.
class PanelView {
public:
    enum class Lamp { CW, CCW, HP };

    virtual ~PanelView() = default;

    // Link choice ("LAN" Option3 / "USB" Option4) and the session's look.
    virtual bool lanSelected() const = 0;
    // Checks the option as a session opened without the dialog needs it; runs no click handling.
    virtual void selectLink(bool lan) = 0;
    virtual void setLinkOptionEnabled(bool lan, bool enabled) = 0;
    virtual void setConnectCaption(const QString& caption) = 0;
    virtual void setConnectColour(std::uint32_t bgr) = 0;
    virtual void setQuitColour(std::uint32_t bgr) = 0;  // Command1
    virtual void setHostLine(const QString& text) = 0;  // Label8
    virtual void setPortLine(const QString& text) = 0;  // Label9

    // Free text: Text2 is the send box, Text3 the receive box.
    virtual QString sendText() const = 0;
    virtual QString receiveText() const = 0;
    virtual void setReceiveText(const QString& text) = 0;

    // Model and firmware lines (Label1, Label13).
    virtual void setModelTitle(const QString& text) = 0;
    virtual void setFirmwareLine(const QString& text) = 0;

    // Channel display.
    virtual void setPosition(int ch, const QString& text) = 0;  // LblPosition
    virtual void setLamp(Lamp lamp, int ch, bool lit) = 0;      // red lit, white dark
    virtual void setHoldOffLit(int ch, bool lit) = 0;           // BtnHOff red / button face

    // Selects RadSpeed(k) as a change of the option's state: a change runs the option's click
    // handling exactly as an operator's click would.
    virtual void selectSpeed(int k) = 0;

    // What follows the identified model.
    virtual void setDemoControlsVisible(bool visible) = 0;         // BtnDEMO, ChkSyncDemo
    virtual void setChannelFontSize(int ch, int points) = 0;       // LblPosition(ch), Text1(ch)
    virtual void setChannelEnabled(int ch, bool enabled) = 0;      // Ch, BtnHOff, Text1 of ch
    virtual void setChannelColour(int ch, std::uint32_t bgr) = 0;  // Ch(ch) back colour
};
