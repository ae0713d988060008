#include "net/Compression.h"

#include <zlib.h>

#include <algorithm>
#include <memory>

namespace quillon::net {
namespace {

constexpr int kChunk = 64 * 1024;
// zlib counts in uInt; feed it at most this much at a time.
constexpr qsizetype kMaxFeed = 1 << 30;

void setError(QString *error, const QString &text)
{
    if (error)
        *error = text;
}

QString zlibMessage(const z_stream &stream, int code)
{
    if (stream.msg)
        return QString::fromLatin1(stream.msg);
    return QStringLiteral("zlib error %1").arg(code);
}

struct InflateEnd
{
    void operator()(z_stream *s) const
    {
        inflateEnd(s);
        delete s;
    }
};

struct DeflateEnd
{
    void operator()(z_stream *s) const
    {
        deflateEnd(s);
        delete s;
    }
};

unsigned char *bytes(const QByteArray &data)
{
    // zlib never writes through next_in; its API just isn't const-correct.
    return reinterpret_cast<unsigned char *>(const_cast<char *>(data.constData()));
}

// One inflate pass with the given window bits. Returns nothing on failure;
// rawFallbackPossible tells the caller that the stream header itself was wrong.
std::optional<QByteArray> inflateWith(const QByteArray &data, int windowBits, bool multiMember,
                                      qint64 maxSize, QString *error, bool *badHeader)
{
    if (badHeader)
        *badHeader = false;
    std::unique_ptr<z_stream, InflateEnd> stream(new z_stream{});
    if (inflateInit2(stream.get(), windowBits) != Z_OK) {
        delete stream.release();
        setError(error, QStringLiteral("Unable to start decompression"));
        return std::nullopt;
    }

    QByteArray out;
    qsizetype consumed = 0;
    const qsizetype total = data.size();
    unsigned char buffer[kChunk];
    bool streamEnded = false;
    bool producedAnything = false;

    while (true) {
        if (stream->avail_in == 0 && consumed < total) {
            const qsizetype feed = std::min(total - consumed, kMaxFeed);
            stream->next_in = bytes(data) + consumed;
            stream->avail_in = static_cast<uInt>(feed);
            consumed += feed;
        }
        stream->next_out = buffer;
        stream->avail_out = kChunk;
        const int rc = inflate(stream.get(), Z_NO_FLUSH);
        const qsizetype produced = kChunk - stream->avail_out;
        if (produced > 0) {
            producedAnything = true;
            if (out.size() + produced > maxSize) {
                setError(error, QStringLiteral("Decompressed body exceeds %1 bytes").arg(maxSize));
                return std::nullopt;
            }
            out.append(reinterpret_cast<const char *>(buffer), produced);
        }
        if (rc == Z_STREAM_END) {
            streamEnded = true;
            const bool moreInput = stream->avail_in > 0 || consumed < total;
            if (!multiMember || !moreInput)
                break;
            // gzip allows several members one after another.
            if (inflateReset(stream.get()) != Z_OK) {
                setError(error, QStringLiteral("Unable to continue decompression"));
                return std::nullopt;
            }
            streamEnded = false;
            continue;
        }
        if (rc == Z_BUF_ERROR && stream->avail_in == 0 && consumed >= total)
            break; // input exhausted before the end of the stream
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            if (badHeader && !producedAnything && rc == Z_DATA_ERROR)
                *badHeader = true;
            setError(error, QStringLiteral("Damaged compressed body: %1").arg(zlibMessage(*stream, rc)));
            return std::nullopt;
        }
    }
    if (!streamEnded) {
        setError(error, QStringLiteral("Truncated compressed body"));
        return std::nullopt;
    }
    if (stream->avail_in > 0 || consumed < total) {
        setError(error, QStringLiteral("Unexpected data after the compressed body"));
        return std::nullopt;
    }
    return out;
}

} // namespace

QByteArray compress(const QByteArray &data, Compression format, QString *error)
{
    const int windowBits = format == Compression::Gzip ? 15 + 16 : 15;
    std::unique_ptr<z_stream, DeflateEnd> stream(new z_stream{});
    if (deflateInit2(stream.get(), Z_DEFAULT_COMPRESSION, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        delete stream.release();
        setError(error, QStringLiteral("Unable to start compression"));
        return QByteArray();
    }
    QByteArray out;
    qsizetype consumed = 0;
    const qsizetype total = data.size();
    unsigned char buffer[kChunk];
    int rc = Z_OK;
    do {
        if (stream->avail_in == 0 && consumed < total) {
            const qsizetype feed = std::min(total - consumed, kMaxFeed);
            stream->next_in = bytes(data) + consumed;
            stream->avail_in = static_cast<uInt>(feed);
            consumed += feed;
        }
        const int flush = consumed >= total ? Z_FINISH : Z_NO_FLUSH;
        stream->next_out = buffer;
        stream->avail_out = kChunk;
        rc = deflate(stream.get(), flush);
        if (rc == Z_STREAM_ERROR) {
            setError(error, QStringLiteral("Compression failed"));
            return QByteArray();
        }
        out.append(reinterpret_cast<const char *>(buffer), kChunk - stream->avail_out);
    } while (rc != Z_STREAM_END);
    return out;
}

std::optional<QByteArray> decompress(const QByteArray &data, Compression format, qint64 maxSize, QString *error)
{
    if (format == Compression::Gzip)
        return inflateWith(data, 15 + 16, true, maxSize, error, nullptr);
    bool badHeader = false;
    QString zlibError;
    auto result = inflateWith(data, 15, false, maxSize, &zlibError, &badHeader);
    if (result || !badHeader) {
        if (!result)
            setError(error, zlibError);
        return result;
    }
    return inflateWith(data, -15, false, maxSize, error, nullptr);
}

} // namespace quillon::net
