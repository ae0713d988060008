// Test files of the formats read through their own libraries, made with those
// libraries' encoders.
#include "common/ImageFactory.h"

#include <QFile>
#include <QSysInfo>

#include <cstring>
#include <memory>

#include <jxl/encode.h>
#include <jxl/encode_cxx.h>
#include <libheif/heif.h>
#include <webp/encode.h>
#include <webp/mux.h>

namespace quillon::testing {

namespace {

bool fail(QString *why, const QString &text)
{
    if (why)
        *why = text;
    return false;
}

bool save(const QString &path, const uint8_t *data, size_t size, QString *why)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(reinterpret_cast<const char *>(data), qint64(size)) != qint64(size))
        return fail(why, f.errorString());
    return true;
}

bool rgb8(const Page &p)
{
    return p.bitsPerSample == 8 && p.photometric == Photometric::RGB && (p.samplesPerPixel == 3 || p.samplesPerPixel == 4);
}

// An EXIF block's TIFF stream with one IFD entry: the orientation.
QByteArray orientationExif(int orientation)
{
    QByteArray t("II*\0\x08\0\0\0", 8);
    const char entry[] = {1, 0, 0x12, 0x01, 3, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    t.append(entry, sizeof entry);
    t[8 + 2 + 8] = char(orientation);
    return t;
}

// With a heif_image, its channel planes filled from a page.
struct HeifImageFree {
    void operator()(heif_image *i) const { heif_image_release(i); }
};

} // namespace

QByteArray exifWithOrientation(int orientation) { return orientationExif(orientation); }

bool writeWebp(const QString &path, const std::vector<Page> &frames, const CodecOptions &options, QString *why)
{
    if (frames.empty() || !std::all_of(frames.begin(), frames.end(), rgb8))
        return fail(why, QStringLiteral("WebP takes 8-bit RGB or RGBA pages"));
    WebPAnimEncoderOptions animOptions;
    if (!WebPAnimEncoderOptionsInit(&animOptions))
        return fail(why, QStringLiteral("libwebp version mismatch"));
    const Page &first = frames.front();
    std::unique_ptr<WebPAnimEncoder, void (*)(WebPAnimEncoder *)> anim(
        WebPAnimEncoderNew(int(first.width), int(first.height), &animOptions), WebPAnimEncoderDelete);
    WebPConfig config;
    WebPConfigInit(&config);
    config.lossless = options.lossless;
    config.quality = float(options.quality);
    config.exact = 1; // keep the colour under transparent pixels
    int timestamp = 0;
    for (const Page &p : frames) {
        WebPPicture pic;
        WebPPictureInit(&pic);
        pic.use_argb = 1;
        pic.width = int(p.width);
        pic.height = int(p.height);
        const bool ok = p.samplesPerPixel == 4 ? WebPPictureImportRGBA(&pic, p.pixels.data(), int(p.bytesPerRow()))
                                               : WebPPictureImportRGB(&pic, p.pixels.data(), int(p.bytesPerRow()));
        const bool added = ok && WebPAnimEncoderAdd(anim.get(), &pic, timestamp, &config);
        WebPPictureFree(&pic);
        if (!added)
            return fail(why, QStringLiteral("WebP encoding failed"));
        timestamp += 100;
    }
    WebPAnimEncoderAdd(anim.get(), nullptr, timestamp, nullptr);
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAssemble(anim.get(), &data))
        return fail(why, QStringLiteral("WebP assembling failed"));
    // A single frame is written as a still image; metadata goes in its chunks.
    std::unique_ptr<WebPMux, void (*)(WebPMux *)> mux(WebPMuxCreate(&data, 1), WebPMuxDelete);
    WebPDataClear(&data);
    if (!mux)
        return fail(why, QStringLiteral("WebP mux failed"));
    auto setChunk = [&](const char *fourcc, const QByteArray &bytes) {
        if (bytes.isEmpty())
            return true;
        const WebPData chunk{reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size())};
        return WebPMuxSetChunk(mux.get(), fourcc, &chunk, 1) == WEBP_MUX_OK;
    };
    QByteArray exif = options.exif;
    if (options.exifPrefix && !exif.isEmpty())
        exif.prepend(QByteArray("Exif\0\0", 6));
    if (!setChunk("ICCP", options.icc) || !setChunk("EXIF", exif) || !setChunk("XMP ", options.xmp))
        return fail(why, QStringLiteral("WebP metadata failed"));
    WebPData out;
    WebPDataInit(&out);
    if (WebPMuxAssemble(mux.get(), &out) != WEBP_MUX_OK)
        return fail(why, QStringLiteral("WebP mux assembling failed"));
    const bool saved = save(path, out.bytes, out.size, why);
    WebPDataClear(&out);
    return saved;
}

bool writeJxl(const QString &path, const Page &page, const CodecOptions &options, QString *why)
{
    const bool grey = page.photometric == Photometric::MinIsBlack;
    if ((page.bitsPerSample != 8 && page.bitsPerSample != 16) || (!grey && page.photometric != Photometric::RGB))
        return fail(why, QStringLiteral("JPEG XL takes 8/16-bit grey or RGB pages"));
    JxlEncoderPtr enc = JxlEncoderMake(nullptr);
    JxlEncoderUseBoxes(enc.get());
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = page.width;
    info.ysize = page.height;
    info.bits_per_sample = options.significantBits ? uint32_t(options.significantBits) : page.bitsPerSample;
    info.num_color_channels = grey ? 1 : 3;
    info.num_extra_channels = page.extraSamples;
    info.alpha_bits = page.extraSamples ? info.bits_per_sample : 0;
    info.alpha_premultiplied = page.alphaAssociated;
    info.uses_original_profile = options.lossless;
    info.orientation = JxlOrientation(options.orientation);
    if (JxlEncoderSetBasicInfo(enc.get(), &info) != JXL_ENC_SUCCESS)
        return fail(why, QStringLiteral("JPEG XL basic info refused"));
    if (!options.icc.isEmpty()) {
        if (JxlEncoderSetICCProfile(enc.get(), reinterpret_cast<const uint8_t *>(options.icc.constData()),
                                    size_t(options.icc.size())) != JXL_ENC_SUCCESS)
            return fail(why, QStringLiteral("JPEG XL profile refused"));
    } else {
        JxlColorEncoding c;
        JxlColorEncodingSetToSRGB(&c, grey);
        JxlEncoderSetColorEncoding(enc.get(), &c);
    }
    auto addBox = [&](const char *type, const QByteArray &bytes) {
        return bytes.isEmpty()
            || JxlEncoderAddBox(enc.get(), type, reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()),
                                options.compressBoxes) == JXL_ENC_SUCCESS;
    };
    if (!addBox("Exif", options.exif.isEmpty() ? QByteArray() : QByteArray(4, '\0') + options.exif)
        || !addBox("xml ", options.xmp))
        return fail(why, QStringLiteral("JPEG XL box refused"));
    JxlEncoderCloseBoxes(enc.get());
    JxlEncoderFrameSettings *frame = JxlEncoderFrameSettingsCreate(enc.get(), nullptr);
    if (options.lossless)
        JxlEncoderSetFrameLossless(frame, JXL_TRUE);
    else
        JxlEncoderSetFrameDistance(frame, 1.0f);
    JxlEncoderFrameSettingsSetOption(frame, JXL_ENC_FRAME_SETTING_EFFORT, 3);
    const JxlPixelFormat format{page.samplesPerPixel, page.bitsPerSample == 16 ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8,
                                JXL_NATIVE_ENDIAN, 0};
    std::vector<quint8> pixels = page.pixels;
    if (options.significantBits && page.bitsPerSample == 16) {
        // The encoder takes full-range samples and keeps the top bits.
        auto *s = reinterpret_cast<quint16 *>(pixels.data());
        const quint32 max = (1u << options.significantBits) - 1;
        for (size_t i = 0; i < pixels.size() / 2; ++i)
            s[i] = quint16((quint32(s[i] >> (16 - options.significantBits)) * 65535u + max / 2) / max);
    }
    if (JxlEncoderAddImageFrame(frame, &format, pixels.data(), pixels.size()) != JXL_ENC_SUCCESS)
        return fail(why, QStringLiteral("JPEG XL frame refused"));
    JxlEncoderCloseInput(enc.get());
    std::vector<uint8_t> out(4096);
    uint8_t *next = out.data();
    size_t avail = out.size();
    JxlEncoderStatus rc;
    while ((rc = JxlEncoderProcessOutput(enc.get(), &next, &avail)) == JXL_ENC_NEED_MORE_OUTPUT) {
        const size_t used = size_t(next - out.data());
        out.resize(out.size() * 2);
        next = out.data() + used;
        avail = out.size() - used;
    }
    if (rc != JXL_ENC_SUCCESS)
        return fail(why, QStringLiteral("JPEG XL encoding failed"));
    return save(path, out.data(), size_t(next - out.data()), why);
}

bool writeHeif(const QString &path, const std::vector<Page> &pages, const CodecOptions &options, QString *why)
{
    std::unique_ptr<heif_context, void (*)(heif_context *)> ctx(heif_context_alloc(), heif_context_free);
    heif_encoder *rawEncoder = nullptr;
    heif_error e = heif_context_get_encoder_for_format(ctx.get(), options.avif ? heif_compression_AV1 : heif_compression_HEVC,
                                                       &rawEncoder);
    if (e.code != heif_error_Ok)
        return fail(why, QStringLiteral("no HEIF encoder: %1").arg(QString::fromUtf8(e.message)));
    std::unique_ptr<heif_encoder, void (*)(heif_encoder *)> encoder(rawEncoder, heif_encoder_release);
    if (options.lossless) {
        heif_encoder_set_lossless(encoder.get(), 1);
        heif_encoder_set_parameter_string(encoder.get(), "chroma", "444");
    } else {
        heif_encoder_set_lossy_quality(encoder.get(), options.quality);
        // libaom 3.6 aborts on deep samples in anything but 4:2:0.
        heif_encoder_set_parameter_string(encoder.get(), "chroma", "420");
    }
    // Lossless RGB through the identity matrix; lossy through the usual one.
    std::unique_ptr<heif_color_profile_nclx, void (*)(heif_color_profile_nclx *)> nclx(heif_nclx_color_profile_alloc(),
                                                                                       heif_nclx_color_profile_free);
    nclx->matrix_coefficients = options.lossless ? heif_matrix_coefficients_RGB_GBR : heif_matrix_coefficients_ITU_R_BT_601_6;
    nclx->full_range_flag = 1;
    std::unique_ptr<heif_encoding_options, void (*)(heif_encoding_options *)> encoding(heif_encoding_options_alloc(),
                                                                                        heif_encoding_options_free);
    encoding->output_nclx_profile = nclx.get();
    encoding->image_orientation = heif_orientation(options.orientation);
    bool firstPage = true;
    for (const Page &p : pages) {
        const bool alpha = p.extraSamples == 1;
        if (p.photometric != Photometric::RGB || (p.bitsPerSample != 8 && p.bitsPerSample != 16))
            return fail(why, QStringLiteral("HEIF takes 8/16-bit RGB pages"));
        const bool deep = p.bitsPerSample == 16;
        const int bits = deep ? options.significantBits : 8;
        const bool little = QSysInfo::ByteOrder == QSysInfo::LittleEndian;
        const heif_chroma chroma = !deep ? (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB)
            : alpha ? (little ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBBAA_BE)
                    : (little ? heif_chroma_interleaved_RRGGBB_LE : heif_chroma_interleaved_RRGGBB_BE);
        heif_image *raw = nullptr;
        e = heif_image_create(int(p.width), int(p.height), heif_colorspace_RGB, chroma, &raw);
        std::unique_ptr<heif_image, HeifImageFree> img(raw);
        if (e.code != heif_error_Ok || heif_image_add_plane(raw, heif_channel_interleaved, int(p.width), int(p.height), bits).code != heif_error_Ok)
            return fail(why, QStringLiteral("HEIF image refused"));
        int stride = 0;
        uint8_t *plane = heif_image_get_plane(raw, heif_channel_interleaved, &stride);
        for (quint32 y = 0; y < p.height; ++y) {
            std::memcpy(plane + qint64(y) * stride, p.pixels.data() + y * p.bytesPerRow(), size_t(p.bytesPerRow()));
            if (deep) // keep the significant bits
                for (quint32 i = 0; i < p.width * p.samplesPerPixel; ++i) {
                    auto *s = reinterpret_cast<quint16 *>(plane + qint64(y) * stride) + i;
                    *s = quint16(*s >> (16 - bits));
                }
        }
        if (!options.icc.isEmpty())
            heif_image_set_raw_color_profile(raw, "prof", options.icc.constData(), size_t(options.icc.size()));
        heif_image_handle *handle = nullptr;
        e = heif_context_encode_image(ctx.get(), raw, encoder.get(), encoding.get(), &handle);
        if (e.code != heif_error_Ok)
            return fail(why, QStringLiteral("HEIF encoding failed: %1").arg(QString::fromUtf8(e.message)));
        if (firstPage && !options.exif.isEmpty())
            heif_context_add_exif_metadata(ctx.get(), handle, options.exif.constData(), int(options.exif.size()));
        if (firstPage && !options.xmp.isEmpty())
            heif_context_add_XMP_metadata(ctx.get(), handle, options.xmp.constData(), int(options.xmp.size()));
        heif_image_handle_release(handle);
        firstPage = false;
    }
    e = heif_context_write_to_file(ctx.get(), QFile::encodeName(path).constData());
    if (e.code != heif_error_Ok)
        return fail(why, QStringLiteral("HEIF writing failed: %1").arg(QString::fromUtf8(e.message)));
    return true;
}

} // namespace quillon::testing
