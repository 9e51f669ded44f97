#include "linkkeeper.h"

#include "commandchannel.h"
#include "panelstate.h"
#include "session.h"

#include <QTime>
#include <algorithm>

namespace {
QString now() {
    return QTime::currentTime().toString(QStringLiteral("hh:mm:ss"));
}
}  // namespace

LinkKeeper::LinkKeeper(Session& session, CommandChannel& channel, const PanelState& state, QObject* parent)
    : QObject(parent), session_(session), state_(state) {
    connect(&timer_, &QTimer::timeout, this, &LinkKeeper::attempt);
    connect(&channel, &CommandChannel::sessionEnded, this, &LinkKeeper::sessionEnded);
    connect(&channel, &CommandChannel::replyDelivered, this, &LinkKeeper::answered);
    // Somebody else opened or ended the session: nothing is left to bring back.
    connect(&session, &Session::connected, this, [this] {
        if (!opening_) {
            timer_.stop();
            phase_ = Phase::Idle;
        }
    });
    connect(&session, &Session::disconnected, this, [this] {
        timer_.stop();
        phase_ = Phase::Idle;
    });
}

void LinkKeeper::setReconnectSeconds(int seconds) {
    seconds_ = std::max(seconds, 0);
    if (seconds_ == 0 && phase_ == Phase::Waiting) {
        timer_.stop();
        phase_ = Phase::Idle;
    }
}

QString LinkKeeper::open(const LinkRequest& link, Source source, int client) {
    if (source != Source::Reconnection) {
        timer_.stop();
    }
    phase_ = Phase::Trying;
    source_ = source;
    client_ = client;
    link_ = link;
    opening_ = true;
    const QString why = session_.Open(link);
    opening_ = false;
    if (!why.isEmpty()) {
        failed(why);
    }
    return why;
}

void LinkKeeper::close(const QString& why) {
    timer_.stop();
    phase_ = Phase::Idle;
    session_.Close(why);
}

void LinkKeeper::failed(const QString& why) {
    phase_ = Phase::Idle;
    switch (source_) {
        case Source::StartUp:
            if (seconds_ > 0) {
                wait(link_);
                emit note(QStringLiteral("cannot connect to %1: %2, trying again every %3 s")
                              .arg(link_.text(), why)
                              .arg(seconds_));
            } else {
                emit note(QStringLiteral("cannot connect to %1: %2").arg(link_.text(), why));
            }
            break;
        case Source::Script:
            emit note(
                QStringLiteral("client %1 cannot connect to %2: %3").arg(client_).arg(link_.text(), why));
            break;
        case Source::Reconnection:
            // Said once when the link was lost; the next turn tries again.
            phase_ = Phase::Waiting;
            break;
    }
}

void LinkKeeper::wait(const LinkRequest& link) {
    source_ = Source::Reconnection;
    link_ = link;
    phase_ = Phase::Waiting;
    timer_.start(seconds_ * 1000);
}

void LinkKeeper::sessionEnded(const QString& why) {
    if (phase_ == Phase::Idle && (seconds_ == 0 || !session_.lastLink())) {
        return;  // the operator is told in a box, as always
    }
    // The box that follows at once says nothing new; a later one is told in full.
    told_ = true;
    QTimer::singleShot(0, this, [this] { told_ = false; });
    if (phase_ == Phase::Trying) {
        const Source source = source_;
        failed(why);
        if (source == Source::Script) {
            emit scriptConnectFailed(client_, why);
        }
    } else if (phase_ == Phase::Idle) {
        wait(*session_.lastLink());
        emit note(QStringLiteral("link lost %1 (%2), reconnecting every %3 s").arg(now(), why).arg(seconds_));
    }
}

void LinkKeeper::answered() {
    if (phase_ != Phase::Trying) {
        return;
    }
    timer_.stop();
    phase_ = Phase::Idle;
    if (source_ == Source::Reconnection) {
        emit note(QStringLiteral("reconnected %1").arg(now()));
    } else if (source_ == Source::StartUp) {
        emit note(QStringLiteral("connected to %1 %2").arg(link_.text(), now()));
    }
}

void LinkKeeper::attempt() {
    if (phase_ != Phase::Waiting) {
        return;  // the last attempt has not been answered or refused yet
    }
    if (state_.Connected) {
        timer_.stop();
        phase_ = Phase::Idle;
        return;
    }
    if (mayOpen_ && !mayOpen_()) {
        return;
    }
    open(link_, Source::Reconnection);
}

bool LinkKeeper::unattended() const {
    return seconds_ > 0 || phase_ == Phase::Trying || told_;
}

bool LinkKeeper::divert(const QString& boxText) {
    // The link's two boxes, wherever the logic raises them; any other box is the operator's.
    const bool link =
        boxText == QStringLiteral("Not connected !") || boxText == QStringLiteral("Connection failed !");
    if (!link || !unattended()) {
        return false;
    }
    if (!std::exchange(told_, false)) {
        emit note(QStringLiteral("%1 (%2)").arg(boxText, now()));
    }
    return true;
}
