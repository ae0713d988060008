#include "core/FolderScan.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace quillon;

class TestFolderScan : public QObject {
    Q_OBJECT
private slots:
    void naturalOrder_data();
    void naturalOrder();
    void allowedTypes_data();
    void allowedTypes();
    void scan_data();
    void scan();
    void cancelStopsAtOnce();
};

void TestFolderScan::naturalOrder_data()
{
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("sorted");
    QTest::newRow("numbers by value") << QStringList{QStringLiteral("Scan10.tif"), QStringLiteral("Scan2.tif"), QStringLiteral("Scan1.tif")}
                                      << QStringList{QStringLiteral("Scan1.tif"), QStringLiteral("Scan2.tif"), QStringLiteral("Scan10.tif")};
    QTest::newRow("case ignored") << QStringList{QStringLiteral("b.png"), QStringLiteral("A.png"), QStringLiteral("a2.png")}
                                  << QStringList{QStringLiteral("A.png"), QStringLiteral("a2.png"), QStringLiteral("b.png")};
    QTest::newRow("leading zeros") << QStringList{QStringLiteral("p010"), QStringLiteral("p9"), QStringLiteral("p0009")}
                                   << QStringList{QStringLiteral("p0009"), QStringLiteral("p9"), QStringLiteral("p010")};
    QTest::newRow("prefix first") << QStringList{QStringLiteral("page1a"), QStringLiteral("page1")}
                                  << QStringList{QStringLiteral("page1"), QStringLiteral("page1a")};
    QTest::newRow("huge numbers") << QStringList{QStringLiteral("x123456789012345678901"), QStringLiteral("x99")}
                                  << QStringList{QStringLiteral("x99"), QStringLiteral("x123456789012345678901")};
}

void TestFolderScan::naturalOrder()
{
    QFETCH(QStringList, names);
    QFETCH(QStringList, sorted);
    std::sort(names.begin(), names.end(), naturalLess);
    QCOMPARE(names, sorted);
}

void TestFolderScan::allowedTypes_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("lower") << QStringLiteral("/a/photo.jpg") << true;
    QTest::newRow("upper") << QStringLiteral("/a/photo.JPG") << true;
    QTest::newRow("mixed case") << QStringLiteral("/a/photo.Jpg") << false;
    QTest::newRow("tiff") << QStringLiteral("/a/scan.TIFF") << true;
    QTest::newRow("text") << QStringLiteral("/a/notes.txt") << false;
    QTest::newRow("no extension") << QStringLiteral("/a/README") << false;
    QTest::newRow("hidden name only") << QStringLiteral("/a/.png") << false;
    QTest::newRow("dot in folder") << QStringLiteral("/a.png/file") << false;
    QTest::newRow("heic") << QStringLiteral("/a/IMG_0001.HEIC") << true;
    QTest::newRow("heif mixed case") << QStringLiteral("/a/photo.Heif") << true;
    QTest::newRow("hif") << QStringLiteral("/a/photo.hif") << true;
    QTest::newRow("avif mixed case") << QStringLiteral("/a/photo.aViF") << true;
    QTest::newRow("webp") << QStringLiteral("/a/saved.webp") << true;
    QTest::newRow("jxl upper") << QStringLiteral("/a/shot.JXL") << true;
    QTest::newRow("heic in a longer extension") << QStringLiteral("/a/photo.heics") << false;
}

void TestFolderScan::allowedTypes()
{
    QFETCH(QString, path);
    QFETCH(bool, allowed);
    QCOMPARE(isAllowedFileType(path), allowed);
    // The fourteen first, as they always were; the later six in both cases.
    QCOMPARE(allowedFileTypes().mid(0, 14).join(QLatin1Char(',')),
             QStringLiteral("bmp,BMP,jpg,JPG,jpeg,JPEG,png,PNG,gif,GIF,tif,TIF,tiff,TIFF"));
    QCOMPARE(allowedFileTypes().size(), 26);
}

static void touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
}

void TestFolderScan::scan_data()
{
    QTest::addColumn<bool>("recursive");
    QTest::addColumn<QStringList>("found");
    QTest::newRow("own entries only") << false << QStringList{QStringLiteral("photo.JPG"), QStringLiteral("photo.jpg")};
    QTest::newRow("with subfolders") << true
                                     << QStringList{QStringLiteral("deep/inner.gif"), QStringLiteral("photo.JPG"), QStringLiteral("photo.jpg"),
                                                    QStringLiteral("sub/b.png")};
}

void TestFolderScan::scan()
{
    QFETCH(bool, recursive);
    QFETCH(QStringList, found);
    QTemporaryDir dir;
    for (const char *name : {"photo.JPG", "photo.jpg", "scan.Tif", "notes.txt", ".hidden.png", "sub/b.png", "sub/deep/inner.gif",
                             ".secret/x.png", "sub/.h/y.png"})
        touch(dir.filePath(QLatin1String(name)));
    QStringList got;
    scanFolder(dir.path(), recursive, {}, [&](const QString &p) { got << QDir(dir.path()).relativeFilePath(p); });
    for (QString &g : got)
        g.replace(QStringLiteral("sub/deep/"), QStringLiteral("deep/"));
    std::sort(got.begin(), got.end());
    QCOMPARE(got, found);
}

void TestFolderScan::cancelStopsAtOnce()
{
    QTemporaryDir dir;
    for (int i = 0; i < 50; ++i)
        touch(dir.filePath(QStringLiteral("f%1.png").arg(i)));
    int asked = 0;
    int added = 0;
    scanFolder(dir.path(), true, [&] { return ++asked <= 5; }, [&](const QString &) { ++added; });
    QCOMPARE(asked, 6);
    QVERIFY(added <= 5);
}

QTEST_GUILESS_MAIN(TestFolderScan)
#include "tst_folderscan.moc"
