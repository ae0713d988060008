// PNG through libpng: rows inflated straight into the page in their stored
// form. (libpng measured faster than libspng here.)
#include "core/image/QtImageSource.h"
#include "core/image/RasterDecoders.h"

#include <QColorSpace>
#include <QImage>
#include <QSysInfo>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <vector>

#include <png.h>

namespace quillon::image::detail {

namespace {

struct Job {
    png_structp png = nullptr;
    png_infop info = nullptr;
    const uchar *data = nullptr;
    qint64 size = 0;
    qint64 pos = 0;
    char message[200] = {};
    std::vector<png_bytep> rows;
    std::vector<uchar> indices; // palette images: one byte per pixel, for the palette rules
    QImage indexed;             // wraps `indices`

    ~Job()
    {
        if (png)
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

Job *jobOf(png_structp png)
{
    return static_cast<Job *>(png_get_error_ptr(png));
}

void onError(png_structp png, png_const_charp message)
{
    Job *job = jobOf(png);
    std::snprintf(job->message, sizeof job->message, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void onRead(png_structp png, png_bytep out, size_t length)
{
    auto *job = static_cast<Job *>(png_get_io_ptr(png));
    if (job->size - job->pos < qint64(length))
        png_error(png, "unexpected end of file");
    std::memcpy(out, job->data + job->pos, length);
    job->pos += qint64(length);
}

void setLayout(Page *p, quint32 w, quint32 h, quint16 bits, quint16 spp, quint16 extra, Photometric ph)
{
    p->setLayout(w, h, bits, spp, extra, ph);
}

enum class Outcome { Ok, Failed, Declined };

Outcome decodeInto(Job &job, Page *out)
{
    if (setjmp(png_jmpbuf(job.png)))
        return Outcome::Failed;
    png_set_read_fn(job.png, &job, onRead);
    png_read_info(job.png, job.info);
    png_uint_32 w = 0, h = 0;
    int depth = 0, type = 0, interlace = 0;
    png_get_IHDR(job.png, job.info, &w, &h, &depth, &type, &interlace, nullptr, nullptr);
    const bool trns = png_get_valid(job.png, job.info, PNG_INFO_tRNS) != 0;
    // A tRNS key colour is an alpha channel: 0 where the key matches. Qt's
    // reader turned grey of 8 bits or fewer into a palette on the way, with
    // its own rules for the keyed entry; those few are left to it.
    if (trns && type == PNG_COLOR_TYPE_GRAY && depth < 16)
        return Outcome::Declined;
    const bool palette = type == PNG_COLOR_TYPE_PALETTE;
    if (trns && !palette) {
        png_set_tRNS_to_alpha(job.png);
        type |= PNG_COLOR_MASK_ALPHA;
    }
    switch (type) {
    case PNG_COLOR_TYPE_GRAY: setLayout(out, w, h, quint16(depth), 1, 0, Photometric::MinIsBlack); break;
    case PNG_COLOR_TYPE_GRAY_ALPHA: setLayout(out, w, h, quint16(depth), 2, 1, Photometric::MinIsBlack); break;
    case PNG_COLOR_TYPE_RGB: setLayout(out, w, h, quint16(depth), 3, 0, Photometric::RGB); break;
    case PNG_COLOR_TYPE_RGB_ALPHA: setLayout(out, w, h, quint16(depth), 4, 1, Photometric::RGB); break;
    case PNG_COLOR_TYPE_PALETTE: break;
    default: return Outcome::Declined;
    }
    if (depth == 16 && QSysInfo::ByteOrder == QSysInfo::LittleEndian)
        png_set_swap(job.png);
    if (palette && depth > 1)
        png_set_packing(job.png); // one index per byte, for the palette rules below
    if (interlace != PNG_INTERLACE_NONE)
        png_set_interlace_handling(job.png);
    png_read_update_info(job.png, job.info);

    uchar *target;
    size_t stride;
    if (palette) {
        // Qt's layout for palette images: 1-bit packed, deeper one byte a pixel.
        stride = depth == 1 ? (size_t(w) + 7) / 8 : size_t(w);
        if (quint64(stride) * h > kMaxDecodedPageBytes)
            png_error(job.png, "image is too large to decode");
        job.indices.resize(stride * h);
        target = job.indices.data();
    } else {
        if (out->byteCount() > kMaxDecodedPageBytes)
            png_error(job.png, "image is too large to decode");
        out->pixels.resize(size_t(out->byteCount()));
        target = out->pixels.data();
        stride = size_t(out->bytesPerRow());
    }
    if (png_get_rowbytes(job.png, job.info) != stride)
        png_error(job.png, "unexpected row layout");
    job.rows.resize(h);
    for (png_uint_32 y = 0; y < h; ++y)
        job.rows[y] = target + y * stride;
    png_read_image(job.png, job.rows.data());
    // The trailing chunks (and IEND) are not needed: nothing after the image
    // data changes the page, and a file missing only IEND still reads.

    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profileLength = 0;
    if (png_get_iCCP(job.png, job.info, &name, &compression, &profile, &profileLength) && profile) {
        const QByteArray icc(reinterpret_cast<const char *>(profile), qsizetype(profileLength));
        if (QColorSpace::fromIccProfile(icc).isValid())
            out->iccProfile = icc; // the profiles Qt's reader kept before
    }

    if (palette) {
        png_colorp colours = nullptr;
        int count = 0;
        if (!png_get_PLTE(job.png, job.info, &colours, &count) || count > 256)
            return Outcome::Declined;
        // Indices past the palette: Qt's reader fills those entries its own
        // way; rare, so left to it.
        if (depth == 1 ? count < 2 : *std::max_element(job.indices.begin(), job.indices.end()) >= count)
            return Outcome::Declined;
        png_bytep alpha = nullptr;
        int alphaCount = 0;
        png_color_16p key = nullptr;
        if (!trns || !png_get_tRNS(job.png, job.info, &alpha, &alphaCount, &key))
            alphaCount = 0;
        job.indexed = QImage(job.indices.data(), int(w), int(h), qsizetype(stride),
                             depth == 1 ? QImage::Format_Mono : QImage::Format_Indexed8);
        job.indexed.setColorCount(depth == 1 ? 2 : count);
        for (int i = 0; i < count && i < job.indexed.colorCount(); ++i)
            job.indexed.setColor(i, qRgba(colours[i].red, colours[i].green, colours[i].blue,
                                          alpha && i < alphaCount ? alpha[i] : 255));
    }
    return Outcome::Ok;
}

} // namespace

Decoded decodePng(const uchar *p, qint64 n, const HeaderInfo &info, Page *out, QString *error)
{
    Job job;
    job.data = p;
    job.size = n;
    job.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &job, onError, onWarning);
    if (job.png)
        job.info = png_create_info_struct(job.png);
    if (!job.png || !job.info) {
        *error = QStringLiteral("out of memory");
        return Decoded::Failed;
    }
#if defined(PNG_SET_OPTION_SUPPORTED) && defined(PNG_MAXIMUM_INFLATE_WINDOW)
    // Files whose zlib header understates the window decode, as with Qt's reader.
    png_set_option(job.png, PNG_MAXIMUM_INFLATE_WINDOW, PNG_OPTION_ON);
#endif
    Page page;
    switch (decodeInto(job, &page)) {
    case Outcome::Declined:
        return Decoded::Declined;
    case Outcome::Failed:
        *error = QStringLiteral("cannot decode image: %1").arg(QString::fromLocal8Bit(job.message));
        return Decoded::Failed;
    case Outcome::Ok:
        break;
    }
    if (!job.indexed.isNull()) {
        QByteArray icc = page.iccProfile;
        if (!pageFromImage(job.indexed, info, &page, error))
            return Decoded::Failed;
        page.iccProfile = icc;
    }
    *out = std::move(page);
    return Decoded::Ok;
}

} // namespace quillon::image::detail
