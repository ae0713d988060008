#include "core/image/TiffSupport.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace quillon::image::detail {

namespace {

QString format(const char *module, const char *fmt, va_list ap)
{
    char buf[1024];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    QString text = QString::fromLocal8Bit(buf).trimmed();
    if (module && *module)
        text = QString::fromLocal8Bit(module) + QStringLiteral(": ") + text;
    return text;
}

struct OptionsDeleter {
    void operator()(TIFFOpenOptions *o) const { TIFFOpenOptionsFree(o); }
};

std::unique_ptr<TIFFOpenOptions, OptionsDeleter> makeOptions(TiffMessages *messages)
{
    std::unique_ptr<TIFFOpenOptions, OptionsDeleter> opts(TIFFOpenOptionsAlloc());
    if (opts) {
        TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), &TiffMessages::onError, messages);
        TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), &TiffMessages::onWarning, messages);
    }
    return opts;
}

} // namespace

QString TiffMessages::takeError()
{
    QString e = m_error;
    m_error.clear();
    return e;
}

int TiffMessages::onError(TIFF *, void *user, const char *module, const char *fmt, va_list ap)
{
    auto *self = static_cast<TiffMessages *>(user);
    // The first error is the cause; later ones are mostly its echoes.
    if (self && self->m_error.isEmpty())
        self->m_error = format(module, fmt, ap);
    return 1; // handled: keep it off the global stderr handler
}

int TiffMessages::onWarning(TIFF *, void *, const char *, const char *, va_list)
{
    return 1; // unknown tags and the like are no concern of ours
}

TiffPtr openTiff(const QString &path, const char *mode, TiffMessages *messages)
{
    auto opts = makeOptions(messages);
    if (!opts)
        return {};
    return TiffPtr(TIFFOpenExt(QFile::encodeName(path).constData(), mode, opts.get()));
}

TiffPtr openTiffFd(int fd, const QString &name, const char *mode, TiffMessages *messages)
{
    auto opts = makeOptions(messages);
    TIFF *tif = opts ? TIFFFdOpenExt(fd, QFile::encodeName(name).constData(), mode, opts.get()) : nullptr;
    if (!tif)
        ::close(fd);
    return TiffPtr(tif);
}

void WriteDigest::wrote(quint64 at, const char *data, quint64 size)
{
    if (at < m_hashed) {
        m_broken = true;
        return;
    }
    const quint64 from = at - m_hashed;
    if (from + size > quint64(m_pending.size()))
        m_pending.resize(qsizetype(from + size), '\0'); // a gap reads as zeros
    std::memcpy(m_pending.data() + from, data, size);
}

void WriteDigest::settle(quint64 upTo)
{
    if (upTo <= m_hashed)
        return;
    const qsizetype n = qsizetype(std::min<quint64>(upTo - m_hashed, quint64(m_pending.size())));
    m_hash.addData(QByteArrayView(m_pending.constData(), n));
    m_pending.remove(0, n);
    m_pending.squeeze();
    m_hashed += quint64(n);
}

QByteArray WriteDigest::finish()
{
    settle(end());
    return m_broken ? QByteArray() : m_hash.result();
}

namespace {

tmsize_t digestedRead(thandle_t h, void *buf, tmsize_t n)
{
    auto *f = static_cast<DigestedFd *>(h);
    const ssize_t got = ::pread(f->fd, buf, size_t(n), off_t(f->offset));
    if (got > 0)
        f->offset += quint64(got);
    return got;
}

tmsize_t digestedWrite(thandle_t h, void *buf, tmsize_t n)
{
    auto *f = static_cast<DigestedFd *>(h);
    const char *p = static_cast<const char *>(buf);
    tmsize_t done = 0;
    while (done < n) {
        const ssize_t put = ::pwrite(f->fd, p + done, size_t(n - done), off_t(f->offset + quint64(done)));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            break;
        done += put;
    }
    // Only what reached the file counts.
    f->digest.wrote(f->offset, p, quint64(done));
    f->offset += quint64(done);
    return done == n ? n : -1;
}

toff_t digestedSeek(thandle_t h, toff_t off, int whence)
{
    auto *f = static_cast<DigestedFd *>(h);
    quint64 base = 0;
    if (whence == SEEK_CUR) {
        base = f->offset;
    } else if (whence == SEEK_END) {
        struct stat st {};
        if (::fstat(f->fd, &st) != 0)
            return toff_t(-1);
        base = quint64(st.st_size);
    }
    f->offset = base + off;
    return f->offset;
}

int digestedClose(thandle_t h)
{
    auto *f = static_cast<DigestedFd *>(h);
    const int r = f->fd >= 0 ? ::close(f->fd) : 0;
    f->fd = -1;
    return r;
}

toff_t digestedSize(thandle_t h)
{
    struct stat st {};
    return ::fstat(static_cast<DigestedFd *>(h)->fd, &st) == 0 ? toff_t(st.st_size) : 0;
}

int noMap(thandle_t, void **, toff_t *) { return 0; }
void noUnmap(thandle_t, void *, toff_t) {}

} // namespace

TiffPtr openTiffDigested(DigestedFd *file, const QString &name, const char *mode, TiffMessages *messages)
{
    auto opts = makeOptions(messages);
    TIFF *tif = opts ? TIFFClientOpenExt(QFile::encodeName(name).constData(), mode, file, &digestedRead, &digestedWrite,
                                         &digestedSeek, &digestedClose, &digestedSize, &noMap, &noUnmap, opts.get())
                     : nullptr;
    if (!tif) {
        digestedClose(file);
        return {};
    }
    // Dropping an unfinished file closes the descriptor by its number.
    TIFFSetFileno(tif, file->fd);
    return TiffPtr(tif);
}

QString withReason(const QString &what, TiffMessages *messages)
{
    const QString why = messages ? messages->takeError() : QString();
    return why.isEmpty() ? what : what + QStringLiteral(": ") + why;
}

} // namespace quillon::image::detail
