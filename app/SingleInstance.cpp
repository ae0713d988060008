#include "app/SingleInstance.h"

#include <QDataStream>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>

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
}

QString SingleInstance::defaultName(int edition) { return QStringLiteral("quillon-converter%1.socket").arg(edition); }

SingleInstance::Role SingleInstance::start(const QStringList &paths, int timeoutMs)
{
    // Held from asking to listening, so two starts at once make one window.
    // A lock of a killed process is stale at once (its process is gone).
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.tryLock(timeoutMs);

    QLocalSocket socket;
    socket.connectToServer(m_path);
    if (socket.waitForConnected(timeoutMs)) {
        if (handOver(&socket, paths, timeoutMs))
            return HandedOver;
        qWarning("Quillon Converter is running but does not answer; starting another window.");
        return Alone;
    }
    // Nobody answers: a file left there belongs to a process that is gone.
    QLocalServer::removeServer(m_path);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_path)) {
        qWarning("Cannot listen on %s: %s", qPrintable(m_path), qPrintable(m_server->errorString()));
        delete m_server;
        m_server = nullptr;
        return Alone;
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
