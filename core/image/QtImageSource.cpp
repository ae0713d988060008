#include "core/image/QtImageSource.h"

#include "core/SystemLog.h"
#include "core/image/Metadata.h"
#include "core/image/CodecSources.h"
#include "core/image/RasterDecoders.h"

#include <QColorSpace>
#include <QImage>
#include <QImageReader>
#include <QtEndian>

#include <array>
#include <cstring>
#include <unordered_map>

namespace quillon::image::detail {

namespace {

int roundBits(int bits)
{
    return bits <= 1 ? 1 : bits <= 2 ? 2 : bits <= 4 ? 4 : 8;
}

int bitsForEntries(qsizetype n)
{
    int bits = 1;
    while (bits < 8 && (qsizetype(1) << bits) < n)
        ++bits;
    return roundBits(bits);
}

// Bits per pixel of the page the file will give, from its header alone.
int pageBitsPerPixel(const HeaderInfo &i)
{
    switch (i.format) {
    case FileFormat::Png: {
        const int bd = i.bitDepth;
        switch (i.pngColorType) {
        case 0: return i.transparency ? 2 * std::max(bd, 8) : bd;
        case 2: return (i.transparency ? 4 : 3) * bd;
        case 3: return i.transparency ? 32 : bd;
        case 4: return 2 * bd;
        case 6: return 4 * bd;
        default: return 64;
        }
    }
    case FileFormat::Jpeg: return i.jpegComponents == 1 ? 8 : i.jpegComponents == 4 ? 32 : 24;
    case FileFormat::Bmp: return i.bitDepth <= 8 ? i.bitDepth : (i.transparency ? 32 : 24);
    case FileFormat::Gif: return i.transparency ? 32 : 8;
    default: return 64;
    }
}

quint64 rowsBytes(quint64 w, quint64 h, int bitsPerPixel)
{
    return (w * quint64(bitsPerPixel) + 7) / 8 * h;
}

void setLayout(Page *p, QSize size, quint16 bits, quint16 spp, quint16 extra, Photometric ph)
{
    p->setLayout(quint32(size.width()), quint32(size.height()), bits, spp, extra, ph);
}

void setHeader(Page *p, const QImage &img, quint16 bits, quint16 spp, quint16 extra, Photometric ph)
{
    p->setLayout(quint32(img.width()), quint32(img.height()), bits, spp, extra, ph);
    p->pixels.resize(size_t(p->byteCount()));
}

void clearTailBits(Page *p)
{
    const unsigned tail = unsigned((quint64(p->width) * p->samplesPerPixel * p->bitsPerSample) % 8);
    if (!tail)
        return;
    const quint64 bpr = p->bytesPerRow();
    const quint8 mask = quint8(0xff << (8 - tail));
    for (quint32 y = 0; y < p->height; ++y)
        p->pixels[size_t(y * bpr + bpr - 1)] &= mask;
}

void copyRows(const QImage &img, Page *p)
{
    const quint64 bpr = p->bytesPerRow();
    for (int y = 0; y < img.height(); ++y)
        std::memcpy(p->pixels.data() + quint64(y) * bpr, img.constScanLine(y), size_t(bpr));
}

quint8 reverseBits(quint8 b)
{
    b = quint8((b & 0xf0) >> 4 | (b & 0x0f) << 4);
    b = quint8((b & 0xcc) >> 2 | (b & 0x33) << 2);
    return quint8((b & 0xaa) >> 1 | (b & 0x55) << 1);
}

bool fromArgb32(const QImage &img, const HeaderInfo &info, Page *out, QString *error);

// Mono, MonoLSB and Indexed8 images: palette, grey ramp or, with transparent
// entries in use, RGBA.
bool fromIndexed(const QImage &img, const HeaderInfo &info, Page *out, QString *error)
{
    const QList<QRgb> table = img.colorTable();
    const bool mono = img.format() != QImage::Format_Indexed8;
    if (table.isEmpty())
        return fromArgb32(img.convertToFormat(QImage::Format_ARGB32), info, out, error);

    std::array<bool, 256> used{};
    int maxIndex = 0;
    if (mono) {
        used[0] = used[1] = true;
        maxIndex = 1;
    } else {
        for (int y = 0; y < img.height(); ++y) {
            const uchar *s = img.constScanLine(y);
            for (int x = 0; x < img.width(); ++x)
                used[s[x]] = true;
        }
        for (int i = 255; i >= 0; --i)
            if (used[size_t(i)]) {
                maxIndex = i;
                break;
            }
    }
    for (int i = 0; i <= maxIndex; ++i)
        if (used[size_t(i)] && (i >= table.size() || qAlpha(table[i]) < 255))
            return fromArgb32(img.convertToFormat(QImage::Format_ARGB32), info, out, error);

    // Qt may hand out a 1-bit image with its two colours swapped and the bits
    // inverted; put it back in the file's own order.
    if (mono && table.size() == 2 && info.palette.size() >= 2 && table[0] == info.palette[1]
        && table[1] == info.palette[0] && table[0] != table[1]) {
        QImage swapped = img.convertToFormat(QImage::Format_Mono);
        swapped.invertPixels();
        swapped.setColorTable({table[1], table[0]});
        return fromIndexed(swapped, info, out, error);
    }

    int bits = info.bitDepth > 0 && info.bitDepth <= 8 ? roundBits(info.bitDepth) : bitsForEntries(table.size());
    if (mono)
        bits = 1;
    while (maxIndex >= (1 << bits))
        bits = roundBits(bits + 1);
    const int entries = 1 << bits;

    // A full grey ramp is a grey page, not a palette one.
    Photometric ph = Photometric::Palette;
    if (table.size() == entries) {
        bool up = true, down = true;
        for (int i = 0; i < entries && (up || down); ++i) {
            const int v = i * 255 / (entries - 1);
            const QRgb c = table[i];
            const bool grey = qRed(c) == qGreen(c) && qGreen(c) == qBlue(c);
            up = up && grey && qRed(c) == v;
            down = down && grey && qRed(c) == 255 - v;
        }
        if (up)
            ph = Photometric::MinIsBlack;
        else if (down)
            ph = Photometric::MinIsWhite;
    }
    setHeader(out, img, quint16(bits), 1, 0, ph);
    if (ph == Photometric::Palette) {
        out->colormap.assign(size_t(3 * entries), 0);
        for (int i = 0; i < entries && i < table.size(); ++i) {
            out->colormap[size_t(i)] = quint16(qRed(table[i]) * 257);
            out->colormap[size_t(entries + i)] = quint16(qGreen(table[i]) * 257);
            out->colormap[size_t(2 * entries + i)] = quint16(qBlue(table[i]) * 257);
        }
    }

    const quint64 bpr = out->bytesPerRow();
    if (img.format() == QImage::Format_Mono || (bits == 8 && !mono)) {
        copyRows(img, out);
    } else if (img.format() == QImage::Format_MonoLSB) {
        for (int y = 0; y < img.height(); ++y) {
            const uchar *s = img.constScanLine(y);
            quint8 *d = out->pixels.data() + quint64(y) * bpr;
            for (quint64 i = 0; i < bpr; ++i)
                d[i] = reverseBits(s[i]);
        }
    } else {
        // Indexed8 packed down to 1, 2 or 4 bits, first pixel in the high bits.
        const int perByte = 8 / bits;
        for (int y = 0; y < img.height(); ++y) {
            const uchar *s = img.constScanLine(y);
            quint8 *d = out->pixels.data() + quint64(y) * bpr;
            std::memset(d, 0, size_t(bpr));
            for (int x = 0; x < img.width(); ++x)
                d[x / perByte] |= quint8(s[x] << (8 - bits * (x % perByte + 1)));
        }
    }
    clearTailBits(out);
    return true;
}

// An opaque GIF frame back in terms of its colour table; false if a colour
// is not in it (then the frame stays RGB).
bool gifIndexed(const QImage &img, const std::vector<QRgb> &palette, QImage *indexed)
{
    if (palette.empty())
        return false;
    std::unordered_map<QRgb, uchar> lookup;
    for (size_t i = palette.size(); i-- > 0;)
        lookup[palette[i] | 0xff000000u] = uchar(i);
    QImage result(img.size(), QImage::Format_Indexed8);
    if (result.isNull())
        return false;
    result.setColorTable(QList<QRgb>(palette.begin(), palette.end()));
    QRgb last = 0;
    uchar lastIndex = 0;
    bool haveLast = false;
    for (int y = 0; y < img.height(); ++y) {
        const auto *s = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        uchar *d = result.scanLine(y);
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = s[x] | 0xff000000u;
            if (!haveLast || c != last) {
                const auto it = lookup.find(c);
                if (it == lookup.end())
                    return false;
                last = c;
                lastIndex = it->second;
                haveLast = true;
            }
            d[x] = lastIndex;
        }
    }
    *indexed = std::move(result);
    return true;
}

bool greySourceInfo(const HeaderInfo &info)
{
    return info.format == FileFormat::Png && (info.pngColorType == 0 || info.pngColorType == 4);
}

bool fromArgb32(const QImage &img, const HeaderInfo &info, Page *out, QString *error)
{
    const bool hasAlpha = img.format() == QImage::Format_ARGB32;
    if (info.format == FileFormat::Gif) {
        bool opaque = true;
        for (int y = 0; hasAlpha && opaque && y < img.height(); ++y) {
            const auto *s = reinterpret_cast<const QRgb *>(img.constScanLine(y));
            for (int x = 0; x < img.width(); ++x)
                if (qAlpha(s[x]) != 255) {
                    opaque = false;
                    break;
                }
        }
        QImage indexed;
        if (opaque && gifIndexed(img, info.palette, &indexed))
            return fromIndexed(indexed, info, out, error);
    }
    const quint64 bpr = [&] {
        if (greySourceInfo(info) && hasAlpha)
            setHeader(out, img, 8, 2, 1, Photometric::MinIsBlack);
        else
            setHeader(out, img, 8, hasAlpha ? 4 : 3, hasAlpha ? 1 : 0, Photometric::RGB);
        return out->bytesPerRow();
    }();
    const int spp = out->samplesPerPixel;
    for (int y = 0; y < img.height(); ++y) {
        const auto *s = reinterpret_cast<const QRgb *>(img.constScanLine(y));
        quint8 *d = out->pixels.data() + quint64(y) * bpr;
        const int w = img.width();
        if (spp == 3) {
            for (int x = 0; x < w; ++x, d += 3) {
                const QRgb c = s[x];
                d[0] = quint8(qRed(c));
                d[1] = quint8(qGreen(c));
                d[2] = quint8(qBlue(c));
            }
        } else if (spp == 4) {
            for (int x = 0; x < w; ++x, d += 4) {
                const QRgb c = s[x];
                d[0] = quint8(qRed(c));
                d[1] = quint8(qGreen(c));
                d[2] = quint8(qBlue(c));
                d[3] = quint8(qAlpha(c));
            }
        } else {
            for (int x = 0; x < w; ++x, d += 2) {
                d[0] = quint8(qGreen(s[x]));
                d[1] = quint8(qAlpha(s[x]));
            }
        }
    }
    return true;
}

bool fromRgba64(const QImage &img, const HeaderInfo &info, Page *out)
{
    const bool hasAlpha = img.format() == QImage::Format_RGBA64;
    if (greySourceInfo(info) && hasAlpha)
        setHeader(out, img, 16, 2, 1, Photometric::MinIsBlack);
    else
        setHeader(out, img, 16, hasAlpha ? 4 : 3, hasAlpha ? 1 : 0, Photometric::RGB);
    const int spp = out->samplesPerPixel;
    const quint64 bpr = out->bytesPerRow();
    for (int y = 0; y < img.height(); ++y) {
        const auto *s = reinterpret_cast<const QRgba64 *>(img.constScanLine(y));
        auto *d = reinterpret_cast<quint16 *>(out->pixels.data() + quint64(y) * bpr);
        for (int x = 0; x < img.width(); ++x) {
            const QRgba64 c = s[x];
            if (spp == 2) {
                *d++ = c.green();
                *d++ = c.alpha();
                continue;
            }
            *d++ = c.red();
            *d++ = c.green();
            *d++ = c.blue();
            if (spp == 4)
                *d++ = c.alpha();
        }
    }
    return true;
}

bool greySourceInfo(const HeaderInfo &info);

// Qt formats whose rows can become page rows inside the same buffer (the page
// is never wider per pixel than Qt's form). Byte order matters for the
// 16-bit forms, so little-endian hosts only.
bool decodesInPlace(QImage::Format f, const HeaderInfo &info)
{
    if (QSysInfo::ByteOrder != QSysInfo::LittleEndian || info.format == FileFormat::Gif)
        return false;
    switch (f) {
    case QImage::Format_Grayscale8:
    case QImage::Format_Grayscale16:
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
        return true;
    default:
        return false;
    }
}

// Turns a buffer holding a tightly packed Qt image of format f into the
// page's pixels without a second buffer: samples are moved forward only.
void adoptInPlace(std::vector<quint8> &&buf, QImage::Format f, QSize size, const HeaderInfo &info, Page *out)
{
    const quint64 n = quint64(size.width()) * quint64(size.height());
    quint8 *p = buf.data();
    const bool grey = greySourceInfo(info);
    switch (f) {
    case QImage::Format_Grayscale8:
        setLayout(out, size, 8, 1, 0, Photometric::MinIsBlack);
        break;
    case QImage::Format_Grayscale16:
        setLayout(out, size, 16, 1, 0, Photometric::MinIsBlack);
        break;
    case QImage::Format_RGB32: // B G R x in memory
        setLayout(out, size, 8, 3, 0, Photometric::RGB);
        // Whole-word stores: the fourth byte lands on the next pixel's output
        // slot, never on a pixel not yet read.
        for (quint64 i = 0; i < n; ++i) {
            quint32 v;
            std::memcpy(&v, p + 4 * i, 4);
            v = qbswap(v) >> 8; // B G R x -> R G B 0
            std::memcpy(p + 3 * i, &v, 4);
        }
        break;
    case QImage::Format_ARGB32: // B G R A
        if (grey) {
            setLayout(out, size, 8, 2, 1, Photometric::MinIsBlack);
            for (quint64 i = 0; i < n; ++i) {
                const quint8 g = p[4 * i + 1], a = p[4 * i + 3];
                p[2 * i] = g;
                p[2 * i + 1] = a;
            }
        } else {
            setLayout(out, size, 8, 4, 1, Photometric::RGB);
            for (quint64 i = 0; i < n; ++i)
                std::swap(p[4 * i], p[4 * i + 2]);
        }
        break;
    case QImage::Format_RGBA64: // R G B A, 16-bit each
        if (grey) {
            setLayout(out, size, 16, 2, 1, Photometric::MinIsBlack);
            for (quint64 i = 0; i < n; ++i) {
                std::memmove(p + 4 * i, p + 8 * i + 2, 2);
                std::memmove(p + 4 * i + 2, p + 8 * i + 6, 2);
            }
        } else {
            setLayout(out, size, 16, 4, 1, Photometric::RGB);
        }
        break;
    case QImage::Format_RGBX64:
        setLayout(out, size, 16, 3, 0, Photometric::RGB);
        for (quint64 i = 0; i < n; ++i)
            std::memmove(p + 6 * i, p + 8 * i, 6);
        break;
    default:
        break;
    }
    out->pixels = std::move(buf);
    out->pixels.resize(size_t(out->byteCount()));
}

// Qt's limit is process-wide, so it is set once, to what the largest page we
// accept may need in Qt's own wider form (RGB32 for RGB, RGBA64 for 16-bit
// RGB). Every image is checked against kMaxDecodedPageBytes from its header
// before Qt sees it; Qt's limit is the backstop for headers that lie.
void raiseQtAllocationLimit()
{
    static const bool once = [] {
        constexpr quint64 mb = (2 * kMaxDecodedPageBytes) >> 20;
        if (QImageReader::allocationLimit() < int(mb))
            QImageReader::setAllocationLimit(int(mb));
        return true;
    }();
    Q_UNUSED(once);
}

Decoded decodeDirect(const FileBytes &file, const HeaderInfo &info, const ReadOptions &options, Page *out,
                     QString *error, QString *warning)
{
    switch (info.format) {
    case FileFormat::Jpeg: return decodeJpeg(file.data(), file.size(), info, options, out, error, warning);
    case FileFormat::Png: return decodePng(file.data(), file.size(), info, out, error);
    case FileFormat::Gif: return decodeGif(file.data(), file.size(), info, out, error);
    case FileFormat::Bmp: return decodeBmp(file.data(), file.size(), info, out, error);
    default: return Decoded::Declined;
    }
}

class QtImageSource final : public SinglePageSource {
public:
    QtImageSource(const QString &path, const HeaderInfo &info, quint64 pageBytes)
        : SinglePageSource(path, pageBytes), m_path(path), m_info(info)
    {
    }

protected:
    bool decode(const FileBytes &file, Page *out, QString *error) override
    {
        QString warning;
        switch (decodeDirect(file, m_info, m_readOptions, out, error, &warning)) {
        case Decoded::Failed:
            return false;
        case Decoded::Declined:
            if (!readWithQt(out, error))
                return false;
            break;
        case Decoded::Ok:
            break;
        }
        out->xResolution = m_info.xResolution;
        out->yResolution = m_info.yResolution;
        out->resolutionUnit = m_info.resolutionUnit;
        if (m_readOptions.keepMetadata) {
            if (m_info.format == FileFormat::Jpeg)
                readJpegMetadata(file.data(), file.size(), out);
            else if (m_info.format == FileFormat::Png)
                readPngMetadata(file.data(), file.size(), out);
        }
        if (!warning.isEmpty())
            logWarning(QStringLiteral("Warning in (readPage) : %1: %2; converted all the same").arg(m_path, warning));
        if (m_info.missingEnd)
            logWarning(QStringLiteral("Warning in (readPage) : %1 ends without its %2; its image data is complete")
                           .arg(m_path, QLatin1String(m_info.format == FileFormat::Jpeg ? "EOI marker" : "IEND chunk")));
        return true;
    }

private:
    bool readWithQt(Page *out, QString *error)
    {
        raiseQtAllocationLimit();
        QImageReader reader(m_path, qtFormatName(m_info.format));
        reader.setAutoTransform(true);
        const QSize qtSize = reader.size();
        // Some Qt readers hand back an uninitialised format for a damaged header;
        // take it as a number and keep only what names a real format.
        const int rawFormat = int(reader.imageFormat());
        const QImage::Format qtFormat = qtSize.isValid() && rawFormat > int(QImage::Format_Invalid)
                && rawFormat < int(QImage::NImageFormats)
            ? QImage::Format(rawFormat)
            : QImage::Format_Invalid;
        const int qtBits = qtFormat == QImage::Format_Invalid ? 64 : QImage::toPixelFormat(qtFormat).bitsPerPixel();
        if (rowsBytes(m_info.width, m_info.height, std::max(qtBits, 8)) > 2 * kMaxDecodedPageBytes) {
            *error = QStringLiteral("image is too large to decode (%1 x %2 pixels)").arg(m_info.width).arg(m_info.height);
            return false;
        }
        // Where the layouts allow, Qt decodes straight into the buffer that
        // becomes the page: no second full-size image and no copy.
        std::vector<quint8> buffer;
        QImage img;
        qsizetype stride = 0;
        if (decodesInPlace(qtFormat, m_info) && qtSize.isValid()) {
            stride = qsizetype(qtSize.width()) * (QImage::toPixelFormat(qtFormat).bitsPerPixel() / 8);
            buffer.resize(size_t(stride) * size_t(qtSize.height()));
            img = QImage(buffer.data(), qtSize.width(), qtSize.height(), stride, qtFormat);
        }
        if (!reader.read(&img) || img.isNull()) {
            *error = QStringLiteral("cannot decode image: %1").arg(reader.errorString());
            return false;
        }
        const QByteArray icc = m_info.embeddedIcc ? img.colorSpace().iccProfile() : QByteArray();
        const bool inPlace = !buffer.empty() && img.constBits() == buffer.data() && img.format() == qtFormat
            && img.size() == qtSize && img.bytesPerLine() == stride;
        if (inPlace) {
            img = QImage();
            adoptInPlace(std::move(buffer), qtFormat, qtSize, m_info, out);
        } else {
            std::vector<quint8>().swap(buffer);
            if (img.colorCount() == 0 && img.format() == QImage::Format_Indexed8)
                img.convertTo(QImage::Format_ARGB32);
            if (!pageFromImage(img, m_info, out, error))
                return false;
        }
        out->iccProfile = icc;
        return true;
    }

    QString m_path;
    HeaderInfo m_info;
};

} // namespace

bool pageFromImage(const QImage &image, const HeaderInfo &info, Page *out, QString *error)
{
    QImage img = image;
    switch (img.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8:
        return fromIndexed(img, info, out, error);
    case QImage::Format_Grayscale8:
        setHeader(out, img, 8, 1, 0, Photometric::MinIsBlack);
        copyRows(img, out);
        return true;
    case QImage::Format_Grayscale16:
        setHeader(out, img, 16, 1, 0, Photometric::MinIsBlack);
        copyRows(img, out);
        return true;
    case QImage::Format_RGB888:
        setHeader(out, img, 8, 3, 0, Photometric::RGB);
        copyRows(img, out);
        return true;
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
        return fromArgb32(img, info, out, error);
    case QImage::Format_RGBX64:
    case QImage::Format_RGBA64:
        return fromRgba64(img, info, out);
    case QImage::Format_RGBA64_Premultiplied:
        img.convertTo(QImage::Format_RGBA64);
        return fromRgba64(img, info, out);
    default:
        if (img.depth() > 32) {
            img.convertTo(img.hasAlphaChannel() ? QImage::Format_RGBA64 : QImage::Format_RGBX64);
            return fromRgba64(img, info, out);
        }
        img.convertTo(img.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        if (img.isNull()) {
            *error = QStringLiteral("cannot convert the decoded image");
            return false;
        }
        return fromArgb32(img, info, out, error);
    }
}

std::unique_ptr<ImageSource> openQtSource(const QString &path, FileFormat format, QString *error)
{
    HeaderInfo info;
    if (!readHeader(path, format, &info, error))
        return nullptr;
    if (!info.width || !info.height) {
        // A GIF whose logical screen is 0 x 0: its canvas is what Qt's reader
        // makes of the first frame.
        const QSize size = QImageReader(path, qtFormatName(format)).size();
        if (size.isValid() && !size.isEmpty()) {
            info.width = std::max(info.width, quint32(size.width()));
            info.height = std::max(info.height, quint32(size.height()));
        }
    }
    if (!info.width || !info.height) {
        *error = QStringLiteral("image without a size");
        return nullptr;
    }
    const quint64 pageBytes = rowsBytes(info.width, info.height, pageBitsPerPixel(info));
    if (pageBytes > kMaxDecodedPageBytes || info.width > quint32(INT_MAX / 8) || info.height > quint32(INT_MAX / 8)) {
        *error = QStringLiteral("image is too large to decode (%1 x %2 pixels)").arg(info.width).arg(info.height);
        return nullptr;
    }
    return std::make_unique<QtImageSource>(path, info, pageBytes);
}

} // namespace quillon::image::detail
