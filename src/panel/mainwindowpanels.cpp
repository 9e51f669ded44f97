// Builds the window's controls and their layout; what the controls do for the logic lives in
// mainwindow.cpp.
#include "mainwindow.h"

#include "colours.h"
#include "elidinglabel.h"
#include "lampindicator.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

// The static labels of the channel columns carry the index numbers the panel has always used.
constexpr std::array<int, MainWindow::kChannels> kPositionHeadingIndex{0, 1, 3, 4};  // Label11
constexpr std::array<int, MainWindow::kChannels> kSetDataIndex{0, 1, 3, 7};          // Label10

QString indexed(const char* name, int index) {
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index);
}

QLabel* makeLabel(const QString& text, const QString& name = {}) {
    auto* label = new QLabel(text);
    label->setObjectName(name);
    // Positions, the model name and the port show text from the wire or a file: never markup.
    label->setTextFormat(Qt::PlainText);
    setBackColour(label, Bgr::PanelGrey);
    return label;
}

ElidingLabel* sessionLine(const QString& text, const QString& name, int width) {
    auto* label = new ElidingLabel(text, width);
    label->setObjectName(name);
    setBackColour(label, Bgr::PanelGrey);
    return label;
}

// A heading over an untitled frame, set like the titles of the titled frames beside it.
QWidget* headedFrame(QLabel* heading, QGroupBox* frame) {
    auto* block = new QWidget;
    auto* layout = new QVBoxLayout(block);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(heading);
    layout->addWidget(frame);
    return block;
}

QPushButton* makeButton(const QString& text, const QString& name, std::uint32_t bgr,
                        const QString& toolTip = {}) {
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    button->setToolTip(toolTip);
    button->setAutoDefault(false);
    setBackColour(button, bgr);
    return button;
}

QRadioButton* makeOption(const QString& text, const QString& name) {
    auto* option = new QRadioButton(text);
    option->setObjectName(name);
    setBackColour(option, Bgr::PanelGrey);
    return option;
}

QCheckBox* makeCheck(const QString& text, const QString& name) {
    auto* check = new QCheckBox(text);
    check->setObjectName(name);
    setBackColour(check, Bgr::PanelGrey);
    return check;
}

QGroupBox* makeFrame(const QString& title = {}, const QString& name = {}) {
    auto* frame = new QGroupBox(title);
    frame->setObjectName(name);
    setBackColour(frame, Bgr::PanelGrey);
    return frame;
}

// A lamp with its caption under it, so the three of a channel read as one row of indicators.
QWidget* lampWithCaption(LampIndicator* lamp, QLabel* caption) {
    auto* cell = new QWidget;
    auto* column = new QVBoxLayout(cell);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    column->addWidget(lamp, 0, Qt::AlignHCenter);
    caption->setAlignment(Qt::AlignHCenter);
    column->addWidget(caption);
    return cell;
}

}  // namespace
QWidget* MainWindow::buildConnectionRow() {
    auto* row = new QWidget;
    auto* rowLayout = new QHBoxLayout(row);
    rowLayout->setContentsMargins(0, 0, 0, 0);
    rowLayout->setSpacing(8);

    QGroupBox* link = makeFrame();
    auto* linkLayout = new QHBoxLayout(link);
    connect_ = makeButton(QStringLiteral("&Connect..."), QStringLiteral("Connect"), Bgr::ButtonFace,
                          QStringLiteral("Remote connection control"));
    connect_->setMinimumWidth(110);
    connect(connect_, &QPushButton::clicked, this, &MainWindow::connectClicked);
    linkLayout->addWidget(connect_);

    QGroupBox* frame3 = makeFrame(QStringLiteral("CTL Port"), QStringLiteral("Frame3"));
    auto* portLayout = new QHBoxLayout(frame3);
    optionUsb_ = makeOption(QStringLiteral("USB"), QStringLiteral("Option4"));
    optionLan_ = makeOption(QStringLiteral("LAN"), QStringLiteral("Option3"));
    optionUsb_->setChecked(true);
    portLayout->addWidget(optionUsb_);
    portLayout->addWidget(optionLan_);
    linkLayout->addWidget(frame3);

    // The session lines have room for "Host Name 255.255.255.255" and "Port No.   COM255 (USB)",
    // so the row does not jump when a session opens; a longer host name or device path is cut
    // in the middle, with the whole line as tool tip.
    const int lineWidth = fontMetrics().horizontalAdvance(QStringLiteral("Host Name 255.255.255.255W"));
    hostLine_ = sessionLine(QStringLiteral("Host Name"), QStringLiteral("Label8"), lineWidth);
    portLine_ = sessionLine(QStringLiteral("Port No."), QStringLiteral("Label9"), lineWidth);
    auto* lines = new QVBoxLayout;
    lines->addWidget(hostLine_);
    lines->addWidget(portLine_);
    linkLayout->addLayout(lines);

    quit_ = makeButton(QStringLiteral("Quit"), QStringLiteral("Command1"), Bgr::ButtonFace);
    quit_->setMinimumWidth(80);
    connect(quit_, &QPushButton::clicked, this, &MainWindow::quitClicked);
    linkLayout->addWidget(quit_);
    rowLayout->addWidget(link);

    QGroupBox* titles = makeFrame();
    auto* titleLayout = new QVBoxLayout(titles);
    modelTitle_ = makeLabel(QStringLiteral("KELDA-01 2CH PULSE MOTOR CONTROLLER"), QStringLiteral("Label1"));
    QFont titleFont = modelTitle_->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    modelTitle_->setFont(titleFont);
    firmwareLine_ = makeLabel(QStringLiteral("Firmware version"), QStringLiteral("Label13"));
    titleLayout->addWidget(modelTitle_);
    titleLayout->addWidget(firmwareLine_);
    rowLayout->addWidget(titles, 1);
    return row;
}

QWidget* MainWindow::buildChannelGrid() {
    enum Row { Select, Heading, Position, Lamps, HoldOff, Spacer, SetDataLabel, SetData, Backlash, Rest };

    QGroupBox* box = makeFrame();
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(8);
    grid->addWidget(makeLabel(QStringLiteral("CHANNEL"), QStringLiteral("Label4")), Select, 0);
    grid->addWidget(makeLabel(QStringLiteral("LS"), QStringLiteral("Label10_6")), Lamps, 0, Qt::AlignTop);

    for (int ch = 0; ch < kChannels; ++ch) {
        const int column = ch + 1;
        const QString letter(QChar(u'A' + ch));

        ch_[ch] = makeButton(letter, indexed("Ch", ch), Bgr::ButtonFace, QStringLiteral("control select"));
        ch_[ch]->setMinimumHeight(30);
        connect(ch_[ch], &QPushButton::clicked, this, [this, ch] { emit channelClicked(ch); });
        grid->addWidget(ch_[ch], Select, column);

        grid->addWidget(
            makeLabel(letter + QStringLiteral(" position"), indexed("Label11", kPositionHeadingIndex[ch])),
            Heading, column, Qt::AlignBottom);

        auto* position = makeLabel(ch < 2 ? QStringLiteral("0000000") : QStringLiteral("-----------"),
                                   indexed("LblPosition", ch));
        position->setToolTip(QStringLiteral("Position display"));
        setBackColour(position, Bgr::LightYellow);
        position->setAutoFillBackground(true);
        position->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        position->setAlignment(Qt::AlignCenter);
        position->setMargin(4);
        position->setFont(positionFont(kInitialPositionPoints));
        position->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
        position->setMinimumHeight(QFontMetrics(position->font()).height() * 2);
        position_[ch] = position;
        grid->addWidget(position, Position, column);

        // Only channel A's captions carry the legend's names; the other columns repeat them so each
        // column reads on its own.
        const bool legend = ch == 0;
        lampCw_[ch] = new LampIndicator;
        lampCcw_[ch] = new LampIndicator;
        lampHp_[ch] = new LampIndicator;
        lampCw_[ch]->setObjectName(indexed("LampCW", ch));
        lampCcw_[ch]->setObjectName(indexed("LampCCW", ch));
        lampHp_[ch]->setObjectName(indexed("LampHP", ch));
        auto* lamps = new QHBoxLayout;
        lamps->setSpacing(12);
        lamps->addWidget(
            lampWithCaption(lampCw_[ch], makeLabel(QStringLiteral("cw"), legend ? "Label10_2" : "")));
        lamps->addWidget(
            lampWithCaption(lampCcw_[ch], makeLabel(QStringLiteral("ccw"), legend ? "Label10_4" : "")));
        lamps->addWidget(
            lampWithCaption(lampHp_[ch], makeLabel(QStringLiteral("hp"), legend ? "Label10_5" : "")));
        lamps->addStretch();
        grid->addLayout(lamps, Lamps, column);

        holdOff_[ch] = makeButton(QString(), indexed("BtnHOff", ch), Bgr::ButtonFace);
        holdOff_[ch]->setFixedSize(34, 22);
        connect(holdOff_[ch], &QPushButton::clicked, this, [this, ch] { emit holdOffClicked(ch); });
        auto* holdOff = new QHBoxLayout;
        holdOff->setSpacing(8);
        holdOff->addWidget(holdOff_[ch]);
        holdOff->addWidget(makeLabel(QStringLiteral("Hold off")));
        holdOff->addStretch();
        grid->addLayout(holdOff, HoldOff, column);

        grid->addWidget(makeLabel(QStringLiteral("SET DATA"), indexed("Label10", kSetDataIndex[ch])),
                        SetDataLabel, column, Qt::AlignBottom);
        text1_[ch] = new QLineEdit(QStringLiteral("0001000"));
        text1_[ch]->setObjectName(indexed("Text1", ch));
        text1_[ch]->setToolTip(QStringLiteral("Set data input"));
        text1_[ch]->setFont(positionFont(kInitialPositionPoints));
        text1_[ch]->setAlignment(Qt::AlignCenter);
        grid->addWidget(text1_[ch], SetData, column);

        check1_[ch] = makeCheck(QString(), indexed("Check1", ch));
        auto* backlash = new QHBoxLayout;
        backlash->addWidget(makeLabel(QStringLiteral("Backlash "), indexed("Label22", ch)));
        backlash->addWidget(check1_[ch]);
        backlash->addStretch();
        grid->addLayout(backlash, Backlash, column);

        grid->setColumnStretch(column, 1);
    }
    // A little air between the display block (select, position, lamps, hold-off) and the inputs
    // below it; extra height collects under the grid, so rows keep their places when it grows.
    grid->setRowMinimumHeight(Spacer, 10);
    grid->setRowStretch(Rest, 1);
    return box;
}

QWidget* MainWindow::buildControlColumn() {
    auto* column = new QWidget;
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);

    QGroupBox* frame1 = makeFrame(QStringLiteral("MODE"), QStringLiteral("Frame1"));
    frame1->setToolTip(QStringLiteral("Control mode select"));
    auto* modeLayout = new QHBoxLayout(frame1);
    mode_ = new QButtonGroup(this);
    const std::array<QString, 4> modes{QStringLiteral("HP"), QStringLiteral("REL"), QStringLiteral("ABS"),
                                       QStringLiteral("SCN")};
    for (int i = 0; i < int(modes.size()); ++i) {
        QRadioButton* option = makeOption(modes[i], indexed("Option1", i));
        mode_->addButton(option, i);
        modeLayout->addWidget(option);
    }
    mode_->button(1)->setChecked(true);
    layout->addWidget(frame1);

    QGroupBox* control = makeFrame();
    auto* controlLayout = new QHBoxLayout(control);
    const std::array<QString, 3> ctrCaptions{QStringLiteral("Preset"), QStringLiteral("Start"),
                                             QStringLiteral("Stop")};
    const std::array<QString, 3> ctrTips{QStringLiteral("position data preset"), QStringLiteral("scan start"),
                                         QStringLiteral("scan stop")};
    const std::array<std::uint32_t, 3> ctrColours{Bgr::Yellow, Bgr::LightGreen, Bgr::LightRed};
    for (int i = 0; i < 3; ++i) {
        const int index = i + 4;
        ctr_[i] = makeButton(ctrCaptions[i], indexed("Ctr", index), ctrColours[i], ctrTips[i]);
        ctr_[i]->setMinimumHeight(30);
        connect(ctr_[i], &QPushButton::clicked, this, [this, index] { emit ctrClicked(index); });
        controlLayout->addWidget(ctr_[i]);
    }
    layout->addWidget(headedFrame(makeLabel(QStringLiteral("CONTROL"), QStringLiteral("Label6")), control));

    QGroupBox* frame2 = makeFrame(QStringLiteral("SPEED"), QStringLiteral("Frame2"));
    frame2->setToolTip(QStringLiteral("Speed select"));
    auto* speedLayout = new QHBoxLayout(frame2);
    speed_ = new QButtonGroup(this);
    const std::array<QString, 3> speeds{QStringLiteral("H"), QStringLiteral("M"), QStringLiteral("L")};
    for (int k = 0; k < int(speeds.size()); ++k) {
        QRadioButton* option = makeOption(speeds[k], indexed("RadSpeed", k));
        speed_->addButton(option, k);
        speedLayout->addWidget(option);
        // Only the option that becomes selected reports, so a change of selection is one signal
        // whether the operator clicked or the controller's report selected it.
        connect(option, &QRadioButton::toggled, this, [this, k](bool on) {
            if (on) {
                emit speedChosen(k);
            }
        });
    }
    speed_->button(1)->setChecked(true);
    layout->addWidget(frame2);

    QGroupBox* jog = makeFrame();
    auto* jogLayout = new QHBoxLayout(jog);
    QPushButton* plus = makeButton(QStringLiteral("+"), QStringLiteral("Command6"), Bgr::ButtonFace,
                                   QStringLiteral("CW jog"));
    QPushButton* minus = makeButton(QStringLiteral("-"), QStringLiteral("Command7"), Bgr::ButtonFace,
                                    QStringLiteral("CCW jog"));
    for (QPushButton* button : {plus, minus}) {
        QFont font = button->font();
        font.setBold(true);
        font.setPointSizeF(font.pointSizeF() * 1.5);
        button->setFont(font);
        button->setMinimumHeight(36);
    }
    connect(plus, &QPushButton::clicked, this, [this] { emit jogClicked(true); });
    connect(minus, &QPushButton::clicked, this, [this] { emit jogClicked(false); });
    jogLayout->addWidget(plus);
    jogLayout->addWidget(minus);
    layout->addWidget(headedFrame(makeLabel(QStringLiteral("JOG"), QStringLiteral("Label7")), jog));

    demoFrame_ = makeFrame();
    auto* demoLayout = new QHBoxLayout(demoFrame_);
    demo_ = makeButton(QStringLiteral("DEMO DRIVE"), QStringLiteral("BtnDEMO"), Bgr::ButtonFace,
                       QStringLiteral("Remote connection control"));
    demo_->setMinimumWidth(110);
    connect(demo_, &QPushButton::clicked, this, &MainWindow::demoClicked);
    syncDemo_ = makeCheck(QStringLiteral("Synchro drive"), QStringLiteral("ChkSyncDemo"));
    demoLayout->addWidget(demo_);
    demoLayout->addWidget(syncDemo_);
    demoLayout->addStretch();
    layout->addWidget(demoFrame_);

    QPushButton* setup = makeButton(QStringLiteral("To Setup Screen"), QStringLiteral("SetupPb"),
                                    Bgr::LightCyan, QStringLiteral("To data table and setup"));
    setup->setMinimumHeight(32);
    connect(setup, &QPushButton::clicked, this, &MainWindow::setupClicked);
    layout->addWidget(setup);
    layout->addStretch();
    return column;
}

QWidget* MainWindow::buildFreeText() {
    QGroupBox* box = makeFrame();
    auto* grid = new QGridLayout(box);
    grid->setHorizontalSpacing(14);
    const QFont textFont = QFontDatabase::systemFont(QFontDatabase::FixedFont);

    grid->addWidget(makeLabel(QStringLiteral("Send Data(with return Key)"), QStringLiteral("Label20")), 0, 0);
    send_ = new QPlainTextEdit;
    send_->setObjectName(QStringLiteral("Text2"));
    send_->setFont(textFont);
    connect(send_, &QPlainTextEdit::textChanged, this, &MainWindow::sendTextChanged);
    grid->addWidget(send_, 1, 0);

    auto* receiveHeading = new QHBoxLayout;
    receiveHeading->addWidget(makeLabel(QStringLiteral("Receive Data"), QStringLiteral("Label21")));
    receiveHeading->addStretch();
    QPushButton* clear = makeButton(QStringLiteral("CLR"), QStringLiteral("Command2"), Bgr::ClearButton);
    connect(clear, &QPushButton::clicked, this, &MainWindow::clearClicked);
    receiveHeading->addWidget(clear);
    grid->addLayout(receiveHeading, 0, 1);

    receive_ = new QPlainTextEdit;
    receive_->setObjectName(QStringLiteral("Text3"));
    receive_->setFont(textFont);
    setBackColour(receive_, Bgr::LightCyan);
    QPalette palette = receive_->palette();
    palette.setColor(QPalette::Base, colourFromBgr(Bgr::LightCyan));  // a text box paints its Base
    receive_->setPalette(palette);
    grid->addWidget(receive_, 1, 1);

    for (QPlainTextEdit* edit : {send_, receive_}) {
        edit->setMinimumHeight(edit->fontMetrics().lineSpacing() * 4 + 12);
    }
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(1, 1);
    return box;
}
