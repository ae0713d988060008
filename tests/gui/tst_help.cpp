// The Help command: where the guide is looked for, what happens when it is
// missing, and the guide the build made (a real PDF that reads as a guide).
#include "core/AppFolders.h"
#include "core/SystemLog.h"
#include "tst_help_pdfreader.h"
#include "windows/HelpDocument.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using namespace quillon;

namespace {

void touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("%PDF-1.4\n%%EOF\n");
}

} // namespace

class HelpTest : public QObject {
    Q_OBJECT
private slots:
    void init() { startCapturingLog(); }
    void cleanup() { stopCapturingLog(); }

    void lookup_data();
    void lookup();
    void missingGuideLogsAndOpensNothing_data();
    void missingGuideLogsAndOpensNothing();
    void guideNoViewerTakesIsLogged();
    void builtGuide_data();
    void builtGuide();
};

void HelpTest::lookup_data()
{
    QTest::addColumn<int>("edition");
    QTest::addColumn<QStringList>("present"); // files made, relative to the temp dir
    QTest::addColumn<QString>("expected");    // relative path found, empty = none

    // Folders searched: "bin" (beside the program), then "share/quillon-converter".
    QTest::newRow("edition 2 beside the program")
        << 2 << QStringList{QStringLiteral("bin/MACQuillon2.pdf")} << QStringLiteral("bin/MACQuillon2.pdf");
    QTest::newRow("edition 2 in share")
        << 2 << QStringList{QStringLiteral("share/quillon-converter/MACQuillon2.pdf")}
        << QStringLiteral("share/quillon-converter/MACQuillon2.pdf");
    QTest::newRow("beside the program wins")
        << 2
        << QStringList{QStringLiteral("share/quillon-converter/MACQuillon2.pdf"), QStringLiteral("bin/MACQuillon2.pdf")}
        << QStringLiteral("bin/MACQuillon2.pdf");
    QTest::newRow("edition 1 has its own guide")
        << 1 << QStringList{QStringLiteral("bin/MACQuillon2.pdf"), QStringLiteral("share/quillon-converter/MACQuillon1.pdf")}
        << QStringLiteral("share/quillon-converter/MACQuillon1.pdf");
    QTest::newRow("edition 2 does not take edition 1's")
        << 2 << QStringList{QStringLiteral("bin/MACQuillon1.pdf")} << QString();
    QTest::newRow("a folder of that name is no guide")
        << 2 << QStringList{QStringLiteral("bin/MACQuillon2.pdf/inside")} << QString();
    QTest::newRow("nothing installed") << 2 << QStringList() << QString();
}

void HelpTest::lookup()
{
    QFETCH(int, edition);
    QFETCH(QStringList, present);
    QFETCH(QString, expected);

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    for (const QString &p : present)
        touch(tmp.filePath(p));
    const QStringList folders{tmp.filePath(QStringLiteral("bin")), tmp.filePath(QStringLiteral("share/quillon-converter"))};

    const QString found = helpDocumentPath(edition, folders);
    QCOMPARE(found, expected.isEmpty() ? QString() : QFileInfo(tmp.filePath(expected)).absoluteFilePath());

    QList<QUrl> opened;
    const bool ok = helpAction(edition, [&](const QUrl &u) { opened.append(u); return true; }, folders);
    QCOMPARE(ok, !expected.isEmpty());
    if (expected.isEmpty()) {
        QVERIFY(opened.isEmpty());
    } else {
        QCOMPARE(opened.size(), 1);
        QVERIFY(opened.first().isLocalFile());
        QCOMPARE(opened.first().toLocalFile(), found);
    }
}

void HelpTest::missingGuideLogsAndOpensNothing_data()
{
    QTest::addColumn<int>("edition");
    QTest::addColumn<QString>("name");
    QTest::newRow("edition 2") << 2 << QStringLiteral("MACQuillon2.pdf");
    QTest::newRow("edition 1") << 1 << QStringLiteral("MACQuillon1.pdf");
}

void HelpTest::missingGuideLogsAndOpensNothing()
{
    QFETCH(int, edition);
    QFETCH(QString, name);
    QTemporaryDir tmp;
    int calls = 0;
    QVERIFY(!helpAction(edition, [&](const QUrl &) { ++calls; return true; }, {tmp.path()}));
    QCOMPARE(calls, 0);
    const QStringList log = capturedLog();
    QCOMPARE(log.size(), 1);
    QVERIFY2(log.first().startsWith(QLatin1String("Error in [helpAction:] : ")), qPrintable(log.first()));
    QVERIFY2(log.first().contains(name), qPrintable(log.first()));
}

void HelpTest::guideNoViewerTakesIsLogged()
{
    QTemporaryDir tmp;
    touch(tmp.filePath(QStringLiteral("MACQuillon2.pdf")));
    QVERIFY(!helpAction(2, [](const QUrl &) { return false; }, {tmp.path()}));
    const QStringList log = capturedLog();
    QCOMPARE(log.size(), 1);
    QVERIFY(log.first().startsWith(QLatin1String("Error in [helpAction:] : ")));
}

void HelpTest::builtGuide_data()
{
    QTest::addColumn<int>("edition");
    QTest::newRow("MACQuillon2") << 2;
    QTest::newRow("MACQuillon1") << 1;
}

void HelpTest::builtGuide()
{
    QFETCH(int, edition);
    // The build puts the guides in <build>/share/quillon-converter; this test
    // runs from <build>/tests, so the program's own lookup must find them.
    const QString path = helpDocumentPath(edition);
    QVERIFY2(!path.isEmpty(), qPrintable(helpDocumentFolders().join(QLatin1String(", "))));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const pdftest::PdfContent pdf = pdftest::readPdf(f.readAll());
    QVERIFY2(pdf.error.isEmpty(), qPrintable(pdf.error));
    QVERIFY(pdf.framed);
    QCOMPARE(pdf.pageCount, pdf.declaredPages);
    QVERIFY2(pdf.pageCount >= 4, qPrintable(QString::number(pdf.pageCount)));

    const QString text = pdf.flatText();
    const QString title = getAppTitle();
    QVERIFY(text.startsWith(title + QLatin1String(" User Guide")));
    QVERIFY(text.contains(QStringLiteral("Version %1").arg(QStringLiteral(QUILLON_VERSION))));
    QVERIFY(!text.contains(QLatin1String("##")));
    // What a user comes to the guide for.
    for (const char *topic : {"Adding images", "Choosing pages of multi-page TIFF files", "Combine modes",
                              "Compression", "CCITT Group 4", "PackBits", "LZW", "The output folder",
                              "Conversion logs", "Keyboard keys", "Include Subfolders", "Scan1.tiff",
                              "Process cancelled!", "Unable to load page!"})
        QVERIFY2(text.contains(QLatin1String(topic)), topic);
    // Every page but the first carries the running header; every page its number.
    for (int page = 1; page <= pdf.pageCount; ++page)
        QVERIFY(text.contains(QStringLiteral("Page %1 of %2").arg(page).arg(pdf.pageCount)));
    QCOMPARE(text.count(QStringLiteral("%1 User Guide").arg(title)), pdf.pageCount);
}

QTEST_MAIN(HelpTest)
#include "tst_help.moc"
