#pragma once

#include "intervaltimer.h"
#include "tableview.h"

#include <QWidget>
#include <array>

class FileChooser;
class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QRadioButton;

// The setup window (SetupVKFrm). Its controls are the parameter table itself; the table read,
// write and file logic reach them through TableView and react to the button signals. The window
// holds no logic of its own beyond showing and telling.
class SetupWindow : public QWidget, public TableView {
    Q_OBJECT
public:
    explicit SetupWindow(QWidget* parent = nullptr);
    ~SetupWindow() override;

    // Window caption and title for the identified model: the four-channel model first, then the
    // USB model, else the network model.
    void setModelCaptions(bool fourCh, bool usb);

    IntervalTimer& tmrTokei() { return tmrTokei_; }
    IntervalTimer& tmrWrite() { return tmrWrite_; }
    FileChooser* fileChooser() const { return files_; }

    // TableView. Out-of-range fields, channels and items read as empty/unticked and are not set.
    QString field(int field, int ch) const override;
    void setField(int field, int ch, const QString& text) override;
    bool flag(Flag flag, int ch) const override;
    void setFlag(Flag flag, int ch, bool ticked) override;
    bool switchBox(SwitchGroup group, int item) const override;
    void setSwitchBox(SwitchGroup group, int item, bool ticked) override;
    int speedUnit() const override;
    void setSpeedUnit(int unit) override;
    QString status() const override;
    void setStatus(const QString& text) override;

signals:
    void dataReadClicked();
    void dataWriteClicked();
    void rwStopClicked();
    void clearClicked();
    void toControlClicked();
    void saveClicked();
    void loadClicked();
    // Emitted before the window goes away; the close itself is never refused.
    void closing();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLineEdit* textBox(int field, int ch) const;
    QCheckBox* flagBox(Flag flag, int ch) const;
    QCheckBox* switchItem(SwitchGroup group, int item) const;

    void buildTable(QGridLayout* grid);
    void buildSwitchSection(QGridLayout* grid, int firstRow);
    QWidget* buildButtons();
    QWidget* buildNotes();

    static constexpr int kFields = 8;
    static constexpr int kFlags = 3;

    std::array<std::array<QLineEdit*, kChannels>, kFields> text_{};   // Text1..Text8, by channel
    std::array<std::array<QCheckBox*, kChannels>, kFlags> flags_{};   // ChkBKLS, ChkDGLS, ChkLSFS
    std::array<std::array<QCheckBox*, kSwitchItems>, 2> switches_{};  // Check1, ChkLSNC
    std::array<QRadioButton*, 2> optDisp_{};
    QLabel* label1_ = nullptr;
    QLabel* label17_ = nullptr;
    FileChooser* files_ = nullptr;
    IntervalTimer tmrTokei_{this};
    IntervalTimer tmrWrite_{this};
};
