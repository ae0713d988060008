#pragma once
#include "core/image/Page.h"

#include <QString>

namespace quillon::image {

// How a page that is not bilevel becomes black and white for the fax
// compressions. Every method is deterministic: the same page always gives
// the same pixels.
struct BilevelOptions {
    enum Method {
        Auto,            // Otsu's threshold of the page's luminance histogram
        Threshold,       // luminance at or below `threshold` turns black
        OrderedDither,   // 8 x 8 Bayer matrix
        DiffusionDither, // Floyd-Steinberg error diffusion, rows left to right
    };
    static constexpr int kMinThreshold = 1;
    static constexpr int kMaxThreshold = 254;
    static constexpr int kDefaultThreshold = 128;

    Method method = Auto;
    int threshold = kDefaultThreshold; // Threshold only; luminance 0 (black) to 255 (white)

    bool operator==(const BilevelOptions &) const = default;
};

// The text form: "auto", "threshold:N" (N 1..254), "dither:ordered",
// "dither:diffusion". Parsing ignores letter case and surrounding blanks;
// false, with a reason, for anything else.
QString bilevelOptionsText(const BilevelOptions &options);
bool parseBilevelOptions(const QString &text, BilevelOptions *out, QString *error = nullptr);

} // namespace quillon::image

namespace quillon::image::detail {

// True for pages that are already 1-bit grey without alpha.
bool isBilevel(const Page &page);

// Turns any page into a 1-bit MinIsWhite page (bit set = black) for the CCITT
// codecs. Alpha is flattened onto white, luminance is taken with Rec. 601
// weights (0.299 R + 0.587 G + 0.114 B; CMYK through naive RGB) on a scale of
// 0..255, then `options` decide black and white. With Auto, pixels at or below
// Otsu's threshold of the 256-bin luminance histogram turn black; a page of
// one single level has no threshold: below mid-grey is black.
// Bilevel sources keep every pixel whatever the options (MinIsBlack data is
// only inverted). The page must be well formed (see TiffWriter's checks).
Page toBilevel(const Page &page, const BilevelOptions &options = {});

// The luminance levels (0..255, alpha flattened onto white, as toBilevel
// takes them) of a page, row by row, one byte per pixel.
std::vector<quint8> luminanceLevels(const Page &page);

// Black and white from levels (width x height bytes): a 1-bit MinIsWhite page
// of that size, by `options` as toBilevel applies them.
Page bilevelFromLevels(const std::vector<quint8> &levels, quint32 width, quint32 height,
                       const BilevelOptions &options);

// A page whose content is already black and white: exactly two grey levels
// (neutral colours only, fully opaque where it has alpha) in any layout. The
// darker level becomes black. False, and *out untouched, for any other page
// (1-bit pages included: they need no conversion).
bool twoLevelsToBilevel(const Page &page, Page *out);

// Otsu's threshold of a 256-bin histogram; -1 when it holds a single level.
int otsuThreshold(const quint64 (&histogram)[256]);

} // namespace quillon::image::detail
