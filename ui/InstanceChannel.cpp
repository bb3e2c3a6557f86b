#include "ui/InstanceChannel.h"

#include <QLocalServer>
#include <QLocalSocket>

namespace {

constexpr char kRaise[] = "raise\n";
constexpr int kWaitMs = 1000;

}  // namespace

InstanceChannel::InstanceChannel(QObject* parent) : QObject(parent), m_server(new QLocalServer(this)) {
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().startsWith(QByteArray(kRaise).trimmed())) emit raiseRequested();
            });
        }
    });
}

QString InstanceChannel::socketPathFor(const QString& lockPath) {
    QString path = lockPath;
    if (path.endsWith(QStringLiteral(".lock"))) path.chop(5);
    return path + QStringLiteral(".socket");
}

bool InstanceChannel::listen(const QString& path) {
    // Only the user may talk to it: it lies in the user's runtime folder, and the socket is the user's.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(path);
    return m_server->listen(path);
}

bool InstanceChannel::askToRaise(const QString& path) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(kWaitMs)) return false;
    socket.write(kRaise);
    const bool written = socket.waitForBytesWritten(kWaitMs);
    socket.disconnectFromServer();
    return written;
}
