#pragma once
// libtiff in RAII, with each file's messages kept apart from every other file's.
#include <QString>

#include <tiffio.h>

#include <memory>

namespace quillon::image::detail {

struct TiffCloser {
    void operator()(TIFF *tif) const
    {
        if (tif)
            TIFFClose(tif);
    }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// Receives libtiff's errors for one open file. Must outlive the TIFF handle it
// was given to: libtiff may still report while closing.
class TiffMessages {
public:
    // The first error since the last take(), empty when there was none.
    QString takeError();
    bool hasError() const { return !m_error.isEmpty(); }

    static int onError(TIFF *, void *user, const char *module, const char *fmt, va_list ap);
    static int onWarning(TIFF *, void *user, const char *module, const char *fmt, va_list ap);

private:
    QString m_error;
};

// mode as for TIFFOpen ("r", "w", "w8"). Errors, also those of a failed open,
// go to *messages; warnings are dropped.
TiffPtr openTiff(const QString &path, const char *mode, TiffMessages *messages);
// Takes ownership of fd (closed by TIFFClose, or here on failure).
TiffPtr openTiffFd(int fd, const QString &name, const char *mode, TiffMessages *messages);

// Joins a context and libtiff's message: "what: why", or just "what".
QString withReason(const QString &what, TiffMessages *messages);

} // namespace quillon::image::detail
