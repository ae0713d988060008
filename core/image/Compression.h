#pragma once
#include <QString>

namespace quillon::image {

// The output compressions. The first five are stored as the settings'
// tiffCompressionIndex (0..4) and keep those numbers here.
enum class Compression { None, CcittG3, CcittG4, Lzw, PackBits, Automatic, Deflate, Zstd, Jpeg };

// "none", "g3", "g4", "lzw", "packbits", "auto", "deflate", "zstd", "jpeg";
// parsing ignores case and blanks.
QString compressionText(Compression c);
bool parseCompression(const QString &text, Compression *out);

// TIFF Compression tag value (TiffWriter::kAutomatic for Automatic).
int compressionTag(Compression c);

// False, with a reason, when this libtiff cannot write the compression.
bool compressionAvailable(Compression c, QString *why = nullptr);

// How the lossless and lossy codecs are set; 0 leaves a codec its default.
struct CodingOptions {
    int level = 0;    // Deflate 1..9, Zstandard 1..19
    int quality = 90; // JPEG 1..100
    bool operator==(const CodingOptions &) const = default;
};
inline constexpr int kDefaultJpegQuality = 90;
inline constexpr int kDefaultDeflateLevel = 6;
inline constexpr int kDefaultZstdLevel = 9;
// The level range of a compression that takes one; {0, 0} for the others.
struct LevelRange {
    int min = 0;
    int max = 0;
};
LevelRange levelRange(Compression c);

} // namespace quillon::image
