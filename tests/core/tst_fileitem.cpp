#include "core/FileItem.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace quillon;

class TestFileItem : public QObject {
    Q_OBJECT
private slots:
    void sizeText_data();
    void sizeText();
    void nonFileUrlsMakeNoItem();
    void missingFile();
    void derivedNames_data();
    void derivedNames();
    void equalityByUrlText();
    void displayFieldKeys();
    void allocatedSizeOfRealFile();
    void datesReadOnRequest();
};

void TestFileItem::sizeText_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << qint64(0) << QStringLiteral("0 KB");
    QTest::newRow("499") << qint64(499) << QStringLiteral("0 KB");
    QTest::newRow("500") << qint64(500) << QStringLiteral("1 KB");
    QTest::newRow("999999") << qint64(999999) << QStringLiteral("1000 KB");
    QTest::newRow("1000000") << qint64(1000000) << QStringLiteral("1000 KB");
    QTest::newRow("1000001") << qint64(1000001) << QStringLiteral(" 1 MB");
    QTest::newRow("1500000") << qint64(1500000) << QStringLiteral(" 1.5 MB");
    QTest::newRow("25000000") << qint64(25000000) << QStringLiteral("25 MB");
    QTest::newRow("123456789") << qint64(123456789) << QStringLiteral("123.5 MB");
    QTest::newRow("999950000") << qint64(999950000) << QStringLiteral("1000 MB");
    // Files past 2 GiB keep their true size.
    QTest::newRow("3 GB") << qint64(3000000000LL) << QStringLiteral(" 3 GB");
    QTest::newRow("5.5 TB") << qint64(5500000000000LL) << QStringLiteral(" 5.5 TB");
}

void TestFileItem::sizeText()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, text);
    QCOMPARE(FileItem::sizeText(bytes), text);
}

void TestFileItem::nonFileUrlsMakeNoItem()
{
    QVERIFY(!FileItem::initWithURL(QUrl()));
    QVERIFY(!FileItem::initWithURL(QUrl(QStringLiteral("https://example.org/a.jpg"))));
}

void TestFileItem::missingFile()
{
    auto item = FileItem::initWithURL(QUrl::fromLocalFile(QStringLiteral("/nonexistent/dir/photo.jpg")));
    QVERIFY(item);
    QVERIFY(item->isSelected);
    QCOMPARE(item->size(), 0);
    QCOMPARE(item->pages(), 0);
    QCOMPARE(item->sizeInKB(), QStringLiteral("0 KB"));
    QVERIFY(!item->dateModified().isValid());
    QCOMPARE(item->displayField(QStringLiteral("DATEMODIFIED")).toString(), QString());
    QCOMPARE(item->combineMethod(), QStringLiteral("All Page(s)"));
}

void TestFileItem::derivedNames_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("type");
    QTest::newRow("plain") << QStringLiteral("/a/b/Photo.JPG") << QStringLiteral("Photo.JPG") << QStringLiteral("/a/b") << QStringLiteral("JPG");
    QTest::newRow("two dots") << QStringLiteral("/a/scan.tiff.png") << QStringLiteral("scan.tiff.png") << QStringLiteral("/a") << QStringLiteral("png");
    QTest::newRow("no extension") << QStringLiteral("/a/README") << QStringLiteral("README") << QStringLiteral("/a") << QString();
    QTest::newRow("root") << QStringLiteral("/x.gif") << QStringLiteral("x.gif") << QStringLiteral("/") << QStringLiteral("gif");
    QTest::newRow("hidden") << QStringLiteral("/a/.hidden") << QStringLiteral(".hidden") << QStringLiteral("/a") << QString();
}

void TestFileItem::derivedNames()
{
    QFETCH(QString, path);
    QFETCH(QString, name);
    QFETCH(QString, location);
    QFETCH(QString, type);
    auto item = FileItem::initWithURL(QUrl::fromLocalFile(path));
    QCOMPARE(item->name(), name);
    QCOMPARE(item->location(), location);
    QCOMPARE(item->type(), type);
}

void TestFileItem::equalityByUrlText()
{
    auto a = FileItem::initWithURL(QUrl::fromLocalFile(QStringLiteral("/tmp/a.png")));
    auto b = FileItem::initWithURL(QUrl::fromLocalFile(QStringLiteral("/tmp/a.png")));
    auto c = FileItem::initWithURL(QUrl::fromLocalFile(QStringLiteral("/tmp/./a.png")));
    auto d = FileItem::initWithURL(QUrl::fromLocalFile(QStringLiteral("/tmp/A.png")));
    QVERIFY(a->isEqual(b.get()));
    QVERIFY(a->isEqual(a.get()));
    QVERIFY(!a->isEqual(nullptr));
    QVERIFY(!a->isEqual(c.get()));
    QVERIFY(!a->isEqual(d.get()));
}

void TestFileItem::displayFieldKeys()
{
    auto item = FileItem::initWithURL(QUrl::fromLocalFile(QStringLiteral("/data/scans/page.tif")));
    for (const QString &key : {QStringLiteral("name"), QStringLiteral("Name"), QStringLiteral("NAME")})
        QCOMPARE(item->displayField(key).toString(), QStringLiteral("page.tif"));
    QCOMPARE(item->displayField(QStringLiteral("size")).toString(), QString());
    QCOMPARE(item->displayField(QString()).toString(), QString());
    QCOMPARE(item->displayField(QStringLiteral("TYPE")).toString(), QStringLiteral("tif"));
    QCOMPARE(item->displayField(QStringLiteral("LOCATION")).toString(), QStringLiteral("/data/scans"));
    QCOMPARE(item->displayField(QStringLiteral("PAGES")).toInt(), 0);
    QCOMPARE(item->displayField(QStringLiteral("ISSELECTED")).toBool(), true);
    QCOMPARE(item->displayField(QStringLiteral("SELECTION")).toString(), QStringLiteral("All Page(s)"));
    QCOMPARE(item->displayField(QStringLiteral("SIZEINKB")).toString(), QStringLiteral("0 KB"));
}

void TestFileItem::allocatedSizeOfRealFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("notes.jpg"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(10000, 'x'));
    f.close();
    auto item = FileItem::initWithURL(QUrl::fromLocalFile(path));
    // Allocated size is whole blocks, at least the logical length.
    QVERIFY2(item->size() >= 10000, qPrintable(QString::number(item->size())));
    QCOMPARE(item->size() % 512, 0);
    QCOMPARE(item->pages(), 0); // text named .jpg is no image
}

void TestFileItem::datesReadOnRequest()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.png"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("x");
    f.close();
    auto item = FileItem::initWithURL(QUrl::fromLocalFile(path));
    QVERIFY(item->dateModified().isValid());
    const QDateTime older = QDateTime::currentDateTime().addDays(-400);
    QVERIFY(f.open(QIODevice::ReadWrite));
    QVERIFY(f.setFileTime(older, QFileDevice::FileModificationTime));
    f.close();
    QCOMPARE(item->dateModified().toSecsSinceEpoch(), older.toSecsSinceEpoch());
    QVERIFY(!item->displayField(QStringLiteral("datemodified")).toString().isEmpty());
}

QTEST_GUILESS_MAIN(TestFileItem)
#include "tst_fileitem.moc"
