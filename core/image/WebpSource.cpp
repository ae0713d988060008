// WebP through libwebp. A still image decodes straight into the page; an
// animation gives its first frame composed on the canvas, as GIF does. WebP
// has no orientation of its own: the EXIF one is applied to the pixels.
#include "core/image/CodecSources.h"
#include "core/image/FormatSniffer.h"
#include "core/image/RasterDecoders.h"

#include <cstring>

#include <webp/decode.h>
#include <webp/demux.h>

namespace quillon::image::detail {

namespace {

struct DemuxDelete {
    void operator()(WebPDemuxer *d) const { WebPDemuxDelete(d); }
};
using Demux = std::unique_ptr<WebPDemuxer, DemuxDelete>;

struct AnimDelete {
    void operator()(WebPAnimDecoder *d) const { WebPAnimDecoderDelete(d); }
};

QString corrupt() { return QStringLiteral("truncated or corrupt WebP file"); }

// Demuxing checks the whole chunk structure; nothing is decoded.
Demux demux(const FileBytes &file)
{
    WebPData data{file.data(), size_t(file.size())};
    return Demux(WebPDemux(&data));
}

QByteArray chunk(WebPDemuxer *d, const char *fourcc)
{
    WebPChunkIterator it;
    QByteArray bytes;
    if (WebPDemuxGetChunk(d, fourcc, 1, &it))
        bytes = QByteArray(reinterpret_cast<const char *>(it.chunk.bytes), qsizetype(it.chunk.size));
    WebPDemuxReleaseChunkIterator(&it);
    return bytes;
}

bool decodeStill(const WebPIterator &frame, Page *page, QString *error)
{
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config)) {
        *error = QStringLiteral("cannot decode image: libwebp version mismatch");
        return false;
    }
    const bool alpha = frame.has_alpha;
    page->setLayout(quint32(frame.width), quint32(frame.height), 8, alpha ? 4 : 3, alpha ? 1 : 0, Photometric::RGB);
    page->pixels.resize(size_t(page->byteCount()));
    config.output.colorspace = alpha ? MODE_RGBA : MODE_RGB;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = page->pixels.data();
    config.output.u.RGBA.stride = int(page->bytesPerRow());
    config.output.u.RGBA.size = page->pixels.size();
    const VP8StatusCode rc = WebPDecode(frame.fragment.bytes, frame.fragment.size, &config);
    WebPFreeDecBuffer(&config.output);
    if (rc != VP8_STATUS_OK) {
        *error = QStringLiteral("cannot decode image: libwebp status %1").arg(int(rc));
        return false;
    }
    return true;
}

bool decodeFirstFrame(const FileBytes &file, quint32 w, quint32 h, Page *page, QString *error)
{
    WebPAnimDecoderOptions options;
    if (!WebPAnimDecoderOptionsInit(&options)) {
        *error = QStringLiteral("cannot decode image: libwebp version mismatch");
        return false;
    }
    options.color_mode = MODE_RGBA;
    WebPData data{file.data(), size_t(file.size())};
    std::unique_ptr<WebPAnimDecoder, AnimDelete> dec(WebPAnimDecoderNew(&data, &options));
    uint8_t *canvas = nullptr;
    int timestamp = 0;
    if (!dec || !WebPAnimDecoderGetNext(dec.get(), &canvas, &timestamp) || !canvas) {
        *error = QStringLiteral("cannot decode image: damaged animation frame");
        return false;
    }
    const size_t n = size_t(w) * h;
    bool opaque = true;
    for (size_t i = 0; i < n && opaque; ++i)
        opaque = canvas[4 * i + 3] == 255;
    page->setLayout(w, h, 8, opaque ? 3 : 4, opaque ? 0 : 1, Photometric::RGB);
    page->pixels.resize(size_t(page->byteCount()));
    if (!opaque) {
        std::memcpy(page->pixels.data(), canvas, page->pixels.size());
        return true;
    }
    quint8 *d = page->pixels.data();
    for (size_t i = 0; i < n; ++i, d += 3)
        std::memcpy(d, canvas + 4 * i, 3);
    return true;
}

class WebpSource final : public SinglePageSource {
public:
    WebpSource(const QString &path, quint32 w, quint32 h)
        : SinglePageSource(path, quint64(w) * h * 4), m_width(w), m_height(h)
    {
    }

protected:
    bool decode(const FileBytes &file, Page *out, QString *error) override
    {
        const Demux d = demux(file);
        if (!d) {
            *error = corrupt();
            return false;
        }
        Page page;
        WebPIterator frame;
        if (!WebPDemuxGetFrame(d.get(), 1, &frame)) {
            *error = corrupt();
            return false;
        }
        const bool whole = WebPDemuxGetI(d.get(), WEBP_FF_FRAME_COUNT) == 1 && frame.x_offset == 0 && frame.y_offset == 0
            && quint32(frame.width) == m_width && quint32(frame.height) == m_height;
        const bool ok = whole ? decodeStill(frame, &page, error) : decodeFirstFrame(file, m_width, m_height, &page, error);
        WebPDemuxReleaseIterator(&frame);
        if (!ok)
            return false;
        page.iccProfile = chunk(d.get(), "ICCP");
        page.exif = exifTiffStream(chunk(d.get(), "EXIF"));
        page.xmp = chunk(d.get(), "XMP ");
        applyExifOrientation(&page, exifStreamOrientation(page.exif));
        page.orientation = 1;
        *out = std::move(page);
        return true;
    }

private:
    quint32 m_width;
    quint32 m_height;
};

} // namespace

std::unique_ptr<ImageSource> openWebpSource(const QString &path, QString *error)
{
    const FileBytes file(path);
    if (!file.isOpen()) {
        *error = file.errorString();
        return nullptr;
    }
    const Demux d = demux(file);
    if (!d) {
        *error = corrupt();
        return nullptr;
    }
    const quint32 w = WebPDemuxGetI(d.get(), WEBP_FF_CANVAS_WIDTH), h = WebPDemuxGetI(d.get(), WEBP_FF_CANVAS_HEIGHT);
    if (!w || !h || WebPDemuxGetI(d.get(), WEBP_FF_FRAME_COUNT) < 1) {
        *error = QStringLiteral("WebP file without an image");
        return nullptr;
    }
    if (quint64(w) * h * 4 > kMaxDecodedPageBytes) {
        *error = QStringLiteral("image is too large to decode (%1 x %2 pixels)").arg(w).arg(h);
        return nullptr;
    }
    return std::make_unique<WebpSource>(path, w, h);
}

int countWebpFrames(const QString &path)
{
    const FileBytes file(path);
    if (!file.isOpen())
        return 0;
    const Demux d = demux(file);
    return d ? int(WebPDemuxGetI(d.get(), WEBP_FF_FRAME_COUNT)) : 0;
}

} // namespace quillon::image::detail
