// GIF through giflib: the first frame's indices go straight to a palette page
// (no round trip through 32-bit colour). Frames that don't cover the canvas,
// stray indices and damaged LZW data go to Qt's reader, whose canvas rules
// for them the pages keep.
#include "core/image/QtImageSource.h"
#include "core/image/RasterDecoders.h"

#include <QImage>

#include <array>
#include <cstring>
#include <vector>

#include <gif_lib.h>

namespace quillon::image::detail {

namespace {

struct Input {
    const uchar *data;
    qint64 size;
    qint64 pos;
};

int readInput(GifFileType *gif, GifByteType *out, int length)
{
    auto *in = static_cast<Input *>(gif->UserData);
    const int n = int(std::min<qint64>(length, in->size - in->pos));
    if (n <= 0)
        return 0;
    std::memcpy(out, in->data + in->pos, size_t(n));
    in->pos += n;
    return n;
}

struct GifCloser {
    void operator()(GifFileType *gif) const
    {
        int ignored = 0;
        DGifCloseFile(gif, &ignored);
    }
};

} // namespace

Decoded decodeGif(const uchar *p, qint64 n, const HeaderInfo &info, Page *out, QString *error)
{
    Input in{p, n, 0};
    int code = 0;
    std::unique_ptr<GifFileType, GifCloser> gif(DGifOpen(&in, readInput, &code));
    if (!gif)
        return Decoded::Declined;
    int transparent = -1;
    while (true) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif.get(), &type) == GIF_ERROR)
            return Decoded::Declined;
        if (type == EXTENSION_RECORD_TYPE) {
            int label = 0;
            GifByteType *block = nullptr;
            if (DGifGetExtension(gif.get(), &label, &block) == GIF_ERROR)
                return Decoded::Declined;
            // The last graphic control block before the frame rules, as in Qt's reader.
            if (label == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
                transparent = (block[1] & 1) ? block[4] : -1;
            while (block)
                if (DGifGetExtensionNext(gif.get(), &block) == GIF_ERROR)
                    return Decoded::Declined;
            continue;
        }
        if (type == IMAGE_DESC_RECORD_TYPE)
            break;
        return Decoded::Declined;
    }
    if (DGifGetImageDesc(gif.get()) == GIF_ERROR)
        return Decoded::Declined;
    const GifImageDesc &frame = gif->Image;
    const ColorMapObject *map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    const quint32 w = quint32(gif->SWidth), h = quint32(gif->SHeight);
    if (!map || !w || !h || frame.Left != 0 || frame.Top != 0 || quint32(frame.Width) != w
        || quint32(frame.Height) != h || map->ColorCount < 1 || map->ColorCount > 256)
        return Decoded::Declined;
    if (quint64(w) * h * 4 > kMaxDecodedPageBytes) {
        *error = QStringLiteral("image is too large to decode (%1 x %2 pixels)").arg(w).arg(h);
        return Decoded::Failed;
    }

    std::vector<uchar> indices(size_t(w) * h);
    auto readRow = [&](quint32 y) { return DGifGetLine(gif.get(), indices.data() + size_t(y) * w, int(w)) != GIF_ERROR; };
    if (frame.Interlace) {
        static const quint32 start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (quint32 y = start[pass]; y < h; y += step[pass])
                if (!readRow(y))
                    return Decoded::Declined;
    } else {
        for (quint32 y = 0; y < h; ++y)
            if (!readRow(y))
                return Decoded::Declined;
    }

    const int colours = map->ColorCount;
    std::array<bool, 256> used{};
    for (uchar i : indices)
        used[i] = true;
    for (int i = colours; i < 256; ++i)
        if (used[size_t(i)])
            return Decoded::Declined;
    auto rgb = [&](int i) { return qRgb(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue); };

    if (transparent >= 0 && used[size_t(transparent)]) {
        // Transparency in use: RGBA, the colour of the transparent entry kept.
        out->width = w;
        out->height = h;
        out->bitsPerSample = 8;
        out->samplesPerPixel = 4;
        out->extraSamples = 1;
        out->alphaAssociated = false;
        out->photometric = Photometric::RGB;
        out->colormap.clear();
        out->pixels.resize(size_t(out->byteCount()));
        std::array<std::array<quint8, 4>, 256> rgba{};
        for (int i = 0; i < colours; ++i)
            rgba[size_t(i)] = {quint8(map->Colors[i].Red), quint8(map->Colors[i].Green), quint8(map->Colors[i].Blue),
                               quint8(i == transparent ? 0 : 255)};
        quint8 *d = out->pixels.data();
        for (uchar i : indices) {
            std::memcpy(d, rgba[i].data(), 4);
            d += 4;
        }
        out->iccProfile.clear();
        return Decoded::Ok;
    }

    // A colour listed twice is the first entry that has it, as the page has
    // always told them apart by colour.
    std::array<uchar, 256> first{};
    bool remap = false;
    for (int i = 0; i < colours; ++i) {
        first[size_t(i)] = uchar(i);
        for (int j = 0; j < i; ++j)
            if (rgb(j) == rgb(i)) {
                first[size_t(i)] = uchar(j);
                remap = true;
                break;
            }
    }
    if (remap)
        for (uchar &i : indices)
            i = first[i];
    QImage indexed(indices.data(), int(w), int(h), qsizetype(w), QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < colours; ++i)
        table.append(rgb(i));
    indexed.setColorTable(table);
    Page page;
    if (!pageFromImage(indexed, info, &page, error))
        return Decoded::Failed;
    *out = std::move(page);
    return Decoded::Ok;
}

} // namespace quillon::image::detail
