#pragma once
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

namespace quillon::net {

// Content type for a file name, from its extension; "application/octet-stream"
// when the extension is unknown.
QString contentTypeForFileName(const QString &fileName);

// One HTTP POST whose body is a multipart form (charset "utf-8"). Build it, then
// hand it to a NetworkQueue, which runs it and reports the outcome.
//
// Threading: create, fill and read it on the thread that owns its queue (the
// main thread); the transfer itself runs on QtNetwork's own thread.
class FormRequest : public QObject
{
    Q_OBJECT

public:
    explicit FormRequest(const QUrl &url, QObject *parent = nullptr);
    ~FormRequest() override;

    QUrl url() const { return m_url; }

    // An extra request header. CR and LF are removed so a value can't start a new header.
    void addRequestHeader(const QByteArray &name, const QByteArray &value);
    QList<QPair<QByteArray, QByteArray>> requestHeaders() const { return m_headers; }

    void addPostValue(const QString &key, const QString &value);
    // A file part with the given contents.
    void addData(const QByteArray &data, const QString &fileName, const QString &contentType, const QString &key);
    // A file part read from disk now: file name = the file's own name, content type
    // from its extension. False (and error) when the file can't be read.
    bool addFile(const QString &path, const QString &key, QString *error = nullptr);

    // Sends the body gzip-compressed with "Content-Encoding: gzip". Off by default:
    // most form handlers don't accept compressed bodies.
    void setShouldCompressRequestBody(bool on) { m_compressBody = on; }
    bool shouldCompressRequestBody() const { return m_compressBody; }

    // The body and its Content-Type header value, as they will be sent.
    QByteArray postBody() const;
    QByteArray contentTypeHeader() const;

    // Outcome, valid once the queue reported it.
    bool isFinished() const { return m_done; }
    bool didTimeOut() const { return m_timedOut; }
    int responseStatusCode() const { return m_status; }
    QByteArray responseHeader(const QByteArray &name) const;
    // The body after any gzip/deflate content encoding was undone.
    QByteArray responseData() const { return m_response; }
    // The body as text, in the charset the server named (UTF-8 when none or unknown).
    QString responseString() const;
    QString errorString() const { return m_error; }

Q_SIGNALS:
    // Internal to NetworkQueue: emitted once, when the request ends either way.
    void done(quillon::net::FormRequest *request, bool succeeded);

private:
    friend class NetworkQueue;
    void start(QNetworkAccessManager *manager, int timeoutMs, qint64 maxResponseSize);
    void cancel();
    void onReadyRead();
    void onFinished();
    void onTimeout();
    void fail(const QString &reason);

    struct Part
    {
        QString key;
        QString fileName; // empty for plain values
        QString contentType;
        QByteArray data;
    };

    QUrl m_url;
    QList<QPair<QByteArray, QByteArray>> m_headers;
    QList<Part> m_parts;
    QByteArray m_boundary;
    bool m_compressBody = false;

    QPointer<QNetworkReply> m_reply;
    QTimer *m_timer = nullptr;
    qint64 m_maxResponseSize = 0;
    bool m_done = false;
    bool m_timedOut = false;
    bool m_tooLarge = false;
    int m_status = 0;
    QList<QPair<QByteArray, QByteArray>> m_responseHeaders;
    QByteArray m_response;
    QString m_error;
};

} // namespace quillon::net
