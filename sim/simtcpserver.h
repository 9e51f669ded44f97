#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

class SimController;

// The network link: a raw TCP text stream, one client at a time. A second client is told "BUSY"
// and closed, so the first keeps its session.
class SimTcpServer : public QObject {
    Q_OBJECT
public:
    explicit SimTcpServer(SimController& controller, QObject* parent = nullptr);
    ~SimTcpServer() override;

    // Port 0 takes any free port. Returns the bound port, or 0 (see errorString).
    quint16 listen(quint16 port = 7777, const QHostAddress& address = QHostAddress(QHostAddress::LocalHost));
    quint16 port() const { return m_server.serverPort(); }
    QString errorString() const { return m_server.errorString(); }
    bool hasClient() const { return m_client != nullptr; }
    void close();

signals:
    void clientConnected(const QString& peer);
    void clientRefused(const QString& peer);
    void clientDisconnected();
    void received(const QByteArray& bytes);
    void sent(const QByteArray& bytes);
    void hungUp();

private:
    void acceptClients();
    void readClient();
    void writeDue();
    void dropClient();

    SimController& m_controller;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_client;
};
