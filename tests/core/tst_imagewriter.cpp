// Writing: lossless compressions keep every page exactly, CCITT pages are
// bilevel, and nothing is left under the target name unless commit() succeeds.
#include "common/ImageFactory.h"
#include "core/image/ImageSource.h"
#include "core/image/TiffWriter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <tiffio.h>

#include <QRegularExpression>
#include <QScopeGuard>

#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <functional>
#include <sys/resource.h>
#include <unistd.h>

using namespace quillon::image;
using namespace quillon::testing;

Q_DECLARE_METATYPE(PageKind)

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
    bool write(const QString &target, const std::vector<Page> &pages, int compression, bool bigTiff = false)
    {
        TiffWriter writer(target, compression, bigTiff);
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
            for (int c : {1, 5, 32773})
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
        for (int c : {-1, 0, 2, 6, 7, 8, 32946, 99999})
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

    // A hidden temporary whose writer is gone (its lock is free) is removed when
    // the next file is begun in its folder; one still locked, or a name not of
    // this kind, stays.
    void staleTemporaries_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("locked");
        QTest::addColumn<bool>("removed");
        QTest::newRow("writer gone") << QStringLiteral(".qc-0123456789.tmp") << false << true;
        QTest::newRow("writer alive") << QStringLiteral(".qc-abcdefghij.tmp") << true << false;
        QTest::newRow("not ours: capitals") << QStringLiteral(".qc-ABCDEFGHIJ.tmp") << false << false;
        QTest::newRow("not ours: length") << QStringLiteral(".qc-0123456789a.tmp") << false << false;
        QTest::newRow("not ours: visible") << QStringLiteral("qc-0123456789.tmp") << false << false;
    }

    void staleTemporaries()
    {
        QFETCH(QString, name);
        QFETCH(bool, locked);
        QFETCH(bool, removed);
        qputenv("QUILLON_NO_O_TMPFILE", "1");
        auto restore = qScopeGuard([] { qunsetenv("QUILLON_NO_O_TMPFILE"); });
        QTemporaryDir dir;
        const QString stale = dir.filePath(name);
        QVERIFY(writeBytes(stale, "half a file"));
        const int fd = ::open(QFile::encodeName(stale).constData(), O_RDONLY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        auto closeFd = qScopeGuard([fd] { ::close(fd); });
        if (locked)
            QCOMPARE(::flock(fd, LOCK_EX | LOCK_NB), 0);
        QVERIFY(write(dir.filePath(QStringLiteral("next.tif")), {makePage(PageKind::Grey8)}, 1));
        QCOMPARE(QFile::exists(stale), !removed);
        QVERIFY(QFile::exists(dir.filePath(QStringLiteral("next.tif"))));
        QCOMPARE(filesIn(dir.path()).size(), removed ? 1 : 2);
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
