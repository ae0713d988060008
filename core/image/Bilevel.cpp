#include "core/image/Bilevel.h"

#include <algorithm>
#include <cstring>

namespace quillon::image::detail {

namespace {

// One sample scaled to 0..65535.
inline quint32 sample16(const quint8 *row, quint64 i, int bits)
{
    switch (bits) {
    case 8: return row[i] * 257u;
    case 16: {
        quint16 v;
        std::memcpy(&v, row + 2 * i, 2);
        return v;
    }
    default: {
        const quint64 bit = i * quint64(bits);
        const unsigned v = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
        return v * 65535u / ((1u << bits) - 1);
    }
    }
}

inline quint32 luma(quint32 r, quint32 g, quint32 b)
{
    return (19595u * r + 38470u * g + 7471u * b + 32768u) >> 16;
}

Page blankBilevel(const Page &src)
{
    Page out;
    out.width = src.width;
    out.height = src.height;
    out.bitsPerSample = 1;
    out.samplesPerPixel = 1;
    out.extraSamples = 0;
    out.photometric = Photometric::MinIsWhite;
    out.xResolution = src.xResolution;
    out.yResolution = src.yResolution;
    out.resolutionUnit = src.resolutionUnit;
    out.orientation = src.orientation;
    out.iccProfile.clear(); // a grey-scale or colour profile doesn't describe bilevel data
    out.pixels.assign(size_t(out.byteCount()), 0);
    return out;
}

} // namespace

bool isBilevel(const Page &page)
{
    return page.bitsPerSample == 1 && page.samplesPerPixel == 1
        && (page.photometric == Photometric::MinIsWhite || page.photometric == Photometric::MinIsBlack);
}

int otsuThreshold(const quint64 (&histogram)[256])
{
    double total = 0, sum = 0;
    for (int i = 0; i < 256; ++i) {
        total += double(histogram[i]);
        sum += double(i) * double(histogram[i]);
    }
    double weightBelow = 0, sumBelow = 0, best = 0;
    int threshold = -1;
    for (int t = 0; t < 256; ++t) {
        weightBelow += double(histogram[t]);
        if (weightBelow == 0)
            continue;
        const double weightAbove = total - weightBelow;
        if (weightAbove == 0)
            break;
        sumBelow += double(t) * double(histogram[t]);
        const double diff = sumBelow / weightBelow - (sum - sumBelow) / weightAbove;
        const double between = weightBelow * weightAbove * diff * diff;
        if (between > best) {
            best = between;
            threshold = t;
        }
    }
    return threshold;
}

Page toBilevel(const Page &src)
{
    Page out = blankBilevel(src);
    const quint64 srcRow = src.bytesPerRow();
    const quint64 outRow = out.bytesPerRow();
    if (isBilevel(src)) {
        const bool invert = src.photometric == Photometric::MinIsBlack;
        for (quint32 y = 0; y < src.height; ++y) {
            const quint8 *s = src.pixels.data() + y * srcRow;
            quint8 *d = out.pixels.data() + y * outRow;
            for (quint64 i = 0; i < outRow; ++i)
                d[i] = invert ? quint8(~s[i]) : s[i];
        }
        const unsigned tail = src.width % 8;
        if (tail)
            for (quint32 y = 0; y < src.height; ++y)
                out.pixels[size_t(y * outRow + outRow - 1)] &= quint8(0xff << (8 - tail));
        return out;
    }

    const int bits = src.bitsPerSample;
    const int spp = src.samplesPerPixel;
    const int colours = spp - src.extraSamples;
    const bool alpha = src.extraSamples > 0;

    // Palette pages: one luminance per entry.
    std::vector<quint32> paletteLuma;
    if (src.photometric == Photometric::Palette) {
        const size_t n = size_t(1) << bits;
        paletteLuma.resize(n);
        for (size_t i = 0; i < n; ++i)
            paletteLuma[i] = luma(src.colormap[i], src.colormap[n + i], src.colormap[2 * n + i]);
    }

    std::vector<quint8> level(size_t(quint64(src.width) * src.height));
    quint64 histogram[256] = {};
    for (quint32 y = 0; y < src.height; ++y) {
        const quint8 *row = src.pixels.data() + y * srcRow;
        quint8 *lv = level.data() + quint64(y) * src.width;
        for (quint32 x = 0; x < src.width; ++x) {
            const quint64 first = quint64(x) * spp;
            quint32 l = 0;
            switch (src.photometric) {
            case Photometric::MinIsBlack: l = sample16(row, first, bits); break;
            case Photometric::MinIsWhite: l = 65535u - sample16(row, first, bits); break;
            case Photometric::Palette: {
                const quint64 bit = first * quint64(bits);
                const unsigned idx = bits == 8 ? row[first] : (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                l = paletteLuma[idx];
                break;
            }
            case Photometric::RGB:
                l = luma(sample16(row, first, bits), sample16(row, first + 1, bits), sample16(row, first + 2, bits));
                break;
            case Photometric::Separated: {
                const quint32 k = 65535u - sample16(row, first + 3, bits);
                const auto ink = [&](int s) { return (65535u - sample16(row, first + quint64(s), bits)) * k / 65535u; };
                l = luma(ink(0), ink(1), ink(2));
                break;
            }
            }
            if (alpha) {
                const quint32 a = sample16(row, first + quint64(colours), bits);
                // Onto white: what is transparent shows the paper.
                if (src.alphaAssociated)
                    l = std::min<quint32>(65535u, l + (65535u - a));
                else
                    l = quint32((quint64(l) * a + 65535ull * (65535u - a) + 32767u) / 65535u);
            }
            const quint8 v = quint8((l + 128u) / 257u);
            lv[x] = v;
            ++histogram[v];
        }
    }

    const int t = otsuThreshold(histogram);
    const int blackAtOrBelow = t >= 0 ? t : 127;
    for (quint32 y = 0; y < src.height; ++y) {
        const quint8 *lv = level.data() + quint64(y) * src.width;
        quint8 *d = out.pixels.data() + y * outRow;
        for (quint32 x = 0; x < src.width; ++x)
            if (lv[x] <= blackAtOrBelow)
                d[x / 8] |= quint8(0x80u >> (x % 8));
    }
    return out;
}

} // namespace quillon::image::detail
