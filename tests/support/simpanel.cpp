#include "simpanel.h"

#include "connectdialog.h"
#include "widgets.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

SimPanel::SimPanel(SimModel model) : sim(model, clock), usb(model != SimModel::Kelda) {
    if (usb) {
        pty = std::make_unique<SimPty>(sim);
    } else {
        tcp = std::make_unique<SimTcpServer>(sim);
    }
    QObject::connect(&sim, &SimController::commandReceived, &sim,
                     [this](const QByteArray& line) { received.append(line.trimmed()); });
    app = std::make_unique<Application>(QDir(dir.path()), &messages);
    app->window.show();
}

SimPanel::~SimPanel() {
    if (app->state.Connected) {
        app->session.ConnectClicked();
    }
    app.reset();
}

void SimPanel::click(const QString& name) {
    QAbstractButton* button = app->window.findChild<QAbstractButton*>(name);
    if (button == nullptr && app->session.dialog() != nullptr) {
        button = app->session.dialog()->findChild<QAbstractButton*>(name);
    }
    QVERIFY2(button != nullptr, qPrintable(name));
    QTest::mouseClick(button, Qt::LeftButton);
}

QByteArrayList SimPanel::commandsSince(qsizetype from) const {
    QByteArrayList out;
    for (qsizetype i = from; i < received.size(); ++i) {
        const QByteArray& c = received[i];
        const bool poll = c == "VER?" || c == "S48" || c.startsWith("STS") || c.startsWith("PS?") ||
                          (c.startsWith("S2") && c.size() == 4);
        if (!poll) {
            out << c;
        }
    }
    return out;
}

QString SimPanel::text(const QString& name) const {
    return captionOf(app->window.findChild<QWidget*>(name));
}

bool SimPanel::connect() {
    if (usb) {
        if (!pty->open(ptyLink())) {
            return false;
        }
    } else if (tcp->listen(0) == 0) {
        return false;
    }
    click(usb ? QStringLiteral("Option4") : QStringLiteral("Option3"));
    click(QStringLiteral("Connect"));
    ConnectDialog* dialog = app->session.dialog();
    if (dialog == nullptr) {
        return false;
    }
    if (usb) {
        dialog->findChild<QComboBox*>(QStringLiteral("ComNo"))->setEditText(ptyLink());
    } else {
        dialog->findChild<QComboBox*>(QStringLiteral("HostEdit"))->setEditText(QStringLiteral("127.0.0.1"));
        dialog->findChild<QLineEdit*>(QStringLiteral("Text1"))->setText(QString::number(tcp->port()));
    }
    click(QStringLiteral("ConnectButton"));
    // Identified, and every channel polled once: scripts may move them from then on.
    const auto polled = [this] {
        for (int ch = 0; ch <= app->state.LastChannel; ++ch) {
            if (!app->state.Axes.report(ch).position) {
                return false;
            }
        }
        return true;
    };
    const bool ok = QTest::qWaitFor(
        [&] {
            return app->state.Connected && app->state.PollStep != 4 && app->state.PollStep != 5 && polled();
        },
        5000);
    if (!ok) {
        qWarning() << "not connected: boxes" << messages.texts() << "sent to the controller" << received
                   << "poll step" << app->state.PollStep << "connected" << app->state.Connected;
    }
    return ok;
}
