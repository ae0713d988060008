#include "core/OutputPlan.h"
#include "core/Settings.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace quillon;

class TestPlan : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void modes_data();
    void modes();
    void uncheckedNeverTakePart();
    void modeNames();

private:
    QList<FileItemPtr> items(const QStringList &names, const QList<int> &unchecked = {});
    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_store;
};

void TestPlan::initTestCase()
{
    m_store = std::make_unique<QSettings>(m_dir.filePath(QStringLiteral("d.conf")), QSettings::IniFormat);
}

QList<FileItemPtr> TestPlan::items(const QStringList &names, const QList<int> &unchecked)
{
    QList<FileItemPtr> out;
    for (const QString &n : names)
        out.append(FileItem::initWithURL(QUrl::fromLocalFile(QStringLiteral("/src/") + n)));
    for (int i : unchecked)
        out[i]->isSelected = false;
    return out;
}

void TestPlan::modes_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<int>("group");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QStringList>("expected"); // "name:count"
    QTest::newRow("single renames extension")
        << 0 << QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.TIF"), QStringLiteral("c.tiff"), QStringLiteral("noext"), QStringLiteral("x.tar.png")}
        << 2 << QStringLiteral("/out")
        << QStringList{QStringLiteral("/out/a.tiff:1"), QStringLiteral("/out/b.tiff:1"), QStringLiteral("/out/c.tiff:1"), QStringLiteral("/out/noext.tiff:1"), QStringLiteral("/out/x.tar.tiff:1")};
    QTest::newRow("single same name twice")
        << 0 << QStringList{QStringLiteral("photo.jpg"), QStringLiteral("photo.png")} << 2 << QStringLiteral("/out/")
        << QStringList{QStringLiteral("/out/photo.tiff:1"), QStringLiteral("/out/photo.tiff:1")};
    QTest::newRow("combine all") << 1 << QStringList{QStringLiteral("a.jpg"), QStringLiteral("b.png"), QStringLiteral("c.gif")} << 2 << QStringLiteral("/out")
                                 << QStringList{QStringLiteral("/out/Name.tiff:3")};
    QTest::newRow("combine none checked") << 1 << QStringList{} << 2 << QStringLiteral("/out") << QStringList{QStringLiteral("/out/Name.tiff:0")};
    QStringList seven;
    for (int i = 1; i <= 7; ++i)
        seven << QStringLiteral("p%1.png").arg(i);
    QTest::newRow("groups of three") << 2 << seven << 3 << QStringLiteral("/out")
                                     << QStringList{QStringLiteral("/out/Name1.tiff:3"), QStringLiteral("/out/Name2.tiff:3"), QStringLiteral("/out/Name3.tiff:1")};
    QStringList twelve;
    QStringList twelveOut;
    for (int i = 1; i <= 12; ++i) {
        twelve << QStringLiteral("p%1.png").arg(i);
        twelveOut << QStringLiteral("/out/Name%1.tiff:1").arg(i);
    }
    QTest::newRow("group numbers plain") << 2 << twelve << 1 << QStringLiteral("/out") << twelveOut;
    QTest::newRow("groups of nothing") << 2 << QStringList{} << 2 << QStringLiteral("/out") << QStringList{};
    QTest::newRow("unknown mode") << 5 << seven << 2 << QStringLiteral("/out") << QStringList{};
}

void TestPlan::modes()
{
    QFETCH(int, mode);
    QFETCH(QStringList, sources);
    QFETCH(int, group);
    QFETCH(QString, folder);
    QFETCH(QStringList, expected);
    Settings s(m_store.get());
    s.setCombineOptionIndex(mode);
    s.setGroupMultiPageTIFFCount(group);
    s.setSingleMultiPageTIFFName(QStringLiteral("Name"));
    s.setGroupMultiPageTIFFName(QStringLiteral("Name"));
    const QList<FileItemPtr> list = items(sources);
    const OutputPlan plan = planOutputFiles(list, s, folder);
    QStringList got;
    for (const OutputFile &o : plan.outputFiles)
        got << QStringLiteral("%1:%2").arg(o.filename).arg(o.fileItems.size());
    QCOMPARE(got, expected);
    QCOMPARE(plan.totalFileSelected, mode >= 0 && mode <= 2 ? sources.size() : 1);
    // Sources keep list order across output files.
    QList<FileItemPtr> flattened;
    for (const OutputFile &o : plan.outputFiles)
        flattened += o.fileItems;
    if (mode == 1 || mode == 2)
        QCOMPARE(flattened, list);
}

void TestPlan::uncheckedNeverTakePart()
{
    Settings s(m_store.get());
    s.setCombineOptionIndex(2);
    s.setGroupMultiPageTIFFCount(2);
    s.setGroupMultiPageTIFFName(QStringLiteral("G"));
    const auto list = items({QStringLiteral("1.png"), QStringLiteral("2.png"), QStringLiteral("3.png"), QStringLiteral("4.png")}, {0, 2});
    const OutputPlan plan = planOutputFiles(list, s, QStringLiteral("/o"));
    QCOMPARE(plan.totalFileSelected, 2);
    QCOMPARE(plan.outputFiles.size(), 1);
    QCOMPARE(plan.outputFiles.first().fileItems, (QList<FileItemPtr>{list[1], list[3]}));
}

void TestPlan::modeNames()
{
    QCOMPARE(combineModeName(0), QStringLiteral("Single image to single TIFF"));
    QCOMPARE(combineModeName(1), QStringLiteral("Multiple images to single multi-Page TIFF"));
    QCOMPARE(combineModeName(2), QStringLiteral("Group of multiple images to multi-page TIFF in group"));
    QCOMPARE(combineModeName(3), QString());
}

QTEST_GUILESS_MAIN(TestPlan)
#include "tst_plan.moc"
