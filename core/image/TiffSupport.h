#pragma once
// libtiff in RAII, with each file's messages kept apart from every other file's.
#include <QByteArray>
#include <QCryptographicHash>
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

// The SHA-256 of a file that is written with seeks, from the writes
// themselves. Bytes are hashed once nothing will write them again (settle());
// until then they are kept here, so a TIFF writer that settles after each
// directory holds at most one page's coded bytes.
class WriteDigest {
public:
    void wrote(quint64 at, const char *data, quint64 size);
    // One past the last byte written.
    quint64 end() const { return m_hashed + quint64(m_pending.size()); }
    // Bytes before `upTo` are final.
    void settle(quint64 upTo);
    // The digest of the whole file; empty when a write went back into bytes
    // already hashed (the digest could not follow the file).
    QByteArray finish();

private:
    QCryptographicHash m_hash{QCryptographicHash::Sha256};
    quint64 m_hashed = 0;
    QByteArray m_pending; // bytes from m_hashed on
    bool m_broken = false;
};

// A descriptor whose writes a digest follows. Owned by the caller; outlives
// the TIFF opened on it.
struct DigestedFd {
    int fd = -1;
    quint64 offset = 0;
    WriteDigest digest;
};
// Like openTiffFd on file->fd (owned: closed by TIFFClose or on failure).
TiffPtr openTiffDigested(DigestedFd *file, const QString &name, const char *mode, TiffMessages *messages);

// Joins a context and libtiff's message: "what: why", or just "what".
QString withReason(const QString &what, TiffMessages *messages);

} // namespace quillon::image::detail
