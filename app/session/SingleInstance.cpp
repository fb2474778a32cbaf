#include "app/session/SingleInstance.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QtEndian>

#include <unistd.h>

namespace tarvik {

namespace {

// A request larger than this is not a start request; the connection is dropped.
constexpr qint64 maximumRequest = 1 << 20;

QString displayName() {
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    return wayland.isEmpty() ? QString::fromLocal8Bit(qgetenv("DISPLAY")) : QString::fromLocal8Bit(wayland);
}

} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance() = default;

QString SingleInstance::socketPath() {
    QString folder = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
    if (folder.isEmpty())
        folder = QDir::tempPath();
    const QByteArray display =
        QCryptographicHash::hash(displayName().toUtf8(), QCryptographicHash::Sha256).toHex().left(12);
    return folder + QStringLiteral("/tarvik-%1-%2.socket").arg(::getuid()).arg(QString::fromLatin1(display));
}

bool SingleInstance::handOver(const LaunchRequest& request, int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(socketPath());
    if (!socket.waitForConnected(timeoutMs))
        return false;
    const QByteArray payload = request.encoded();
    QDataStream header(&socket);
    header << static_cast<qint64>(payload.size());
    socket.write(payload);
    if (!socket.waitForBytesWritten(timeoutMs))
        return false;
    // The running instance closes the connection once it has taken the request.
    socket.waitForDisconnected(timeoutMs);
    return true;
}

bool SingleInstance::listen() {
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    const QString path = socketPath();
    if (!server_->listen(path)) {
        // Nobody answered a moment ago, so the socket is a dead instance's.
        QLocalServer::removeServer(path);
        if (!server_->listen(path))
            return false;
    }
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::accept);
    return true;
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            QDataStream in(socket);
            qint64 size = 0;
            if (socket->bytesAvailable() < static_cast<qint64>(sizeof size))
                return;
            socket->peek(reinterpret_cast<char*>(&size), sizeof size);
            size = qFromBigEndian(size);
            if (size < 0 || size > maximumRequest) {
                socket->abort();
                return;
            }
            if (socket->bytesAvailable() < static_cast<qint64>(sizeof size) + size)
                return;
            in >> size;
            const LaunchRequest request = LaunchRequest::decoded(socket->read(size));
            socket->disconnectFromServer();
            emit requested(request);
        });
    }
}

} // namespace tarvik
