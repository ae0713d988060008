#include "core/image/FormatSniffer.h"

#include "core/image/RasterDecoders.h"

#include <QFileInfo>

#include <zlib.h>

#include <array>
#include <cmath>
#include <cstring>

namespace quillon::image::detail {

namespace {

quint16 be16(const uchar *p) { return quint16(p[0] << 8 | p[1]); }
quint32 be32(const uchar *p) { return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3]; }
quint16 le16(const uchar *p) { return quint16(p[1] << 8 | p[0]); }
quint32 le32(const uchar *p) { return quint32(p[3]) << 24 | quint32(p[2]) << 16 | quint32(p[1]) << 8 | p[0]; }

bool isBmpDibSize(quint32 n)
{
    return n == 12 || n == 16 || n == 40 || n == 52 || n == 56 || n == 64 || n == 108 || n == 124;
}

// Pixels per metre as dots per inch; values that are a hair off a whole number
// (whole pixels per metre are off by up to 0.0127 dpi: 11811 ppm is 299.9994
// dpi) are what the file meant as that whole number.
float dpiFromPpm(quint32 ppm)
{
    const double dpi = ppm * 0.0254;
    const double whole = std::round(dpi);
    return float(std::abs(dpi - whole) < 0.015 ? whole : dpi);
}

QString truncated(const char *what) { return QStringLiteral("truncated or corrupt %1 file").arg(QLatin1String(what)); }

// Raw (filtered) byte count of a PNG's image data, from its header.
quint64 pngRawBytes(quint32 w, quint32 h, int bitDepth, int colorType, bool interlaced)
{
    const int channels = colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
    const quint64 bits = quint64(channels) * quint64(bitDepth);
    auto rows = [&](quint64 pw, quint64 ph) { return pw && ph ? ph * (1 + (pw * bits + 7) / 8) : 0; };
    if (!interlaced)
        return rows(w, h);
    // Adam7: x start, x step, y start, y step of each pass.
    static const int pass[7][4] = {{0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8}, {2, 4, 0, 4},
                                   {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2}};
    quint64 total = 0;
    for (const auto &q : pass)
        total += rows((quint64(w) + q[1] - q[0] - 1) / q[1], (quint64(h) + q[3] - q[2] - 1) / q[3]);
    return total;
}

// True when the IDAT chunks inflate to one whole zlib stream of exactly the
// size the header calls for. Walks chunks that walkPng has already bounded.
bool pngIdatComplete(const uchar *p, qint64 n, const HeaderInfo &info, bool interlaced)
{
    const quint64 expected = pngRawBytes(info.width, info.height, info.bitDepth, info.pngColorType, interlaced);
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return false;
    std::vector<uchar> scratch(1 << 16);
    quint64 produced = 0;
    int rc = Z_OK;
    for (qint64 pos = 8; n - pos >= 12 && rc == Z_OK;) {
        const quint32 len = be32(p + pos);
        if (n - pos - 12 < qint64(len))
            break;
        if (std::memcmp(p + pos + 4, "IDAT", 4) == 0) {
            z.next_in = const_cast<uchar *>(p + pos + 8);
            z.avail_in = len;
            while (z.avail_in > 0 && rc == Z_OK) {
                z.next_out = scratch.data();
                z.avail_out = uInt(scratch.size());
                rc = inflate(&z, Z_NO_FLUSH);
                produced += scratch.size() - z.avail_out;
                if (produced > expected)
                    rc = Z_DATA_ERROR;
            }
        }
        pos += 12 + qint64(len);
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END && produced == expected;
}

bool walkPng(const uchar *p, qint64 n, HeaderInfo *info, QString *error)
{
    static const uchar iend[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xae, 0x42, 0x60, 0x82};
    qint64 pos = 8;
    bool seenHeader = false;
    bool seenData = false;
    bool interlaced = false;
    while (true) {
        if (n - pos < 12) {
            // All chunks whole and only (part of) IEND missing: the image
            // may still be complete, which its zlib stream tells.
            if (seenData && std::memcmp(p + pos, iend, size_t(n - pos)) == 0
                && pngIdatComplete(p, n, *info, interlaced)) {
                info->missingEnd = true;
                return true;
            }
            *error = truncated("PNG");
            return false;
        }
        const quint32 len = be32(p + pos);
        const uchar *type = p + pos + 4;
        if (len > 0x7fffffffu || n - pos - 12 < qint64(len)) {
            *error = truncated("PNG");
            return false;
        }
        const uchar *data = p + pos + 8;
        if (!seenHeader) {
            if (std::memcmp(type, "IHDR", 4) != 0 || len < 13) {
                *error = QStringLiteral("corrupt PNG file (no image header)");
                return false;
            }
            info->width = be32(data);
            info->height = be32(data + 4);
            info->bitDepth = data[8];
            info->pngColorType = data[9];
            interlaced = data[12] != 0;
            if (info->pngColorType == 0 && info->bitDepth == 1)
                info->palette = {qRgb(0, 0, 0), qRgb(255, 255, 255)};
            seenHeader = true;
        } else if (std::memcmp(type, "pHYs", 4) == 0 && len >= 9) {
            if (data[8] == 1 && be32(data) && be32(data + 4)) {
                info->xResolution = dpiFromPpm(be32(data));
                info->yResolution = dpiFromPpm(be32(data + 4));
                info->resolutionUnit = 2;
            }
        } else if (std::memcmp(type, "tRNS", 4) == 0) {
            info->transparency = true;
        } else if (std::memcmp(type, "iCCP", 4) == 0) {
            info->embeddedIcc = true;
        } else if (std::memcmp(type, "IDAT", 4) == 0) {
            seenData = true;
        } else if (std::memcmp(type, "IEND", 4) == 0) {
            return true;
        }
        pos += 12 + qint64(len);
    }
}

bool isSof(uchar m)
{
    return m >= 0xc0 && m <= 0xcf && m != 0xc4 && m != 0xc8 && m != 0xcc;
}

// Which parts of a JPEG's image the scans seen so far have delivered: every
// component in a sequential frame; every coefficient of every component down
// to its last bit in a progressive one.
class JpegScans {
public:
    void frame(const uchar *seg, int segLen, bool progressive)
    {
        m_progressive = progressive;
        m_components = std::min<int>(seg[5], kMaxComponents);
        for (int c = 0; c < m_components && 8 + 3 * c < segLen; ++c)
            m_ids[size_t(c)] = seg[6 + 3 * c];
        for (auto &bits : m_bits)
            bits.fill(-1);
    }

    void scan(const uchar *seg, int segLen)
    {
        if (segLen < 1)
            return;
        const int ns = seg[0];
        if (segLen < 1 + 2 * ns + 3)
            return;
        const int ss = seg[1 + 2 * ns], se = std::min<int>(seg[2 + 2 * ns], 63), al = seg[3 + 2 * ns] & 15;
        for (int i = 0; i < ns; ++i) {
            const int c = index(seg[1 + 2 * i]);
            if (c < 0)
                continue;
            if (!m_progressive) {
                m_bits[size_t(c)].fill(0);
                continue;
            }
            for (int k = ss; k <= se; ++k)
                m_bits[size_t(c)][size_t(k)] = qint8(al);
        }
        m_seen = true;
    }

    bool complete() const
    {
        if (!m_seen)
            return false;
        for (int c = 0; c < m_components; ++c)
            for (qint8 b : m_bits[size_t(c)])
                if (b != 0)
                    return false;
        return true;
    }

private:
    static constexpr int kMaxComponents = 4;
    int index(int id) const
    {
        for (int c = 0; c < m_components; ++c)
            if (m_ids[size_t(c)] == id)
                return c;
        return -1;
    }
    bool m_progressive = false;
    bool m_seen = false;
    int m_components = 0;
    std::array<int, kMaxComponents> m_ids{};
    std::array<std::array<qint8, 64>, kMaxComponents> m_bits{};
};

bool isProgressiveSof(uchar m)
{
    return m == 0xc2 || m == 0xc6 || m == 0xca || m == 0xce;
}

bool walkJpeg(const uchar *p, qint64 n, HeaderInfo *info, QString *error)
{
    qint64 pos = 2;
    bool seenFrame = false;
    JpegScans scans;
    // The file ended where only EOI was still due: accepted when every scan
    // was there and its entropy data decodes to the end without running dry.
    auto endsWithoutEoi = [&] {
        if (!scans.complete() || !jpegEntropyComplete(p, n)) {
            *error = truncated("JPEG");
            return false;
        }
        info->missingEnd = true;
        return true;
    };
    while (true) {
        // Markers may be preceded by any number of fill bytes.
        if (pos >= n)
            return endsWithoutEoi();
        if (p[pos] != 0xff) {
            // Stray bytes where a marker belongs: libjpeg skips to the next
            // marker and warns, and so do we.
            const void *next = std::memchr(p + pos, 0xff, size_t(n - pos));
            if (!next) {
                *error = QStringLiteral("corrupt JPEG file (marker expected)");
                return false;
            }
            pos = static_cast<const uchar *>(next) - p;
        }
        while (pos < n && p[pos] == 0xff)
            ++pos;
        if (pos >= n)
            return endsWithoutEoi();
        const uchar m = p[pos++];
        if (m == 0xd9) {
            if (!seenFrame) {
                *error = QStringLiteral("corrupt JPEG file (no image)");
                return false;
            }
            return true;
        }
        if (m == 0x01 || (m >= 0xd0 && m <= 0xd7))
            continue;
        if (n - pos < 2) {
            *error = truncated("JPEG");
            return false;
        }
        const quint16 len = be16(p + pos);
        if (len < 2 || n - pos < len) {
            *error = truncated("JPEG");
            return false;
        }
        const uchar *seg = p + pos + 2;
        const int segLen = len - 2;
        if (isSof(m) && !seenFrame) {
            if (segLen < 6) {
                *error = QStringLiteral("corrupt JPEG file (bad frame header)");
                return false;
            }
            info->height = be16(seg + 1);
            info->width = be16(seg + 3);
            info->jpegComponents = seg[5];
            info->bitDepth = seg[0];
            scans.frame(seg, segLen, isProgressiveSof(m));
            seenFrame = true;
        } else if (m == 0xe0 && segLen >= 12 && std::memcmp(seg, "JFIF\0", 5) == 0) {
            const int units = seg[7];
            const quint16 xd = be16(seg + 8), yd = be16(seg + 10);
            if ((units == 1 || units == 2) && xd && yd) {
                info->xResolution = xd;
                info->yResolution = yd;
                info->resolutionUnit = units == 1 ? 2 : 3;
            }
        } else if (m == 0xe2 && segLen >= 12 && std::memcmp(seg, "ICC_PROFILE\0", 12) == 0) {
            info->embeddedIcc = true;
        }
        pos += len;
        if (m == 0xda) {
            if (!seenFrame) {
                *error = QStringLiteral("corrupt JPEG file (scan before frame header)");
                return false;
            }
            scans.scan(seg, segLen);
            // Entropy-coded data: 0xff is followed by 0x00 (stuffing) or a
            // restart marker; anything else starts the next segment.
            while (true) {
                const void *hit = pos < n ? std::memchr(p + pos, 0xff, size_t(n - pos)) : nullptr;
                if (!hit)
                    return endsWithoutEoi();
                pos = static_cast<const uchar *>(hit) - p;
                if (pos + 1 >= n)
                    return endsWithoutEoi(); // the last byte is EOI's first
                const uchar next = p[pos + 1];
                if (next == 0x00 || (next >= 0xd0 && next <= 0xd7)) {
                    pos += 2;
                    continue;
                }
                if (next == 0xff) {
                    ++pos;
                    continue;
                }
                break;
            }
        }
    }
}

bool walkBmp(const uchar *p, qint64 n, HeaderInfo *info, QString *error)
{
    if (n < 26) {
        *error = truncated("BMP");
        return false;
    }
    const quint32 offBits = le32(p + 10);
    const quint32 dib = le32(p + 14);
    if (!isBmpDibSize(dib) || n < 14 + qint64(dib)) {
        *error = truncated("BMP");
        return false;
    }
    qint64 w, h;
    int bpp;
    quint32 compression = 0;
    if (dib == 12) {
        w = le16(p + 18);
        h = le16(p + 20);
        bpp = le16(p + 24);
    } else if (dib == 16) { // OS/2 2.x, shortened: no fields after the bit count
        w = qint32(le32(p + 18));
        h = qint32(le32(p + 22));
        bpp = le16(p + 28);
    } else {
        w = qint32(le32(p + 18));
        h = qint32(le32(p + 22));
        bpp = le16(p + 28);
        compression = le32(p + 30);
        const quint32 xppm = le32(p + 38), yppm = le32(p + 42);
        if (xppm && yppm) {
            info->xResolution = dpiFromPpm(xppm);
            info->yResolution = dpiFromPpm(yppm);
        }
        if (dib >= 56 && (compression == 3 || compression == 6))
            info->transparency = le32(p + 14 + 52) != 0; // alpha mask
    }
    if (bpp <= 8) {
        const quint32 used = dib >= 40 ? le32(p + 46) : 0;
        const qint64 entries = used && used < (1u << bpp) ? used : (1 << bpp);
        const int entrySize = dib == 12 ? 3 : 4;
        const qint64 at = 14 + dib;
        for (qint64 i = 0; i < entries && at + (i + 1) * entrySize <= n; ++i) {
            const uchar *e = p + at + i * entrySize;
            info->palette.push_back(qRgb(e[2], e[1], e[0]));
        }
    }
    if (w <= 0 || h == 0 || (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)) {
        *error = QStringLiteral("corrupt BMP file (bad header)");
        return false;
    }
    info->width = quint32(w);
    info->height = quint32(h < 0 ? -h : h);
    info->bitDepth = bpp;
    // Uncompressed pixel data has a known size: a short file is a cut one.
    if (compression == 0 || compression == 3 || compression == 6) {
        const quint64 rowBytes = (quint64(w) * quint64(bpp) + 31) / 32 * 4;
        if (quint64(offBits) + rowBytes * info->height > quint64(n)) {
            *error = truncated("BMP");
            return false;
        }
    }
    return true;
}

// Skips GIF data sub-blocks; false when the file ends first.
bool skipSubBlocks(const uchar *p, qint64 n, qint64 *pos)
{
    while (true) {
        if (*pos >= n)
            return false;
        const uchar len = p[(*pos)++];
        if (len == 0)
            return true;
        *pos += len;
    }
}

std::vector<QRgb> gifTable(const uchar *p, int entries)
{
    std::vector<QRgb> t(static_cast<size_t>(entries));
    for (int i = 0; i < entries; ++i)
        t[size_t(i)] = qRgb(p[3 * i], p[3 * i + 1], p[3 * i + 2]);
    return t;
}

bool walkGif(const uchar *p, qint64 n, HeaderInfo *info, QString *error, bool countAll)
{
    if (n < 13) {
        *error = truncated("GIF");
        return false;
    }
    info->width = le16(p + 6);
    info->height = le16(p + 8);
    qint64 pos = 13;
    std::vector<QRgb> global;
    int globalBits = 0;
    if (p[10] & 0x80) {
        globalBits = (p[10] & 7) + 1;
        const int entries = 1 << globalBits;
        if (n - pos < 3 * entries) {
            *error = truncated("GIF");
            return false;
        }
        global = gifTable(p + pos, entries);
        pos += 3 * entries;
    }
    int transparentIndex = -1;
    while (true) {
        if (pos >= n) {
            if (info->gifFrames > 0)
                return true; // a missing trailer after whole frames is common
            *error = truncated("GIF");
            return false;
        }
        const uchar block = p[pos++];
        if (block == 0x3b) {
            if (info->gifFrames == 0) {
                *error = QStringLiteral("GIF file without an image");
                return false;
            }
            return true;
        }
        if (block == 0x21) {
            if (pos >= n) {
                *error = truncated("GIF");
                return false;
            }
            const uchar label = p[pos++];
            if (label == 0xf9 && n - pos >= 6 && p[pos] >= 4)
                transparentIndex = (p[pos + 1] & 1) ? p[pos + 4] : -1;
            if (!skipSubBlocks(p, n, &pos)) {
                *error = truncated("GIF");
                return false;
            }
            continue;
        }
        if (block != 0x2c) {
            *error = QStringLiteral("corrupt GIF file (unknown block)");
            return false;
        }
        if (n - pos < 9) {
            *error = truncated("GIF");
            return false;
        }
        const uchar packed = p[pos + 8];
        pos += 9;
        std::vector<QRgb> local;
        int localBits = 0;
        if (packed & 0x80) {
            localBits = (packed & 7) + 1;
            const int entries = 1 << localBits;
            if (n - pos < 3 * entries) {
                *error = truncated("GIF");
                return false;
            }
            local = gifTable(p + pos, entries);
            pos += 3 * entries;
        }
        ++pos; // LZW minimum code size
        if (!skipSubBlocks(p, n, &pos)) {
            *error = truncated("GIF");
            return false;
        }
        if (++info->gifFrames == 1) {
            info->palette = localBits ? std::move(local) : std::move(global);
            info->bitDepth = localBits ? localBits : globalBits;
            info->transparency = transparentIndex >= 0;
            if (!countAll)
                return true;
        }
        transparentIndex = -1;
    }
}

// An ISO base media file whose type box names a HEIF or AVIF brand, as major
// brand or among the compatible ones within `n` bytes.
bool isHeifBrand(const uchar *p, qsizetype n)
{
    if (n < 12 || std::memcmp(p + 4, "ftyp", 4) != 0)
        return false;
    static const char *const brands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "hevm", "hevs",
                                         "mif1", "msf1", "avif", "avis"};
    const qsizetype end = std::min<qsizetype>(n, be32(p));
    auto known = [&](qsizetype at) {
        for (const char *b : brands)
            if (std::memcmp(p + at, b, 4) == 0)
                return true;
        return false;
    };
    if (known(8))
        return true;
    for (qsizetype at = 16; at + 4 <= end; at += 4)
        if (known(at))
            return true;
    return false;
}

} // namespace

FileFormat sniffFormat(const QByteArray &head)
{
    const auto *p = reinterpret_cast<const uchar *>(head.constData());
    const qsizetype n = head.size();
    if (n >= 8 && (std::memcmp(p, "II*\0", 4) == 0 || std::memcmp(p, "MM\0*", 4) == 0
                   || std::memcmp(p, "II+\0", 4) == 0 || std::memcmp(p, "MM\0+", 4) == 0))
        return FileFormat::Tiff;
    if (n >= 8 && std::memcmp(p, "\x89PNG\r\n\x1a\n", 8) == 0)
        return FileFormat::Png;
    if (n >= 3 && p[0] == 0xff && p[1] == 0xd8 && p[2] == 0xff)
        return FileFormat::Jpeg;
    // Stray bytes after SOI, which libjpeg skips with a warning: a segment
    // marker must still follow soon.
    if (n >= 4 && p[0] == 0xff && p[1] == 0xd8)
        for (qsizetype i = 2; i + 1 < n; ++i)
            if (p[i] == 0xff && (p[i + 1] == 0xdb || p[i + 1] == 0xc4 || (p[i + 1] >= 0xe0 && p[i + 1] <= 0xef)))
                return FileFormat::Jpeg;
    if (n >= 6 && (std::memcmp(p, "GIF87a", 6) == 0 || std::memcmp(p, "GIF89a", 6) == 0))
        return FileFormat::Gif;
    if (n >= 12 && std::memcmp(p, "RIFF", 4) == 0 && std::memcmp(p + 8, "WEBP", 4) == 0)
        return FileFormat::Webp;
    // JPEG XL: a bare codestream, or the container's signature box.
    if ((n >= 2 && p[0] == 0xff && p[1] == 0x0a) || (n >= 12 && std::memcmp(p, "\0\0\0\x0cJXL \r\n\x87\n", 12) == 0))
        return FileFormat::Jxl;
    if (isHeifBrand(p, n))
        return FileFormat::Heif;
    // "BM" alone starts plenty of text files; the DIB header size must fit too.
    if (n >= 18 && p[0] == 'B' && p[1] == 'M' && isBmpDibSize(le32(p + 14)))
        return FileFormat::Bmp;
    return FileFormat::Unknown;
}

FileFormat sniffFile(const QString &path)
{
    QFile f(path);
    if (!QFileInfo(path).isFile() || !f.open(QIODevice::ReadOnly))
        return FileFormat::Unknown;
    return sniffFormat(f.read(32));
}

const char *qtFormatName(FileFormat format)
{
    switch (format) {
    case FileFormat::Png: return "png";
    case FileFormat::Jpeg: return "jpeg";
    case FileFormat::Bmp: return "bmp";
    case FileFormat::Gif: return "gif";
    default: return "";
    }
}

FileBytes::FileBytes(const QString &path) : m_file(path)
{
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_error = m_file.errorString();
        return;
    }
    const qint64 n = m_file.size();
    if (n <= 0) {
        m_error = QStringLiteral("empty file");
        return;
    }
    // A small file is read: unmapping it would stop every other thread of
    // the process for a TLB flush, which costs more than the copy.
    constexpr qint64 kMapFrom = 1 << 20;
    m_data = n >= kMapFrom ? m_file.map(0, n) : nullptr;
    m_size = n;
    if (!m_data) {
        m_copy = m_file.readAll();
        m_size = m_copy.size();
        m_data = m_size > 0 ? reinterpret_cast<const uchar *>(m_copy.constData()) : nullptr;
        if (!m_data)
            m_error = m_file.errorString();
    }
}

bool readHeader(const QString &path, FileFormat format, HeaderInfo *info, QString *error, bool countGifFrames)
{
    *info = HeaderInfo();
    info->format = format;
    const FileBytes file(path);
    if (!file.isOpen()) {
        *error = file.errorString();
        return false;
    }
    return readHeader(file.data(), file.size(), format, info, error, countGifFrames);
}

bool readHeader(const uchar *p, qint64 n, FileFormat format, HeaderInfo *info, QString *error, bool countGifFrames)
{
    *info = HeaderInfo();
    info->format = format;
    switch (format) {
    case FileFormat::Png: return walkPng(p, n, info, error);
    case FileFormat::Jpeg: return walkJpeg(p, n, info, error);
    case FileFormat::Bmp: return walkBmp(p, n, info, error);
    case FileFormat::Gif: return walkGif(p, n, info, error, countGifFrames);
    default:
        *error = QStringLiteral("not a PNG, JPEG, BMP or GIF file");
        return false;
    }
}

} // namespace quillon::image::detail
