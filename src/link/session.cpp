#include "session.h"

#include "colours.h"
#include "commandchannel.h"
#include "connectdialog.h"
#include "intervaltimer.h"
#include "messages.h"
#include "panelstate.h"
#include "panelview.h"
#include "recentlist.h"
#include "textfields.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

Session::Session(PanelState& state, PanelView& view, CommandChannel& channel, MessageSink& messages,
                 IntervalTimer& timer2, QDir settingsDir, QObject* parent)
    : QObject(parent),
      state_(state),
      view_(view),
      channel_(channel),
      messages_(messages),
      timer2_(timer2),
      settingsDir_(std::move(settingsDir)) {}

Session::~Session() {
    delete dialog_;
}

ConnectDialog* Session::dialog() const {
    return dialog_;
}

void Session::ConnectClicked() {
    if (state_.Connected) {
        Disconnect();
    } else {
        OpenDialog();
    }
}

void Session::OpenDialog() {
    const bool lan = view_.lanSelected();
    view_.setLinkOptionEnabled(!lan, false);
    bool fresh = false;
    if (dialog_.isNull()) {
        dialog_ = new ConnectDialog;
        connect(dialog_, &ConnectDialog::connectRequested, this, &Session::DialogConnect);
        connect(dialog_, &ConnectDialog::cancelRequested, this, &Session::Cancel);
        connect(dialog_, &ConnectDialog::closeBoxPressed, this, &Session::DialogClosed);
        fresh = true;
    }
    dialog_->setNetworkSide(lan);
    if (fresh) {
        LoadDialog();
    }
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

void Session::LoadDialog() {
    const bool lan = view_.lanSelected();
    const RecentList::Loaded loaded = RecentList::load(settingsDir_.filePath(lan ? kHostsFile : kComFile));
    if (loaded.entries.isEmpty()) {
        return;
    }
    if (lan) {
        dialog_->setHostList(loaded.entries);
        if (loaded.complete) {
            dialog_->setHostText(loaded.entries.first());
        }
    } else {
        dialog_->setComList(loaded.entries);
        if (loaded.complete) {
            dialog_->setComText(loaded.entries.first());
        }
    }
}

namespace {
// The number at the start of a port text, rounded; 0 when there is none.
long long portNumber(const QString& text) {
    const double value = TextFields::leadingNumber(text);
    return std::llround(std::clamp(value, -1.0e9, 1.0e9));
}
}  // namespace

QString Session::serialPortName(const QString& comText) {
    const QString text = comText.trimmed();
    if (!text.isEmpty() && text[0].isDigit()) {
        const long long n = portNumber(text);
#ifdef Q_OS_WIN
        return QStringLiteral("COM%1").arg(n);
#else
        for (const QString& stem : {QStringLiteral("/dev/ttyUSB"), QStringLiteral("/dev/ttyACM")}) {
            const QString path = stem + QString::number(n);
            if (QFileInfo::exists(path)) {
                return path;
            }
        }
        return QStringLiteral("/dev/ttyUSB%1").arg(n);
#endif
    }
    return text;
}

void Session::DialogConnect() {
    if (dialog_.isNull()) {
        return;
    }
    const bool lan = dialog_->networkSide();
    const LinkRequest link{lan, dialog_->hostText(), lan ? dialog_->portText() : dialog_->comText()};
    QStringList list = lan ? dialog_->hostList() : dialog_->comList();
    if (!OpenLink(link, list).isEmpty()) {
        FailAttempt();
        return;
    }
    if (lan) {
        dialog_->setHostList(list);
        dialog_->setHostText(link.host);
    } else {
        dialog_->setComList(list);
        dialog_->setComText(link.port);
    }
    dialog_->hide();
    emit connected();
}

QString Session::Open(const LinkRequest& link) {
    if (state_.Connected) {
        return QStringLiteral("already connected");
    }
    // The option the dialog would have been opened on, the other one locked as it would be.
    view_.setLinkOptionEnabled(link.lan, true);
    view_.selectLink(link.lan);
    view_.setLinkOptionEnabled(!link.lan, false);
    QStringList list = RecentList::load(settingsDir_.filePath(link.lan ? kHostsFile : kComFile)).entries;
    const QString why = OpenLink(link, list);
    if (!why.isEmpty()) {
        view_.setLinkOptionEnabled(!link.lan, true);
        return why;
    }
    // An open dialog would show an old list and offer a second session: it is read afresh next time.
    if (!dialog_.isNull()) {
        dialog_->deleteLater();
        dialog_ = nullptr;
    }
    emit connected();
    return {};
}

QString Session::OpenLink(const LinkRequest& link, QStringList& recent) {
    // A link left open by a session that was lost (not disconnected) is closed first.
    channel_.closeTcp();
    channel_.closeSerial();
    QString why;
    QString settingsFile;
    if (link.lan) {
        state_.HostName = link.host;
        const long long port = portNumber(link.port);
        if (port < 1 || port > 65535) {
            why = QStringLiteral("wrong port number %1 (1 to 65535)").arg(link.port);
        } else {
            state_.PortNo = int(port);
            channel_.openTcp(state_.HostName, quint16(port));
            view_.setHostLine(QStringLiteral("Host Name ") + state_.HostName);
            view_.setPortLine(QStringLiteral("Port No. ") + QString::number(state_.PortNo));
            RecentList::update(recent, link.host);
            settingsFile = kHostsFile;
        }
    } else {
        const QString name = serialPortName(link.port);
        state_.PortNo = int(portNumber(link.port));
        if (name.isEmpty()) {
            why = QStringLiteral("no serial port given");
        } else if (!channel_.openSerial(name)) {
            why = QStringLiteral("cannot open %1: %2").arg(name, channel_.serialError());
        } else {
            view_.setPortLine(QStringLiteral("Port No.   COM") + link.port + QStringLiteral(" (USB)"));
            RecentList::update(recent, link.port);
            settingsFile = kComFile;
        }
    }
    if (why.isEmpty() && !RecentList::save(settingsDir_.filePath(settingsFile), RecentList::line(recent))) {
        why = QStringLiteral("cannot write %1").arg(settingsDir_.filePath(settingsFile));
    }
    if (!why.isEmpty()) {
        // A port opened by this attempt is closed again, so a retry starts from a clean link.
        channel_.closeTcp();
        if (!link.lan) {
            channel_.closeSerial();
        }
        return why;
    }
    state_.Connected = true;
    timer2_.setInterval(20);
    state_.PollStep = 4;
    state_.ReplyWaitTicks = 0;
    state_.AwaitingReply = 0;
    view_.setConnectColour(Bgr::LightYellow);
    view_.setQuitColour(Bgr::LightYellow);
    view_.setConnectCaption(QStringLiteral("Disconnect"));
    state_.TimeoutCount = 0;
    lastLink_ = link;
    return {};
}

void Session::FailAttempt() {
    messages_.showMessage(QStringLiteral("Wrong port number !"), QString(), MessageSink::Icon::None);
}

void Session::Close(const QString& why) {
    if (state_.Connected) {
        Disconnect(why);
    }
}

void Session::Disconnect(const QString& why) {
    if (view_.lanSelected()) {
        channel_.closeTcp();
    } else {
        channel_.closeSerial();
    }
    timer2_.setInterval(0);
    state_.Connected = false;
    state_.Axes.sessionEnded(why);
    view_.setConnectCaption(QStringLiteral("Connect"));
    view_.setConnectColour(Bgr::ButtonFace);
    view_.setQuitColour(Bgr::ButtonFace);
    view_.setHostLine(QStringLiteral("Host Name "));
    view_.setPortLine(QStringLiteral("Port No. "));
    view_.setLinkOptionEnabled(true, true);
    view_.setLinkOptionEnabled(false, true);
    emit disconnected();
}

void Session::Cancel() {
    channel_.closeTcp();
    if (!dialog_.isNull()) {
        dialog_->hide();
    }
    view_.setConnectCaption(QStringLiteral("Connect"));
    state_.Connected = false;
    view_.setLinkOptionEnabled(true, true);
    view_.setLinkOptionEnabled(false, true);
}

void Session::DialogClosed() {
    // The dialog unloads: the next opening builds it afresh and reads its settings file again.
    if (!dialog_.isNull()) {
        dialog_->deleteLater();
        dialog_ = nullptr;
    }
    view_.setLinkOptionEnabled(true, true);
    view_.setLinkOptionEnabled(false, true);
}

bool Session::MayCloseMainWindow() {
    if (!state_.Connected) {
        return true;
    }
    messages_.showMessage(QStringLiteral("Session is still active, Please disconnect before exit."),
                          kCautionTitle, MessageSink::Icon::Information);
    return false;
}
