// Uncompressed Windows and OS/2 2.x BMP read directly: 1/4/8-bit palette,
// 16-bit (5-5-5, 5-6-5, bit fields), 24 and 32-bit, bottom-up or top-down.
// Run-length coded, OS/2 1.x and embedded JPEG/PNG bitmaps go to Qt's reader.
#include "core/image/QtImageSource.h"
#include "core/image/RasterDecoders.h"

#include <QImage>

#include <climits>
#include <cstring>
#include <vector>

namespace quillon::image::detail {

namespace {

quint16 le16(const uchar *p) { return quint16(p[1] << 8 | p[0]); }
quint32 le32(const uchar *p) { return quint32(p[3]) << 24 | quint32(p[2]) << 16 | quint32(p[1]) << 8 | p[0]; }

// One colour channel of a bit-field pixel, scaled to 0..255 with rounding
// so that a full-scale field is 255 (31 of 31 is 255, not 248).
struct Channel {
    quint32 mask = 0;
    int shift = 0;
    quint32 max = 0;

    explicit Channel(quint32 m) : mask(m)
    {
        while (m && !(m & 1)) {
            m >>= 1;
            ++shift;
        }
        max = m;
    }
    quint8 operator()(quint32 pixel) const
    {
        if (!max)
            return 0;
        const quint64 v = (pixel & mask) >> shift;
        return quint8(std::min<quint64>(255, (v * 255 + max / 2) / max));
    }
};

void setLayout(Page *p, quint32 w, quint32 h, quint16 bits, quint16 spp, quint16 extra, Photometric ph)
{
    p->setLayout(w, h, bits, spp, extra, ph);
    p->pixels.resize(size_t(p->byteCount()));
}

} // namespace

Decoded decodeBmp(const uchar *p, qint64 n, const HeaderInfo &info, Page *out, QString *error)
{
    if (n < 30)
        return Decoded::Declined;
    const quint32 dib = le32(p + 14);
    // 40 (Windows 3), 52 and 56 (V2, V3: the masks in the header), 108 (V4),
    // 124 (V5), and OS/2 2.x's 64 and its shortened 16; OS/2 1.x is Qt's.
    const bool os2 = dib == 16 || dib == 64;
    if (dib != 40 && dib != 52 && dib != 56 && dib != 108 && dib != 124 && !os2)
        return Decoded::Declined;
    if (n < 14 + qint64(dib))
        return Decoded::Declined;
    const qint32 w = qint32(le32(p + 18));
    const qint32 hSigned = qint32(le32(p + 22));
    const int planes = le16(p + 26);
    const int bpp = le16(p + 28);
    const quint32 compression = dib >= 40 ? le32(p + 30) : 0;
    const quint32 colorsUsed = dib >= 40 ? le32(p + 46) : 0;
    if (planes != 1 || w <= 0 || hSigned == 0 || hSigned == INT_MIN)
        return Decoded::Declined;
    // OS/2 has no bit fields: its compression 3 is Huffman coding.
    const bool bitfields = !os2 && compression == 3 && (bpp == 16 || bpp == 32);
    if (compression != 0 && !bitfields)
        return Decoded::Declined;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
        return Decoded::Declined;
    const bool bottomUp = hSigned > 0;
    const quint32 width = quint32(w), height = quint32(bottomUp ? hSigned : -qint64(hSigned));

    quint32 red = 0, green = 0, blue = 0, alpha = 0;
    qint64 tableAt = 14 + qint64(dib);
    if (dib >= 52 && !os2) {
        red = le32(p + 54);
        green = le32(p + 58);
        blue = le32(p + 62);
        alpha = dib >= 56 ? le32(p + 66) : 0;
    } else if (bitfields) {
        if (n < 66)
            return Decoded::Declined;
        red = le32(p + 54);
        green = le32(p + 58);
        blue = le32(p + 62);
        tableAt += 12;
    }
    if (!bitfields) {
        if (bpp == 16) {
            red = 0x7c00;
            green = 0x03e0;
            blue = 0x001f;
        } else if (bpp >= 24) {
            red = 0xff0000;
            green = 0xff00;
            blue = 0xff;
        }
    }
    // Alpha where bit fields name it, or a V4/V5 header's alpha mask over
    // plain 32-bit pixels, as Qt's reader had it.
    const bool hasAlpha = alpha != 0 && (bitfields || (bpp == 32 && alpha == 0xff000000u));

    int colours = 0;
    if (bpp <= 8) {
        colours = colorsUsed ? int(std::min<quint32>(colorsUsed, 257)) : 1 << bpp;
        if (colours > 256 || colours > (1 << bpp) || (bpp == 1 && colours != 2))
            return Decoded::Declined;
        if (n - tableAt < 4 * qint64(colours))
            return Decoded::Declined;
    }
    // Pixel data starts at the stated offset, or after the colour table if
    // the offset points into it.
    const qint64 dataAt = std::max<qint64>(le32(p + 10), tableAt + 4 * qint64(colours));
    const quint64 stride = (quint64(width) * quint64(bpp) + 31) / 32 * 4;
    if (quint64(dataAt) > quint64(n) || stride * height > quint64(n - dataAt))
        return Decoded::Declined;
    auto row = [&](quint32 y) { return p + dataAt + stride * (bottomUp ? height - 1 - y : y); };
    if (quint64(width) * height * 4 > kMaxDecodedPageBytes) {
        *error = QStringLiteral("image is too large to decode (%1 x %2 pixels)").arg(width).arg(height);
        return Decoded::Failed;
    }

    if (bpp <= 8) {
        // Palette rows through the same rules as every indexed page (grey
        // ramps become grey, unused entries don't count).
        const bool mono = bpp == 1;
        const qsizetype bpl = mono ? qsizetype((width + 7) / 8) : qsizetype(width);
        std::vector<uchar> indices(size_t(bpl) * height);
        for (quint32 y = 0; y < height; ++y) {
            const uchar *s = row(y);
            uchar *d = indices.data() + size_t(bpl) * y;
            if (bpp == 4) {
                for (quint32 x = 0; x < width; ++x)
                    d[x] = (x & 1) ? s[x / 2] & 0x0f : s[x / 2] >> 4;
            } else {
                std::memcpy(d, s, size_t(bpl));
            }
        }
        QImage indexed(indices.data(), int(width), int(height), bpl, mono ? QImage::Format_Mono : QImage::Format_Indexed8);
        QList<QRgb> table;
        for (int i = 0; i < colours; ++i) {
            const uchar *e = p + tableAt + 4 * i;
            table.append(qRgb(e[2], e[1], e[0]));
        }
        indexed.setColorTable(table);
        Page page;
        if (!pageFromImage(indexed, info, &page, error))
            return Decoded::Failed;
        *out = std::move(page);
        return Decoded::Ok;
    }

    Page page;
    setLayout(&page, width, height, 8, hasAlpha ? 4 : 3, hasAlpha ? 1 : 0, Photometric::RGB);
    const quint64 bpr = page.bytesPerRow();
    const bool standard32 = bpp == 32 && red == 0xff0000 && green == 0xff00 && blue == 0xff
        && (!hasAlpha || alpha == 0xff000000u);
    for (quint32 y = 0; y < height; ++y) {
        const uchar *s = row(y);
        quint8 *d = page.pixels.data() + bpr * y;
        if (bpp == 24) {
            for (quint32 x = 0; x < width; ++x, s += 3, d += 3) {
                d[0] = s[2];
                d[1] = s[1];
                d[2] = s[0];
            }
        } else if (standard32) {
            if (hasAlpha) {
                for (quint32 x = 0; x < width; ++x, s += 4, d += 4) {
                    d[0] = s[2];
                    d[1] = s[1];
                    d[2] = s[0];
                    d[3] = s[3];
                }
            } else {
                for (quint32 x = 0; x < width; ++x, s += 4, d += 3) {
                    d[0] = s[2];
                    d[1] = s[1];
                    d[2] = s[0];
                }
            }
        } else {
            const Channel r(red), g(green), b(blue), a(alpha);
            const int bytes = bpp / 8;
            for (quint32 x = 0; x < width; ++x, s += bytes) {
                const quint32 v = bytes == 2 ? le16(s) : le32(s);
                *d++ = r(v);
                *d++ = g(v);
                *d++ = b(v);
                if (hasAlpha)
                    *d++ = a(v);
            }
        }
    }
    *out = std::move(page);
    return Decoded::Ok;
}

} // namespace quillon::image::detail
