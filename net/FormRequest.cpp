#include "net/FormRequest.h"

#include "net/Compression.h"

#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTimer>
#include <QUuid>

namespace quillon::net {
namespace {

QByteArray withoutLineBreaks(QByteArray value)
{
    value.replace('\r', "").replace('\n', "");
    return value;
}

// Names inside Content-Disposition are quoted strings: no quotes or line breaks.
QByteArray quotedHeaderValue(const QString &text)
{
    QByteArray value = withoutLineBreaks(text.toUtf8());
    value.replace('"', "%22");
    return value;
}

} // namespace

QString contentTypeForFileName(const QString &fileName)
{
    static const QString fallback = QStringLiteral("application/octet-stream");
    if (QFileInfo(fileName).suffix().isEmpty())
        return fallback;
    const QMimeType type = QMimeDatabase().mimeTypeForFile(fileName, QMimeDatabase::MatchExtension);
    if (!type.isValid() || type.isDefault())
        return fallback;
    return type.name();
}

FormRequest::FormRequest(const QUrl &url, QObject *parent)
    : QObject(parent)
    , m_url(url)
    , m_boundary("----QuillonFormBoundary" + QUuid::createUuid().toByteArray(QUuid::Id128))
{
}

FormRequest::~FormRequest()
{
    cancel();
}

void FormRequest::addRequestHeader(const QByteArray &name, const QByteArray &value)
{
    m_headers.append({withoutLineBreaks(name), withoutLineBreaks(value)});
}

void FormRequest::addPostValue(const QString &key, const QString &value)
{
    m_parts.append({key, QString(), QString(), value.toUtf8()});
}

void FormRequest::addData(const QByteArray &data, const QString &fileName, const QString &contentType,
                          const QString &key)
{
    const QString type = contentType.isEmpty() ? contentTypeForFileName(fileName) : contentType;
    m_parts.append({key, fileName, type, data});
}

bool FormRequest::addFile(const QString &path, const QString &key, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QString name = QFileInfo(path).fileName();
    addData(data, name, contentTypeForFileName(name), key);
    return true;
}

QByteArray FormRequest::postBody() const
{
    QByteArray body;
    for (const Part &part : m_parts) {
        body += "--" + m_boundary + "\r\n";
        body += "Content-Disposition: form-data; name=\"" + quotedHeaderValue(part.key) + '"';
        if (!part.fileName.isNull())
            body += "; filename=\"" + quotedHeaderValue(part.fileName) + '"';
        body += "\r\n";
        if (!part.fileName.isNull())
            body += "Content-Type: " + withoutLineBreaks(part.contentType.toUtf8()) + "\r\n";
        body += "\r\n";
        body += part.data;
        body += "\r\n";
    }
    body += "--" + m_boundary + "--\r\n";
    return body;
}

QByteArray FormRequest::contentTypeHeader() const
{
    return "multipart/form-data; charset=utf-8; boundary=" + m_boundary;
}

QByteArray FormRequest::responseHeader(const QByteArray &name) const
{
    for (const auto &header : m_responseHeaders) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    }
    return QByteArray();
}

QString FormRequest::responseString() const
{
    const QByteArray type = responseHeader("Content-Type");
    const qsizetype at = type.toLower().indexOf("charset=");
    if (at >= 0) {
        QByteArray charset = type.mid(at + 8);
        const qsizetype end = charset.indexOf(';');
        if (end >= 0)
            charset.truncate(end);
        charset = charset.trimmed();
        if (charset.size() > 1 && charset.startsWith('"') && charset.endsWith('"'))
            charset = charset.mid(1, charset.size() - 2);
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder.decode(m_response);
    }
    return QString::fromUtf8(m_response);
}

void FormRequest::start(QNetworkAccessManager *manager, int timeoutMs, qint64 maxResponseSize)
{
    m_maxResponseSize = maxResponseSize;
    QNetworkRequest request(m_url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, contentTypeHeader());
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QStringLiteral("Quillon Converter/%1").arg(QStringLiteral(QUILLON_VERSION)));
    // Naming the encodings ourselves stops Qt from decoding silently, so every
    // encoded body goes through the same bounded decoder.
    request.setRawHeader("Accept-Encoding", "gzip, deflate");
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    for (const auto &header : m_headers)
        request.setRawHeader(header.first, header.second);

    QByteArray body = postBody();
    if (m_compressBody) {
        QString error;
        QByteArray packed = compress(body, Compression::Gzip, &error);
        if (packed.isEmpty() && !body.isEmpty()) {
            // Reported from the event loop, like every other outcome.
            QMetaObject::invokeMethod(this, [this, error] { fail(error); }, Qt::QueuedConnection);
            return;
        }
        body = std::move(packed);
        request.setRawHeader("Content-Encoding", "gzip");
    }

    m_reply = manager->post(request, body);
    m_timer = new QTimer(this);
    m_timer->setSingleShot(true);
    m_timer->setInterval(timeoutMs);
    connect(m_timer, &QTimer::timeout, this, &FormRequest::onTimeout);
    // Any progress either way restarts the clock: the limit is on silence, not on duration.
    auto restart = [this] {
        if (m_timer)
            m_timer->start();
    };
    connect(m_reply, &QNetworkReply::uploadProgress, this, restart);
    connect(m_reply, &QNetworkReply::downloadProgress, this, restart);
    connect(m_reply, &QNetworkReply::readyRead, this, &FormRequest::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &FormRequest::onFinished);
    m_timer->start();
}

void FormRequest::cancel()
{
    if (m_timer)
        m_timer->stop();
    if (QNetworkReply *reply = m_reply) {
        m_reply = nullptr;
        disconnect(reply, nullptr, this, nullptr);
        reply->abort();
        reply->deleteLater();
    }
}

void FormRequest::onReadyRead()
{
    if (!m_reply)
        return;
    m_response += m_reply->readAll();
    if (m_response.size() > m_maxResponseSize) {
        m_tooLarge = true;
        m_reply->abort();
    }
}

void FormRequest::onTimeout()
{
    if (!m_reply)
        return;
    m_timedOut = true;
    m_reply->abort();
}

void FormRequest::onFinished()
{
    QNetworkReply *reply = m_reply;
    if (!reply)
        return;
    m_reply = nullptr;
    if (m_timer)
        m_timer->stop();
    disconnect(reply, nullptr, this, nullptr);
    reply->deleteLater();

    if (m_timedOut)
        return fail(QStringLiteral("The request timed out"));
    if (m_tooLarge)
        return fail(QStringLiteral("The response is larger than %1 bytes").arg(m_maxResponseSize));

    m_response += reply->readAll();
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    // An HTTP answer of any status is a finished request; only a missing answer fails.
    if (!status.isValid())
        return fail(reply->errorString());
    m_status = status.toInt();
    m_responseHeaders = reply->rawHeaderPairs();

    const QByteArray encoding = responseHeader("Content-Encoding").trimmed().toLower();
    if (!m_response.isEmpty() && !encoding.isEmpty() && encoding != "identity") {
        std::optional<Compression> format;
        if (encoding == "gzip" || encoding == "x-gzip")
            format = Compression::Gzip;
        else if (encoding == "deflate")
            format = Compression::Deflate;
        if (!format)
            return fail(QStringLiteral("Unsupported content encoding \"%1\"").arg(QString::fromLatin1(encoding)));
        QString error;
        std::optional<QByteArray> plain = decompress(m_response, *format, m_maxResponseSize, &error);
        if (!plain)
            return fail(error);
        m_response = std::move(*plain);
    }
    m_done = true;
    Q_EMIT done(this, true);
}

void FormRequest::fail(const QString &reason)
{
    m_error = reason;
    m_done = true;
    Q_EMIT done(this, false);
}

} // namespace quillon::net
