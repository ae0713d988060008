#include "core/AppFolders.h"
#include "core/Settings.h"
#include "core/SharedSettings.h"

#include <QElapsedTimer>
#include <QLockFile>

#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace quillon;

class TestSettings : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void defaultsOnFirstStart();
    void loadRules_data();
    void loadRules();
    void nonDictionaryIgnored();
    void savingNeverLeavesKeysOut();
    void roundTripThroughStore();
    void editionOneWritesNineKeys();
    void changesAreAnnounced();
    void archiveRoundTrip();
    void processesKeepEachOthersOptions_data();
    void processesKeepEachOthersOptions();
    void choicesBesideTheDictionary_data();
    void choicesBesideTheDictionary();
    void busyLockDefersTheChange();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QSettings> m_store;
};

void TestSettings::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_store = std::make_unique<QSettings>(m_dir->filePath(QStringLiteral("defaults.conf")), QSettings::IniFormat);
}

// The store first: a QSettings writes its file (and makes its folder again) when it goes.
void TestSettings::cleanup()
{
    m_store.reset();
    m_dir.reset();
    setEdition(2);
}

void TestSettings::defaultsOnFirstStart()
{
    Settings s(m_store.get());
    QCOMPARE(s.combineOptionIndex(), 0);
    QCOMPARE(s.groupMultiPageTIFFCount(), 2);
    QCOMPARE(s.tiffCompressionIndex(), 0);
    QCOMPARE(s.isSetCurrentAsDefaultOutputFolderPath(), true);
    QCOMPARE(s.isOpenFolderAfterConversion(), true);
    QCOMPARE(s.singleMultiPageTIFFName(), QString());
    QCOMPARE(s.groupMultiPageTIFFName(), QString());
    QCOMPARE(s.outputFolderPath(), QString());
    QCOMPARE(s.isClearProcessedFiles(), false);
    QCOMPARE(s.leadingZeros(), 0);
}

void TestSettings::loadRules_data()
{
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<bool>("keep");
    QTest::addColumn<int>("group");
    QTest::addColumn<int>("leadingZeros");

    QVariantMap base{{QStringLiteral("groupMultiPageTIFFCount"), 4}, {QStringLiteral("leadingZeros"), 3}};
    QVariantMap m = base;
    m[QStringLiteral("outputFolderPath")] = QStringLiteral("/out");
    m[QStringLiteral("isSetCurrentAsDefaultOutputFolderPath")] = false;
    QTest::newRow("folder without keep is dropped") << m << QString() << false << 4 << 3;
    m[QStringLiteral("isSetCurrentAsDefaultOutputFolderPath")] = true;
    QTest::newRow("folder with keep survives") << m << QStringLiteral("/out") << true << 4 << 3;
    m[QStringLiteral("outputFolderPath")] = QString();
    QTest::newRow("empty folder clears keep") << m << QString() << false << 4 << 3;

    QVariantMap text{{QStringLiteral("groupMultiPageTIFFCount"), QStringLiteral("3")},
                     {QStringLiteral("isSetCurrentAsDefaultOutputFolderPath"), QStringLiteral("YES")},
                     {QStringLiteral("outputFolderPath"), QStringLiteral("/x")}};
    QTest::newRow("numbers stored as text") << text << QStringLiteral("/x") << true << 3 << 0;

    QVariantMap editionOne{{QStringLiteral("groupMultiPageTIFFCount"), 5}};
    QTest::newRow("missing leadingZeros reads 0") << editionOne << QString() << false << 5 << 0;
}

void TestSettings::loadRules()
{
    QFETCH(QVariantMap, stored);
    QFETCH(QString, folder);
    QFETCH(bool, keep);
    QFETCH(int, group);
    QFETCH(int, leadingZeros);
    m_store->setValue(Settings::kKey, stored);
    Settings s(m_store.get());
    QCOMPARE(s.outputFolderPath(), folder);
    QCOMPARE(s.isSetCurrentAsDefaultOutputFolderPath(), keep);
    QCOMPARE(s.groupMultiPageTIFFCount(), group);
    QCOMPARE(s.leadingZeros(), leadingZeros);
}

void TestSettings::nonDictionaryIgnored()
{
    m_store->setValue(Settings::kKey, 42);
    Settings s(m_store.get());
    QCOMPARE(s.groupMultiPageTIFFCount(), 2);
    QCOMPARE(s.isOpenFolderAfterConversion(), true);
    s.setData(QVariant());
    s.setData(QStringLiteral("garbage"));
    QCOMPARE(s.groupMultiPageTIFFCount(), 2);
}

void TestSettings::savingNeverLeavesKeysOut()
{
    Settings s(m_store.get());
    const QVariantMap d = s.getData();
    QCOMPARE(d.size(), 10);
    for (const char *key : {"singleMultiPageTIFFName", "groupMultiPageTIFFName", "outputFolderPath"}) {
        QVERIFY2(d.contains(QLatin1String(key)), key);
        QVERIFY(!d.value(QLatin1String(key)).toString().isNull());
    }
}

void TestSettings::roundTripThroughStore()
{
    {
        Settings s(m_store.get());
        s.setCombineOptionIndex(2);
        s.setGroupMultiPageTIFFCount(7);
        s.setTiffCompressionIndex(3);
        s.setSingleMultiPageTIFFName(QStringLiteral("All"));
        s.setGroupMultiPageTIFFName(QStringLiteral("Scan"));
        s.setOutputFolderPath(QStringLiteral("/tmp/out"));
        s.setIsClearProcessedFiles(true);
        s.setIsOpenFolderAfterConversion(false);
        s.setLeadingZeros(2);
        s.synchronize();
    }
    QSettings reread(m_dir->filePath(QStringLiteral("defaults.conf")), QSettings::IniFormat);
    Settings s(&reread);
    QCOMPARE(s.combineOptionIndex(), 2);
    QCOMPARE(s.groupMultiPageTIFFCount(), 7);
    QCOMPARE(s.tiffCompressionIndex(), 3);
    QCOMPARE(s.singleMultiPageTIFFName(), QStringLiteral("All"));
    QCOMPARE(s.groupMultiPageTIFFName(), QStringLiteral("Scan"));
    QCOMPARE(s.outputFolderPath(), QStringLiteral("/tmp/out"));
    QCOMPARE(s.isClearProcessedFiles(), true);
    QCOMPARE(s.isOpenFolderAfterConversion(), false);
    QCOMPARE(s.leadingZeros(), 2);
}

void TestSettings::editionOneWritesNineKeys()
{
    setEdition(1);
    Settings s(m_store.get());
    s.setLeadingZeros(4);
    const QVariantMap d = s.getData();
    QCOMPARE(d.size(), 9);
    QVERIFY(!d.contains(QStringLiteral("leadingZeros")));
    s.synchronize();
    setEdition(2);
    Settings two(m_store.get());
    QCOMPARE(two.leadingZeros(), 0);
}

void TestSettings::changesAreAnnounced()
{
    Settings s(m_store.get());
    QSignalSpy folder(&s, &Settings::outputFolderPathChanged);
    QSignalSpy group(&s, &Settings::groupMultiPageTIFFCountChanged);
    s.setOutputFolderPath(QStringLiteral("/a"));
    s.setOutputFolderPath(QStringLiteral("/a"));
    s.setGroupMultiPageTIFFCount(9);
    QCOMPARE(folder.count(), 1);
    QCOMPARE(group.count(), 1);
}

void TestSettings::archiveRoundTrip()
{
    Settings a(m_store.get());
    a.setGroupMultiPageTIFFName(QStringLiteral("Batch"));
    a.setTiffCompressionIndex(4);
    QByteArray bytes;
    {
        QDataStream out(&bytes, QIODevice::WriteOnly);
        a.encodeWithCoder(out);
    }
    QSettings other(m_dir->filePath(QStringLiteral("other.conf")), QSettings::IniFormat);
    Settings b(&other);
    QDataStream in(bytes);
    b.initWithCoder(in);
    QCOMPARE(b.groupMultiPageTIFFName(), QStringLiteral("Batch"));
    QCOMPARE(b.tiffCompressionIndex(), 4);
}

void TestSettings::processesKeepEachOthersOptions_data()
{
    QTest::addColumn<QByteArray>("mine");   // option this process changes, empty for none
    QTest::addColumn<QVariant>("myValue");
    QTest::addColumn<QByteArray>("theirs"); // option another process saved meanwhile
    QTest::addColumn<QVariant>("theirValue");
    QTest::addColumn<QVariantMap>("stored"); // what the store holds afterwards (these keys)
    QTest::newRow("different options")
        << QByteArray("combineOptionIndex") << QVariant(2) << QByteArray("tiffCompressionIndex") << QVariant(3)
        << QVariantMap{{QStringLiteral("combineOptionIndex"), 2}, {QStringLiteral("tiffCompressionIndex"), 3}};
    QTest::newRow("nothing changed here")
        << QByteArray() << QVariant() << QByteArray("groupMultiPageTIFFCount") << QVariant(9)
        << QVariantMap{{QStringLiteral("groupMultiPageTIFFCount"), 9}};
    QTest::newRow("same option, later wins")
        << QByteArray("groupMultiPageTIFFCount") << QVariant(5) << QByteArray("groupMultiPageTIFFCount") << QVariant(9)
        << QVariantMap{{QStringLiteral("groupMultiPageTIFFCount"), 5}};
    QTest::newRow("names")
        << QByteArray("singleMultiPageTIFFName") << QVariant(QStringLiteral("Mine")) << QByteArray("groupMultiPageTIFFName")
        << QVariant(QStringLiteral("Theirs"))
        << QVariantMap{{QStringLiteral("singleMultiPageTIFFName"), QStringLiteral("Mine")},
                       {QStringLiteral("groupMultiPageTIFFName"), QStringLiteral("Theirs")}};
}

// Both editions and every window share the store: saving the options never
// undoes what another process saved since this one loaded them.
void TestSettings::processesKeepEachOthersOptions()
{
    QFETCH(QByteArray, mine);
    QFETCH(QVariant, myValue);
    QFETCH(QByteArray, theirs);
    QFETCH(QVariant, theirValue);
    QFETCH(QVariantMap, stored);
    Settings s(m_store.get());
    QProcess other;
    other.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--set"), m_store->fileName(), QString::fromLatin1(theirs), theirValue.toString()});
    QVERIFY(other.waitForFinished(30000));
    QCOMPARE(other.exitCode(), 0);
    if (!mine.isEmpty())
        QVERIFY(s.setProperty(mine.constData(), myValue));
    s.synchronize();
    const QVariantMap now = m_store->value(Settings::kKey).toMap();
    QCOMPARE(now.size(), 10);
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        QCOMPARE(now.value(it.key()).toString(), it.value().toString());
}

// A lock held elsewhere neither freezes the caller nor is written past: the
// change waits in memory and is saved, under the lock, once it is free.
void TestSettings::busyLockDefersTheChange()
{
    Settings s(m_store.get());
    s.synchronize();
    QLockFile held(m_store->fileName() + QStringLiteral(".update.lock"));
    QVERIFY(held.tryLock(0));
    QVERIFY(s.setProperty("groupMultiPageTIFFCount", 7));
    QElapsedTimer clock;
    clock.start();
    s.synchronize();
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(pendingSharedSettings(m_store.get()), 1);
    auto onDisk = [this] {
        QSettings fresh(m_store->fileName(), QSettings::IniFormat);
        return fresh.value(Settings::kKey).toMap().value(QStringLiteral("groupMultiPageTIFFCount")).toInt();
    };
    QVERIFY(onDisk() != 7);
    held.unlock();
    QTRY_COMPARE_WITH_TIMEOUT(onDisk(), 7, 10000);
    QCOMPARE(pendingSharedSettings(m_store.get()), 0);
}

// The other process of processesKeepEachOthersOptions: sets one option and saves.
static int setOption(const QString &file, const QString &property, const QString &value)
{
    QSettings store(file, QSettings::IniFormat);
    Settings s(&store);
    if (!s.setProperty(property.toLatin1().constData(), value))
        return 2;
    s.synchronize();
    return store.status() == QSettings::NoError ? 0 : 3;
}

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 5 && args[1] == QLatin1String("--set"))
        return setOption(args[2], args[3], args[4]);
    TestSettings test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
void TestSettings::choicesBesideTheDictionary_data()
{
    QTest::addColumn<QVariantMap>("stored"); // top-level keys
    QTest::addColumn<int>("storedIndex");    // tiffCompressionIndex in "SETTINGS"
    QTest::addColumn<QString>("bilevel");
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<QString>("existing");
    QTest::addColumn<QString>("compression");
    QTest::addColumn<int>("quality");
    QTest::addColumn<bool>("metadata");
    QTest::addColumn<int>("dpi");
    QTest::newRow("nothing stored") << QVariantMap{} << 0 << QStringLiteral("auto") << false << QStringLiteral("replace")
                                    << QStringLiteral("none") << 90 << false << 0;
    QTest::newRow("all stored") << QVariantMap{{QStringLiteral("BILEVELCONVERSION"), QStringLiteral("threshold:90")},
                                               {QStringLiteral("AUTOMATICCOMPRESSION"), true},
                                               {QStringLiteral("EXISTINGFILES"), QStringLiteral("keep-both")},
                                               {QStringLiteral("JPEGQUALITY"), 70},
                                               {QStringLiteral("KEEPMETADATA"), true},
                                               {QStringLiteral("OUTPUTRESOLUTION"), 300}}
                                << 3 << QStringLiteral("threshold:90") << true << QStringLiteral("keep-both")
                                << QStringLiteral("auto") << 70 << true << 300;
    QTest::newRow("zstd stored") << QVariantMap{{QStringLiteral("COMPRESSIONMETHOD"), QStringLiteral("zstd")}} << 3
                                 << QStringLiteral("auto") << false << QStringLiteral("replace") << QStringLiteral("zstd") << 90 << false << 0;
    // A build that knows five choices chose G4 since: that choice holds.
    QTest::newRow("automatic ended elsewhere") << QVariantMap{{QStringLiteral("AUTOMATICCOMPRESSION"), true}} << 2
                                               << QStringLiteral("auto") << false << QStringLiteral("replace")
                                               << QStringLiteral("g4") << 90 << false << 0;
    QTest::newRow("jpeg ended elsewhere") << QVariantMap{{QStringLiteral("COMPRESSIONMETHOD"), QStringLiteral("jpeg")}} << 4
                                          << QStringLiteral("auto") << false << QStringLiteral("replace")
                                          << QStringLiteral("packbits") << 90 << false << 0;
    QTest::newRow("unreadable values") << QVariantMap{{QStringLiteral("BILEVELCONVERSION"), QStringLiteral("threshold:900")},
                                                      {QStringLiteral("EXISTINGFILES"), QStringLiteral("overwrite")},
                                                      {QStringLiteral("COMPRESSIONMETHOD"), QStringLiteral("g4")},
                                                      {QStringLiteral("JPEGQUALITY"), 101},
                                                      {QStringLiteral("OUTPUTRESOLUTION"), 10001}}
                                       << 3 << QStringLiteral("auto") << false << QStringLiteral("replace")
                                       << QStringLiteral("lzw") << 90 << false << 0;
}

// The newer choices load from keys of their own, leave the dictionary as it
// was, survive a store round trip, and a choice never made writes no key.
void TestSettings::choicesBesideTheDictionary()
{
    QFETCH(QVariantMap, stored);
    QFETCH(int, storedIndex);
    QFETCH(QString, bilevel);
    QFETCH(bool, automatic);
    QFETCH(QString, existing);
    QFETCH(QString, compression);
    QFETCH(int, quality);
    QFETCH(bool, metadata);
    QFETCH(int, dpi);
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        m_store->setValue(it.key(), it.value());
    m_store->setValue(Settings::kKey, QVariantMap{{QStringLiteral("tiffCompressionIndex"), storedIndex}});
    const QStringList keysBefore = m_store->allKeys();
    {
        Settings s(m_store.get());
        QCOMPARE(image::bilevelOptionsText(s.bilevelOptions()), bilevel);
        QCOMPARE(s.isAutomaticCompression(), automatic);
        QCOMPARE(existingFilePolicyText(s.existingFilePolicy()), existing);
        QCOMPARE(image::compressionText(s.compression()), compression);
        QCOMPARE(s.jpegQuality(), quality);
        QCOMPARE(s.isKeepMetadata(), metadata);
        QCOMPARE(s.outputDpi(), dpi);
        QCOMPARE(s.getData().size(), 10);
        QCOMPARE(s.tiffCompressionIndex(), storedIndex);
        s.synchronize();
        QCOMPARE(m_store->allKeys(), keysBefore);

        QSignalSpy changed(&s, &Settings::automaticCompressionChanged);
        s.setAutomaticCompression(true);
        QCOMPARE(s.tiffCompressionIndex(), 3); // what a five-choice build reads
        s.setBilevelOptions({image::BilevelOptions::DiffusionDither});
        s.setExistingFilePolicy(ExistingFilePolicy::Skip);
        s.synchronize();
        QCOMPARE(changed.count(), automatic ? 0 : 1);
    }
    QSettings reread(m_dir->filePath(QStringLiteral("defaults.conf")), QSettings::IniFormat);
    Settings s(&reread);
    QVERIFY(s.isAutomaticCompression());
    QCOMPARE(image::bilevelOptionsText(s.bilevelOptions()), QStringLiteral("dither:diffusion"));
    QCOMPARE(s.existingFilePolicy(), ExistingFilePolicy::Skip);
    // Choosing one of the five ends Automatic.
    s.setTiffCompressionIndex(4);
    QVERIFY(!s.isAutomaticCompression());
    s.setTiffCompressionIndex(3);
    QVERIFY(!s.isAutomaticCompression());

    // The newer compressions: LZW for a build that knows five, ended by any other choice.
    s.setCompression(image::Compression::Deflate);
    s.setCompressionLevel(7);
    s.setKeepMetadata(true);
    s.setOutputDpi(600);
    s.synchronize();
    QCOMPARE(reread.value(Settings::kKey).toMap().value(QStringLiteral("tiffCompressionIndex")).toInt(), 3);
    {
        QSettings again(m_dir->filePath(QStringLiteral("defaults.conf")), QSettings::IniFormat);
        Settings t(&again);
        QCOMPARE(t.compression(), image::Compression::Deflate);
        QCOMPARE(t.codingOptions().level, 7);
        QVERIFY(t.isKeepMetadata());
        QCOMPARE(t.outputDpi(), 600);
        t.setAutomaticCompression(true);
        QCOMPARE(t.compression(), image::Compression::Automatic);
        t.setCompression(image::Compression::Jpeg);
        QVERIFY(!t.isAutomaticCompression());
        QCOMPARE(t.codingOptions().level, 0); // a Deflate level is no JPEG level
        t.setTiffCompressionIndex(1);
        QCOMPARE(t.compression(), image::Compression::CcittG3);
        t.setCompression(image::Compression::Lzw);
        QCOMPARE(t.compression(), image::Compression::Lzw);
    }
}

#include "tst_settings.moc"
