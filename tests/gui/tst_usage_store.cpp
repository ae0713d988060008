#include "core/AppFolders.h"
#include "core/SystemLog.h"
#include "usage/FeatureUsages.h"
#include "usage/MachineIdentifier.h"
#include "usage/StoredDate.h"
#include "usage/UsagesReportingWindowController.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <array>

using namespace quillon;
using Store = UsagesReportingWindowController;

namespace {

const QDateTime kNow(QDate(2026, 1, 15), QTime(10, 20, 30, 456), QTimeZone::utc());
const QString kFile = QStringLiteral("Usages.Log");
// HMAC-SHA256 of the test machine id "0123456789abcdef0123456789abcdef" under the product key.
const QString kHashedId = QStringLiteral("2bf7a415c97d4aac378c958af19e0cbf4b358b69c45109dea3c8cd050db0a79b");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QStringList descriptions(const QList<FeatureUsages> &features)
{
    QStringList out;
    for (const FeatureUsages &f : features)
        out << f.description();
    return out;
}

QStringList damagedCopies(const QString &folder)
{
    return QDir(folder).entryList({kFile + QStringLiteral(".damaged-*")}, QDir::Files);
}

} // namespace

class TestUsageStore : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_ids;
    QString m_idFile;

    Store::Environment env(const QTimeZone &zone = QTimeZone::utc()) const
    {
        Store::Environment e;
        e.now = [] { return kNow; };
        e.timeZone = zone;
        e.machineIdFiles = {m_idFile};
        e.siteURL = QStringLiteral("http://127.0.0.1:9");
        e.openUrl = [](const QUrl &) { return true; };
        return e;
    }

private Q_SLOTS:
    void initTestCase();
    void featureUsagesFactory_data();
    void featureUsagesFactory();
    void reviewLimitSetter_data();
    void reviewLimitSetter();
    void firstStartCreatesFile();
    void savedDocumentIsExact();
    void textIsEscapedAndRoundTrips();
    void countingUpdatesTheRightEntry();
    void countingSaturates();
    void loadOddContent_data();
    void loadOddContent();
    void fileValuesWinOverBundleValues();
    void storedDates_data();
    void storedDates();
    void parseStoredDates_data();
    void parseStoredDates();
    void datesRoundTripThroughTheFile();
    void leadingIntegers_data();
    void leadingIntegers();
    void machineIdentifier_data();
    void machineIdentifier();
    void saveFailureIsReported();
    void oversizedFileIsKeptAside();
    void combineModeNames();
    void processesCountIntoOneFile();
    void staleStoreUndoesNothing_data();
    void staleStoreUndoesNothing();
};

void TestUsageStore::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_ids.isValid());
    m_idFile = m_ids.filePath(QStringLiteral("machine-id"));
    writeAll(m_idFile, "0123456789abcdef0123456789abcdef\n");
}

void TestUsageStore::featureUsagesFactory_data()
{
    QTest::addColumn<std::optional<qint32>>("usages");
    QTest::addColumn<std::optional<qint32>>("files");
    QTest::addColumn<QString>("description");
    QTest::newRow("both") << std::optional<qint32>(3) << std::optional<qint32>(12)
                          << QStringLiteral("name : Mode usagesCount:3 filesCount:12");
    QTest::newRow("missing usages") << std::optional<qint32>() << std::optional<qint32>(5)
                                    << QStringLiteral("name : Mode usagesCount:0 filesCount:5");
    QTest::newRow("missing both") << std::optional<qint32>() << std::optional<qint32>()
                                  << QStringLiteral("name : Mode usagesCount:0 filesCount:0");
}

void TestUsageStore::featureUsagesFactory()
{
    QFETCH(std::optional<qint32>, usages);
    QFETCH(std::optional<qint32>, files);
    QFETCH(QString, description);
    QCOMPARE(FeatureUsages::initWithName(QStringLiteral("Mode"), usages, files).description(), description);
    const FeatureUsages fresh;
    QVERIFY(!fresh.name().isNull());
    QCOMPARE(fresh.description(), QStringLiteral("name :  usagesCount:0 filesCount:0"));
}

void TestUsageStore::reviewLimitSetter_data()
{
    QTest::addColumn<qint64>("targetBefore");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<qint64>("targetAfter");
    QTest::newRow("zero target takes the limit") << qint64(0) << qint64(500) << qint64(500);
    QTest::newRow("set target stays") << qint64(1230) << qint64(500) << qint64(1230);
    QTest::newRow("negative target stays") << qint64(-4) << qint64(500) << qint64(-4);
}

void TestUsageStore::reviewLimitSetter()
{
    QFETCH(qint64, targetBefore);
    QFETCH(qint64, limit);
    QFETCH(qint64, targetAfter);
    QTemporaryDir dir;
    Store store(nullptr, dir.path(), env());
    // The constructor's own limit of 1000 must not leak into a new file's target.
    QCOMPARE(store.reviewFileCountLimit(), qint64(1000));
    QCOMPARE(store.nextReviewTargetValue(), qint64(0));
    store.setNextReviewTargetValue(targetBefore);
    store.setReviewFileCountLimit(limit);
    QCOMPARE(store.reviewFileCountLimit(), limit);
    QCOMPARE(store.nextReviewTargetValue(), targetAfter);
}

void TestUsageStore::firstStartCreatesFile()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Orvanta/QuillonConverter2"));
    const QString path = folder + QLatin1Char('/') + kFile;
    {
        Store store(nullptr, folder, env());
        QVERIFY(QFile::exists(path));
        const QByteArray first = readAll(path);
        QVERIFY(first.contains("<nextReviewTargetValue>0</nextReviewTargetValue>"));
        QVERIFY(first.contains("<features></features>"));
        QVERIFY(first.contains("<hardwareUUID>" + kHashedId.toLatin1() + "</hardwareUUID>"));
        QVERIFY(!first.contains("0123456789abcdef0123456789abcdef"));

        store.configureForApplication();
        QCOMPARE(store.reviewURL(), QStringLiteral("http://127.0.0.1:9/review.php?pid=2007"));
        QVERIFY(store.isReviewEnabled());
        const QByteArray second = readAll(path);
        QVERIFY(second.contains("<nextReviewTargetValue>500</nextReviewTargetValue>"));
        QVERIFY(second.contains(
            "<features><featureusages><name>Single image to single TIFF</name><usagescount>0</usagescount>"
            "<filescount>0</filescount></featureusages><featureusages><name>Multiple images to single multi-Page "
            "TIFF</name><usagescount>0</usagescount><filescount>0</filescount></featureusages><featureusages>"
            "<name>Group of multiple images to multi-page TIFF in group</name><usagescount>0</usagescount>"
            "<filescount>0</filescount></featureusages></features>"));
    }
    // Second start: the entries are read, not added again.
    Store again(nullptr, folder, env());
    again.configureForApplication();
    QCOMPARE(again.features().size(), 3);
    QCOMPARE(again.nextReviewTargetValue(), qint64(500));
}

void TestUsageStore::savedDocumentIsExact()
{
    QTemporaryDir dir;
    Store store(nullptr, dir.path(), env());
    store.setProductName(QStringLiteral("Quillon Converter"));
    store.setVersion(QStringLiteral("2.0.0"));
    store.setBuildDate(QDateTime(QDate(2025, 12, 24), QTime(8, 0), QTimeZone::utc()));
    store.setIsEnabled(true);
    store.setNextReviewTargetValue(500);
    store.features().append(FeatureUsages::initWithName(QStringLiteral("Single image to single TIFF"), 3, 12));
    QVERIFY(store.save());

    const QByteArray expected =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
        "<!--Quillon Converter 2.0.0 Usages Reporting File-->"
        "<usagesreporting xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
        "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\">"
        "<productname>Quillon Converter</productname>"
        "<productversion>2.0.0</productversion>"
        "<builddate>2025-12-24T08:00:00.000000Z</builddate>"
        "<hardwareUUID>2bf7a415c97d4aac378c958af19e0cbf4b358b69c45109dea3c8cd050db0a79b</hardwareUUID>"
        "<enabled>true</enabled>"
        "<lastreportsenton>2026-01-15T10:20:30.456000Z</lastreportsenton>"
        "<lastReviewAskDate>2026-01-15T10:20:30.456000Z</lastReviewAskDate>"
        "<neverAskForReview>false</neverAskForReview>"
        "<nextReviewTargetValue>500</nextReviewTargetValue>"
        "<features><featureusages><name>Single image to single TIFF</name>"
        "<usagescount>3</usagescount><filescount>12</filescount></featureusages></features>"
        "</usagesreporting>";
    QCOMPARE(readAll(dir.filePath(kFile)), expected);
    // Written through a temporary file: nothing else is left in the folder.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{kFile});
}

void TestUsageStore::textIsEscapedAndRoundTrips()
{
    QTemporaryDir dir;
    const QString name = QStringLiteral("Gr\u00f6\u00dfe & <mehr> \"TIFF\" \u2013 \U0001F600");
    {
        Store store(nullptr, dir.path(), env());
        store.setProductName(QStringLiteral("Odd--Name-"));
        store.features().append(FeatureUsages::initWithName(name + QChar(0x01), 1, 2));
        QVERIFY(store.save());
    }
    const QByteArray bytes = readAll(dir.filePath(kFile));
    QVERIFY(bytes.contains(name.toUtf8().replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")));
    startCapturingLog();
    Store again(nullptr, dir.path(), env());
    QCOMPARE(capturedLog(), QStringList()); // read cleanly, no repair needed
    stopCapturingLog();
    QCOMPARE(again.productName(), QStringLiteral("Odd--Name-"));
    QCOMPARE(again.features().size(), 1);
    // A character XML cannot carry is written visibly, as the log writes it.
    QCOMPARE(again.features().first().name(), name + QChar(0x2401));
}

void TestUsageStore::countingUpdatesTheRightEntry()
{
    QTemporaryDir dir;
    const QStringList names = Store::applicationFeatureNames();
    {
        Store first(nullptr, dir.path(), env());
        first.configureForApplication();
        first.updateUsages(names[1], 7);
    }
    Store second(nullptr, dir.path(), env());
    second.configureForApplication();
    QCOMPARE(descriptions(second.features()),
             QStringList({QStringLiteral("name : %1 usagesCount:0 filesCount:0").arg(names[0]),
                          QStringLiteral("name : %1 usagesCount:1 filesCount:7").arg(names[1]),
                          QStringLiteral("name : %1 usagesCount:0 filesCount:0").arg(names[2])}));

    second.updateUsages(names[1], 0); // a run that processed nothing still counts as a use
    second.updateUsages(QStringLiteral("single image to single tiff"), 4); // case matters: a new entry
    second.updateUsages(names[0], -3);                                  // never counts backwards
    Store third(nullptr, dir.path(), env());
    QCOMPARE(descriptions(third.features()),
             QStringList({QStringLiteral("name : %1 usagesCount:1 filesCount:0").arg(names[0]),
                          QStringLiteral("name : %1 usagesCount:2 filesCount:7").arg(names[1]),
                          QStringLiteral("name : %1 usagesCount:0 filesCount:0").arg(names[2]),
                          QStringLiteral("name : single image to single tiff usagesCount:1 filesCount:4")}));
    QCOMPARE(third.totalFilesCount(), qint64(11));
}

void TestUsageStore::countingSaturates()
{
    QTemporaryDir dir;
    Store store(nullptr, dir.path(), env());
    store.features().append(FeatureUsages::initWithName(QStringLiteral("dup"), 1, 1));
    store.features().append(FeatureUsages::initWithName(QStringLiteral("dup"), 5, 2147483600));
    store.updateUsages(QStringLiteral("dup"), 1000);
    // The last of two equal names is the one counted.
    QCOMPARE(store.features()[0].usagesCount(), 1);
    QCOMPARE(store.features()[1].usagesCount(), 6);
    QCOMPARE(store.features()[1].filesCount(), std::numeric_limits<qint32>::max());
}

void TestUsageStore::loadOddContent_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("productName");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("neverAsk");
    QTest::addColumn<qint64>("target");
    QTest::addColumn<QStringList>("features");
    QTest::addColumn<bool>("damaged");

    const QString initialName = getAppTitle();
    const QByteArray head = "<?xml version=\"1.0\" encoding=\"utf-8\"?><usagesreporting>";
    const QByteArray tail = "</usagesreporting>";

    QTest::newRow("two productname, later wins")
        << head + "<productname>First</productname><productname>Second</productname>" + tail
        << QStringLiteral("Second") << false << false << qint64(0) << QStringList() << false;
    QTest::newRow("True is not true")
        << head + "<enabled>True</enabled><neverAskForReview>TRUE</neverAskForReview>" + tail << initialName
        << false << false << qint64(0) << QStringList() << false;
    QTest::newRow("true exactly") << head + "<enabled>true</enabled><neverAskForReview>true</neverAskForReview>" + tail
                                  << initialName << true << true << qint64(0) << QStringList() << false;
    QTest::newRow("padded true") << head + "<enabled> true</enabled>" + tail << initialName << false << false
                                 << qint64(0) << QStringList() << false;
    QTest::newRow("last enabled wins")
        << head + "<enabled>true</enabled><enabled>false</enabled>" + tail << initialName << false << false
        << qint64(0) << QStringList() << false;
    QTest::newRow("leading integer target") << head + "<nextReviewTargetValue>1230 files</nextReviewTargetValue>" + tail
                                            << initialName << false << false << qint64(1230) << QStringList() << false;
    QTest::newRow("no integer target") << head + "<nextReviewTargetValue>soon</nextReviewTargetValue>" + tail
                                       << initialName << false << false << qint64(0) << QStringList() << false;
    QTest::newRow("missing elements keep values")
        << head + tail << initialName << false << false << qint64(0) << QStringList() << false;
    QTest::newRow("features")
        << head +
               "<features><featureusages><name>A</name><usagescount>2</usagescount><filescount>9x</filescount>"
               "</featureusages><featureusages/><featureusages><name>B</name><name>C</name>"
               "<usagescount>-1</usagescount><usagescount>3</usagescount><filescount>99999999999</filescount>"
               "</featureusages></features>" +
               tail
        << initialName << false << false << qint64(0)
        << QStringList({QStringLiteral("name : A usagesCount:2 filesCount:9"),
                        QStringLiteral("name :  usagesCount:0 filesCount:0"),
                        QStringLiteral("name : C usagesCount:3 filesCount:2147483647")})
        << false;
    QTest::newRow("not under the root") << QByteArray("<other><productname>X</productname></other>") << initialName
                                        << false << false << qint64(0) << QStringList() << true;
    QTest::newRow("garbage") << QByteArray("\x00\x01garbage, not XML at all", 24) << initialName << false << false
                             << qint64(0) << QStringList() << true;
    QTest::newRow("truncated, repaired")
        << head + "<productname>Kept</productname><enabled>true</enabled><features><featureusages><name>A</name>"
                  "<usagescount>4</usagescount><filescount>8"
        << QStringLiteral("Kept") << true << false << qint64(0)
        << QStringList({QStringLiteral("name : A usagesCount:4 filesCount:8")}) << true;
}

void TestUsageStore::loadOddContent()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, productName);
    QFETCH(bool, enabled);
    QFETCH(bool, neverAsk);
    QFETCH(qint64, target);
    QFETCH(QStringList, features);
    QFETCH(bool, damaged);

    QTemporaryDir dir;
    writeAll(dir.filePath(kFile), content);
    startCapturingLog();
    Store store(nullptr, dir.path(), env());
    const QStringList log = capturedLog();
    stopCapturingLog();

    QCOMPARE(store.productName(), productName);
    QCOMPARE(store.isEnabled(), enabled);
    QCOMPARE(store.neverAskForReview(), neverAsk);
    QCOMPARE(store.nextReviewTargetValue(), target);
    QCOMPARE(descriptions(store.features()), features);
    QCOMPARE(store.hardwareUUID(), kHashedId);

    // A damaged file is reported and kept, byte for byte, before anything replaces it.
    const QStringList copies = damagedCopies(dir.path());
    QCOMPARE(copies.size(), damaged ? 1 : 0);
    QCOMPARE(log.size(), damaged ? 1 : 0);
    if (damaged) {
        QVERIFY2(log.first().startsWith(QStringLiteral("Error in load : ")), qPrintable(log.first()));
        QCOMPARE(readAll(dir.filePath(copies.first())), content);
        // ...and rewritten with what could be read, once: the next start finds it whole.
        QVERIFY(readAll(dir.filePath(kFile)) != content);
    } else {
        // A file that reads cleanly is not rewritten by the start.
        QCOMPARE(readAll(dir.filePath(kFile)), content);
    }
    QVERIFY(store.save());
    startCapturingLog();
    Store reread(nullptr, dir.path(), env());
    QCOMPARE(capturedLog(), QStringList());
    stopCapturingLog();
    QCOMPARE(damagedCopies(dir.path()).size(), damaged ? 1 : 0);
    QCOMPARE(reread.productName(), productName);
    QCOMPARE(descriptions(reread.features()), features);
}

void TestUsageStore::fileValuesWinOverBundleValues()
{
    QTemporaryDir dir;
    writeAll(dir.filePath(kFile),
             "<usagesreporting><productname>Quillon Converter</productname><productversion>1.0.3</productversion>"
             "<builddate>2020-05-01T12:00:00.000000+02:00</builddate><hardwareUUID>someone-else</hardwareUUID>"
             "</usagesreporting>");
    Store store(nullptr, dir.path(), env());
    QCOMPARE(store.version(), QStringLiteral("1.0.3"));
    QCOMPARE(store.buildDate(), QDateTime(QDate(2020, 5, 1), QTime(10, 0), QTimeZone::utc()));
    QCOMPARE(store.hardwareUUID(), kHashedId);
    // Another identifier in the file (a raw machine id of earlier versions) is
    // replaced at once, before any report could carry it.
    const QByteArray started = readAll(dir.filePath(kFile));
    QVERIFY(!started.contains("someone-else"));
    QVERIFY(started.contains("<hardwareUUID>" + kHashedId.toLatin1() + "</hardwareUUID>"));
    store.updateUsages(QStringLiteral("x"), 1);
    const QByteArray saved = readAll(dir.filePath(kFile));
    QVERIFY(saved.contains("<productversion>1.0.3</productversion>"));
    QVERIFY(saved.contains("<builddate>2020-05-01T10:00:00.000000Z</builddate>"));
    QVERIFY(saved.contains("<hardwareUUID>" + kHashedId.toLatin1() + "</hardwareUUID>"));
}

void TestUsageStore::storedDates_data()
{
    QTest::addColumn<QDateTime>("date");
    QTest::addColumn<QTimeZone>("zone");
    QTest::addColumn<QString>("text");
    const QDateTime t(QDate(2026, 1, 31), QTime(23, 45, 9, 7), QTimeZone::utc());
    QTest::newRow("utc") << t << QTimeZone::utc() << QStringLiteral("2026-01-31T23:45:09.007000Z");
    QTest::newRow("one hour east") << t << QTimeZone(3600) << QStringLiteral("2026-02-01T00:45:09.007000+01:00");
    QTest::newRow("half hour east") << t << QTimeZone(19800) << QStringLiteral("2026-02-01T05:15:09.007000+05:30");
    QTest::newRow("half hour west") << t << QTimeZone(-12600) << QStringLiteral("2026-01-31T20:15:09.007000-03:30");
    QTest::newRow("named zone, summer")
        << QDateTime(QDate(2026, 7, 1), QTime(12, 0), QTimeZone::utc()) << QTimeZone("Europe/Berlin")
        << QStringLiteral("2026-07-01T14:00:00.000000+02:00");
    QTest::newRow("invalid") << QDateTime() << QTimeZone::utc() << QString();
}

void TestUsageStore::storedDates()
{
    QFETCH(QDateTime, date);
    QFETCH(QTimeZone, zone);
    QFETCH(QString, text);
    QCOMPARE(formatStoredDate(date, zone), text);
    if (date.isValid())
        QCOMPARE(parseStoredDate(text, QTimeZone::utc()), date);
}

void TestUsageStore::parseStoredDates_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected"); // invalid: rejected
    const QTimeZone local(7200);
    QTest::newRow("zulu") << QStringLiteral("2026-03-04T05:06:07.123456Z")
                          << QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7, 123), QTimeZone::utc());
    QTest::newRow("offset") << QStringLiteral("2026-03-04T05:06:07.5+05:30")
                            << QDateTime(QDate(2026, 3, 3), QTime(23, 36, 7, 500), QTimeZone::utc());
    QTest::newRow("compact offset") << QStringLiteral("2026-03-04T05:06:07-0100")
                                    << QDateTime(QDate(2026, 3, 4), QTime(6, 6, 7), QTimeZone::utc());
    QTest::newRow("no offset is local") << QStringLiteral("2026-03-04 05:06")
                                        << QDateTime(QDate(2026, 3, 4), QTime(3, 6), QTimeZone::utc());
    QTest::newRow("date only") << QStringLiteral("2026-03-04") << QDateTime(QDate(2026, 3, 3), QTime(22, 0), QTimeZone::utc());
    QTest::newRow("bad month") << QStringLiteral("2026-13-04T05:06:07Z") << QDateTime();
    QTest::newRow("bad offset") << QStringLiteral("2026-03-04T05:06:07+25:00") << QDateTime();
    QTest::newRow("words") << QStringLiteral("yesterday") << QDateTime();
    QTest::newRow("empty") << QString() << QDateTime();
}

void TestUsageStore::parseStoredDates()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const QDateTime parsed = parseStoredDate(text, QTimeZone(7200));
    QCOMPARE(parsed.isValid(), expected.isValid());
    if (expected.isValid())
        QCOMPARE(parsed.toUTC(), expected);
}

void TestUsageStore::datesRoundTripThroughTheFile()
{
    QTemporaryDir dir;
    {
        Store store(nullptr, dir.path(), env(QTimeZone(19800)));
        QVERIFY(readAll(dir.filePath(kFile)).contains("<lastreportsenton>2026-01-15T15:50:30.456000+05:30<"));
    }
    // Read back in another zone: the written offset is honoured.
    Store other(nullptr, dir.path(), env(QTimeZone(-18000)));
    QCOMPARE(other.lastReportSentOn().toUTC(), kNow);
    QCOMPARE(other.lastReviewAskDate().toUTC(), kNow);
}

void TestUsageStore::leadingIntegers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("value");
    QTest::newRow("plain") << QStringLiteral("500") << qint64(500);
    QTest::newRow("blanks and sign") << QStringLiteral("  -42abc") << qint64(-42);
    QTest::newRow("plus") << QStringLiteral("+7") << qint64(7);
    QTest::newRow("exponent stops") << QStringLiteral("1e3") << qint64(1);
    QTest::newRow("none") << QStringLiteral("x1") << qint64(0);
    QTest::newRow("empty") << QString() << qint64(0);
    QTest::newRow("too large") << QStringLiteral("99999999999999999999999") << std::numeric_limits<qint64>::max();
    QTest::newRow("too small") << QStringLiteral("-99999999999999999999999") << std::numeric_limits<qint64>::min();
}

void TestUsageStore::leadingIntegers()
{
    QFETCH(QString, text);
    QFETCH(qint64, value);
    QCOMPARE(leadingInteger(text), value);
}

void TestUsageStore::machineIdentifier_data()
{
    QTest::addColumn<QByteArray>("first"); // "-" = missing
    QTest::addColumn<QByteArray>("second");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<QString>("hashed"); // HMAC-SHA256 under the product key, computed apart
    const QString a = QStringLiteral("96e60644f522c348f1caf502b908f2327d141db2f939ca4a0e4ded3d9a6a9fbc");
    const QString b = QStringLiteral("a4b12a8c09e1309da2a7139f254cfd67d0863276d76cc2fb0486de7b1062d8dc");
    const QString c = QStringLiteral("ae45926b5cedc0a08e9336c783b175c695434f7c158c4f6a3d98e7f5b21afd26");
    QTest::newRow("first") << QByteArray("aaaa\n") << QByteArray("bbbb\n") << QStringLiteral("aaaa") << a;
    QTest::newRow("fallback when missing") << QByteArray("-") << QByteArray(" bbbb \n") << QStringLiteral("bbbb") << b;
    QTest::newRow("fallback when empty") << QByteArray("\n") << QByteArray("bbbb") << QStringLiteral("bbbb") << b;
    QTest::newRow("none") << QByteArray("-") << QByteArray("-") << QString() << QString();
    QTest::newRow("first line only") << QByteArray("cccc\nmore\n") << QByteArray("-") << QStringLiteral("cccc") << c;
}

void TestUsageStore::machineIdentifier()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, second);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    const QStringList files{dir.filePath(QStringLiteral("machine-id")), dir.filePath(QStringLiteral("dbus-id"))};
    if (first != "-")
        writeAll(files[0], first);
    if (second != "-")
        writeAll(files[1], second);
    QFETCH(QString, hashed);
    QCOMPARE(CopySerialNumber(files), expected);
    QCOMPARE(hashedMachineIdentifier(files), hashed);
    QCOMPARE(machineIdentifierFiles(),
             QStringList({QStringLiteral("/etc/machine-id"), QStringLiteral("/var/lib/dbus/machine-id")}));
}

void TestUsageStore::saveFailureIsReported()
{
    QTemporaryDir dir;
    const QString blocker = dir.filePath(QStringLiteral("not-a-folder"));
    writeAll(blocker, "x");
    startCapturingLog();
    Store store(nullptr, blocker + QStringLiteral("/sub"), env());
    QVERIFY(!store.save());
    const QStringList log = capturedLog();
    stopCapturingLog();
    QVERIFY(!log.isEmpty());
    QVERIFY(log.last().startsWith(QStringLiteral("Error in save : ")));

    // Without a support folder nothing is written anywhere.
    Store nowhere(nullptr, QString(), env());
    QVERIFY(!nowhere.save());
    QVERIFY(nowhere.usagesFilePath().isEmpty());
}

void TestUsageStore::oversizedFileIsKeptAside()
{
    QTemporaryDir dir;
    QByteArray huge = "<usagesreporting><productname>";
    huge.append(QByteArray(17 * 1024 * 1024, 'x'));
    huge.append("</productname></usagesreporting>");
    writeAll(dir.filePath(kFile), huge);
    startCapturingLog();
    Store store(nullptr, dir.path(), env());
    stopCapturingLog();
    QCOMPARE(store.productName(), getAppTitle());
    const QStringList copies = damagedCopies(dir.path());
    QCOMPARE(copies.size(), 1);
    QCOMPARE(QFileInfo(dir.filePath(copies.first())).size(), qint64(huge.size()));
    // A fresh file took its place.
    QVERIFY(readAll(dir.filePath(kFile)).startsWith("<?xml version=\"1.0\" encoding=\"utf-8\"?><!--"));
}

void TestUsageStore::combineModeNames()
{
    QCOMPARE(Store::featureNameForCombineMode(0), QStringLiteral("Single image to single TIFF"));
    QCOMPARE(Store::featureNameForCombineMode(1), QStringLiteral("Multiple images to single multi-Page TIFF"));
    QCOMPARE(Store::featureNameForCombineMode(2), QStringLiteral("Group of multiple images to multi-page TIFF in group"));
    QVERIFY(Store::featureNameForCombineMode(3).isEmpty());
    QVERIFY(Store::featureNameForCombineMode(-1).isEmpty());
}

// Two processes (two windows, or both editions) count runs into one file at
// the same time: every run of both is kept.
void TestUsageStore::processesCountIntoOneFile()
{
    QTemporaryDir dir;
    const int runs = 30;
    std::array<QProcess, 2> children;
    for (QProcess &child : children) {
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--count-runs"), dir.path(), QString::number(runs), m_idFile});
        QVERIFY(child.waitForStarted());
    }
    // Both have read the file before either counts.
    for (QProcess &child : children)
        QTRY_VERIFY_WITH_TIMEOUT(child.canReadLine() || child.state() == QProcess::NotRunning, 30000);
    for (QProcess &child : children) {
        QCOMPARE(child.readLine(), QByteArray("ready\n"));
        child.write("go\n");
    }
    for (QProcess &child : children) {
        QVERIFY(child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
    }
    Store store(nullptr, dir.path(), env());
    QCOMPARE(store.features().size(), 3);
    qint64 usages = 0;
    for (const FeatureUsages &feature : store.features())
        usages += feature.usagesCount();
    QCOMPARE(usages, qint64(2 * runs));
    QCOMPARE(store.totalFilesCount(), qint64(2 * runs * 2));
}

void TestUsageStore::staleStoreUndoesNothing_data()
{
    QTest::addColumn<int>("change");
    QTest::newRow("never ask again") << 0;
    QTest::newRow("reporting switched on") << 1;
    QTest::newRow("runs counted") << 2;
}

// A store that read the file before another one saved a change keeps that
// change when it saves its own.
void TestUsageStore::staleStoreUndoesNothing()
{
    QFETCH(int, change);
    QTemporaryDir dir;
    const QString mode = Store::featureNameForCombineMode(0);
    Store stale(nullptr, dir.path(), env());
    stale.configureForApplication();
    {
        Store other(nullptr, dir.path(), env());
        other.configureForApplication();
        switch (change) {
        case 0: other.setNeverAskForReview(true); break;
        case 1: other.setIsEnabled(true); break;
        case 2: other.updateUsages(mode, 5); break;
        }
        QVERIFY(other.save());
    }
    stale.updateUsages(mode, 3);
    Store after(nullptr, dir.path(), env());
    QCOMPARE(after.neverAskForReview(), change == 0);
    QCOMPARE(after.isEnabled(), change == 1);
    QCOMPARE(after.features().first().usagesCount(), change == 2 ? 2 : 1);
    QCOMPARE(after.totalFilesCount(), change == 2 ? qint64(8) : qint64(3));
    // The stale store now holds what the file holds.
    QCOMPARE(descriptions(stale.features()), descriptions(after.features()));
    QCOMPARE(stale.neverAskForReview(), after.neverAskForReview());
}

namespace {

// The child of processesCountIntoOneFile: loads, says "ready", waits for "go",
// then counts `runs` runs of two files each.
int countRuns(const QString &folder, int runs, const QString &idFile)
{
    Store::Environment e;
    e.machineIdFiles = {idFile};
    e.siteURL = QStringLiteral("http://127.0.0.1:9");
    e.openUrl = [](const QUrl &) { return true; };
    Store store(nullptr, folder, e);
    store.configureForApplication();
    QFile in;
    QFile out;
    if (!in.open(stdin, QIODevice::ReadOnly) || !out.open(stdout, QIODevice::WriteOnly))
        return 2;
    out.write("ready\n");
    out.flush();
    if (in.readLine().trimmed() != "go")
        return 3;
    for (int i = 0; i < runs; ++i)
        store.updateUsages(Store::featureNameForCombineMode(i % 3), 2);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QLatin1String("--count-runs"))
        return countRuns(args[2], args[3].toInt(), args[4]);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestUsageStore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_usage_store.moc"
