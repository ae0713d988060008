// JPEG through libjpeg-turbo's own API: straight into the page's rows, grey
// only when the output is going to be bilevel, CMYK kept as ink.
#include "core/image/CodecSources.h"
#include "core/image/RasterDecoders.h"

#include <QColorSpace>

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE
#include <cstring>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

namespace quillon::image::detail {

namespace {

// Far more than any encoder writes; a file with more is a CPU bomb.
constexpr int kMaxScans = 1000;

// libjpeg reports errors by calling back; the callback jumps out of the
// decode. Everything the decode touches lives in this object, in memory, so
// nothing is lost or stale after the jump.
struct Job {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    jpeg_progress_mgr progress{};
    std::jmp_buf jump{};
    bool created = false;
    int warnings = 0;         // corrupt-data warnings, the end of data aside
    bool ranDry = false;      // the data ended before EOI
    char message[JMSG_LENGTH_MAX] = {};
    char firstWarning[JMSG_LENGTH_MAX] = {};
    std::vector<JSAMPROW> rows;

    ~Job()
    {
        if (created)
            jpeg_destroy_decompress(&cinfo);
    }
};

Job *jobOf(j_common_ptr c)
{
    return static_cast<Job *>(c->client_data);
}

void onError(j_common_ptr c)
{
    Job *job = jobOf(c);
    (*c->err->format_message)(c, job->message);
    std::longjmp(job->jump, 1);
}

void onMessage(j_common_ptr c, int level)
{
    if (level >= 0)
        return; // trace messages
    Job *job = jobOf(c);
    if (c->err->msg_code == JWRN_JPEG_EOF) {
        job->ranDry = true;
        return;
    }
    if (!job->warnings++)
        (*c->err->format_message)(c, job->firstWarning);
}

void onProgress(j_common_ptr c)
{
    const auto *d = reinterpret_cast<j_decompress_ptr>(c);
    if (c->is_decompressor && d->input_scan_number > kMaxScans) {
        std::snprintf(jobOf(c)->message, JMSG_LENGTH_MAX, "more than %d scans", kMaxScans);
        std::longjmp(jobOf(c)->jump, 1);
    }
}

// Set up and header read; call right after setjmp.
void start(Job &job, const uchar *p, qint64 n)
{
    job.cinfo.err = jpeg_std_error(&job.err);
    job.err.error_exit = onError;
    job.err.emit_message = onMessage;
    job.cinfo.client_data = &job;
    jpeg_create_decompress(&job.cinfo);
    job.created = true;
    job.progress.progress_monitor = onProgress;
    job.cinfo.progress = &job.progress;
    jpeg_mem_src(&job.cinfo, p, static_cast<unsigned long>(n));
}

// EXIF orientation (1..8) from an APP1 "Exif" segment; 0 when none.
int exifOrientation(const jpeg_decompress_struct &cinfo)
{
    for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
        if (m->marker != JPEG_APP0 + 1 || m->data_length < 14 || std::memcmp(m->data, "Exif\0\0", 6) != 0)
            continue;
        return exifStreamOrientation(QByteArray::fromRawData(reinterpret_cast<const char *>(m->data) + 6,
                                                             qsizetype(m->data_length - 6)));
    }
    return 0;
}

// A profile is kept where it describes the page: the ones Qt's reader kept
// before for RGB and grey pages, any CMYK profile for ink pages.
QByteArray keptProfile(const QByteArray &icc, Photometric photometric)
{
    if (icc.size() < 132)
        return {};
    if (photometric == Photometric::Separated)
        return icc.mid(16, 4) == "CMYK" ? icc : QByteArray();
    return QColorSpace::fromIccProfile(icc).isValid() ? icc : QByteArray();
}

bool decodeInto(Job &job, const uchar *p, qint64 n, const ReadOptions &options, Page *out, bool *greyFromColour)
{
    if (setjmp(job.jump))
        return false;
    start(job, p, n);
    jpeg_save_markers(&job.cinfo, JPEG_APP0 + 1, 0xffff);
    jpeg_save_markers(&job.cinfo, JPEG_APP0 + 2, 0xffff);
    jpeg_read_header(&job.cinfo, TRUE);
    jpeg_decompress_struct &c = job.cinfo;
    const J_COLOR_SPACE stored = c.jpeg_color_space;
    Photometric ph = Photometric::RGB;
    if (stored == JCS_GRAYSCALE) {
        c.out_color_space = JCS_GRAYSCALE;
        ph = Photometric::MinIsBlack;
    } else if (stored == JCS_CMYK || stored == JCS_YCCK) {
        c.out_color_space = JCS_CMYK;
        ph = Photometric::Separated;
    } else if (options.bilevelOutput() && (stored == JCS_YCbCr || stored == JCS_RGB)) {
        // The writer thresholds luminance; the Y channel is that already,
        // and skipping colour conversion and chroma upsampling is the
        // larger part of decoding.
        c.out_color_space = JCS_GRAYSCALE;
        ph = Photometric::MinIsBlack;
        *greyFromColour = true;
    } else {
        c.out_color_space = JCS_RGB;
    }
    // What Qt's reader used: accurate integer IDCT, smooth upsampling.
    c.dct_method = JDCT_ISLOW;
    c.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&c);
    const quint16 spp = quint16(c.output_components);
    if ((ph == Photometric::RGB && spp != 3) || (ph == Photometric::MinIsBlack && spp != 1)
        || (ph == Photometric::Separated && spp != 4)) {
        std::snprintf(job.message, JMSG_LENGTH_MAX, "unexpected colour layout");
        return false;
    }
    out->width = c.output_width;
    out->height = c.output_height;
    out->bitsPerSample = 8;
    out->samplesPerPixel = spp;
    out->extraSamples = 0;
    out->alphaAssociated = false;
    out->photometric = ph;
    out->colormap.clear();
    if (out->byteCount() > kMaxDecodedPageBytes) {
        std::snprintf(job.message, JMSG_LENGTH_MAX, "image is too large to decode");
        return false;
    }
    out->pixels.resize(size_t(out->byteCount()));
    const size_t bpr = size_t(out->bytesPerRow());
    job.rows.resize(c.output_height);
    for (JDIMENSION y = 0; y < c.output_height; ++y)
        job.rows[y] = out->pixels.data() + y * bpr;
    while (c.output_scanline < c.output_height) {
        const JDIMENSION got = jpeg_read_scanlines(&c, job.rows.data() + c.output_scanline,
                                                   c.output_height - c.output_scanline);
        if (got == 0)
            break;
    }
    if (c.output_scanline < c.output_height) {
        std::snprintf(job.message, JMSG_LENGTH_MAX, "image data ends early");
        return false;
    }
    // Adobe's applications store CMYK inverted (0 = full ink); TIFF's
    // Separated means 0 = no ink.
    if (ph == Photometric::Separated && c.saw_Adobe_marker)
        for (quint8 &v : out->pixels)
            v = quint8(255 - v);
    JOCTET *icc = nullptr;
    unsigned iccLength = 0;
    if (!*greyFromColour && jpeg_read_icc_profile(&c, &icc, &iccLength) && icc) {
        out->iccProfile = QByteArray(reinterpret_cast<const char *>(icc), qsizetype(iccLength));
        std::free(icc);
    }
    out->orientation = quint16(exifOrientation(c)); // applied below, then reset
    jpeg_abort_decompress(&c); // no need to read past the last row
    return true;
}

} // namespace

Decoded decodeJpeg(const uchar *p, qint64 n, const HeaderInfo &info, const ReadOptions &options, Page *out,
                   QString *error, QString *warning)
{
    if (info.bitDepth != 8)
        return Decoded::Declined; // 12-bit and lossless JPEG: Qt's reader says what it can do
    Job job;
    bool greyFromColour = false;
    Page page;
    if (!decodeInto(job, p, n, options, &page, &greyFromColour)) {
        *error = QStringLiteral("cannot decode image: %1").arg(QString::fromLocal8Bit(job.message));
        return Decoded::Failed;
    }
    if (warning && job.warnings)
        *warning = job.warnings == 1 ? QString::fromLocal8Bit(job.firstWarning)
                                     : QStringLiteral("%1 (and %2 more warnings)")
                                           .arg(QString::fromLocal8Bit(job.firstWarning)).arg(job.warnings - 1);
    page.iccProfile = keptProfile(page.iccProfile, page.photometric);
    applyExifOrientation(&page, page.orientation);
    page.orientation = 1;
    *out = std::move(page);
    return Decoded::Ok;
}

bool jpegEntropyComplete(const uchar *p, qint64 n)
{
    struct Check {
        static bool run(Job &job, const uchar *p, qint64 n)
        {
            if (setjmp(job.jump))
                return false;
            start(job, p, n);
            jpeg_read_header(&job.cinfo, TRUE);
            // The coefficients of the whole image are held: refuse sizes
            // that would make that a bomb.
            const quint64 samples = quint64(job.cinfo.image_width) * job.cinfo.image_height
                * quint64(std::max(job.cinfo.num_components, 1));
            if (samples > kMaxDecodedPageBytes / 2)
                return false;
            jpeg_read_coefficients(&job.cinfo);
            return true;
        }
    };
    Job job;
    return Check::run(job, p, n) && job.warnings == 0;
}

void applyExifOrientation(Page *page, int orientation)
{
    if (orientation < 2 || orientation > 8 || page->bitsPerSample != 8)
        return;
    const qint64 w = page->width, h = page->height;
    const size_t ps = page->samplesPerPixel;
    const bool swap = orientation >= 5;
    const qint64 ow = swap ? h : w, oh = swap ? w : h;
    // Source pixel of output (x, y) = base + x * dx + y * dy, in pixels.
    qint64 base = 0, dx = 1, dy = w;
    switch (orientation) {
    case 2: base = w - 1, dx = -1, dy = w; break;
    case 3: base = (h - 1) * w + w - 1, dx = -1, dy = -w; break;
    case 4: base = (h - 1) * w, dx = 1, dy = -w; break;
    case 5: base = 0, dx = w, dy = 1; break;
    case 6: base = (h - 1) * w, dx = -w, dy = 1; break;
    case 7: base = (h - 1) * w + w - 1, dx = -w, dy = -1; break;
    case 8: base = w - 1, dx = w, dy = -1; break;
    }
    std::vector<quint8> turned(page->pixels.size());
    const quint8 *src = page->pixels.data();
    for (qint64 y = 0; y < oh; ++y) {
        quint8 *d = turned.data() + size_t(y * ow) * ps;
        qint64 s = base + y * dy;
        if (ps == 1) {
            for (qint64 x = 0; x < ow; ++x, s += dx)
                d[x] = src[s];
        } else {
            for (qint64 x = 0; x < ow; ++x, s += dx, d += ps)
                std::memcpy(d, src + size_t(s) * ps, ps);
        }
    }
    page->pixels = std::move(turned);
    page->width = quint32(ow);
    page->height = quint32(oh);
}

} // namespace quillon::image::detail
