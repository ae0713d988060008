#include "core/OutputPlan.h"
#include "core/Settings.h"

#include <QMap>
#include <QSet>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace quillon;

class TestPlan : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void modes_data();
    void modes();
    void uncheckedNeverTakePart();
    void modeNames();
    void shards_data();
    void shards();
    void mirroredNames_data();
    void mirroredNames();

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

namespace {
// "name:first source,second source..." per output file, the plan's order.
QStringList describe(const OutputPlan &plan)
{
    QStringList out;
    for (const OutputFile &o : plan.outputFiles) {
        QStringList names;
        for (const FileItemPtr &f : o.fileItems)
            names << f->name();
        out << o.filename + QLatin1Char(':') + names.join(QLatin1Char(','));
    }
    return out;
}
} // namespace

void TestPlan::shards_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("count");
    for (int n : {1, 2, 3, 7, 64}) {
        QTest::addRow("single in %d", n) << 0 << 2 << n;
        QTest::addRow("groups of 3 in %d", n) << 2 << 3 << n;
        QTest::addRow("combined in %d", n) << 1 << 2 << n;
    }
}

// The parts of a batch are exactly the whole plan, each output file with all
// its sources in exactly one part, and no part changes when the list is
// re-ordered or grows: machines that each plan the list alone agree.
void TestPlan::shards()
{
    QFETCH(int, mode);
    QFETCH(int, group);
    QFETCH(int, count);
    Settings s(m_store.get());
    s.setCombineOptionIndex(mode);
    s.setGroupMultiPageTIFFCount(group);
    s.setSingleMultiPageTIFFName(QStringLiteral("All"));
    s.setGroupMultiPageTIFFName(QStringLiteral("G"));
    QStringList names;
    for (int i = 1; i <= 40; ++i)
        names << QStringLiteral("scan%1.png").arg(i);
    // Names the quick shard test of a list line must read as the plan does.
    names << QStringLiteral("Grüße 3.PNG") << QStringLiteral("写真.jpg") << QStringLiteral("no extension")
          << QStringLiteral(".hidden.png") << QStringLiteral("two.dots.jpg");
    const QList<FileItemPtr> list = items(names);
    const QStringList whole = describe(planOutputFiles(list, s, QStringLiteral("/out")));

    QStringList joined;
    QMap<QString, int> owner;
    int selected = 0;
    for (int k = 1; k <= count; ++k) {
        const OutputPlan part = planOutputFiles(list, s, QStringLiteral("/out"), PlanScope{QString(), k, count});
        selected += part.totalFileSelected;
        for (const QString &unit : describe(part)) {
            QVERIFY2(!owner.contains(unit), qPrintable(unit));
            owner.insert(unit, k);
            joined << unit;
        }
    }
    QCOMPARE(selected, int(list.size()));
    // A list reader asks keeps() before it makes an item: it must turn down
    // exactly the single images another part makes, and nothing else.
    for (int k = 1; k <= count; ++k) {
        OutputPlanner planner(s, QStringLiteral("/out"), PlanScope{QString(), k, count});
        QSet<QString> kept;
        for (const FileItemPtr &f : list) {
            if (planner.keeps(f->path()))
                kept.insert(f->name());
        }
        for (const FileItemPtr &f : list)
            planner.add(f);
        QSet<QString> planned;
        for (const OutputFile &o : planner.finish().outputFiles)
            for (const FileItemPtr &f : o.fileItems)
                planned.insert(f->name());
        QCOMPARE(kept, mode == 0 ? planned : QSet<QString>(names.cbegin(), names.cend()));
    }
    QStringList sortedWhole = whole;
    sortedWhole.sort();
    joined.sort();
    QCOMPARE(joined, sortedWhole);
    if (count >= 7 && mode != 1)
        QVERIFY2(QSet<int>(owner.cbegin(), owner.cend()).size() > 1, "every file landed in one part");

    // Single images: any order of the list, any later addition, the same owner.
    if (mode == 0) {
        QList<FileItemPtr> grown = list;
        std::reverse(grown.begin(), grown.end());
        grown += items({QStringLiteral("late1.png"), QStringLiteral("late2.png")});
        for (int k = 1; k <= count; ++k) {
            for (const QString &unit : describe(planOutputFiles(grown, s, QStringLiteral("/out"), PlanScope{QString(), k, count}))) {
                if (owner.contains(unit))
                    QCOMPARE(owner.value(unit), k);
            }
        }
    }
    // Groups are numbered by list place: appending leaves earlier full groups where they were.
    if (mode == 2) {
        const QList<FileItemPtr> grown = list.mid(0, 39) + items({QStringLiteral("scan40.png"), QStringLiteral("late.png")});
        for (int k = 1; k <= count; ++k)
            for (const QString &unit : describe(planOutputFiles(grown, s, QStringLiteral("/out"), PlanScope{QString(), k, count})))
                if (owner.contains(unit))
                    QCOMPARE(owner.value(unit), k);
    }
}

void TestPlan::mirroredNames_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("root");
    QTest::addColumn<QStringList>("sources");
    QTest::addColumn<QStringList>("expected"); // output, or "refused:" output
    QTest::newRow("nested folders")
        << 0 << QStringLiteral("/scans")
        << QStringList{QStringLiteral("/scans/a.jpg"), QStringLiteral("/scans/box1/b.png"), QStringLiteral("/scans/box1/f/c.gif")}
        << QStringList{QStringLiteral("/out/a.tiff"), QStringLiteral("/out/box1/b.tiff"), QStringLiteral("/out/box1/f/c.tiff")};
    QTest::newRow("names that clash flat")
        << 0 << QStringLiteral("/scans/")
        << QStringList{QStringLiteral("/scans/box1/0001.jpg"), QStringLiteral("/scans/box2/0001.jpg")}
        << QStringList{QStringLiteral("/out/box1/0001.tiff"), QStringLiteral("/out/box2/0001.tiff")};
    QTest::newRow("outside the root, and a prefix that is no folder")
        << 0 << QStringLiteral("/scans")
        << QStringList{QStringLiteral("/elsewhere/x.png"), QStringLiteral("/scans2/y.png"), QStringLiteral("/scans/z.png")}
        << QStringList{QStringLiteral("refused:/out/x.tiff"), QStringLiteral("refused:/out/y.tiff"), QStringLiteral("/out/z.tiff")};
    QTest::newRow("dot-dot leaves the root")
        << 0 << QStringLiteral("/scans/box1")
        << QStringList{QStringLiteral("/scans/box1/../box2/a.png"), QStringLiteral("/scans/box1/./sub/b.png")}
        << QStringList{QStringLiteral("refused:/out/a.tiff"), QStringLiteral("/out/sub/b.tiff")};
    QTest::newRow("root of the file system")
        << 0 << QStringLiteral("/") << QStringList{QStringLiteral("/scans/box1/a.png")}
        << QStringList{QStringLiteral("/out/scans/box1/a.tiff")};
    QTest::newRow("combined keeps its name")
        << 1 << QStringLiteral("/scans") << QStringList{QStringLiteral("/scans/box1/a.png"), QStringLiteral("/other/b.png")}
        << QStringList{QStringLiteral("/out/All.tiff")};
    QTest::newRow("groups keep their names")
        << 2 << QStringLiteral("/scans") << QStringList{QStringLiteral("/scans/box1/a.png"), QStringLiteral("/other/b.png")}
        << QStringList{QStringLiteral("/out/G1.tiff")};
}

void TestPlan::mirroredNames()
{
    QFETCH(int, mode);
    QFETCH(QString, root);
    QFETCH(QStringList, sources);
    QFETCH(QStringList, expected);
    Settings s(m_store.get());
    s.setCombineOptionIndex(mode);
    s.setGroupMultiPageTIFFCount(2);
    s.setSingleMultiPageTIFFName(QStringLiteral("All"));
    s.setGroupMultiPageTIFFName(QStringLiteral("G"));
    QList<FileItemPtr> list;
    for (const QString &path : sources)
        list << FileItem::deferred(path);
    PlanScope scope;
    scope.mirrorRoot = root;
    const OutputPlan plan = planOutputFiles(list, s, QStringLiteral("/out"), scope);
    QStringList got;
    for (const OutputFile &o : plan.outputFiles) {
        QVERIFY(o.refusal.isEmpty() || o.refusal == kOutsideMirrorRoot);
        got << (o.refusal.isEmpty() ? QString() : QStringLiteral("refused:")) + o.filename;
    }
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(TestPlan)
#include "tst_plan.moc"
