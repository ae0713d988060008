#include "core/FileItem.h"
#include "core/OutputPlan.h"
#include "core/SelectionRange.h"

#include <QTest>

using namespace quillon;

class TestSelection : public QObject {
    Q_OBJECT
private slots:
    void description_data();
    void description();
    void equality();
    void copyIsIndependent();
    void parseAndSetRange_data();
    void parseAndSetRange();
    void pageList_data();
    void pageList();
    void absentItemGivesNothing();
};

static SelectionRange make(int type, const QString &range = {}, int steps = 1, int reversed = 1)
{
    SelectionRange s;
    s.pageRangeType = type;
    s.pageRange = range;
    s.pageSteps = steps;
    s.pageStepsReversed = reversed;
    return s;
}

void TestSelection::description_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("range");
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("reversed");
    QTest::addColumn<QString>("expected");
    QTest::newRow("default") << 0 << QString() << 1 << 1 << QStringLiteral("All Page(s)");
    QTest::newRow("ranges") << 1 << QStringLiteral("1-3,7-5") << 1 << 1 << QStringLiteral("By Range(s)(1-3,7-5)");
    QTest::newRow("ranges keep ill-formed text") << 1 << QStringLiteral("2,4-6,1-2-3") << 1 << 1 << QStringLiteral("By Range(s)(2,4-6,1-2-3)");
    QTest::newRow("steps") << 2 << QString() << 3 << 1 << QStringLiteral("By Steps 3 every nth page.");
    QTest::newRow("reversed") << 3 << QString() << 1 << 2 << QStringLiteral("By Reversed Steps 2 every nth page.");
    QTest::newRow("unknown type") << 9 << QStringLiteral("1-2") << 4 << 4 << QStringLiteral("All Page(s)");
}

void TestSelection::description()
{
    QFETCH(int, type);
    QFETCH(QString, range);
    QFETCH(int, steps);
    QFETCH(int, reversed);
    QFETCH(QString, expected);
    QCOMPARE(make(type, range, steps, reversed).description(), expected);
}

void TestSelection::equality()
{
    QVERIFY(SelectionRange() == SelectionRange());
    QVERIFY(make(2, QStringLiteral("1-2"), 2) == make(2, QStringLiteral("9-9"), 2));
    QVERIFY(!(make(2, {}, 2) == make(2, {}, 3)));
    QVERIFY(make(3, {}, 5, 2) == make(3, {}, 7, 2));
    QVERIFY(!(make(1, QStringLiteral("1-3,5-6")) == make(1, QStringLiteral("1-3, 5-6"))));
    QVERIFY(make(1, QStringLiteral("1-3")) == make(1, QStringLiteral("1-3")));
    QVERIFY(!(make(0) == make(1)));
    const SelectionRange odd = make(7);
    QVERIFY(odd == odd);
    QVERIFY(!(make(7) == make(7)));
}

void TestSelection::copyIsIndependent()
{
    SelectionRange a = make(1, QStringLiteral("1-3"));
    SelectionRange b = a;
    QVERIFY(a == b);
    b.pageRange.append(QStringLiteral(",5-6"));
    QCOMPARE(a.pageRange, QStringLiteral("1-3"));
}

void TestSelection::parseAndSetRange_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("pairs");
    QTest::addColumn<QString>("rebuilt");
    QTest::newRow("two") << QStringLiteral("1-3,7-5") << QStringList{QStringLiteral("1"), QStringLiteral("3"), QStringLiteral("7"), QStringLiteral("5")} << QStringLiteral("1-3,7-5");
    QTest::newRow("ill-formed skipped") << QStringLiteral("2,4-6,1-2-3") << QStringList{QStringLiteral("4"), QStringLiteral("6")} << QStringLiteral("4-6");
    QTest::newRow("blanks kept") << QStringLiteral(" 1- 2") << QStringList{QStringLiteral(" 1"), QStringLiteral(" 2")} << QStringLiteral(" 1- 2");
    QTest::newRow("empty") << QString() << QStringList{} << QString();
}

void TestSelection::parseAndSetRange()
{
    QFETCH(QString, text);
    QFETCH(QStringList, pairs);
    QFETCH(QString, rebuilt);
    SelectionRange s = make(1, text);
    const QList<RangePair> parsed = s.parseRange();
    QCOMPARE(parsed.size() * 2, pairs.size());
    for (qsizetype i = 0; i < parsed.size(); ++i) {
        QCOMPARE(parsed.at(i).start, pairs.at(2 * i));
        QCOMPARE(parsed.at(i).end, pairs.at(2 * i + 1));
    }
    s.setRange(parsed);
    QCOMPARE(s.pageRange, rebuilt);
    const auto dicts = SelectionRange::toDictionaries(parsed);
    QCOMPARE(dicts.size(), parsed.size());
    if (!dicts.isEmpty())
        QCOMPARE(dicts.first().value(QStringLiteral("start")), parsed.first().start);
}

void TestSelection::pageList_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("range");
    QTest::addColumn<int>("step");
    QTest::addColumn<int>("pages");
    QTest::addColumn<QList<int>>("expected");
    QTest::newRow("all") << 0 << QString() << 1 << 4 << QList<int>{1, 2, 3, 4};
    QTest::newRow("overlapping ranges") << 1 << QStringLiteral("2-4,3-6") << 1 << 10 << QList<int>{2, 3, 4, 5, 6};
    QTest::newRow("range past end") << 1 << QStringLiteral("8-12") << 1 << 10 << QList<int>{8, 9, 10};
    QTest::newRow("descending") << 1 << QStringLiteral("6-3") << 1 << 10 << QList<int>{6, 5, 4, 3};
    QTest::newRow("descending from past end") << 1 << QStringLiteral("12-9") << 1 << 10 << QList<int>{10, 9};
    QTest::newRow("single number and zero skipped") << 1 << QStringLiteral("5,0-3,3-3") << 1 << 10 << QList<int>{3};
    QTest::newRow("blanks and junk read leniently") << 1 << QStringLiteral(" 2x- 3y") << 1 << 10 << QList<int>{2, 3};
    QTest::newRow("first place kept") << 1 << QStringLiteral("5-6,1-6") << 1 << 10 << QList<int>{5, 6, 1, 2, 3, 4};
    QTest::newRow("steps") << 2 << QString() << 3 << 10 << QList<int>{3, 6, 9};
    QTest::newRow("steps larger than count") << 2 << QString() << 11 << 10 << QList<int>{};
    QTest::newRow("reversed steps") << 3 << QString() << 3 << 10 << QList<int>{8, 5, 2};
    QTest::newRow("reversed steps one") << 3 << QString() << 1 << 4 << QList<int>{4, 3, 2, 1};
    QTest::newRow("step zero ends") << 2 << QString() << 0 << 10 << QList<int>{};
    QTest::newRow("negative reversed step ends") << 3 << QString() << -2 << 10 << QList<int>{};
    QTest::newRow("unknown type") << 5 << QString() << 1 << 10 << QList<int>{};
}

void TestSelection::pageList()
{
    QFETCH(int, type);
    QFETCH(QString, range);
    QFETCH(int, step);
    QFETCH(int, pages);
    QFETCH(QList<int>, expected);
    QCOMPARE(pageListFor(make(type, range, step, step), pages), expected);
}

void TestSelection::absentItemGivesNothing()
{
    QVERIFY(getPageRanges(nullptr).isEmpty());
}

QTEST_GUILESS_MAIN(TestSelection)
#include "tst_selection.moc"
