#include "core/image/CodecSources.h"

#include <cstring>

namespace quillon::image::detail {

QByteArray exifTiffStream(const QByteArray &block)
{
    QByteArray tiff = block.startsWith(QByteArrayView("Exif\0\0", 6)) ? block.mid(6) : block;
    if (tiff.size() < 8 || !(tiff.startsWith("II*\0") || tiff.startsWith(QByteArrayView("MM\0*", 4))))
        return {};
    return tiff;
}

int exifStreamOrientation(const QByteArray &tiff)
{
    const auto *t = reinterpret_cast<const uchar *>(tiff.constData());
    const quint64 n = quint64(tiff.size());
    if (n < 8 || !((t[0] == 'I' && t[1] == 'I') || (t[0] == 'M' && t[1] == 'M')))
        return 0;
    const bool le = t[0] == 'I';
    auto u16 = [&](quint64 at) { return quint32(le ? t[at] | t[at + 1] << 8 : t[at] << 8 | t[at + 1]); };
    auto u32 = [&](quint64 at) { return le ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2); };
    if (u16(2) != 42)
        return 0;
    const quint64 ifd = u32(4);
    if (ifd + 2 > n)
        return 0;
    const quint32 entries = u16(ifd);
    for (quint32 i = 0; i < entries; ++i) {
        const quint64 e = ifd + 2 + 12 * quint64(i);
        if (e + 12 > n)
            return 0;
        if (u16(e) != 0x0112)
            continue;
        const quint32 value = u16(e + 8);
        return u16(e + 2) == 3 && u32(e + 4) == 1 && value >= 1 && value <= 8 ? int(value) : 0;
    }
    return 0;
}

void widenTo16(quint16 *samples, size_t count, int bits)
{
    if (bits >= 16 || bits < 1)
        return;
    const quint32 max = (1u << bits) - 1;
    for (size_t i = 0; i < count; ++i) {
        const quint32 v = std::min<quint32>(samples[i], max);
        samples[i] = quint16((v * 65535u + max / 2) / max);
    }
}

} // namespace quillon::image::detail
