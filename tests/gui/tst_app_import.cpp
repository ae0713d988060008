#include "app/ImportFilesWindowController.h"
#include "core/FolderScan.h"
#include "ui_ImportFiles.h"
#include "widgets/KeyCharacterButtons.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

struct Recorder : ImportFilesWindowControllerDelegate {
    QList<QUrl> received;
    int calls = 0;
    void ImportFilesWindowControllerDidFinish(ImportFilesWindowController *c) override
    {
        ++calls;
        received = c->files;
    }
};

} // namespace

class TestImport : public QObject {
    Q_OBJECT
private slots:
    void init();
    void parseText_data();
    void parseText();
    void parseFileNeedsUtf8();
    void emptyInputAlerts_data();
    void emptyInputAlerts();
    void importHandsOverTheList();
    void pasteShowsAcceptedPaths();
    void reopenKeepsModeButEmpties();
    void keyLettersMarked();

private:
    std::unique_ptr<ImportFilesWindowController> m_sheet;
    Recorder m_recorder;
    QTemporaryDir m_dir;
};

// A radio button takes clicks on its indicator and title only, not on the rest of its row.
static void clickRadio(QAbstractButton *radio)
{
    QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(8, radio->height() / 2));
}

static QString alertDuring(const std::function<void()> &action)
{
    QString seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                seen = box->informativeText().isEmpty() ? box->text() : box->informativeText();
                box->done(QMessageBox::Ok);
                return;
            }
        }
    });
    poll.start(10);
    action();
    return seen;
}

void TestImport::init()
{
    m_sheet = std::make_unique<ImportFilesWindowController>();
    m_sheet->allowedTypes = quillon::allowedFileTypes().join(QLatin1Char(','));
    m_recorder = Recorder();
    m_sheet->delegate = &m_recorder;
}

void TestImport::parseText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("case-insensitive, duplicates dropped")
        << QStringLiteral("/p/a.jpg\n/p/b.JPG\n/p/c.Tiff\n/p/d.txt\n/p/a.jpg")
        << QStringList{QStringLiteral("/p/a.jpg"), QStringLiteral("/p/b.JPG"), QStringLiteral("/p/c.Tiff")};
    QTest::newRow("CRLF keeps only a last line without line end")
        << QStringLiteral("/p/a.jpg\r\n/p/b.png\r\n/p/c.gif") << QStringList{QStringLiteral("/p/c.gif")};
    QTest::newRow("blank after extension refused") << QStringLiteral("/p/a.jpg \n\n/p/b.bmp") << QStringList{QStringLiteral("/p/b.bmp")};
    QTest::newRow("blank before path is relative")
        << QStringLiteral(" /p/a.png") << QStringList{QDir::current().absoluteFilePath(QStringLiteral(" /p/a.png"))};
    QTest::newRow("dot folder is no extension") << QStringLiteral("/p/x.jpg/readme\n/p/.png") << QStringList{};
    QTest::newRow("leading double slash is a local path")
        << QStringLiteral("//['pictures/a.jpg\n///p/b.png\n/p/b.png")
        << QStringList{QStringLiteral("/['pictures/a.jpg"), QStringLiteral("/p/b.png")};
    QTest::newRow("newer formats in any letter case")
        << QStringLiteral("/p/a.heic\n/p/b.HeIf\n/p/c.HIF\n/p/d.Avif\n/p/e.wEbP\n/p/f.JXL\n/p/g.heics")
        << QStringList{QStringLiteral("/p/a.heic"), QStringLiteral("/p/b.HeIf"), QStringLiteral("/p/c.HIF"), QStringLiteral("/p/d.Avif"),
                       QStringLiteral("/p/e.wEbP"), QStringLiteral("/p/f.JXL")};
    QTest::newRow("empty") << QString() << QStringList{};
}

void TestImport::parseText()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    m_sheet->parseText(text);
    QStringList got;
    for (const QUrl &u : m_sheet->files)
        got << u.toLocalFile();
    QCOMPARE(got, expected);
    QCOMPARE(m_sheet->ui()->totalFilesFound->text(), QStringLiteral("Total Files Found : %1").arg(expected.size()));
}

void TestImport::parseFileNeedsUtf8()
{
    const QString good = m_dir.filePath(QStringLiteral("good.txt"));
    QFile g(good);
    QVERIFY(g.open(QIODevice::WriteOnly));
    g.write("/p/\xc3\xa9t\xc3\xa9.jpg\n/p/b.png\n");
    g.close();
    m_sheet->parseFile(good);
    QCOMPARE(m_sheet->files.size(), 2);
    QCOMPARE(m_sheet->files.first().toLocalFile(), QStringLiteral("/p/\u00e9t\u00e9.jpg"));
    QCOMPARE(m_sheet->ui()->importFile->text(), good);

    const QString latin1 = m_dir.filePath(QStringLiteral("latin1.txt"));
    QFile l(latin1);
    QVERIFY(l.open(QIODevice::WriteOnly));
    l.write("/p/\xe9t\xe9.jpg\n/p/b.png\n");
    l.close();
    m_sheet->parseFile(latin1);
    QVERIFY(m_sheet->files.isEmpty());
    m_sheet->parseFile(m_dir.filePath(QStringLiteral("missing.txt")));
    QVERIFY(m_sheet->files.isEmpty());
    QCOMPARE(m_sheet->ui()->totalFilesFound->text(), QStringLiteral("Total Files Found : 0"));
}

void TestImport::emptyInputAlerts_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("alert");
    QTest::newRow("file mode, no path") << 0 << QString() << QStringLiteral("Please select file to import!");
    QTest::newRow("text mode, no text") << 1 << QString() << QStringLiteral("Please paste file(s) path to import!");
    QTest::newRow("text mode, nothing accepted") << 1 << QStringLiteral("/p/a.txt") << QStringLiteral("No File(s) Found!");
    QTest::newRow("file mode, unreadable file") << 0 << QStringLiteral("/nonexistent/list.txt") << QStringLiteral("No File(s) Found!");
}

void TestImport::emptyInputAlerts()
{
    QFETCH(int, mode);
    QFETCH(QString, input);
    QFETCH(QString, alert);
    m_sheet->open();
    QVERIFY(QTest::qWaitForWindowExposed(m_sheet.get()));
    clickRadio(mode == 0 ? m_sheet->ui()->importFromFileBtn : m_sheet->ui()->importFromTextBtn);
    if (mode == 0)
        m_sheet->ui()->importFile->setText(input);
    else
        m_sheet->ui()->importText->setPlainText(input);
    const QString seen = alertDuring([&] { QTest::mouseClick(m_sheet->ui()->importBtn, Qt::LeftButton); });
    QCOMPARE(seen, alert);
    QVERIFY(m_sheet->isVisible()); // the sheet stays open
    QCOMPARE(m_recorder.calls, 0);
}

void TestImport::importHandsOverTheList()
{
    m_sheet->open();
    QVERIFY(QTest::qWaitForWindowExposed(m_sheet.get()));
    clickRadio(m_sheet->ui()->importFromTextBtn);
    QVERIFY(m_sheet->isTextMode());
    QTest::keyClicks(m_sheet->ui()->importText, QStringLiteral("/p/one.png"));
    QTest::mouseClick(m_sheet->ui()->importBtn, Qt::LeftButton);
    QCOMPARE(m_recorder.calls, 1);
    QCOMPARE(m_recorder.received, QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/p/one.png"))});
    QTRY_VERIFY(!m_sheet->isVisible());
    // The main window keeps its own copy: emptying the sheet leaves it alone.
    m_sheet->resetView();
    QCOMPARE(m_recorder.received.size(), 1);
}

void TestImport::pasteShowsAcceptedPaths()
{
    m_sheet->importMethodChanged(ImportFilesWindowController::TextMode);
    QApplication::clipboard()->setText(QStringLiteral("/a/x.jpg\nnotes\n/a/y.GIF\n/a/x.jpg\n"));
    QTest::mouseClick(m_sheet->ui()->pasteFromClipboardBtn, Qt::LeftButton);
    QCOMPARE(m_sheet->ui()->importText->toPlainText(), QStringLiteral("/a/x.jpg\n/a/y.GIF"));
    QCOMPARE(m_sheet->ui()->totalFilesFound->text(), QStringLiteral("Total Files Found : 2"));
    // File mode disables pasting.
    m_sheet->importMethodChanged(ImportFilesWindowController::FileMode);
    QVERIFY(!m_sheet->ui()->pasteFromClipboardBtn->isEnabled());
    QVERIFY(m_sheet->ui()->browseBtn->isEnabled());
    m_sheet->importMethodChanged(7);
    QVERIFY(!m_sheet->isFileMode() && !m_sheet->isTextMode());
    QVERIFY(!m_sheet->ui()->browseBtn->isEnabled());
}

void TestImport::reopenKeepsModeButEmpties()
{
    m_sheet->importMethodChanged(ImportFilesWindowController::TextMode);
    m_sheet->ui()->importText->setPlainText(QStringLiteral("/p/a.png"));
    m_sheet->parseText(QStringLiteral("/p/a.png"));
    m_sheet->resetView();
    QVERIFY(m_sheet->isTextMode());
    QVERIFY(m_sheet->ui()->importText->toPlainText().isEmpty());
    QVERIFY(m_sheet->files.isEmpty());
    QCOMPARE(m_sheet->ui()->totalFilesFound->text(), QStringLiteral("Total Files Found : 0"));
}

void TestImport::keyLettersMarked()
{
    QCOMPARE(keycharacter::markIndex(m_sheet->ui()->importFromFileBtn), int(m_sheet->ui()->importFromFileBtn->text().lastIndexOf(QLatin1Char('F'))));
    QCOMPARE(keycharacter::markIndex(m_sheet->ui()->importFromTextBtn), int(m_sheet->ui()->importFromTextBtn->text().lastIndexOf(QLatin1Char('T'))));
    QCOMPARE(keycharacter::markIndex(m_sheet->ui()->pasteFromClipboardBtn), 0);
    QCOMPARE(keycharacter::markIndex(m_sheet->ui()->importBtn), 0);
    QCOMPARE(m_sheet->ui()->importFromFileBtn->shortcut(), QKeySequence(QStringLiteral("Alt+F")));
    QCOMPARE(m_sheet->ui()->importFromTextBtn->shortcut(), QKeySequence(QStringLiteral("Alt+T")));
    QCOMPARE(m_sheet->ui()->pasteFromClipboardBtn->shortcut(), QKeySequence(QStringLiteral("Alt+P")));
    QCOMPARE(m_sheet->ui()->importBtn->shortcut(), QKeySequence(QStringLiteral("Alt+I")));
    QPushButton plain(QStringLiteral("Close"));
    m_sheet->setButtonKeyCharacter(&plain, QStringLiteral("z"), Qt::red, 1);
    QVERIFY(!keycharacter::hasMark(&plain));
}

QTEST_MAIN(TestImport)
#include "tst_app_import.moc"
