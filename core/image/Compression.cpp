#include "core/image/Compression.h"

#include "core/image/TiffWriter.h"

#include <tiffio.h>

#include <array>

namespace quillon::image {

namespace {

constexpr std::array<Compression, 9> kAll = {Compression::None,      Compression::CcittG3, Compression::CcittG4,
                                             Compression::Lzw,       Compression::PackBits, Compression::Automatic,
                                             Compression::Deflate,   Compression::Zstd,    Compression::Jpeg};

} // namespace

QString compressionText(Compression c)
{
    switch (c) {
    case Compression::None: break;
    case Compression::CcittG3: return QStringLiteral("g3");
    case Compression::CcittG4: return QStringLiteral("g4");
    case Compression::Lzw: return QStringLiteral("lzw");
    case Compression::PackBits: return QStringLiteral("packbits");
    case Compression::Automatic: return QStringLiteral("auto");
    case Compression::Deflate: return QStringLiteral("deflate");
    case Compression::Zstd: return QStringLiteral("zstd");
    case Compression::Jpeg: return QStringLiteral("jpeg");
    }
    return QStringLiteral("none");
}

bool parseCompression(const QString &text, Compression *out)
{
    const QString t = text.trimmed().toLower();
    for (Compression c : kAll) {
        if (t == compressionText(c)) {
            *out = c;
            return true;
        }
    }
    return false;
}

int compressionTag(Compression c)
{
    switch (c) {
    case Compression::None: break;
    case Compression::CcittG3: return COMPRESSION_CCITTFAX3;
    case Compression::CcittG4: return COMPRESSION_CCITTFAX4;
    case Compression::Lzw: return COMPRESSION_LZW;
    case Compression::PackBits: return COMPRESSION_PACKBITS;
    case Compression::Automatic: return TiffWriter::kAutomatic;
    case Compression::Deflate: return COMPRESSION_ADOBE_DEFLATE;
    case Compression::Zstd: return COMPRESSION_ZSTD;
    case Compression::Jpeg: return COMPRESSION_JPEG;
    }
    return COMPRESSION_NONE;
}

bool compressionAvailable(Compression c, QString *why)
{
    const int tag = compressionTag(c);
    if (tag == TiffWriter::kAutomatic || TIFFIsCODECConfigured(quint16(tag)))
        return true;
    if (why)
        *why = QStringLiteral("this build of libtiff cannot write %1 compression").arg(compressionText(c));
    return false;
}

LevelRange levelRange(Compression c)
{
    switch (c) {
    case Compression::Deflate: return {1, 9};
    case Compression::Zstd: return {1, 19};
    default: return {};
    }
}

} // namespace quillon::image
