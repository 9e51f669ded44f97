#include "setupwindow.h"

#include "colours.h"
#include "filechooser.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace {

constexpr std::uint32_t kGrey = bgrFromRgb(224, 224, 224);

// Grid columns: the speed-unit frame, the row captions, then one column per channel.
constexpr int kFrameColumn = 0;
constexpr int kCaptionColumn = 1;
constexpr int kFirstChannelColumn = 2;

const char* const kSwitchCaption = "CW CCW       HP";

QString indexed(const QString& name, int index) {
    return QStringLiteral("%1_%2").arg(name).arg(index);
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, bool bold = false) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    setBackColour(label, kGrey);
    if (bold) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
    }
    return label;
}

QCheckBox* makeCheck(QWidget* parent, const QString& name) {
    auto* box = new QCheckBox(parent);
    box->setObjectName(name);
    setBackColour(box, kGrey);
    return box;
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, const QString& tip,
                        std::uint32_t bgr) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(tip);
    setBackColour(button, bgr);
    button->setMinimumWidth(button->fontMetrics().horizontalAdvance(caption) + 28);
    return button;
}

// Horizontal centre of `word` where it stands after `before` in the switch caption.
int centreAfter(const QFontMetrics& metrics, const QString& before, const QString& word) {
    return metrics.horizontalAdvance(before) + metrics.horizontalAdvance(word) / 2;
}

}  // namespace

SetupWindow::SetupWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("SetupVKFrm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAutoFillBackground(true);
    setBackColour(this, kGrey);
    tmrTokei_.setObjectName(QStringLiteral("tmrTokei"));
    tmrWrite_.setObjectName(QStringLiteral("tmrWrite"));

    label1_ = makeLabel(this, QStringLiteral("Label1"), QString(), true);
    QFont titleFont = label1_->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    label1_->setFont(titleFont);
    label17_ = makeLabel(this, QStringLiteral("Label17"), QString(), true);
    // Keeps its line while empty, so the blinking progress text does not shift the grid.
    label17_->setMinimumHeight(label17_->fontMetrics().height());

    auto* table = new QGridLayout;
    table->setHorizontalSpacing(12);
    table->setVerticalSpacing(4);
    buildTable(table);

    files_ = new FileChooser(this);
    connect(files_, &FileChooser::saveClicked, this, &SetupWindow::saveClicked);
    connect(files_, &FileChooser::loadClicked, this, &SetupWindow::loadClicked);

    auto* command1 = makeButton(this, "Command1", QStringLiteral("To Control Screen"),
                                QStringLiteral("Quit Editor"), bgrFromRgb(128, 255, 255));
    connect(command1, &QPushButton::clicked, this, &SetupWindow::toControlClicked);

    auto* left = new QVBoxLayout;
    left->addWidget(label1_);
    left->addWidget(label17_);
    left->addSpacing(6);
    left->addLayout(table);
    left->addSpacing(10);
    left->addWidget(buildButtons());
    left->addStretch(1);

    auto* outer = new QGridLayout(this);
    outer->setContentsMargins(14, 12, 14, 12);
    outer->setHorizontalSpacing(20);
    outer->addLayout(left, 0, 0);
    outer->addWidget(files_, 0, 1);
    outer->addWidget(buildNotes(), 1, 0, Qt::AlignBottom);
    outer->addWidget(command1, 1, 1, Qt::AlignRight | Qt::AlignBottom);
    outer->setColumnStretch(1, 1);

    // The operator types a channel's whole set before moving to the next channel.
    QWidget* previous = nullptr;
    for (int ch = 0; ch < kChannels; ++ch) {
        for (int f = 0; f < kFields; ++f) {
            if (previous != nullptr) {
                setTabOrder(previous, text_[f][ch]);
            }
            previous = text_[f][ch];
        }
    }

    setModelCaptions(false, false);
}

SetupWindow::~SetupWindow() {
    // Stopped through the wrapper, not left to the members' destructors, so that whoever
    // follows the sequences (the reply interpreter's table-read state) hears them end.
    tmrTokei_.setInterval(0);
    tmrWrite_.setInterval(0);
}

void SetupWindow::buildTable(QGridLayout* grid) {
    static_assert(kFrameColumn < kCaptionColumn && kCaptionColumn < kFirstChannelColumn);
    const QStringList rowCaptions = {QStringLiteral("Position"), QStringLiteral("CW DGLS"),
                                     QStringLiteral("CCW DGLS"), QStringLiteral("HSPD"),
                                     QStringLiteral("MSPD"),     QStringLiteral("LSPD"),
                                     QStringLiteral("Rate"),     QStringLiteral("Backlash mode/data")};
    const QStringList rowNames = {QStringLiteral("Label4"),  QStringLiteral("Label5"),
                                  QStringLiteral("Label6"),  QStringLiteral("Label7"),
                                  QStringLiteral("Label8"),  QStringLiteral("Label9"),
                                  QStringLiteral("Label10"), QStringLiteral("Label14")};
    const QFontMetrics metrics(font());
    const int wide = metrics.horizontalAdvance(QStringLiteral("-00000000")) + 16;
    const int narrow = metrics.horizontalAdvance(QStringLiteral("0000000")) + 14;
    const int speedRow = 4;  // HSPD; the unit frame stands beside HSPD, MSPD and LSPD

    for (int ch = 0; ch < kChannels; ++ch) {
        auto* head =
            makeLabel(this, indexed("Label3", ch), QStringLiteral("CH %1").arg(QChar('A' + ch)), true);
        grid->addWidget(head, 0, kFirstChannelColumn + ch, Qt::AlignCenter);
    }

    for (int f = 0; f < kFields; ++f) {
        const int row = f + 1;
        const bool speed = row >= speedRow && row < speedRow + 3;
        auto* caption = makeLabel(this, rowNames[f], rowCaptions[f]);
        if (speed) {
            grid->addWidget(caption, row, kCaptionColumn, Qt::AlignRight | Qt::AlignVCenter);
        } else {
            grid->addWidget(caption, row, kFrameColumn, 1, 2, Qt::AlignRight | Qt::AlignVCenter);
        }
        for (int ch = 0; ch < kChannels; ++ch) {
            auto* box = new QLineEdit(this);
            box->setObjectName(indexed(QStringLiteral("Text%1").arg(f + 1), ch));
            text_[f][ch] = box;
            const int column = kFirstChannelColumn + ch;
            if (f < 3) {
                // Positions and limits carry seven digits and a sign and take the whole column;
                // the short values stand right-aligned under them.
                box->setMinimumWidth(wide);
                grid->addWidget(box, row, column);
            } else if (f + 1 == Backlash) {
                box->setFixedWidth(narrow);
                auto* mode = makeCheck(this, indexed("ChkBKLS", ch));
                flags_[BacklashMode][ch] = mode;
                auto* cell = new QHBoxLayout;
                cell->addWidget(mode);
                cell->addStretch(1);
                cell->addWidget(box);
                grid->addLayout(cell, row, column);
            } else {
                box->setFixedWidth(narrow);
                grid->addWidget(box, row, column, Qt::AlignRight);
            }
        }
    }

    auto* frame1 = new QGroupBox(QStringLiteral("Spd Unit"), this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    frame1->setToolTip(QStringLiteral("Choose unit"));
    setBackColour(frame1, kGrey);
    auto* units = new QVBoxLayout(frame1);
    units->setContentsMargins(8, 4, 8, 4);
    const QStringList unitCaptions = {QStringLiteral("Code"), QStringLiteral("PPS")};
    for (int i = 0; i < 2; ++i) {
        optDisp_[i] = new QRadioButton(unitCaptions[i], frame1);
        optDisp_[i]->setObjectName(indexed("optDisp", i));
        setBackColour(optDisp_[i], kGrey);
        units->addWidget(optDisp_[i]);
    }
    optDisp_[Pps]->setChecked(true);
    grid->addWidget(frame1, speedRow, kFrameColumn, 3, 1, Qt::AlignVCenter);

    auto* rule = new QFrame(this);
    rule->setFrameShape(QFrame::HLine);
    rule->setFrameShadow(QFrame::Sunken);
    grid->addWidget(rule, kFields + 1, kFrameColumn, 1, kFirstChannelColumn + kChannels);

    buildSwitchSection(grid, kFields + 2);
}

void SetupWindow::buildSwitchSection(QGridLayout* grid, int firstRow) {
    grid->addWidget(makeLabel(this, QStringLiteral("Label21"), QStringLiteral("LS SET"), true), firstRow,
                    kFrameColumn, 1, 2, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(makeLabel(this, QStringLiteral("Label11"), QStringLiteral("Enable")), firstRow + 3,
                    kFrameColumn, 1, 2, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(makeLabel(this, QStringLiteral("Label15"), QStringLiteral("NC/(NO)")), firstRow + 4,
                    kFrameColumn, 1, 2, Qt::AlignRight | Qt::AlignVCenter);

    // Which Label22 item captions which channel's box.
    constexpr std::array<int, kChannels> dglsCaption = {0, 1, 5, 7};
    constexpr std::array<int, kChannels> fastStopCaption = {2, 3, 4, 6};
    const std::array<const char*, kChannels> groupCaption = {"Label2", "Label12", "Label18", "Label20"};
    const std::array<const char*, 2> groupNames = {"Check1", "ChkLSNC"};

    for (int ch = 0; ch < kChannels; ++ch) {
        const int column = kFirstChannelColumn + ch;
        const std::array<std::pair<Flag, int>, 2> flagRows = {std::pair{DglsEnable, dglsCaption[ch]},
                                                              std::pair{LsFastStop, fastStopCaption[ch]}};
        for (int r = 0; r < 2; ++r) {
            const auto [flag, captionItem] = flagRows[r];
            auto* box = makeCheck(this, indexed(flag == DglsEnable ? "ChkDGLS" : "ChkLSFS", ch));
            flags_[flag][ch] = box;
            const QString text =
                flag == DglsEnable ? QStringLiteral("DGLS enable") : QStringLiteral("LS fast stop");
            auto* cell = new QHBoxLayout;
            cell->setSpacing(4);
            cell->addWidget(box);
            cell->addWidget(makeLabel(this, indexed("Label22", captionItem), text));
            cell->addStretch(1);
            grid->addLayout(cell, firstRow + r, column);
        }

        auto* caption =
            makeLabel(this, QString::fromLatin1(groupCaption[ch]), QString::fromLatin1(kSwitchCaption));
        grid->addWidget(caption, firstRow + 2, column, Qt::AlignLeft | Qt::AlignBottom);

        // The boxes stand under the words of the caption: CW, CCW, the blank, HP.
        const QFontMetrics metrics(caption->font());
        const std::array<int, 4> centres = {
            centreAfter(metrics, QString(), QStringLiteral("CW")),
            centreAfter(metrics, QStringLiteral("CW "), QStringLiteral("CCW")),
            centreAfter(metrics, QStringLiteral("CW CCW"), QStringLiteral("       ")),
            centreAfter(metrics, QStringLiteral("CW CCW       "), QStringLiteral("HP"))};
        for (int g = 0; g < 2; ++g) {
            auto* strip = new QWidget(this);
            int height = 0;
            for (int k = 0; k < 4; ++k) {
                const int item = 4 * ch + k;
                auto* box = makeCheck(strip, indexed(QString::fromLatin1(groupNames[g]), item));
                const QSize size = box->sizeHint();
                box->setGeometry(centres[k] - size.width() / 2, 0, size.width(), size.height());
                height = std::max(height, size.height());
                if (k == 2) {
                    // The unnamed switch keeps its value but is never offered to the operator.
                    box->hide();
                }
                switches_[g][item] = box;
            }
            strip->setFixedSize(metrics.horizontalAdvance(QString::fromLatin1(kSwitchCaption)) + 8, height);
            grid->addWidget(strip, firstRow + 3 + g, column, Qt::AlignLeft | Qt::AlignVCenter);
        }
    }
}

QWidget* SetupWindow::buildButtons() {
    auto* row = new QWidget(this);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    auto* read = makeButton(row, "cmdDataRead", QStringLiteral("Data Read"),
                            QStringLiteral("Data table read from TORVE"), bgrFromRgb(128, 255, 128));
    auto* write = makeButton(row, "cmdDataWrite", QStringLiteral("Data Write"),
                             QStringLiteral("Data table write into TORVE"), bgrFromRgb(255, 128, 128));
    auto* stop = makeButton(row, "Command2", QStringLiteral("R/W Stop"), QString(), bgrFromRgb(255, 255, 0));
    auto* clear = makeButton(row, "cmdDataClear", QStringLiteral("Data Clear"),
                             QStringLiteral("Clear all data table "), bgrFromRgb(192, 255, 255));
    for (QPushButton* button : {read, write, stop, clear}) {
        button->setMinimumHeight(button->sizeHint().height() + 6);
        layout->addWidget(button, 1);
    }
    connect(read, &QPushButton::clicked, this, &SetupWindow::dataReadClicked);
    connect(write, &QPushButton::clicked, this, &SetupWindow::dataWriteClicked);
    connect(stop, &QPushButton::clicked, this, &SetupWindow::rwStopClicked);
    connect(clear, &QPushButton::clicked, this, &SetupWindow::clearClicked);
    return row;
}

QWidget* SetupWindow::buildNotes() {
    auto* notes = new QWidget(this);
    auto* layout = new QVBoxLayout(notes);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(
        makeLabel(notes, QStringLiteral("Label19"),
                  QStringLiteral("Speed write data can be accepted both in Code or PPS unit.")));
    layout->addWidget(
        makeLabel(notes, QStringLiteral("Label16"),
                  QStringLiteral(
                      "But speed read data in code may not be correct when the data were set in PPS unit.")));
    return notes;
}

void SetupWindow::setModelCaptions(bool fourCh, bool usb) {
    const QString model = fourCh ? QStringLiteral("VASKO")
                          : usb  ? QStringLiteral("RUNEL")
                                 : QStringLiteral("KELDA");
    setWindowTitle(model + QStringLiteral(" DATA READ WRITE control"));
    label1_->setText(model + QStringLiteral("-01 DATA RAED  WRITE"));
}

void SetupWindow::closeEvent(QCloseEvent* event) {
    // The sequences end before anything else hears of the close, so that no one sees a read
    // still running on a table that is going away.
    tmrTokei_.setInterval(0);
    tmrWrite_.setInterval(0);
    emit closing();
    event->accept();
}

QLineEdit* SetupWindow::textBox(int field, int ch) const {
    if (field < Position || field > Backlash || ch < 0 || ch >= kChannels) {
        return nullptr;
    }
    return text_[field - Position][ch];
}

QCheckBox* SetupWindow::flagBox(Flag flag, int ch) const {
    if (flag < 0 || flag >= kFlags || ch < 0 || ch >= kChannels) {
        return nullptr;
    }
    return flags_[flag][ch];
}

QCheckBox* SetupWindow::switchItem(SwitchGroup group, int item) const {
    if (group < 0 || group > LsNc || item < 0 || item >= kSwitchItems) {
        return nullptr;
    }
    return switches_[group][item];
}

QString SetupWindow::field(int field, int ch) const {
    const QLineEdit* box = textBox(field, ch);
    return box != nullptr ? box->text() : QString();
}

void SetupWindow::setField(int field, int ch, const QString& text) {
    if (QLineEdit* box = textBox(field, ch)) {
        box->setText(text);
    }
}

// A box counts as set in any state but unticked, so a partly ticked box is set too.
bool SetupWindow::flag(Flag flag, int ch) const {
    const QCheckBox* box = flagBox(flag, ch);
    return box != nullptr && box->checkState() != Qt::Unchecked;
}

void SetupWindow::setFlag(Flag flag, int ch, bool ticked) {
    if (QCheckBox* box = flagBox(flag, ch)) {
        box->setChecked(ticked);
    }
}

bool SetupWindow::switchBox(SwitchGroup group, int item) const {
    const QCheckBox* box = switchItem(group, item);
    return box != nullptr && box->checkState() != Qt::Unchecked;
}

void SetupWindow::setSwitchBox(SwitchGroup group, int item, bool ticked) {
    if (QCheckBox* box = switchItem(group, item)) {
        box->setChecked(ticked);
    }
}

int SetupWindow::speedUnit() const {
    return optDisp_[Code]->isChecked() ? Code : Pps;
}

void SetupWindow::setSpeedUnit(int unit) {
    if (unit == Code || unit == Pps) {
        optDisp_[unit]->setChecked(true);
    }
}

QString SetupWindow::status() const {
    return label17_->text();
}

void SetupWindow::setStatus(const QString& text) {
    label17_->setText(text);
}
