// The file list's model (columns, sorting that reorders the list itself,
// removing and moving rows) and the file-adding job (folder scan rules,
// duplicates, cancelling).
#include "app/FileListModel.h"
#include "app/FileSystemHelper.h"
#include "app/RecentItem.h"
#include "tst_app_support.h"

#include <QAbstractItemModelTester>
#include <QMimeData>
#include <QSignalSpy>

using namespace quillon;
using namespace quillon::apptest;

class TestFileList : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();

    void columns_data();
    void columns();
    void checkColumnEditsOnlyCheckMark();
    void sort_data();
    void sort();
    void sortTiesUseEarlierColumns();
    void sortKeepsSelectionOnItems();
    void removeRowsAnyOrder();
    void swapAndInvert();
    void moveRowsBy_data();
    void moveRowsBy();
    void dragOffersFileUrls();

    void scanRules_data();
    void scanRules();
    void filesAreTakenWithoutExtensionTest();
    void knownUrlsAreSkipped();
    void clearedFlagStopsTheJob();

    void recentItemStoredForm_data();
    void recentItemStoredForm();

private:
    FileItemPtr item(const QString &name) const;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFileList::initTestCase()
{
    // Name order counts digits as numbers only under a real locale.
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestFileList::init() { m_dir = std::make_unique<QTemporaryDir>(); }

FileItemPtr TestFileList::item(const QString &name) const
{
    const QString path = m_dir->filePath(name);
    if (!QFileInfo::exists(path))
        writeImage(path, "PNG");
    return FileItem::initWithURL(QUrl::fromLocalFile(path));
}

void TestFileList::columns_data()
{
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<int>("column");
    QTest::newRow("check") << QStringLiteral("isselected") << int(FileListModel::IsSelected);
    QTest::newRow("name") << QStringLiteral("name") << int(FileListModel::Name);
    QTest::newRow("pages") << QStringLiteral("pages") << int(FileListModel::Pages);
    QTest::newRow("selection") << QStringLiteral("selection") << int(FileListModel::Selection);
    QTest::newRow("size") << QStringLiteral("sizeInKB") << int(FileListModel::SizeInKB);
    QTest::newRow("size any case") << QStringLiteral("SIZEINKB") << int(FileListModel::SizeInKB);
    QTest::newRow("type") << QStringLiteral("type") << int(FileListModel::Type);
    QTest::newRow("modified") << QStringLiteral("dateModified") << int(FileListModel::DateModified);
    QTest::newRow("created") << QStringLiteral("dateCreated") << int(FileListModel::DateCreated);
    QTest::newRow("accessed") << QStringLiteral("dateAccessed") << int(FileListModel::DateAccessed);
    QTest::newRow("location") << QStringLiteral("location") << int(FileListModel::Location);
}

void TestFileList::columns()
{
    QFETCH(QString, identifier);
    QFETCH(int, column);
    QCOMPARE(FileListModel::columnFor(identifier), column);
    QList<FileItemPtr> files{item(QStringLiteral("a.png"))};
    FileListModel model(&files);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    // Each cell shows the item's field of that column; row -1 shows nothing.
    if (column != FileListModel::IsSelected)
        QCOMPARE(model.data(model.index(0, column)).toString(), files.first()->displayField(identifier).toString());
    QCOMPARE(model.cellText(-1, column), QString());
    const Qt::Alignment align = Qt::Alignment(model.data(model.index(0, column), Qt::TextAlignmentRole).toInt());
    QCOMPARE(bool(align & Qt::AlignRight), column == FileListModel::SizeInKB);
}

void TestFileList::checkColumnEditsOnlyCheckMark()
{
    QList<FileItemPtr> files{item(QStringLiteral("a.png"))};
    FileListModel model(&files);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy changed(&model, &FileListModel::checkMarksChanged);
    QVERIFY(model.flags(model.index(0, 0)) & Qt::ItemIsUserCheckable);
    QVERIFY(!(model.flags(model.index(0, 1)) & Qt::ItemIsUserCheckable));
    QVERIFY(model.setData(model.index(0, 0), Qt::Unchecked, Qt::CheckStateRole));
    QVERIFY(!files.first()->isSelected);
    QCOMPARE(changed.count(), 1);
    QVERIFY(!model.setData(model.index(0, 1), QStringLiteral("x.png"), Qt::EditRole));
    QCOMPARE(files.first()->name(), QStringLiteral("a.png"));
}

void TestFileList::sort_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("order");
    QTest::addColumn<QStringList>("expected");
    const QStringList natural{QStringLiteral("scan2.png"), QStringLiteral("Scan3.png"), QStringLiteral("scan10.png")};
    QTest::newRow("names as people count") << int(FileListModel::Name) << int(Qt::AscendingOrder) << natural;
    QTest::newRow("names descending") << int(FileListModel::Name) << int(Qt::DescendingOrder)
                                      << QStringList{natural.at(2), natural.at(1), natural.at(0)};
    // scan10 is the biggest file, scan3 the smallest (sizes set up below).
    QTest::newRow("size by value") << int(FileListModel::SizeInKB) << int(Qt::AscendingOrder)
                                   << QStringList{QStringLiteral("Scan3.png"), QStringLiteral("scan2.png"), QStringLiteral("scan10.png")};
    // Dates set below: modified scan10 2020, scan2 2015, Scan3 2010 (local
    // time, one of them across a change of daylight saving time); accessed
    // the other way round.
    QTest::newRow("modified date by instant") << int(FileListModel::DateModified) << int(Qt::AscendingOrder)
                                              << QStringList{QStringLiteral("Scan3.png"), QStringLiteral("scan2.png"), QStringLiteral("scan10.png")};
    QTest::newRow("accessed date descending") << int(FileListModel::DateAccessed) << int(Qt::DescendingOrder)
                                              << QStringList{QStringLiteral("Scan3.png"), QStringLiteral("scan2.png"), QStringLiteral("scan10.png")};
}

void TestFileList::sort()
{
    QFETCH(int, column);
    QFETCH(int, order);
    QFETCH(QStringList, expected);
    // Sizes differ by whole blocks so the allocated sizes differ too.
    writeImage(m_dir->filePath(QStringLiteral("scan10.png")), "BMP", Qt::red, QSize(200, 200));
    writeImage(m_dir->filePath(QStringLiteral("scan2.png")), "BMP", Qt::red, QSize(100, 100));
    writeImage(m_dir->filePath(QStringLiteral("Scan3.png")), "PNG", Qt::red, QSize(4, 4));
    const auto setDates = [this](const QString &name, const QDateTime &modified, const QDateTime &accessed) {
        QFile f(m_dir->filePath(name));
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(modified, QFileDevice::FileModificationTime));
        QVERIFY(f.setFileTime(accessed, QFileDevice::FileAccessTime));
    };
    QList<FileItemPtr> files{item(QStringLiteral("scan10.png")), item(QStringLiteral("Scan3.png")), item(QStringLiteral("scan2.png"))};
    // After the items are made: reading a file to count its pages moves its access date.
    setDates(QStringLiteral("scan10.png"), QDateTime(QDate(2020, 3, 29), QTime(2, 30)), QDateTime(QDate(2001, 1, 1), QTime(12, 0)));
    setDates(QStringLiteral("scan2.png"), QDateTime(QDate(2015, 6, 1), QTime(12, 0)), QDateTime(QDate(2006, 1, 1), QTime(12, 0)));
    setDates(QStringLiteral("Scan3.png"), QDateTime(QDate(2010, 10, 31), QTime(2, 30)), QDateTime(QDate(2011, 1, 1), QTime(12, 0)));
    FileListModel model(&files);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.sort(column, Qt::SortOrder(order));
    QStringList names;
    for (const FileItemPtr &f : files)
        names << f->name();
    // The list itself is in the new order: it is the conversion order.
    QCOMPARE(names, expected);
    QCOMPARE(model.data(model.index(0, FileListModel::Name)).toString(), expected.first());
}

void TestFileList::sortTiesUseEarlierColumns()
{
    writeImage(m_dir->filePath(QStringLiteral("b.png")), "PNG");
    writeImage(m_dir->filePath(QStringLiteral("a.gif")), "GIF");
    writeImage(m_dir->filePath(QStringLiteral("c.png")), "PNG");
    QList<FileItemPtr> files{item(QStringLiteral("c.png")), item(QStringLiteral("a.gif")), item(QStringLiteral("b.png"))};
    FileListModel model(&files);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.sort(FileListModel::Name, Qt::DescendingOrder);
    model.sort(FileListModel::Type, Qt::AscendingOrder);
    // By type first; the two PNGs keep the earlier (descending name) order.
    QStringList names;
    for (const FileItemPtr &f : files)
        names << f->name();
    QCOMPARE(names, (QStringList{QStringLiteral("a.gif"), QStringLiteral("c.png"), QStringLiteral("b.png")}));
    QCOMPARE(model.sortDescriptors().size(), 2);
    QCOMPARE(model.sortDescriptors().first().column, int(FileListModel::Type));
    // Choosing a column again moves it to the front rather than adding it twice.
    model.sort(FileListModel::Name, Qt::AscendingOrder);
    QCOMPARE(model.sortDescriptors().size(), 2);
    QCOMPARE(files.first()->name(), QStringLiteral("a.gif"));
    QCOMPARE(files.last()->name(), QStringLiteral("c.png"));
}

void TestFileList::sortKeepsSelectionOnItems()
{
    QList<FileItemPtr> files{item(QStringLiteral("c.png")), item(QStringLiteral("a.png")), item(QStringLiteral("b.png"))};
    FileListModel model(&files);
    QPersistentModelIndex onA(model.index(1, FileListModel::Name));
    model.sort(FileListModel::Name);
    QCOMPARE(onA.row(), 0);
    QCOMPARE(onA.data().toString(), QStringLiteral("a.png"));
}

void TestFileList::removeRowsAnyOrder()
{
    QList<FileItemPtr> files;
    for (int i = 0; i < 8; ++i)
        files << item(QStringLiteral("f%1.png").arg(i));
    FileListModel model(&files);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.removeRowsAt({6, 1, 2, 6, 7, 42, -1});
    QStringList names;
    for (const FileItemPtr &f : files)
        names << f->name();
    QCOMPARE(names, (QStringList{QStringLiteral("f0.png"), QStringLiteral("f3.png"), QStringLiteral("f4.png"), QStringLiteral("f5.png")}));
    QCOMPARE(model.rowCount(), 4);
}

void TestFileList::swapAndInvert()
{
    QList<FileItemPtr> files{item(QStringLiteral("a.png")), item(QStringLiteral("b.png")), item(QStringLiteral("c.png"))};
    FileListModel model(&files);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    model.swapAdjacentRows(1);
    QCOMPARE(files.at(1)->name(), QStringLiteral("c.png"));
    QCOMPARE(files.at(2)->name(), QStringLiteral("b.png"));
    model.swapAdjacentRows(2); // no row below: nothing happens
    QCOMPARE(files.at(2)->name(), QStringLiteral("b.png"));
    files.at(0)->isSelected = false;
    QSignalSpy changed(&model, &FileListModel::checkMarksChanged);
    QCOMPARE(model.invertCheckMarks({0, 2, 9}), 2);
    QVERIFY(files.at(0)->isSelected);
    QVERIFY(files.at(1)->isSelected);
    QVERIFY(!files.at(2)->isSelected);
    QCOMPARE(changed.count(), 1);
}

void TestFileList::moveRowsBy_data()
{
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<int>("step");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QList<int>>("moved");
    // Six rows a..f.
    QTest::newRow("scattered up") << QList<int>{1, 3, 4} << -1 << "badecf" << QList<int>{0, 2, 3};
    QTest::newRow("a block down") << QList<int>{1, 2} << 1 << "adbcef" << QList<int>{2, 3};
    QTest::newRow("first row can't go up") << QList<int>{0, 2} << -1 << "abcdef" << QList<int>{};
    QTest::newRow("last row can't go down") << QList<int>{3, 5} << 1 << "abcdef" << QList<int>{};
    QTest::newRow("every other row down") << QList<int>{0, 2, 4} << 1 << "badcfe" << QList<int>{1, 3, 5};
    QTest::newRow("nothing selected") << QList<int>{} << 1 << "abcdef" << QList<int>{};
}

void TestFileList::moveRowsBy()
{
    QFETCH(QList<int>, rows);
    QFETCH(int, step);
    QFETCH(QString, order);
    QFETCH(QList<int>, moved);
    QList<FileItemPtr> files;
    for (char c = 'a'; c <= 'f'; ++c)
        files << item(QStringLiteral("%1.png").arg(QLatin1Char(c)));
    FileListModel model(&files);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    // The selection rides along with its items.
    QItemSelectionModel selection(&model);
    for (int r : rows)
        selection.select(model.index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QSignalSpy layouts(&model, &QAbstractItemModel::layoutChanged);
    QCOMPARE(model.moveRowsBy(rows, step), moved);
    QCOMPARE(layouts.count(), moved.isEmpty() ? 0 : 1);
    QString now;
    for (const FileItemPtr &f : files)
        now += f->name().at(0);
    QCOMPARE(now, order);
    for (int r : moved)
        QVERIFY(selection.isRowSelected(r));
}

void TestFileList::dragOffersFileUrls()
{
    QList<FileItemPtr> files{item(QStringLiteral("a.png")), item(QStringLiteral("b.png"))};
    FileListModel model(&files);
    std::unique_ptr<QMimeData> mime(model.mimeData({model.index(1, 0), model.index(1, 3), model.index(0, 1)}));
    QCOMPARE(mime->urls(), (QList<QUrl>{files.at(0)->filePath(), files.at(1)->filePath()}));
    QVERIFY(model.supportedDragActions() & Qt::LinkAction);
}

void TestFileList::scanRules_data()
{
    QTest::addColumn<bool>("subfolders");
    QTest::addColumn<QStringList>("expected");
    // photo.JPG and photo.jpg count, scan.Tif (mixed case) and notes.txt don't,
    // nor hidden files; sub/ only with subfolders.
    QTest::newRow("own files only") << false << QStringList{QStringLiteral("photo.JPG"), QStringLiteral("photo.jpg")};
    QTest::newRow("with subfolders") << true
                                     << QStringList{QStringLiteral("inner.png"), QStringLiteral("photo.JPG"), QStringLiteral("photo.jpg")};
}

void TestFileList::scanRules()
{
    QFETCH(bool, subfolders);
    QFETCH(QStringList, expected);
    const QString folder = m_dir->filePath(QStringLiteral("pics"));
    QVERIFY(writeImage(folder + QStringLiteral("/photo.JPG"), "JPG"));
    QVERIFY(writeImage(folder + QStringLiteral("/photo.jpg"), "JPG"));
    QVERIFY(writeImage(folder + QStringLiteral("/scan.Tif"), "TIFF"));
    QVERIFY(writeImage(folder + QStringLiteral("/.hidden.png"), "PNG"));
    QVERIFY(writeImage(folder + QStringLiteral("/.secret/deep.png"), "PNG"));
    QVERIFY(writeImage(folder + QStringLiteral("/sub/inner.png"), "PNG"));
    QVERIFY(testing::writeBytes(folder + QStringLiteral("/notes.txt"), QByteArrayLiteral("text")));

    std::atomic<bool> running{true};
    FileSystemHelper job(&running, {});
    job.loadURLs(Arguments{{QUrl::fromLocalFile(folder)}, true, subfolders});
    QStringList names;
    for (const FileItemPtr &f : job.takeItems())
        names << f->name();
    std::sort(names.begin(), names.end());
    QCOMPARE(names, expected);
}

void TestFileList::filesAreTakenWithoutExtensionTest()
{
    // A chosen file is taken as it is; a mixed-case extension is only refused by the folder scan.
    const QString file = m_dir->filePath(QStringLiteral("scan.Tif"));
    QVERIFY(writeImage(file, "TIFF"));
    std::atomic<bool> running{true};
    FileSystemHelper asFiles(&running, {});
    QVERIFY(asFiles.addFilesToList({QUrl::fromLocalFile(file)}));
    FileSystemHelper asFolders(&running, {});
    QVERIFY(!asFolders.addFolderToList({QUrl::fromLocalFile(file)}, true));
}

void TestFileList::knownUrlsAreSkipped()
{
    const QString a = m_dir->filePath(QStringLiteral("a.png"));
    const QString b = m_dir->filePath(QStringLiteral("b.png"));
    QVERIFY(writeImage(a, "PNG"));
    QVERIFY(writeImage(b, "PNG"));
    const FileItemPtr existing = FileItem::initWithURL(QUrl::fromLocalFile(a));
    std::atomic<bool> running{true};
    FileSystemHelper job(&running, {existing->filePath().toString()});
    // b twice in one job, a already in the list.
    job.loadURLs(Arguments{{QUrl::fromLocalFile(a), QUrl::fromLocalFile(b), QUrl::fromLocalFile(b)}, false, false});
    const QList<FileItemPtr> made = job.takeItems();
    QCOMPARE(made.size(), 1);
    QCOMPARE(made.first()->name(), QStringLiteral("b.png"));
    QCOMPARE(FileSystemHelper::urlKey(QUrl::fromLocalFile(b)), made.first()->filePath().toString());
}

void TestFileList::clearedFlagStopsTheJob()
{
    for (int i = 0; i < 5; ++i)
        QVERIFY(writeImage(m_dir->filePath(QStringLiteral("f%1.png").arg(i)), "PNG"));
    std::atomic<bool> running{false};
    FileSystemHelper job(&running, {});
    QVERIFY(!job.addFolderToList({QUrl::fromLocalFile(m_dir->path())}, false));
    QVERIFY(!job.addFilesToList({QUrl::fromLocalFile(m_dir->filePath(QStringLiteral("f0.png")))}));
    QCOMPARE(job.itemCount(), 0);
}

void TestFileList::recentItemStoredForm_data()
{
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<bool>("taken");
    const QDateTime when(QDate(2024, 3, 9), QTime(10, 30));
    QTest::newRow("dictionary") << QVariant(QVariantMap{{QStringLiteral("itemPath"), QStringLiteral("/data/scans")},
                                                        {QStringLiteral("lastUsedDate"), when}})
                                << true;
    QTest::newRow("nothing") << QVariant() << false;
    QTest::newRow("not a dictionary") << QVariant(42) << false;
}

void TestFileList::recentItemStoredForm()
{
    QFETCH(QVariant, stored);
    QFETCH(bool, taken);
    RecentItem item(QStringLiteral("/old"));
    const QDateTime before = item.lastUsedDate;
    item.setData(stored);
    if (taken) {
        QCOMPARE(item.itemPath, QStringLiteral("/data/scans"));
        QCOMPARE(item.lastUsedDate, QDateTime(QDate(2024, 3, 9), QTime(10, 30)));
        // The stored form gives the same item back.
        RecentItem again;
        again.setData(item.getData());
        QVERIFY(again.isEqual(item));
        QCOMPARE(again.lastUsedDate, item.lastUsedDate);
    } else {
        QCOMPARE(item.itemPath, QStringLiteral("/old"));
        QCOMPARE(item.lastUsedDate, before);
    }
    QVERIFY(item.isEqual(item.itemPath));
    QVERIFY(!item.isEqual(item.itemPath.toUpper() + QStringLiteral("X")));
}

QTEST_MAIN(TestFileList)
#include "tst_app_filelist.moc"
