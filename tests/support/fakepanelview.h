#pragma once

#include "colours.h"
#include "mainview.h"

#include <QString>
#include <array>
#include <functional>

// The main window's state as plain fields, for logic-level tests that need no widgets. It starts
// in the window's design state.
class FakePanelView : public MainView {
public:
    int controlMode() const override { return mode; }
    QString setData(int ch) const override { return text1[ch]; }
    void setSetData(int ch, const QString& text) override { text1[ch] = text; }
    void setControlMode(int m) override { mode = m; }
    bool backlashTicked(int ch) const override { return backlash[ch]; }
    bool syncDemoTicked() const override { return syncDemo; }
    void setDemoButton(const QString& caption, std::uint32_t bgr) override {
        demoCaption = caption;
        demoColour = bgr;
    }
    QString demoButtonCaption() const override { return demoCaption; }
    void setStartColour(std::uint32_t bgr) override { startColour = bgr; }
    void setSendText(const QString& text, int cursor) override {
        text2 = text;
        sendCursor = cursor;
        if (onSendTextChanged) {
            onSendTextChanged();
        }
    }

    bool lanSelected() const override { return lan; }
    void selectLink(bool isLan) override { lan = isLan; }
    void setLinkOptionEnabled(bool isLan, bool enabled) override {
        (isLan ? lanEnabled : usbEnabled) = enabled;
    }
    void setConnectCaption(const QString& caption) override { connectCaption = caption; }
    void setConnectColour(std::uint32_t bgr) override { connectColour = bgr; }
    void setQuitColour(std::uint32_t bgr) override { quitColour = bgr; }
    void setHostLine(const QString& text) override { hostLine = text; }
    void setPortLine(const QString& text) override { portLine = text; }
    QString sendText() const override { return text2; }
    QString receiveText() const override { return text3; }
    void setReceiveText(const QString& text) override { text3 = text; }
    void setModelTitle(const QString& text) override { modelTitle = text; }
    void setFirmwareLine(const QString& text) override { firmware = text; }
    void setPosition(int ch, const QString& text) override { position[ch] = text; }
    void setLamp(Lamp lamp, int ch, bool lit) override { lamps[int(lamp)][ch] = lit; }
    void setHoldOffLit(int ch, bool lit) override { holdOffLit[ch] = lit; }
    void selectSpeed(int k) override {
        if (speed != k) {
            speed = k;
            if (onSpeedChosen) {
                onSpeedChosen(k);
            }
        }
    }
    void setDemoControlsVisible(bool visible) override { demoVisible = visible; }
    void setChannelFontSize(int ch, int points) override { fontSize[ch] = points; }
    void setChannelEnabled(int ch, bool enabled) override { channelEnabled[ch] = enabled; }
    void setChannelColour(int ch, std::uint32_t bgr) override { channelColour[ch] = bgr; }

    int mode = 1;
    std::array<QString, 4> text1{"0001000", "0001000", "0001000", "0001000"};
    std::array<bool, 4> backlash{};
    bool syncDemo = false;
    QString demoCaption = QStringLiteral("DEMO DRIVE");
    std::uint32_t demoColour = Bgr::ButtonFace;
    std::uint32_t startColour = Bgr::LightGreen;
    int sendCursor = 0;
    std::function<void()> onSendTextChanged;  // Text2's change event, as the window raises it

    bool lan = false;
    bool lanEnabled = true;
    bool usbEnabled = true;
    QString connectCaption = QStringLiteral("&Connect...");
    std::uint32_t connectColour = Bgr::ButtonFace;
    std::uint32_t quitColour = Bgr::ButtonFace;
    QString hostLine = QStringLiteral("Host Name");
    QString portLine = QStringLiteral("Port No.");
    QString text2;
    QString text3;
    QString modelTitle = QStringLiteral("KELDA-01 2CH PULSE MOTOR CONTROLLER");
    QString firmware = QStringLiteral("Firmware version");
    std::array<QString, 4> position{"0000000", "0000000", "-----------", "-----------"};
    std::array<std::array<bool, 4>, 3> lamps{};
    std::array<bool, 4> holdOffLit{};
    int speed = 1;
    std::function<void(int)> onSpeedChosen;
    bool demoVisible = true;
    std::array<int, 4> fontSize{18, 18, 18, 18};
    std::array<bool, 4> channelEnabled{true, true, true, true};
    std::array<std::uint32_t, 4> channelColour{Bgr::ButtonFace, Bgr::ButtonFace, Bgr::ButtonFace,
                                               Bgr::ButtonFace};
};
