#include "core/AppFolders.h"
#include "core/Log.h"
#include "core/SystemLog.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <libxml/parser.h>
#include <libxml/tree.h>

using namespace quillon;

class TestLog : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void documentStructure();
    void escapingRoundTrips_data();
    void escapingRoundTrips();
    void namesAndDates();
    void missingLogsFolder();
    void sameSecondKeepsEveryLog();
    void supportFolders();
    void appTitle();
};

void TestLog::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

static QStringList attributeNames(xmlNode *n)
{
    QStringList names;
    for (xmlAttr *a = n->properties; a; a = a->next)
        names << QString::fromUtf8(reinterpret_cast<const char *>(a->name));
    return names;
}

static QString attr(xmlNode *n, const char *name)
{
    xmlChar *v = xmlGetProp(n, reinterpret_cast<const xmlChar *>(name));
    const QString s = QString::fromUtf8(reinterpret_cast<const char *>(v));
    xmlFree(v);
    return s;
}

static QList<xmlNode *> elements(xmlNode *parent)
{
    QList<xmlNode *> out;
    for (xmlNode *c = parent->children; c; c = c->next)
        if (c->type == XML_ELEMENT_NODE)
            out << c;
    return out;
}

void TestLog::documentStructure()
{
    Log log;
    auto f1 = std::make_shared<LogFiles>();
    f1->filename = QStringLiteral("a.tiff");
    f1->targetPath = QStringLiteral("/out");
    f1->status = QStringLiteral("Completed");
    f1->pages = 2;
    for (int i = 1; i <= 2; ++i) {
        auto p = std::make_shared<LogFile>();
        p->sourceFile = QStringLiteral("/src/a.tif");
        p->sourcePageNo = i;
        p->targetPageNo = i == 2 ? 0 : 1;
        p->status = i == 2 ? QStringLiteral("Unable to load page!") : QStringLiteral("Completed");
        f1->logFiles << p;
    }
    auto f2 = std::make_shared<LogFiles>();
    f2->filename = QStringLiteral("b.tiff");
    f2->status = QStringLiteral("No Pages!");
    log.files << f1 << f2;

    const QByteArray xml = log.toXml();
    QVERIFY(xml.contains("\n  <Files")); // pretty-printed
    xmlDoc *doc = xmlReadMemory(xml.constData(), int(xml.size()), nullptr, "UTF-8", 0);
    QVERIFY(doc);
    xmlNode *root = xmlDocGetRootElement(doc);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(root->name)), QByteArray("Log"));
    QCOMPARE(attributeNames(root), (QStringList{QStringLiteral("StartTime"), QStringLiteral("EndTime")}));
    const auto files = elements(root);
    QCOMPARE(files.size(), 2);
    QCOMPARE(attributeNames(files[0]), (QStringList{QStringLiteral("FileName"), QStringLiteral("TargetPath"), QStringLiteral("Status"), QStringLiteral("Pages")}));
    QCOMPARE(attr(files[0], "Pages"), QStringLiteral("2"));
    const auto pages = elements(files[0]);
    QCOMPARE(pages.size(), 2);
    QCOMPARE(attributeNames(pages[0]), (QStringList{QStringLiteral("SourceImageFile"), QStringLiteral("SourcePageNo"), QStringLiteral("PageNo"), QStringLiteral("Status")}));
    QCOMPARE(attr(pages[1], "PageNo"), QStringLiteral("0"));
    QCOMPARE(attr(pages[1], "Status"), QStringLiteral("Unable to load page!"));
    QVERIFY(elements(files[1]).isEmpty());
    xmlFreeDoc(doc);

    Log empty;
    const QByteArray bare = empty.toXml();
    QVERIFY(bare.contains("<Log StartTime="));
    QVERIFY(bare.contains("/>"));
}

void TestLog::escapingRoundTrips_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("readBack");
    const QString special = QStringLiteral("R&D <draft> \"q\" \u00e9 \U0001F600.tiff");
    QTest::newRow("characters special to XML") << special << special;
    QTest::newRow("tab and line ends") << QStringLiteral("a\tb\nc\rd.png") << QStringLiteral("a\tb\nc\rd.png");
    // Names XML 1.0 cannot carry come back with their characters made visible.
    QTest::newRow("control character") << QStringLiteral("scan\x01\x1f.png") << QStringLiteral("scan\u2401\u241f.png");
    QTest::newRow("escape character") << QStringLiteral("\x1b[31mred.png") << QStringLiteral("\u241b[31mred.png");
    QTest::newRow("non-character") << QStringLiteral("x\uffff.png") << QStringLiteral("x\ufffd.png");
    QTest::newRow("lone surrogate") << QString(QStringLiteral("y")) + QChar(0xD800) + QStringLiteral(".png")
                                    << QStringLiteral("y\ufffd.png");
}

// Whatever a name holds, the saved log parses (strictly) and gives it back.
void TestLog::escapingRoundTrips()
{
    QFETCH(QString, name);
    QFETCH(QString, readBack);
    QTemporaryDir dir;
    Log log;
    auto f = std::make_shared<LogFiles>();
    f->filename = name;
    f->status = QStringLiteral("Failed: a < b & c");
    auto page = std::make_shared<LogFile>();
    page->sourceFile = QStringLiteral("/src/") + name;
    f->logFiles << page;
    log.files << f;
    QVERIFY(log.save(dir.path()));
    xmlDoc *doc = xmlReadFile(QFile::encodeName(log.logFilePath()).constData(), nullptr, XML_PARSE_NONET);
    QVERIFY(doc);
    xmlNode *files = elements(xmlDocGetRootElement(doc)).first();
    QCOMPARE(attr(files, "FileName"), readBack);
    QCOMPARE(attr(files, "Status"), f->status);
    QCOMPARE(attr(elements(files).first(), "SourceImageFile"), QStringLiteral("/src/") + readBack);
    xmlFreeDoc(doc);
}

void TestLog::namesAndDates()
{
    const QDateTime t(QDate(2026, 12, 6), QTime(14, 5, 9));
    QCOMPARE(Log::fileNameFor(t), QStringLiteral("061226140509.log"));
    QCOMPARE(Log::logDateText(t), QStringLiteral("12/06/2026 02:05:09 PM"));
    QCOMPARE(Log::logDateText(QDateTime(QDate(2026, 1, 2), QTime(0, 30, 0))), QStringLiteral("01/02/2026 12:30:00 AM"));

    QTemporaryDir dir;
    Log log;
    log.endTime = t;
    QVERIFY(log.save(dir.path()));
    QCOMPARE(log.logFilePath(), dir.filePath(QStringLiteral("061226140509.log")));
    QVERIFY(QFile::exists(log.logFilePath()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 1); // no temporary left
}

void TestLog::missingLogsFolder()
{
    QTemporaryDir dir;
    startCapturingLog();
    Log log;
    QVERIFY(log.save(dir.filePath(QStringLiteral("gone"))));
    QVERIFY(capturedLog().contains(QStringLiteral("Could not write document out...")));
    stopCapturingLog();
    QVERIFY(log.logFilePath().startsWith(dir.filePath(QStringLiteral("gone"))));
    QVERIFY(!QFile::exists(log.logFilePath()));
}

// Runs ending in the same second keep one log each: the later ones take the
// next free suffix, and every log holds its own whole document.
void TestLog::sameSecondKeepsEveryLog()
{
    QTemporaryDir dir;
    Log big;
    big.endTime = QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9));
    for (int i = 0; i < 50; ++i) {
        auto f = std::make_shared<LogFiles>();
        f->filename = QStringLiteral("file%1.tiff").arg(i);
        big.files << f;
    }
    Log small;
    small.endTime = big.endTime;
    Log third;
    third.endTime = big.endTime;
    QVERIFY(big.save(dir.path()));
    QVERIFY(small.save(dir.path()));
    QVERIFY(third.save(dir.path()));
    QCOMPARE(big.logFilePath(), dir.filePath(QStringLiteral("061226140509.log")));
    QCOMPARE(small.logFilePath(), dir.filePath(QStringLiteral("061226140509-2.log")));
    QCOMPARE(third.logFilePath(), dir.filePath(QStringLiteral("061226140509-3.log")));
    for (const Log *log : {&big, &small, &third}) {
        QFile f(log->logFilePath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), log->toXml());
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

void TestLog::supportFolders()
{
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    QDir(base + QStringLiteral("/Orvanta")).removeRecursively();
    setEdition(2);
    QCOMPARE(getAppPath(), base + QStringLiteral("/Orvanta/QuillonConverter2"));
    QString error;
    QVERIFY(createApplicationUsersFolder(QString(), &error));
    QVERIFY(createApplicationUsersFolder(QStringLiteral("Logs"), &error));
    QVERIFY(QFileInfo(getAppPath() + QStringLiteral("/Logs")).isDir());
    QVERIFY(createApplicationUsersFolder(QStringLiteral("Logs"), &error)); // already there

    QFile blocker(getAppPath() + QStringLiteral("/blocked"));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    error.clear();
    QVERIFY(!createApplicationUsersFolder(QStringLiteral("blocked"), &error));
    QVERIFY(!error.isEmpty());

    setEdition(1);
    QCOMPARE(getAppPath(), base + QStringLiteral("/Orvanta/QuillonConverter1"));
    setEdition(2);
    QDir(base + QStringLiteral("/Orvanta")).removeRecursively();
}

void TestLog::appTitle()
{
    QCOMPARE(getAppTitle(), QStringLiteral("Quillon Converter"));
    QCOMPARE(getAppTitle(QString()), getAppTitle(QStringLiteral("")));
    QCOMPARE(getAppTitle(QStringLiteral(" :")), QStringLiteral("Quillon Converter :"));
}

QTEST_GUILESS_MAIN(TestLog)
#include "tst_log.moc"
