#include "single_instance.h"

#include "native_path.h"

#include <QCryptographicHash>
#include <QDir>
#include <QtEndian>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

#include <cstring>

namespace mireldo {

namespace {

constexpr char kMagic[4] = {'M', 'R', 'L', '1'};
constexpr qint64 kHeaderBytes = 8; // the magic and the payload's length
constexpr quint32 kMaxPayloadBytes = 16 * 1024 * 1024;
constexpr char kTaken = 'A';
constexpr int kLockWaitMs = 5000;

QString runtimeFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return folder.isEmpty() ? QDir::tempPath() : folder;
}

} // namespace

SingleInstance::SingleInstance(const QString& key, const QString& folder, QObject* parent)
    : QObject(parent) {
    // The key is a path of any length; the socket's name must stay short (108 bytes in all).
    const QByteArray hash =
        QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    const QString base = (folder.isEmpty() ? runtimeFolder() : folder) +
                         QStringLiteral("/mireldo-") + QString::fromLatin1(hash);
    socketPath_ = base + QStringLiteral(".sock");
    lockPath_ = base + QStringLiteral(".lock");
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Outcome SingleInstance::start(const QStringList& files, int timeoutMs) {
    QLockFile lock(lockPath_);
    // Without the lock (a folder we cannot write) the check and the listen still run; only
    // the guard against a program started at the same moment is lost.
    const bool locked = lock.tryLock(kLockWaitMs);
    bool answered = false;
    if (handOver(files, timeoutMs, answered)) {
        return Outcome::HandedOver;
    }
    if (answered) {
        return Outcome::NotTaken;
    }
    // Nobody listens: a socket file left by a program that was killed is removed first.
    QLocalServer::removeServer(socketPath_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (server_->listen(socketPath_)) {
        connect(server_, &QLocalServer::newConnection, this, [this] {
            while (QLocalSocket* socket = server_->nextPendingConnection()) {
                connect(socket, &QLocalSocket::readyRead, this,
                        [this, socket] { readRequest(socket); });
                connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
                readRequest(socket);
            }
        });
    }
    if (locked) {
        lock.unlock();
    }
    // A window that could not listen still runs; later programs then open their own.
    return Outcome::Primary;
}

bool SingleInstance::handOver(const QStringList& files, int timeoutMs, bool& answered) {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(timeoutMs)) {
        return false;
    }
    answered = true;
    QByteArray payload;
    for (const QString& file : files) {
        payload.append(platform::encodePath(file));
        payload.append('\0');
    }
    if (payload.size() > kMaxPayloadBytes) {
        return false;
    }
    QByteArray request(kMagic, sizeof kMagic);
    const quint32 length = qToBigEndian(static_cast<quint32>(payload.size()));
    request.append(reinterpret_cast<const char*>(&length), sizeof length);
    request.append(payload);
    socket.write(request);
    if (!socket.waitForBytesWritten(timeoutMs)) {
        return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(timeoutMs)) {
            return false;
        }
    }
    char reply = 0;
    return socket.getChar(&reply) && reply == kTaken;
}

void SingleInstance::readRequest(QLocalSocket* socket) {
    if (socket->bytesAvailable() < kHeaderBytes) {
        return; // the rest has not arrived yet
    }
    const QByteArray header = socket->peek(kHeaderBytes);
    const quint32 length = qFromBigEndian<quint32>(header.constData() + sizeof kMagic);
    if (std::memcmp(header.constData(), kMagic, sizeof kMagic) != 0 || length > kMaxPayloadBytes) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < kHeaderBytes + length) {
        return;
    }
    socket->skip(kHeaderBytes);
    const QByteArray payload = socket->read(length);
    QStringList files;
    for (qsizetype start = 0; start < payload.size();) {
        const qsizetype end = payload.indexOf('\0', start);
        if (end < 0) {
            socket->abort(); // a path without its terminator: not one of ours
            return;
        }
        files.append(
            platform::decodePath(QByteArrayView(payload.constData() + start, end - start)));
        start = end + 1;
    }
    Q_EMIT filesReceived(files);
    socket->putChar(kTaken);
    socket->flush();
    socket->disconnectFromServer();
}

} // namespace mireldo
