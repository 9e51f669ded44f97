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
    // A link left open by a session that was lost (not disconnected) is closed first.
    channel_.closeTcp();
    channel_.closeSerial();
    QString settingsFile;
    QStringList list;
    QString used;
    if (dialog_->networkSide()) {
        state_.HostName = dialog_->hostText();
        const long long port = portNumber(dialog_->portText());
        if (port < 1 || port > 65535) {
            FailAttempt();
            return;
        }
        state_.PortNo = int(port);
        channel_.openTcp(state_.HostName, quint16(port));
        view_.setHostLine(QStringLiteral("Host Name ") + state_.HostName);
        view_.setPortLine(QStringLiteral("Port No. ") + QString::number(state_.PortNo));
        used = dialog_->hostText();
        list = dialog_->hostList();
        RecentList::update(list, used);
        dialog_->setHostList(list);
        dialog_->setHostText(used);
        settingsFile = kHostsFile;
    } else {
        const QString comText = dialog_->comText();
        const QString name = serialPortName(comText);
        state_.PortNo = int(portNumber(comText));
        if (name.isEmpty() || !channel_.openSerial(name)) {
            FailAttempt();
            return;
        }
        view_.setPortLine(QStringLiteral("Port No.   COM") + comText + QStringLiteral(" (USB)"));
        used = comText;
        list = dialog_->comList();
        RecentList::update(list, used);
        dialog_->setComList(list);
        dialog_->setComText(used);
        settingsFile = kComFile;
    }
    if (!RecentList::save(settingsDir_.filePath(settingsFile), RecentList::line(list))) {
        FailAttempt();
        return;
    }
    state_.Connected = true;
    timer2_.setInterval(20);
    state_.PollStep = 4;
    state_.ReplyWaitTicks = 0;
    state_.AwaitingReply = 0;
    view_.setConnectColour(Bgr::LightYellow);
    view_.setQuitColour(Bgr::LightYellow);
    view_.setConnectCaption(QStringLiteral("Disconnect"));
    dialog_->hide();
    state_.TimeoutCount = 0;
    emit connected();
}

void Session::FailAttempt() {
    // A port opened by this attempt is closed again, so a retry starts from a clean link.
    channel_.closeTcp();
    if (!dialog_->networkSide()) {
        channel_.closeSerial();
    }
    messages_.showMessage(QStringLiteral("Wrong port number !"), QString(), MessageSink::Icon::None);
}

void Session::Disconnect() {
    if (view_.lanSelected()) {
        channel_.closeTcp();
    } else {
        channel_.closeSerial();
    }
    timer2_.setInterval(0);
    state_.Connected = false;
    state_.Axes.sessionEnded(QStringLiteral("the operator disconnected"));
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
