#include "mainwindow.h"

#include "colours.h"
#include "lampindicator.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>

namespace {
// The widest text a position display has to hold: the placeholder of an unused channel.
constexpr int kPositionChars = 11;
}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("KELDAVK"));
    setWindowTitle(QStringLiteral("KELDA-01, RUNEL-01, VASKO-01 control via Telnet & USB"));
    setBackColour(this, Bgr::PanelGrey);

    auto* about = new QAction(QStringLiteral("&About"), this);
    about->setObjectName(QStringLiteral("Menu_About"));
    menuBar()->addAction(about);
    connect(about, &QAction::triggered, this, &MainWindow::aboutRequested);

    auto* central = new QWidget;
    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(10, 8, 10, 10);
    grid->setSpacing(8);
    grid->addWidget(buildConnectionRow(), 0, 0, 1, 2);
    grid->addWidget(buildChannelGrid(), 1, 0);
    grid->addWidget(buildControlColumn(), 1, 1);
    grid->addWidget(buildFreeText(), 2, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    grid->setRowStretch(1, 3);
    grid->setRowStretch(2, 2);
    setCentralWidget(central);
    fitPositionDisplays();

    // Esc is "Stop" from anywhere in the window, the send box and the set-data boxes included
    // (neither claims the key for itself): the operator's way out must not depend on focus.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setObjectName(QStringLiteral("EscStop"));
    escape->setContext(Qt::WindowShortcut);
    escape->setAutoRepeat(false);
    connect(escape, &QShortcut::activated, this, &MainWindow::escPressed);
    // Held, the keyboard repeats them; the text boxes claim them for moving by a word.
    for (const bool cw : {true, false}) {
        auto* jog = new QShortcut(QKeySequence(Qt::CTRL | (cw ? Qt::Key_Right : Qt::Key_Left)), this);
        jog->setObjectName(cw ? QStringLiteral("KeyJogCw") : QStringLiteral("KeyJogCcw"));
        jog->setContext(Qt::WindowShortcut);
        connect(jog, &QShortcut::activated, this, [this, cw] { emit jogKeyPressed(cw); });
    }
}

QFont MainWindow::positionFont(int points) {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setStyleHint(QFont::Monospace);
    font.setPointSize(points);
    return font;
}

// All four displays share one width, the widest any of them needs, so the columns stay even
// when the channels use different font sizes.
void MainWindow::fitPositionDisplays() {
    int width = 0;
    for (const QLabel* position : position_) {
        const QFontMetrics metrics(position->font());
        width = qMax(width,
                     metrics.horizontalAdvance(QString(kPositionChars, u'0')) + 2 * position->margin() + 8);
    }
    for (QLabel* position : position_) {
        position->setMinimumWidth(width);
    }
}

void MainWindow::setCloseGuard(std::function<bool()> mayClose) {
    mayClose_ = std::move(mayClose);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (mayClose_ && !mayClose_()) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

bool MainWindow::lanSelected() const {
    return optionLan_->isChecked();
}

void MainWindow::selectLink(bool lan) {
    (lan ? optionLan_ : optionUsb_)->setChecked(true);
}

void MainWindow::setLinkOptionEnabled(bool lan, bool enabled) {
    (lan ? optionLan_ : optionUsb_)->setEnabled(enabled);
}

void MainWindow::setConnectCaption(const QString& caption) {
    connect_->setText(caption);
}

void MainWindow::setConnectColour(std::uint32_t bgr) {
    setBackColour(connect_, bgr);
}

void MainWindow::setQuitColour(std::uint32_t bgr) {
    setBackColour(quit_, bgr);
}

void MainWindow::setHostLine(const QString& text) {
    hostLine_->setText(text);
}

void MainWindow::setPortLine(const QString& text) {
    portLine_->setText(text);
}

QString MainWindow::sendText() const {
    QString text = send_->toPlainText();
    text.replace(u'\n', QStringLiteral("\r\n"));
    return text;
}

QString MainWindow::receiveText() const {
    return receive_->toPlainText();
}

void MainWindow::setReceiveText(const QString& text) {
    receive_->setPlainText(text);
}

void MainWindow::setModelTitle(const QString& text) {
    modelTitle_->setText(text);
}

void MainWindow::setFirmwareLine(const QString& text) {
    firmwareLine_->setText(text);
}

void MainWindow::setPosition(int ch, const QString& text) {
    position_.at(ch)->setText(text);
}

LampIndicator* MainWindow::lamp(Lamp lamp, int ch) const {
    switch (lamp) {
        case Lamp::CW:
            return lampCw_.at(ch);
        case Lamp::CCW:
            return lampCcw_.at(ch);
        case Lamp::HP:
            break;
    }
    return lampHp_.at(ch);
}

void MainWindow::setLamp(Lamp which, int ch, bool lit) {
    lamp(which, ch)->setFillBgr(lit ? Bgr::Red : Bgr::White);
}

void MainWindow::setHoldOffLit(int ch, bool lit) {
    // Every status reply sets every hold-off: a change is told by the state kept here, not by
    // reading the button's colour property back.
    if (holdOffLit_.at(ch) == lit) {
        return;
    }
    holdOffLit_[ch] = lit;
    setBackColour(holdOff_[ch], lit ? Bgr::Red : Bgr::ButtonFace);
}

void MainWindow::selectSpeed(int k) {
    QAbstractButton* option = speed_->button(k);
    if (option != nullptr && !option->isChecked()) {
        option->setChecked(true);  // reports through the option's toggled handler, as a click does
    }
}

void MainWindow::showSpeed(int k) {
    QAbstractButton* option = speed_->button(k);
    if (option != nullptr) {
        const QSignalBlocker quiet(option);  // only the option that becomes selected reports
        option->setChecked(true);
    }
}

void MainWindow::setDemoControlsVisible(bool visible) {
    demo_->setVisible(visible);
    syncDemo_->setVisible(visible);
    demoFrame_->setVisible(visible);  // an empty frame would look like a missing control
}

void MainWindow::setChannelFontSize(int ch, int points) {
    position_.at(ch)->setFont(positionFont(points));
    text1_.at(ch)->setFont(positionFont(points));
    fitPositionDisplays();
}

void MainWindow::setChannelEnabled(int ch, bool enabled) {
    ch_.at(ch)->setEnabled(enabled);
    holdOff_.at(ch)->setEnabled(enabled);
    text1_.at(ch)->setEnabled(enabled);
}

void MainWindow::setChannelColour(int ch, std::uint32_t bgr) {
    setBackColour(ch_.at(ch), bgr);
}

int MainWindow::controlMode() const {
    return mode_->checkedId();
}

QString MainWindow::setData(int ch) const {
    return text1_.at(ch)->text();
}

void MainWindow::setSetData(int ch, const QString& text) {
    text1_.at(ch)->setText(text);
}

void MainWindow::setControlMode(int mode) {
    if (QAbstractButton* option = mode_->button(mode)) {
        option->setChecked(true);
    }
}

bool MainWindow::backlashTicked(int ch) const {
    return check1_.at(ch)->checkState() != Qt::Unchecked;
}

bool MainWindow::syncDemoTicked() const {
    return syncDemo_->checkState() != Qt::Unchecked;
}

void MainWindow::setDemoButton(const QString& caption, std::uint32_t bgr) {
    demo_->setText(caption);
    setBackColour(demo_, bgr);
}

QString MainWindow::demoButtonCaption() const {
    return demo_->text();
}

void MainWindow::setStartColour(std::uint32_t bgr) {
    setBackColour(ctr_[1], bgr);
}

void MainWindow::setSendText(const QString& text, int cursor) {
    // The caret counts CR LF as two characters; in the box each is a single line break.
    const int caret = qBound(0, cursor, int(text.size()));
    const int boxCaret = caret - int(text.left(caret).count(QStringLiteral("\r\n")));
    QString boxText = text;
    boxText.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const bool changed = boxText != send_->toPlainText();
    {
        // The change is announced only once the caret is in place, so a handler that edits the
        // text again starts from the finished state.
        const QSignalBlocker quiet(send_);
        send_->setPlainText(boxText);
        QTextCursor textCursor = send_->textCursor();
        textCursor.setPosition(qBound(0, boxCaret, int(boxText.size())));
        send_->setTextCursor(textCursor);
    }
    if (changed) {
        emit sendTextChanged();
    }
}
