#include "core/image/TiffSource.h"

#include "core/WorkPool.h"
#include "core/image/Metadata.h"
#include "core/image/TiffSupport.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <map>
#include <mutex>

namespace quillon::image::detail {

namespace {

// How one directory is decoded: straight from its strips or tiles into the
// page, or through libtiff's RGBA renderer for layouts a Page can't carry
// (subsampled YCbCr, old-style JPEG, Lab, ...).
struct Layout {
    Page page; // every field but pixels
    enum Mode { Direct, Rgba } mode = Direct;
    bool planar = false;
    bool tiled = false;
    quint16 storedBits = 0;     // odd depths: the file's bits, scaled up to page.bitsPerSample
    bool signedSamples = false; // SampleFormat 2: offset to unsigned
};

// Samples of an odd depth (3, 5, 6, 7, 9 ... 15 bits), packed first bit
// highest, scaled to the page's 8 or 16 bits; every stored value keeps a
// value of its own, and full scale stays full scale.
void unpackSamples(const Page &raw, Page *out)
{
    const unsigned in = raw.bitsPerSample;
    const quint32 maxIn = (1u << in) - 1, maxOut = (1u << out->bitsPerSample) - 1;
    const quint64 n = quint64(raw.width) * raw.samplesPerPixel;
    const quint64 rawRow = raw.bytesPerRow(), outRow = out->bytesPerRow();
    for (quint32 y = 0; y < raw.height; ++y) {
        const quint8 *row = raw.pixels.data() + y * rawRow;
        quint8 *dst = out->pixels.data() + y * outRow;
        for (quint64 i = 0; i < n; ++i) {
            const quint64 bit = i * in, at = bit / 8;
            quint32 word = 0;
            for (quint64 k = 0; k < 3; ++k)
                word = word << 8 | (at + k < rawRow ? row[at + k] : 0);
            const quint32 v = (word >> (24 - (bit % 8) - in)) & maxIn;
            const quint32 scaled = (v * maxOut + maxIn / 2) / maxIn;
            if (out->bitsPerSample == 8)
                dst[i] = quint8(scaled);
            else
                reinterpret_cast<quint16 *>(dst)[i] = quint16(scaled);
        }
    }
}

// Signed samples offset by half the range: the lowest value becomes 0.
void offsetSigned(Page *p)
{
    if (p->bitsPerSample == 8) {
        for (quint8 &v : p->pixels)
            v ^= 0x80;
    } else {
        auto *w = reinterpret_cast<quint16 *>(p->pixels.data());
        for (size_t i = 0, n = p->pixels.size() / 2; i < n; ++i)
            w[i] ^= 0x8000;
    }
}

// Decoded size, saturated instead of overflowing for absurd headers.
quint64 safeByteCount(const Page &p)
{
    const quint64 row = p.bytesPerRow();
    if (p.height && row > std::numeric_limits<quint64>::max() / p.height)
        return std::numeric_limits<quint64>::max();
    return row * p.height;
}

bool validBits(quint16 bps, std::initializer_list<quint16> allowed)
{
    return std::find(allowed.begin(), allowed.end(), bps) != allowed.end();
}

// Where the file's first `limit` directories start, from the chain of
// directory offsets; fewer when the chain ends early or leaves the file.
std::vector<quint64> directoryOffsets(const QString &path, int limit)
{
    std::vector<quint64> offsets;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return offsets;
    const quint64 size = quint64(f.size());
    char order = 0;
    auto read = [&](quint64 at, int n, quint64 *v) {
        char b[8];
        if (at > size || quint64(n) > size - at || !f.seek(qint64(at)) || f.read(b, n) != n)
            return false;
        *v = 0;
        for (int i = 0; i < n; ++i)
            *v = *v << 8 | quint8(b[order == 'I' ? n - 1 - i : i]);
        return true;
    };
    char mark[2];
    if (f.read(mark, 2) != 2 || mark[0] != mark[1] || (mark[0] != 'I' && mark[0] != 'M'))
        return offsets;
    order = mark[0];
    quint64 magic = 0, at = 0;
    if (!read(2, 2, &magic) || (magic != 42 && magic != 43))
        return offsets;
    const bool big = magic == 43;
    const int countBytes = big ? 8 : 2, entryBytes = big ? 20 : 12, offsetBytes = big ? 8 : 4;
    if (!read(big ? 8 : 4, offsetBytes, &at))
        return offsets;
    while (at != 0 && int(offsets.size()) < limit) {
        quint64 count = 0;
        if (!read(at, countBytes, &count) || count > size / quint64(entryBytes))
            break;
        offsets.push_back(at);
        if (!read(at + quint64(countBytes) + count * quint64(entryBytes), offsetBytes, &at))
            break;
    }
    return offsets;
}

class TiffSource final : public ImageSource {
public:
    explicit TiffSource(const QString &path) : m_path(path) {}
    ~TiffSource() override
    {
        // Checks ahead use this source's helpers.
        for (auto &[index, a] : m_ahead)
            a->pool->wait(a->group);
    }

    bool init(QString *error)
    {
        m_tif = openTiff(m_path, "r", &m_messages);
        if (!m_tif) {
            *error = withReason(QStringLiteral("not a readable TIFF file"), &m_messages);
            return false;
        }
        m_pages = int(std::min<tdir_t>(TIFFNumberOfDirectories(m_tif.get()), tdir_t(INT_MAX)));
        if (m_pages <= 0) {
            *error = withReason(QStringLiteral("TIFF file without pages"), &m_messages);
            return false;
        }
        return true;
    }

    int pageCount() const override { return m_pages; }

    quint64 decodedSize(int index) const override
    {
        Layout l;
        QString ignored;
        if (!select(index, &ignored) || !layout(&l, &ignored))
            return 0;
        return safeByteCount(l.page);
    }

    bool readPage(int index, Page *out, QString *error) override
    {
        Layout l;
        if (!select(index, error) || !layout(&l, error))
            return false;
        const quint64 bytes = safeByteCount(l.page);
        if (bytes > kMaxDecodedPageBytes) {
            *error = QStringLiteral("page %1 is too large to decode (%2 x %3 pixels)")
                         .arg(index + 1).arg(l.page.width).arg(l.page.height);
            return false;
        }
        if (l.mode == Layout::Direct && readCoded(index, l, out, error)) {
            readMetadata(out);
            return true;
        }
        *out = std::move(l.page);
        out->pixels.resize(size_t(bytes));
        bool ok = false;
        if (l.mode == Layout::Rgba) {
            ok = readRgba(out, error);
        } else if (l.storedBits) {
            Page raw = *out;
            raw.bitsPerSample = l.storedBits;
            raw.pixels.assign(size_t(raw.byteCount()), 0);
            ok = readDirect(l, &raw, error);
            if (ok)
                unpackSamples(raw, out);
        } else {
            ok = readDirect(l, out, error);
            if (ok && l.signedSamples)
                offsetSigned(out);
        }
        if (!ok) {
            *out = Page();
            *error = QStringLiteral("page %1: %2").arg(index + 1).arg(*error);
        } else {
            readMetadata(out);
        }
        return ok;
    }

private:
    // The current directory's EXIF, GPS, XMP and IPTC, read from the file as
    // stored (libtiff would convert some of them by type).
    void readMetadata(Page *out) const
    {
        if (!m_readOptions.keepMetadata)
            return;
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly))
            return;
        const ReadAt read = [&file](quint64 offset, quint64 size) {
            if (offset > quint64(std::numeric_limits<qint64>::max()) || !file.seek(qint64(offset)))
                return QByteArray();
            return file.read(qint64(size));
        };
        ExifTree tree;
        QString why;
        if (readTiffMetadata(read, quint64(TIFFCurrentDirOffset(m_tif.get())), &tree, &out->xmp, &out->iptc, &why))
            out->exif = exifStream(tree);
    }

    // A fax page going to the same fax coding is handed over still coded: its
    // strips are copied, not decoded and coded again. Each strip is decoded
    // once all the same, so a damaged one fails here as it would have.
    // False (and *out untouched) when the page doesn't qualify.
    bool readCoded(int index, const Layout &l, Page *out, QString *error)
    {
        TIFF *tif = m_tif.get();
        const Page &p = l.page;
        quint16 compression = COMPRESSION_NONE, fillOrder = FILLORDER_MSB2LSB;
        TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &fillOrder);
        if (!m_readOptions.bilevelOutput() || compression != m_readOptions.outputCompression || l.tiled || l.planar
            || p.bitsPerSample != 1 || p.samplesPerPixel != 1 || p.photometric != Photometric::MinIsWhite
            || fillOrder != FILLORDER_MSB2LSB)
            return false;
        // Only the plain options our own fax pages carry, so the copy needs no other tags.
        quint32 options = 0;
        if (compression == COMPRESSION_CCITTFAX3)
            TIFFGetFieldDefaulted(tif, TIFFTAG_GROUP3OPTIONS, &options);
        else
            TIFFGetFieldDefaulted(tif, TIFFTAG_GROUP4OPTIONS, &options);
        if (options != 0)
            return false;
        quint32 rps = p.height;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
        if (rps == 0 || rps > p.height)
            rps = p.height;
        const quint32 strips = (p.height + rps - 1) / rps;
        if (quint64(TIFFNumberOfStrips(tif)) != strips)
            return false;
        const quint64 fileSize = quint64(QFileInfo(m_path).size());
        std::vector<std::vector<quint8>> coded(strips);
        const Strips where = stripsOf(tif);
        for (quint32 s = 0; s < strips; ++s) {
            const quint64 bytes = where.sizes[s];
            if (bytes == 0 || bytes > fileSize)
                return false;
            coded[s].resize(size_t(bytes));
            if (TIFFReadRawStrip(tif, s, coded[s].data(), tmsize_t(bytes)) != tmsize_t(bytes))
                return false;
        }
        const bool clean = checked(index, where);
        checkAhead(index);
        if (!clean) {
            *error = withReason(QStringLiteral("cannot decode a strip"), &m_messages);
            // Decoding it the usual way says the same, and which strip; let it.
            m_messages.takeError();
            return false;
        }
        *out = l.page;
        out->pixels.clear();
        out->encodedCompression = compression;
        out->encodedRowsPerStrip = rps;
        out->encodedStrips = std::move(coded);
        return true;
    }

    // A 1-bit page's size and where its strips lie, to know a second handle
    // reads the same ones.
    struct Strips {
        quint32 width = 0;
        quint32 height = 0;
        quint32 rowsPerStrip = 0; // 0: the directory has no size
        std::vector<quint64> offsets;
        std::vector<quint64> sizes;
        bool operator==(const Strips &) const = default;
        quint64 bytesPerRow() const { return (quint64(width) + 7) / 8; }
        quint32 rowsIn(quint32 s) const { return std::min(rowsPerStrip, height - s * rowsPerStrip); }
    };

    static Strips stripsOf(TIFF *tif)
    {
        Strips where;
        if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &where.width) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &where.height)
            || !where.width || !where.height)
            return Strips();
        quint32 rps = where.height;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
        where.rowsPerStrip = rps == 0 || rps > where.height ? where.height : rps;
        const quint32 strips = quint32(TIFFNumberOfStrips(tif));
        where.offsets.resize(strips);
        where.sizes.resize(strips);
        for (quint32 s = 0; s < strips; ++s) {
            where.offsets[s] = TIFFGetStrileOffset(tif, s);
            where.sizes[s] = TIFFGetStrileByteCount(tif, s);
        }
        return where;
    }

    // Whether strip s decodes without an error; scratch holds a strip's rows.
    static bool decodes(TIFF *tif, const TiffMessages &messages, const Strips &where, quint32 s, quint8 *scratch)
    {
        const tmsize_t want = tmsize_t(where.rowsIn(s) * where.bytesPerRow());
        return TIFFReadEncodedStrip(tif, s, scratch, want) >= want && !messages.hasError();
    }

    // Another handle on the file, for decoding strips on another thread.
    struct Helper {
        TiffMessages messages; // before tif: outlives it
        TiffPtr tif;
        std::vector<quint8> scratch;
    };

    // Decodes every strip of the current directory, with helpers on the
    // pool's idle threads taking strips as they come, each on a handle of its
    // own. Whether all decoded without an error.
    bool decodesCleanly(const Strips &where)
    {
        const quint32 strips = quint32(where.sizes.size());
        const size_t stripBytes = size_t(where.bytesPerRow() * where.rowsPerStrip);
        const quint64 directory = quint64(TIFFCurrentDirOffset(m_tif.get()));
        std::atomic<quint32> next{0};
        std::atomic<bool> bad{false};
        auto decodeSome = [&](TIFF *tif, TiffMessages &messages, quint8 *scratch) {
            for (quint32 s; !bad.load(std::memory_order_relaxed) && (s = next.fetch_add(1)) < strips;) {
                if (!decodes(tif, messages, where, s, scratch))
                    bad = true;
            }
        };
        std::vector<quint8> scratch(stripBytes);
        WorkPool *pool = m_readOptions.pool;
        const int helpers = pool && strips > 1 ? std::min<int>(pool->threadCount(), int(strips)) - 1 : 0;
        WorkPool::Group group;
        for (int i = 0; i < helpers; ++i)
            pool->submitTask(group, [&, directory] {
                if (next.load() >= strips || bad)
                    return; // nothing left by the time a thread was free
                try {
                    std::unique_ptr<Helper> h = takeHelper();
                    if (!h || !TIFFSetSubDirectory(h->tif.get(), directory) || stripsOf(h->tif.get()) != where)
                        return; // the others take its strips
                    h->scratch.resize(stripBytes);
                    h->messages.takeError();
                    decodeSome(h->tif.get(), h->messages, h->scratch.data());
                    const std::lock_guard lock(m_helpersMutex);
                    m_helpers.push_back(std::move(h));
                } catch (...) {
                    bad = true; // out of memory: the usual way reports it
                }
            });
        decodeSome(m_tif.get(), m_messages, scratch.data());
        if (helpers)
            pool->wait(group);
        return !bad;
    }

    // A page checked ahead on the pool, and what its helper found there.
    struct Ahead {
        WorkPool *pool = nullptr;
        WorkPool::Group group;
        Strips seen;
        enum Verdict { Unknown, Clean, Damaged } verdict = Unknown;
    };

    // Whether the current directory's strips all decode cleanly: from the
    // check made ahead when it looked at these same strips, else decoded now.
    bool checked(int index, const Strips &where)
    {
        while (!m_ahead.empty() && m_ahead.begin()->first <= index) {
            const bool mine = m_ahead.begin()->first == index;
            std::unique_ptr<Ahead> a = std::move(m_ahead.begin()->second);
            m_ahead.erase(m_ahead.begin());
            a->pool->wait(a->group);
            if (mine && a->verdict != Ahead::Unknown && a->seen == where)
                return a->verdict == Ahead::Clean;
        }
        return decodesCleanly(where);
    }

    // Once pages are read one after another, the next ones are checked on
    // the pool while this thread copies and hands on the current one: with
    // one strip a page, that is the only way the check runs on more than one core.
    void checkAhead(int index)
    {
        WorkPool *pool = m_readOptions.pool;
        const bool sequential = index == m_lastCoded + 1;
        m_lastCoded = index;
        if (!pool || !sequential || pool->threadCount() < 2)
            return;
        if (!m_directoriesRead) {
            m_directoriesRead = true;
            m_directories = directoryOffsets(m_path, m_pages);
        }
        if (int(m_directories.size()) != m_pages)
            return;
        for (int k = index + 1; k <= index + pool->threadCount() && k < m_pages; ++k) {
            if (m_ahead.count(k))
                continue;
            auto a = std::make_unique<Ahead>();
            Ahead *raw = a.get();
            raw->pool = pool;
            m_ahead.emplace(k, std::move(a));
            pool->submitTask(raw->group, [this, raw, directory = m_directories[size_t(k)]] { checkPage(raw, directory); });
        }
    }

    // On a pool thread: decodes every strip of the fax page at `directory`.
    void checkPage(Ahead *a, quint64 directory)
    {
        try {
            std::unique_ptr<Helper> h = takeHelper();
            if (!h || !TIFFSetSubDirectory(h->tif.get(), directory))
                return;
            TIFF *tif = h->tif.get();
            quint16 bps = 1, spp = 1, compression = COMPRESSION_NONE;
            TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
            TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
            TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
            if (bps != 1 || spp != 1 || TIFFIsTiled(tif)
                || (compression != COMPRESSION_CCITTFAX3 && compression != COMPRESSION_CCITTFAX4))
                return; // not a page that is copied: no use checking it
            Strips &seen = a->seen;
            seen = stripsOf(tif);
            const quint32 strips = quint32(seen.sizes.size());
            if (!seen.rowsPerStrip || strips != (seen.height + seen.rowsPerStrip - 1) / seen.rowsPerStrip)
                return;
            h->scratch.resize(size_t(seen.bytesPerRow() * seen.rowsPerStrip));
            h->messages.takeError();
            Ahead::Verdict verdict = Ahead::Clean;
            for (quint32 s = 0; s < strips && verdict == Ahead::Clean; ++s) {
                if (!decodes(tif, h->messages, seen, s, h->scratch.data()))
                    verdict = Ahead::Damaged;
            }
            a->verdict = verdict;
            const std::lock_guard lock(m_helpersMutex);
            m_helpers.push_back(std::move(h));
        } catch (...) {
            a->verdict = Ahead::Unknown; // out of memory: checked again when the page is read
        }
    }

    std::unique_ptr<Helper> takeHelper()
    {
        {
            const std::lock_guard lock(m_helpersMutex);
            if (!m_helpers.empty()) {
                std::unique_ptr<Helper> h = std::move(m_helpers.back());
                m_helpers.pop_back();
                return h;
            }
        }
        auto h = std::make_unique<Helper>();
        h->tif = openTiff(m_path, "r", &h->messages);
        return h->tif ? std::move(h) : nullptr;
    }

    bool select(int index, QString *error) const
    {
        if (index < 0 || index >= m_pages) {
            *error = QStringLiteral("page %1 does not exist").arg(index + 1);
            return false;
        }
        m_messages.takeError();
        const tdir_t current = TIFFCurrentDirectory(m_tif.get());
        if (current == tdir_t(index))
            return true;
        // Going on to the next page needs no walk from the first directory.
        const bool ok = current + 1 == tdir_t(index) ? TIFFReadDirectory(m_tif.get())
                                                     : TIFFSetDirectory(m_tif.get(), tdir_t(index));
        if (!ok) {
            *error = withReason(QStringLiteral("cannot read page %1").arg(index + 1), &m_messages);
            return false;
        }
        return true;
    }

    bool layout(Layout *l, QString *error) const
    {
        TIFF *tif = m_tif.get();
        quint32 w = 0, h = 0;
        if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h) || !w || !h) {
            *error = QStringLiteral("page without a size");
            return false;
        }
        quint16 bps = 1, spp = 1, photometric = 0, planar = PLANARCONFIG_CONTIG, compression = COMPRESSION_NONE;
        quint16 sampleFormat = SAMPLEFORMAT_UINT, inkSet = INKSET_CMYK;
        TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
        TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
        TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
        TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inkSet);
        quint16 extraCount = 0;
        quint16 *extraTypes = nullptr;
        TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes);
        if (!TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric)) {
            // Some converters leave it out: read it as libtiff's own tools guess it.
            photometric = spp - extraCount >= 3 ? PHOTOMETRIC_RGB
                : bps == 1                      ? PHOTOMETRIC_MINISWHITE
                                                : PHOTOMETRIC_MINISBLACK;
        }
        if (!TIFFIsCODECConfigured(compression)) {
            *error = QStringLiteral("compression %1 is not supported").arg(compression);
            return false;
        }
        l->signedSamples = sampleFormat == SAMPLEFORMAT_INT;
        if ((sampleFormat != SAMPLEFORMAT_UINT && sampleFormat != SAMPLEFORMAT_VOID && !l->signedSamples)
            || (l->signedSamples && bps != 8 && bps != 16)) {
            *error = QStringLiteral("sample format %1 with %2 bits is not supported").arg(sampleFormat).arg(bps);
            return false;
        }
        if (spp == 0 || extraCount >= spp) {
            *error = QStringLiteral("bad samples per pixel");
            return false;
        }

        Page &p = l->page;
        p.width = w;
        p.height = h;
        p.bitsPerSample = bps;
        p.samplesPerPixel = spp;
        l->tiled = TIFFIsTiled(tif);
        l->planar = planar == PLANARCONFIG_SEPARATE && spp > 1;

        int colours = spp - extraCount;
        quint16 extraType = extraCount ? extraTypes[0] : EXTRASAMPLE_UNSPECIFIED;
        // Four-sample RGB without ExtraSamples: alpha, as libtiff itself reads it.
        if (photometric == PHOTOMETRIC_RGB && extraCount == 0 && spp == 4) {
            colours = 3;
            extraCount = 1;
            extraType = EXTRASAMPLE_UNASSALPHA;
        }
        p.extraSamples = extraCount;
        p.alphaAssociated = extraType == EXTRASAMPLE_ASSOCALPHA;
        const bool oneExtraAtMost = extraCount <= 1;
        const bool planarOk = !l->planar || bps == 8 || bps == 16;

        // Odd depths up to 16 bits in one plane: read as stored, then scaled up.
        const bool oddBits = bps >= 2 && bps <= 15 && bps != 8 && !l->planar && !l->signedSamples;
        const quint16 wideBits = bps > 8 ? 16 : 8;
        bool direct = false;
        if (compression == COMPRESSION_OJPEG) {
            direct = false;
        } else if ((photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK) && colours == 1
                   && oneExtraAtMost && validBits(bps, {1, 2, 4, 8, 16}) && planarOk) {
            p.photometric = photometric == PHOTOMETRIC_MINISWHITE ? Photometric::MinIsWhite : Photometric::MinIsBlack;
            direct = true;
        } else if (photometric == PHOTOMETRIC_RGB && colours == 3 && oneExtraAtMost && validBits(bps, {8, 16})) {
            p.photometric = Photometric::RGB;
            direct = true;
        } else if (photometric == PHOTOMETRIC_PALETTE && spp == 1 && validBits(bps, {1, 2, 4, 8})) {
            p.photometric = Photometric::Palette;
            direct = true;
        } else if (photometric == PHOTOMETRIC_SEPARATED && inkSet == INKSET_CMYK && colours == 4 && oneExtraAtMost
                   && validBits(bps, {8, 16})) {
            p.photometric = Photometric::Separated;
            direct = true;
        } else if (oddBits && oneExtraAtMost && photometric != PHOTOMETRIC_PALETTE
                   && ((colours == 1 && (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK))
                       || (colours == 3 && photometric == PHOTOMETRIC_RGB)
                       || (colours == 4 && photometric == PHOTOMETRIC_SEPARATED && inkSet == INKSET_CMYK))) {
            p.photometric = photometric == PHOTOMETRIC_MINISWHITE ? Photometric::MinIsWhite
                : photometric == PHOTOMETRIC_MINISBLACK          ? Photometric::MinIsBlack
                : photometric == PHOTOMETRIC_RGB                 ? Photometric::RGB
                                                                 : Photometric::Separated;
            p.bitsPerSample = wideBits;
            l->storedBits = bps;
            direct = true;
        } else if (photometric == PHOTOMETRIC_YCBCR && compression == COMPRESSION_JPEG && !l->planar && spp == 3
                   && bps == 8) {
            // libjpeg does the colour conversion and the upsampling.
            if (!TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB)) {
                *error = withReason(QStringLiteral("cannot decode JPEG data as RGB"), &m_messages);
                return false;
            }
            p.photometric = Photometric::RGB;
            direct = true;
        }

        if (l->signedSamples && (!direct || p.photometric == Photometric::Palette)) {
            *error = QStringLiteral("signed samples in this layout are not supported");
            return false;
        }
        if (direct) {
            l->mode = Layout::Direct;
            if (p.photometric == Photometric::Palette && !readColormap(&p, error))
                return false;
        } else {
            char emsg[1024] = {};
            if (!TIFFRGBAImageOK(tif, emsg)) {
                *error = QStringLiteral("unsupported page layout (%1)").arg(QString::fromLocal8Bit(emsg));
                return false;
            }
            l->mode = Layout::Rgba;
            p.photometric = Photometric::RGB;
            p.bitsPerSample = 8;
            p.samplesPerPixel = 4; // the renderer's buffer; trimmed to 3 when it has no alpha
            p.extraSamples = 1;
            p.alphaAssociated = true;
        }

        float xr = 0, yr = 0;
        quint16 unit = RESUNIT_INCH;
        const bool hasX = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xr);
        const bool hasY = TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yr);
        TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
        if (hasX || hasY) {
            p.xResolution = hasX && xr > 0 ? xr : (yr > 0 ? yr : 0);
            p.yResolution = hasY && yr > 0 ? yr : p.xResolution;
            p.resolutionUnit = (unit >= 1 && unit <= 3) ? unit : RESUNIT_INCH;
        }
        // Rows stay in stored order and the tag goes with them: every
        // orientation, transposed ones included, survives exactly.
        quint16 orientation = ORIENTATION_TOPLEFT;
        TIFFGetFieldDefaulted(tif, TIFFTAG_ORIENTATION, &orientation);
        p.orientation = orientation >= 1 && orientation <= 8 ? orientation : ORIENTATION_TOPLEFT;
        quint32 iccSize = 0;
        void *icc = nullptr;
        if (TIFFGetField(tif, TIFFTAG_ICCPROFILE, &iccSize, &icc) && icc && iccSize)
            p.iccProfile = QByteArray(static_cast<const char *>(icc), qsizetype(iccSize));
        return true;
    }

    bool readColormap(Page *p, QString *error) const
    {
        quint16 *r = nullptr, *g = nullptr, *b = nullptr;
        if (!TIFFGetField(m_tif.get(), TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b) {
            *error = QStringLiteral("palette page without a colour map");
            return false;
        }
        const size_t n = size_t(1) << p->bitsPerSample;
        p->colormap.resize(3 * n);
        std::copy_n(r, n, p->colormap.begin());
        std::copy_n(g, n, p->colormap.begin() + qsizetype(n));
        std::copy_n(b, n, p->colormap.begin() + qsizetype(2 * n));
        // Old writers stored 8-bit values; scale them as every reader does.
        const bool eightBit = std::all_of(p->colormap.begin(), p->colormap.end(), [](quint16 v) { return v < 256; });
        if (eightBit)
            for (quint16 &v : p->colormap)
                v = quint16(v * 257);
        return true;
    }

    bool readDirect(const Layout &l, Page *out, QString *error)
    {
        TIFF *tif = m_tif.get();
        const quint64 bpr = out->bytesPerRow();
        const quint32 w = out->width, h = out->height;
        const int spp = out->samplesPerPixel;
        const int planes = l.planar ? spp : 1;
        const quint64 planeRow = l.planar ? quint64(w) * out->bitsPerSample / 8 : bpr;
        const quint64 scan = quint64(l.tiled ? 0 : TIFFScanlineSize64(tif));
        if (!l.tiled && scan != planeRow) {
            *error = withReason(QStringLiteral("unexpected row size"), &m_messages);
            return false;
        }
        quint8 *dst = out->pixels.data();
        std::vector<quint8> scratch;

        // Copies one decoded block (rows x cols at x0, y0, plane s) into the page.
        auto place = [&](const quint8 *src, quint64 srcRow, quint32 x0, quint32 y0, quint32 rows, quint32 cols, int s) {
            if (!l.planar) {
                const quint64 bits = quint64(cols) * spp * out->bitsPerSample;
                const quint64 off = quint64(x0) * spp * out->bitsPerSample / 8;
                for (quint32 r = 0; r < rows; ++r)
                    std::memcpy(dst + (y0 + r) * bpr + off, src + r * srcRow, size_t((bits + 7) / 8));
                return;
            }
            const int bs = out->bitsPerSample / 8;
            for (quint32 r = 0; r < rows; ++r) {
                const quint8 *in = src + r * srcRow;
                quint8 *o = dst + (y0 + r) * bpr + (quint64(x0) * spp + s) * bs;
                if (bs == 1) {
                    for (quint32 x = 0; x < cols; ++x)
                        o[quint64(x) * spp] = in[x];
                } else {
                    for (quint32 x = 0; x < cols; ++x)
                        std::memcpy(o + quint64(x) * spp * 2, in + 2 * x, 2);
                }
            }
        };

        if (l.tiled) {
            quint32 tw = 0, th = 0;
            TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tw);
            TIFFGetField(tif, TIFFTAG_TILELENGTH, &th);
            const quint64 tileSize = quint64(TIFFTileSize64(tif));
            const quint64 tileRow = quint64(TIFFTileRowSize64(tif));
            if (!tw || !th || !tileSize || tileRow * th > tileSize
                || (!l.planar && (quint64(tw) * spp * out->bitsPerSample) % 8 != 0)) {
                *error = withReason(QStringLiteral("bad tile layout"), &m_messages);
                return false;
            }
            scratch.resize(size_t(tileSize));
            for (int s = 0; s < planes; ++s)
                for (quint64 y = 0; y < h; y += th)
                    for (quint64 x = 0; x < w; x += tw) {
                        const ttile_t t = TIFFComputeTile(tif, quint32(x), quint32(y), 0, quint16(s));
                        if (TIFFReadEncodedTile(tif, t, scratch.data(), tmsize_t(tileSize)) < 0) {
                            *error = withReason(QStringLiteral("cannot decode tile %1").arg(t), &m_messages);
                            return false;
                        }
                        place(scratch.data(), tileRow, quint32(x), quint32(y), quint32(std::min<quint64>(th, h - y)),
                              quint32(std::min<quint64>(tw, w - x)), s);
                    }
        } else {
            quint32 rps = h;
            TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &rps);
            if (rps == 0 || rps > h)
                rps = h;
            const quint32 perPlane = (h + rps - 1) / rps;
            if (quint64(TIFFNumberOfStrips(tif)) < quint64(perPlane) * planes) {
                *error = QStringLiteral("too few strips");
                return false;
            }
            if (l.planar)
                scratch.resize(size_t(planeRow * rps));
            for (int s = 0; s < planes; ++s)
                for (quint32 k = 0; k < perPlane; ++k) {
                    const quint32 y = k * rps;
                    const quint32 rows = std::min(rps, h - y);
                    const tmsize_t want = tmsize_t(rows * planeRow);
                    quint8 *target = l.planar ? scratch.data() : dst + y * bpr;
                    const tstrip_t strip = tstrip_t(quint64(s) * perPlane + k);
                    if (TIFFReadEncodedStrip(tif, strip, target, want) < want) {
                        *error = withReason(QStringLiteral("cannot decode strip %1").arg(strip), &m_messages);
                        return false;
                    }
                    if (l.planar)
                        place(scratch.data(), planeRow, 0, y, rows, w, s);
                }
        }

        // Bits past the last pixel of a row are undefined in the file; clear them.
        const unsigned tailBits = unsigned((quint64(w) * spp * out->bitsPerSample) % 8);
        if (tailBits) {
            const quint8 mask = quint8(0xff << (8 - tailBits));
            for (quint32 y = 0; y < h; ++y)
                dst[y * bpr + bpr - 1] &= mask;
        }
        return true;
    }

    bool readRgba(Page *out, QString *error)
    {
        TIFF *tif = m_tif.get();
        char emsg[1024] = {};
        TIFFRGBAImage img;
        if (!TIFFRGBAImageBegin(&img, tif, 0, emsg)) {
            *error = QStringLiteral("cannot decode: %1").arg(QString::fromLocal8Bit(emsg));
            return false;
        }
        // Asking for the file's own orientation makes libtiff flip nothing.
        img.req_orientation = out->orientation;
        auto *raster = reinterpret_cast<uint32_t *>(out->pixels.data());
        const int ok = TIFFRGBAImageGet(&img, raster, out->width, out->height);
        const bool alpha = img.alpha != 0;
        TIFFRGBAImageEnd(&img);
        if (!ok) {
            *error = withReason(QStringLiteral("cannot decode"), &m_messages);
            return false;
        }
        // The raster holds packed ABGR words; unpack in place to R, G, B(, A).
        const quint64 n = quint64(out->width) * out->height;
        quint8 *p = out->pixels.data();
        const int outSpp = alpha ? 4 : 3;
        for (quint64 i = 0; i < n; ++i) {
            uint32_t v;
            std::memcpy(&v, p + 4 * i, 4);
            quint8 *o = p + outSpp * i;
            o[0] = quint8(TIFFGetR(v));
            o[1] = quint8(TIFFGetG(v));
            o[2] = quint8(TIFFGetB(v));
            if (alpha)
                o[3] = quint8(TIFFGetA(v));
        }
        if (!alpha) {
            out->samplesPerPixel = 3;
            out->extraSamples = 0;
            out->alphaAssociated = false;
            out->pixels.resize(size_t(out->byteCount()));
        }
        return true;
    }

    QString m_path;
    mutable TiffMessages m_messages; // declared before m_tif: outlives it
    TiffPtr m_tif;
    int m_pages = 0;
    std::mutex m_helpersMutex;
    std::vector<std::unique_ptr<Helper>> m_helpers; // idle, kept for the next page
    std::map<int, std::unique_ptr<Ahead>> m_ahead; // by page index
    std::vector<quint64> m_directories;
    bool m_directoriesRead = false;
    int m_lastCoded = -2; // the page last handed over still coded
};

} // namespace

std::unique_ptr<ImageSource> openTiffSource(const QString &path, QString *error)
{
    auto source = std::make_unique<TiffSource>(path);
    if (!source->init(error))
        return nullptr;
    return source;
}

int countTiffDirectories(const QString &path)
{
    TiffMessages messages;
    TiffPtr tif = openTiff(path, "r", &messages);
    if (!tif)
        return 0;
    return int(std::min<tdir_t>(TIFFNumberOfDirectories(tif.get()), tdir_t(INT_MAX)));
}

} // namespace quillon::image::detail
