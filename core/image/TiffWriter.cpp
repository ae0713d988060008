#include "core/image/TiffWriter.h"

#include "core/SafeOutputFile.h"
#include "core/image/Bilevel.h"
#include "core/image/TiffSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace quillon::image {

using namespace detail;

namespace {

// Strips of about this many decoded bytes: small enough for the codecs'
// buffers to stay in cache, large enough to keep the strip tables short.
constexpr quint64 kStripBytes = 128 * 1024;

int effectiveCompression(int compression)
{
    switch (compression) {
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
    case COMPRESSION_LZW:
    case COMPRESSION_PACKBITS:
        return compression;
    default:
        return COMPRESSION_NONE;
    }
}

bool checkPage(const Page &p, QString *why)
{
    auto fail = [why](const QString &text) {
        *why = text;
        return false;
    };
    if (!p.width || !p.height)
        return fail(QStringLiteral("page has no pixels"));
    if (p.bitsPerSample != 1 && p.bitsPerSample != 2 && p.bitsPerSample != 4 && p.bitsPerSample != 8
        && p.bitsPerSample != 16)
        return fail(QStringLiteral("unsupported bits per sample %1").arg(p.bitsPerSample));
    if (p.extraSamples > 1 || p.samplesPerPixel <= p.extraSamples)
        return fail(QStringLiteral("unsupported sample layout"));
    const int colours = p.samplesPerPixel - p.extraSamples;
    switch (p.photometric) {
    case Photometric::MinIsWhite:
    case Photometric::MinIsBlack:
        if (colours != 1)
            return fail(QStringLiteral("grey page with %1 colour samples").arg(colours));
        break;
    case Photometric::RGB:
        if (colours != 3)
            return fail(QStringLiteral("RGB page with %1 colour samples").arg(colours));
        break;
    case Photometric::Separated:
        if (colours != 4)
            return fail(QStringLiteral("CMYK page with %1 colour samples").arg(colours));
        break;
    case Photometric::Palette:
        if (p.samplesPerPixel != 1 || p.bitsPerSample > 8)
            return fail(QStringLiteral("unsupported palette layout"));
        if (p.colormap.size() != size_t(3) << p.bitsPerSample)
            return fail(QStringLiteral("colour map of %1 entries for %2-bit pixels")
                            .arg(p.colormap.size()).arg(p.bitsPerSample));
        break;
    }
    if (p.bytesPerRow() && p.height > std::numeric_limits<quint64>::max() / p.bytesPerRow())
        return fail(QStringLiteral("page is too large"));
    if (p.pixels.size() < p.byteCount())
        return fail(QStringLiteral("page holds %1 bytes, needs %2").arg(p.pixels.size()).arg(p.byteCount()));
    return true;
}

quint16 photometricTag(Photometric p)
{
    switch (p) {
    case Photometric::MinIsWhite: return PHOTOMETRIC_MINISWHITE;
    case Photometric::MinIsBlack: return PHOTOMETRIC_MINISBLACK;
    case Photometric::RGB: return PHOTOMETRIC_RGB;
    case Photometric::Palette: return PHOTOMETRIC_PALETTE;
    case Photometric::Separated: return PHOTOMETRIC_SEPARATED;
    }
    return PHOTOMETRIC_MINISBLACK;
}

QString systemError(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

struct TiffWriter::Impl {
    QString target;
    std::unique_ptr<SafeOutputFile> temp;
    int compression = COMPRESSION_NONE;
    bool bigTiff = false;
    TiffMessages messages; // before tif: libtiff may report while closing
    TiffPtr tif;
    int pages = 0;
    bool failed = false;
    bool committed = false;
    QString failure;

    bool fail(const QString &why, QString *error)
    {
        if (!failed) {
            failed = true;
            failure = why;
        }
        dropTemp();
        if (error)
            *error = failure;
        return false;
    }

    // Closes without flushing (nothing of a dropped file needs writing) and
    // removes the temporary file.
    void dropTemp()
    {
        if (tif) {
            TIFF *t = tif.release();
            const int fd = TIFFFileno(t);
            TIFFCleanup(t);
            if (fd >= 0)
                ::close(fd);
        }
        temp.reset();
    }

    bool createTemp(QString *error)
    {
        temp = std::make_unique<SafeOutputFile>(target);
        QString why;
        if (!temp->open(&why))
            return fail(why, error);
        // libtiff closes its own descriptor; the file's stays for naming it.
        const int fd = ::fcntl(temp->handle(), F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            const int err = errno;
            return fail(QStringLiteral("cannot start the TIFF file: %1").arg(systemError(err)), error);
        }
        tif = openTiffFd(fd, target, bigTiff ? "w8" : "w", &messages);
        if (!tif)
            return fail(withReason(QStringLiteral("cannot start the TIFF file"), &messages), error);
        return true;
    }

    bool writePage(const Page &page, QString *error);
};

TiffWriter::TiffWriter(const QString &targetPath, int compression, bool bigTiff) : d(std::make_unique<Impl>())
{
    d->target = targetPath;
    d->compression = effectiveCompression(compression);
    d->bigTiff = bigTiff;
}

TiffWriter::~TiffWriter()
{
    abort();
}

int TiffWriter::pageCount() const
{
    return d->pages;
}

void TiffWriter::abort()
{
    if (!d->failed && !d->committed)
        d->fail(QStringLiteral("writing was cancelled"), nullptr);
    d->dropTemp();
}

bool TiffWriter::addPage(const Page &page, QString *error)
{
    if (d->committed) {
        if (error)
            *error = QStringLiteral("already saved");
        return false;
    }
    if (d->failed) {
        if (error)
            *error = d->failure;
        return false;
    }
    QString why;
    if (!checkPage(page, &why))
        return d->fail(QStringLiteral("page %1: %2").arg(d->pages + 1).arg(why), error);
    if (!d->tif && !d->createTemp(error))
        return false;
    return d->writePage(page, error);
}

bool TiffWriter::Impl::writePage(const Page &input, QString *error)
{
    const bool ccitt = compression == COMPRESSION_CCITTFAX3 || compression == COMPRESSION_CCITTFAX4;
    // CCITT codes black and white runs only: every page goes in as MinIsWhite bilevel.
    Page converted;
    if (ccitt && !(isBilevel(input) && input.photometric == Photometric::MinIsWhite))
        converted = toBilevel(input);
    const Page &page = ccitt && converted.width ? converted : input;

    TIFF *t = tif.get();
    const quint64 bpr = page.bytesPerRow();
    const quint32 rowsPerStrip = quint32(std::clamp<quint64>(kStripBytes / std::max<quint64>(bpr, 1), 1, page.height));
    const bool predictor = compression == COMPRESSION_LZW && page.photometric != Photometric::Palette
        && (page.bitsPerSample == 8 || page.bitsPerSample == 16);
    const QString where = QStringLiteral("cannot write page %1").arg(pages + 1);

    bool ok = TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE)
        && TIFFSetField(t, TIFFTAG_IMAGEWIDTH, page.width)
        && TIFFSetField(t, TIFFTAG_IMAGELENGTH, page.height)
        && TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, page.bitsPerSample)
        && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, page.samplesPerPixel)
        && TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometricTag(page.photometric))
        && TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG)
        && TIFFSetField(t, TIFFTAG_COMPRESSION, compression)
        && TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rowsPerStrip)
        // The total is not known while pages are still coming; 0 says so.
        && TIFFSetField(t, TIFFTAG_PAGENUMBER, quint16(std::min(pages, 65535)), quint16(0));
    if (ok && page.extraSamples) {
        const quint16 type = page.alphaAssociated ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
        ok = TIFFSetField(t, TIFFTAG_EXTRASAMPLES, quint16(1), &type);
    }
    if (ok && page.photometric == Photometric::Palette) {
        const size_t n = size_t(1) << page.bitsPerSample;
        auto *map = const_cast<quint16 *>(page.colormap.data());
        ok = TIFFSetField(t, TIFFTAG_COLORMAP, map, map + n, map + 2 * n);
    }
    if (ok && page.photometric == Photometric::Separated)
        ok = TIFFSetField(t, TIFFTAG_INKSET, INKSET_CMYK);
    if (ok && predictor)
        ok = TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (ok && ccitt) {
        ok = TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
        // Group 3 as plain one-dimensional Modified Huffman: what every fax reader takes.
        if (ok && compression == COMPRESSION_CCITTFAX3)
            ok = TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, quint32(0));
    }
    if (ok && (page.xResolution > 0 || page.yResolution > 0)) {
        const float x = page.xResolution > 0 ? page.xResolution : page.yResolution;
        const float y = page.yResolution > 0 ? page.yResolution : page.xResolution;
        const quint16 unit = page.resolutionUnit >= 1 && page.resolutionUnit <= 3 ? page.resolutionUnit : RESUNIT_INCH;
        ok = TIFFSetField(t, TIFFTAG_XRESOLUTION, x) && TIFFSetField(t, TIFFTAG_YRESOLUTION, y)
            && TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, unit);
    }
    if (ok && page.orientation > 1 && page.orientation <= 8)
        ok = TIFFSetField(t, TIFFTAG_ORIENTATION, page.orientation);
    if (ok && !page.iccProfile.isEmpty())
        ok = TIFFSetField(t, TIFFTAG_ICCPROFILE, quint32(page.iccProfile.size()), page.iccProfile.constData());
    if (!ok)
        return fail(withReason(where, &messages), error);

    // libtiff's strip encoders (the predictor included) work on their own copy,
    // so the page's rows go in as they are.
    const quint32 strips = (page.height + rowsPerStrip - 1) / rowsPerStrip;
    for (quint32 s = 0; s < strips; ++s) {
        const quint32 rows = std::min(rowsPerStrip, page.height - s * rowsPerStrip);
        const tmsize_t size = tmsize_t(bpr * rows);
        void *buf = const_cast<quint8 *>(page.pixels.data() + quint64(s) * rowsPerStrip * bpr);
        if (TIFFWriteEncodedStrip(t, s, buf, size) != size)
            return fail(withReason(where, &messages), error);
    }
    if (!TIFFWriteDirectory(t))
        return fail(withReason(where, &messages), error);
    if (messages.hasError())
        return fail(withReason(where, &messages), error);
    ++pages;
    return true;
}

bool TiffWriter::commit(QString *error)
{
    if (d->failed) {
        if (error)
            *error = d->failure;
        return false;
    }
    if (d->committed) {
        if (error)
            *error = QStringLiteral("already saved");
        return false;
    }
    if (d->pages == 0 || !d->tif)
        return d->fail(QStringLiteral("no page to write"), error);
    if (!TIFFFlush(d->tif.get()) || d->messages.hasError())
        return d->fail(withReason(QStringLiteral("cannot finish the file"), &d->messages), error);
    d->tif.reset();
    if (d->messages.hasError())
        return d->fail(withReason(QStringLiteral("cannot finish the file"), &d->messages), error);
    QString why;
    if (!d->temp->commit(&why))
        return d->fail(why, error);
    d->temp.reset();
    d->committed = true;
    return true;
}

} // namespace quillon::image
