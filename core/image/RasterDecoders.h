#pragma once
// Direct decoders for JPEG (libjpeg-turbo), PNG (libpng), GIF (giflib) and
// BMP, from the file's bytes straight into a Page. Each gives the page the Qt
// readers gave before them, except where that was a fault (16-bit BMP
// channels now reach full scale; CMYK JPEG stays CMYK). A variant a decoder
// doesn't take on is declined and goes to Qt's reader instead.
#include "core/image/FormatSniffer.h"
#include "core/image/Page.h"

namespace quillon::image::detail {

enum class Decoded {
    Ok,
    Failed,   // corrupt data; *error says why
    Declined, // a rare variant left to Qt's reader
};

// `info` is the file's walked header. Resolution is left to the caller.
// *warning (when given) gets what libjpeg warned of in a decode that went on.
Decoded decodeJpeg(const uchar *p, qint64 n, const HeaderInfo &info, const ReadOptions &options, Page *out,
                   QString *error, QString *warning = nullptr);
Decoded decodePng(const uchar *p, qint64 n, const HeaderInfo &info, Page *out, QString *error);
Decoded decodeGif(const uchar *p, qint64 n, const HeaderInfo &info, Page *out, QString *error);
Decoded decodeBmp(const uchar *p, qint64 n, const HeaderInfo &info, Page *out, QString *error);

// For a JPEG that ends without EOI: true when every scan's entropy-coded data
// decodes to its end without running out (decodes coefficients, no pixels).
bool jpegEntropyComplete(const uchar *p, qint64 n);

// Rotates or mirrors 8-bit pixel rows into upright order for an EXIF
// orientation (2..8; others leave the page as it is).
void applyExifOrientation(Page *page, int orientation);

} // namespace quillon::image::detail
