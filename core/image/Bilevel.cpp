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

std::vector<quint8> luminanceLevels(const Page &src)
{
    const quint64 srcRow = src.bytesPerRow();
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
            lv[x] = quint8((l + 128u) / 257u);
        }
    }
    return level;
}

namespace {

// 8 x 8 Bayer index matrix: each cell's place in the order of turning white.
constexpr quint8 kBayer8[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},  {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38}, {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},  {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37}, {63, 31, 55, 23, 61, 29, 53, 21},
};

// Writes the black pixels of `levels` into the zeroed rows of `out`.
void fillBilevel(const quint8 *levels, const BilevelOptions &options, Page *out)
{
    const quint32 w = out->width;
    const quint64 outRow = out->bytesPerRow();
    auto setBlack = [&](quint32 x, quint32 y) { out->pixels[size_t(y * outRow + x / 8)] |= quint8(0x80u >> (x % 8)); };

    switch (options.method) {
    case BilevelOptions::Auto:
    case BilevelOptions::Threshold: {
        int blackAtOrBelow = std::clamp(options.threshold, BilevelOptions::kMinThreshold, BilevelOptions::kMaxThreshold);
        if (options.method == BilevelOptions::Auto) {
            quint64 histogram[256] = {};
            const quint64 n = quint64(w) * out->height;
            for (quint64 i = 0; i < n; ++i)
                ++histogram[levels[i]];
            const int t = otsuThreshold(histogram);
            blackAtOrBelow = t >= 0 ? t : 127;
        }
        for (quint32 y = 0; y < out->height; ++y) {
            const quint8 *lv = levels + quint64(y) * w;
            for (quint32 x = 0; x < w; ++x)
                if (lv[x] <= blackAtOrBelow)
                    setBlack(x, y);
        }
        break;
    }
    case BilevelOptions::OrderedDither:
        // Thresholds 2, 6, ..., 254: black stays black and white stays white.
        for (quint32 y = 0; y < out->height; ++y) {
            const quint8 *lv = levels + quint64(y) * w;
            for (quint32 x = 0; x < w; ++x)
                if (lv[x] < kBayer8[y % 8][x % 8] * 4 + 2)
                    setBlack(x, y);
        }
        break;
    case BilevelOptions::DiffusionDither: {
        // Errors of this row and the next, with a guard cell on each side.
        std::vector<int> here(size_t(w) + 2, 0), below(size_t(w) + 2, 0);
        for (quint32 y = 0; y < out->height; ++y) {
            const quint8 *lv = levels + quint64(y) * w;
            std::fill(below.begin(), below.end(), 0);
            for (quint32 x = 0; x < w; ++x) {
                const int value = lv[x] + here[x + 1];
                const int shown = value < 128 ? 0 : 255;
                if (shown == 0)
                    setBlack(x, y);
                const int e = value - shown;
                here[x + 2] += e * 7 / 16;
                below[x] += e * 3 / 16;
                below[x + 1] += e * 5 / 16;
                below[x + 2] += e / 16;
            }
            std::swap(here, below);
        }
        break;
    }
    }
}

} // namespace

Page bilevelFromLevels(const std::vector<quint8> &levels, quint32 width, quint32 height, const BilevelOptions &options)
{
    Page shape;
    shape.width = width;
    shape.height = height;
    Page out = blankBilevel(shape);
    if (levels.size() >= size_t(quint64(width) * height))
        fillBilevel(levels.data(), options, &out);
    return out;
}

Page toBilevel(const Page &src, const BilevelOptions &options)
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
    const std::vector<quint8> levels = luminanceLevels(src);
    fillBilevel(levels.data(), options, &out);
    return out;
}

bool twoLevelsToBilevel(const Page &page, Page *out)
{
    if (page.encodedCompression || isBilevel(page) || page.photometric == Photometric::Separated)
        return false;
    const int bits = page.bitsPerSample;
    const int spp = page.samplesPerPixel;
    const int colours = spp - page.extraSamples;
    const quint64 rowBytes = page.bytesPerRow();
    const size_t entries = page.photometric == Photometric::Palette ? size_t(1) << bits : 0;

    // The grey of a pixel on a 16-bit scale, or -1 where it is coloured or not opaque.
    auto greyAt = [&](const quint8 *row, quint32 x) -> qint64 {
        const quint64 first = quint64(x) * spp;
        if (page.extraSamples) {
            if (sample16(row, first + quint64(colours), bits) != 65535u)
                return -1;
        }
        switch (page.photometric) {
        case Photometric::MinIsBlack: return sample16(row, first, bits);
        case Photometric::MinIsWhite: return 65535 - qint64(sample16(row, first, bits));
        case Photometric::Palette: {
            const quint64 bit = first * quint64(bits);
            const unsigned idx = bits == 8 ? row[first] : (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
            const quint16 r = page.colormap[idx], g = page.colormap[entries + idx], b = page.colormap[2 * entries + idx];
            return r == g && g == b ? qint64(r) : -1;
        }
        case Photometric::RGB: {
            const quint32 r = sample16(row, first, bits);
            return r == sample16(row, first + 1, bits) && r == sample16(row, first + 2, bits) ? qint64(r) : -1;
        }
        case Photometric::Separated: break;
        }
        return -1;
    };

    qint64 seen[2] = {-1, -1};
    for (quint32 y = 0; y < page.height; ++y) {
        const quint8 *row = page.pixels.data() + y * rowBytes;
        for (quint32 x = 0; x < page.width; ++x) {
            const qint64 g = greyAt(row, x);
            if (g < 0)
                return false;
            if (g == seen[0] || g == seen[1])
                continue;
            if (seen[0] < 0)
                seen[0] = g;
            else if (seen[1] < 0)
                seen[1] = g;
            else
                return false;
        }
    }
    if (seen[1] < 0)
        return false;
    const qint64 dark = std::min(seen[0], seen[1]);
    Page result = blankBilevel(page);
    const quint64 outRow = result.bytesPerRow();
    for (quint32 y = 0; y < page.height; ++y) {
        const quint8 *row = page.pixels.data() + y * rowBytes;
        quint8 *d = result.pixels.data() + y * outRow;
        for (quint32 x = 0; x < page.width; ++x)
            if (greyAt(row, x) == dark)
                d[x / 8] |= quint8(0x80u >> (x % 8));
    }
    *out = std::move(result);
    return true;
}

} // namespace quillon::image::detail

namespace quillon::image {

QString bilevelOptionsText(const BilevelOptions &options)
{
    switch (options.method) {
    case BilevelOptions::Threshold: return QStringLiteral("threshold:%1").arg(options.threshold);
    case BilevelOptions::OrderedDither: return QStringLiteral("dither:ordered");
    case BilevelOptions::DiffusionDither: return QStringLiteral("dither:diffusion");
    case BilevelOptions::Auto: break;
    }
    return QStringLiteral("auto");
}

bool parseBilevelOptions(const QString &text, BilevelOptions *out, QString *error)
{
    const QString t = text.trimmed().toLower();
    BilevelOptions o;
    if (t == QLatin1String("auto")) {
        o.method = BilevelOptions::Auto;
    } else if (t == QLatin1String("dither:ordered")) {
        o.method = BilevelOptions::OrderedDither;
    } else if (t == QLatin1String("dither:diffusion")) {
        o.method = BilevelOptions::DiffusionDither;
    } else if (t.startsWith(QLatin1String("threshold:"))) {
        bool ok = false;
        const int n = t.mid(10).toInt(&ok);
        if (!ok || n < BilevelOptions::kMinThreshold || n > BilevelOptions::kMaxThreshold) {
            if (error)
                *error = QStringLiteral("the threshold must be a whole number from %1 to %2")
                             .arg(BilevelOptions::kMinThreshold)
                             .arg(BilevelOptions::kMaxThreshold);
            return false;
        }
        o.method = BilevelOptions::Threshold;
        o.threshold = n;
    } else {
        if (error)
            *error = QStringLiteral("\"%1\" is not auto, threshold:N, dither:ordered or dither:diffusion").arg(text);
        return false;
    }
    *out = o;
    return true;
}

} // namespace quillon::image
