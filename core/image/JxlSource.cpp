// JPEG XL through libjxl. libjxl turns the pixels upright itself (the
// codestream's orientation rules; the format has an EXIF orientation ignored
// by design). Samples deeper than 8 bits come out as 16-bit ones, which
// libjxl scales to full range; an animation gives its first frame.
#include "core/image/CodecSources.h"
#include "core/image/FormatSniffer.h"

#include <cstring>
#include <vector>

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/thread_parallel_runner.h>
#include <jxl/thread_parallel_runner_cxx.h>

namespace quillon::image::detail {

namespace {

QString corrupt() { return QStringLiteral("truncated or corrupt JPEG XL file"); }

// Metadata boxes larger than this (after Brotli) are dropped, not read.
constexpr size_t kMaxBoxBytes = size_t(16) << 20;

struct Header {
    quint32 width = 0;  // upright
    quint32 height = 0;
    int channels = 0;   // colour plus alpha
    bool deep = false;
};

// Runs the decoder over the whole file up to the basic info.
bool readBasicInfo(const FileBytes &file, JxlBasicInfo *info, QString *error)
{
    JxlDecoderPtr dec = JxlDecoderMake(nullptr);
    if (!dec || JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO) != JXL_DEC_SUCCESS
        || JxlDecoderSetInput(dec.get(), file.data(), size_t(file.size())) != JXL_DEC_SUCCESS) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    JxlDecoderCloseInput(dec.get());
    if (JxlDecoderProcessInput(dec.get()) != JXL_DEC_BASIC_INFO
        || JxlDecoderGetBasicInfo(dec.get(), info) != JXL_DEC_SUCCESS) {
        *error = corrupt();
        return false;
    }
    return true;
}

Header headerOf(const JxlBasicInfo &info)
{
    Header h;
    const bool swap = info.orientation >= JXL_ORIENT_TRANSPOSE;
    h.width = swap ? info.ysize : info.xsize;
    h.height = swap ? info.xsize : info.ysize;
    h.channels = int(info.num_color_channels) + (info.alpha_bits ? 1 : 0);
    h.deep = info.bits_per_sample > 8 || info.exponent_bits_per_sample > 0;
    return h;
}

quint64 bytesOf(const Header &h) { return quint64(h.width) * h.height * quint64(h.channels) * (h.deep ? 2 : 1); }

bool isPlainSrgb(const JxlColorEncoding &c)
{
    return c.white_point == JXL_WHITE_POINT_D65 && c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB
        && (c.color_space == JXL_COLOR_SPACE_GRAY
            || (c.color_space == JXL_COLOR_SPACE_RGB && c.primaries == JXL_PRIMARIES_SRGB));
}

// The profile of the decoded pixels; none for plain sRGB described without
// one, as a PNG or JPEG without a profile is read.
QByteArray dataProfile(JxlDecoder *dec)
{
    JxlColorEncoding encoding;
    if (JxlDecoderGetColorAsEncodedProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &encoding) == JXL_DEC_SUCCESS
        && isPlainSrgb(encoding))
        return {};
    size_t size = 0;
    if (JxlDecoderGetICCProfileSize(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) != JXL_DEC_SUCCESS || !size)
        return {};
    QByteArray icc(qsizetype(size), Qt::Uninitialized);
    if (JxlDecoderGetColorAsICCProfile(dec, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       reinterpret_cast<uint8_t *>(icc.data()), size) != JXL_DEC_SUCCESS)
        return {};
    return icc;
}

// Collects the "Exif" and "xml " boxes as the decoder passes them.
class Boxes {
public:
    void begin(JxlDecoder *dec)
    {
        finish(dec);
        JxlBoxType type;
        if (JxlDecoderGetBoxType(dec, type, JXL_TRUE) != JXL_DEC_SUCCESS)
            return;
        if (std::memcmp(type, "Exif", 4) == 0)
            m_target = &m_exif;
        else if (std::memcmp(type, "xml ", 4) == 0)
            m_target = &m_xmp;
        else
            return;
        if (!m_target->isEmpty()) { // the first box of a kind counts
            m_target = nullptr;
            return;
        }
        m_buffer.resize(64 << 10);
        m_used = 0;
        JxlDecoderSetBoxBuffer(dec, m_buffer.data(), m_buffer.size());
    }

    // The box buffer is full: grow it, or give the box up past the limit.
    void more(JxlDecoder *dec)
    {
        const size_t left = JxlDecoderReleaseBoxBuffer(dec);
        m_used = m_buffer.size() - left;
        if (!m_target || m_buffer.size() * 2 > kMaxBoxBytes) {
            m_target = nullptr;
            m_buffer.resize(64 << 10); // drained into scratch space from here on
            JxlDecoderSetBoxBuffer(dec, m_buffer.data(), m_buffer.size());
            return;
        }
        m_buffer.resize(m_buffer.size() * 2);
        JxlDecoderSetBoxBuffer(dec, m_buffer.data() + m_used, m_buffer.size() - m_used);
    }

    void finish(JxlDecoder *dec)
    {
        if (!m_target)
            return;
        const size_t left = JxlDecoderReleaseBoxBuffer(dec);
        *m_target = QByteArray(reinterpret_cast<const char *>(m_buffer.data()), qsizetype(m_buffer.size() - left));
        m_target = nullptr;
    }

    QByteArray exif() const
    {
        // A 4-byte offset to the TIFF header comes first.
        if (m_exif.size() < 4)
            return {};
        const quint32 skip = quint32(uchar(m_exif[0])) << 24 | quint32(uchar(m_exif[1])) << 16
            | quint32(uchar(m_exif[2])) << 8 | uchar(m_exif[3]);
        return skip <= quint32(m_exif.size() - 4) ? exifTiffStream(m_exif.mid(qsizetype(4 + skip))) : QByteArray();
    }
    const QByteArray &xmp() const { return m_xmp; }

private:
    std::vector<uint8_t> m_buffer;
    size_t m_used = 0;
    QByteArray *m_target = nullptr;
    QByteArray m_exif;
    QByteArray m_xmp;
};

class JxlSource final : public SinglePageSource {
public:
    explicit JxlSource(const QString &path, const Header &header) : SinglePageSource(path, bytesOf(header)) {}

protected:
    bool decode(const FileBytes &file, Page *out, QString *error) override
    {
        JxlDecoderPtr dec = JxlDecoderMake(nullptr);
        JxlThreadParallelRunnerPtr runner =
            JxlThreadParallelRunnerMake(nullptr, std::min<size_t>(JxlThreadParallelRunnerDefaultNumWorkerThreads(), 4));
        if (!dec || !runner
            || JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE
                                                        | JXL_DEC_BOX) != JXL_DEC_SUCCESS
            || JxlDecoderSetParallelRunner(dec.get(), JxlThreadParallelRunner, runner.get()) != JXL_DEC_SUCCESS
            || JxlDecoderSetDecompressBoxes(dec.get(), JXL_TRUE) != JXL_DEC_SUCCESS
            || JxlDecoderSetInput(dec.get(), file.data(), size_t(file.size())) != JXL_DEC_SUCCESS) {
            *error = QStringLiteral("out of memory");
            return false;
        }
        JxlDecoderCloseInput(dec.get());
        Page page;
        Boxes boxes;
        JxlBasicInfo info{};
        Header header;
        JxlPixelFormat format{};
        bool haveImage = false;
        while (true) {
            const JxlDecoderStatus status = JxlDecoderProcessInput(dec.get());
            switch (status) {
            case JXL_DEC_BASIC_INFO: {
                if (JxlDecoderGetBasicInfo(dec.get(), &info) != JXL_DEC_SUCCESS) {
                    *error = corrupt();
                    return false;
                }
                header = headerOf(info);
                // The file may not be the one measured when it was opened.
                if (bytesOf(header) > kMaxDecodedPageBytes) {
                    *error = QStringLiteral("image is too large to decode (%1 x %2 pixels)")
                                 .arg(header.width)
                                 .arg(header.height);
                    return false;
                }
                const bool grey = info.num_color_channels == 1;
                const quint16 spp = quint16(header.channels);
                page.setLayout(header.width, header.height, header.deep ? 16 : 8, spp, info.alpha_bits ? 1 : 0,
                               grey ? Photometric::MinIsBlack : Photometric::RGB);
                page.alphaAssociated = info.alpha_bits && info.alpha_premultiplied;
                format = {uint32_t(spp), header.deep ? JXL_TYPE_UINT16 : JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
                break;
            }
            case JXL_DEC_COLOR_ENCODING:
                page.iccProfile = dataProfile(dec.get());
                break;
            case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
                size_t size = 0;
                if (JxlDecoderImageOutBufferSize(dec.get(), &format, &size) != JXL_DEC_SUCCESS
                    || size != page.byteCount()) {
                    *error = QStringLiteral("cannot decode image: unexpected image size");
                    return false;
                }
                page.pixels.resize(size);
                if (JxlDecoderSetImageOutBuffer(dec.get(), &format, page.pixels.data(), size) != JXL_DEC_SUCCESS) {
                    *error = QStringLiteral("cannot decode image: unexpected pixel format");
                    return false;
                }
                break;
            }
            case JXL_DEC_FULL_IMAGE:
                haveImage = true;
                // An animation's later frames are not needed; a still image's
                // trailing boxes may still hold its metadata.
                if (info.have_animation)
                    return finish(&page, boxes, out);
                break;
            case JXL_DEC_BOX:
                boxes.begin(dec.get());
                break;
            case JXL_DEC_BOX_NEED_MORE_OUTPUT:
                boxes.more(dec.get());
                break;
            case JXL_DEC_SUCCESS:
                boxes.finish(dec.get());
                if (!haveImage) {
                    *error = corrupt();
                    return false;
                }
                return finish(&page, boxes, out);
            default:
                // Metadata cut off after a complete image loses only itself.
                if (haveImage)
                    return finish(&page, boxes, out);
                *error = status == JXL_DEC_NEED_MORE_INPUT ? corrupt() : QStringLiteral("cannot decode image: corrupt JPEG XL data");
                return false;
            }
        }
    }

private:
    static bool finish(Page *page, const Boxes &boxes, Page *out)
    {
        page->exif = boxes.exif();
        page->xmp = boxes.xmp();
        page->orientation = 1;
        *out = std::move(*page);
        return true;
    }
};

} // namespace

std::unique_ptr<ImageSource> openJxlSource(const QString &path, QString *error)
{
    const FileBytes file(path);
    if (!file.isOpen()) {
        *error = file.errorString();
        return nullptr;
    }
    JxlBasicInfo info;
    if (!readBasicInfo(file, &info, error))
        return nullptr;
    const Header header = headerOf(info);
    if (!header.width || !header.height || header.channels < 1) {
        *error = corrupt();
        return nullptr;
    }
    if (bytesOf(header) > kMaxDecodedPageBytes) {
        *error = QStringLiteral("image is too large to decode (%1 x %2 pixels)").arg(header.width).arg(header.height);
        return nullptr;
    }
    return std::make_unique<JxlSource>(path, header);
}

int countJxlFrames(const QString &path)
{
    const FileBytes file(path);
    if (!file.isOpen())
        return 0;
    JxlDecoderPtr dec = JxlDecoderMake(nullptr);
    if (!dec || JxlDecoderSubscribeEvents(dec.get(), JXL_DEC_BASIC_INFO | JXL_DEC_FRAME) != JXL_DEC_SUCCESS
        || JxlDecoderSetInput(dec.get(), file.data(), size_t(file.size())) != JXL_DEC_SUCCESS)
        return 0;
    JxlDecoderCloseInput(dec.get());
    int frames = 0;
    bool basic = false;
    // Frame headers only: libjxl skips each frame's data.
    for (int guard = 0; guard < 100000; ++guard) {
        switch (JxlDecoderProcessInput(dec.get())) {
        case JXL_DEC_BASIC_INFO: basic = true; break;
        case JXL_DEC_FRAME: ++frames; break;
        case JXL_DEC_SUCCESS: return frames;
        default: return basic ? std::max(frames, 1) : 0;
        }
    }
    return frames;
}

} // namespace quillon::image::detail
