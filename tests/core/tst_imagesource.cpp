// Decoding: every source form comes out as the page that was stored.
#include "common/ImageFactory.h"
#include "core/SystemLog.h"
#include "core/image/Bilevel.h"
#include "core/image/ImageSource.h"
#include "core/image/RasterDecoders.h"

#include <QDir>
#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <tiffio.h>

#include <optional>

using namespace quillon::image;
using namespace quillon::testing;

Q_DECLARE_METATYPE(PageKind)
Q_DECLARE_METATYPE(PngCoding)

namespace {

struct KindName {
    PageKind kind;
    const char *name;
};

const KindName kAllKinds[] = {
    {PageKind::BilevelMinIsWhite, "bilevel-miniswhite"}, {PageKind::BilevelMinIsBlack, "bilevel-minisblack"},
    {PageKind::Grey2, "grey2"}, {PageKind::Grey4, "grey4"}, {PageKind::Grey8, "grey8"},
    {PageKind::Grey8MinIsWhite, "grey8-miniswhite"}, {PageKind::Grey16, "grey16"},
    {PageKind::GreyAlpha8, "grey-alpha8"}, {PageKind::GreyAlpha16, "grey-alpha16"},
    {PageKind::Palette1, "palette1"}, {PageKind::Palette2, "palette2"}, {PageKind::Palette4, "palette4"},
    {PageKind::Palette8, "palette8"}, {PageKind::Rgb8, "rgb8"}, {PageKind::Rgba8, "rgba8"},
    {PageKind::RgbaAssociated8, "rgba8-associated"}, {PageKind::Rgb16, "rgb16"}, {PageKind::Rgba16, "rgba16"},
    {PageKind::Cmyk8, "cmyk8"}, {PageKind::Cmyk16, "cmyk16"},
};

// Smooth content, for lossy coders (noise is what they drop first).
// Different seeds put the gradients in different colour channels.
Page gradientPage(PageKind kind, quint32 w, quint32 h, int seed = 0)
{
    Page p = makePage(kind, w, h);
    const int colours = p.samplesPerPixel - p.extraSamples;
    const quint32 full = p.bitsPerSample == 16 ? 65535 : 255;
    for (quint32 y = 0; y < h; ++y)
        for (quint32 x = 0; x < w; ++x)
            for (int s = 0; s < p.samplesPerPixel; ++s) {
                const int role = s < colours ? (s + seed) % colours : s;
                const quint32 v = role == 0 ? x * full / (w - 1) : role == 1 ? y * full / (h - 1) : (x + y) * full / (w + h - 2);
                setSampleAt(p, x, y, s, s >= colours ? full - v / 4 : v);
            }
    return p;
}

// Largest difference of any sample, and the mean one; layouts must agree.
bool closePixels(const Page &a, const Page &b, int maxDiff, double maxMean, QString *why)
{
    if (a.width != b.width || a.height != b.height || a.samplesPerPixel != b.samplesPerPixel
        || a.bitsPerSample != b.bitsPerSample) {
        *why = QStringLiteral("layout %1x%2x%3@%4 vs %5x%6x%7@%8")
                   .arg(a.width).arg(a.height).arg(a.samplesPerPixel).arg(a.bitsPerSample)
                   .arg(b.width).arg(b.height).arg(b.samplesPerPixel).arg(b.bitsPerSample);
        return false;
    }
    quint64 total = 0, count = 0;
    quint32 worst = 0;
    for (quint32 y = 0; y < a.height; ++y)
        for (quint32 x = 0; x < a.width; ++x)
            for (int s = 0; s < a.samplesPerPixel; ++s) {
                const quint32 d = quint32(std::abs(qint64(sampleAt(a, x, y, s)) - qint64(sampleAt(b, x, y, s))));
                worst = std::max(worst, d);
                total += d;
                ++count;
            }
    const double mean = double(total) / double(count);
    *why = QStringLiteral("largest difference %1, mean %2").arg(worst).arg(mean);
    return int(worst) <= maxDiff && mean <= maxMean;
}

bool isBilevelKind(PageKind k)
{
    return k == PageKind::BilevelMinIsWhite || k == PageKind::BilevelMinIsBlack;
}

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A BMP written with a 40-byte header, given instead a header of `dib` bytes
// (52/56: V2/V3, zero masks; 64: OS/2 2.x; 16: OS/2 2.x shortened).
QByteArray withBmpHeader(const QByteArray &bmp, quint32 dib)
{
    QByteArray out = bmp.left(14);
    QByteArray header = bmp.mid(14, 40);
    header.resize(qsizetype(dib), '\0');
    qToLittleEndian(dib, header.data());
    out += header + bmp.mid(54);
    qToLittleEndian(quint32(out.size()), out.data() + 2);
    qToLittleEndian(qFromLittleEndian<quint32>(bmp.constData() + 10) + dib - 40, out.data() + 10);
    return out;
}

// Samples packed first bit highest, rows padded to whole bytes.
QByteArray packSamples(const std::vector<quint32> &values, quint32 perRow, int bits)
{
    QByteArray out;
    const size_t rows = values.size() / perRow;
    for (size_t y = 0; y < rows; ++y) {
        QByteArray row(qsizetype((quint64(perRow) * bits + 7) / 8), '\0');
        for (quint32 i = 0; i < perRow; ++i)
            for (int b = 0; b < bits; ++b)
                if (values[y * perRow + i] >> (bits - 1 - b) & 1) {
                    const quint64 at = quint64(i) * bits + b;
                    row[qsizetype(at / 8)] = char(row[qsizetype(at / 8)] | (0x80 >> (at % 8)));
                }
        out += row;
    }
    return out;
}

// Writes a variant that other programs write and we once refused, and the
// page it must decode to.
bool makeVariant(const QString &variant, const QString &file, const QString &scratch, Page *expected, QString *why)
{
    const quint32 w = 37, h = 22;
    if (variant.startsWith(QLatin1String("jpeg"))) {
        if (!writeJpeg(scratch, 48, 40, 0, false, why) || !decodePage(scratch, 0, expected, why))
            return false;
        QByteArray jpeg = fileBytes(scratch);
        if (variant == QLatin1String("jpeg-gain-map")) {
            // A multi-picture index up front and a second picture after EOI.
            jpeg.insert(2, QByteArray("\xff\xe2\x00\x0cMPF\0MM\0\x2a\0", 14));
            if (!writeJpeg(scratch, 16, 12, 0, true, why))
                return false;
            jpeg += fileBytes(scratch);
        } else if (variant == QLatin1String("jpeg-junk-before-marker")) {
            jpeg.insert(2, QByteArray("\x00\x13junk", 6));
        } else if (variant == QLatin1String("jpeg-cut-app14")) {
            jpeg.insert(2, QByteArray("\xff\xee\x00\x07" "Adobe", 9));
        }
        return writeBytes(file, jpeg);
    }
    if (variant.startsWith(QLatin1String("bmp"))) {
        const bool palette = variant.contains(QLatin1String("palette"));
        *expected = makePage(palette ? PageKind::Palette8 : PageKind::Rgb8, w, h, 3);
        if (variant.contains(QLatin1String("palette4")))
            *expected = makePage(PageKind::Palette4, w, h, 3);
        if (!writeBmp(scratch, *expected, why))
            return false;
        const quint32 dib = variant.contains(QLatin1String("v2"))    ? 52
            : variant.contains(QLatin1String("v3"))                  ? 56
            : variant.contains(QLatin1String("short"))               ? 16
                                                                     : 64;
        return writeBytes(file, withBmpHeader(fileBytes(scratch), dib));
    }
    if (variant == QLatin1String("tiff-signed-grey8") || variant == QLatin1String("tiff-signed-rgb16")) {
        const bool wide = variant.endsWith(QLatin1String("16"));
        *expected = makePage(wide ? PageKind::Rgb16 : PageKind::Grey8, w, h, 1);
        // Stored signed: the unsigned value less half the range.
        QByteArray rows(reinterpret_cast<const char *>(expected->pixels.data()), qsizetype(expected->pixels.size()));
        for (qsizetype i = wide ? 0 : 0; i < rows.size(); ++i)
            if (!wide || i % 2 == (QSysInfo::ByteOrder == QSysInfo::LittleEndian ? 1 : 0))
                rows[i] = char(rows[i] ^ 0x80);
        return writeRawTiff(file, w, h, wide ? 16 : 8, wide ? 3 : 1, wide ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK,
                            SAMPLEFORMAT_INT, rows, why);
    }
    if (variant == QLatin1String("tiff-grey16-no-photometric")) {
        *expected = makePage(PageKind::Grey16, w, h, 2);
        const QByteArray rows(reinterpret_cast<const char *>(expected->pixels.data()), qsizetype(expected->pixels.size()));
        return writeRawTiff(file, w, h, 16, 1, -1, SAMPLEFORMAT_UINT, rows, why);
    }
    // Odd depths: every stored value must come out as a value of its own at full scale.
    const int bits = variant == QLatin1String("tiff-12bit-grey") ? 12 : variant == QLatin1String("tiff-6bit-rgb") ? 6 : 10;
    const quint16 spp = variant.contains(QLatin1String("rgb")) ? 3 : 1;
    const quint32 maxIn = (1u << bits) - 1;
    const quint16 wideBits = bits > 8 ? 16 : 8;
    const quint32 maxOut = (1u << wideBits) - 1;
    *expected = blankPage(w, h, wideBits, spp, 0, spp == 3 ? Photometric::RGB : Photometric::MinIsBlack);
    std::vector<quint32> values;
    for (quint32 y = 0; y < h; ++y)
        for (quint32 x = 0; x < w; ++x)
            for (int c = 0; c < spp; ++c) {
                const quint32 v = (x == 0 && y == 0) ? maxIn : (x * 97 + y * 31 + quint32(c) * 500) % (maxIn + 1);
                values.push_back(v);
                setSampleAt(*expected, x, y, c, quint32((quint64(v) * maxOut + maxIn / 2) / maxIn));
            }
    return writeRawTiff(file, w, h, quint16(bits), spp, spp == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK,
                        SAMPLEFORMAT_UINT, packSamples(values, w * spp, bits), why);
}

} // namespace

class TestImageSource : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void tiffLayouts_data()
    {
        QTest::addColumn<PageKind>("kind");
        QTest::addColumn<int>("compression");
        QTest::addColumn<bool>("planar");
        QTest::addColumn<bool>("tiled");
        for (const KindName &k : kAllKinds) {
            const bool multiSample = makePage(k.kind, 1, 1).samplesPerPixel > 1;
            const bool wide = makePage(k.kind, 1, 1).bitsPerSample >= 8;
            QList<int> compressions{1, 5, 8, 32773};
            if (isBilevelKind(k.kind))
                compressions << 3 << 4;
            for (int c : compressions)
                QTest::addRow("%s-c%d", k.name, c) << k.kind << c << false << false;
            QTest::addRow("%s-tiled", k.name) << k.kind << 5 << false << true;
            if (multiSample && wide) {
                QTest::addRow("%s-planar", k.name) << k.kind << 8 << true << false;
                QTest::addRow("%s-planar-tiled", k.name) << k.kind << 1 << true << true;
            }
        }
    }

    void tiffLayouts()
    {
        QFETCH(PageKind, kind);
        QFETCH(int, compression);
        QFETCH(bool, planar);
        QFETCH(bool, tiled);
        TiffOptions o;
        o.compression = quint16(compression);
        o.planar = planar;
        o.tiled = tiled;
        const QString file = path(QStringLiteral("layout.tif"));
        QString why;
        QVERIFY2(writeTiff(file, kind, 3, o, 61, 37, &why), qPrintable(why));

        QString error;
        auto source = ImageSource::open(file, &error);
        QVERIFY2(source, qPrintable(error));
        QCOMPARE(source->pageCount(), 3);
        QCOMPARE(countImages(file), 3);
        // Read out of order: pages are addressed, not streamed.
        for (int i : {2, 0, 1}) {
            Page page;
            QVERIFY2(source->readPage(i, &page, &error), qPrintable(error));
            const Page expected = makePage(kind, 61, 37, i);
            QVERIFY2(samePixels(page, expected, &why), qPrintable(QStringLiteral("page %1: %2").arg(i).arg(why)));
            QCOMPARE(source->decodedSize(i), page.byteCount());
        }
    }

    void tiffYCbCr_data()
    {
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("tolerance");
        QTest::newRow("jpeg-in-tiff") << 7 << 12;
        QTest::newRow("subsampled-raw") << 1 << 8;
    }

    // YCbCr comes out as RGB, close to what went in.
    void tiffYCbCr()
    {
        QFETCH(int, compression);
        QFETCH(int, tolerance);
        Page smooth = blankPage(64, 48, 8, 3, 0, Photometric::RGB);
        for (quint32 y = 0; y < 48; ++y)
            for (quint32 x = 0; x < 64; ++x) {
                setSampleAt(smooth, x, y, 0, x * 4);
                setSampleAt(smooth, x, y, 1, y * 5);
                setSampleAt(smooth, x, y, 2, 128);
            }
        TiffOptions o;
        o.compression = quint16(compression);
        o.ycbcr = true;
        const QString file = path(QStringLiteral("ycbcr.tif"));
        QVERIFY(writeTiff(file, {smooth, smooth}, o));
        Page page;
        QString why;
        QVERIFY2(decodePage(file, 1, &page, &why), qPrintable(why));
        QCOMPARE(page.photometric, Photometric::RGB);
        QCOMPARE(page.samplesPerPixel, quint16(3));
        QCOMPARE(page.bitsPerSample, quint16(8));
        QCOMPARE(page.width, 64u);
        QCOMPARE(page.height, 48u);
        double total = 0;
        for (quint32 y = 0; y < 48; ++y)
            for (quint32 x = 0; x < 64; ++x)
                for (int s = 0; s < 3; ++s)
                    total += std::abs(int(sampleAt(page, x, y, s)) - int(sampleAt(smooth, x, y, s)));
        QVERIFY2(total / (64 * 48 * 3) < tolerance, qPrintable(QString::number(total / (64 * 48 * 3))));
    }

    void tiffOrientationKept_data()
    {
        QTest::addColumn<bool>("ycbcr");
        QTest::addColumn<int>("orientation");
        for (int o : {1, 3, 5, 8}) {
            QTest::addRow("rgb-%d", o) << false << o;
            QTest::addRow("ycbcr-%d", o) << true << o; // decoded through libtiff's renderer
        }
    }

    // Rows come out in stored order with the orientation reported, on both
    // decoding paths; nothing is flipped behind the caller's back.
    void tiffOrientationKept()
    {
        QFETCH(bool, ycbcr);
        QFETCH(int, orientation);
        Page stripes = blankPage(32, 16, 8, 3, 0, Photometric::RGB);
        for (quint32 y = 0; y < 16; ++y)
            for (quint32 x = 0; x < 32; ++x)
                for (int s = 0; s < 3; ++s)
                    setSampleAt(stripes, x, y, s, y < 8 ? 230 : 20);
        stripes.orientation = quint16(orientation);
        TiffOptions o;
        o.ycbcr = ycbcr;
        const QString file = path(QStringLiteral("orient-%1-%2.tif").arg(ycbcr).arg(orientation));
        QVERIFY(writeTiff(file, {stripes}, o));
        Page page;
        QString why;
        QVERIFY2(decodePage(file, 0, &page, &why), qPrintable(why));
        QCOMPARE(page.orientation, quint16(orientation));
        QCOMPARE(page.width, 32u);
        QCOMPARE(page.height, 16u);
        QVERIFY(sampleAt(page, 5, 2, 0) > 200);  // the light half is still on top
        QVERIFY(sampleAt(page, 5, 13, 0) < 50);
    }

    void tiffResolutionAndProfile()
    {
        Page p = makePage(PageKind::Rgb8);
        p.xResolution = 300;
        p.yResolution = 150;
        p.resolutionUnit = 3;
        p.iccProfile = iccProfile();
        QVERIFY(!p.iccProfile.isEmpty());
        const QString file = path(QStringLiteral("res.tif"));
        QVERIFY(writeTiff(file, {p}));
        Page page;
        QVERIFY(decodePage(file, 0, &page));
        QCOMPARE(page.xResolution, 300.f);
        QCOMPARE(page.yResolution, 150.f);
        QCOMPARE(page.resolutionUnit, quint16(3));
        QCOMPARE(page.iccProfile, p.iccProfile);
    }

    void pngForms_data()
    {
        QTest::addColumn<PageKind>("kind");
        QTest::addColumn<int>("filter");
        QTest::addColumn<int>("idatChunks");
        QTest::addColumn<quint32>("width");
        for (PageKind k : {PageKind::BilevelMinIsBlack, PageKind::Grey2, PageKind::Grey4, PageKind::Grey8, PageKind::Grey16,
                           PageKind::GreyAlpha8, PageKind::GreyAlpha16, PageKind::Palette1, PageKind::Palette2,
                           PageKind::Palette4, PageKind::Palette8, PageKind::Rgb8, PageKind::Rgba8, PageKind::Rgb16,
                           PageKind::Rgba16})
            for (const KindName &n : kAllKinds)
                if (n.kind == k) {
                    QTest::newRow(n.name) << k << 0 << 1 << 45u;
                    // Every filter type, over rows of every length a pixel's bits leave.
                    for (quint32 w : {1u, 2u, 3u, 7u, 45u})
                        QTest::addRow("%s, filters, %u wide, 3 IDATs", n.name, w) << k << 5 << 3 << w;
                }
        for (int f = 1; f <= 4; ++f) {
            QTest::addRow("rgb8, filter %d", f) << PageKind::Rgb8 << f << 1 << 45u;
            QTest::addRow("grey16, filter %d", f) << PageKind::Grey16 << f << 1 << 45u;
            QTest::addRow("palette2, filter %d, 2 IDATs", f) << PageKind::Palette2 << f << 2 << 45u;
        }
    }

    // PNG keeps its stored form: grey, 16-bit, palette, 1-bit, alpha; the
    // whole-stream inflate gives the pixels libpng's own does.
    void pngForms()
    {
        QFETCH(PageKind, kind);
        QFETCH(int, filter);
        QFETCH(int, idatChunks);
        QFETCH(quint32, width);
        Page p = makePage(kind, width, 23, 3);
        p.xResolution = p.yResolution = 300;
        const QString file = path(QStringLiteral("form.png"));
        QString why;
        PngCoding coding;
        coding.filter = filter;
        coding.idatChunks = idatChunks;
        QVERIFY2(writePng(file, p, coding, &why), qPrintable(why));
        for (bool fast : {true, false}) {
            if (!fast)
                qputenv("QUILLON_PNG_NO_FAST_INFLATE", "1");
            auto restore = qScopeGuard([] { qunsetenv("QUILLON_PNG_NO_FAST_INFLATE"); });
            Page page;
            QVERIFY2(decodePage(file, 0, &page, &why), qPrintable(why));
            QVERIFY2(samePixels(page, p, &why), qPrintable(why + (fast ? QStringLiteral(" (fast)") : QStringLiteral(" (libpng)"))));
            QCOMPARE(page.xResolution, 300.f);
            QCOMPARE(page.resolutionUnit, quint16(2));
            QVERIFY(page.iccProfile.isEmpty());
        }
    }

    void damagedPngEitherWay_data()
    {
        QTest::addColumn<PageKind>("kind");
        QTest::addColumn<PngCoding>("coding");
        QTest::addColumn<bool>("decodes");
        auto row = [](const char *name, PngCoding c, bool decodes) {
            for (PageKind k : {PageKind::Rgb8, PageKind::Palette4, PageKind::Grey16})
                QTest::addRow("%s, %s", name, k == PageKind::Rgb8 ? "rgb8" : k == PageKind::Palette4 ? "palette4" : "grey16")
                    << k << c << decodes;
        };
        PngCoding c;
        c.filter = 5;
        c.idatChunks = 2;
        PngCoding d = c;
        d.badCrc = true;
        row("bad IDAT CRC", d, false);
        d = c;
        d.afterStream = QByteArray("junk after the stream");
        row("data after the zlib stream", d, true);
        d = c;
        d.badFilterRow = 7;
        row("undefined filter type", d, false);
        d = c;
        d.rowsLeftOut = 3;
        row("stream short of three rows", d, false);
        d = c;
        d.badAdler = true;
        row("bad zlib checksum", d, false);
    }

    // Damaged image data ends as it does with libpng alone: the fast road
    // never decodes what libpng refuses, nor refuses what it decodes.
    void damagedPngEitherWay()
    {
        QFETCH(PageKind, kind);
        QFETCH(PngCoding, coding);
        QFETCH(bool, decodes);
        const Page p = makePage(kind, 45, 23, 2);
        const QString file = path(QStringLiteral("damaged.png"));
        QString why;
        QVERIFY2(writePng(file, p, coding, &why), qPrintable(why));
        std::optional<Page> decoded[2];
        QString errors[2];
        for (int fast : {0, 1}) {
            if (!fast)
                qputenv("QUILLON_PNG_NO_FAST_INFLATE", "1");
            auto restore = qScopeGuard([] { qunsetenv("QUILLON_PNG_NO_FAST_INFLATE"); });
            quillon::startCapturingLog();
            Page page;
            if (decodePage(file, 0, &page, &errors[fast]))
                decoded[fast] = std::move(page);
            quillon::stopCapturingLog();
        }
        QCOMPARE(decoded[1].has_value(), decoded[0].has_value());
        QCOMPARE(errors[1], errors[0]);
        QCOMPARE(decoded[1].has_value(), decodes);
        if (decodes) {
            QVERIFY2(samePixels(*decoded[1], *decoded[0], &why), qPrintable(why));
            QVERIFY2(samePixels(*decoded[1], p, &why), qPrintable(why));
        }
    }

    void pngPaletteWithTransparency()
    {
        const Page p = makePage(PageKind::Palette4, 30, 20, 1);
        std::vector<quint8> alpha(16, 255);
        alpha[2] = 0;
        alpha[5] = 128;
        const QString file = path(QStringLiteral("trns.png"));
        QVERIFY(writePng(file, p, alpha));
        Page page;
        QVERIFY(decodePage(file, 0, &page));
        QCOMPARE(page.photometric, Photometric::RGB);
        QCOMPARE(page.samplesPerPixel, quint16(4));
        QCOMPARE(page.extraSamples, quint16(1));
        QVERIFY(!page.alphaAssociated);
        for (quint32 y = 0; y < 20; ++y)
            for (quint32 x = 0; x < 30; ++x) {
                const quint32 i = sampleAt(p, x, y);
                QCOMPARE(sampleAt(page, x, y, 3), quint32(alpha[i]));
                if (alpha[i] == 255)
                    QCOMPARE(sampleAt(page, x, y, 0), quint32(p.colormap[i] >> 8));
            }
    }

    void pngIccProfile()
    {
        Page p = makePage(PageKind::Rgb8);
        p.iccProfile = iccProfile();
        const QString file = path(QStringLiteral("icc.png"));
        QVERIFY(writePng(file, p));
        Page page;
        QVERIFY(decodePage(file, 0, &page));
        QCOMPARE(page.iccProfile, p.iccProfile);
    }

    void bmpForms_data()
    {
        QTest::addColumn<PageKind>("kind");
        QTest::addColumn<bool>("topDown");
        QTest::newRow("1-bit") << PageKind::BilevelMinIsBlack << false;
        QTest::newRow("grey8") << PageKind::Grey8 << false;
        QTest::newRow("palette1") << PageKind::Palette1 << false;
        QTest::newRow("palette4") << PageKind::Palette4 << false;
        QTest::newRow("palette8") << PageKind::Palette8 << false;
        QTest::newRow("rgb8") << PageKind::Rgb8 << false;
        QTest::newRow("rgba8") << PageKind::Rgba8 << false;
        QTest::newRow("palette4 top-down") << PageKind::Palette4 << true;
        QTest::newRow("rgb8 top-down") << PageKind::Rgb8 << true;
        QTest::newRow("rgba8 top-down") << PageKind::Rgba8 << true;
    }

    void bmpForms()
    {
        QFETCH(PageKind, kind);
        QFETCH(bool, topDown);
        Page p = makePage(kind, 33, 19, 2);
        p.xResolution = p.yResolution = 200;
        const QString file = path(QStringLiteral("form.bmp"));
        QString why;
        QVERIFY2(writeBmp(file, p, &why, topDown), qPrintable(why));
        Page page;
        QVERIFY2(decodePage(file, 0, &page, &why), qPrintable(why));
        QVERIFY2(samePixels(page, p, &why), qPrintable(why));
        QCOMPARE(page.xResolution, 200.f);
        QCOMPARE(countImages(file), 1);
    }

    void bmpSixteenBit_data()
    {
        QTest::addColumn<bool>("rgb565");
        QTest::addColumn<int>("word");
        QTest::addColumn<int>("red");
        QTest::addColumn<int>("green");
        QTest::addColumn<int>("blue");
        QTest::newRow("565 white") << true << 0xffff << 255 << 255 << 255;
        QTest::newRow("565 black") << true << 0x0000 << 0 << 0 << 0;
        QTest::newRow("565 mid") << true << (16 << 11 | 32 << 5 | 16) << 132 << 130 << 132;
        QTest::newRow("565 one step") << true << (1 << 11 | 1 << 5 | 1) << 8 << 4 << 8;
        QTest::newRow("555 white") << false << 0x7fff << 255 << 255 << 255;
        QTest::newRow("555 mid") << false << (16 << 10 | 16 << 5 | 16) << 132 << 132 << 132;
        QTest::newRow("555 pure red") << false << (31 << 10) << 255 << 0 << 0;
    }

    // Each 5- or 6-bit field spans the full 8-bit range: v * 255 / max, rounded.
    void bmpSixteenBit()
    {
        QFETCH(bool, rgb565);
        QFETCH(int, word);
        QFETCH(int, red);
        QFETCH(int, green);
        QFETCH(int, blue);
        const quint32 w = 5, h = 3;
        std::vector<quint16> pixels(w * h, 0);
        pixels[1 * w + 3] = quint16(word); // one pixel, so that a row or column mix-up shows
        const QString file = path(QStringLiteral("sixteen.bmp"));
        QString why;
        QVERIFY2(writeBmp16(file, w, h, pixels, rgb565, &why), qPrintable(why));
        Page page;
        QVERIFY2(decodePage(file, 0, &page, &why), qPrintable(why));
        QCOMPARE(page.photometric, Photometric::RGB);
        QCOMPARE(page.samplesPerPixel, quint16(3));
        QCOMPARE(page.bitsPerSample, quint16(8));
        QCOMPARE(sampleAt(page, 3, 1, 0), quint32(red));
        QCOMPARE(sampleAt(page, 3, 1, 1), quint32(green));
        QCOMPARE(sampleAt(page, 3, 1, 2), quint32(blue));
        QCOMPARE(sampleAt(page, 2, 1, 0) + sampleAt(page, 3, 0, 1) + sampleAt(page, 3, 2, 2), 0u);
    }

    void gifForms_data()
    {
        QTest::addColumn<PageKind>("kind");
        QTest::addColumn<int>("frames");
        QTest::newRow("palette8") << PageKind::Palette8 << 1;
        QTest::newRow("palette4") << PageKind::Palette4 << 1;
        QTest::newRow("palette1") << PageKind::Palette1 << 1;
        QTest::newRow("animated") << PageKind::Palette8 << 3;
    }

    // The page is the first frame, back in its own palette.
    void gifForms()
    {
        QFETCH(PageKind, kind);
        QFETCH(int, frames);
        std::vector<Page> pages;
        for (int i = 0; i < frames; ++i)
            pages.push_back(makePage(kind, 40, 25, i));
        const QString file = path(QStringLiteral("form.gif"));
        QString why;
        QVERIFY2(writeGif(file, pages, -1, &why), qPrintable(why));
        QCOMPARE(countImages(file), frames);
        auto source = ImageSource::open(file, &why);
        QVERIFY2(source, qPrintable(why));
        QCOMPARE(source->pageCount(), 1);
        Page page;
        QVERIFY2(source->readPage(0, &page, &why), qPrintable(why));
        QVERIFY2(samePixels(page, pages[0], &why), qPrintable(why));
        QVERIFY(!source->readPage(1, &page, &why));
    }

    void gifTransparency()
    {
        const Page p = makePage(PageKind::Palette4, 20, 10, 0);
        const QString file = path(QStringLiteral("trans.gif"));
        QVERIFY(writeGif(file, {p}, 3));
        Page page;
        QVERIFY(decodePage(file, 0, &page));
        QCOMPARE(page.samplesPerPixel, quint16(4));
        QCOMPARE(page.extraSamples, quint16(1));
        for (quint32 y = 0; y < 10; ++y)
            for (quint32 x = 0; x < 20; ++x)
                QCOMPARE(sampleAt(page, x, y, 3) == 0, sampleAt(p, x, y) == 3);
    }

    void jpegOrientation_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<bool>("swapped");
        QTest::addColumn<bool>("redOnTop"); // else red on the left (1), right (3)
        QTest::addColumn<bool>("rowsReversed"); // stored rows run against the axis they land on
        QTest::newRow("none") << 0 << false << false << false;
        QTest::newRow("1") << 1 << false << false << false;
        QTest::newRow("2") << 2 << false << false << false;
        QTest::newRow("3") << 3 << false << false << true;
        QTest::newRow("4") << 4 << false << false << true;
        QTest::newRow("5") << 5 << true << true << false;
        QTest::newRow("6") << 6 << true << true << true;
        QTest::newRow("7") << 7 << true << false << true;
        QTest::newRow("8") << 8 << true << false << false;
    }

    // The page comes out upright: the red (stored left) half ends where the
    // orientation puts it.
    void jpegOrientation()
    {
        QFETCH(int, orientation);
        QFETCH(bool, swapped);
        QFETCH(bool, redOnTop);
        QFETCH(bool, rowsReversed);
        const QString file = path(QStringLiteral("o.jpg"));
        QVERIFY(writeJpeg(file, 64, 32, orientation));
        Page page;
        QString why;
        QVERIFY2(decodePage(file, 0, &page, &why), qPrintable(why));
        QCOMPARE(page.photometric, Photometric::RGB);
        QCOMPARE(page.samplesPerPixel, quint16(3));
        QCOMPARE(page.width, swapped ? 32u : 64u);
        QCOMPARE(page.height, swapped ? 64u : 32u);
        auto red = [&](quint32 x, quint32 y) { return sampleAt(page, x, y, 0) > 150 && sampleAt(page, x, y, 2) < 100; };
        auto blue = [&](quint32 x, quint32 y) { return sampleAt(page, x, y, 2) > 150 && sampleAt(page, x, y, 0) < 100; };
        // The stored rows grow lighter downwards; that runs along x once swapped.
        auto level = [&](quint32 x, quint32 y) { return int(sampleAt(page, x, y, red(x, y) ? 0 : 2)); };
        if (swapped) {
            QCOMPARE(red(16, 10), redOnTop);
            QCOMPARE(blue(16, 54), redOnTop);
            QCOMPARE(red(16, 54), !redOnTop);
            QCOMPARE(level(3, 10) > level(28, 10), rowsReversed);
        } else {
            const bool redLeft = orientation != 3 && orientation != 2;
            QCOMPARE(red(10, 16), redLeft);
            QCOMPARE(blue(54, 16), redLeft);
            QCOMPARE(level(10, 3) > level(10, 28), rowsReversed);
        }
    }

    void jpegColourForms_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<bool>("forFax"); // the output will be CCITT fax
        QTest::addColumn<int>("photometric");
        QTest::addColumn<int>("samples");
        QTest::newRow("colour") << "colour" << false << int(Photometric::RGB) << 3;
        QTest::newRow("colour for fax") << "colour" << true << int(Photometric::MinIsBlack) << 1;
        QTest::newRow("grey for fax") << "grey" << true << int(Photometric::MinIsBlack) << 1;
        QTest::newRow("cmyk adobe") << "cmyk-adobe" << false << int(Photometric::Separated) << 4;
        QTest::newRow("cmyk plain") << "cmyk-plain" << false << int(Photometric::Separated) << 4;
        QTest::newRow("cmyk for fax") << "cmyk-adobe" << true << int(Photometric::Separated) << 4;
    }

    // CMYK stays ink (0 = none, whichever way the file stored it); a colour
    // page bound for fax is decoded as grey, and thresholds as its colour
    // decode would.
    void jpegColourForms()
    {
        QFETCH(QString, source);
        QFETCH(bool, forFax);
        QFETCH(int, photometric);
        QFETCH(int, samples);
        const QString file = path(QStringLiteral("forms.jpg"));
        Page ink;
        if (source.startsWith(QLatin1String("cmyk"))) {
            ink = blankPage(64, 40, 8, 4, 0, Photometric::Separated);
            for (quint32 y = 0; y < 40; ++y)
                for (quint32 x = 0; x < 64; ++x) {
                    setSampleAt(ink, x, y, 0, x * 4);
                    setSampleAt(ink, x, y, 1, y * 6);
                    setSampleAt(ink, x, y, 2, 30);
                    setSampleAt(ink, x, y, 3, x < 32 ? 0 : 200);
                }
            QVERIFY(writeCmykJpeg(file, ink, source == QLatin1String("cmyk-adobe")));
        } else {
            QVERIFY(writeJpeg(file, 64, 40, 0, source == QLatin1String("grey")));
        }
        QString why;
        auto src = ImageSource::open(file, &why);
        QVERIFY2(src, qPrintable(why));
        ReadOptions options;
        options.outputCompression = forFax ? 4 : 1;
        src->setReadOptions(options);
        Page page;
        QVERIFY2(src->readPage(0, &page, &why), qPrintable(why));
        QCOMPARE(int(page.photometric), photometric);
        QCOMPARE(int(page.samplesPerPixel), samples);
        QCOMPARE(page.bitsPerSample, quint16(8));
        QCOMPARE(page.width, 64u);
        QCOMPARE(page.height, 40u);
        if (!ink.pixels.empty()) {
            double total = 0;
            for (quint32 y = 0; y < 40; ++y)
                for (quint32 x = 0; x < 64; ++x)
                    for (int s = 0; s < 4; ++s)
                        total += std::abs(int(sampleAt(page, x, y, s)) - int(sampleAt(ink, x, y, s)));
            QVERIFY2(total / (64 * 40 * 4) < 3, qPrintable(QString::number(total / (64 * 40 * 4))));
        }
        if (forFax && source == QLatin1String("colour")) {
            Page colour;
            QVERIFY(decodePage(file, 0, &colour));
            QCOMPARE(colour.photometric, Photometric::RGB);
            const Page a = quillon::image::detail::toBilevel(page);
            const Page b = quillon::image::detail::toBilevel(colour);
            int differ = 0;
            for (quint32 y = 0; y < 40; ++y)
                for (quint32 x = 0; x < 64; ++x) {
                    differ += sampleAt(a, x, y) != sampleAt(b, x, y);
                    const double luma = 0.299 * sampleAt(colour, x, y, 0) + 0.587 * sampleAt(colour, x, y, 1)
                        + 0.114 * sampleAt(colour, x, y, 2);
                    QVERIFY2(std::abs(luma - sampleAt(page, x, y)) < 4, qPrintable(QStringLiteral("at %1,%2").arg(x).arg(y)));
                }
            QVERIFY2(differ <= 64 * 40 / 200, qPrintable(QString::number(differ)));
        }
    }

    void jpegGreyStaysGrey()
    {
        const QString file = path(QStringLiteral("grey.jpg"));
        QVERIFY(writeJpeg(file, 40, 30, 0, true));
        Page page;
        QVERIFY(decodePage(file, 0, &page));
        QCOMPARE(page.photometric, Photometric::MinIsBlack);
        QCOMPARE(page.samplesPerPixel, quint16(1));
        QCOMPARE(page.bitsPerSample, quint16(8));
    }

    // HEIF/AVIF, WebP and JPEG XL made by their own encoders: lossless ones
    // come back pixel for pixel, lossy ones within the tolerance, upright.
    void codecForms_data()
    {
        QTest::addColumn<QString>("format"); // webp, jxl, heic, avif
        QTest::addColumn<PageKind>("kind");
        QTest::addColumn<bool>("lossless");
        QTest::addColumn<int>("bits");        // 16-bit pages: significant bits stored (0 = all)
        QTest::addColumn<int>("orientation"); // of the header (HEIF, JPEG XL) or the EXIF block (WebP)
        QTest::addColumn<int>("pages");       // HEIF top-level images, WebP frames
        QTest::addColumn<int>("tolerance");   // largest sample difference in 8-bit steps; 0 = exact
        // libheif 1.15 codes RGB through YCbCr whatever the matrix asked for, so
        // no HEIF file it writes is lossless: those rows are lossy ones.

        QTest::newRow("webp rgb") << "webp" << PageKind::Rgb8 << true << 0 << 1 << 1 << 0;
        QTest::newRow("webp rgba") << "webp" << PageKind::Rgba8 << true << 0 << 1 << 1 << 0;
        QTest::newRow("webp exif 6") << "webp" << PageKind::Rgb8 << true << 0 << 6 << 1 << 0;
        QTest::newRow("webp exif 2") << "webp" << PageKind::Rgba8 << true << 0 << 2 << 1 << 0;
        QTest::newRow("webp exif 7") << "webp" << PageKind::Rgb8 << true << 0 << 7 << 1 << 0;
        QTest::newRow("webp animated") << "webp" << PageKind::Rgb8 << true << 0 << 1 << 3 << 0;
        QTest::newRow("webp lossy") << "webp" << PageKind::Rgb8 << false << 0 << 1 << 1 << 40;
        QTest::newRow("jxl grey") << "jxl" << PageKind::Grey8 << true << 0 << 1 << 1 << 0;
        QTest::newRow("jxl grey alpha") << "jxl" << PageKind::GreyAlpha8 << true << 0 << 1 << 1 << 0;
        QTest::newRow("jxl rgb") << "jxl" << PageKind::Rgb8 << true << 0 << 1 << 1 << 0;
        QTest::newRow("jxl rgba") << "jxl" << PageKind::Rgba8 << true << 0 << 1 << 1 << 0;
        QTest::newRow("jxl rgb16") << "jxl" << PageKind::Rgb16 << true << 0 << 1 << 1 << 0;
        QTest::newRow("jxl rgba16") << "jxl" << PageKind::Rgba16 << true << 0 << 1 << 1 << 0;
        QTest::newRow("jxl rgb 12-bit") << "jxl" << PageKind::Rgb16 << true << 12 << 1 << 1 << 0;
        QTest::newRow("jxl grey 10-bit") << "jxl" << PageKind::Grey16 << true << 10 << 1 << 1 << 0;
        QTest::newRow("jxl orientation 6") << "jxl" << PageKind::Rgb8 << true << 0 << 6 << 1 << 0;
        QTest::newRow("jxl orientation 4") << "jxl" << PageKind::Rgba8 << true << 0 << 4 << 1 << 0;
        QTest::newRow("jxl orientation 5") << "jxl" << PageKind::Rgb8 << true << 0 << 5 << 1 << 0;
        QTest::newRow("jxl lossy") << "jxl" << PageKind::Rgb8 << false << 0 << 1 << 1 << 48;
        QTest::newRow("avif rgb") << "avif" << PageKind::Rgb8 << false << 0 << 1 << 1 << 40;
        QTest::newRow("avif rgba") << "avif" << PageKind::Rgba8 << false << 0 << 1 << 1 << 40;
        QTest::newRow("heic rgb 10-bit") << "heic" << PageKind::Rgb16 << false << 10 << 1 << 1 << 40;
        QTest::newRow("heic rgba 12-bit") << "heic" << PageKind::Rgba16 << false << 12 << 1 << 1 << 40;
        QTest::newRow("avif orientation 6") << "avif" << PageKind::Rgb8 << false << 0 << 6 << 1 << 40;
        QTest::newRow("avif orientation 2") << "avif" << PageKind::Rgb8 << false << 0 << 2 << 1 << 40;
        QTest::newRow("avif three images") << "avif" << PageKind::Rgb8 << false << 0 << 1 << 3 << 40;
        QTest::newRow("heic rgb") << "heic" << PageKind::Rgb8 << false << 0 << 1 << 1 << 40;
        QTest::newRow("heic orientation 8") << "heic" << PageKind::Rgb8 << false << 0 << 8 << 1 << 40;
        QTest::newRow("heic two images with alpha") << "heic" << PageKind::Rgba8 << false << 0 << 1 << 2 << 40;
    }

    void codecForms()
    {
        QFETCH(QString, format);
        QFETCH(PageKind, kind);
        QFETCH(bool, lossless);
        QFETCH(int, bits);
        QFETCH(int, orientation);
        QFETCH(int, pages);
        QFETCH(int, tolerance);
        const quint32 w = 61, h = 37;
        std::vector<Page> sources;
        for (int i = 0; i < pages; ++i)
            sources.push_back(lossless ? makePage(kind, w, h, i) : gradientPage(kind, w, h, i));
        CodecOptions options;
        options.lossless = lossless;
        options.significantBits = bits;
        options.avif = format == QLatin1String("avif");
        const bool grey = sources[0].photometric == Photometric::MinIsBlack;
        if (!grey) // plain sRGB grey comes back without a profile, as it went in
            options.icc = iccProfile();
        options.xmp = QByteArray("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF/></x:xmpmeta>");
        // A stream long enough to be told from a header, with the orientation in it.
        options.exif = exifWithOrientation(format == QLatin1String("webp") ? orientation : 1) + QByteArray(40, '\0');
        if (format != QLatin1String("webp"))
            options.orientation = orientation;
        options.exifPrefix = orientation == 7; // WebP writers that keep the JPEG prefix
        const QString file = path(QStringLiteral("form.") + format);
        QString why;
        bool written = false;
        if (format == QLatin1String("webp"))
            written = writeWebp(file, sources, options, &why);
        else if (format == QLatin1String("jxl"))
            written = writeJxl(file, sources[0], options, &why);
        else
            written = writeHeif(file, sources, options, &why);
        QVERIFY2(written, qPrintable(why));

        QCOMPARE(countImages(file), pages);
        auto source = ImageSource::open(file, &why);
        QVERIFY2(source, qPrintable(why));
        const bool heif = format == QLatin1String("heic") || format == QLatin1String("avif");
        QCOMPARE(source->pageCount(), heif ? pages : 1);
        for (int i = 0; i < source->pageCount(); ++i) {
            Page expected = sources[size_t(i)];
            quillon::image::detail::applyExifOrientation(&expected, orientation);
            Page page;
            QVERIFY2(source->readPage(i, &page, &why), qPrintable(why));
            if (bits) {
                // Full range on the page; the stored bits are what must survive.
                const quint32 max = (1u << bits) - 1;
                QCOMPARE(sampleAt(page, 0, 0, 0) == 0 || sampleAt(page, w - 1, 0, 0) > 65535 - 257, true);
                for (quint32 y = 0; y < h; ++y)
                    for (quint32 x = 0; x < w; ++x)
                        for (int s = 0; s < expected.samplesPerPixel; ++s) {
                            setSampleAt(expected, x, y, s, sampleAt(expected, x, y, s) >> (16 - bits) << (16 - bits));
                            setSampleAt(page, x, y, s, (sampleAt(page, x, y, s) * max + 32767) / 65535 << (16 - bits));
                        }
            }
            QCOMPARE(page.orientation, quint16(1));
            QCOMPARE(page.photometric, expected.photometric);
            QCOMPARE(page.extraSamples, expected.extraSamples);
            if (tolerance == 0)
                QVERIFY2(samePixels(page, expected, &why), qPrintable(QStringLiteral("page %1: %2").arg(i + 1).arg(why)));
            else
                QVERIFY2(closePixels(page, expected, tolerance * (page.bitsPerSample == 16 ? 257 : 1),
                                     tolerance * (page.bitsPerSample == 16 ? 257 : 1) / 8.0, &why),
                         qPrintable(why));
            // Lossy JPEG XL stores no profile: its pixels come back as plain sRGB.
            const bool xyb = format == QLatin1String("jxl") && !lossless;
            QCOMPARE(page.iccProfile, xyb ? QByteArray() : options.icc);
            if (i == 0) {
                QCOMPARE(page.xmp, options.xmp);
                QCOMPARE(page.exif, options.exif);
            }
        }
        Page past;
        QVERIFY(!source->readPage(source->pageCount(), &past, &why));
    }

    void recognisedByContent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("format");
        QTest::newRow("png named tif") << "png.tif" << "png";
        QTest::newRow("tiff named jpg") << "tiff.jpg" << "tiff";
        QTest::newRow("gif named bmp") << "gif.bmp" << "gif";
        QTest::newRow("bmp named png") << "bmp.png" << "bmp";
        QTest::newRow("no extension") << "picture" << "png";
    }

    void recognisedByContent()
    {
        QFETCH(QString, name);
        QFETCH(QString, format);
        const Page p = makePage(PageKind::Palette8, 20, 10);
        const QString file = path(name);
        if (format == QLatin1String("png"))
            QVERIFY(writePng(file, p));
        else if (format == QLatin1String("tiff"))
            QVERIFY(writeTiff(file, {p}));
        else if (format == QLatin1String("gif"))
            QVERIFY(writeGif(file, {p}));
        else
            QVERIFY(writeBmp(file, p));
        QCOMPARE(countImages(file), 1);
        Page page;
        QString why;
        QVERIFY2(decodePage(file, 0, &page, &why), qPrintable(why));
        QVERIFY2(samePixels(page, p, &why), qPrintable(why));
    }

    void hostile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("counts"); // countImages still sees an image by its signature

        const QString scratch = path(QStringLiteral("scratch"));
        auto fileBytes = [](const QString &f) {
            QFile in(f);
            return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
        };
        QVERIFY(writeJpeg(scratch, 64, 48));
        const QByteArray jpeg = fileBytes(scratch);
        QVERIFY(writePng(scratch, makePage(PageKind::Rgb8, 64, 48)));
        const QByteArray png = fileBytes(scratch);
        QVERIFY(writeTiff(scratch, PageKind::Rgb8, 1, {}, 64, 48));
        const QByteArray tiff = fileBytes(scratch);
        QVERIFY(writeGif(scratch, {makePage(PageKind::Palette8, 64, 48)}));
        const QByteArray gif = fileBytes(scratch);
        QVERIFY(writeBmp(scratch, makePage(PageKind::Rgb8, 64, 48)));
        const QByteArray bmp = fileBytes(scratch);
        QVERIFY(writeWebp(scratch, {makePage(PageKind::Rgb8, 64, 48)}));
        const QByteArray webp = fileBytes(scratch);
        QVERIFY(writeJxl(scratch, makePage(PageKind::Rgb8, 64, 48)));
        const QByteArray jxl = fileBytes(scratch);
        CodecOptions lossy;
        lossy.lossless = false;
        QVERIFY(writeHeif(scratch, {makePage(PageKind::Rgb8, 64, 48)}, lossy));
        const QByteArray heic = fileBytes(scratch);
        lossy.avif = true;
        QVERIFY(writeHeif(scratch, {makePage(PageKind::Rgb8, 64, 48)}, lossy));
        const QByteArray avif = fileBytes(scratch);
        // The image's declared size (its ispe box) at 100000 x 100000.
        QByteArray hugeHeic = heic;
        const qsizetype ispe = hugeHeic.indexOf("ispe");
        QVERIFY(ispe > 0);
        hugeHeic.replace(ispe + 8, 8, QByteArray::fromHex("000186a0000186a0"));

        // Headers that claim 100000 x 100000 pixels over a few bytes of data.
        QByteArray hugePng = png;
        hugePng.replace(16, 8, QByteArray::fromHex("000186a0000186a0"));
        char crc[4];
        qToBigEndian(crc32(hugePng.mid(12, 17)), crc);
        hugePng.replace(29, 4, QByteArray(crc, 4));
        QByteArray hugeJpeg = jpeg;
        const qsizetype sof = hugeJpeg.indexOf(QByteArray::fromHex("ffc0"));
        QVERIFY(sof > 0);
        hugeJpeg.replace(sof + 5, 4, QByteArray::fromHex("ea60ea60")); // 60000 x 60000
        // Huffman counts that add up to far more than a table holds: the reader
        // fails on the header itself.
        QByteArray bogusHuffman = jpeg;
        const qsizetype dht = bogusHuffman.indexOf(QByteArray::fromHex("ffc4"));
        QVERIFY(dht > 0);
        bogusHuffman.replace(dht + 5, 4, QByteArray::fromHex("ffffffff"));
        QByteArray hugeGif = gif;
        hugeGif.replace(6, 4, QByteArray::fromHex("ffffffff"));
        {
            TIFF *t = TIFFOpen(QFile::encodeName(scratch).constData(), "w");
            QVERIFY(t);
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 100000);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, 100000);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 100000);
            TIFFWriteRawStrip(t, 0, const_cast<char *>("xxxxxxxx"), 8);
            TIFFClose(t);
        }
        const QByteArray hugeTiff = fileBytes(scratch);
        // A directory whose next-directory link points back at itself.
        QByteArray loopTiff = tiff;
        {
            const quint32 ifd = qFromLittleEndian<quint32>(loopTiff.constData() + 4);
            const quint16 entries = qFromLittleEndian<quint16>(loopTiff.constData() + ifd);
            char le[4];
            qToLittleEndian(ifd, le);
            loopTiff.replace(qsizetype(ifd) + 2 + 12 * entries, 4, QByteArray(le, 4));
        }

        QTest::newRow("zero bytes .tif") << "empty.tif" << QByteArray() << false;
        QTest::newRow("zero bytes .jpg") << "empty.jpg" << QByteArray() << false;
        QTest::newRow("text named .jpg") << "text.jpg" << QByteArray("hello, this is not a picture\n") << false;
        QTest::newRow("text starting BM") << "bm.bmp" << QByteArray("BM is how this note starts, nothing more\n") << false;
        QTest::newRow("truncated jpeg") << "cut.jpg" << jpeg.left(jpeg.size() / 2) << true;
        QTest::newRow("jpeg header only") << "head.jpg" << jpeg.left(sof + 20) << true;
        QTest::newRow("jpeg with bogus huffman table") << "huffman.jpg" << bogusHuffman << true;
        QTest::newRow("truncated png") << "cut.png" << png.left(png.size() / 2) << true;
        QTest::newRow("png signature only") << "sig.png" << png.left(8) << true;
        QTest::newRow("truncated tiff") << "cut.tif" << tiff.left(tiff.size() / 2) << false;
        QTest::newRow("tiff header only") << "head.tif" << tiff.left(8) << false;
        QTest::newRow("truncated gif") << "cut.gif" << gif.left(gif.size() / 2) << false;
        QTest::newRow("truncated bmp") << "cut.bmp" << bmp.left(bmp.size() / 2) << true;
        QTest::newRow("huge png") << "huge.png" << hugePng << true;
        QTest::newRow("huge jpeg") << "huge.jpg" << hugeJpeg << true;
        QTest::newRow("huge gif") << "huge.gif" << hugeGif << true;
        QTest::newRow("huge tiff") << "huge.tif" << hugeTiff << true;
        QTest::newRow("tiff directory loop") << "loop.tif" << loopTiff << true;
        QTest::newRow("truncated webp") << "cut.webp" << webp.left(webp.size() / 2) << false;
        QTest::newRow("webp header only") << "head.webp" << webp.left(30) << false;
        QTest::newRow("truncated jxl") << "cut.jxl" << jxl.left(jxl.size() / 2) << true;
        QTest::newRow("jxl signature only") << "sig.jxl" << jxl.left(2) << false;
        QTest::newRow("truncated heic") << "cut.heic" << heic.left(heic.size() / 2) << false;
        QTest::newRow("truncated avif") << "cut.avif" << avif.left(avif.size() / 2) << false;
        QTest::newRow("heic type box only") << "ftyp.heic" << heic.left(24) << false;
        QTest::newRow("huge heic") << "huge.heic" << hugeHeic << false;
    }

    // Bad input ends in a reason, never in a crash or a huge allocation.
    void hostile()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, counts);
        const QString file = path(name);
        QVERIFY(writeBytes(file, bytes));
        const int count = countImages(file);
        QCOMPARE(count > 0, counts);
        QVERIFY(count <= 1);
        QString why;
        auto source = ImageSource::open(file, &why);
        if (name == QLatin1String("loop.tif")) {
            // The loop is cut; the one real page still reads.
            QVERIFY2(source, qPrintable(why));
            QCOMPARE(source->pageCount(), 1);
            return;
        }
        if (source) {
            Page page;
            QVERIFY(!source->readPage(0, &page, &why));
            QVERIFY(page.pixels.empty());
        }
        QVERIFY(!why.isEmpty());
        // Refused for their size, before any decoding was tried.
        if (name.startsWith(QLatin1String("huge")))
            QVERIFY2(why.contains(QLatin1String("too large")), qPrintable(why));
    }

    // Files that other programs read and write in the five formats.
    void realWorldVariants_data()
    {
        QTest::addColumn<QString>("variant");
        QTest::addColumn<bool>("warns"); // libjpeg read it with a warning: logged
        QTest::newRow("jpeg primary image, gain map after it") << QStringLiteral("jpeg-gain-map") << false;
        QTest::newRow("jpeg junk before the first marker") << QStringLiteral("jpeg-junk-before-marker") << true;
        QTest::newRow("jpeg cut APP14") << QStringLiteral("jpeg-cut-app14") << false;
        QTest::newRow("bmp V2 header") << QStringLiteral("bmp-v2") << false;
        QTest::newRow("bmp V3 header") << QStringLiteral("bmp-v3") << false;
        QTest::newRow("bmp V3 header, palette") << QStringLiteral("bmp-v3-palette") << false;
        QTest::newRow("bmp OS/2 2.x palette") << QStringLiteral("bmp-os2-palette4") << false;
        QTest::newRow("bmp OS/2 2.x short header") << QStringLiteral("bmp-os2-short-palette") << false;
        QTest::newRow("tiff signed grey8") << QStringLiteral("tiff-signed-grey8") << false;
        QTest::newRow("tiff signed rgb16") << QStringLiteral("tiff-signed-rgb16") << false;
        QTest::newRow("tiff grey16 without photometric") << QStringLiteral("tiff-grey16-no-photometric") << false;
        QTest::newRow("tiff 12-bit grey") << QStringLiteral("tiff-12bit-grey") << false;
        QTest::newRow("tiff 6-bit rgb") << QStringLiteral("tiff-6bit-rgb") << false;
        QTest::newRow("tiff 10-bit rgb") << QStringLiteral("tiff-10bit-rgb") << false;
    }

    void realWorldVariants()
    {
        QFETCH(QString, variant);
        QFETCH(bool, warns);
        const QString file = path(QStringLiteral("variant.img"));
        Page expected;
        QString why;
        QVERIFY2(makeVariant(variant, file, path(QStringLiteral("scratch.img")), &expected, &why), qPrintable(why));
        QCOMPARE(countImages(file), 1);
        quillon::startCapturingLog();
        Page page;
        const bool ok = decodePage(file, 0, &page, &why);
        const QStringList log = quillon::capturedLog();
        quillon::stopCapturingLog();
        QVERIFY2(ok, qPrintable(why));
        QVERIFY2(samePixels(page, expected, &why), qPrintable(why));
        QCOMPARE(!log.filter(QStringLiteral("Warning in")).isEmpty(), warns);
    }

    void missingEnd_data()
    {
        QTest::addColumn<QByteArray>("full");
        QTest::addColumn<QByteArray>("damaged");
        QTest::addColumn<bool>("converts"); // pixel for pixel as the full file, with a warning logged

        const QString scratch = path(QStringLiteral("scratch"));
        auto fileBytes = [](const QString &f) {
            QFile in(f);
            return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
        };
        QVERIFY(writeJpeg(scratch, 64, 48));
        const QByteArray jpeg = fileBytes(scratch);
        QVERIFY(jpeg.endsWith("\xff\xd9"));
        QByteArray progressive;
        {
            QImage img(64, 48, QImage::Format_RGB32);
            for (int y = 0; y < 48; ++y)
                for (int x = 0; x < 64; ++x)
                    img.setPixel(x, y, qRgb(x * 4, y * 5, (x * y) % 256));
            QBuffer buffer(&progressive);
            buffer.open(QIODevice::WriteOnly);
            QImageWriter writer(&buffer, "jpeg");
            writer.setProgressiveScanWrite(true);
            QVERIFY(writer.write(img));
        }
        const qsizetype lastScan = progressive.lastIndexOf(QByteArray::fromHex("ffda"));
        QVERIFY(lastScan > progressive.indexOf(QByteArray::fromHex("ffda"))); // several scans
        QVERIFY(writePng(scratch, makePage(PageKind::Rgb8, 64, 48)));
        const QByteArray png = fileBytes(scratch);
        QVERIFY(png.endsWith(QByteArray::fromHex("0000000049454e44ae426082")));
        // The same PNG with its image data split over two IDAT chunks.
        QByteArray twoIdat;
        {
            const qsizetype at = png.indexOf("IDAT") - 4;
            const quint32 len = qFromBigEndian<quint32>(png.constData() + at);
            const QByteArray data = png.mid(at + 8, len);
            twoIdat = png.left(at);
            for (const QByteArray &part : {data.left(data.size() / 2), data.mid(data.size() / 2)}) {
                char be[4];
                qToBigEndian(quint32(part.size()), be);
                twoIdat += QByteArray(be, 4);
                const QByteArray body = "IDAT" + part;
                twoIdat += body;
                qToBigEndian(crc32(body), be);
                twoIdat += QByteArray(be, 4);
            }
            twoIdat += png.mid(at + 12 + len);
        }

        QTest::newRow("jpeg without EOI") << jpeg << jpeg.left(jpeg.size() - 2) << true;
        QTest::newRow("jpeg without EOI's last byte") << jpeg << jpeg.left(jpeg.size() - 1) << true;
        QTest::newRow("progressive jpeg without EOI") << progressive << progressive.left(progressive.size() - 2) << true;
        QTest::newRow("jpeg cut in its scan") << jpeg << jpeg.left(jpeg.size() - 40) << false;
        QTest::newRow("progressive jpeg cut before its last scan") << progressive << progressive.left(lastScan) << false;
        QTest::newRow("png without IEND") << png << png.left(png.size() - 12) << true;
        QTest::newRow("png with half an IEND") << png << png.left(png.size() - 5) << true;
        QTest::newRow("png without its second IDAT") << twoIdat << twoIdat.left(twoIdat.lastIndexOf("IDAT") - 4) << false;
        QTest::newRow("png cut in IDAT") << png << png.left(png.size() - 20) << false;
    }

    // Files that lack only their end marker convert; files whose image data is
    // cut are refused when opened, as before.
    void missingEnd()
    {
        QFETCH(QByteArray, full);
        QFETCH(QByteArray, damaged);
        QFETCH(bool, converts);
        const QString whole = path(QStringLiteral("whole.img"));
        const QString cut = path(QStringLiteral("cut.img"));
        QVERIFY(writeBytes(whole, full));
        QVERIFY(writeBytes(cut, damaged));
        Page expected;
        QString why;
        QVERIFY2(decodePage(whole, 0, &expected, &why), qPrintable(why));
        quillon::startCapturingLog();
        auto source = ImageSource::open(cut, &why);
        QCOMPARE(bool(source), converts);
        if (!converts) {
            QVERIFY(why.contains(QLatin1String("truncated")));
            quillon::stopCapturingLog();
            return;
        }
        Page page;
        QVERIFY2(source->readPage(0, &page, &why), qPrintable(why));
        const QStringList logged = quillon::capturedLog();
        quillon::stopCapturingLog();
        QVERIFY2(samePixels(page, expected, &why), qPrintable(why));
        QCOMPARE(logged.size(), 1);
        QVERIFY2(logged[0].contains(cut), qPrintable(logged[0]));
    }

    void missingFilesAndBadIndexes()
    {
        QString why;
        QVERIFY(!ImageSource::open(path(QStringLiteral("absent.png")), &why));
        QVERIFY(!why.isEmpty());
        QCOMPARE(countImages(path(QStringLiteral("absent.png"))), 0);
        why.clear();
        QVERIFY(!ImageSource::open(m_dir.path(), &why));
        QVERIFY(!why.isEmpty());
        QCOMPARE(countImages(m_dir.path()), 0);

        const QString file = path(QStringLiteral("two.tif"));
        QVERIFY(writeTiff(file, PageKind::Grey8, 2));
        auto source = ImageSource::open(file, &why);
        QVERIFY(source);
        Page page;
        for (int bad : {-1, 2, 100}) {
            why.clear();
            QVERIFY(!source->readPage(bad, &page, &why));
            QVERIFY(!why.isEmpty());
            QCOMPARE(source->decodedSize(bad), quint64(0));
        }
        QVERIFY(source->readPage(1, &page, &why)); // still usable
    }

    void imageCounts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("expected");
        QTest::newRow("tiff 4 pages") << "tiff" << 4;
        QTest::newRow("bigtiff 2 pages") << "bigtiff" << 2;
        QTest::newRow("gif 3 frames") << "gif" << 3;
        QTest::newRow("gif 3 frames, damaged tail") << "gif-tail" << 3;
        QTest::newRow("gif 3 frames, last one cut") << "gif-cut" << 2;
        QTest::newRow("png") << "png" << 1;
        QTest::newRow("jpeg") << "jpeg" << 1;
        QTest::newRow("bmp") << "bmp" << 1;
    }

    void imageCounts()
    {
        QFETCH(QString, kind);
        QFETCH(int, expected);
        const QString file = path(QStringLiteral("count.") + kind);
        if (kind == QLatin1String("tiff")) {
            QVERIFY(writeTiff(file, PageKind::Palette4, expected));
        } else if (kind == QLatin1String("bigtiff")) {
            TiffOptions o;
            o.bigTiff = true;
            QVERIFY(writeTiff(file, PageKind::Rgb16, expected, o));
        } else if (kind.startsWith(QLatin1String("gif"))) {
            QVERIFY(writeGif(file, {makePage(PageKind::Palette8, 8, 8, 0), makePage(PageKind::Palette8, 8, 8, 1),
                                    makePage(PageKind::Palette8, 8, 8, 2)}));
            QFile f(file);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QByteArray bytes = f.readAll();
            f.close();
            if (kind == QLatin1String("gif-tail"))
                bytes = bytes.left(bytes.size() - 1) + "\x21\xfe\x40 a comment cut short"; // no trailer either
            else if (kind == QLatin1String("gif-cut"))
                bytes = bytes.left(bytes.size() - 30);
            QVERIFY(writeBytes(file, bytes));
        } else if (kind == QLatin1String("png")) {
            QVERIFY(writePng(file, makePage(PageKind::Grey8)));
        } else if (kind == QLatin1String("jpeg")) {
            QVERIFY(writeJpeg(file, 16, 16));
        } else {
            QVERIFY(writeBmp(file, makePage(PageKind::Rgb8)));
        }
        QCOMPARE(quillon::image::countImages(file), expected);
    }
};

QTEST_GUILESS_MAIN(TestImageSource)
#include "tst_imagesource.moc"
