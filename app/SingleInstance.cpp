#include "app/SingleInstance.h"

#include <QDataStream>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>

namespace quillon {
namespace {

// Tells a request of this program from anything else that connects.
constexpr quint32 kMagic = 0x51434f31; // "QCO1"
constexpr char kAck = 'A';

QString activationToken()
{
    // Wayland's xdg-activation token, else X11's startup notification id.
    const QString token = qEnvironmentVariable("XDG_ACTIVATION_TOKEN");
    return token.isEmpty() ? qEnvironmentVariable("DESKTOP_STARTUP_ID") : token;
}

} // namespace

SingleInstance::SingleInstance(const QString &name, const QString &folder, QObject *parent)
    : QObject(parent)
{
    const QString dir = folder.isEmpty() ? QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) : folder;
    m_path = QDir(dir.isEmpty() ? QDir::tempPath() : dir).filePath(name);
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close(); // removes the socket file
    // m_lock goes last: a start that then gets it finds no socket of ours.
}

QString SingleInstance::defaultName(int edition) { return QStringLiteral("quillon-converter%1.socket").arg(edition); }

SingleInstance::Role SingleInstance::start(const QStringList &paths, int timeoutMs)
{
    auto lock = std::make_unique<QLockFile>(m_path + QStringLiteral(".lock"));
    // Held for the window's whole life, so its age says nothing; a lock
    // whose process is gone is still taken over.
    lock->setStaleLockTime(0);
    const QDeadlineTimer deadline(qMax(0, timeoutMs));
    for (;;) {
        if (lock->tryLock(0)) {
            // The lock's owner is gone: whatever socket file is left answers nobody.
            QLocalServer::removeServer(m_path);
            m_server = new QLocalServer(this);
            m_server->setSocketOptions(QLocalServer::UserAccessOption);
            if (!m_server->listen(m_path)) {
                qWarning("Cannot listen on %s: %s", qPrintable(m_path), qPrintable(m_server->errorString()));
                delete m_server;
                m_server = nullptr;
                return Alone;
            }
            m_lock = std::move(lock);
            break;
        }
        if (lock->error() != QLockFile::LockFailedError) {
            // No lock can be had here (an unwritable folder): nothing proves a
            // socket dead, so one is only used, never removed.
            QLocalSocket socket;
            socket.connectToServer(m_path);
            if (socket.waitForConnected(int(qMax<qint64>(0, deadline.remainingTime()))))
                return handOver(&socket, paths, timeoutMs) ? HandedOver : Busy;
            qWarning("Cannot lock %s; starting without the one-window rule.", qPrintable(lock->fileName()));
            return Alone;
        }
        // A running start: hand over, or wait while it is between its lock and its socket.
        QLocalSocket socket;
        socket.connectToServer(m_path);
        if (socket.waitForConnected(int(std::clamp<qint64>(deadline.remainingTime(), 0, 100)))) {
            if (handOver(&socket, paths, timeoutMs))
                return HandedOver;
            qWarning("Quillon Converter is running but busy; its window takes the request when it is free.");
            return Busy;
        }
        if (deadline.hasExpired()) {
            qWarning("Quillon Converter is running but does not answer; try again in a moment.");
            return Busy;
        }
        QThread::msleep(50);
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
            readRequest(socket);
        }
    });
    return Primary;
}

bool SingleInstance::handOver(QLocalSocket *socket, const QStringList &paths, int timeoutMs)
{
    QByteArray request;
    QDataStream out(&request, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << kMagic << paths << activationToken();
    socket->write(request);
    if (!socket->waitForBytesWritten(timeoutMs))
        return false;
    // The answer comes once the request was taken, so nothing is lost when this start ends.
    while (socket->bytesAvailable() < 1) {
        if (!socket->waitForReadyRead(timeoutMs))
            return false;
    }
    char ack = 0;
    return socket->getChar(&ack) && ack == kAck;
}

void SingleInstance::readRequest(QLocalSocket *socket)
{
    QDataStream in(socket);
    in.setVersion(QDataStream::Qt_6_0);
    // Anything else that connects is dropped before its data is believed.
    quint32 magic = 0;
    if (socket->bytesAvailable() < qint64(sizeof magic))
        return;
    in.startTransaction();
    in >> magic;
    if (magic != kMagic) {
        socket->abort();
        return;
    }
    QStringList paths;
    QString token;
    in >> paths >> token;
    if (!in.commitTransaction())
        return; // more to come
    socket->putChar(kAck);
    socket->flush();
    socket->disconnectFromServer();
    emit activationRequested(paths, token);
}

} // namespace quillon
