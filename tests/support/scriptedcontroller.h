#pragma once

#include "application.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <memory>

// A controller played by the test over a real loopback TCP socket (a KELDA-01) or a real
// pseudo-terminal (a VASKO-01): it answers the polling rotation from fixed replies (every position
// +0001000, every lamp dark) and can send what no controller would, such as an endless line.
class ScriptedController : public QObject {
    Q_OBJECT
public:
    explicit ScriptedController(bool usb, QObject* parent = nullptr);
    ~ScriptedController() override;

    bool listening() const;
    // Connects the panel through its connection dialog, as an operator would.
    bool connectPanel(Application& app);
    // Sends `line` and then CR LF; replies to queries that come meanwhile follow it.
    void flood(const QByteArray& line);
    // Everything queued has left.
    bool flooded() const;

private:
    void onData(const QByteArray& bytes);
    void send(const QByteArray& bytes);
    void writePending();

    bool usb_;
    QByteArray partial_;
    QTcpServer server_;
    QPointer<QTcpSocket> socket_;
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    QByteArray pending_;
    std::unique_ptr<QSocketNotifier> readable_;
    std::unique_ptr<QSocketNotifier> writable_;
};
