#include "core/image/TiffWriter.h"

#include "core/WorkPool.h"
#include "core/SafeOutputFile.h"
#include "core/image/Bilevel.h"
#include "core/image/Compression.h"
#include "core/image/LzwEncoder.h"
#include "core/image/Metadata.h"
#include "core/image/TiffSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QtEndian>

#include <libdeflate.h>
#define ZSTD_STATIC_LINKING_ONLY // ZSTD_getCParams
#include <zstd.h>

#include <algorithm>
#include <bit>
#include <new>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
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
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_ZSTD:
    case COMPRESSION_JPEG:
    case TiffWriter::kAutomatic:
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
    if (p.encodedCompression) {
        const quint32 rps = p.encodedRowsPerStrip;
        if (!rps || p.encodedStrips.size() != (quint64(p.height) + rps - 1) / rps)
            return fail(QStringLiteral("coded page with %1 strips").arg(p.encodedStrips.size()));
        return true;
    }
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

// What every strip of one page is coded with.
struct StripCoding {
    int compression = COMPRESSION_NONE;
    bool predictor = false;
    bool ycbcr = false; // JPEG: RGB rows coded as YCbCr 4:2:0
    CodingOptions options;
    quint32 width = 0;
    quint16 bitsPerSample = 8;
    quint16 samplesPerPixel = 1;
    quint16 photometric = PHOTOMETRIC_MINISBLACK;
    quint64 bytesPerRow = 0;
};

// Horizontal differencing as TIFF Predictor 2 defines it, from `rows` into
// `out` in one pass: the page's own rows stay as they are.
void predictInto(const StripCoding &c, const quint8 *rows, quint32 count, std::vector<quint8> *out)
{
    const quint64 n = quint64(c.width) * c.samplesPerPixel;
    const unsigned stride = c.samplesPerPixel;
    out->resize(size_t(c.bytesPerRow * count));
    for (quint32 r = 0; r < count; ++r) {
        const quint8 *row = rows + r * c.bytesPerRow;
        quint8 *to = out->data() + r * c.bytesPerRow;
        if (c.bitsPerSample == 8) {
            for (quint64 i = 0; i < stride && i < n; ++i)
                to[i] = row[i];
            for (quint64 i = stride; i < n; ++i)
                to[i] = quint8(row[i] - row[i - stride]);
        } else {
            // Rows are 2-byte aligned: whole samples.
            const auto *w = reinterpret_cast<const quint16 *>(row);
            auto *d = reinterpret_cast<quint16 *>(to);
            for (quint64 i = 0; i < stride && i < n; ++i)
                d[i] = w[i];
            for (quint64 i = stride; i < n; ++i)
                d[i] = quint16(w[i] - w[i - stride]);
        }
    }
}

// The rows a codec takes: differenced into a buffer of this thread's when
// the predictor is on, else the page's own.
const quint8 *codecInput(const StripCoding &c, const quint8 *rows, quint32 count)
{
    if (!c.predictor)
        return rows;
    thread_local std::vector<quint8> scratch;
    predictInto(c, rows, count, &scratch);
    return scratch.data();
}

// One compressor per thread and level, kept between strips: making one per
// strip (as a libtiff codec opened per strip does) costs more than coding a
// strip of 128 KiB, mostly in clearing its tables.
struct DeflateCoder {
    libdeflate_compressor *compressor = nullptr;
    int level = 0;
    ~DeflateCoder()
    {
        if (compressor)
            libdeflate_free_compressor(compressor);
    }
};

struct ZstdCoder {
    ZSTD_CCtx *context = nullptr;
    ~ZstdCoder() { ZSTD_freeCCtx(context); }
};

// The zlib stream TIFF's Deflate (8) holds: what libtiff writes through
// libdeflate for a whole strip. `level` is the Deflate level, 1..9.
bool deflateStrip(const quint8 *in, size_t size, int level, std::vector<quint8> *out, QString *error)
{
    // libtiff hands libdeflate one level more from 6 up (its 6 is
    // libdeflate's 7); the same keeps every level's files what they were.
    level = level <= 5 ? level : level + 1;
    thread_local DeflateCoder coder;
    if (!coder.compressor || coder.level != level) {
        if (coder.compressor)
            libdeflate_free_compressor(coder.compressor);
        coder.compressor = libdeflate_alloc_compressor(level);
        coder.level = coder.compressor ? level : 0;
        if (!coder.compressor) {
            *error = QStringLiteral("cannot start the Deflate coder at level %1").arg(level);
            return false;
        }
    }
    out->resize(libdeflate_zlib_compress_bound(coder.compressor, size));
    const size_t n = libdeflate_zlib_compress(coder.compressor, in, size, out->data(), out->size());
    if (!n) {
        *error = QStringLiteral("cannot code a strip with Deflate");
        return false;
    }
    out->resize(n);
    return true;
}

// One Zstandard frame per strip, as libtiff's codec writes, with the
// parameters that codec gets (the level's for a stream of unknown length;
// zstd trims the tables to the strip it is told of). The level's own
// parameters for a 128 KiB input search longer and make larger files.
bool zstdStrip(const quint8 *in, size_t size, int level, std::vector<quint8> *out, QString *error)
{
    thread_local ZstdCoder coder;
    if (!coder.context)
        coder.context = ZSTD_createCCtx();
    bool ok = coder.context != nullptr;
    if (ok) {
        const ZSTD_compressionParameters p = ZSTD_getCParams(level, 0, 0);
        const std::pair<ZSTD_cParameter, int> settings[] = {
            {ZSTD_c_compressionLevel, level},        {ZSTD_c_windowLog, int(p.windowLog)},
            {ZSTD_c_chainLog, int(p.chainLog)},      {ZSTD_c_hashLog, int(p.hashLog)},
            {ZSTD_c_searchLog, int(p.searchLog)},    {ZSTD_c_minMatch, int(p.minMatch)},
            {ZSTD_c_targetLength, int(p.targetLength)}, {ZSTD_c_strategy, int(p.strategy)}};
        for (const auto &[key, value] : settings)
            ok = ok && !ZSTD_isError(ZSTD_CCtx_setParameter(coder.context, key, value));
    }
    if (!ok) {
        *error = QStringLiteral("cannot start the Zstandard coder at level %1").arg(level);
        return false;
    }
    out->resize(ZSTD_compressBound(size));
    const size_t n = ZSTD_compress2(coder.context, out->data(), out->size(), in, size);
    if (ZSTD_isError(n)) {
        *error = QStringLiteral("cannot code a strip with Zstandard: %1").arg(QString::fromUtf8(ZSTD_getErrorName(n)));
        return false;
    }
    out->resize(n);
    return true;
}

// libtiff's own coder, run on a TIFF that lives in memory: one strip in, its
// coded bytes out. For the codings we don't do ourselves.
struct MemoryTiff {
    std::vector<quint8> *capture = nullptr;
    toff_t position = 0;
    toff_t size = 0;

    static tmsize_t read(thandle_t, void *, tmsize_t) { return 0; }
    static tmsize_t write(thandle_t h, void *buf, tmsize_t n)
    {
        auto *m = static_cast<MemoryTiff *>(h);
        if (m->capture) {
            const auto *b = static_cast<const quint8 *>(buf);
            m->capture->insert(m->capture->end(), b, b + n);
        }
        m->position += toff_t(n);
        m->size = std::max(m->size, m->position);
        return n;
    }
    static toff_t seek(thandle_t h, toff_t off, int whence)
    {
        auto *m = static_cast<MemoryTiff *>(h);
        switch (whence) {
        case SEEK_SET: m->position = off; break;
        case SEEK_CUR: m->position += off; break;
        case SEEK_END: m->position = m->size + off; break;
        default: break;
        }
        return m->position;
    }
    static int close(thandle_t) { return 0; }
    static toff_t fileSize(thandle_t h) { return static_cast<MemoryTiff *>(h)->size; }
    static int map(thandle_t, void **, toff_t *) { return 0; }
    static void unmap(thandle_t, void *, toff_t) {}
};

bool codeWithLibtiff(const StripCoding &c, const quint8 *rows, quint32 count, std::vector<quint8> *out,
                     QString *error)
{
    TiffMessages messages;
    MemoryTiff mem;
    TIFFOpenOptions *opts = TIFFOpenOptionsAlloc();
    if (!opts) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(opts, &TiffMessages::onError, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, &TiffMessages::onWarning, &messages);
    TIFF *t = TIFFClientOpenExt("strip", "w", &mem, &MemoryTiff::read, &MemoryTiff::write, &MemoryTiff::seek,
                                &MemoryTiff::close, &MemoryTiff::fileSize, &MemoryTiff::map, &MemoryTiff::unmap, opts);
    TIFFOpenOptionsFree(opts);
    if (!t) {
        *error = withReason(QStringLiteral("cannot start the strip coder"), &messages);
        return false;
    }
    bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, c.width) && TIFFSetField(t, TIFFTAG_IMAGELENGTH, count)
        && TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, c.bitsPerSample)
        && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, c.samplesPerPixel)
        && TIFFSetField(t, TIFFTAG_PHOTOMETRIC, c.photometric)
        && TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG)
        && TIFFSetField(t, TIFFTAG_COMPRESSION, c.compression) && TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, count);
    if (ok && c.predictor)
        ok = TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (ok && c.compression == COMPRESSION_JPEG) {
        // Tables in every strip: each strip is a whole JPEG of its own, so
        // strips coded apart need no shared JPEGTables tag.
        ok = TIFFSetField(t, TIFFTAG_JPEGTABLESMODE, 0)
            && TIFFSetField(t, TIFFTAG_JPEGQUALITY, c.options.quality ? c.options.quality : kDefaultJpegQuality);
        if (ok && c.ycbcr)
            ok = TIFFSetField(t, TIFFTAG_YCBCRSUBSAMPLING, quint16(2), quint16(2))
                && TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    if (ok && (c.compression == COMPRESSION_CCITTFAX3 || c.compression == COMPRESSION_CCITTFAX4)) {
        ok = TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
        if (ok && c.compression == COMPRESSION_CCITTFAX3)
            ok = TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, quint32(0));
    }
    if (ok) {
        const tmsize_t size = tmsize_t(c.bytesPerRow * count);
        mem.capture = out;
        ok = TIFFWriteEncodedStrip(t, 0, const_cast<quint8 *>(rows), size) == size && !messages.hasError();
        mem.capture = nullptr;
    }
    if (!ok)
        *error = withReason(QStringLiteral("cannot code a strip"), &messages);
    TIFFCleanup(t); // nothing more to write: no directory for a scratch file
    return ok;
}

struct CodedStrip {
    std::vector<quint8> data;
    QString error;
    bool ok = false;
};

// PackBits, each row on its own as TIFF asks: runs of three or more equal
// bytes as repeats, everything else as literal stretches of up to 128 bytes.
// Photos are nearly all literal stretches, so their ends are looked for
// eight bytes at a time.
void packBitsRows(const quint8 *rows, quint64 bytesPerRow, quint32 count, std::vector<quint8> *out)
{
    const size_t from = out->size();
    out->resize(from + size_t(bytesPerRow * count + (bytesPerRow / 128 + 1) * count));
    quint8 *o = out->data() + from;
    constexpr quint64 kOnes = 0x0101010101010101ull;
    constexpr quint64 kHighs = 0x8080808080808080ull;
    // Little-endian, so the lowest flagged byte of t is the first in the row.
    auto load64 = [](const quint8 *p) { return qFromLittleEndian<quint64>(p); };
    const quint64 n = bytesPerRow;
    for (quint32 r = 0; r < count; ++r) {
        const quint8 *row = rows + r * bytesPerRow;
        quint64 i = 0;
        while (i < n) {
            const quint8 b = row[i];
            const quint64 limit = std::min<quint64>(n, i + 128);
            if (i + 2 < n && row[i + 1] == b && row[i + 2] == b) {
                quint64 j = i + 3;
                while (j < limit && row[j] == b)
                    ++j;
                o[0] = quint8(257 - (j - i)); // -(length - 1)
                o[1] = b;
                o += 2;
                i = j;
                continue;
            }
            // Up to where three equal bytes begin: a zero byte of t.
            quint64 q = i + 1;
            bool found = false;
            while (q + 10 <= limit) {
                const quint64 x = load64(row + q);
                const quint64 t = (x ^ load64(row + q + 1)) | (x ^ load64(row + q + 2));
                if (const quint64 zero = (t - kOnes) & ~t & kHighs) {
                    q += quint64(std::countr_zero(zero) >> 3);
                    found = true;
                    break;
                }
                q += 8;
            }
            while (!found && q < limit && !(q + 2 < n && row[q] == row[q + 1] && row[q] == row[q + 2]))
                ++q;
            *o++ = quint8(q - i - 1);
            std::memcpy(o, row + i, size_t(q - i));
            o += q - i;
            i = q;
        }
    }
    out->resize(size_t(o - out->data()));
}

// Codes `count` rows. For no compression nothing is made: the rows are written as they are.
bool codeStrip(const StripCoding &c, const quint8 *rows, quint32 count, std::vector<quint8> *out, QString *error)
{
    out->clear();
    switch (c.compression) {
    case COMPRESSION_NONE:
        return true;
    case COMPRESSION_PACKBITS:
        packBitsRows(rows, c.bytesPerRow, count, out);
        return true;
    case COMPRESSION_LZW: {
        const quint64 bytes = c.bytesPerRow * count;
        out->reserve(size_t(bytes / 2 + 64));
        lzwEncode(codecInput(c, rows, count), size_t(bytes), out);
        return true;
    }
    case COMPRESSION_ADOBE_DEFLATE:
        return deflateStrip(codecInput(c, rows, count), size_t(c.bytesPerRow * count),
                            c.options.level ? c.options.level : kDefaultDeflateLevel, out, error);
    case COMPRESSION_ZSTD:
        return zstdStrip(codecInput(c, rows, count), size_t(c.bytesPerRow * count),
                         c.options.level ? c.options.level : kDefaultZstdLevel, out, error);
    default:
        return codeWithLibtiff(c, rows, count, out, error);
    }
}

// The form a page takes in a JPEG strip: 8-bit samples, black as 0, no
// alpha. False when the page is to be written losslessly instead; fills
// *converted when the samples have to change.
bool jpegForm(const Page &in, Page *converted)
{
    if (in.extraSamples || (in.bitsPerSample != 8 && in.bitsPerSample != 16) || in.photometric == Photometric::Palette)
        return false;
    if (in.bitsPerSample == 8 && in.photometric != Photometric::MinIsWhite)
        return true;
    Page &out = *converted;
    out = Page();
    out.setLayout(in.width, in.height, 8, in.samplesPerPixel, 0,
                  in.photometric == Photometric::MinIsWhite ? Photometric::MinIsBlack : in.photometric);
    out.xResolution = in.xResolution;
    out.yResolution = in.yResolution;
    out.resolutionUnit = in.resolutionUnit;
    out.iccProfile = in.iccProfile;
    out.orientation = in.orientation;
    const quint64 n = quint64(in.width) * in.height * in.samplesPerPixel;
    out.pixels.resize(size_t(n));
    const bool invert = in.photometric == Photometric::MinIsWhite;
    if (in.bitsPerSample == 16) {
        const auto *src = reinterpret_cast<const quint16 *>(in.pixels.data());
        for (quint64 i = 0; i < n; ++i) {
            const quint8 v = quint8((quint32(src[i]) * 255 + 32767) / 65535);
            out.pixels[size_t(i)] = invert ? quint8(255 - v) : v;
        }
    } else {
        for (quint64 i = 0; i < n; ++i)
            out.pixels[size_t(i)] = quint8(255 - in.pixels[size_t(i)]);
    }
    return true;
}

} // namespace

struct TiffWriter::Impl {
    QString target;
    std::unique_ptr<SafeOutputFile> temp;
    int compression = COMPRESSION_NONE;
    bool bigTiff = false;
    WorkPool *pool = nullptr;
    BilevelOptions bilevel;
    CodingOptions codingOptions;
    bool replaceExisting = true;
    bool targetTaken = false;
    TiffMessages messages; // before tif: libtiff may report while closing
    bool checksum = false;
    std::unique_ptr<DigestedFd> digested; // before tif: its writes end there
    QString sha256;
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
        digested.reset();
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
        if (checksum) {
            digested = std::make_unique<DigestedFd>();
            digested->fd = fd;
            tif = openTiffDigested(digested.get(), target, bigTiff ? "w8" : "w", &messages);
        } else {
            tif = openTiffFd(fd, target, bigTiff ? "w8" : "w", &messages);
        }
        if (!tif)
            return fail(withReason(QStringLiteral("cannot start the TIFF file"), &messages), error);
        return true;
    }

    using Strip = CodedStrip;
    // The page in work: its strips are being coded on the pool.
    struct Pending {
        Page page; // keeps the rows alive while strips are coded from them
        StripCoding coding;
        quint32 rowsPerStrip = 0;
        std::vector<Strip> strips;
        WorkPool::Group group;
        PageDone done;
    };
    std::unique_ptr<Pending> pending;

    // Sets the page's tags; the strips follow. Returns the page to code (the
    // bilevel form for fax codings).
    bool startPage(const Page &input, Page *converted, const Page **page, StripCoding *coding, quint32 *rowsPerStrip,
                   QString *error);
    bool writeStrip(const Page &page, const StripCoding &coding, quint32 rowsPerStrip, size_t s, Strip &strip,
                    QString *error);
    bool endPage(QString *error);
    bool setMetadata(const Page &source, const Page &page);
    bool appendDirectory(const std::function<QByteArray(quint64)> &block, quint64 *offset);
    bool writeMetadataDirectories();
    ExifTree pageExif; // of the page being written
    bool writePage(const Page &page, QString *error);
    void finishPending();
    bool readyFor(const Page &page, QString *error);
};

bool TiffWriter::Impl::startPage(const Page &input, Page *converted, const Page **pagePtr, StripCoding *coding,
                                 quint32 *rowsPerStrip, QString *error)
{
    const bool passThrough = input.encodedCompression != 0;
    int compression = this->compression;
    if (compression == TiffWriter::kAutomatic) {
        if (passThrough)
            compression = input.encodedCompression == COMPRESSION_CCITTFAX4 ? COMPRESSION_CCITTFAX4 : COMPRESSION_LZW;
        else if (isBilevel(input) || twoLevelsToBilevel(input, converted))
            compression = COMPRESSION_CCITTFAX4;
        else
            compression = COMPRESSION_LZW;
    }
    // JPEG takes 8-bit grey, colour and ink; pages it would change beyond
    // its loss (palette, fewer bits, alpha) are written losslessly instead.
    const bool jpegPage = compression == COMPRESSION_JPEG && !passThrough && jpegForm(input, converted);
    if (compression == COMPRESSION_JPEG && !jpegPage)
        compression = COMPRESSION_ADOBE_DEFLATE;
    if (!TIFFIsCODECConfigured(quint16(compression)))
        return fail(QStringLiteral("this build of libtiff cannot write compression %1").arg(compression), error);
    const bool ccitt = compression == COMPRESSION_CCITTFAX3 || compression == COMPRESSION_CCITTFAX4;
    if (passThrough && input.encodedCompression != compression)
        return fail(QStringLiteral("page %1 is coded for another compression").arg(pages + 1), error);
    // CCITT codes black and white runs only: every page goes in as MinIsWhite bilevel.
    if (!passThrough && ccitt && !converted->width && !(isBilevel(input) && input.photometric == Photometric::MinIsWhite))
        *converted = toBilevel(input, bilevel);
    const Page &page = (ccitt || jpegPage) && converted->width ? *converted : input;
    *pagePtr = &page;

    TIFF *t = tif.get();
    const quint64 bpr = page.bytesPerRow();
    *rowsPerStrip = passThrough ? page.encodedRowsPerStrip
                                : quint32(std::clamp<quint64>(kStripBytes / std::max<quint64>(bpr, 1), 1, page.height));
    const bool ycbcr = jpegPage && page.photometric == Photometric::RGB;
    if (jpegPage) {
        // Strips end on whole rows of JPEG blocks (16 rows with 4:2:0).
        const quint32 mcu = ycbcr ? 16 : 8;
        *rowsPerStrip = std::min(page.height, std::max(mcu, *rowsPerStrip / mcu * mcu));
    }
    const bool predictor = (compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE
                            || compression == COMPRESSION_ZSTD)
        && page.photometric != Photometric::Palette && (page.bitsPerSample == 8 || page.bitsPerSample == 16);
    const quint16 photometric = ycbcr ? quint16(PHOTOMETRIC_YCBCR) : photometricTag(page.photometric);
    coding->compression = compression;
    coding->predictor = predictor;
    coding->ycbcr = ycbcr;
    coding->options = codingOptions;
    coding->width = page.width;
    coding->bitsPerSample = page.bitsPerSample;
    coding->samplesPerPixel = page.samplesPerPixel;
    coding->photometric = photometric;
    coding->bytesPerRow = bpr;
    const QString where = QStringLiteral("cannot write page %1").arg(pages + 1);

    bool ok = TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE)
        && TIFFSetField(t, TIFFTAG_IMAGEWIDTH, page.width)
        && TIFFSetField(t, TIFFTAG_IMAGELENGTH, page.height)
        && TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, page.bitsPerSample)
        && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, page.samplesPerPixel)
        && TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometric)
        && TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG)
        && TIFFSetField(t, TIFFTAG_COMPRESSION, compression)
        && TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, *rowsPerStrip)
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
    if (ok && ycbcr)
        ok = TIFFSetField(t, TIFFTAG_YCBCRSUBSAMPLING, quint16(2), quint16(2));
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
    if (ok)
        ok = setMetadata(input, page);
    if (!ok)
        return fail(withReason(where, &messages), error);
    return true;
}

// The page's carried metadata: text tags and XMP, IPTC now; the EXIF and
// GPS directories are written after the strips (endPage).
// `source` holds the blocks (a page made bilevel or 8-bit for its coding
// has none of its own), `page` the rows as written.
bool TiffWriter::Impl::setMetadata(const Page &source, const Page &page)
{
    TIFF *t = tif.get();
    pageExif = ExifTree();
    QString ignored;
    if (!source.exif.isEmpty() && parseExif(source.exif, &pageExif, &ignored)) {
        setPixelDimensions(&pageExif, page.width, page.height);
        for (const TiffEntry &e : pageExif.main) {
            const QByteArray text = entryText(e);
            if (!text.isEmpty() && !TIFFSetField(t, e.tag, text.constData()))
                return false;
        }
    }
    if (!source.xmp.isEmpty()) {
        // The rows' orientation is the Orientation tag's; an XMP copy that said
        // otherwise would have viewers turn the page twice.
        const int orientation = page.orientation >= 1 && page.orientation <= 8 ? page.orientation : 1;
        const QByteArray xmp = xmpWithOrientation(source.xmp, orientation);
        if (!TIFFSetField(t, TIFFTAG_XMLPACKET, quint32(xmp.size()), xmp.constData()))
            return false;
    }
    if (!source.iptc.isEmpty()) {
        // Padded to whole 4-byte words, as readers that take it as LONGs expect.
        QByteArray iptc = source.iptc;
        iptc.append(QByteArray((4 - iptc.size() % 4) % 4, '\0'));
        if (!TIFFSetField(t, TIFFTAG_RICHTIFFIPTC, quint32(iptc.size()), iptc.constData()))
            return false;
    }
    return true;
}

// Appends a directory block at the end of the file through libtiff's own
// I/O, so it lands between the strips and the page's directory.
bool TiffWriter::Impl::appendDirectory(const std::function<QByteArray(quint64)> &block, quint64 *offset)
{
    TIFF *t = tif.get();
    const TIFFSeekProc seek = TIFFGetSeekProc(t);
    const TIFFReadWriteProc write = TIFFGetWriteProc(t);
    const thandle_t h = TIFFClientdata(t);
    quint64 end = seek(h, 0, SEEK_END);
    if (end == quint64(-1))
        return false;
    static char zero = 0;
    if ((end & 1) && write(h, &zero, 1) != 1)
        return false;
    end = (end + 1) & ~quint64(1);
    const QByteArray bytes = block(end);
    if (write(h, const_cast<char *>(bytes.constData()), tmsize_t(bytes.size())) != tmsize_t(bytes.size()))
        return false;
    *offset = end;
    return true;
}

bool TiffWriter::Impl::writeMetadataDirectories()
{
    TIFF *t = tif.get();
    const bool big = TIFFIsBigTIFF(t), bigEndian = TIFFIsBigEndian(t);
    quint64 at = 0;
    if (!pageExif.exif.empty()) {
        if (!appendDirectory([&](quint64 o) { return exifDirectoryBlock(pageExif, o, big, bigEndian); }, &at)
            || !TIFFSetField(t, TIFFTAG_EXIFIFD, at))
            return false;
    }
    if (!pageExif.gps.empty()) {
        if (!appendDirectory([&](quint64 o) { return gpsDirectoryBlock(pageExif, o, big, bigEndian); }, &at)
            || !TIFFSetField(t, TIFFTAG_GPSIFD, at))
            return false;
    }
    pageExif = ExifTree();
    return true;
}

// Writes one coded strip (the rows as they are where nothing was coded).
bool TiffWriter::Impl::writeStrip(const Page &page, const StripCoding &coding, quint32 rowsPerStrip, size_t s,
                                  Strip &strip, QString *error)
{
    const QString where = QStringLiteral("cannot write page %1").arg(pages + 1);
    if (!strip.ok)
        return fail(where + QStringLiteral(": ") + strip.error, error);
    const quint8 *data = strip.data.data();
    tmsize_t size = tmsize_t(strip.data.size());
    if (page.encodedCompression) {
        data = page.encodedStrips[s].data();
        size = tmsize_t(page.encodedStrips[s].size());
    } else if (coding.compression == COMPRESSION_NONE) {
        const quint32 rows = std::min(rowsPerStrip, page.height - quint32(s) * rowsPerStrip);
        data = page.pixels.data() + quint64(s) * rowsPerStrip * coding.bytesPerRow;
        size = tmsize_t(coding.bytesPerRow * rows);
    }
    if (TIFFWriteRawStrip(tif.get(), tstrip_t(s), const_cast<quint8 *>(data), size) != size)
        return fail(withReason(where, &messages), error);
    std::vector<quint8>().swap(strip.data); // written: free it now
    return true;
}

bool TiffWriter::Impl::endPage(QString *error)
{
    const QString where = QStringLiteral("cannot write page %1").arg(pages + 1);
    if (!writeMetadataDirectories())
        return fail(withReason(where + QStringLiteral(": cannot write its EXIF directory"), &messages), error);
    // The directory goes at the end; afterwards libtiff only ever writes past
    // where it begins (the next page links itself into this directory).
    const quint64 settled = digested ? digested->digest.end() : 0;
    if (!TIFFWriteDirectory(tif.get()) || messages.hasError())
        return fail(withReason(where, &messages), error);
    if (digested)
        digested->digest.settle(settled);
    ++pages;
    return true;
}

namespace {

std::vector<CodedStrip> stripSlots(const Page &page, quint32 rowsPerStrip)
{
    const quint32 count = page.encodedCompression ? quint32(page.encodedStrips.size())
                                                  : (page.height + rowsPerStrip - 1) / rowsPerStrip;
    return std::vector<CodedStrip>(count);
}

void codeStripSlot(const Page &page, const StripCoding &coding, quint32 rowsPerStrip, quint32 s,
                   CodedStrip *strip)
{
    if (page.encodedCompression) {
        strip->ok = true;
        return;
    }
    const quint32 rows = std::min(rowsPerStrip, page.height - s * rowsPerStrip);
    const quint8 *src = page.pixels.data() + quint64(s) * rowsPerStrip * coding.bytesPerRow;
    strip->ok = codeStrip(coding, src, rows, &strip->data, &strip->error);
}

} // namespace

bool TiffWriter::Impl::writePage(const Page &input, QString *error)
{
    Page converted;
    const Page *page = nullptr;
    StripCoding coding;
    quint32 rowsPerStrip = 0;
    if (!startPage(input, &converted, &page, &coding, &rowsPerStrip, error))
        return false;
    std::vector<Strip> strips = stripSlots(*page, rowsPerStrip);
    // One strip coded and written at a time: nothing more than a strip is held.
    for (quint32 s = 0; s < strips.size(); ++s) {
        codeStripSlot(*page, coding, rowsPerStrip, s, &strips[s]);
        if (!writeStrip(*page, coding, rowsPerStrip, s, strips[s], error))
            return false;
    }
    return endPage(error);
}

void TiffWriter::Impl::finishPending()
{
    if (!pending)
        return;
    std::unique_ptr<Pending> p = std::move(pending);
    pool->wait(p->group);
    QString why = failure;
    bool ok = !failed;
    for (size_t i = 0; ok && i < p->strips.size(); ++i)
        ok = writeStrip(p->page, p->coding, p->rowsPerStrip, i, p->strips[i], &why);
    ok = ok && endPage(&why);
    const int number = ok ? pages : 0;
    p->page = Page();
    if (p->done)
        p->done(ok, number, why);
}

TiffWriter::TiffWriter(const QString &targetPath, int compression, bool bigTiff, WorkPool *pool)
    : d(std::make_unique<Impl>())
{
    d->target = targetPath;
    d->compression = effectiveCompression(compression);
    d->bigTiff = bigTiff;
    d->pool = pool;
}

TiffWriter::~TiffWriter()
{
    // A page callback that throws (out of memory while recording) must not end the program here.
    try {
        abort();
    } catch (...) {
        d->pending.reset();
        d->dropTemp();
    }
}

void TiffWriter::finishQueued()
{
    d->finishPending();
}

int TiffWriter::pageCount() const
{
    return d->pages;
}

void TiffWriter::setBilevelOptions(const BilevelOptions &options)
{
    d->bilevel = options;
}

void TiffWriter::setChecksum(bool on)
{
    d->checksum = on;
}

QString TiffWriter::sha256() const
{
    return d->committed ? d->sha256 : QString();
}

void TiffWriter::setCodingOptions(const CodingOptions &options)
{
    d->codingOptions = options;
}

void TiffWriter::setReplaceExisting(bool replace)
{
    d->replaceExisting = replace;
}

bool TiffWriter::targetExists() const
{
    return d->targetTaken;
}

void TiffWriter::setTargetPath(const QString &targetPath)
{
    d->target = targetPath;
    d->targetTaken = false;
}

void TiffWriter::abort()
{
    d->finishPending();
    if (!d->failed && !d->committed)
        d->fail(QStringLiteral("writing was cancelled"), nullptr);
    d->dropTemp();
}

// Finishes the page in work, then checks that `page` may follow and that the
// file exists. False with the reason otherwise.
bool TiffWriter::Impl::readyFor(const Page &page, QString *error)
{
    finishPending();
    if (committed) {
        *error = QStringLiteral("already saved");
        return false;
    }
    if (failed) {
        *error = failure;
        return false;
    }
    QString why;
    if (!checkPage(page, &why))
        return fail(QStringLiteral("page %1: %2").arg(pages + 1).arg(why), error);
    return tif || createTemp(error);
}

bool TiffWriter::addPage(const Page &page, QString *error)
{
    QString why;
    if (!d->readyFor(page, &why)) {
        if (error)
            *error = why;
        return false;
    }
    return d->writePage(page, error);
}

void TiffWriter::queuePage(Page &&page, PageDone done)
{
    if (!d->pool) {
        QString error;
        const bool ok = addPage(page, &error);
        page = Page();
        if (done)
            done(ok, ok ? d->pages : 0, error);
        return;
    }
    QString error;
    auto refuse = [&](const QString &why) {
        if (done)
            done(false, 0, why);
    };
    if (!d->readyFor(page, &error))
        return refuse(error);

    // All or nothing: a page whose tags are set but whose strips never all
    // reach the pool would stand empty in the file, so any failure from here
    // on fails the writer.
    try {
        auto p = std::make_unique<Impl::Pending>();
        Page converted;
        const Page *coded = nullptr;
        if (!d->startPage(page, &converted, &coded, &p->coding, &p->rowsPerStrip, &error))
            return refuse(error);
        // The writer keeps the page it codes from; the caller's is gone either way.
        p->page = coded == &converted ? std::move(converted) : std::move(page);
        page = Page();
        p->strips = stripSlots(p->page, p->rowsPerStrip);
        Impl::Pending *raw = p.get();
        // Published first: whatever reaches the pool is waited for before the page goes.
        d->pending = std::move(p);
        for (quint32 s = 0; s < raw->strips.size(); ++s)
            d->pool->submitTask(raw->group, [raw, s] {
                CodedStrip &strip = raw->strips[s];
                try {
                    codeStripSlot(raw->page, raw->coding, raw->rowsPerStrip, s, &strip);
                } catch (const std::bad_alloc &) {
                    strip.ok = false;
                    strip.error = QStringLiteral("not enough memory");
                }
            });
        raw->done = std::move(done);
    } catch (const std::exception &e) {
        if (d->pending) {
            d->pool->wait(d->pending->group);
            d->pending.reset();
        }
        page = Page();
        const QString why = dynamic_cast<const std::bad_alloc *>(&e) ? QStringLiteral("not enough memory")
                                                                     : QString::fromLocal8Bit(e.what());
        d->fail(QStringLiteral("cannot write page %1: %2").arg(d->pages + 1).arg(why), &error);
        refuse(error);
    }
}

bool TiffWriter::finish(QString *error)
{
    d->finishPending();
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
    if (d->pages == 0 || (!d->tif && !d->temp))
        return d->fail(QStringLiteral("no page to write"), error);
    if (d->tif) { // not yet finished by an earlier call
        if (!TIFFFlush(d->tif.get()) || d->messages.hasError())
            return d->fail(withReason(QStringLiteral("cannot finish the file"), &d->messages), error);
        d->tif.reset();
        if (d->messages.hasError())
            return d->fail(withReason(QStringLiteral("cannot finish the file"), &d->messages), error);
        if (d->digested) {
            const QByteArray digest = d->digested->digest.finish();
            d->digested.reset();
            if (digest.isEmpty())
                return d->fail(QStringLiteral("the checksum could not follow the writes of the file"), error);
            d->sha256 = QString::fromLatin1(digest.toHex());
        }
    }
    return true;
}

int TiffWriter::fileHandle() const
{
    return d->temp ? d->temp->handle() : -1;
}

int TiffWriter::folderHandle() const
{
    return d->temp ? d->temp->folderHandle() : -1;
}

quint64 TiffWriter::openOrder() const
{
    return d->temp ? d->temp->openOrder() : 0;
}

void TiffWriter::setFlushed()
{
    if (d->temp)
        d->temp->setFlushed();
}

bool TiffWriter::flush(QString *error)
{
    if (!finish(error))
        return false;
    QString why;
    if (!d->temp->flush(&why))
        return d->fail(why, error);
    return true;
}

bool TiffWriter::commit(QString *error, bool flushFolder)
{
    if (!finish(error))
        return false;
    QString why;
    int code = 0;
    if (!d->temp->commit(&why, &code, d->target, d->replaceExisting, flushFolder)) {
        if (code == EEXIST && !d->replaceExisting) {
            d->targetTaken = true;
            if (error)
                *error = QStringLiteral("%1 exists").arg(QDir::toNativeSeparators(d->target));
            return false;
        }
        return d->fail(why, error);
    }
    d->temp.reset();
    d->committed = true;
    return true;
}

} // namespace quillon::image
