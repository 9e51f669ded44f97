#include "automationwindow.h"

#include "automationserver.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kRefreshMs = 500;

QLabel* plainLabel(const QString& text = QString()) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    return label;
}
}  // namespace

AutomationWindow::AutomationWindow(AutomationServer& server, QWidget* parent)
    : QWidget(parent, Qt::Window), server_(server) {
    setObjectName(QStringLiteral("AutomationWindow"));
    setWindowTitle(QStringLiteral("Automation"));
    setAttribute(Qt::WA_QuitOnClose, false);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Listening on:"),
                 plainLabel(QStringLiteral("127.0.0.1:%1").arg(server.port())));
    clients_ = plainLabel();
    clients_->setObjectName(QStringLiteral("AutomationClients"));
    form->addRow(QStringLiteral("Clients:"), clients_);
    form->addRow(QStringLiteral("Token file:"), plainLabel(server.tokenPath()));
    state_ = plainLabel();
    state_->setObjectName(QStringLiteral("AutomationState"));
    form->addRow(QStringLiteral("Scripts:"), state_);

    log_ = new QPlainTextEdit;
    log_->setObjectName(QStringLiteral("AutomationLog"));
    log_->setReadOnly(true);
    // A long line wraps: the time and client at the start of every line stay in view.
    log_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    log_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    log_->setMaximumBlockCount(2 * AutomationServer::kLogLines);
    log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    showQueries_ = new QCheckBox(QStringLiteral("Show queries"));
    showQueries_->setObjectName(QStringLiteral("AutomationShowQueries"));
    showQueries_->setToolTip(
        QStringLiteral("Also the queries answered, which a polling script sends many "
                       "times a second; the log keeps the last 100 of each"));
    connect(showQueries_, &QCheckBox::toggled, this, &AutomationWindow::refresh);

    abort_ = new QPushButton(QStringLiteral("Abort scripts"));
    abort_->setObjectName(QStringLiteral("AutomationAbort"));
    abort_->setToolTip(QStringLiteral("Stop every channel and refuse scripts' commands until enabled again"));
    enable_ = new QPushButton(QStringLiteral("Enable scripts"));
    enable_->setObjectName(QStringLiteral("AutomationEnable"));
    connect(abort_, &QPushButton::clicked, &server_, &AutomationServer::abortScripts);
    connect(enable_, &QPushButton::clicked, &server_, &AutomationServer::enableScripts);
    connect(&server_, &AutomationServer::enabledChanged, this, &AutomationWindow::refresh);
    connect(&server_, &AutomationServer::clientsChanged, this, &AutomationWindow::refresh);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(abort_);
    buttons->addWidget(enable_);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    auto* logTitle = new QHBoxLayout;
    logTitle->addWidget(new QLabel(QStringLiteral("Last commands, refusals and outcomes:")));
    logTitle->addStretch();
    logTitle->addWidget(showQueries_);
    layout->addLayout(logTitle);
    layout->addWidget(log_, 1);
    layout->addLayout(buttons);
    resize(560, 360);

    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, &AutomationWindow::refresh);
    refresh();
}

void AutomationWindow::refresh() {
    clients_->setText(QString::number(server_.clientCount()));
    const bool enabled = server_.scriptsEnabled();
    state_->setText(enabled ? QStringLiteral("enabled")
                            : QStringLiteral("aborted: commands to the controller refused"));
    abort_->setEnabled(enabled);
    enable_->setEnabled(!enabled);
    if (!isVisible()) {
        return;
    }
    QStringList lines;
    for (const AutomationServer::LogEntry& e : server_.log(showQueries_->isChecked())) {
        lines << QStringLiteral("%1  %2  %3%4")
                     .arg(QDateTime::fromMSecsSinceEpoch(e.at).toString(QStringLiteral("hh:mm:ss.zzz")),
                          e.client == 0 ? QStringLiteral("panel") : QStringLiteral("#%1").arg(e.client),
                          e.line, e.outcome.isEmpty() ? QString() : QStringLiteral("   <- ") + e.outcome);
    }
    const QString text = lines.join(u'\n');
    if (text != log_->toPlainText()) {
        log_->setPlainText(text);
        log_->moveCursor(QTextCursor::End);
    }
}

void AutomationWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    refresh();
    timer_.start();
}

void AutomationWindow::hideEvent(QHideEvent* event) {
    timer_.stop();
    QWidget::hideEvent(event);
}

AutomationStatus::AutomationStatus(AutomationServer& server, QWidget* parent)
    : QPushButton(parent), server_(server) {
    setObjectName(QStringLiteral("StatusAutomationButton"));
    setToolTip(QStringLiteral("The automation port on 127.0.0.1:%1: clients, last commands, Abort scripts")
                   .arg(server.port()));
    setAutoDefault(false);
    setFocusPolicy(Qt::NoFocus);
    setStyleSheet(QStringLiteral("padding: 2px 4px;"));
    connect(&server_, &AutomationServer::clientsChanged, this, &AutomationStatus::showCount);
    connect(&server_, &AutomationServer::enabledChanged, this, [this] { showCount(server_.clientCount()); });
    showCount(server_.clientCount());
}

QString AutomationStatus::text(int clients, bool enabled) {
    return QStringLiteral("SCPI: %1 %2%3...")
        .arg(clients)
        .arg(clients == 1 ? QStringLiteral("client") : QStringLiteral("clients"))
        .arg(enabled ? QString() : QStringLiteral(", aborted"));
}

void AutomationStatus::showCount(int clients) {
    setText(text(clients, server_.scriptsEnabled()));
}
