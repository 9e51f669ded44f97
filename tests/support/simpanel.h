#pragma once

#include "application.h"
#include "recordingmessages.h"
#include "simclock.h"
#include "simcontroller.h"
#include "simtcpserver.h"
#include "simtty.h"

#include <QTemporaryDir>
#include <memory>

// The whole panel, as the program builds it, connected to an in-process simulated controller over
// a real loopback TCP socket (KELDA-01) or a real pseudo-terminal (USB models). Boxes are recorded.
class SimPanel {
public:
    explicit SimPanel(SimModel model);
    ~SimPanel();

    // Connects through the main window and the connection dialog as an operator would, and waits
    // until the model is identified and the rotation polls. False when that did not happen.
    bool connect();

    template <class T>
    T* find(const QString& name) const {
        return app->window.findChild<T*>(name);
    }
    // Clicks a control of the main window (or of the dialog) by its object name.
    void click(const QString& name);
    QString text(const QString& name) const;  // a control's caption or contents

    // What the controller received, one command per entry, without CR LF.
    QByteArrayList received;
    // The same from `from` on, the polling queries left out.
    QByteArrayList commandsSince(qsizetype from) const;

    QTemporaryDir dir;
    // The USB side connects through a symlink to the pseudo-terminal, as the demo does.
    QString ptyLink() const { return linkDir.filePath(QStringLiteral("ttySIM")); }
    QTemporaryDir linkDir;
    MonotonicClock clock;
    SimController sim;
    // Only the link of the model's kind exists: a controller serves one link at a time.
    std::unique_ptr<SimTcpServer> tcp;
    std::unique_ptr<SimPty> pty;
    RecordingMessages messages;
    std::unique_ptr<Application> app;
    bool usb;
};
