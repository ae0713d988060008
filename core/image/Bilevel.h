#pragma once
#include "core/image/Page.h"

namespace quillon::image::detail {

// True for pages that are already 1-bit grey without alpha.
bool isBilevel(const Page &page);

// Turns any page into a 1-bit MinIsWhite page (bit set = black) for the CCITT
// codecs. The method is fixed so that the same page always gives the same
// result: alpha is flattened onto white, luminance is taken with Rec. 601
// weights (0.299 R + 0.587 G + 0.114 B; CMYK through naive RGB), and pixels at
// or below Otsu's threshold of the 256-bin luminance histogram turn black. A
// page of one single level has no threshold: below mid-grey is black.
// Bilevel sources keep every pixel (MinIsBlack data is only inverted).
// The page must be well formed (see TiffWriter's checks).
Page toBilevel(const Page &page);

// Otsu's threshold of a 256-bin histogram; -1 when it holds a single level.
int otsuThreshold(const quint64 (&histogram)[256]);

} // namespace quillon::image::detail
