#pragma once
// A tiny HTTP/1.1 server on 127.0.0.1 for tests: records each request and answers
// it as the test's responder says (or never, or by hanging up).
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QPair>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

struct RecordedRequest
{
    QByteArray method;
    QByteArray target; // path and query as sent
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QByteArray header(const QByteArray &name) const
    {
        for (const auto &h : headers) {
            if (h.first.compare(name, Qt::CaseInsensitive) == 0)
                return h.second;
        }
        return QByteArray();
    }
};

struct CannedResponse
{
    enum class Kind { Answer, Silent, HangUp };
    Kind kind = Kind::Answer;
    int status = 200;
    int trickleMs = 0; // > 0: send the body one byte per interval
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;

    static CannedResponse text(const QByteArray &body, int status = 200)
    {
        CannedResponse r;
        r.status = status;
        r.body = body;
        r.headers.append(qMakePair(QByteArray("Content-Type"), QByteArray("text/html; charset=utf-8")));
        return r;
    }
    static CannedResponse silent()
    {
        CannedResponse r;
        r.kind = Kind::Silent;
        return r;
    }
    static CannedResponse hangUp()
    {
        CannedResponse r;
        r.kind = Kind::HangUp;
        return r;
    }
};

class LocalHttpServer
{
public:
    using Responder = std::function<CannedResponse(const RecordedRequest &)>;

    LocalHttpServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] { accept(); });
    }

    bool isListening() const { return m_server.isListening(); }
    QUrl url(const QString &path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    void setResponder(Responder responder) { m_responder = std::move(responder); }
    void respondWith(const CannedResponse &response)
    {
        m_responder = [response](const RecordedRequest &) { return response; };
    }
    const QList<RecordedRequest> &requests() const { return m_requests; }

private:
    struct Connection
    {
        QByteArray buffer;
    };

    void accept()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            auto state = std::make_shared<Connection>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, state] {
                state->buffer += socket->readAll();
                serve(socket, state->buffer);
            });
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void serve(QTcpSocket *socket, QByteArray &buffer)
    {
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        RecordedRequest request;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.target = first.value(1);
        qsizetype length = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon).trimmed();
            const QByteArray value = line.mid(colon + 1).trimmed();
            request.headers.append(qMakePair(name, value));
            if (name.compare("Content-Length", Qt::CaseInsensitive) == 0)
                length = value.toLongLong();
        }
        if (buffer.size() < headerEnd + 4 + length)
            return; // body not complete yet
        request.body = buffer.mid(headerEnd + 4, length);
        buffer.remove(0, headerEnd + 4 + length);
        m_requests.append(request);

        const CannedResponse response = m_responder ? m_responder(request) : CannedResponse::text("OK");
        if (response.kind == CannedResponse::Kind::Silent)
            return;
        if (response.kind == CannedResponse::Kind::HangUp) {
            socket->abort();
            return;
        }
        QByteArray out = "HTTP/1.1 " + QByteArray::number(response.status) + " Status\r\n";
        for (const auto &h : response.headers)
            out += h.first + ": " + h.second + "\r\n";
        out += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        out += "Connection: close\r\n\r\n";
        if (response.trickleMs <= 0) {
            socket->write(out + response.body);
            socket->disconnectFromHost();
            return;
        }
        socket->write(out);
        auto *timer = new QTimer(socket);
        auto rest = std::make_shared<QByteArray>(response.body);
        QObject::connect(timer, &QTimer::timeout, socket, [socket, timer, rest] {
            if (rest->isEmpty()) {
                timer->stop();
                socket->disconnectFromHost();
                return;
            }
            socket->write(rest->left(1));
            rest->remove(0, 1);
        });
        timer->start(response.trickleMs);
    }

    QTcpServer m_server;
    Responder m_responder;
    QList<RecordedRequest> m_requests;
};
