#include "simtcpserver.h"

#include "simcontroller.h"

SimTcpServer::SimTcpServer(SimController& controller, QObject* parent)
    : QObject(parent), m_controller(controller) {
    connect(&m_server, &QTcpServer::newConnection, this, &SimTcpServer::acceptClients);
    connect(&m_controller, &SimController::outputReady, this, &SimTcpServer::writeDue);
}

SimTcpServer::~SimTcpServer() {
    // Sockets are the server's children; cut them loose first so none of their signals reaches
    // a half-destroyed link.
    for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>()) {
        socket->disconnect();
        socket->abort();
        delete socket;
    }
}

quint16 SimTcpServer::listen(quint16 port, const QHostAddress& address) {
    return m_server.listen(address, port) ? m_server.serverPort() : 0;
}

void SimTcpServer::close() {
    m_server.close();
    if (m_client) {
        dropClient();
    }
}

void SimTcpServer::acceptClients() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        const QString peer = socket->peerAddress().toString() + ':' + QString::number(socket->peerPort());
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        if (m_client) {
            socket->write("BUSY\r\n");
            socket->disconnectFromHost();
            emit clientRefused(peer);
            continue;
        }
        m_client = socket;
        // Pieces of a split reply must leave as separate segments.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(socket, &QTcpSocket::readyRead, this, &SimTcpServer::readClient);
        connect(socket, &QTcpSocket::disconnected, this, &SimTcpServer::dropClient);
        m_controller.resetLink();
        emit clientConnected(peer);
    }
}

void SimTcpServer::readClient() {
    if (!m_client) {
        return;
    }
    const QByteArray bytes = m_client->readAll();
    emit received(bytes);
    m_controller.receive(bytes);
}

void SimTcpServer::writeDue() {
    const QList<SimChunk> due = m_controller.takeDue();
    if (!m_client) {
        return;
    }
    for (const SimChunk& chunk : due) {
        m_client->write(chunk.bytes);
        m_client->flush();
        emit sent(chunk.bytes);
        if (chunk.hangUp) {
            emit hungUp();
            dropClient();
            return;
        }
    }
}

void SimTcpServer::dropClient() {
    QTcpSocket* socket = m_client;
    if (!socket) {
        return;
    }
    m_client = nullptr;
    disconnect(socket, nullptr, this, nullptr);
    socket->disconnectFromHost();
    m_controller.resetLink();
    emit clientDisconnected();
}
