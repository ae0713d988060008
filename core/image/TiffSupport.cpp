#include "core/image/TiffSupport.h"

#include <QFile>

#include <cstdarg>
#include <cstdio>
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

QString withReason(const QString &what, TiffMessages *messages)
{
    const QString why = messages ? messages->takeError() : QString();
    return why.isEmpty() ? what : what + QStringLiteral(": ") + why;
}

} // namespace quillon::image::detail
