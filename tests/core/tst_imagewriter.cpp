// Writing: lossless compressions keep every page exactly, CCITT pages are
// bilevel, and nothing is left under the target name unless commit() succeeds.
#include "common/ImageFactory.h"
#include "core/SafeOutputFile.h"
#include "core/image/Bilevel.h"
#include "core/image/ImageSource.h"
#include "core/image/Metadata.h"
#include "core/image/TiffWriter.h"
#include "core/WorkPool.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <tiffio.h>

#include <QRegularExpression>
#include <QScopeGuard>

#include <csignal>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <fcntl.h>
#include <sys/file.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <cmath>
#include <functional>
#include <map>
#include <sys/resource.h>
#include <unistd.h>

using namespace quillon::image;
using namespace quillon::testing;

Q_DECLARE_METATYPE(PageKind)
Q_DECLARE_METATYPE(quillon::image::CodingOptions)

namespace {

struct Tags {
    int compression = -1, photometric = -1, bps = -1, spp = -1, predictor = 1, fillOrder = 1, subfileType = 0;
    quint32 rowsPerStrip = 0, group3Options = 0;
    int pageNumber = -1, pageTotal = -1;
    float xRes = 0, yRes = 0;
    int resUnit = 0;
    int orientation = 0; // 0: no tag
    bool hasGroup3Options = false;
};

Tags readTags(const QString &path, int dir)
{
    Tags t;
    TIFF *tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    if (!tif)
        return t;
    if (TIFFSetDirectory(tif, tdir_t(dir))) {
        quint16 v = 0, a = 0, b = 0;
        if (TIFFGetField(tif, TIFFTAG_COMPRESSION, &v)) t.compression = v;
        if (TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &v)) t.photometric = v;
        if (TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &v)) t.bps = v;
        if (TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &v)) t.spp = v;
        if (TIFFGetField(tif, TIFFTAG_PREDICTOR, &v)) t.predictor = v;
        if (TIFFGetField(tif, TIFFTAG_FILLORDER, &v)) t.fillOrder = v;
        quint32 u = 0;
        if (TIFFGetField(tif, TIFFTAG_SUBFILETYPE, &u)) t.subfileType = int(u);
        TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &t.rowsPerStrip);
        t.hasGroup3Options = TIFFGetField(tif, TIFFTAG_GROUP3OPTIONS, &t.group3Options);
        if (TIFFGetField(tif, TIFFTAG_PAGENUMBER, &a, &b)) {
            t.pageNumber = a;
            t.pageTotal = b;
        }
        TIFFGetField(tif, TIFFTAG_XRESOLUTION, &t.xRes);
        TIFFGetField(tif, TIFFTAG_YRESOLUTION, &t.yRes);
        if (TIFFGetField(tif, TIFFTAG_RESOLUTIONUNIT, &v)) t.resUnit = v;
        if (TIFFGetField(tif, TIFFTAG_ORIENTATION, &v)) t.orientation = v;
    }
    TIFFClose(tif);
    return t;
}

bool setImmutable(const QString &dir, bool on)
{
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
}

// Files in a folder, hidden ones included.
QStringList filesIn(const QString &dir)
{
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

bool decodeAll(const QString &path, std::vector<Page> *pages, QString *why)
{
    auto source = ImageSource::open(path, why);
    if (!source)
        return false;
    for (int i = 0; i < source->pageCount(); ++i) {
        Page p;
        if (!source->readPage(i, &p, why))
            return false;
        pages->push_back(std::move(p));
    }
    return true;
}

// Source files of every accepted type and TIFF layout.
struct Source {
    QByteArray name;
    std::function<bool(const QString &)> make;
};

std::vector<Source> sources()
{
    std::vector<Source> list;
    const std::pair<PageKind, const char *> kinds[] = {
        {PageKind::BilevelMinIsWhite, "bilevel-miniswhite"}, {PageKind::BilevelMinIsBlack, "bilevel-minisblack"},
        {PageKind::Grey2, "grey2"}, {PageKind::Grey4, "grey4"}, {PageKind::Grey8, "grey8"},
        {PageKind::Grey8MinIsWhite, "grey8-miniswhite"}, {PageKind::Grey16, "grey16"},
        {PageKind::GreyAlpha8, "grey-alpha8"}, {PageKind::GreyAlpha16, "grey-alpha16"},
        {PageKind::Palette1, "palette1"}, {PageKind::Palette2, "palette2"}, {PageKind::Palette4, "palette4"},
        {PageKind::Palette8, "palette8"}, {PageKind::Rgb8, "rgb8"}, {PageKind::Rgba8, "rgba8"},
        {PageKind::RgbaAssociated8, "rgba8-associated"}, {PageKind::Rgb16, "rgb16"}, {PageKind::Rgba16, "rgba16"},
        {PageKind::Cmyk8, "cmyk8"}, {PageKind::Cmyk16, "cmyk16"},
    };
    for (const auto &[kind, name] : kinds) {
        const PageKind k = kind;
        list.push_back({QByteArray("tiff-") + name, [k](const QString &path) {
                            std::vector<Page> pages{makePage(k, 61, 37, 0), makePage(k, 50, 20, 1)};
                            pages[0].xResolution = 300;
                            pages[0].yResolution = 600;
                            pages[0].iccProfile = iccProfile();
                            pages[1].xResolution = pages[1].yResolution = 40;
                            pages[1].resolutionUnit = 3;
                            return writeTiff(path, pages);
                        }});
    }
    for (const auto &[kind, name] : kinds) {
        const PageKind k = kind;
        const Page probe = makePage(k, 4, 4);
        if (probe.photometric == Photometric::Separated || probe.photometric == Photometric::MinIsWhite
            || probe.alphaAssociated)
            continue; // PNG has no such form
        list.push_back({QByteArray("png-") + name, [k](const QString &path) {
                            Page p = makePage(k, 45, 29, 5);
                            p.xResolution = p.yResolution = 150;
                            if (p.photometric != Photometric::MinIsBlack) // an RGB profile fits colour PNGs only
                                p.iccProfile = iccProfile();
                            return writePng(path, p);
                        }});
    }
    list.push_back({"png-palette-transparent", [](const QString &path) {
                        std::vector<quint8> alpha(16, 255);
                        alpha[1] = 0;
                        alpha[7] = 77;
                        return writePng(path, makePage(PageKind::Palette4, 30, 20), alpha);
                    }});
    for (const auto &[kind, name] : {std::pair{PageKind::BilevelMinIsBlack, "bilevel"}, {PageKind::Palette4, "palette4"},
                                     {PageKind::Palette8, "palette8"}, {PageKind::Rgb8, "rgb8"}, {PageKind::Rgba8, "rgba8"}}) {
        const PageKind k = kind;
        list.push_back({QByteArray("bmp-") + name, [k](const QString &path) {
                            Page p = makePage(k, 33, 21, 7);
                            p.xResolution = p.yResolution = 96;
                            return writeBmp(path, p);
                        }});
    }
    list.push_back({"gif-palette8", [](const QString &path) {
                        return writeGif(path, {makePage(PageKind::Palette8, 40, 30, 0), makePage(PageKind::Palette8, 40, 30, 1)});
                    }});
    list.push_back({"gif-transparent", [](const QString &path) {
                        return writeGif(path, {makePage(PageKind::Palette4, 40, 30)}, 2);
                    }});
    list.push_back({"jpeg-colour", [](const QString &path) { return writeJpeg(path, 48, 40); }});
    list.push_back({"jpeg-grey", [](const QString &path) { return writeJpeg(path, 48, 40, 0, true); }});
    list.push_back({"jpeg-orientation6", [](const QString &path) { return writeJpeg(path, 48, 40, 6); }});
    list.push_back({"tiff-ycbcr-jpeg", [](const QString &path) {
                        TiffOptions o;
                        o.compression = 7;
                        o.ycbcr = true;
                        return writeTiff(path, PageKind::Rgb8, 2, o, 48, 40);
                    }});
    list.push_back({"tiff-ycbcr-subsampled", [](const QString &path) {
                        TiffOptions o;
                        o.ycbcr = true;
                        return writeTiff(path, PageKind::Rgb8, 1, o, 48, 40);
                    }});
    list.push_back({"tiff-tiled-planar-rgba16-lzw", [](const QString &path) {
                        TiffOptions o;
                        o.compression = 5;
                        o.tiled = true;
                        o.planar = true;
                        return writeTiff(path, PageKind::Rgba16, 2, o, 40, 35);
                    }});
    list.push_back({"tiff-ccitt-g4-source", [](const QString &path) {
                        TiffOptions o;
                        o.compression = 4;
                        return writeTiff(path, PageKind::BilevelMinIsWhite, 2, o);
                    }});
    return list;
}

// A two-level page of the given layout: `ink` where mask(x, y), else paper.
bool inkMask(quint32 x, quint32 y)
{
    return (x / 4 + y / 3) % 3 == 0;
}

} // namespace

class TestImageWriter : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const QString &name) const { return m_dir.filePath(name); }

    // Writes pages through TiffWriter; fails the test on error.
    bool write(const QString &target, const std::vector<Page> &pages, int compression, bool bigTiff = false,
               const BilevelOptions &bilevel = {})
    {
        TiffWriter writer(target, compression, bigTiff);
        writer.setBilevelOptions(bilevel);
        QString why;
        for (const Page &p : pages)
            if (!writer.addPage(p, &why)) {
                qWarning("addPage: %s", qPrintable(why));
                return false;
            }
        if (!writer.commit(&why)) {
            qWarning("commit: %s", qPrintable(why));
            return false;
        }
        return true;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void losslessRoundTrip_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("compression");
        const auto list = sources();
        for (int i = 0; i < int(list.size()); ++i)
            for (int c : {1, 5, 8, 32773, 50000})
                QTest::addRow("%s-c%d", list[size_t(i)].name.constData(), c) << i << c;
    }

    // Every page decoded from the output equals the page decoded from the source.
    void losslessRoundTrip()
    {
        QFETCH(int, source);
        QFETCH(int, compression);
        const QString in = path(QStringLiteral("source.img"));
        const QString out = path(QStringLiteral("out.tif"));
        QVERIFY(sources()[size_t(source)].make(in));
        std::vector<Page> pages;
        QString why;
        QVERIFY2(decodeAll(in, &pages, &why), qPrintable(why));
        QVERIFY(!pages.empty());
        QVERIFY(write(out, pages, compression));
        QCOMPARE(filesIn(m_dir.path()).size(), 2); // no temporary left

        std::vector<Page> back;
        QVERIFY2(decodeAll(out, &back, &why), qPrintable(why));
        QCOMPARE(back.size(), pages.size());
        QCOMPARE(countImages(out), int(pages.size()));
        for (size_t i = 0; i < pages.size(); ++i) {
            QVERIFY2(samePixels(back[i], pages[i], &why), qPrintable(QStringLiteral("page %1: %2").arg(i).arg(why)));
            QCOMPARE(back[i].xResolution, pages[i].xResolution);
            QCOMPARE(back[i].yResolution, pages[i].yResolution);
            if (pages[i].xResolution > 0)
                QCOMPARE(back[i].resolutionUnit, pages[i].resolutionUnit);
            QCOMPARE(back[i].iccProfile, pages[i].iccProfile);
            QCOMPARE(readTags(out, int(i)).compression, compression);
        }
    }

    void predictor_data()
    {
        QTest::addColumn<PageKind>("kind");
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("predictor");
        QTest::newRow("lzw rgb8") << PageKind::Rgb8 << 5 << 2;
        QTest::newRow("lzw grey16") << PageKind::Grey16 << 5 << 2;
        QTest::newRow("lzw rgba16") << PageKind::Rgba16 << 5 << 2;
        QTest::newRow("lzw cmyk8") << PageKind::Cmyk8 << 5 << 2;
        QTest::newRow("lzw palette8") << PageKind::Palette8 << 5 << 1;
        QTest::newRow("lzw grey4") << PageKind::Grey4 << 5 << 1;
        QTest::newRow("lzw bilevel") << PageKind::BilevelMinIsBlack << 5 << 1;
        QTest::newRow("deflate rgb8") << PageKind::Rgb8 << 8 << 2;
        QTest::newRow("deflate grey16") << PageKind::Grey16 << 8 << 2;
        QTest::newRow("deflate palette8") << PageKind::Palette8 << 8 << 1;
        QTest::newRow("zstd rgba16") << PageKind::Rgba16 << 50000 << 2;
        QTest::newRow("zstd grey4") << PageKind::Grey4 << 50000 << 1;
        QTest::newRow("packbits rgb8") << PageKind::Rgb8 << 32773 << 1;
        QTest::newRow("none rgb8") << PageKind::Rgb8 << 1 << 1;
    }

    void predictor()
    {
        QFETCH(PageKind, kind);
        QFETCH(int, compression);
        QFETCH(int, predictor);
        const Page p = makePage(kind, 70, 30);
        const QString out = path(QStringLiteral("pred.tif"));
        QVERIFY(write(out, {p}, compression));
        QCOMPARE(readTags(out, 0).predictor, predictor);
        Page back;
        QVERIFY(decodePage(out, 0, &back));
        QVERIFY(samePixels(back, p)); // the caller's page is not differenced in place either
        QVERIFY(samePixels(p, makePage(kind, 70, 30)));
    }

    // PackBits rows: where literal stretches end (three equal bytes, 128
    // bytes, the row's end) wherever that falls in an 8-byte word.
    void packBitsRows_data()
    {
        QTest::addColumn<QByteArray>("row");
        auto literal = [](int n) {
            QByteArray s;
            for (int i = 0; i < n; ++i)
                s.append(char(i * 7 + i / 3));
            return s;
        };
        QTest::newRow("one byte") << QByteArray("a");
        QTest::newRow("two equal bytes") << QByteArray("aa");
        QTest::newRow("run at the end") << literal(20) + "zzz";
        QTest::newRow("two equal at the end") << literal(21) + "zz";
        QTest::newRow("run of 128") << QByteArray(128, 'r') + literal(5);
        QTest::newRow("run of 129") << QByteArray(129, 'r') + literal(5);
        QTest::newRow("run of 300") << literal(3) + QByteArray(300, 'r');
        for (int n : {1, 2, 7, 8, 9, 10, 11, 15, 16, 17, 126, 127, 128, 129, 130, 255, 256, 257})
            QTest::addRow("literal of %d, then a run", n) << literal(n) + "qqqq" + literal(n);
        QByteArray pairs;
        for (int i = 0; i < 200; ++i)
            pairs.append(char(i)).append(char(i));
        QTest::newRow("pairs, never three") << pairs;
    }

    void packBitsRows()
    {
        QFETCH(QByteArray, row);
        Page p;
        p.setLayout(quint32(row.size()), 3, 8, 1, 0, Photometric::MinIsBlack);
        p.pixels.resize(size_t(p.byteCount()));
        for (int y = 0; y < 3; ++y)
            std::memcpy(p.pixels.data() + y * row.size(), row.constData(), size_t(row.size()));
        const QString out = path(QStringLiteral("packbits.tif"));
        QVERIFY(write(out, {p}, COMPRESSION_PACKBITS));
        Page back;
        QVERIFY(decodePage(out, 0, &back));
        QString why;
        QVERIFY2(samePixels(back, p, &why), qPrintable(why));
    }

    // JPEG: photos within a stated distance of the page, read back by
    // libtiff's own RGBA reader as well as ours; what JPEG cannot carry is
    // written losslessly as Deflate.
    void jpegCompression_data()
    {
        QTest::addColumn<PageKind>("kind");
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("photometric");
        QTest::addColumn<int>("meanError"); // at most, in 8-bit steps; -1: lossless
        QTest::newRow("rgb8: YCbCr") << PageKind::Rgb8 << 7 << PHOTOMETRIC_YCBCR << 3;
        QTest::newRow("rgb16: 8-bit YCbCr") << PageKind::Rgb16 << 7 << PHOTOMETRIC_YCBCR << 3;
        QTest::newRow("grey8: plain") << PageKind::Grey8 << 7 << PHOTOMETRIC_MINISBLACK << 2;
        QTest::newRow("grey8 min-is-white: black is 0") << PageKind::Grey8MinIsWhite << 7 << PHOTOMETRIC_MINISBLACK << 2;
        QTest::newRow("cmyk8: plain") << PageKind::Cmyk8 << 7 << PHOTOMETRIC_SEPARATED << 3;
        QTest::newRow("palette8: deflate") << PageKind::Palette8 << 8 << PHOTOMETRIC_PALETTE << -1;
        QTest::newRow("rgba8: deflate") << PageKind::Rgba8 << 8 << PHOTOMETRIC_RGB << -1;
        QTest::newRow("grey4: deflate") << PageKind::Grey4 << 8 << PHOTOMETRIC_MINISBLACK << -1;
        QTest::newRow("bilevel: deflate") << PageKind::BilevelMinIsWhite << 8 << PHOTOMETRIC_MINISWHITE << -1;
    }

    void jpegCompression()
    {
        QFETCH(PageKind, kind);
        QFETCH(int, compression);
        QFETCH(int, photometric);
        QFETCH(int, meanError);
        // Smooth content as photographs have, of several strips, odd sizes.
        Page p = makePage(kind, 301, 257, 0);
        if (meanError >= 0) {
            const quint32 maxv = (1u << p.bitsPerSample) - 1;
            for (quint32 y = 0; y < p.height; ++y)
                for (quint32 x = 0; x < p.width; ++x)
                    for (int c = 0; c < p.samplesPerPixel; ++c)
                        setSampleAt(p, x, y, c, quint32(maxv * (0.5 + 0.45 * std::sin(x / 23.0 + c) * std::cos(y / 31.0 - c))));
        }
        const QString out = path(QStringLiteral("jpeg.tif"));
        QVERIFY(write(out, {p}, 7));
        const Tags tags = readTags(out, 0);
        QCOMPARE(tags.compression, compression);
        QCOMPARE(tags.photometric, photometric);
        if (compression == 7)
            QCOMPARE(tags.rowsPerStrip % (photometric == PHOTOMETRIC_YCBCR ? 16 : 8), 0u);
        Page back;
        QVERIFY(decodePage(out, 0, &back));
        if (meanError < 0) {
            QVERIFY(samePixels(back, p));
            return;
        }
        QCOMPARE(back.width, p.width);
        QCOMPARE(back.height, p.height);
        QCOMPARE(back.bitsPerSample, quint16(8));
        QCOMPARE(back.samplesPerPixel, p.samplesPerPixel);
        const bool inverted = p.photometric == Photometric::MinIsWhite;
        const int shift = p.bitsPerSample - 8;
        auto expected = [&](quint32 x, quint32 y, int c) {
            const int v = int(sampleAt(p, x, y, c) >> shift);
            return inverted ? 255 - v : v;
        };
        double total = 0;
        for (quint32 y = 0; y < p.height; ++y)
            for (quint32 x = 0; x < p.width; ++x)
                for (int c = 0; c < p.samplesPerPixel; ++c)
                    total += std::abs(int(sampleAt(back, x, y, c)) - expected(x, y, c));
        const double mean = total / (double(p.width) * p.height * p.samplesPerPixel);
        QVERIFY2(mean <= meanError, qPrintable(QString::number(mean)));

        if (p.photometric != Photometric::RGB)
            return;
        // libtiff's own reader takes the strips too.
        TIFF *tif = TIFFOpen(QFile::encodeName(out).constData(), "r");
        QVERIFY(tif);
        std::vector<quint32> raster(size_t(p.width) * p.height);
        const int ok = TIFFReadRGBAImageOriented(tif, p.width, p.height, raster.data(), ORIENTATION_TOPLEFT, 0);
        TIFFClose(tif);
        QVERIFY(ok);
        double rgbaTotal = 0;
        for (quint32 y = 0; y < p.height; ++y)
            for (quint32 x = 0; x < p.width; ++x) {
                const quint32 v = raster[size_t(y) * p.width + x];
                rgbaTotal += std::abs(int(TIFFGetR(v)) - expected(x, y, 0)) + std::abs(int(TIFFGetG(v)) - expected(x, y, 1))
                    + std::abs(int(TIFFGetB(v)) - expected(x, y, 2));
            }
        QVERIFY2(rgbaTotal / (double(p.width) * p.height * 3) <= meanError, qPrintable(QString::number(rgbaTotal)));
    }

    // The level and quality choices reach the codec.
    void codingOptions_data()
    {
        QTest::addColumn<int>("compression");
        QTest::addColumn<CodingOptions>("smaller");
        QTest::addColumn<CodingOptions>("larger");
        QTest::newRow("deflate 9 against 1") << 8 << CodingOptions{9, 90} << CodingOptions{1, 90};
        QTest::newRow("zstd 19 against 1") << 50000 << CodingOptions{19, 90} << CodingOptions{1, 90};
        QTest::newRow("jpeg quality 30 against 95") << 7 << CodingOptions{0, 30} << CodingOptions{0, 95};
    }

    void codingOptions()
    {
        QFETCH(int, compression);
        QFETCH(CodingOptions, smaller);
        QFETCH(CodingOptions, larger);
        const Page p = makePage(PageKind::Rgb8, 400, 300);
        qint64 sizes[2] = {};
        for (int i = 0; i < 2; ++i) {
            const QString out = path(QStringLiteral("level%1.tif").arg(i));
            TiffWriter writer(out, compression);
            writer.setCodingOptions(i == 0 ? smaller : larger);
            QString why;
            QVERIFY2(writer.addPage(p, &why) && writer.commit(&why), qPrintable(why));
            sizes[i] = QFileInfo(out).size();
            Page back;
            QVERIFY(decodePage(out, 0, &back));
            if (compression != 7)
                QVERIFY(samePixels(back, p));
        }
        QVERIFY2(sizes[0] < sizes[1], qPrintable(QStringLiteral("%1 %2").arg(sizes[0]).arg(sizes[1])));
    }

    void stripSize_data()
    {
        QTest::addColumn<PageKind>("kind");
        QTest::addColumn<quint32>("width");
        QTest::addColumn<quint32>("height");
        QTest::newRow("rgb8 wide") << PageKind::Rgb8 << 3000u << 200u;
        QTest::newRow("grey8") << PageKind::Grey8 << 1000u << 700u;
        QTest::newRow("bilevel") << PageKind::BilevelMinIsWhite << 2480u << 3508u;
    }

    void stripSize()
    {
        QFETCH(PageKind, kind);
        QFETCH(quint32, width);
        QFETCH(quint32, height);
        const Page p = makePage(kind, width, height);
        const QString out = path(QStringLiteral("strips.tif"));
        QVERIFY(write(out, {p}, 1));
        const quint64 stripBytes = readTags(out, 0).rowsPerStrip * p.bytesPerRow();
        QVERIFY2(stripBytes >= 64 * 1024 && stripBytes <= 256 * 1024, qPrintable(QString::number(stripBytes)));
        // A small page is one strip.
        QVERIFY(write(out, {makePage(kind, 20, 10)}, 1));
        QCOMPARE(readTags(out, 0).rowsPerStrip, 10u);
    }

    void pageTagsAndOrder()
    {
        std::vector<Page> pages{makePage(PageKind::Rgb8, 30, 20, 0), makePage(PageKind::Grey16, 10, 40, 1),
                                makePage(PageKind::Palette2, 25, 25, 2)};
        const QString out = path(QStringLiteral("pages.tif"));
        QVERIFY(write(out, pages, 32773));
        for (int i = 0; i < 3; ++i) {
            const Tags t = readTags(out, i);
            QCOMPARE(t.subfileType, FILETYPE_PAGE);
            QCOMPARE(t.pageNumber, i);
            QCOMPARE(t.pageTotal, 0);
            Page back;
            QVERIFY(decodePage(out, i, &back));
            QVERIFY(samePixels(back, pages[size_t(i)]));
        }
    }

    void orientationCarriedOver_data()
    {
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("expectedTag");
        QTest::newRow("none, upright: no tag") << 1 << 1 << 0;
        QTest::newRow("none, upside down") << 1 << 3 << 3;
        QTest::newRow("lzw, transposed") << 5 << 6 << 6;
        QTest::newRow("g4 from colour, left-bottom") << 4 << 8 << 8;
        QTest::newRow("packbits, mirrored") << 32773 << 2 << 2;
    }

    // A source's rows are stored as they were; its orientation must go with them,
    // or the page shows turned.
    void orientationCarriedOver()
    {
        QFETCH(int, compression);
        QFETCH(int, orientation);
        QFETCH(int, expectedTag);
        Page p = makePage(PageKind::Rgb8, 30, 20, 4);
        p.orientation = quint16(orientation);
        const QString source = path(QStringLiteral("oriented-%1-%2.tif").arg(compression).arg(orientation));
        QVERIFY(writeTiff(source, {p}));
        Page decoded;
        QVERIFY(decodePage(source, 0, &decoded));
        QCOMPARE(decoded.orientation, quint16(orientation));
        QVERIFY(samePixels(decoded, p));
        const QString out = path(QStringLiteral("oriented-out-%1-%2.tif").arg(compression).arg(orientation));
        QVERIFY(write(out, {decoded}, compression));
        QCOMPARE(readTags(out, 0).orientation, expectedTag);
        Page back;
        QVERIFY(decodePage(out, 0, &back));
        QCOMPARE(back.width, 30u);
        QCOMPARE(back.height, 20u);
        QCOMPARE(back.orientation, quint16(orientation));
    }

    void unknownCompressionIsNone_data()
    {
        QTest::addColumn<int>("compression");
        for (int c : {-1, 0, 2, 6, 32946, 50001, 99999})
            QTest::addRow("%d", c) << c;
    }

    void unknownCompressionIsNone()
    {
        QFETCH(int, compression);
        const Page p = makePage(PageKind::Rgb8);
        const QString out = path(QStringLiteral("unknown.tif"));
        QVERIFY(write(out, {p}, compression));
        QCOMPARE(readTags(out, 0).compression, 1);
        Page back;
        QVERIFY(decodePage(out, 0, &back));
        QVERIFY(samePixels(back, p));
    }

    void ccittBilevel_data()
    {
        QTest::addColumn<int>("compression");
        QTest::addColumn<PageKind>("kind");
        for (int c : {3, 4}) {
            QTest::addRow("g%d miniswhite", c) << c << PageKind::BilevelMinIsWhite;
            QTest::addRow("g%d minisblack", c) << c << PageKind::BilevelMinIsBlack;
        }
    }

    // A 1-bit source keeps every pixel through G3 and G4.
    void ccittBilevel()
    {
        QFETCH(int, compression);
        QFETCH(PageKind, kind);
        std::vector<Page> pages{makePage(kind, 203, 77, 0), makePage(kind, 64, 9, 1)};
        pages[0].xResolution = 204;
        pages[0].yResolution = 196;
        const QString out = path(QStringLiteral("fax.tif"));
        QVERIFY(write(out, pages, compression));
        for (int i = 0; i < 2; ++i) {
            const Tags t = readTags(out, i);
            QCOMPARE(t.compression, compression);
            QCOMPARE(t.bps, 1);
            QCOMPARE(t.spp, 1);
            QCOMPARE(t.photometric, PHOTOMETRIC_MINISWHITE);
            QCOMPARE(t.fillOrder, FILLORDER_MSB2LSB);
            if (compression == 3) {
                QVERIFY(t.hasGroup3Options);
                QCOMPARE(t.group3Options, 0u);
            }
            Page back;
            QVERIFY(decodePage(out, i, &back));
            const Page &src = pages[size_t(i)];
            QCOMPARE(back.width, src.width);
            QCOMPARE(back.height, src.height);
            const bool invert = src.photometric == Photometric::MinIsBlack;
            for (quint32 y = 0; y < src.height; ++y)
                for (quint32 x = 0; x < src.width; ++x)
                    QCOMPARE(sampleAt(back, x, y), sampleAt(src, x, y) ^ (invert ? 1u : 0u));
        }
        QCOMPARE(readTags(out, 0).xRes, 204.f);
        QCOMPARE(readTags(out, 0).yRes, 196.f);
    }

    void ccittThreshold_data()
    {
        QTest::addColumn<int>("compression");
        QTest::addColumn<QString>("form");
        for (int c : {3, 4})
            for (const char *f : {"rgb8", "rgba8-transparent-paper", "rgba8-associated", "grey8", "grey8-miniswhite", "grey2",
                                  "grey16", "grey-alpha16", "palette8", "palette1", "cmyk8", "rgb16"})
                QTest::addRow("g%d %s", c, f) << c << QString::fromLatin1(f);
    }

    // Ink stays black and paper white whatever the page's form; transparent
    // paper (black underneath) turns white.
    void ccittThreshold()
    {
        QFETCH(int, compression);
        QFETCH(QString, form);
        const quint32 w = 57, h = 31;
        Page p;
        auto fill = [&](std::initializer_list<quint32> ink, std::initializer_list<quint32> paper) {
            for (quint32 y = 0; y < h; ++y)
                for (quint32 x = 0; x < w; ++x) {
                    const auto &v = inkMask(x, y) ? ink : paper;
                    int s = 0;
                    for (quint32 sample : v)
                        setSampleAt(p, x, y, s++, sample);
                }
        };
        if (form == QLatin1String("rgb8")) {
            p = blankPage(w, h, 8, 3, 0, Photometric::RGB);
            fill({10, 20, 90}, {250, 240, 200});
        } else if (form == QLatin1String("rgba8-transparent-paper")) {
            p = blankPage(w, h, 8, 4, 1, Photometric::RGB);
            fill({0, 0, 0, 255}, {0, 0, 0, 0});
        } else if (form == QLatin1String("rgba8-associated")) {
            p = blankPage(w, h, 8, 4, 1, Photometric::RGB);
            p.alphaAssociated = true;
            fill({30, 30, 30, 255}, {0, 0, 0, 0});
        } else if (form == QLatin1String("grey8")) {
            p = blankPage(w, h, 8, 1, 0, Photometric::MinIsBlack);
            fill({40}, {210});
        } else if (form == QLatin1String("grey8-miniswhite")) {
            p = blankPage(w, h, 8, 1, 0, Photometric::MinIsWhite);
            fill({210}, {40});
        } else if (form == QLatin1String("grey2")) {
            p = blankPage(w, h, 2, 1, 0, Photometric::MinIsBlack);
            fill({0}, {3});
        } else if (form == QLatin1String("grey16")) {
            p = blankPage(w, h, 16, 1, 0, Photometric::MinIsBlack);
            fill({3000}, {61000});
        } else if (form == QLatin1String("grey-alpha16")) {
            p = blankPage(w, h, 16, 2, 1, Photometric::MinIsBlack);
            fill({0, 65535}, {0, 0});
        } else if (form == QLatin1String("palette8") || form == QLatin1String("palette1")) {
            const quint16 bits = form == QLatin1String("palette8") ? 8 : 1;
            p = blankPage(w, h, bits, 1, 0, Photometric::Palette);
            const size_t n = size_t(1) << bits;
            p.colormap.assign(3 * n, 0);
            p.colormap[0] = 0xffff; // entry 0: yellow paper
            p.colormap[n] = 0xeeee;
            p.colormap[1] = 0x1000; // entry 1: dark blue ink
            p.colormap[2 * n + 1] = 0x6000;
            fill({1}, {0});
        } else if (form == QLatin1String("cmyk8")) {
            p = blankPage(w, h, 8, 4, 0, Photometric::Separated);
            fill({0, 0, 0, 240}, {5, 0, 10, 0});
        } else if (form == QLatin1String("rgb16")) {
            p = blankPage(w, h, 16, 3, 0, Photometric::RGB);
            fill({100, 200, 300}, {65000, 64000, 60000});
        }
        p.xResolution = p.yResolution = 300;
        const QString out = path(QStringLiteral("threshold.tif"));
        QVERIFY(write(out, {p}, compression));
        const Tags t = readTags(out, 0);
        QCOMPARE(t.compression, compression);
        QCOMPARE(t.bps, 1);
        QCOMPARE(t.photometric, PHOTOMETRIC_MINISWHITE);
        QCOMPARE(t.xRes, 300.f);
        Page back;
        QVERIFY(decodePage(out, 0, &back));
        for (quint32 y = 0; y < h; ++y)
            for (quint32 x = 0; x < w; ++x)
                QVERIFY2(sampleAt(back, x, y) == (inkMask(x, y) ? 1u : 0u), qPrintable(QStringLiteral("at %1,%2").arg(x).arg(y)));
    }

    void bilevelMethods_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QString>("form");
        QTest::addColumn<QByteArray>("autoPixels"); // SHA-1 of the rows the Otsu-only writer made
        const std::pair<const char *, const char *> forms[] = {
            {"grey8", "100ff7cdf15936ffa0e49544f3d9526a540ebc0d"},
            {"grey16", "00a5ea002dd750bdb012f69fe4023e155485dcb1"},
            {"rgb8", "5a7135dab889a9d16a02406ae04e8b5c03ca4410"},
            {"palette8", "c54fa345bc77d3cc26f5c0c006d652f544a46aa7"},
            {"cmyk8", "81f2ce7a5487a7b2b5c76acfdc02984408a61b44"},
            {"rgba8", "75c7f9e6676aaf5b67e2644a18e2c3103dc81189"},
            {"grey-alpha8", "b734db5f7e1211f746538dc315c2c72a9fb1dd2f"},
            {"rgba-associated8", "2368af8e898eab3942b075ffce56e2f4e6e43d24"},
            {"document-transparent", "9f98a44f996ac518a88597105aa9a6d11c6959d4"},
        };
        for (const char *method : {"auto", "threshold:1", "threshold:100", "threshold:254", "dither:ordered", "dither:diffusion"})
            for (const auto &[form, hash] : forms)
                QTest::addRow("%s %s", method, form) << QString::fromLatin1(method) << QString::fromLatin1(form) << QByteArray(hash);
    }

    // Auto writes what the writer wrote before there was a choice; a fixed
    // threshold cuts exactly at its level; the dithers keep the page's
    // brightness; transparent pixels stay white and the rest of the page
    // black or white as the luminance says, whatever the method.
    void bilevelMethods()
    {
        QFETCH(QString, method);
        QFETCH(QString, form);
        QFETCH(QByteArray, autoPixels);
        BilevelOptions options;
        QVERIFY(parseBilevelOptions(method, &options));
        QCOMPARE(bilevelOptionsText(options), method);
        const std::map<QString, Page> pages = {
            {QStringLiteral("grey8"), makePage(PageKind::Grey8, 97, 53, 2)},
            {QStringLiteral("grey16"), makePage(PageKind::Grey16, 97, 53, 2)},
            {QStringLiteral("rgb8"), makePage(PageKind::Rgb8, 97, 53, 2)},
            {QStringLiteral("palette8"), makePage(PageKind::Palette8, 97, 53, 2)},
            {QStringLiteral("cmyk8"), makePage(PageKind::Cmyk8, 97, 53, 2)},
            {QStringLiteral("rgba8"), makePage(PageKind::Rgba8, 97, 53, 2)},
            {QStringLiteral("grey-alpha8"), makePage(PageKind::GreyAlpha8, 97, 53, 2)},
            {QStringLiteral("rgba-associated8"), makePage(PageKind::RgbaAssociated8, 97, 53, 2)},
            {QStringLiteral("document-transparent"), makeDocumentPage(97, 53, true)},
        };
        const Page &p = pages.at(form);
        for (int compression : {3, 4}) {
            const QString out = path(QStringLiteral("bilevel.tif"));
            QVERIFY(write(out, {p}, compression, false, options));
            const Tags t = readTags(out, 0);
            QCOMPARE(t.compression, compression);
            QCOMPARE(t.bps, 1);
            QCOMPARE(t.photometric, PHOTOMETRIC_MINISWHITE);
            Page back;
            QVERIFY(decodePage(out, 0, &back));
            QCOMPARE(back.width, p.width);
            QCOMPARE(back.height, p.height);
            if (options.method == BilevelOptions::Auto) {
                const QByteArray rows(reinterpret_cast<const char *>(back.pixels.data()), qsizetype(back.pixels.size()));
                QCOMPARE(QCryptographicHash::hash(rows, QCryptographicHash::Sha1).toHex(), autoPixels);
                continue;
            }
            const std::vector<quint8> level = detail::luminanceLevels(p);
            quint64 black = 0, darkness = 0;
            for (quint32 y = 0; y < p.height; ++y)
                for (quint32 x = 0; x < p.width; ++x) {
                    const int l = level[size_t(y) * p.width + x];
                    const bool isBlack = sampleAt(back, x, y) == 1;
                    black += isBlack;
                    darkness += quint64(255 - l);
                    const bool transparent = p.extraSamples && sampleAt(p, x, y, p.samplesPerPixel - 1) == 0;
                    const QString at = QStringLiteral("at %1,%2 level %3").arg(x).arg(y).arg(l);
                    if (transparent || l == 255)
                        QVERIFY2(!isBlack, qPrintable(at));
                    if (l == 0)
                        QVERIFY2(isBlack, qPrintable(at));
                    if (options.method == BilevelOptions::Threshold)
                        QVERIFY2(isBlack == (l <= options.threshold), qPrintable(at));
                }
            if (form == QLatin1String("grey8") && options.method == BilevelOptions::Threshold)
                for (quint32 x = 0; x < p.width; ++x) // luminance of grey is the grey itself
                    QCOMPARE(sampleAt(back, x, 7) == 1, int(sampleAt(p, x, 7)) <= options.threshold);
            if (options.method != BilevelOptions::Threshold) {
                // The share of black pixels follows the share of darkness.
                const double pixels = double(p.width) * p.height;
                const double want = double(darkness) / 255.0 / pixels, got = double(black) / pixels;
                QVERIFY2(std::abs(got - want) < (options.method == BilevelOptions::DiffusionDither ? 0.02 : 0.04),
                         qPrintable(QStringLiteral("black %1, darkness %2").arg(got).arg(want)));
            }
            // Deterministic: the same page gives the same file.
            const QString again = path(QStringLiteral("bilevel-again.tif"));
            QVERIFY(write(again, {p}, compression, false, options));
            QFile fa(out), fb(again);
            QVERIFY(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
            QCOMPARE(fa.readAll(), fb.readAll());
        }
        // Bilevel sources keep every pixel whatever the method.
        const Page ink = makePage(PageKind::BilevelMinIsWhite, 40, 20);
        const QString out = path(QStringLiteral("bilevel-source.tif"));
        QVERIFY(write(out, {ink}, 4, false, options));
        Page back;
        QVERIFY(decodePage(out, 0, &back));
        QVERIFY(samePixels(back, ink));
    }

    void automaticCompression_data()
    {
        QTest::addColumn<QString>("form");
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("predictor");
        QTest::newRow("bilevel miniswhite") << QStringLiteral("bilevel-miniswhite") << 4 << 1;
        QTest::newRow("bilevel minisblack") << QStringLiteral("bilevel-minisblack") << 4 << 1;
        QTest::newRow("grey8 two levels") << QStringLiteral("grey8-two") << 4 << 1;
        QTest::newRow("grey16 two close levels") << QStringLiteral("grey16-two-close") << 4 << 1;
        QTest::newRow("grey8 miniswhite two levels") << QStringLiteral("grey8-miniswhite-two") << 4 << 1;
        QTest::newRow("palette black and white") << QStringLiteral("palette1-bw") << 4 << 1;
        QTest::newRow("rgb8 two greys") << QStringLiteral("rgb8-two-greys") << 4 << 1;
        QTest::newRow("rgba8 opaque two greys") << QStringLiteral("rgba8-opaque-two-greys") << 4 << 1;
        QTest::newRow("rgba8 two greys, some transparent") << QStringLiteral("rgba8-transparent-two-greys") << 5 << 2;
        QTest::newRow("rgb8 red on white") << QStringLiteral("rgb8-red-white") << 5 << 2;
        QTest::newRow("palette1 coloured") << QStringLiteral("palette1-coloured") << 5 << 1;
        QTest::newRow("grey8 one level") << QStringLiteral("grey8-one") << 5 << 2;
        QTest::newRow("grey8 three levels") << QStringLiteral("grey8-three") << 5 << 2;
        QTest::newRow("rgb8 photo") << QStringLiteral("rgb8") << 5 << 2;
        QTest::newRow("grey16 photo") << QStringLiteral("grey16") << 5 << 2;
    }

    // Pages already black and white go G4 and keep every pixel, the darker
    // level black; all others go LZW with their pixels kept.
    void automaticCompression()
    {
        QFETCH(QString, form);
        QFETCH(int, compression);
        QFETCH(int, predictor);
        const quint32 w = 45, h = 23;
        Page p;
        auto twoLevels = [&](std::initializer_list<quint32> ink, std::initializer_list<quint32> paper) {
            for (quint32 y = 0; y < h; ++y)
                for (quint32 x = 0; x < w; ++x) {
                    int s = 0;
                    for (quint32 v : inkMask(x, y) ? ink : paper)
                        setSampleAt(p, x, y, s++, v);
                }
        };
        if (form == QLatin1String("bilevel-miniswhite")) {
            p = makePage(PageKind::BilevelMinIsWhite, w, h);
        } else if (form == QLatin1String("bilevel-minisblack")) {
            p = makePage(PageKind::BilevelMinIsBlack, w, h);
        } else if (form == QLatin1String("grey8-two")) {
            p = blankPage(w, h, 8, 1, 0, Photometric::MinIsBlack);
            twoLevels({0}, {255});
        } else if (form == QLatin1String("grey16-two-close")) {
            p = blankPage(w, h, 16, 1, 0, Photometric::MinIsBlack);
            twoLevels({30000}, {30100});
        } else if (form == QLatin1String("grey8-miniswhite-two")) {
            p = blankPage(w, h, 8, 1, 0, Photometric::MinIsWhite);
            twoLevels({200}, {10});
        } else if (form == QLatin1String("palette1-bw") || form == QLatin1String("palette1-coloured")) {
            p = blankPage(w, h, 1, 1, 0, Photometric::Palette);
            const bool bw = form == QLatin1String("palette1-bw");
            p.colormap = {0xffff, 0, bw ? quint16(0xffff) : quint16(0), 0, bw ? quint16(0xffff) : quint16(0), 0};
            twoLevels({1}, {0});
        } else if (form == QLatin1String("rgb8-two-greys")) {
            p = blankPage(w, h, 8, 3, 0, Photometric::RGB);
            twoLevels({40, 40, 40}, {230, 230, 230});
        } else if (form == QLatin1String("rgba8-opaque-two-greys")) {
            p = blankPage(w, h, 8, 4, 1, Photometric::RGB);
            twoLevels({0, 0, 0, 255}, {255, 255, 255, 255});
        } else if (form == QLatin1String("rgba8-transparent-two-greys")) {
            p = blankPage(w, h, 8, 4, 1, Photometric::RGB);
            twoLevels({0, 0, 0, 255}, {255, 255, 255, 0});
        } else if (form == QLatin1String("rgb8-red-white")) {
            p = blankPage(w, h, 8, 3, 0, Photometric::RGB);
            twoLevels({255, 0, 0}, {255, 255, 255});
        } else if (form == QLatin1String("grey8-one")) {
            p = blankPage(w, h, 8, 1, 0, Photometric::MinIsBlack);
            twoLevels({255}, {255});
        } else if (form == QLatin1String("grey8-three")) {
            p = blankPage(w, h, 8, 1, 0, Photometric::MinIsBlack);
            twoLevels({0}, {255});
            setSampleAt(p, w - 1, h - 1, 0, 128);
        } else if (form == QLatin1String("rgb8")) {
            p = makePage(PageKind::Rgb8, w, h);
        } else if (form == QLatin1String("grey16")) {
            p = makePage(PageKind::Grey16, w, h);
        }
        p.xResolution = p.yResolution = 200;
        const QString out = path(QStringLiteral("auto.tif"));
        // Between two photo pages, so each page is decided on its own.
        const Page photo = makePage(PageKind::Rgb8, 20, 10);
        QVERIFY(write(out, {photo, p, photo}, TiffWriter::kAutomatic));
        for (int i : {0, 2}) {
            QCOMPARE(readTags(out, i).compression, 5);
            QCOMPARE(readTags(out, i).predictor, 2);
        }
        const Tags t = readTags(out, 1);
        QCOMPARE(t.compression, compression);
        QCOMPARE(t.predictor, predictor);
        QCOMPARE(t.xRes, 200.f);
        Page back;
        QVERIFY(decodePage(out, 1, &back));
        if (compression == 5) {
            QVERIFY(samePixels(back, p));
            return;
        }
        QCOMPARE(t.photometric, PHOTOMETRIC_MINISWHITE);
        QCOMPARE(t.bps, 1);
        const bool inverted = form == QLatin1String("bilevel-minisblack");
        for (quint32 y = 0; y < h; ++y)
            for (quint32 x = 0; x < w; ++x) {
                const bool ink = form.startsWith(QLatin1String("bilevel")) ? (sampleAt(p, x, y) == 1) != inverted : inkMask(x, y);
                QVERIFY2((sampleAt(back, x, y) == 1) == ink, qPrintable(QStringLiteral("at %1,%2").arg(x).arg(y)));
            }
    }

    void ccittDocumentPage_data()
    {
        QTest::addColumn<bool>("transparentBorder");
        QTest::newRow("opaque") << false;
        QTest::newRow("transparent border") << true;
    }

    // Black text on white stays black text on white, pixel for pixel.
    void ccittDocumentPage()
    {
        QFETCH(bool, transparentBorder);
        const Page doc = makeDocumentPage(160, 90, transparentBorder);
        const QString out = path(QStringLiteral("doc.tif"));
        QVERIFY(write(out, {doc}, 4));
        Page back;
        QVERIFY(decodePage(out, 0, &back));
        quint64 black = 0;
        for (quint32 y = 0; y < doc.height; ++y)
            for (quint32 x = 0; x < doc.width; ++x) {
                const bool opaque = doc.samplesPerPixel == 3 || sampleAt(doc, x, y, 3) == 255;
                const bool ink = opaque && sampleAt(doc, x, y, 0) < 128;
                QCOMPARE(sampleAt(back, x, y) == 1, ink);
                black += ink;
            }
        QVERIFY(black > 0);
    }

    // The same page gives the same file, byte for byte.
    void ccittDeterministic()
    {
        const Page p = makePage(PageKind::Rgb8, 120, 80, 3);
        const QString a = path(QStringLiteral("a.tif")), b = path(QStringLiteral("b.tif"));
        QVERIFY(write(a, {p}, 4));
        QVERIFY(write(b, {p}, 4));
        QFile fa(a), fb(b);
        QVERIFY(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
        QCOMPARE(fa.readAll(), fb.readAll());
    }

    void bigTiff_data()
    {
        QTest::addColumn<bool>("big");
        QTest::newRow("classic") << false;
        QTest::newRow("bigtiff") << true;
    }

    void bigTiff()
    {
        QFETCH(bool, big);
        const std::vector<Page> pages{makePage(PageKind::Rgba16, 30, 30, 0), makePage(PageKind::Palette4, 30, 30, 1)};
        const QString out = path(QStringLiteral("big.tif"));
        QVERIFY(write(out, pages, 5, big));
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray head = f.read(4);
        QCOMPARE(int(quint8(head[2])) | int(quint8(head[3])), big ? 43 : 42);
        for (int i = 0; i < 2; ++i) {
            Page back;
            QVERIFY(decodePage(out, i, &back));
            QVERIFY(samePixels(back, pages[size_t(i)]));
        }
    }

    void checksumOfTheFileAsWritten_data()
    {
        QTest::addColumn<int>("compression");
        QTest::addColumn<int>("pageCount");
        QTest::addColumn<bool>("big");
        QTest::addColumn<bool>("pooled");
        QTest::addColumn<bool>("metadata"); // EXIF and GPS directories written beside the strips
        for (int c : {1, 4, 5, 7, 8, 32773, 50000, int(TiffWriter::kAutomatic)})
            for (int n : {1, 3})
                QTest::addRow("compression %d, %d page(s)", c, n) << c << n << false << false << false;
        QTest::newRow("bigtiff, 3 pages") << 5 << 3 << true << false << false;
        QTest::newRow("pool, 4 pages") << 5 << 4 << false << true << false;
        QTest::newRow("pool, bigtiff, 2 pages") << 1 << 2 << true << true << false;
        QTest::newRow("metadata, 3 pages") << 8 << 3 << false << false << true;
        QTest::newRow("metadata, pool, bigtiff, 3 pages") << 50000 << 3 << true << true << true;
    }

    // The digest is taken from the writes, while libtiff seeks back to link
    // each directory: it must still be the digest of the bytes on disk.
    void checksumOfTheFileAsWritten()
    {
        QFETCH(int, compression);
        QFETCH(int, pageCount);
        QFETCH(bool, big);
        QFETCH(bool, pooled);
        QFETCH(bool, metadata);
        quillon::image::detail::ExifTree tree;
        tree.exif.push_back({33434, 5, 1, QByteArray("\x01\0\0\0\xfa\0\0\0", 8)});
        tree.gps.push_back({1, 2, 2, QByteArray("N\0", 2)});
        std::unique_ptr<quillon::WorkPool> pool;
        if (pooled)
            pool = std::make_unique<quillon::WorkPool>(3);
        const QString out = path(QStringLiteral("sum.tif"));
        QFile::remove(out);
        TiffWriter writer(out, compression, big, pool.get());
        writer.setChecksum(true);
        const PageKind kinds[] = {PageKind::Rgb8, PageKind::Grey8, PageKind::BilevelMinIsWhite, PageKind::Palette4};
        int written = 0;
        for (int i = 0; i < pageCount; ++i) {
            Page p = makePage(kinds[i % 4], 300 + 7 * i, 200, i);
            if (metadata)
                p.exif = quillon::image::detail::exifStream(tree);
            writer.queuePage(std::move(p), [&](bool ok, int, const QString &) { written += ok; });
        }
        QString why;
        QVERIFY2(writer.commit(&why), qPrintable(why));
        QCOMPARE(written, pageCount);
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(writer.sha256(), QString::fromLatin1(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256).toHex()));
    }

    // A page's EXIF, GPS and XMP in classic and BigTIFF files, read back by
    // libtiff's own EXIF reader; damaged EXIF streams are refused whole and
    // entries pointing outside them left out.
    void metadataDirectories_data()
    {
        QTest::addColumn<bool>("big");
        QTest::addColumn<bool>("bigEndianSource");
        QTest::newRow("classic") << false << false;
        QTest::newRow("bigtiff") << true << false;
        QTest::newRow("big-endian source") << false << true;
    }

    void metadataDirectories()
    {
        QFETCH(bool, big);
        QFETCH(bool, bigEndianSource);
        using namespace quillon::image::detail;
        auto number = [&](quint64 v, int bytes) {
            QByteArray b;
            for (int i = 0; i < bytes; ++i)
                b.append(char(v >> (8 * (bigEndianSource ? bytes - 1 - i : i))));
            return b;
        };
        ExifTree tree;
        tree.bigEndian = bigEndianSource;
        tree.main.push_back({271, 2, 11, QByteArray("QuillonCam\0", 11)});
        tree.exif.push_back({33434, 5, 1, number(1, 4) + number(250, 4)}); // ExposureTime 1/250
        tree.exif.push_back({34855, 3, 1, number(400, 2)});                // ISO speed
        tree.exif.push_back({37500, 7, 4, QByteArray("junk")});            // a maker note: never carried
        tree.gps.push_back({1, 2, 2, QByteArray("N\0", 2)});
        Page p = makePage(PageKind::Rgb8, 40, 30);
        p.exif = exifStream(tree);
        p.xmp = QByteArray("<x:xmpmeta xmlns:x='adobe:ns:meta/'><rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>"
                           "<rdf:Description xmlns:tiff='http://ns.adobe.com/tiff/1.0/' tiff:Orientation='6'/></rdf:RDF></x:xmpmeta>");
        p.orientation = 3;
        ExifTree parsed;
        QString why;
        QVERIFY2(parseExif(p.exif, &parsed, &why), qPrintable(why));
        QCOMPARE(parsed.exif.size(), size_t(2)); // the maker note stays out
        const QString out = path(QStringLiteral("meta.tif"));
        QVERIFY(write(out, {p, makePage(PageKind::Grey8, 20, 10)}, 50000, big));

        TIFF *tif = TIFFOpen(QFile::encodeName(out).constData(), "r");
        QVERIFY(tif);
        auto close = qScopeGuard([tif] { TIFFClose(tif); });
        char *make = nullptr;
        QVERIFY(TIFFGetField(tif, TIFFTAG_MAKE, &make));
        QCOMPARE(QByteArray(make), QByteArray("QuillonCam"));
        quint32 xmpSize = 0;
        void *xmp = nullptr;
        QVERIFY(TIFFGetField(tif, TIFFTAG_XMLPACKET, &xmpSize, &xmp));
        QVERIFY(QByteArray(static_cast<const char *>(xmp), int(xmpSize)).contains("tiff:Orientation='3'"));
        toff_t exifAt = 0, gpsAt = 0;
        QVERIFY(TIFFGetField(tif, TIFFTAG_EXIFIFD, &exifAt));
        QVERIFY(TIFFGetField(tif, TIFFTAG_GPSIFD, &gpsAt));
        QVERIFY(TIFFReadEXIFDirectory(tif, exifAt));
        float exposure = 0; // libtiff hands EXIF rationals out as float
        QVERIFY(TIFFGetField(tif, EXIFTAG_EXPOSURETIME, &exposure));
        QCOMPARE(exposure, 1.0f / 250);
        quint16 isoCount = 0;
        quint16 *iso = nullptr;
        QVERIFY(TIFFGetField(tif, EXIFTAG_ISOSPEEDRATINGS, &isoCount, &iso));
        QCOMPARE(iso[0], quint16(400));
        void *makerNote = nullptr;
        quint32 makerNoteSize = 0;
        QVERIFY(!TIFFGetField(tif, EXIFTAG_MAKERNOTE, &makerNoteSize, &makerNote));
        QVERIFY(TIFFReadGPSDirectory(tif, gpsAt));
        char *ref = nullptr;
        QVERIFY(TIFFGetField(tif, GPSTAG_LATITUDEREF, &ref));
        QCOMPARE(QByteArray(ref), QByteArray("N"));
        // The pages around the directories are whole.
        for (int i = 0; i < 2; ++i) {
            Page back;
            QVERIFY(decodePage(out, i, &back));
        }
        QCOMPARE(countImages(out), 2);

        // Damaged streams: a short header, a first directory past the end, a
        // directory claiming 60000 entries; a value pointing outside is dropped.
        const QByteArray good = p.exif;
        QByteArray pastEnd = good, hugeCount = good, outside = good;
        pastEnd.replace(4, 4, number(quint64(good.size()) + 100, 4));
        hugeCount.replace(8, 2, number(60000, 2));
        const qsizetype makeEntry = 10; // the first entry: Make, its value stored outside the entry
        outside.replace(makeEntry + 8, 4, number(0x7ffffff0, 4));
        for (const QByteArray &bad : {good.left(6), pastEnd, hugeCount})
            QVERIFY(!parseExif(bad, &parsed, &why));
        int dropped = 0;
        QVERIFY(parseExif(outside, &parsed, &why, &dropped));
        QCOMPARE(dropped, 1);
        QVERIFY(parsed.main.empty());
        QCOMPARE(parsed.exif.size(), size_t(2));
    }

    void badPages_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("short pixel buffer") << 0;
        QTest::newRow("colour map too small") << 1;
        QTest::newRow("3 bits per sample") << 2;
        QTest::newRow("RGB with 2 samples") << 3;
        QTest::newRow("no pixels") << 4;
        QTest::newRow("two extra samples") << 5;
    }

    // A malformed page is refused with a reason; the writer stays failed and
    // leaves no file.
    void badPages()
    {
        QFETCH(int, fault);
        Page p = makePage(PageKind::Palette4);
        switch (fault) {
        case 0: p.pixels.resize(p.pixels.size() - 1); break;
        case 1: p.colormap.resize(3 * 8); break;
        case 2: p.bitsPerSample = 3; break;
        case 3: p = makePage(PageKind::Rgb8); p.samplesPerPixel = 2; break;
        case 4: p.width = 0; break;
        case 5: p = makePage(PageKind::Rgba8); p.extraSamples = 2; break;
        }
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("bad.tif"));
        TiffWriter writer(out, 5);
        QString why;
        QVERIFY(writer.addPage(makePage(PageKind::Rgb8), &why));
        QVERIFY(!writer.addPage(p, &why));
        QVERIFY(!why.isEmpty());
        why.clear();
        QVERIFY(!writer.addPage(makePage(PageKind::Rgb8), &why));
        QVERIFY(!why.isEmpty());
        QVERIFY(!writer.commit(&why));
        QVERIFY(filesIn(dir.path()).isEmpty());
    }

    // Nothing stands under the target name, and no other visible name appears,
    // until commit(); any legal name works, also one of 255 bytes, where a
    // temporary name made from it could not be longer.
    void temporaryFileUntilCommit_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("hiddenTemporary"); // the file system refuses O_TMPFILE
        const QString longest = QString(251, QLatin1Char('n')) + QStringLiteral(".tif");
        const QString longUtf8 = QString(125, QChar(0x00E9)) + QStringLiteral("x.tif"); // 250 + 5 bytes
        for (bool hidden : {false, true}) {
            const char *how = hidden ? "hidden temporary" : "unnamed temporary";
            QTest::addRow("short name, %s", how) << QStringLiteral("page.tif") << hidden;
            QTest::addRow("255-byte name, %s", how) << longest << hidden;
            QTest::addRow("255-byte UTF-8 name, %s", how) << longUtf8 << hidden;
        }
    }

    void temporaryFileUntilCommit()
    {
        QFETCH(QString, name);
        QFETCH(bool, hiddenTemporary);
        QCOMPARE(QFile::encodeName(name).size() == 255, name.size() > 8);
        if (hiddenTemporary)
            qputenv("QUILLON_NO_O_TMPFILE", "1");
        auto restore = qScopeGuard([] { qunsetenv("QUILLON_NO_O_TMPFILE"); });
        QTemporaryDir dir;
        const QString out = dir.filePath(name);
        QVERIFY(writeBytes(out, "old content"));
        {
            TiffWriter writer(out, 1);
            QString why;
            QVERIFY2(writer.addPage(makePage(PageKind::Grey8), &why), qPrintable(why));
            QCOMPARE(writer.pageCount(), 1);
            const QStringList files = filesIn(dir.path());
            if (hiddenTemporary) {
                QCOMPARE(files.size(), 2);
                const QString temp = files.value(files.indexOf(name) == 0 ? 1 : 0);
                QVERIFY2(QRegularExpression(QStringLiteral("^\\.qc-[0-9a-z]{10}\\.tmp$")).match(temp).hasMatch(),
                         qPrintable(temp));
            } else {
                QCOMPARE(files, QStringList{name});
            }
            QFile f(out);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("old content")); // untouched until commit
            f.close();
            QVERIFY2(writer.commit(&why), qPrintable(why));
        }
        QCOMPARE(filesIn(dir.path()), QStringList{name});
        Page back;
        QVERIFY(decodePage(out, 0, &back));
        QVERIFY(samePixels(back, makePage(PageKind::Grey8)));

        // A free name is taken as well.
        const QString fresh = dir.filePath(QStringLiteral("z") + name.mid(1));
        QVERIFY(write(fresh, {makePage(PageKind::Grey8)}, 5));
        QCOMPARE(filesIn(dir.path()).size(), 2);
    }

    void takenNameIsNeverReplaced_data()
    {
        QTest::addColumn<bool>("danglingLink");
        QTest::newRow("a file") << false;
        QTest::newRow("a dangling link") << true;
    }

    // With replacing off, a name taken after the writer began is kept; the
    // finished file waits for another name or is dropped.
    void takenNameIsNeverReplaced()
    {
        QFETCH(bool, danglingLink);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("page.tiff"));
        for (bool keep : {true, false}) {
            TiffWriter writer(out, 5);
            writer.setReplaceExisting(false);
            QString why;
            QVERIFY(writer.addPage(makePage(PageKind::Grey8), &why));
            if (danglingLink)
                QVERIFY(QFile::link(dir.filePath(QStringLiteral("nowhere")), out));
            else
                QVERIFY(writeBytes(out, "made meanwhile"));
            QVERIFY(!writer.commit(&why));
            QVERIFY(writer.targetExists());
            QVERIFY(why.contains(QStringLiteral("exists")));
            if (keep) {
                writer.setTargetPath(dir.filePath(QStringLiteral("page (2).tiff")));
                QVERIFY2(writer.commit(&why), qPrintable(why));
                QVERIFY(!writer.targetExists());
            } else {
                writer.abort();
            }
            if (danglingLink)
                QVERIFY(QFileInfo(out).isSymLink());
            else
                QCOMPARE(QFile(out).size(), qint64(14));
            QVERIFY(QFile::remove(out));
        }
        QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("page (2).tiff")});
        Page back;
        QVERIFY(decodePage(dir.filePath(QStringLiteral("page (2).tiff")), 0, &back));
        QVERIFY(samePixels(back, makePage(PageKind::Grey8)));
    }

    void abortAndDestructionRemoveTemporary_data()
    {
        QTest::addColumn<bool>("explicitAbort");
        QTest::addColumn<bool>("hiddenTemporary");
        QTest::newRow("abort") << true << false;
        QTest::newRow("destructor") << false << false;
        QTest::newRow("abort, hidden temporary") << true << true;
        QTest::newRow("destructor, hidden temporary") << false << true;
    }

    void abortAndDestructionRemoveTemporary()
    {
        QFETCH(bool, explicitAbort);
        QFETCH(bool, hiddenTemporary);
        if (hiddenTemporary)
            qputenv("QUILLON_NO_O_TMPFILE", "1");
        auto restore = qScopeGuard([] { qunsetenv("QUILLON_NO_O_TMPFILE"); });
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("gone.tif"));
        {
            TiffWriter writer(out, 4);
            QString why;
            QVERIFY(writer.addPage(makePage(PageKind::Rgb8, 200, 100), &why));
            QCOMPARE(filesIn(dir.path()).size(), hiddenTemporary ? 1 : 0);
            if (explicitAbort) {
                writer.abort();
                QVERIFY(filesIn(dir.path()).isEmpty());
                QVERIFY(!writer.commit(&why));
            }
        }
        QVERIFY(filesIn(dir.path()).isEmpty());
    }

    // A hidden temporary whose writer is gone (its lock is free) and which was
    // last written long ago is removed when the next file is begun in its
    // folder; one still locked, one written lately (a live writer where locks
    // are local to another host, or missing), or a name not of this kind, stays.
    void staleTemporaries_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<int>("ageSeconds");
        QTest::addColumn<QByteArray>("flockError"); // the file system's answer to flock()
        QTest::addColumn<bool>("removed");
        const int old = quillon::SafeOutputFile::kStaleAgeSeconds + 60;
        const int young = quillon::SafeOutputFile::kStaleAgeSeconds - 60;
        QTest::newRow("writer gone") << QStringLiteral(".qc-0123456789.tmp") << false << old << QByteArray() << true;
        QTest::newRow("writer gone, written lately") << QStringLiteral(".qc-0123456789.tmp") << false << young << QByteArray() << false;
        QTest::newRow("writer alive") << QStringLiteral(".qc-abcdefghij.tmp") << true << old << QByteArray() << false;
        QTest::newRow("no locks, old") << QStringLiteral(".qc-0123456789.tmp") << false << old << QByteArray("ENOLCK") << true;
        QTest::newRow("no locks, young") << QStringLiteral(".qc-0123456789.tmp") << false << 0 << QByteArray("ENOLCK") << false;
        QTest::newRow("locks unsupported, old") << QStringLiteral(".qc-0123456789.tmp") << false << old << QByteArray("EOPNOTSUPP") << true;
        QTest::newRow("lock state unknown") << QStringLiteral(".qc-0123456789.tmp") << false << old << QByteArray("EIO") << false;
        QTest::newRow("not ours: capitals") << QStringLiteral(".qc-ABCDEFGHIJ.tmp") << false << old << QByteArray() << false;
        QTest::newRow("not ours: length") << QStringLiteral(".qc-0123456789a.tmp") << false << old << QByteArray() << false;
        QTest::newRow("not ours: visible") << QStringLiteral("qc-0123456789.tmp") << false << old << QByteArray() << false;
    }

    void staleTemporaries()
    {
        QFETCH(QString, name);
        QFETCH(bool, locked);
        QFETCH(int, ageSeconds);
        QFETCH(QByteArray, flockError);
        QFETCH(bool, removed);
        qputenv("QUILLON_NO_O_TMPFILE", "1");
        auto restore = qScopeGuard([] {
            qunsetenv("QUILLON_NO_O_TMPFILE");
            qunsetenv("QUILLON_FLOCK_ERROR");
        });
        QTemporaryDir dir;
        const QString stale = dir.filePath(name);
        QVERIFY(writeBytes(stale, "half a file"));
        const int fd = ::open(QFile::encodeName(stale).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        auto closeFd = qScopeGuard([fd] { ::close(fd); });
        if (locked)
            QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        const timespec times[2] = {{::time(nullptr) - ageSeconds, 0}, {::time(nullptr) - ageSeconds, 0}};
        QCOMPARE(::futimens(fd, times), 0);
        if (!flockError.isEmpty())
            qputenv("QUILLON_FLOCK_ERROR", flockError);
        // The sweep runs at most every few seconds per folder: a fresh folder each row.
        const QString next = dir.filePath(QStringLiteral("next.tif"));
        const bool written = write(next, {makePage(PageKind::Grey8)}, 1);
        QCOMPARE(written, flockError != "EIO");
        QCOMPARE(QFile::exists(stale), !removed);
        QCOMPARE(filesIn(dir.path()).size(), (removed ? 0 : 1) + (written ? 1 : 0));
    }

    // Where flock() fails, a file system without locks is written all the
    // same; any other failure leaves nothing behind and says why. Either way
    // only the output's own name remains, and never after a hundred tries.
    void failingLockLeavesNoTemporary_data()
    {
        QTest::addColumn<QByteArray>("flockError");
        QTest::addColumn<bool>("hiddenTemporary");
        QTest::addColumn<QString>("reason"); // empty: written
        for (bool hidden : {false, true}) {
            const char *how = hidden ? "hidden temporary" : "unnamed temporary";
            QTest::addRow("no lock daemon, %s", how) << QByteArray("ENOLCK") << hidden << QString();
            QTest::addRow("locks unsupported, %s", how) << QByteArray("EOPNOTSUPP") << hidden << QString();
            QTest::addRow("I/O error, %s", how) << QByteArray("EIO") << hidden << QString::fromLocal8Bit(std::strerror(EIO));
            QTest::addRow("bad descriptor, %s", how) << QByteArray("EBADF") << hidden << QString::fromLocal8Bit(std::strerror(EBADF));
        }
    }

    void failingLockLeavesNoTemporary()
    {
        QFETCH(QByteArray, flockError);
        QFETCH(bool, hiddenTemporary);
        QFETCH(QString, reason);
        if (hiddenTemporary)
            qputenv("QUILLON_NO_O_TMPFILE", "1");
        qputenv("QUILLON_FLOCK_ERROR", flockError);
        auto restore = qScopeGuard([] {
            qunsetenv("QUILLON_NO_O_TMPFILE");
            qunsetenv("QUILLON_FLOCK_ERROR");
        });
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("page.tif"));
        TiffWriter writer(out, 5);
        QString why;
        const bool added = writer.addPage(makePage(PageKind::Grey8), &why);
        QCOMPARE(added, reason.isEmpty());
        if (!added) {
            QVERIFY2(why.contains(reason), qPrintable(why));
            QVERIFY(filesIn(dir.path()).isEmpty());
            return;
        }
        QVERIFY2(writer.commit(&why), qPrintable(why));
        QCOMPARE(filesIn(dir.path()), QStringList{QStringLiteral("page.tif")});
        Page back;
        QVERIFY(decodePage(out, 0, &back));
        QVERIFY(samePixels(back, makePage(PageKind::Grey8)));
    }

    void commitWithoutPagesFails()
    {
        QTemporaryDir dir;
        TiffWriter writer(dir.filePath(QStringLiteral("empty.tif")), 1);
        QString why;
        QVERIFY(!writer.commit(&why));
        QVERIFY(!why.isEmpty());
        QVERIFY(filesIn(dir.path()).isEmpty());
    }

    void commitFailsWhenFolderRemoved()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("out"));
        QVERIFY(QDir().mkpath(folder));
        const QString out = folder + QStringLiteral("/x.tif");
        TiffWriter writer(out, 5);
        QString why;
        QVERIFY(writer.addPage(makePage(PageKind::Rgb8), &why));
        QVERIFY(QDir(folder).removeRecursively());
        QVERIFY(!writer.commit(&why));
        QVERIFY(!why.isEmpty());
        QVERIFY(!QFile::exists(out));
        QVERIFY(filesIn(dir.path()).isEmpty());
    }

    // A target that can't be replaced (a folder) stays as it was.
    void commitFailureLeavesTargetUntouched()
    {
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("taken.tif"));
        QVERIFY(QDir().mkpath(out));
        QVERIFY(writeBytes(out + QStringLiteral("/inside"), "keep"));
        TiffWriter writer(out, 1);
        QString why;
        QVERIFY(writer.addPage(makePage(PageKind::Grey8), &why));
        QVERIFY(!writer.commit(&why));
        QVERIFY(!why.isEmpty());
        QVERIFY(QFileInfo(out).isDir());
        QVERIFY(QFile::exists(out + QStringLiteral("/inside")));
        QVERIFY(filesIn(dir.path()).isEmpty());
    }

    void missingFolder()
    {
        QTemporaryDir dir;
        TiffWriter writer(dir.filePath(QStringLiteral("no/such/folder/x.tif")), 1);
        QString why;
        QVERIFY(!writer.addPage(makePage(PageKind::Grey8), &why));
        QVERIFY(!why.isEmpty());
        QVERIFY(!writer.commit(&why));
    }

    void readOnlyFolder()
    {
        QTemporaryDir dir;
        // Root ignores permission bits; an immutable folder stops root as well.
        const bool root = ::geteuid() == 0;
        if (root ? !setImmutable(dir.path(), true)
                 : !QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner))
            QSKIP("cannot make a read-only folder here");
        const auto restore = qScopeGuard([&] {
            if (root)
                setImmutable(dir.path(), false);
            else
                QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        TiffWriter writer(dir.filePath(QStringLiteral("x.tif")), 1);
        QString why;
        QVERIFY(!writer.addPage(makePage(PageKind::Grey8), &why));
        QVERIFY(!why.isEmpty());
        QVERIFY(!writer.commit(&why));
        QVERIFY(filesIn(dir.path()).isEmpty());
    }

    // A full disk (here: a file size limit) fails the page or the commit, and
    // leaves neither the target nor the temporary file.
    void diskFull_data()
    {
        QTest::addColumn<int>("compression");
        QTest::addColumn<bool>("bigTiff");
        QTest::newRow("none") << 1 << false;
        QTest::newRow("lzw") << 5 << false;
        QTest::newRow("bigtiff packbits") << 32773 << true;
    }

    void diskFull()
    {
        QFETCH(int, compression);
        QFETCH(bool, bigTiff);
        QTemporaryDir dir;
        const QString out = dir.filePath(QStringLiteral("full.tif"));
        const Page page = makePage(PageKind::Rgb16, 400, 300); // 720 KB of noisy data
        auto previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        ::getrlimit(RLIMIT_FSIZE, &old);
        rlimit small = old;
        small.rlim_cur = 200 * 1024;
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        bool ok;
        QString why;
        {
            TiffWriter writer(out, compression, bigTiff);
            ok = writer.addPage(page, &why) && writer.addPage(page, &why) && writer.commit(&why);
        }
        ::setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, previous);
        QVERIFY(!ok);
        QVERIFY(!why.isEmpty());
        QVERIFY(filesIn(dir.path()).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestImageWriter)
#include "tst_imagewriter.moc"
