#pragma once
// Test images made on the spot: pages with deterministic content and writers
// that store them as TIFF (through libtiff directly, not through the code under
// test), PNG, BMP, GIF and JPEG. Each writer returns false, with a reason, for a
// page it cannot store.
#include "core/image/Page.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace quillon::testing {

using image::Page;
using image::Photometric;

enum class PageKind {
    BilevelMinIsWhite, // 1-bit
    BilevelMinIsBlack,
    Grey2,
    Grey4,
    Grey8,
    Grey8MinIsWhite,
    Grey16,
    GreyAlpha8,
    GreyAlpha16,
    Palette1,
    Palette2,
    Palette4,
    Palette8,
    Rgb8,
    Rgba8,            // unassociated alpha
    RgbaAssociated8,  // premultiplied alpha
    Rgb16,
    Rgba16,
    Cmyk8,
    Cmyk16,
};

// A page of the given kind. Different seeds give different content; palettes
// hold distinct colours. Resolution and ICC profile are left empty.
Page makePage(PageKind kind, quint32 width = 61, quint32 height = 37, int seed = 0);

// Black text-like strokes on white, as RGB (optionally with a transparent
// frame around the drawing when `transparentBorder` is set).
Page makeDocumentPage(quint32 width, quint32 height, bool transparentBorder = false);

// A small valid ICC profile (sRGB) for carrying-over checks.
QByteArray iccProfile();

struct TiffOptions {
    quint16 compression = 1; // TIFF Compression tag: 1, 3, 4, 5, 7 (JPEG), 8 (Deflate), 32773
    bool planar = false;     // PlanarConfig separate (8/16-bit multi-sample pages)
    bool tiled = false;      // 16 x 16 tiles
    bool bigTiff = false;
    bool ycbcr = false;      // RGB pages stored as YCbCr: JPEG-in-TIFF with compression 7,
                             // otherwise uncompressed with 2x2 subsampling
    quint16 rowsPerStrip = 7;
};

bool writeTiff(const QString &path, const std::vector<Page> &pages, const TiffOptions &options = {},
               QString *why = nullptr);
// `count` pages of one kind, seeds 0, 1, 2, ...
bool writeTiff(const QString &path, PageKind kind, int count, const TiffOptions &options = {},
               quint32 width = 61, quint32 height = 37, QString *why = nullptr);

// One-strip TIFF of rows exactly as given (`rows`: height rows of
// ceil(width * spp * bps / 8) bytes, 16-bit samples in host order): for the
// layouts a Page cannot hold, such as odd bit depths and signed samples.
// photometric -1 leaves the tag out, as some converters do.
bool writeRawTiff(const QString &path, quint32 width, quint32 height, quint16 bitsPerSample, quint16 samplesPerPixel,
                  int photometric, quint16 sampleFormat, const QByteArray &rows, QString *why = nullptr);

// PNG of a MinIsBlack (1..16-bit, optional alpha), Palette or RGB(A) 8/16-bit
// page; `paletteAlpha` adds a tRNS chunk to palette pages. Resolution and
// ICC profile of the page are stored (pHYs, iCCP).
bool writePng(const QString &path, const Page &page, const std::vector<quint8> &paletteAlpha = {},
              QString *why = nullptr);

// How writePng codes the image data, including ways to damage it.
struct PngCoding {
    int filter = 0;         // 0..4 for every row, 5: row y gets filter y % 5
    int idatChunks = 1;     // the zlib stream split over this many IDAT chunks
    QByteArray afterStream; // bytes after the zlib stream, inside the image data
    bool badCrc = false;    // the last IDAT chunk's CRC is wrong
    int badFilterRow = -1;  // this row gets the undefined filter type 5
    int rowsLeftOut = 0;    // the stream ends this many rows early (a whole, short stream)
    bool badAdler = false;  // the zlib stream's checksum is wrong
};
bool writePng(const QString &path, const Page &page, const PngCoding &coding, QString *why = nullptr);

// BMP of a Palette (1, 4, 8-bit), 1-bit or 8-bit MinIsBlack, RGB or RGBA 8-bit page,
// bottom-up as most writers store it, or top-down (negative height).
bool writeBmp(const QString &path, const Page &page, QString *why = nullptr, bool topDown = false);

// 16-bit BMP of raw pixel words (row by row, top row first): 5-6-5 with bit-field
// masks, or 5-5-5 as plain BI_RGB.
bool writeBmp16(const QString &path, quint32 width, quint32 height, const std::vector<quint16> &pixels, bool rgb565,
                QString *why = nullptr);

// GIF of Palette pages of one size (each frame with its own colour table).
bool writeGif(const QString &path, const std::vector<Page> &frames, int transparentIndex = -1,
              QString *why = nullptr);

// JPEG of a colour (or grey) gradient whose left half is red and right half
// blue, so that rotations show; exifOrientation 1..8 adds an EXIF block.
bool writeJpeg(const QString &path, quint32 width, quint32 height, int exifOrientation = 0, bool grey = false,
               QString *why = nullptr);

// CMYK JPEG (quality 100, no subsampling) of a Cmyk8 page, whose samples are ink
// (0 = none). `adobe`: with an Adobe APP14 marker and the samples stored
// inverted, as Adobe's applications write CMYK; otherwise stored as they are.
bool writeCmykJpeg(const QString &path, const Page &ink, bool adobe, QString *why = nullptr);

// Options of the WebP, JPEG XL and HEIF writers (their libraries' own encoders).
struct CodecOptions {
    bool lossless = true;
    int quality = 90;         // lossy only
    bool avif = false;        // HEIF: AV1 (AVIF), else HEVC (HEIC)
    int significantBits = 0;  // 16-bit pages: store this many bits (10, 12); 0 = all
    int orientation = 1;      // JPEG XL and HEIF header orientation (EXIF values); WebP has none
    QByteArray icc;
    QByteArray exif;          // TIFF stream; each writer frames it its own way
    bool exifPrefix = false;  // WebP: "Exif\0\0" before the stream, as some writers do
    QByteArray xmp;
    bool compressBoxes = false; // JPEG XL: Brotli-compressed metadata boxes
};

// WebP of 8-bit RGB(A) pages: one page a still image, more an animation.
bool writeWebp(const QString &path, const std::vector<Page> &frames, const CodecOptions &options = {},
               QString *why = nullptr);
// JPEG XL of an 8/16-bit grey or RGB page (optional alpha).
bool writeJxl(const QString &path, const Page &page, const CodecOptions &options = {}, QString *why = nullptr);
// HEIF/AVIF of 8/16-bit RGB(A) pages, each a top-level image (metadata on the first).
bool writeHeif(const QString &path, const std::vector<Page> &pages, const CodecOptions &options = {},
               QString *why = nullptr);
// A TIFF stream of one IFD holding only an Orientation entry.
QByteArray exifWithOrientation(int orientation);

// CRC-32 as PNG chunks use it, for tests that patch chunk data.
quint32 crc32(const QByteArray &data);

// Copies the first `bytes` bytes of a file.
bool writeTruncated(const QString &from, const QString &to, qint64 bytes);

// Writes raw bytes.
bool writeBytes(const QString &path, const QByteArray &bytes);

// Decodes a page through the code under test.
bool decodePage(const QString &path, int index, Page *out, QString *why = nullptr);

// Same size, layout, colour map and pixels (bits past a row's end ignored).
// Resolution and ICC profile are not compared.
bool samePixels(const Page &a, const Page &b, QString *why = nullptr);

// Value of sample `s` of pixel (x, y), any bit depth.
quint32 sampleAt(const Page &page, quint32 x, quint32 y, int s = 0);
void setSampleAt(Page &page, quint32 x, quint32 y, int s, quint32 value);

// An empty (all zero) page of the given layout.
Page blankPage(quint32 width, quint32 height, quint16 bitsPerSample, quint16 samplesPerPixel,
               quint16 extraSamples, Photometric photometric);

} // namespace quillon::testing
