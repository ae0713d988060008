#include "common/ImageFactory.h"

#include "core/image/ImageSource.h"

#include <QBuffer>
#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QtEndian>

#include <tiffio.h>

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>

namespace quillon::testing {

namespace {

bool fail(QString *why, const QString &text)
{
    if (why)
        *why = text;
    return false;
}

quint32 noise(quint32 x, quint32 y, int seed)
{
    quint32 h = x * 0x9E3779B1u ^ (y + 0x7F4A7C15u) * 0x85EBCA77u ^ quint32(seed + 1) * 0xC2B2AE3Du;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    return h;
}

void setSampleImpl(Page &p, quint32 x, quint32 y, int s, quint32 v)
{
    const quint64 index = quint64(x) * p.samplesPerPixel + quint64(s);
    quint8 *row = p.pixels.data() + quint64(y) * p.bytesPerRow();
    switch (p.bitsPerSample) {
    case 8:
        row[index] = quint8(v);
        break;
    case 16: {
        const quint16 w = quint16(v);
        std::memcpy(row + 2 * index, &w, 2);
        break;
    }
    default: {
        const int bits = p.bitsPerSample;
        const quint64 bit = index * quint64(bits);
        const int shift = 8 - bits - int(bit % 8);
        const quint8 mask = quint8(((1u << bits) - 1) << shift);
        row[bit / 8] = quint8((row[bit / 8] & ~mask) | ((v << shift) & mask));
    }
    }
}

Page blankImpl(quint32 w, quint32 h, quint16 bits, quint16 spp, quint16 extra, Photometric ph)
{
    Page p;
    p.width = w;
    p.height = h;
    p.bitsPerSample = bits;
    p.samplesPerPixel = spp;
    p.extraSamples = extra;
    p.photometric = ph;
    p.pixels.assign(size_t(p.byteCount()), 0);
    return p;
}

// ---- small binary helpers ----

void putBe32(QByteArray &b, quint32 v)
{
    char c[4];
    qToBigEndian(v, c);
    b.append(c, 4);
}
void putLe16(QByteArray &b, quint16 v)
{
    char c[2];
    qToLittleEndian(v, c);
    b.append(c, 2);
}
void putLe32(QByteArray &b, quint32 v)
{
    char c[4];
    qToLittleEndian(v, c);
    b.append(c, 4);
}

} // namespace

quint32 crc32(const QByteArray &data)
{
    static const auto table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k)
                c = (c & 1) ? 0xedb88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 c = 0xffffffffu;
    for (char ch : data)
        c = table[(c ^ quint8(ch)) & 0xff] ^ (c >> 8);
    return c ^ 0xffffffffu;
}

namespace {

void pngChunk(QByteArray &out, const char *type, const QByteArray &data)
{
    putBe32(out, quint32(data.size()));
    QByteArray body(type, 4);
    body += data;
    out += body;
    putBe32(out, crc32(body));
}

QByteArray zlib(const QByteArray &raw)
{
    return qCompress(raw, 6).mid(4); // qCompress prefixes the length
}

quint32 ppmFromDpi(float dpi)
{
    return quint32(std::lround(dpi / 0.0254));
}

} // namespace

Page makePage(PageKind kind, quint32 w, quint32 h, int seed)
{
    Page p;
    switch (kind) {
    case PageKind::BilevelMinIsWhite:
    case PageKind::BilevelMinIsBlack:
        p = blankImpl(w, h, 1, 1, 0, kind == PageKind::BilevelMinIsWhite ? Photometric::MinIsWhite : Photometric::MinIsBlack);
        for (quint32 y = 0; y < h; ++y)
            for (quint32 x = 0; x < w; ++x)
                setSampleImpl(p, x, y, 0, ((x / 3 + y / 5 + quint32(seed)) % 4 == 0 || noise(x, y, seed) % 7 == 0) ? 1 : 0);
        return p;
    case PageKind::Grey2:
    case PageKind::Grey4:
    case PageKind::Grey8:
    case PageKind::Grey8MinIsWhite:
    case PageKind::Grey16: {
        const quint16 bits = kind == PageKind::Grey2 ? 2 : kind == PageKind::Grey4 ? 4 : kind == PageKind::Grey16 ? 16 : 8;
        p = blankImpl(w, h, bits, 1, 0, kind == PageKind::Grey8MinIsWhite ? Photometric::MinIsWhite : Photometric::MinIsBlack);
        const quint32 maxv = (1u << bits) - 1;
        for (quint32 y = 0; y < h; ++y)
            for (quint32 x = 0; x < w; ++x)
                setSampleImpl(p, x, y, 0, (quint64(x) * maxv / w + y * 3 + noise(x, y, seed) % 5 + quint32(seed) * 13) % (maxv + 1));
        return p;
    }
    case PageKind::GreyAlpha8:
    case PageKind::GreyAlpha16: {
        const quint16 bits = kind == PageKind::GreyAlpha16 ? 16 : 8;
        p = blankImpl(w, h, bits, 2, 1, Photometric::MinIsBlack);
        const quint32 maxv = (1u << bits) - 1;
        for (quint32 y = 0; y < h; ++y)
            for (quint32 x = 0; x < w; ++x) {
                setSampleImpl(p, x, y, 0, (quint64(x) * maxv / w + noise(x, y, seed) % 97) % (maxv + 1));
                setSampleImpl(p, x, y, 1, quint32(quint64(y) * maxv / std::max(1u, h - 1)));
            }
        return p;
    }
    case PageKind::Palette1:
    case PageKind::Palette2:
    case PageKind::Palette4:
    case PageKind::Palette8: {
        const quint16 bits = kind == PageKind::Palette1 ? 1 : kind == PageKind::Palette2 ? 2 : kind == PageKind::Palette4 ? 4 : 8;
        p = blankImpl(w, h, bits, 1, 0, Photometric::Palette);
        const quint32 n = 1u << bits;
        p.colormap.resize(3 * n);
        for (quint32 i = 0; i < n; ++i) {
            p.colormap[i] = quint16(((i * 37 + quint32(seed) * 11 + 50) % 256) * 257);
            p.colormap[n + i] = quint16(((i * 91 + 7) % 256) * 257);
            p.colormap[2 * n + i] = quint16((255 - i) * 257);
        }
        for (quint32 y = 0; y < h; ++y)
            for (quint32 x = 0; x < w; ++x)
                setSampleImpl(p, x, y, 0, (x + y * 3 + quint32(seed) + noise(x, y, seed) % 3) % n);
        return p;
    }
    case PageKind::Rgb8:
    case PageKind::Rgba8:
    case PageKind::RgbaAssociated8:
    case PageKind::Rgb16:
    case PageKind::Rgba16: {
        const bool alpha = kind != PageKind::Rgb8 && kind != PageKind::Rgb16;
        const quint16 bits = (kind == PageKind::Rgb16 || kind == PageKind::Rgba16) ? 16 : 8;
        p = blankImpl(w, h, bits, alpha ? 4 : 3, alpha ? 1 : 0, Photometric::RGB);
        p.alphaAssociated = kind == PageKind::RgbaAssociated8;
        const quint32 maxv = (1u << bits) - 1;
        for (quint32 y = 0; y < h; ++y)
            for (quint32 x = 0; x < w; ++x) {
                const quint32 nz = noise(x, y, seed);
                quint32 c[4] = {quint32(quint64(x) * maxv / w), quint32(quint64(y) * maxv / h), nz % (maxv + 1),
                                quint32((quint64(x) + y) * maxv / (w + h))};
                if (x % 9 == 0)
                    c[3] = 0;
                if (p.alphaAssociated)
                    for (int s = 0; s < 3; ++s)
                        c[s] = quint32(quint64(c[s]) * c[3] / maxv);
                for (int s = 0; s < p.samplesPerPixel; ++s)
                    setSampleImpl(p, x, y, s, c[s]);
            }
        return p;
    }
    case PageKind::Cmyk8:
    case PageKind::Cmyk16: {
        const quint16 bits = kind == PageKind::Cmyk16 ? 16 : 8;
        p = blankImpl(w, h, bits, 4, 0, Photometric::Separated);
        const quint32 maxv = (1u << bits) - 1;
        for (quint32 y = 0; y < h; ++y)
            for (quint32 x = 0; x < w; ++x)
                for (int s = 0; s < 4; ++s)
                    setSampleImpl(p, x, y, s, (noise(x, y, seed + s) + quint32(s) * x) % (maxv + 1));
        return p;
    }
    }
    return p;
}

Page makeDocumentPage(quint32 w, quint32 h, bool transparentBorder)
{
    Page p = blankImpl(w, h, 8, transparentBorder ? 4 : 3, transparentBorder ? 1 : 0, Photometric::RGB);
    const int spp = p.samplesPerPixel;
    const quint32 border = transparentBorder ? std::max(2u, w / 10) : 0;
    for (quint32 y = 0; y < h; ++y)
        for (quint32 x = 0; x < w; ++x) {
            const bool edge = x < border || y < border || x >= w - border || y >= h - border;
            // "Lines of text": short dark strokes on every 8th band.
            const bool ink = !edge && (y % 8) < 3 && (x % 6) < 4;
            const quint32 v = edge ? 0 : ink ? 20 : 250; // the transparent frame is black underneath
            for (int s = 0; s < 3; ++s)
                setSampleImpl(p, x, y, s, v);
            if (spp == 4)
                setSampleImpl(p, x, y, 3, edge ? 0 : 255);
        }
    return p;
}

void setSampleAt(Page &page, quint32 x, quint32 y, int s, quint32 value)
{
    setSampleImpl(page, x, y, s, value);
}

Page blankPage(quint32 w, quint32 h, quint16 bits, quint16 spp, quint16 extra, Photometric ph)
{
    return blankImpl(w, h, bits, spp, extra, ph);
}

QByteArray iccProfile()
{
    return QColorSpace(QColorSpace::SRgb).iccProfile();
}

quint32 sampleAt(const Page &p, quint32 x, quint32 y, int s)
{
    const quint64 index = quint64(x) * p.samplesPerPixel + quint64(s);
    const quint8 *row = p.pixels.data() + quint64(y) * p.bytesPerRow();
    switch (p.bitsPerSample) {
    case 8: return row[index];
    case 16: {
        quint16 v;
        std::memcpy(&v, row + 2 * index, 2);
        return v;
    }
    default: {
        const int bits = p.bitsPerSample;
        const quint64 bit = index * quint64(bits);
        return (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
    }
    }
}

// ---------------------------------------------------------------- TIFF

namespace {

struct TiffClose {
    void operator()(TIFF *t) const { TIFFClose(t); }
};

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

// Subsampled (2x2) YCbCr data units of an RGB page, rows [y0, y0 + rows).
std::vector<quint8> ycbcrUnits(const Page &p, quint32 y0, quint32 rows)
{
    std::vector<quint8> out;
    auto at = [&](quint32 x, quint32 y, int s) {
        return double(sampleAt(p, std::min(x, p.width - 1), std::min(y, p.height - 1), s));
    };
    for (quint32 by = y0; by < y0 + rows; by += 2)
        for (quint32 bx = 0; bx < p.width; bx += 2) {
            double cb = 0, cr = 0;
            for (int k = 0; k < 4; ++k) {
                const quint32 x = bx + quint32(k % 2), y = by + quint32(k / 2);
                const double r = at(x, y, 0), g = at(x, y, 1), b = at(x, y, 2);
                out.push_back(quint8(std::clamp(std::lround(0.299 * r + 0.587 * g + 0.114 * b), 0l, 255l)));
                cb += 128 - 0.168736 * r - 0.331264 * g + 0.5 * b;
                cr += 128 + 0.5 * r - 0.418688 * g - 0.081312 * b;
            }
            out.push_back(quint8(std::clamp(std::lround(cb / 4), 0l, 255l)));
            out.push_back(quint8(std::clamp(std::lround(cr / 4), 0l, 255l)));
        }
    return out;
}

bool writeTiffPage(TIFF *t, const Page &p, const TiffOptions &o, QString *why)
{
    const bool ycbcr = o.ycbcr && p.photometric == Photometric::RGB && p.samplesPerPixel == 3 && p.bitsPerSample == 8;
    const bool planar = o.planar && p.samplesPerPixel > 1;
    bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, p.width) && TIFFSetField(t, TIFFTAG_IMAGELENGTH, p.height)
        && TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, p.bitsPerSample)
        && TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, p.samplesPerPixel)
        && TIFFSetField(t, TIFFTAG_PLANARCONFIG, planar ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG)
        && TIFFSetField(t, TIFFTAG_COMPRESSION, o.compression);
    if (ok && ycbcr) {
        ok = TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_YCBCR) && TIFFSetField(t, TIFFTAG_YCBCRSUBSAMPLING, 2, 2);
        if (ok && o.compression == COMPRESSION_JPEG)
            ok = TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB) && TIFFSetField(t, TIFFTAG_JPEGQUALITY, 90);
    } else if (ok) {
        ok = TIFFSetField(t, TIFFTAG_PHOTOMETRIC, photometricTag(p.photometric));
    }
    if (ok && p.extraSamples) {
        const quint16 type = p.alphaAssociated ? EXTRASAMPLE_ASSOCALPHA : EXTRASAMPLE_UNASSALPHA;
        ok = TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &type);
    }
    if (ok && p.photometric == Photometric::Palette) {
        auto *m = const_cast<quint16 *>(p.colormap.data());
        const size_t n = size_t(1) << p.bitsPerSample;
        ok = TIFFSetField(t, TIFFTAG_COLORMAP, m, m + n, m + 2 * n);
    }
    if (ok && (o.compression == COMPRESSION_LZW || o.compression == COMPRESSION_ADOBE_DEFLATE)
        && (p.bitsPerSample == 8 || p.bitsPerSample == 16) && p.photometric != Photometric::Palette)
        ok = TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (ok && p.xResolution > 0)
        ok = TIFFSetField(t, TIFFTAG_XRESOLUTION, p.xResolution) && TIFFSetField(t, TIFFTAG_YRESOLUTION, p.yResolution)
            && TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, p.resolutionUnit);
    if (ok && !p.iccProfile.isEmpty())
        ok = TIFFSetField(t, TIFFTAG_ICCPROFILE, quint32(p.iccProfile.size()), p.iccProfile.constData());
    if (ok && p.orientation != 1)
        ok = TIFFSetField(t, TIFFTAG_ORIENTATION, p.orientation);
    const quint32 rps = (ycbcr ? 16 : o.rowsPerStrip);
    if (ok && o.tiled)
        ok = TIFFSetField(t, TIFFTAG_TILEWIDTH, 16) && TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
    else if (ok)
        ok = TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, rps);
    if (!ok)
        return fail(why, QStringLiteral("cannot set TIFF tags"));

    const int planes = planar ? p.samplesPerPixel : 1;
    const int bs = p.bitsPerSample / 8;
    // Bytes of one plane's row (all samples when contiguous).
    const quint64 planeRow = planar ? quint64(p.width) * bs : p.bytesPerRow();
    auto fillRow = [&](quint8 *dst, quint32 x0, quint32 y, quint32 cols, int s) {
        if (!planar) {
            const quint64 bits = quint64(p.samplesPerPixel) * p.bitsPerSample;
            std::memcpy(dst, p.pixels.data() + quint64(y) * p.bytesPerRow() + x0 * bits / 8, size_t((cols * bits + 7) / 8));
            return;
        }
        for (quint32 x = 0; x < cols; ++x) {
            const quint32 v = sampleAt(p, x0 + x, y, s);
            if (bs == 1)
                dst[x] = quint8(v);
            else {
                const quint16 w = quint16(v);
                std::memcpy(dst + 2 * x, &w, 2);
            }
        }
    };

    if (ycbcr && o.compression != COMPRESSION_JPEG) {
        const quint32 strips = (p.height + rps - 1) / rps;
        for (quint32 k = 0; k < strips; ++k) {
            const quint32 rows = std::min(rps, p.height - k * rps);
            std::vector<quint8> units = ycbcrUnits(p, k * rps, rows);
            if (TIFFWriteEncodedStrip(t, k, units.data(), tmsize_t(units.size())) < 0)
                return fail(why, QStringLiteral("cannot write YCbCr strip"));
        }
    } else if (o.tiled) {
        std::vector<quint8> tile(size_t(TIFFTileSize64(t)));
        const quint64 tileRow = quint64(TIFFTileRowSize64(t));
        for (int s = 0; s < planes; ++s)
            for (quint32 y = 0; y < p.height; y += 16)
                for (quint32 x = 0; x < p.width; x += 16) {
                    std::fill(tile.begin(), tile.end(), 0);
                    for (quint32 r = 0; r < 16 && y + r < p.height; ++r)
                        fillRow(tile.data() + r * tileRow, x, y + r, std::min(16u, p.width - x), s);
                    if (TIFFWriteEncodedTile(t, TIFFComputeTile(t, x, y, 0, quint16(s)), tile.data(), tmsize_t(tile.size())) < 0)
                        return fail(why, QStringLiteral("cannot write tile"));
                }
    } else {
        const quint32 strips = (p.height + rps - 1) / rps;
        std::vector<quint8> buf(size_t(planeRow * rps));
        for (int s = 0; s < planes; ++s)
            for (quint32 k = 0; k < strips; ++k) {
                const quint32 rows = std::min(rps, p.height - k * rps);
                for (quint32 r = 0; r < rows; ++r)
                    fillRow(buf.data() + r * planeRow, 0, k * rps + r, p.width, s);
                if (TIFFWriteEncodedStrip(t, quint32(s) * strips + k, buf.data(), tmsize_t(rows * planeRow)) < 0)
                    return fail(why, QStringLiteral("cannot write strip"));
            }
    }
    if (!TIFFWriteDirectory(t))
        return fail(why, QStringLiteral("cannot write directory"));
    return true;
}

} // namespace

bool writeTiff(const QString &path, const std::vector<Page> &pages, const TiffOptions &o, QString *why)
{
    std::unique_ptr<TIFF, TiffClose> t(TIFFOpen(QFile::encodeName(path).constData(), o.bigTiff ? "w8" : "w"));
    if (!t)
        return fail(why, QStringLiteral("cannot create %1").arg(path));
    for (const Page &p : pages)
        if (!writeTiffPage(t.get(), p, o, why))
            return false;
    return true;
}

bool writeRawTiff(const QString &path, quint32 w, quint32 h, quint16 bps, quint16 spp, int photometric,
                  quint16 sampleFormat, const QByteArray &rows, QString *why)
{
    std::unique_ptr<TIFF, TiffClose> t(TIFFOpen(QFile::encodeName(path).constData(), "w"));
    if (!t)
        return fail(why, QStringLiteral("cannot create %1").arg(path));
    TIFF *tif = t.get();
    bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w) && TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h)
        && TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, bps) && TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, spp)
        && TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, sampleFormat) && TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h)
        && TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    if (ok && photometric >= 0)
        ok = TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, quint16(photometric));
    ok = ok && TIFFWriteEncodedStrip(tif, 0, const_cast<char *>(rows.constData()), rows.size()) == rows.size()
        && TIFFWriteDirectory(tif);
    return ok || fail(why, QStringLiteral("cannot write %1").arg(path));
}

bool writeTiff(const QString &path, PageKind kind, int count, const TiffOptions &o, quint32 w, quint32 h, QString *why)
{
    std::vector<Page> pages;
    for (int i = 0; i < count; ++i)
        pages.push_back(makePage(kind, w, h, i));
    return writeTiff(path, pages, o, why);
}

// ---------------------------------------------------------------- PNG

namespace {

// PNG's row filters over a row `cur` after `prior` (null for the first row).
void filterRow(QByteArray &out, int filter, const uchar *cur, const uchar *prior, size_t n, size_t bpp)
{
    out.append(char(filter));
    for (size_t i = 0; i < n; ++i) {
        const int a = i >= bpp ? cur[i - bpp] : 0, b = prior ? prior[i] : 0, c = prior && i >= bpp ? prior[i - bpp] : 0;
        int predicted = 0;
        switch (filter) {
        case 1: predicted = a; break;
        case 2: predicted = b; break;
        case 3: predicted = (a + b) / 2; break;
        case 4: {
            const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
            predicted = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            break;
        }
        default: break;
        }
        out.append(char(uchar(cur[i] - predicted)));
    }
}

bool writePngCoded(const QString &path, const Page &p, const std::vector<quint8> &paletteAlpha, const PngCoding &coding,
                   QString *why)
{
    int colorType;
    const int colours = p.samplesPerPixel - p.extraSamples;
    if (p.photometric == Photometric::MinIsBlack && colours == 1)
        colorType = p.extraSamples ? 4 : 0;
    else if (p.photometric == Photometric::Palette)
        colorType = 3;
    else if (p.photometric == Photometric::RGB && colours == 3)
        colorType = p.extraSamples ? 6 : 2;
    else
        return fail(why, QStringLiteral("PNG cannot store this page"));
    if (p.alphaAssociated)
        return fail(why, QStringLiteral("PNG has no premultiplied alpha"));

    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray ihdr;
    putBe32(ihdr, p.width);
    putBe32(ihdr, p.height);
    ihdr.append(char(p.bitsPerSample)).append(char(colorType)).append('\0').append('\0').append('\0');
    pngChunk(png, "IHDR", ihdr);
    if (!p.iccProfile.isEmpty())
        pngChunk(png, "iCCP", QByteArray("profile\0\0", 9) + zlib(p.iccProfile));
    if (p.xResolution > 0) {
        QByteArray phys;
        putBe32(phys, ppmFromDpi(p.xResolution));
        putBe32(phys, ppmFromDpi(p.yResolution));
        phys.append('\1');
        pngChunk(png, "pHYs", phys);
    }
    if (colorType == 3) {
        const size_t n = size_t(1) << p.bitsPerSample;
        QByteArray plte;
        for (size_t i = 0; i < n; ++i)
            plte.append(char(p.colormap[i] >> 8)).append(char(p.colormap[n + i] >> 8)).append(char(p.colormap[2 * n + i] >> 8));
        pngChunk(png, "PLTE", plte);
        if (!paletteAlpha.empty())
            pngChunk(png, "tRNS", QByteArray(reinterpret_cast<const char *>(paletteAlpha.data()), qsizetype(paletteAlpha.size())));
    }
    QByteArray raw;
    const quint64 bpr = p.bytesPerRow();
    const size_t bpp = std::max<size_t>(1, size_t(p.bitsPerSample) * p.samplesPerPixel / 8);
    QByteArray stored, prior;
    for (quint32 y = 0; y + quint32(coding.rowsLeftOut) < p.height; ++y) {
        const auto *row = reinterpret_cast<const char *>(p.pixels.data() + y * bpr);
        stored.clear();
        if (p.bitsPerSample == 16) {
            for (quint64 i = 0; i < bpr; i += 2) {
                quint16 v;
                std::memcpy(&v, row + i, 2);
                stored.append(char(v >> 8)).append(char(v & 0xff));
            }
        } else {
            stored.append(row, qsizetype(bpr));
        }
        const int filter = coding.filter == 5 ? int(y % 5) : coding.filter;
        const qsizetype at = raw.size();
        filterRow(raw, filter, reinterpret_cast<const uchar *>(stored.constData()),
                  y ? reinterpret_cast<const uchar *>(prior.constData()) : nullptr, size_t(bpr), bpp);
        if (int(y) == coding.badFilterRow)
            raw[at] = char(5);
        prior = stored;
    }
    QByteArray stream = zlib(raw);
    if (coding.badAdler)
        stream[stream.size() - 1] = char(stream.at(stream.size() - 1) ^ 0x55);
    stream += coding.afterStream;
    const int parts = std::max(1, coding.idatChunks);
    for (int i = 0; i < parts; ++i) {
        const qsizetype from = stream.size() * i / parts, to = stream.size() * (i + 1) / parts;
        const qsizetype crcAt = png.size() + 8 + (to - from);
        pngChunk(png, "IDAT", stream.mid(from, to - from));
        if (coding.badCrc && i == parts - 1)
            png[crcAt] = char(png.at(crcAt) ^ 1);
    }
    pngChunk(png, "IEND", QByteArray());
    return writeBytes(path, png) || fail(why, QStringLiteral("cannot write %1").arg(path));
}

} // namespace

bool writePng(const QString &path, const Page &p, const std::vector<quint8> &paletteAlpha, QString *why)
{
    return writePngCoded(path, p, paletteAlpha, PngCoding(), why);
}

bool writePng(const QString &path, const Page &p, const PngCoding &coding, QString *why)
{
    return writePngCoded(path, p, {}, coding, why);
}

// ---------------------------------------------------------------- BMP

bool writeBmp(const QString &path, const Page &p, QString *why, bool topDown)
{
    const bool palette = p.photometric == Photometric::Palette && (p.bitsPerSample == 1 || p.bitsPerSample == 4 || p.bitsPerSample == 8);
    const bool grey = p.photometric == Photometric::MinIsBlack && p.samplesPerPixel == 1 && (p.bitsPerSample == 1 || p.bitsPerSample == 8);
    const bool rgb = p.photometric == Photometric::RGB && p.bitsPerSample == 8 && !p.alphaAssociated;
    if (!palette && !grey && !rgb)
        return fail(why, QStringLiteral("BMP cannot store this page"));
    const int bpp = rgb ? (p.extraSamples ? 32 : 24) : p.bitsPerSample;
    const bool v4 = bpp == 32;
    const quint32 dib = v4 ? 108 : 40;
    const int entries = bpp <= 8 ? 1 << bpp : 0;
    const quint32 rowBytes = (p.width * quint32(bpp) + 31) / 32 * 4;
    const quint32 offset = 14 + dib + quint32(entries) * 4;

    QByteArray b("BM");
    putLe32(b, offset + rowBytes * p.height);
    putLe32(b, 0);
    putLe32(b, offset);
    putLe32(b, dib);
    putLe32(b, p.width);
    putLe32(b, topDown ? quint32(-qint32(p.height)) : p.height);
    putLe16(b, 1);
    putLe16(b, quint16(bpp));
    putLe32(b, v4 ? 3 : 0); // BI_BITFIELDS for the alpha variant
    putLe32(b, rowBytes * p.height);
    putLe32(b, p.xResolution > 0 ? ppmFromDpi(p.xResolution) : 0);
    putLe32(b, p.yResolution > 0 ? ppmFromDpi(p.yResolution) : 0);
    putLe32(b, quint32(entries));
    putLe32(b, 0);
    if (v4) {
        putLe32(b, 0x00ff0000u);
        putLe32(b, 0x0000ff00u);
        putLe32(b, 0x000000ffu);
        putLe32(b, 0xff000000u);
        putLe32(b, 0x73524742u); // 'sRGB'
        b.append(QByteArray(36 + 12, '\0'));
    }
    for (int i = 0; i < entries; ++i) {
        quint8 r, g, bl;
        if (palette) {
            r = quint8(p.colormap[size_t(i)] >> 8);
            g = quint8(p.colormap[size_t(entries + i)] >> 8);
            bl = quint8(p.colormap[size_t(2 * entries + i)] >> 8);
        } else {
            r = g = bl = quint8(i * 255 / (entries - 1));
        }
        b.append(char(bl)).append(char(g)).append(char(r)).append('\0');
    }
    for (quint32 k = 0; k < p.height; ++k) {
        const quint32 y = topDown ? k : p.height - 1 - k;
        QByteArray row;
        if (bpp <= 8) {
            row = QByteArray(reinterpret_cast<const char *>(p.pixels.data() + y * p.bytesPerRow()), qsizetype(p.bytesPerRow()));
        } else {
            for (quint32 x = 0; x < p.width; ++x) {
                row.append(char(sampleAt(p, x, y, 2))).append(char(sampleAt(p, x, y, 1))).append(char(sampleAt(p, x, y, 0)));
                if (bpp == 32)
                    row.append(char(sampleAt(p, x, y, 3)));
            }
        }
        row.resize(rowBytes, '\0');
        b += row;
    }
    return writeBytes(path, b) || fail(why, QStringLiteral("cannot write %1").arg(path));
}

bool writeBmp16(const QString &path, quint32 w, quint32 h, const std::vector<quint16> &pixels, bool rgb565, QString *why)
{
    if (pixels.size() != size_t(w) * h)
        return fail(why, QStringLiteral("pixel count does not match the size"));
    const quint32 rowBytes = (w * 16 + 31) / 32 * 4;
    const quint32 offset = 14 + 40 + (rgb565 ? 12 : 0);
    QByteArray b("BM");
    putLe32(b, offset + rowBytes * h);
    putLe32(b, 0);
    putLe32(b, offset);
    putLe32(b, 40);
    putLe32(b, w);
    putLe32(b, h); // bottom-up
    putLe16(b, 1);
    putLe16(b, 16);
    putLe32(b, rgb565 ? 3 : 0);
    putLe32(b, rowBytes * h);
    putLe32(b, 0);
    putLe32(b, 0);
    putLe32(b, 0);
    putLe32(b, 0);
    if (rgb565) {
        putLe32(b, 0xf800);
        putLe32(b, 0x07e0);
        putLe32(b, 0x001f);
    }
    for (quint32 k = 0; k < h; ++k) {
        QByteArray row;
        for (quint32 x = 0; x < w; ++x)
            putLe16(row, pixels[size_t(h - 1 - k) * w + x]);
        row.resize(rowBytes, '\0');
        b += row;
    }
    return writeBytes(path, b) || fail(why, QStringLiteral("cannot write %1").arg(path));
}

// ---------------------------------------------------------------- GIF

bool writeGif(const QString &path, const std::vector<Page> &frames, int transparentIndex, QString *why)
{
    if (frames.empty())
        return fail(why, QStringLiteral("no frames"));
    for (const Page &f : frames)
        if (f.photometric != Photometric::Palette || f.width != frames[0].width || f.height != frames[0].height)
            return fail(why, QStringLiteral("GIF frames must be palette pages of one size"));
    auto table = [](const Page &f) {
        const size_t n = size_t(1) << f.bitsPerSample;
        QByteArray t;
        for (size_t i = 0; i < n; ++i)
            t.append(char(f.colormap[i] >> 8)).append(char(f.colormap[n + i] >> 8)).append(char(f.colormap[2 * n + i] >> 8));
        return t;
    };
    const Page &first = frames[0];
    QByteArray g("GIF89a");
    putLe16(g, quint16(first.width));
    putLe16(g, quint16(first.height));
    g.append(char(0x80 | (first.bitsPerSample - 1) << 4 | (first.bitsPerSample - 1))).append('\0').append('\0');
    g += table(first);
    for (const Page &f : frames) {
        if (transparentIndex >= 0 || frames.size() > 1) {
            g.append("\x21\xf9\x04", 3);
            g.append(char(transparentIndex >= 0 ? 0x05 : 0x04)); // restore nothing; transparency flag
            putLe16(g, 10);
            g.append(char(std::max(transparentIndex, 0))).append('\0');
        }
        g.append(',');
        putLe16(g, 0);
        putLe16(g, 0);
        putLe16(g, quint16(f.width));
        putLe16(g, quint16(f.height));
        g.append(char(0x80 | (f.bitsPerSample - 1)));
        g += table(f);
        // LZW without compression: literal codes only, with a clear code
        // before the table would grow past the starting code width.
        const int minCode = std::max<int>(2, f.bitsPerSample);
        const quint32 clear = 1u << minCode;
        const int width = minCode + 1;
        QByteArray data;
        quint32 acc = 0;
        int nbits = 0;
        auto putCode = [&](quint32 code) {
            acc |= code << nbits;
            nbits += width;
            while (nbits >= 8) {
                data.append(char(acc & 0xff));
                acc >>= 8;
                nbits -= 8;
            }
        };
        putCode(clear);
        quint32 run = 0;
        for (quint32 y = 0; y < f.height; ++y)
            for (quint32 x = 0; x < f.width; ++x) {
                if (run == clear - 2) {
                    putCode(clear);
                    run = 0;
                }
                putCode(sampleAt(f, x, y));
                ++run;
            }
        putCode(clear + 1);
        if (nbits)
            data.append(char(acc & 0xff));
        g.append(char(minCode));
        for (qsizetype i = 0; i < data.size(); i += 255) {
            const QByteArray block = data.mid(i, 255);
            g.append(char(block.size()));
            g += block;
        }
        g.append('\0');
    }
    g.append(';');
    return writeBytes(path, g) || fail(why, QStringLiteral("cannot write %1").arg(path));
}

// ---------------------------------------------------------------- JPEG

bool writeJpeg(const QString &path, quint32 w, quint32 h, int exifOrientation, bool grey, QString *why)
{
    QImage img(int(w), int(h), grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32);
    for (int y = 0; y < int(h); ++y)
        for (int x = 0; x < int(w); ++x) {
            const bool left = x < int(w) / 2;
            const int shade = 40 + y * 60 / int(h);
            if (grey)
                img.scanLine(y)[x] = uchar(left ? shade : 200 + shade / 4);
            else
                img.setPixel(x, y, left ? qRgb(200 + shade / 2, shade / 4, shade / 4) : qRgb(shade / 4, shade / 4, 200 + shade / 2));
        }
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(95);
    if (!writer.write(img))
        return fail(why, writer.errorString());
    QByteArray jpeg = buffer.data();
    if (exifOrientation > 0) {
        QByteArray exif("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\0\0\0\0\0\0\0", 32);
        exif[25] = char(exifOrientation);
        QByteArray app1("\xff\xe1", 2);
        app1.append(char((exif.size() + 2) >> 8)).append(char((exif.size() + 2) & 0xff));
        jpeg.insert(2, app1 + exif);
    }
    return writeBytes(path, jpeg) || fail(why, QStringLiteral("cannot write %1").arg(path));
}

namespace {

struct JpegErrorJump {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void jpegErrorExit(j_common_ptr c)
{
    std::longjmp(reinterpret_cast<JpegErrorJump *>(c->err)->jump, 1);
}

} // namespace

bool writeCmykJpeg(const QString &path, const Page &ink, bool adobe, QString *why)
{
    if (ink.photometric != Photometric::Separated || ink.samplesPerPixel != 4 || ink.bitsPerSample != 8)
        return fail(why, QStringLiteral("not a Cmyk8 page"));
    std::vector<quint8> stored(ink.pixels);
    if (adobe)
        for (quint8 &v : stored)
            v = quint8(255 - v);
    struct State {
        jpeg_compress_struct cinfo{};
        JpegErrorJump err{};
        unsigned char *out = nullptr;
        unsigned long size = 0;
    };
    auto state = std::make_unique<State>();
    State &st = *state;
    st.cinfo.err = jpeg_std_error(&st.err.pub);
    st.err.pub.error_exit = jpegErrorExit;
    if (setjmp(st.err.jump)) {
        jpeg_destroy_compress(&st.cinfo);
        std::free(st.out);
        return fail(why, QStringLiteral("libjpeg could not write the CMYK JPEG"));
    }
    jpeg_create_compress(&st.cinfo);
    jpeg_mem_dest(&st.cinfo, &st.out, &st.size);
    st.cinfo.image_width = ink.width;
    st.cinfo.image_height = ink.height;
    st.cinfo.input_components = 4;
    st.cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&st.cinfo);
    jpeg_set_colorspace(&st.cinfo, JCS_CMYK);
    st.cinfo.write_Adobe_marker = adobe ? TRUE : FALSE;
    jpeg_set_quality(&st.cinfo, 100, TRUE);
    jpeg_start_compress(&st.cinfo, TRUE);
    const quint64 bpr = ink.bytesPerRow();
    while (st.cinfo.next_scanline < st.cinfo.image_height) {
        JSAMPROW row = stored.data() + st.cinfo.next_scanline * bpr;
        jpeg_write_scanlines(&st.cinfo, &row, 1);
    }
    jpeg_finish_compress(&st.cinfo);
    const QByteArray bytes(reinterpret_cast<const char *>(st.out), qsizetype(st.size));
    jpeg_destroy_compress(&st.cinfo);
    std::free(st.out);
    return writeBytes(path, bytes) || fail(why, QStringLiteral("cannot write %1").arg(path));
}

// ---------------------------------------------------------------- misc

bool writeTruncated(const QString &from, const QString &to, qint64 bytes)
{
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    return writeBytes(to, in.read(bytes));
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

bool decodePage(const QString &path, int index, Page *out, QString *why)
{
    QString error;
    auto source = image::ImageSource::open(path, &error);
    if (!source || !source->readPage(index, out, &error))
        return fail(why, error.isEmpty() ? QStringLiteral("failed without a reason") : error);
    return true;
}

bool samePixels(const Page &a, const Page &b, QString *why)
{
    auto differ = [why](const char *what, auto x, auto y) {
        return fail(why, QStringLiteral("%1 differs: %2 vs %3").arg(QLatin1String(what)).arg(x).arg(y));
    };
    if (a.width != b.width) return differ("width", a.width, b.width);
    if (a.height != b.height) return differ("height", a.height, b.height);
    if (a.bitsPerSample != b.bitsPerSample) return differ("bitsPerSample", a.bitsPerSample, b.bitsPerSample);
    if (a.samplesPerPixel != b.samplesPerPixel) return differ("samplesPerPixel", a.samplesPerPixel, b.samplesPerPixel);
    if (a.extraSamples != b.extraSamples) return differ("extraSamples", a.extraSamples, b.extraSamples);
    if (a.extraSamples && a.alphaAssociated != b.alphaAssociated)
        return differ("alphaAssociated", a.alphaAssociated, b.alphaAssociated);
    if (a.photometric != b.photometric) return differ("photometric", int(a.photometric), int(b.photometric));
    if (a.photometric == Photometric::Palette && a.colormap != b.colormap)
        return fail(why, QStringLiteral("colour maps differ"));
    if (a.pixels.size() < a.byteCount() || b.pixels.size() < b.byteCount())
        return fail(why, QStringLiteral("pixel buffer too short"));
    const quint64 bpr = a.bytesPerRow();
    const unsigned tail = unsigned((quint64(a.width) * a.samplesPerPixel * a.bitsPerSample) % 8);
    const quint8 lastMask = tail ? quint8(0xff << (8 - tail)) : 0xff;
    for (quint32 y = 0; y < a.height; ++y) {
        const quint8 *ra = a.pixels.data() + y * bpr;
        const quint8 *rb = b.pixels.data() + y * bpr;
        if (std::memcmp(ra, rb, size_t(bpr - 1)) != 0 || ((ra[bpr - 1] ^ rb[bpr - 1]) & lastMask)) {
            quint64 i = 0;
            while (i + 1 < bpr && ra[i] == rb[i])
                ++i;
            return fail(why, QStringLiteral("pixels differ in row %1 at byte %2 (%3 vs %4)")
                                 .arg(y).arg(i).arg(ra[i]).arg(rb[i]));
        }
    }
    return true;
}

} // namespace quillon::testing
