#pragma once

#include "mainview.h"

#include <QMainWindow>
#include <array>
#include <functional>

class LampIndicator;
class QAction;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;

// The control panel window. It holds no logic: every operator action leaves as a signal that the
// application wires to the panel's logic, and the logic changes the window only through MainView.
class MainWindow : public QMainWindow, public MainView {
    Q_OBJECT
public:
    static constexpr int kChannels = 4;

    explicit MainWindow(QWidget* parent = nullptr);

    // Asked before the window closes; returning false keeps it open. The guard shows its own
    // message.
    void setCloseGuard(std::function<bool()> mayClose);

    bool lanSelected() const override;
    void selectLink(bool lan) override;
    void setLinkOptionEnabled(bool lan, bool enabled) override;
    void setConnectCaption(const QString& caption) override;
    void setConnectColour(std::uint32_t bgr) override;
    void setQuitColour(std::uint32_t bgr) override;
    void setHostLine(const QString& text) override;
    void setPortLine(const QString& text) override;

    // The send box speaks CR LF to the logic: a line break typed or pasted into it reads as CR LF,
    // and CR LF written to it becomes a line break.
    QString sendText() const override;
    QString receiveText() const override;
    void setReceiveText(const QString& text) override;

    void setModelTitle(const QString& text) override;
    void setFirmwareLine(const QString& text) override;

    void setPosition(int ch, const QString& text) override;
    void setLamp(Lamp lamp, int ch, bool lit) override;
    void setHoldOffLit(int ch, bool lit) override;
    void selectSpeed(int k) override;
    // Shows RadSpeed(k) selected without running its click handling: for a speed command that has
    // already gone out.
    void showSpeed(int k);

    void setDemoControlsVisible(bool visible) override;
    void setChannelFontSize(int ch, int points) override;
    void setChannelEnabled(int ch, bool enabled) override;
    void setChannelColour(int ch, std::uint32_t bgr) override;

    int controlMode() const override;
    QString setData(int ch) const override;
    void setSetData(int ch, const QString& text) override;
    void setControlMode(int mode) override;
    bool backlashTicked(int ch) const override;
    bool syncDemoTicked() const override;
    void setDemoButton(const QString& caption, std::uint32_t bgr) override;
    QString demoButtonCaption() const override;
    void setStartColour(std::uint32_t bgr) override;
    void setSendText(const QString& text, int cursor) override;

    QPushButton* channelButton(int ch) const { return ch_[ch]; }
    LampIndicator* lamp(Lamp lamp, int ch) const;

signals:
    void connectClicked();
    void channelClicked(int ch);
    void jogClicked(bool cw);
    void ctrClicked(int index);  // 4 Preset, 5 Start, 6 Stop
    void escPressed();           // does what Stop does
    // Ctrl+Right (cw) or Ctrl+Left, also each of the keyboard's repeats, where no text box takes
    // them (the send box and the set-data boxes move by a word).
    void jogKeyPressed(bool cw);
    void speedChosen(int k);  // RadSpeed(k) became selected, by a click or by selectSpeed
    void holdOffClicked(int ch);
    void setupClicked();
    void sendTextChanged();
    void clearClicked();
    void quitClicked();
    void demoClicked();
    void aboutRequested();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    static constexpr int kInitialPositionPoints = 18;
    static QFont positionFont(int points);

    // Construction of the panel's groups (mainwindowpanels.cpp).
    QWidget* buildConnectionRow();
    QWidget* buildChannelGrid();
    QWidget* buildControlColumn();
    QWidget* buildFreeText();
    void fitPositionDisplays();

    std::function<bool()> mayClose_;

    QPushButton* connect_ = nullptr;
    QRadioButton* optionUsb_ = nullptr;  // Option4
    QRadioButton* optionLan_ = nullptr;  // Option3
    QLabel* hostLine_ = nullptr;         // Label8
    QLabel* portLine_ = nullptr;         // Label9
    QPushButton* quit_ = nullptr;        // Command1
    QLabel* modelTitle_ = nullptr;       // Label1
    QLabel* firmwareLine_ = nullptr;     // Label13

    std::array<QPushButton*, kChannels> ch_{};
    std::array<QLabel*, kChannels> position_{};
    std::array<QLineEdit*, kChannels> text1_{};
    std::array<LampIndicator*, kChannels> lampCw_{};
    std::array<LampIndicator*, kChannels> lampCcw_{};
    std::array<LampIndicator*, kChannels> lampHp_{};
    std::array<QPushButton*, kChannels> holdOff_{};
    std::array<bool, kChannels> holdOffLit_{};  // as shown: lit is red, unlit the button face
    std::array<QCheckBox*, kChannels> check1_{};

    QButtonGroup* mode_ = nullptr;       // Option1
    QButtonGroup* speed_ = nullptr;      // RadSpeed
    std::array<QPushButton*, 3> ctr_{};  // Ctr(4..6)
    QGroupBox* demoFrame_ = nullptr;
    QPushButton* demo_ = nullptr;    // BtnDEMO
    QCheckBox* syncDemo_ = nullptr;  // ChkSyncDemo

    QPlainTextEdit* send_ = nullptr;     // Text2
    QPlainTextEdit* receive_ = nullptr;  // Text3
};
