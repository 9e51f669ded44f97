#pragma once

#include "linkrequest.h"

#include <QDir>
#include <QObject>
#include <QPointer>
#include <optional>

class CommandChannel;
class ConnectDialog;
class IntervalTimer;
class MessageSink;
class PanelView;
struct PanelState;

// Opens and closes the session with one controller through the connection dialog, or on a link given
// without it, remembers the recent hosts and COM numbers, and guards the main window's close while a
// session is open.
class Session : public QObject {
    Q_OBJECT
public:
    static inline const QString kHostsFile = QStringLiteral("KELDA_L.Log");
    static inline const QString kComFile = QStringLiteral("KELDA_U.Log");

    // `settingsDir` is where the two settings files live (the working directory in the program).
    Session(PanelState& state, PanelView& view, CommandChannel& channel, MessageSink& messages,
            IntervalTimer& timer2, QDir settingsDir = QDir::current(), QObject* parent = nullptr);
    ~Session() override;

    // Main window's Connect button: opens the dialog, or disconnects during a session.
    void ConnectClicked();
    // The dialog's buttons and close box.
    void DialogConnect();
    void Cancel();
    void DialogClosed();
    // False (after telling the operator) while a session is open.
    bool MayCloseMainWindow();

    // Opens a session on `link` as the dialog's Connect does (the link option chosen to match, the
    // same checks, recent list and captions) but shows no box: empty when it is open, else why not.
    QString Open(const LinkRequest& link);
    // Ends the session as the Connect button does during one; `why` ends the moves under way.
    void Close(const QString& why);
    // The link of the last session opened, by the dialog or by Open.
    std::optional<LinkRequest> lastLink() const { return lastLink_; }

    // Serial port name for a COM box text: a leading number n means COMn on Windows and the
    // first existing /dev/ttyUSBn or /dev/ttyACMn elsewhere; any other text names the device.
    static QString serialPortName(const QString& comText);

    ConnectDialog* dialog() const;

signals:
    void connected();
    void disconnected();

private:
    void OpenDialog();
    void LoadDialog();
    void Disconnect(const QString& why = QStringLiteral("the operator disconnected"));
    void FailAttempt();
    // What the dialog's Connect and Open share: `recent` is the list of hosts or COM texts the
    // link's text is put at the top of and saved. Empty when the session is open, else why not,
    // the link opened for it closed again.
    QString OpenLink(const LinkRequest& link, QStringList& recent);

    PanelState& state_;
    PanelView& view_;
    CommandChannel& channel_;
    MessageSink& messages_;
    IntervalTimer& timer2_;
    QDir settingsDir_;
    QPointer<ConnectDialog> dialog_;
    std::optional<LinkRequest> lastLink_;
};
