// HEIF and AVIF through libheif. The top-level images are the pages; libheif
// applies each image's rotation, mirroring and crop, so pages come out
// upright. Colour and grey images both come out as RGB (libheif 1.15 does not
// tell a grey image before decoding it).
#include "core/image/CodecSources.h"
#include "core/image/FormatSniffer.h"

#include <QSysInfo>

#include <cstring>
#include <vector>

#include <libheif/heif.h>

namespace quillon::image::detail {

namespace {

struct ContextFree {
    void operator()(heif_context *c) const { heif_context_free(c); }
};
struct HandleRelease {
    void operator()(const heif_image_handle *h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
    void operator()(const heif_image *i) const { heif_image_release(i); }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;
using Image = std::unique_ptr<heif_image, ImageRelease>;

QString heifError(const char *what, const heif_error &e)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromUtf8(e.message ? e.message : ""));
}

// The file's context (boxes parsed, nothing decoded) over the mapped bytes.
Context readContext(const FileBytes &file, QString *error)
{
    Context ctx(heif_context_alloc());
    if (!ctx) {
        *error = QStringLiteral("out of memory");
        return nullptr;
    }
    const heif_error e = heif_context_read_from_memory_without_copy(ctx.get(), file.data(), size_t(file.size()), nullptr);
    if (e.code != heif_error_Ok) {
        // libheif refuses declared sizes past its own limit before allocating.
        *error = e.subcode == heif_suberror_Security_limit_exceeded ? heifError("image is too large to decode", e)
                                                                    : heifError("corrupt HEIF file", e);
        return nullptr;
    }
    return ctx;
}

int bytesPerPixel(const heif_image_handle *h)
{
    const int samples = heif_image_handle_has_alpha_channel(h) ? 4 : 3;
    return heif_image_handle_get_luma_bits_per_pixel(h) > 8 ? 2 * samples : samples;
}

void readMetadata(const heif_image_handle *h, Page *out)
{
    const int n = heif_image_handle_get_number_of_metadata_blocks(h, nullptr);
    if (n <= 0)
        return;
    std::vector<heif_item_id> ids(static_cast<size_t>(n));
    heif_image_handle_get_list_of_metadata_block_IDs(h, nullptr, ids.data(), n);
    for (heif_item_id id : ids) {
        const QByteArray type = heif_image_handle_get_metadata_type(h, id);
        const QByteArray content = heif_image_handle_get_metadata_content_type(h, id);
        const size_t size = heif_image_handle_get_metadata_size(h, id);
        if (size == 0 || size > (size_t(64) << 20))
            continue;
        QByteArray data(qsizetype(size), Qt::Uninitialized);
        if (heif_image_handle_get_metadata(h, id, data.data()).code != heif_error_Ok)
            continue;
        if (type == "Exif" && out->exif.isEmpty() && size >= 4) {
            // A 4-byte offset to the TIFF header comes first.
            const quint32 skip = quint32(uchar(data[0])) << 24 | quint32(uchar(data[1])) << 16
                | quint32(uchar(data[2])) << 8 | uchar(data[3]);
            if (skip <= size - 4)
                out->exif = exifTiffStream(data.mid(qsizetype(4 + skip)));
        } else if (type == "mime" && content == "application/rdf+xml" && out->xmp.isEmpty()) {
            out->xmp = data;
        }
    }
}

class HeifSource final : public ImageSource {
public:
    HeifSource(std::unique_ptr<FileBytes> file, Context ctx, std::vector<heif_item_id> ids, std::vector<quint64> sizes)
        : m_file(std::move(file)), m_ctx(std::move(ctx)), m_ids(std::move(ids)), m_sizes(std::move(sizes))
    {
    }

    int pageCount() const override { return int(m_ids.size()); }
    quint64 decodedSize(int index) const override
    {
        return index >= 0 && size_t(index) < m_sizes.size() ? m_sizes[size_t(index)] : 0;
    }

    bool readPage(int index, Page *out, QString *error) override
    {
        if (index < 0 || size_t(index) >= m_ids.size()) {
            *error = QStringLiteral("page %1 does not exist").arg(index + 1);
            return false;
        }
        heif_image_handle *raw = nullptr;
        heif_error e = heif_context_get_image_handle(m_ctx.get(), m_ids[size_t(index)], &raw);
        Handle handle(raw);
        if (e.code != heif_error_Ok) {
            *error = heifError("corrupt HEIF file", e);
            return false;
        }
        const heif_image_handle *h = handle.get();
        if (m_sizes[size_t(index)] > kMaxDecodedPageBytes) {
            *error = QStringLiteral("image is too large to decode (%1 x %2 pixels)")
                         .arg(heif_image_handle_get_width(h))
                         .arg(heif_image_handle_get_height(h));
            return false;
        }
        const bool alpha = heif_image_handle_has_alpha_channel(h);
        const bool deep = heif_image_handle_get_luma_bits_per_pixel(h) > 8;
        const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
        const heif_chroma chroma = !deep ? (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB)
            : alpha ? (little ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBBAA_BE)
                    : (little ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RRGGBB_BE);
        heif_image *decoded = nullptr;
        e = heif_decode_image(h, &decoded, heif_colorspace_RGB, chroma, nullptr);
        Image img(decoded);
        if (e.code != heif_error_Ok || !img) {
            *error = QStringLiteral("cannot decode image: %1").arg(QString::fromUtf8(e.message ? e.message : ""));
            return false;
        }
        const int w = heif_image_get_width(img.get(), heif_channel_interleaved);
        const int hgt = heif_image_get_height(img.get(), heif_channel_interleaved);
        int stride = 0;
        const uint8_t *plane = heif_image_get_plane_readonly(img.get(), heif_channel_interleaved, &stride);
        if (!plane || w <= 0 || hgt <= 0) {
            *error = QStringLiteral("cannot decode image: no pixels");
            return false;
        }
        Page page;
        const quint16 spp = alpha ? 4 : 3;
        page.setLayout(quint32(w), quint32(hgt), deep ? 16 : 8, spp, alpha ? 1 : 0, Photometric::RGB);
        page.alphaAssociated = alpha && heif_image_handle_is_premultiplied_alpha(h);
        const quint64 bpr = page.bytesPerRow();
        if (quint64(stride) < bpr || page.byteCount() > kMaxDecodedPageBytes) {
            *error = QStringLiteral("cannot decode image: unexpected row layout");
            return false;
        }
        page.pixels.resize(size_t(page.byteCount()));
        for (int y = 0; y < hgt; ++y)
            std::memcpy(page.pixels.data() + quint64(y) * bpr, plane + qint64(y) * stride, size_t(bpr));
        if (deep) {
            const int bits = heif_image_get_bits_per_pixel_range(img.get(), heif_channel_interleaved);
            widenTo16(reinterpret_cast<quint16 *>(page.pixels.data()), page.pixels.size() / 2, bits);
        }
        const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(h);
        if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
            const size_t n = heif_image_handle_get_raw_color_profile_size(h);
            QByteArray icc(qsizetype(n), Qt::Uninitialized);
            if (n && heif_image_handle_get_raw_color_profile(h, icc.data()).code == heif_error_Ok)
                page.iccProfile = icc;
        }
        readMetadata(h, &page);
        *out = std::move(page);
        return true;
    }

private:
    std::unique_ptr<FileBytes> m_file; // the context reads from these bytes
    Context m_ctx;
    std::vector<heif_item_id> m_ids;
    std::vector<quint64> m_sizes;
};

std::vector<heif_item_id> topLevelImages(heif_context *ctx)
{
    const int n = heif_context_get_number_of_top_level_images(ctx);
    std::vector<heif_item_id> ids(static_cast<size_t>(std::max(n, 0)));
    if (n > 0)
        ids.resize(size_t(heif_context_get_list_of_top_level_image_IDs(ctx, ids.data(), n)));
    return ids;
}

} // namespace

std::unique_ptr<ImageSource> openHeifSource(const QString &path, QString *error)
{
    auto file = std::make_unique<FileBytes>(path);
    if (!file->isOpen()) {
        *error = file->errorString();
        return nullptr;
    }
    Context ctx = readContext(*file, error);
    if (!ctx)
        return nullptr;
    std::vector<heif_item_id> ids = topLevelImages(ctx.get());
    if (ids.empty()) {
        *error = QStringLiteral("HEIF file without an image");
        return nullptr;
    }
    std::vector<quint64> sizes;
    for (heif_item_id id : ids) {
        heif_image_handle *raw = nullptr;
        quint64 bytes = 0;
        if (heif_context_get_image_handle(ctx.get(), id, &raw).code == heif_error_Ok) {
            Handle h(raw);
            bytes = quint64(std::max(heif_image_handle_get_width(raw), 0))
                * quint64(std::max(heif_image_handle_get_height(raw), 0)) * quint64(bytesPerPixel(raw));
        }
        sizes.push_back(bytes);
    }
    if (ids.size() == 1 && sizes[0] > kMaxDecodedPageBytes) {
        *error = QStringLiteral("image is too large to decode");
        return nullptr;
    }
    return std::make_unique<HeifSource>(std::move(file), std::move(ctx), std::move(ids), std::move(sizes));
}

int countHeifImages(const QString &path)
{
    const FileBytes file(path);
    if (!file.isOpen())
        return 0;
    QString ignored;
    const Context ctx = readContext(file, &ignored);
    return ctx ? std::max(heif_context_get_number_of_top_level_images(ctx.get()), 0) : 0;
}

} // namespace quillon::image::detail
