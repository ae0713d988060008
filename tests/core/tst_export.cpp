#include "core/ExportList.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTest>

#include <unistd.h>

using namespace quillon;

class TestExport : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void linesInListOrder();
    void replacesWholeFile();
    void failedWriteKeepsEarlierFile();
    void names_data();
    void names();
};

static FileItemPtr makeFile(const QString &path, const QByteArray &content, const QDateTime &modified)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return nullptr;
    f.write(content);
    f.close();
    // Set after closing: the final flush would move the time again.
    if (!f.open(QIODevice::ReadWrite) || !f.setFileTime(modified, QFileDevice::FileModificationTime))
        return nullptr;
    f.close();
    return FileItem::initWithURL(QUrl::fromLocalFile(path));
}

void TestExport::linesInListOrder()
{
    QTemporaryDir dir;
    const QDateTime when(QDate(2024, 2, 29), QTime(23, 30, 5), Qt::UTC);
    QList<FileItemPtr> files{makeFile(dir.filePath(QStringLiteral("b.jpg")), "x", when),
                             makeFile(dir.filePath(QStringLiteral("a\tb.png")), "y", when),
                             FileItem::initWithURL(QUrl::fromLocalFile(QStringLiteral("/gone/c.TIF")))};
    files[1]->isSelected = false; // unchecked files are exported too
    const QStringList lines = QString::fromUtf8(exportText(files)).split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 5); // header, three items, and the empty rest after the last line feed
    QCOMPARE(lines.at(0), QStringLiteral("Name\tPages\tSize\tType\tModified Date\tAccessed Date\tCreated Date\tLocation"));
    QVERIFY(lines.at(4).isEmpty());
    const QStringList first = lines.at(1).split(QLatin1Char('\t'));
    QCOMPARE(first.size(), 8);
    QCOMPARE(first.at(0), QStringLiteral("b.jpg"));
    QCOMPARE(first.at(1), QStringLiteral("0"));
    QCOMPARE(first.at(3), QStringLiteral("jpg"));
    QCOMPARE(first.at(4), QStringLiteral("2024-02-29 23:30:05 +0000"));
    QCOMPARE(first.at(7), dir.path());
    QCOMPARE(lines.at(2).split(QLatin1Char('\t')).size(), 9); // the tab in the name shifts the columns
    QCOMPARE(lines.at(3), QStringLiteral("c.TIF\t0\t0 KB\tTIF\t\t\t\t/gone"));
}

void TestExport::replacesWholeFile()
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("list.txt"));
    QFile old(target);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write(QByteArray(100000, 'z'));
    old.close();
    QString error;
    QVERIFY(exportFileList({}, target, &error));
    QFile f(target);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("Name\tPages\tSize\tType\tModified Date\tAccessed Date\tCreated Date\tLocation\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
}

void TestExport::failedWriteKeepsEarlierFile()
{
    QTemporaryDir dir;
    QString error;
    QVERIFY(!exportFileList({}, dir.filePath(QStringLiteral("missing/list.txt")), &error));
    QVERIFY(!error.isEmpty());
    // A target that is a folder cannot be replaced; nothing is changed.
    QDir().mkpath(dir.filePath(QStringLiteral("taken.txt")));
    QVERIFY(!exportFileList({}, dir.filePath(QStringLiteral("taken.txt")), &error));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("taken.txt"))).isDir());
}

void TestExport::names_data()
{
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("name");
    QTest::newRow("afternoon") << QDateTime(QDate(2014, 3, 7), QTime(16, 5, 9)) << QStringLiteral("Export 07-Mar-2014 04-05-09 PM.txt");
    QTest::newRow("midnight") << QDateTime(QDate(2026, 12, 25), QTime(0, 0, 1)) << QStringLiteral("Export 25-Dec-2026 12-00-01 AM.txt");
}

void TestExport::names()
{
    QFETCH(QDateTime, now);
    QFETCH(QString, name);
    QCOMPARE(suggestedExportName(now), name);
    QCOMPARE(exportDateText(QDateTime()), QString());
}

QTEST_GUILESS_MAIN(TestExport)
#include "tst_export.moc"
