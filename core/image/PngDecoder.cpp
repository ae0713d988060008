// PNG through libpng: rows inflated straight into the page in their stored
// form. (libpng measured faster than libspng here.) The image data of
// non-interlaced files is inflated in one call by libdeflate and unfiltered
// here, several times faster than zlib's streaming inflate; libpng still
// reads every chunk before it, and anything the fast road does not expect
// (a bad CRC, a damaged or short stream, data after it) leaves the file to
// libpng, which decides as it always did.
#include "core/image/QtImageSource.h"
#include "core/image/RasterDecoders.h"

#include <QColorSpace>
#include <QImage>
#include <QSysInfo>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <csetjmp>
#include <cstring>
#include <vector>

#include <libdeflate.h>
#include <png.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// The fast road's bounds: a file's image data and its inflated rows beyond
// these go through libpng, which needs no buffer of the whole stream.
constexpr qint64 kMaxFastCompressed = 64 << 20;
constexpr quint64 kMaxFastInflated = 256 << 20;

quint32 bigEndian32(const uchar *p)
{
    return quint32(p[0]) << 24 | quint32(p[1]) << 16 | quint32(p[2]) << 8 | p[3];
}

struct DecompressorFree {
    void operator()(libdeflate_decompressor *d) const { libdeflate_free_decompressor(d); }
};

libdeflate_decompressor *threadDecompressor()
{
    thread_local std::unique_ptr<libdeflate_decompressor, DecompressorFree> d(libdeflate_alloc_decompressor());
    return d.get();
}

// A buffer a thread keeps from file to file. The allocator hands a worker's
// freed megabytes back to the kernel, and faulting them in again cost more
// than the inflate saved (in a virtual machine, 6,000 faults a 3-megapixel file).
// Only buffers up to kKeptScratch stay; a larger one is freed after its file.
constexpr size_t kKeptScratch = 24 << 20;

class Scratch
{
public:
    uchar *get(size_t bytes)
    {
        if (bytes > m_size) {
            m_data.reset();
            m_data = std::make_unique_for_overwrite<uchar[]>(bytes);
            m_size = bytes;
        }
        return m_data.get();
    }
    void done()
    {
        if (m_size > kKeptScratch) {
            m_data.reset();
            m_size = 0;
        }
    }

private:
    std::unique_ptr<uchar[]> m_data;
    size_t m_size = 0;
};

struct ScratchDone {
    Scratch &scratch;
    ~ScratchDone() { scratch.done(); }
};

// The Paeth predictor: of a (left), b (above) and c (above left), the one
// nearest a + b - c, ties going to a, then b.
inline int paeth(int a, int b, int c)
{
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

#if defined(__SSE2__)
// One pixel of 3 or 4 bytes at a time, its samples side by side in 16-bit
// lanes (as libpng's own SSE2 filters do): the left pixel depends on the
// one before, so a row cannot go wider than a pixel.
inline __m128i loadPixel(const uchar *p, int bpp)
{
    quint32 v = 0;
    std::memcpy(&v, p, size_t(bpp));
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v)), _mm_setzero_si128());
}

// Four bytes at once where the row has them: a 3-byte copy goes through the
// stack, and its 4-byte reload stalls on the two stores before it. The
// extra sample rides in its own lane and is never stored.
inline __m128i loadFour(const uchar *p)
{
    quint32 v;
    std::memcpy(&v, p, 4);
    return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(v)), _mm_setzero_si128());
}

inline void storePixel(uchar *p, __m128i v, int bpp)
{
    const quint32 packed = quint32(_mm_cvtsi128_si32(_mm_packus_epi16(v, v)));
    std::memcpy(p, &packed, size_t(bpp));
}

inline __m128i absolute(__m128i v)
{
    return _mm_max_epi16(v, _mm_sub_epi16(_mm_setzero_si128(), v));
}

inline __m128i choose(__m128i mask, __m128i yes, __m128i no)
{
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

template <int Bpp>
void paethRow(uchar *cur, const uchar *prior, size_t rowBytes)
{
    __m128i a = _mm_setzero_si128(), c = _mm_setzero_si128();
    size_t i = 0;
    // The last pixel is read with memcpy of Bpp bytes, so no read passes the row.
    for (; i + Bpp <= rowBytes; i += Bpp) {
        const bool four = i + 4 <= rowBytes;
        const __m128i b = four ? loadFour(prior + i) : loadPixel(prior + i, Bpp);
        const __m128i x = four ? loadFour(cur + i) : loadPixel(cur + i, Bpp);
        // Only what depends on a is on the chain from pixel to pixel: the
        // sums with b and c are made before a is known (bytes in 16-bit lanes,
        // so an 8-bit add wraps as the filter does).
        const __m128i pa0 = _mm_sub_epi16(b, c);
        const __m128i pa = absolute(pa0);
        const __m128i xb = _mm_add_epi8(x, b), xc = _mm_add_epi8(x, c), xa = _mm_add_epi8(x, a);
        const __m128i pb0 = _mm_sub_epi16(a, c);
        const __m128i pb = absolute(pb0), pc = absolute(_mm_add_epi16(pa0, pb0));
        const __m128i notA = _mm_cmpgt_epi16(pa, _mm_min_epi16(pb, pc)); // a, unless pa > pb or pa > pc
        const __m128i notB = _mm_cmpgt_epi16(pb, pc); // then b, unless pb > pc
        a = choose(notA, choose(notB, xc, xb), xa);
        storePixel(cur + i, a, Bpp);
        c = b;
    }
}
#endif

template <int Bpp>
void paethRowScalar(uchar *cur, const uchar *prior, size_t rowBytes)
{
    for (size_t i = 0; i < Bpp && i < rowBytes; ++i)
        cur[i] = uchar(cur[i] + prior[i]);
    for (size_t i = Bpp; i < rowBytes; ++i)
        cur[i] = uchar(cur[i] + paeth(cur[i - Bpp], prior[i], prior[i - Bpp]));
}

void paethRowAny(uchar *cur, const uchar *prior, size_t rowBytes, size_t bpp)
{
    switch (bpp) {
#if defined(__SSE2__)
    case 3: paethRow<3>(cur, prior, rowBytes); return;
    case 4: paethRow<4>(cur, prior, rowBytes); return;
#else
    case 3: paethRowScalar<3>(cur, prior, rowBytes); return;
    case 4: paethRowScalar<4>(cur, prior, rowBytes); return;
#endif
    case 1: paethRowScalar<1>(cur, prior, rowBytes); return;
    case 2: paethRowScalar<2>(cur, prior, rowBytes); return;
    case 6: paethRowScalar<6>(cur, prior, rowBytes); return;
    case 8: paethRowScalar<8>(cur, prior, rowBytes); return;
    default:
        for (size_t i = 0; i < bpp && i < rowBytes; ++i)
            cur[i] = uchar(cur[i] + prior[i]);
        for (size_t i = bpp; i < rowBytes; ++i)
            cur[i] = uchar(cur[i] + paeth(cur[i - bpp], prior[i], prior[i - bpp]));
    }
}

// Undoes the PNG row filters in place: rows of `rowBytes` after one filter
// byte each, `bpp` bytes a pixel (at least 1). False on an unknown filter.
bool unfilter(uchar *raw, size_t rowBytes, quint32 rows, size_t bpp)
{
    const uchar *prior = nullptr;
    for (quint32 y = 0; y < rows; ++y) {
        uchar *row = raw + size_t(y) * (rowBytes + 1);
        const uchar filter = row[0];
        uchar *cur = row + 1;
        switch (filter) {
        case 0:
            break;
        case 1:
            for (size_t i = bpp; i < rowBytes; ++i)
                cur[i] = uchar(cur[i] + cur[i - bpp]);
            break;
        case 2:
            if (prior)
                for (size_t i = 0; i < rowBytes; ++i)
                    cur[i] = uchar(cur[i] + prior[i]);
            break;
        case 3:
            if (prior) {
                for (size_t i = 0; i < bpp && i < rowBytes; ++i)
                    cur[i] = uchar(cur[i] + (prior[i] >> 1));
                for (size_t i = bpp; i < rowBytes; ++i)
                    cur[i] = uchar(cur[i] + ((unsigned(cur[i - bpp]) + prior[i]) >> 1));
            } else {
                for (size_t i = bpp; i < rowBytes; ++i)
                    cur[i] = uchar(cur[i] + (cur[i - bpp] >> 1));
            }
            break;
        case 4:
            if (prior) {
                paethRowAny(cur, prior, rowBytes, bpp);
            } else { // Paeth over a row of zeros is Sub
                for (size_t i = bpp; i < rowBytes; ++i)
                    cur[i] = uchar(cur[i] + cur[i - bpp]);
            }
            break;
        default:
            return false;
        }
        prior = cur;
    }
    return true;
}

// The image data of a non-interlaced file, inflated and unfiltered into
// `target` in the layout decodeInto asks of libpng: samples as stored
// (16-bit ones in the machine's order) and, for palettes of 2 or 4 bits,
// one index a byte. Reads the file from where png_read_info stopped (after
// the first IDAT chunk's header) without moving libpng's place, so false
// leaves libpng to read the image as if nothing had been tried.
bool inflateImage(const Job &job, quint32 w, quint32 h, int depth, int channels, bool palette, uchar *target,
                  size_t stride)
{
    const qint64 start = job.pos - 8; // the first IDAT's length and type
    if (start < 0 || job.pos > job.size || std::memcmp(job.data + start + 4, "IDAT", 4) != 0)
        return false;
    const size_t rowBytes = (size_t(w) * size_t(depth) * size_t(channels) + 7) / 8;
    const quint64 inflated = quint64(rowBytes + 1) * h;
    if (inflated > kMaxFastInflated || w == 0 || h == 0)
        return false;

    // The consecutive IDAT chunks, each checked against its CRC.
    const uchar *stream = nullptr;
    size_t streamBytes = 0;
    qint64 at = start;
    int chunks = 0;
    while (job.size - at >= 12 && std::memcmp(job.data + at + 4, "IDAT", 4) == 0) {
        const quint32 length = bigEndian32(job.data + at);
        if (length > quint32(kMaxFastCompressed) || job.size - at - 12 < qint64(length)
            || qint64(streamBytes) + length > kMaxFastCompressed)
            return false;
        const uchar *body = job.data + at + 8;
        if (libdeflate_crc32(libdeflate_crc32(0, job.data + at + 4, 4), body, length) != bigEndian32(body + length))
            return false;
        if (chunks == 0)
            stream = body;
        streamBytes += length;
        at += 12 + qint64(length);
        ++chunks;
    }
    if (!stream)
        return false;

    thread_local Scratch joinedScratch, rawScratch;
    const ScratchDone joinedDone{joinedScratch}, rawDone{rawScratch};
    if (chunks > 1) {
        // Joined in a second pass, now that every chunk is known to be whole.
        uchar *joined = joinedScratch.get(streamBytes);
        size_t filled = 0;
        for (qint64 c = start; filled < streamBytes;) {
            const quint32 length = bigEndian32(job.data + c);
            std::memcpy(joined + filled, job.data + c + 8, length);
            filled += length;
            c += 12 + qint64(length);
        }
        stream = joined;
    }

    libdeflate_decompressor *d = threadDecompressor();
    if (!d)
        return false;
    const size_t rawBytes = static_cast<size_t>(inflated);
    uchar *raw = rawScratch.get(rawBytes);
    size_t in = 0, out = 0;
    // Data after the zlib stream, a short stream or a bad checksum: libpng's to judge.
    if (libdeflate_zlib_decompress_ex(d, stream, streamBytes, raw, rawBytes, &in, &out) != LIBDEFLATE_SUCCESS
        || in != streamBytes || out != rawBytes)
        return false;
    const size_t bpp = std::max<size_t>(1, size_t(depth) * size_t(channels) / 8);
    if (!unfilter(raw, rowBytes, h, bpp))
        return false;

    for (quint32 y = 0; y < h; ++y) {
        const uchar *src = raw + size_t(y) * (rowBytes + 1) + 1;
        uchar *dst = target + size_t(y) * stride;
        if (palette && (depth == 2 || depth == 4)) {
            const int perByte = 8 / depth;
            const uchar mask = uchar((1 << depth) - 1);
            for (quint32 x = 0; x < w; ++x)
                dst[x] = uchar(src[x / perByte] >> ((perByte - 1 - int(x % perByte)) * depth) & mask);
        } else if (depth == 16 && QSysInfo::ByteOrder == QSysInfo::LittleEndian) {
            for (size_t i = 0; i + 1 < rowBytes; i += 2) {
                dst[i] = src[i + 1];
                dst[i + 1] = src[i];
            }
        } else {
            std::memcpy(dst, src, rowBytes);
        }
    }
    return true;
}

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
    const int channels = png_get_channels(job.png, job.info); // as stored, before any transformation
    // A key colour made alpha is libpng's work, as is interlacing.
    const bool fast = interlace == PNG_INTERLACE_NONE && !(trns && !palette) && !qEnvironmentVariableIsSet("QUILLON_PNG_NO_FAST_INFLATE");
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
    if (!fast || !inflateImage(job, w, h, depth, channels, palette, target, stride))
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
