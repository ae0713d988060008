// A conversion through the window, for bench/run.sh to time beside the CLI:
// the real window adds a folder as a drop does, takes LZW in the output
// settings sheet and converts into the stored output folder. Runs only when
// QUILLON_BENCH_SOURCE and QUILLON_BENCH_OUTPUT name folders.
#include "app/Sheets.h"
#include "core/Process.h"
#include "tst_app_support.h"
#include "widgets/SegmentedControl.h"

#include "app/UiForms.h"

#include <QComboBox>

#include <QElapsedTimer>
#include <QSignalSpy>

using namespace quillon;
using namespace quillon::apptest;

class TestConvertBench : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void convertFolder();

private:
    QString m_source;
    QString m_output;
};

void TestConvertBench::initTestCase()
{
    m_source = qEnvironmentVariable("QUILLON_BENCH_SOURCE");
    m_output = qEnvironmentVariable("QUILLON_BENCH_OUTPUT");
    if (m_source.isEmpty() || m_output.isEmpty())
        QSKIP("set QUILLON_BENCH_SOURCE and QUILLON_BENCH_OUTPUT (see bench/run.sh)");
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setApplicationDisplayName(QStringLiteral("Quillon Converter"));
    setEdition(2);
}

void TestConvertBench::convertFolder()
{
    Fixture fx;
    // A stored default folder, as a previous session would have left it.
    QVariantMap map = fx.store->value(QStringLiteral("SETTINGS")).toMap();
    map[QStringLiteral("outputFolderPath")] = m_output;
    map[QStringLiteral("isSetCurrentAsDefaultOutputFolderPath")] = true;
    map[QStringLiteral("isOpenFolderAfterConversion")] = false;
    fx.store->setValue(QStringLiteral("SETTINGS"), map);
    auto app = fx.makeWindow();
    QVERIFY(app->awakeFromNib());
    QVERIFY(QTest::qWaitForWindowExposed(app->window()));

    QElapsedTimer clock;
    clock.start();
    QSignalSpy loaded(app.get(), &QuillonAppDelegate::loadFinished);
    app->loadURLs(Arguments{{QUrl::fromLocalFile(m_source)}, true, false});
    QVERIFY(loaded.wait(600000));
    const qint64 listed = clock.elapsed();
    const int count = int(app->files().size());
    QVERIFY(count > 0);

    app->showOutputSettings();
    app->outputSettingPanel()->ui()->tiffCompressionPopup->setCurrentIndex(LzwCompression);
    app->closeOutputSetting();
    QCOMPARE(app->settings()->tiffCompressionIndex(), int(LzwCompression));

    clock.restart();
    app->commandSegmented()->clickSegment(QuillonAppDelegate::ConvertSegment);
    QVERIFY(app->process());
    QTRY_VERIFY_WITH_TIMEOUT(app->processViewPanel()->ui()->closeProcessBtn->isEnabled(), 3600000);
    const qint64 converted = clock.elapsed();
    QCOMPARE(app->process()->totalFileCreated(), count);
    qInfo().noquote() << QStringLiteral("bench: listed %1 files in %2 ms, converted them in %3 ms").arg(count).arg(listed).arg(converted);
    QTest::mouseClick(app->processViewPanel()->ui()->closeProcessBtn, Qt::LeftButton);
}

QTEST_MAIN(TestConvertBench)
#include "tst_app_convert_bench.moc"
