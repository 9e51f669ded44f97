#include "statusstrip.h"

#include "commandchannel.h"
#include "panelstate.h"
#include "panelview.h"
#include "statusfigures.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>

namespace {
QLabel* field(const QString& name, const QString& tip) {
    auto* label = new QLabel;
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setToolTip(tip);
    return label;
}

QFrame* separator() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}
}  // namespace

StatusStrip::StatusStrip(StatusFigures& figures, CommandChannel& channel, const PanelState& state,
                         const PanelView& view, QWidget* parent)
    : QWidget(parent), figures_(figures), channel_(channel), state_(state), view_(view) {
    setObjectName(QStringLiteral("StatusStrip"));
    auto* help =
        field(QStringLiteral("StatusHelp"),
              QStringLiteral("Esc does what Stop does, for the selected channels, wherever the focus is.\n"
                             "Ctrl+Right and Ctrl+Left jog the selected channels as + and - do; held, "
                             "a channel's next jog waits until its last one has ended."));
    help->setText(QStringLiteral("Esc: Stop   Ctrl+\u2192/\u2190: Jog"));
    link_ = field(QStringLiteral("StatusLink"), QStringLiteral("The link chosen and its state"));
    model_ = field(QStringLiteral("StatusModel"),
                   QStringLiteral("Whether a session is open, and the controller identified in it"));
    rate_ = field(QStringLiteral("StatusRate"),
                  QStringLiteral("Replies per second actually received, over the last two seconds"));
    timeouts_ =
        field(QStringLiteral("StatusTimeouts"), QStringLiteral("Reply time-outs since the session opened"));
    // The figures that change while polling keep one size, width and height: only a label fixed in
    // both leaves the layout alone when its text changes. Otherwise every new figure would make
    // the status bar lay itself out and repaint whole, buttons and all, about once a second.
    const int height = rate_->sizeHint().height();
    rate_->setFixedSize(rate_->fontMetrics().horizontalAdvance(rateText(99.9)) + 4, height);
    rate_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // It fills its own background, so a new figure repaints the label alone, not the bars behind.
    rate_->setAutoFillBackground(true);
    timeouts_->setFixedSize(timeouts_->fontMetrics().horizontalAdvance(QStringLiteral("9999 time-outs")) + 4,
                            height);
    layout_ = new QHBoxLayout(this);
    layout_->setContentsMargins(6, 0, 0, 0);
    layout_->setSpacing(4);
    layout_->addWidget(help);
    layout_->addStretch();
    for (QLabel* label : {link_, model_, rate_, timeouts_}) {
        layout_->addWidget(separator());
        layout_->addWidget(label);
    }
    layout_->addWidget(separator());
    QPushButton* traffic = addButton(QStringLiteral("Traffic..."), QStringLiteral("StatusTraffic"),
                                     QStringLiteral("Open the traffic monitor (Ctrl+T)"));
    QPushButton* chart = addButton(QStringLiteral("Chart..."), QStringLiteral("StatusChart"),
                                   QStringLiteral("Open the live position chart (Ctrl+G)"));

    connect(traffic, &QPushButton::clicked, this, &StatusStrip::trafficClicked);
    connect(chart, &QPushButton::clicked, this, &StatusStrip::chartClicked);
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, &StatusStrip::refresh);
    timer_.start();
    refresh();
}

QPushButton* StatusStrip::addButton(const QString& text, const QString& name, const QString& tip) {
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    button->setToolTip(tip);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::NoFocus);  // Tab order of the panel stays as it was
    button->setMinimumWidth(0);
    button->setStyleSheet(QStringLiteral("padding: 2px 4px;"));
    layout_->addWidget(button);
    return button;
}

QString StatusStrip::rateText(double repliesPerSecond) {
    return QStringLiteral("%1 replies/s").arg(repliesPerSecond, 0, 'f', 1);
}

QString StatusStrip::linkText() {
    if (view_.lanSelected()) {
        const QTcpSocket& socket = channel_.tcpSocket();
        const QString peer = QStringLiteral("%1:%2").arg(state_.HostName).arg(state_.PortNo);
        switch (socket.state()) {
            case QAbstractSocket::ConnectedState:
                return QStringLiteral("LAN %1 connected").arg(peer);
            case QAbstractSocket::HostLookupState:
            case QAbstractSocket::ConnectingState:
                return QStringLiteral("LAN connecting to %1").arg(peer);
            default:
                return QStringLiteral("LAN closed");
        }
    }
    const QSerialPort& port = channel_.serialPort();
    return port.isOpen() ? QStringLiteral("USB %1 open").arg(port.portName()) : QStringLiteral("USB closed");
}

void StatusStrip::refresh() {
    link_->setText(linkText());
    const QString model = figures_.model();
    if (!state_.Connected) {
        model_->setText(QStringLiteral("No session"));
    } else {
        model_->setText(model.isEmpty() ? QStringLiteral("Identifying...") : model);
    }
    rate_->setText(rateText(figures_.repliesPerSecond()));
    const int timeouts = figures_.timeouts();
    timeouts_->setText(timeouts == 1 ? QStringLiteral("1 time-out")
                                     : QStringLiteral("%1 time-outs").arg(timeouts));
}
