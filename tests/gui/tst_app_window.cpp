// The main window driven through its controls: start-up, adding files,
// the list's commands and keys, columns, page selection, drops, recent
// folders across a restart, the first-start agreement and quitting.
#include "app/FileListModel.h"
#include "app/PageSelectionDialog.h"
#include "app/Sheets.h"
#include "app/RecentFolders.h"
#include "app/SingleInstance.h"
#include "core/SharedSettings.h"
#include "app/UiLanguage.h"
#include "tst_app_support.h"
#include "usage/UsagesReportingWindowController.h"
#include "widgets/KeyCharacterButtons.h"
#include "widgets/NumberField.h"
#include "widgets/SegmentedControl.h"
#include "widgets/SplitView.h"

#include "app/UiForms.h"

#include <QAccessible>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QLocalSocket>
#include <QHeaderView>
#include <QMenu>
#include <QMimeData>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QLockFile>
#include <QThread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace quillon;
using namespace quillon::apptest;

namespace {

// The first interface under `root` with this role and name, as a screen
// reader or an automation tool would look for it.
QAccessibleInterface *findAccessible(QAccessibleInterface *root, QAccessible::Role role, const QString &name)
{
    if (!root)
        return nullptr;
    if (root->role() == role && root->text(QAccessible::Name) == name)
        return root;
    for (int i = 0; i < root->childCount(); ++i) {
        if (QAccessibleInterface *found = findAccessible(root->child(i), role, name))
            return found;
    }
    return nullptr;
}

// What a dialog is announced as: its role, object name and accessible name.
QString announced(QWidget *dialog)
{
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(dialog);
    const QString role = iface->role() == QAccessible::Dialog ? QStringLiteral("dialog")
        : iface->role() == QAccessible::AlertMessage       ? QStringLiteral("alert")
                                                            : QStringLiteral("role %1").arg(int(iface->role()));
    return QStringLiteral("%1 %2 \"%3\"").arg(role, dialog->objectName(), iface->text(QAccessible::Name));
}

// Sets the variables that choose the window's language for as long as it
// lives, then puts back what was there.
class LanguageEnvironment {
public:
    explicit LanguageEnvironment(const QStringList &values)
    {
        for (int i = 0; i < kNames.size(); ++i) {
            m_saved << qgetenv(kNames.at(i));
            m_had << qEnvironmentVariableIsSet(kNames.at(i));
            if (values.value(i).isEmpty())
                qunsetenv(kNames.at(i));
            else
                qputenv(kNames.at(i), values.at(i).toUtf8());
        }
    }
    ~LanguageEnvironment()
    {
        for (int i = 0; i < kNames.size(); ++i) {
            if (m_had.at(i))
                qputenv(kNames.at(i), m_saved.at(i));
            else
                qunsetenv(kNames.at(i));
        }
    }
    static inline const QList<const char *> kNames{"QUILLON_LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};

private:
    QList<QByteArray> m_saved;
    QList<bool> m_had;
};

} // namespace

class TestWindow : public QObject {
    Q_OBJECT
private slots:
    void commandState_data();
    void commandState();
    void uiLanguage_data();
    void uiLanguage();
    void recentFoldersMerge_data();
    void recentFoldersMerge();
    void recentFoldersSavedAfterTheLock();
    void initTestCase();
    void init();
    void cleanup();

    void startUp();
    void addFolderThroughPanel();
    void addingTwiceKeepsCheckMarks();
    void addFilesPanelFollowsSubfolderOption();
    void checkCommands_data();
    void checkCommands();
    void spaceInvertsSelectedRows();
    void selectCommands();
    void sortByHeader();
    void moveRows();
    void moveLimits();
    void removeKeys_data();
    void removeKeys();
    void removeAllAsks_data();
    void removeAllAsks();
    void totals_data();
    void totals();
    void numericFieldRule_data();
    void numericFieldRule();
    void keyLetters();
    void headerMenu();
    void contextMenuRule();
    void pageSelectionThroughF7();
    void f7IgnoredWithoutTiff();
    void doubleClick_data();
    void doubleClick();
    void revealAndGetInfo();
    void drops();
    void logsSegment();
    void importThroughSheet();
    void exportThroughPanel_data();
    void exportThroughPanel();
    void cancelLoading();
    void recentFoldersAcrossRestart();
    void missingRecentFolderAsksForFolders();
    void quitWithoutRecentFolders();
    void firstStartAgreement_data();
    void firstStartAgreement();
    void reopen();
    void singleInstance_data();
    void singleInstance();
    void accessibleCommands_data();
    void accessibleCommands();
    void accessibleList();
    void splitViewCollapseRule();
    void mainWindowState();

private:
    std::unique_ptr<QuillonAppDelegate> openWindow();
    void addFolder(QuillonAppDelegate *app, const QString &folder);
    QString makePictures(const QString &name, int count, bool withTiff = false);
    void selectRows(QuillonAppDelegate *app, const QList<int> &rows);
    QStringList names(QuillonAppDelegate *app) const;
    int checkedCount(QuillonAppDelegate *app) const;

    std::unique_ptr<Fixture> m_fx;
};

void TestWindow::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setApplicationDisplayName(QStringLiteral("Quillon Converter"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    setEdition(2);
}

void TestWindow::init() { m_fx = std::make_unique<Fixture>(); }

void TestWindow::cleanup()
{
    stopModalWatchers();
    // A failed test may leave a dialog behind.
    while (QWidget *w = QApplication::activeModalWidget())
        w->close();
    m_fx.reset();
}

std::unique_ptr<QuillonAppDelegate> TestWindow::openWindow()
{
    auto app = m_fx->makeWindow();
    if (!app->awakeFromNib())
        return nullptr;
    if (!QTest::qWaitForWindowExposed(app->window()))
        return nullptr;
    return app;
}

QString TestWindow::makePictures(const QString &name, int count, bool withTiff)
{
    const QString folder = m_fx->path(name);
    for (int i = 1; i <= count; ++i)
        writeImage(QStringLiteral("%1/img%2.png").arg(folder).arg(i, 2, 10, QLatin1Char('0')), "PNG");
    if (withTiff)
        writeMultiPageTiff(folder + QStringLiteral("/multi.tif"), 6);
    return folder;
}

void TestWindow::addFolder(QuillonAppDelegate *app, const QString &folder)
{
    app->ui()->actionAddFolder->trigger();
    OpenPanel *panel = activePanel();
    QVERIFY(panel);
    QCOMPARE(panel->message(), QStringLiteral("Select folder(s) contains Image or TIFF File(s):"));
    QVERIFY(panel->canChooseDirectories());
    QVERIFY(!panel->canChooseFiles());
    QSignalSpy done(app, &QuillonAppDelegate::loadFinished);
    choose(panel, {folder});
    QTRY_COMPARE(done.count(), 1);
    QVERIFY(!app->isLoading());
}

void TestWindow::selectRows(QuillonAppDelegate *app, const QList<int> &rows)
{
    CustomTableView *table = app->mainTableView();
    table->clearSelection();
    for (int r : rows)
        table->selectionModel()->select(app->fileListModel()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QStringList TestWindow::names(QuillonAppDelegate *app) const
{
    QStringList n;
    for (const FileItemPtr &f : app->files())
        n << f->name();
    return n;
}

int TestWindow::checkedCount(QuillonAppDelegate *app) const
{
    int n = 0;
    for (const FileItemPtr &f : app->files())
        n += f->isSelected;
    return n;
}

void TestWindow::startUp()
{
    auto app = openWindow();
    QVERIFY(app);
    QCOMPARE(app->window()->windowTitle(), QStringLiteral("Quillon Converter"));
    QVERIFY(QFileInfo(QDir(getAppPath()).filePath(QStringLiteral("Logs"))).isDir());
    SegmentedControl *files = app->filesFoldersSegmented();
    QCOMPARE(files->segmentCount(), 6);
    QCOMPARE(app->navigationSegmented()->segmentCount(), 3);
    QCOMPARE(app->commandSegmented()->segmentCount(), 2);
    QCOMPARE(app->helpSegmented()->segmentCount(), 3);
    // An empty list: remove, export and remove-all are off, and so is Convert.
    for (int s : {0, 2, 3, 5})
        QVERIFY(files->isSegmentEnabled(s));
    QVERIFY(!files->isSegmentEnabled(1));
    QVERIFY(!files->isSegmentEnabled(4));
    QVERIFY(!app->navigationSegmented()->isSegmentEnabled(2));
    QVERIFY(!app->commandSegmented()->isSegmentEnabled(1));
    QCOMPARE(app->ui()->labelTotalFiles->text(), QStringLiteral("0 Total file(s); 0 file selected; Total TIFF file(s) to create: 0"));
    QCOMPARE(app->ui()->labelTimeTaken->text(), QStringLiteral("Total Time Taken : 0 sec(s) 0/0"));
    QVERIFY(app->mainTableView()->isShowingEmptyPicture());
    QVERIFY(!app->mainTableView()->showGrid());
    QVERIFY(!app->mainTableView()->alternatingRowColors());
    QCOMPARE(app->ui()->settingTabView->currentIndex(), 0);
    QCOMPARE(app->ui()->recentFoldersPopup->itemText(0), QStringLiteral("Recent Folders..."));
    // The agreement item follows the application menu's third item.
    const QList<QAction *> appMenu = app->ui()->menuApplication->actions();
    QVERIFY(appMenu.at(3)->isSeparator());
    QCOMPARE(appMenu.at(4)->text(), QStringLiteral("End-User License Agreement..."));
    QCOMPARE(appMenu.at(4)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_L));
    QCOMPARE(appMenu.at(4)->toolTip(), QStringLiteral("End-User License Agreement"));
    // The usage store: review limit 500, the review page, three features.
    UsagesReportingWindowController *usage = app->usagesReport();
    QVERIFY(usage);
    QCOMPARE(usage->reviewFileCountLimit(), 500);
    QVERIFY(usage->isReviewEnabled());
    QVERIFY(usage->reviewURL().endsWith(QStringLiteral("/review.php?pid=2007")));
    QCOMPARE(usage->features().size(), 3);
    QCOMPARE(usage->features().at(2).name(), QStringLiteral("Group of multiple images to multi-page TIFF in group"));
    app->applicationDidFinishLaunching();
    QVERIFY(!usage->reviewPanel()); // nothing converted yet: no review prompt
}

void TestWindow::addFolderThroughPanel()
{
    auto app = openWindow();
    QVERIFY(app);
    const QString folder = makePictures(QStringLiteral("pics"), 4);
    writeImage(folder + QStringLiteral("/notes.PnG"), "PNG");
    addFolder(app.get(), folder);
    QCOMPARE(app->files().size(), 4);
    QCOMPARE(names(app.get()), (QStringList{QStringLiteral("img01.png"), QStringLiteral("img02.png"), QStringLiteral("img03.png"),
                                            QStringLiteral("img04.png")}));
    QVERIFY(app->filesFoldersSegmented()->isSegmentEnabled(1));
    QVERIFY(app->filesFoldersSegmented()->isSegmentEnabled(4));
    QVERIFY(app->navigationSegmented()->isSegmentEnabled(2));
    QVERIFY(app->commandSegmented()->isSegmentEnabled(1));
    QVERIFY(app->mainTableView()->isEnabled());
    QVERIFY(!app->mainTableView()->isShowingEmptyPicture());
    QVERIFY(app->mainTableView()->showGrid());
    QVERIFY(app->mainTableView()->alternatingRowColors());
    QVERIFY(!app->isProcessing());
    // A quick load has no time text.
    QCOMPARE(app->ui()->labelTimeTaken->text(), QStringLiteral("Total Time Taken :  0/0"));
    QCOMPARE(app->ui()->labelTotalFiles->text(), QStringLiteral("4 Total file(s); 4 file selected; Total TIFF file(s) to create: 4"));
    QCOMPARE(app->ui()->recentFoldersPopup->itemText(1), folder);
}

void TestWindow::addingTwiceKeepsCheckMarks()
{
    auto app = openWindow();
    QVERIFY(app);
    const QString folder = makePictures(QStringLiteral("pics"), 3);
    addFolder(app.get(), folder);
    app->files().at(1)->isSelected = false;
    addFolder(app.get(), folder);
    QCOMPARE(app->files().size(), 3);
    QVERIFY(!app->files().at(1)->isSelected);
    QCOMPARE(app->recentItems().size(), 1);
}

void TestWindow::addFilesPanelFollowsSubfolderOption()
{
    auto app = openWindow();
    QVERIFY(app);
    const QString folder = makePictures(QStringLiteral("pics"), 2);
    writeImage(folder + QStringLiteral("/odd.Png"), "PNG");
    // Option off: files only, and a chosen file is taken as it is.
    app->filesFoldersSegmented()->clickSegment(QuillonAppDelegate::AddFilesSegment);
    OpenPanel *panel = activePanel();
    QVERIFY(panel);
    QCOMPARE(panel->message(), QStringLiteral("Select Image or TIFF File(s):"));
    QVERIFY(!panel->canChooseDirectories());
    QVERIFY(panel->nameFilters().first().contains(QStringLiteral("*.jpeg *.JPEG")));
    {
        // The newer formats in any letter case, as a folder scan takes them; the original ones as listed.
        const QString filter = panel->nameFilters().first();
        const QStringList patterns = filter.mid(filter.indexOf(QLatin1Char('(')) + 1).chopped(1).split(QLatin1Char(' '));
        auto matched = [&patterns](const QString &name) {
            for (const QString &p : patterns)
                if (QRegularExpression(QRegularExpression::wildcardToRegularExpression(p)).match(name).hasMatch())
                    return true;
            return false;
        };
        for (const char *name : {"a.heic", "a.HEIC", "a.HeIc", "a.heif", "a.hif", "a.Avif", "a.wEbP", "a.JXL", "a.jpg", "a.TIFF"})
            QVERIFY2(matched(QLatin1String(name)), name);
        for (const char *name : {"a.Jpg", "a.txt", "a.heics"})
            QVERIFY2(!matched(QLatin1String(name)), name);
    }
    QSignalSpy done(app.get(), &QuillonAppDelegate::loadFinished);
    choose(panel, {folder + QStringLiteral("/odd.Png"), folder + QStringLiteral("/img01.png")});
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(app->files().size(), 2);
    QCOMPARE(app->recentItems().size(), 0); // files are no recent folders

    // Option on: the segment shows it, and the panel also takes folders.
    app->filesFoldersSegmented()->clickSegment(QuillonAppDelegate::SubfoldersSegment);
    QVERIFY(app->filesFoldersSegmented()->isSegmentSelected(QuillonAppDelegate::SubfoldersSegment));
    QCOMPARE(m_fx->store->value(QStringLiteral("INCLUDESUBFOLDERS")).toBool(), true);
    app->filesFoldersSegmented()->clickSegment(QuillonAppDelegate::AddFilesSegment);
    panel = activePanel();
    QVERIFY(panel);
    QVERIFY(panel->canChooseDirectories());
    const QString other = makePictures(QStringLiteral("more/deeper"), 2);
    choose(panel, {QFileInfo(other).absolutePath()});
    QTRY_COMPARE(done.count(), 2);
    QCOMPARE(app->files().size(), 4);
    QCOMPARE(app->recentItems().size(), 1);
    app->filesFoldersSegmented()->clickSegment(QuillonAppDelegate::SubfoldersSegment);
    QVERIFY(!app->filesFoldersSegmented()->isSegmentSelected(QuillonAppDelegate::SubfoldersSegment));
    QVERIFY(!app->inculdeSubfolders());
}

void TestWindow::checkCommands_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QList<bool>>("before");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QList<bool>>("after");
    const QList<bool> mixed{true, false, true, false};
    QTest::newRow("check selected") << QStringLiteral("checkSelectedBtn") << mixed << QList<int>{1, 2} << QList<bool>{true, true, true, false};
    QTest::newRow("uncheck selected") << QStringLiteral("uncheckSelectedBtn") << mixed << QList<int>{0, 1} << QList<bool>{false, false, true, false};
    QTest::newRow("invert selected") << QStringLiteral("invertSelectedBtn") << mixed << QList<int>{0, 3} << QList<bool>{false, false, true, true};
    QTest::newRow("check all") << QStringLiteral("checkAllBtn") << mixed << QList<int>{} << QList<bool>{true, true, true, true};
    QTest::newRow("uncheck all") << QStringLiteral("uncheckAllBtn") << mixed << QList<int>{2} << QList<bool>{false, false, false, false};
    QTest::newRow("invert all") << QStringLiteral("invertAllBtn") << mixed << QList<int>{} << QList<bool>{false, true, false, true};
    QTest::newRow("menu: invert selected") << QStringLiteral("actionInvertSelected") << mixed << QList<int>{1}
                                           << QList<bool>{true, true, true, false};
    QTest::newRow("menu: uncheck all") << QStringLiteral("actionUncheckAll") << mixed << QList<int>{} << QList<bool>{false, false, false, false};
}

void TestWindow::checkCommands()
{
    QFETCH(QString, control);
    QFETCH(QList<bool>, before);
    QFETCH(QList<int>, selected);
    QFETCH(QList<bool>, after);
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 4));
    for (int i = 0; i < before.size(); ++i)
        app->files().at(i)->isSelected = before.at(i);
    selectRows(app.get(), selected);
    app->ui()->settingTabView->setCurrentIndex(1);
    if (auto *button = app->window()->findChild<QAbstractButton *>(control)) {
        QVERIFY(button->isEnabled());
        QTest::mouseClick(button, Qt::LeftButton);
    } else {
        auto *action = app->window()->findChild<QAction *>(control);
        QVERIFY(action);
        QVERIFY(action->isEnabled());
        action->trigger();
    }
    QList<bool> now;
    for (const FileItemPtr &f : app->files())
        now << f->isSelected;
    QCOMPARE(now, after);
    const int checked = int(std::count(after.cbegin(), after.cend(), true));
    QCOMPARE(app->ui()->labelTotalFiles->text(),
             QStringLiteral("4 Total file(s); %1 file selected; Total TIFF file(s) to create: %1").arg(checked));
    QCOMPARE(app->fileListModel()->data(app->fileListModel()->index(0, 0), Qt::CheckStateRole).toInt(),
             after.first() ? int(Qt::Checked) : int(Qt::Unchecked));
}

void TestWindow::spaceInvertsSelectedRows()
{
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 5));
    app->files().at(1)->isSelected = false;
    app->files().at(2)->isSelected = false;
    selectRows(app.get(), {0, 1, 2});
    app->mainTableView()->setFocus();
    QTest::keyClick(app->mainTableView(), Qt::Key_Space);
    QCOMPARE(checkedCount(app.get()), 4); // rows 0..2: was 1 checked of 3, now 2; rows 3, 4 stay checked
    QVERIFY(!app->files().at(0)->isSelected);
    QVERIFY(app->files().at(1)->isSelected);
    QVERIFY(app->ui()->labelTotalFiles->text().startsWith(QStringLiteral("5 Total file(s); 4 file selected")));
}

void TestWindow::selectCommands()
{
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 4));
    app->ui()->actionSelectAll->trigger();
    QCOMPARE(app->selectedRows(), (QList<int>{0, 1, 2, 3}));
    app->ui()->actionSelectFirstRow->trigger();
    QCOMPARE(app->selectedRows(), QList<int>{0});
    // The remove segment removes the selected rows.
    selectRows(app.get(), {1, 3});
    app->filesFoldersSegmented()->clickSegment(QuillonAppDelegate::RemoveSegment);
    QCOMPARE(names(app.get()), (QStringList{QStringLiteral("img01.png"), QStringLiteral("img03.png")}));
}

void TestWindow::sortByHeader()
{
    auto app = openWindow();
    QVERIFY(app);
    const QString folder = m_fx->path(QStringLiteral("pics"));
    for (const char *n : {"scan10.png", "scan9.png", "Scan1.png"})
        writeImage(folder + QLatin1Char('/') + QLatin1String(n), "PNG");
    addFolder(app.get(), folder);
    QCOMPARE(names(app.get()), (QStringList{QStringLiteral("Scan1.png"), QStringLiteral("scan9.png"), QStringLiteral("scan10.png")}));
    QHeaderView *header = app->mainTableView()->horizontalHeader();
    const int x = header->sectionViewportPosition(FileListModel::Name) + 10;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
    // The second click sorts descending, and the list itself is in that order.
    QCOMPARE(names(app.get()), (QStringList{QStringLiteral("scan10.png"), QStringLiteral("scan9.png"), QStringLiteral("Scan1.png")}));
    QCOMPARE(header->sortIndicatorSection(), int(FileListModel::Name));
    QCOMPARE(header->sortIndicatorOrder(), Qt::DescendingOrder);
    // Files added later are sorted in by the same order.
    writeImage(folder + QStringLiteral("/scan5.png"), "PNG");
    addFolder(app.get(), folder);
    QCOMPARE(names(app.get()), (QStringList{QStringLiteral("scan10.png"), QStringLiteral("scan9.png"), QStringLiteral("scan5.png"),
                                            QStringLiteral("Scan1.png")}));
}

void TestWindow::moveRows()
{
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 10));
    const QStringList before = names(app.get());
    selectRows(app.get(), {2, 3, 6});
    QVERIFY(app->navigationSegmented()->isSegmentEnabled(0));
    QTest::mouseClick(app->navigationSegmented(), Qt::LeftButton, {}, app->navigationSegmented()->segmentRect(0).center());
    QCOMPARE(app->selectedRows(), (QList<int>{1, 2, 5}));
    QStringList expected = before;
    expected.move(2, 1);
    expected.move(3, 2);
    expected.move(6, 5);
    QCOMPARE(names(app.get()), expected);
    // Ctrl+Down moves them back.
    QTest::keyClick(app->mainTableView(), Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(names(app.get()), before);
    QCOMPARE(app->selectedRows(), (QList<int>{2, 3, 6}));
}

void TestWindow::moveLimits()
{
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 4));
    const QStringList before = names(app.get());
    selectRows(app.get(), {0, 1});
    QVERIFY(!app->navigationSegmented()->isSegmentEnabled(0));
    QVERIFY(app->navigationSegmented()->isSegmentEnabled(1));
    QTest::keyClick(app->mainTableView(), Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(names(app.get()), before);
    selectRows(app.get(), {3});
    QVERIFY(!app->navigationSegmented()->isSegmentEnabled(1));
    QVERIFY(!app->ui()->actionMoveDown->isEnabled());
    QTest::keyClick(app->mainTableView(), Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(names(app.get()), before);
    app->mainTableView()->clearSelection();
    QVERIFY(!app->navigationSegmented()->isSegmentEnabled(0));
    QVERIFY(!app->navigationSegmented()->isSegmentEnabled(1));
}

void TestWindow::removeKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("delete") << int(Qt::Key_Backspace);
    QTest::newRow("forward delete") << int(Qt::Key_Delete);
}

void TestWindow::removeKeys()
{
    QFETCH(int, key);
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 3));
    selectRows(app.get(), {0, 2});
    QTest::keyClick(app->mainTableView(), Qt::Key(key));
    QCOMPARE(names(app.get()), QStringList{QStringLiteral("img02.png")});
    QCOMPARE(app->ui()->labelTotalFiles->text(), QStringLiteral("1 Total file(s); 1 file selected; Total TIFF file(s) to create: 1"));
    selectRows(app.get(), {0});
    QTest::keyClick(app->mainTableView(), Qt::Key(key));
    QVERIFY(app->files().isEmpty());
    QVERIFY(!app->navigationSegmented()->isSegmentEnabled(2));
    QVERIFY(!app->filesFoldersSegmented()->isSegmentEnabled(1));
}

void TestWindow::removeAllAsks_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("left");
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("question");
    const QString question = QStringLiteral("Are you sure to remove all file(s)?");
    QTest::newRow("yes") << QStringLiteral("Yes") << 0 << QString() << question;
    QTest::newRow("no") << QStringLiteral("No") << 3 << QString() << question;
    QTest::newRow("German, ja") << QStringLiteral("Ja") << 0 << QStringLiteral("de") << QStringLiteral("Sollen wirklich alle Dateien entfernt werden?");
    QTest::newRow("German, nein") << QStringLiteral("Nein") << 3 << QStringLiteral("de") << QStringLiteral("Sollen wirklich alle Dateien entfernt werden?");
}

void TestWindow::removeAllAsks()
{
    QFETCH(QString, answer);
    QFETCH(int, left);
    QFETCH(QString, language);
    QFETCH(QString, question);
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 3));
    // The alert's texts are looked up when it is asked.
    const UiLanguage ui(language.isEmpty() ? QStringList() : QStringList{language});
    QCOMPARE(ui.language(), language.isEmpty() ? QStringLiteral("en") : language);
    auto seen = answerNextAlert(answer);
    app->navigationSegmented()->clickSegment(QuillonAppDelegate::RemoveAllSegment);
    QTRY_VERIFY(seen->seen);
    QCOMPARE(seen->text, QStringLiteral("Quillon Converter"));
    QCOMPARE(seen->informativeText, question);
    QTRY_COMPARE(app->files().size(), left);
    QCOMPARE(app->navigationSegmented()->isSegmentEnabled(2), left > 0);
}

void TestWindow::totals_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("groupSize");
    QTest::addColumn<int>("checked");
    QTest::addColumn<int>("toCreate");
    QTest::newRow("each image") << 0 << 2 << 7 << 7;
    QTest::newRow("one file") << 1 << 2 << 5 << 1;
    QTest::newRow("one file, none checked") << 1 << 2 << 0 << 0;
    QTest::newRow("groups of 3") << 2 << 3 << 7 << 3;
    QTest::newRow("groups, none checked") << 2 << 3 << 0 << 0;
    QTest::newRow("groups of 1") << 2 << 1 << 4 << 4;
    QTest::newRow("unknown mode") << 7 << 2 << 5 << 0;
}

void TestWindow::totals()
{
    QFETCH(int, mode);
    QFETCH(int, groupSize);
    QFETCH(int, checked);
    QFETCH(int, toCreate);
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 8));
    for (int i = 0; i < 8; ++i)
        app->files().at(i)->isSelected = i < checked;
    app->settings()->setCombineOptionIndex(mode);
    // The group size is observed: changing it refreshes the totals.
    app->settings()->setGroupMultiPageTIFFCount(groupSize);
    app->setCombineOptions(mode);
    QCOMPARE(app->ui()->labelTotalFiles->text(),
             QStringLiteral("8 Total file(s); %1 file selected; Total TIFF file(s) to create: %2").arg(checked).arg(toCreate));
    QCOMPARE(app->commandSegmented()->isSegmentEnabled(QuillonAppDelegate::ConvertSegment), toCreate > 0);
}

void TestWindow::numericFieldRule_data()
{
    QTest::addColumn<int>("tag");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("zero becomes 2") << 30001 << QStringLiteral("0") << QStringLiteral("2");
    QTest::newRow("number and letters") << 30002 << QStringLiteral("12ab") << QStringLiteral("12");
    QTest::newRow("all deleted, 30002") << 30002 << QString() << QStringLiteral("1");
    QTest::newRow("all deleted, 30001") << 30001 << QString() << QStringLiteral("2");
    QTest::newRow("letters around") << 30001 << QStringLiteral("x5y") << QStringLiteral("5");
    QTest::newRow("letters between digits stay") << 30001 << QStringLiteral("1x2") << QStringLiteral("1x2");
    QTest::newRow("only zeros") << 30002 << QStringLiteral("00") << QStringLiteral("1");
    QTest::newRow("no digit") << 30001 << QStringLiteral("abc") << QStringLiteral("2");
    QTest::newRow("other field untouched") << 0 << QStringLiteral("0") << QStringLiteral("0");
}

void TestWindow::numericFieldRule()
{
    QFETCH(int, tag);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    auto app = openWindow();
    QVERIFY(app);
    NumberField field;
    field.setTag(tag);
    field.setText(QStringLiteral("4"));
    connect(&field, &QLineEdit::textEdited, app.get(), [&] { app->controlTextDidChange(&field); });
    field.show();
    QVERIFY(QTest::qWaitForWindowExposed(&field));
    field.setFocus();
    field.selectAll();
    // Typed as one edit (a paste), so the rule sees the whole text at once.
    if (typed.isEmpty()) {
        QTest::keyClick(&field, Qt::Key_Backspace);
    } else {
        QApplication::clipboard()->setText(typed);
        QTest::keyClick(&field, Qt::Key_V, Qt::ControlModifier);
    }
    QCOMPARE(field.text(), shown);
    QVERIFY(field.hasFocus());
}

void TestWindow::keyLetters()
{
    auto app = openWindow();
    QVERIFY(app);
    auto *out = app->outputSettingPanel()->ui();
    auto *progress = app->processViewPanel()->ui();
    const QList<QPair<QAbstractButton *, QString>> marked{{out->singleImageTIFFBtn, QStringLiteral("1")},
                                                         {out->singleMultiPageTIFFBtn, QStringLiteral("2")},
                                                         {out->groupMultiPageTIFFBtn, QStringLiteral("3")},
                                                         {out->setCurrentAsDefaultOutputFolderPathBtn, QStringLiteral("d")},
                                                         {out->openFolderAfterConversionBtn, QStringLiteral("p")},
                                                         {progress->viewLogBtn, QStringLiteral("L")},
                                                         {progress->cancelProcessBtn, QStringLiteral("C")}};
    for (const auto &[button, letter] : marked) {
        QVERIFY2(keycharacter::hasMark(button), qPrintable(button->objectName()));
        QCOMPARE(button->text().mid(keycharacter::markIndex(button), 1), letter);
        QCOMPARE(button->shortcut(), QKeySequence(QStringLiteral("Alt+") + letter.toUpper())); // the mark is the key
    }
    // A title without the letter keeps its plain title; missing arguments do nothing.
    QPushButton plain(QStringLiteral("Close"));
    app->setButtonKeyCharacter(&plain, QStringLiteral("z"), Qt::red);
    QVERIFY(!keycharacter::hasMark(&plain));
    app->setButtonKeyCharacter(&plain, QString(), Qt::red);
    app->setButtonKeyCharacter(&plain, QStringLiteral("o"), QColor());
    app->setButtonKeyCharacter(nullptr, QStringLiteral("o"), Qt::red);
    QVERIFY(!keycharacter::hasMark(&plain));
    app->setButtonKeyCharacter(&plain, QStringLiteral("O"), Qt::red);
    QCOMPARE(keycharacter::markIndex(&plain), 2); // first occurrence, any case
}

void TestWindow::headerMenu()
{
    auto app = openWindow();
    QVERIFY(app);
    QMenu *menu = app->headerContextMenu();
    app->menuNeedsUpdate(menu);
    QStringList titles;
    QAction *typeItem = nullptr;
    for (QAction *a : menu->actions()) {
        titles << a->text();
        if (a->text() == QStringLiteral("Type"))
            typeItem = a;
    }
    QVERIFY(!titles.contains(QStringLiteral("Name")));
    QVERIFY(!titles.contains(QStringLiteral("Pages")));
    QVERIFY(!titles.contains(QString()));
    QVERIFY(titles.contains(QStringLiteral("Date Accessed")));
    QVERIFY(typeItem && typeItem->isChecked());
    typeItem->trigger();
    QVERIFY(app->mainTableView()->isColumnHidden(FileListModel::Type));
    app->menuNeedsUpdate(menu);
    for (QAction *a : menu->actions()) {
        if (a->text() == QStringLiteral("Type")) {
            QVERIFY(!a->isChecked());
            a->trigger();
        }
    }
    QVERIFY(!app->mainTableView()->isColumnHidden(FileListModel::Type));
    // The menu follows the columns' current order.
    app->mainTableView()->horizontalHeader()->moveSection(FileListModel::Location, 3);
    app->menuNeedsUpdate(menu);
    QCOMPARE(menu->actions().first()->text(), QStringLiteral("Location"));
    // Other menus are left alone.
    QMenu other;
    other.addAction(QStringLiteral("keep"));
    app->menuNeedsUpdate(&other);
    QCOMPARE(other.actions().size(), 1);
}

void TestWindow::contextMenuRule()
{
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 3));
    CustomTableView *table = app->mainTableView();
    QCOMPARE(table->contextMenu(), app->filesContextMenu());
    table->clearSelection();
    const QPoint below(30, table->viewport()->height() - 5);
    QContextMenuEvent none(QContextMenuEvent::Mouse, below, table->viewport()->mapToGlobal(below));
    QApplication::sendEvent(table->viewport(), &none);
    QVERIFY(!app->filesContextMenu()->isVisible());
    selectRows(app.get(), {1});
    const QPoint onRow = table->visualRect(app->fileListModel()->index(1, 1)).center();
    QContextMenuEvent some(QContextMenuEvent::Mouse, onRow, table->viewport()->mapToGlobal(onRow));
    QApplication::sendEvent(table->viewport(), &some);
    QTRY_VERIFY(app->filesContextMenu()->isVisible());
    app->filesContextMenu()->close();
}

void TestWindow::pageSelectionThroughF7()
{
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 2, true));
    const int tiffRow = int(names(app.get()).indexOf(QStringLiteral("multi.tif")));
    QVERIFY(tiffRow >= 0);
    selectRows(app.get(), {0, tiffRow});
    QVERIFY(app->ui()->actionPageSelection->isEnabled());
    QTest::keyClick(app->mainTableView(), Qt::Key_F7);
    auto *dialog = qobject_cast<PageSelectionDialog *>(QApplication::activeModalWidget());
    QVERIFY(dialog);
    auto *ui = dialog->ui();
    ui->rangesBtn->click();
    ui->pageRangeField->setFocus();
    QTest::keyClicks(ui->pageRangeField, QStringLiteral("1-2, x"));
    QVERIFY(!ui->buttonBox->button(QDialogButtonBox::Ok)->isEnabled());
    QVERIFY(!ui->errorLabel->text().isEmpty());
    ui->pageRangeField->clear();
    QTest::keyClicks(ui->pageRangeField, QStringLiteral("1-2, 5, 6-4"));
    QVERIFY(ui->buttonBox->button(QDialogButtonBox::Ok)->isEnabled());
    QTest::mouseClick(ui->buttonBox->button(QDialogButtonBox::Ok), Qt::LeftButton);
    const FileItemPtr tiff = app->files().at(tiffRow);
    QCOMPARE(tiff->selection().pageRangeType, int(SelectionRange::ByRanges));
    QCOMPARE(tiff->selection().pageRange, QStringLiteral("1-2,5-5,6-4"));
    QCOMPARE(app->fileListModel()->data(app->fileListModel()->index(tiffRow, FileListModel::Selection)).toString(),
             QStringLiteral("By Range(s)(1-2,5-5,6-4)"));
    // The PNG row was not a TIFF: its selection stays.
    QCOMPARE(app->files().at(0)->selection().pageRangeType, int(SelectionRange::AllPages));

    // Every n-th page: the step field keeps 1 or more (tag 30002).
    QTest::keyClick(app->mainTableView(), Qt::Key_F7);
    dialog = qobject_cast<PageSelectionDialog *>(QApplication::activeModalWidget());
    QVERIFY(dialog);
    QCOMPARE(dialog->ui()->pageRangeField->text(), QStringLiteral("1-2, 5, 6-4"));
    dialog->ui()->reversedStepsBtn->click();
    dialog->ui()->pageStepsReversedField->setFocus();
    dialog->ui()->pageStepsReversedField->selectAll();
    QTest::keyClicks(dialog->ui()->pageStepsReversedField, QStringLiteral("0"));
    QCOMPARE(dialog->ui()->pageStepsReversedField->text(), QStringLiteral("1"));
    QTest::keyClicks(dialog->ui()->pageStepsReversedField, QStringLiteral("3"));
    QTest::mouseClick(dialog->ui()->buttonBox->button(QDialogButtonBox::Ok), Qt::LeftButton);
    QCOMPARE(tiff->selection().pageRangeType, int(SelectionRange::ByReversedSteps));
    QCOMPARE(tiff->selection().pageStepsReversed, 3);
    QCOMPARE(app->fileListModel()->cellText(tiffRow, FileListModel::Selection), QStringLiteral("By Reversed Steps 3 every nth page."));
}

void TestWindow::f7IgnoredWithoutTiff()
{
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 2));
    selectRows(app.get(), {0, 1});
    QVERIFY(!app->ui()->actionPageSelection->isEnabled());
    QTest::keyClick(app->mainTableView(), Qt::Key_F7);
    QVERIFY(!QApplication::activeModalWidget());
}

void TestWindow::doubleClick_data()
{
    QTest::addColumn<bool>("openWorks");
    QTest::newRow("opened") << true;
    QTest::newRow("revealed when no program opens it") << false;
}

void TestWindow::doubleClick()
{
    QFETCH(bool, openWorks);
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 2));
    m_fx->desktop.openSucceeds = openWorks;
    m_fx->desktop.opened.clear();
    CustomTableView *table = app->mainTableView();
    const QPoint cell = table->visualRect(app->fileListModel()->index(1, FileListModel::Name)).center();
    QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell);
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell);
    QCOMPARE(m_fx->desktop.opened, QList<QUrl>{app->files().at(1)->filePath()});
    if (openWorks)
        QVERIFY(m_fx->desktop.shown.isEmpty());
    else
        QCOMPARE(m_fx->desktop.shown, QList<QStringList>{QStringList{app->files().at(1)->path()}});
}

void TestWindow::revealAndGetInfo()
{
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 3));
    selectRows(app.get(), {0, 2});
    const QStringList paths{app->files().at(0)->path(), app->files().at(2)->path()};
    app->ui()->actionShowInFolder->trigger();
    app->ui()->actionGetInfo->trigger();
    app->ui()->actionOpenFile->trigger();
    QCOMPARE(m_fx->desktop.shown, QList<QStringList>{paths});
    QCOMPARE(m_fx->desktop.properties, QList<QStringList>{paths});
    QCOMPARE(m_fx->desktop.opened.size(), 2);
}

void TestWindow::drops()
{
    auto app = openWindow();
    QVERIFY(app);
    const QString folder = makePictures(QStringLiteral("dropped"), 2);
    const QString single = m_fx->path(QStringLiteral("loose/one.JPG"));
    const QString mixed = m_fx->path(QStringLiteral("loose/two.Jpg"));
    writeImage(single, "JPG");
    writeImage(mixed, "JPG");
    QMimeData noFiles;
    noFiles.setText(QStringLiteral("hello"));
    QVERIFY(!app->validateDrop(&noFiles, nullptr));
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(folder), QUrl::fromLocalFile(single), QUrl::fromLocalFile(mixed), QUrl(QStringLiteral("https://example.org/a.png"))});
    // Rows dragged from the list itself are refused.
    QVERIFY(!app->validateDrop(&data, app->mainTableView()));
    QVERIFY(app->validateDrop(&data, nullptr));

    // Drop it on the table as the desktop would.
    CustomTableView *table = app->mainTableView();
    const QPoint at = table->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table->viewport(), &enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), Qt::CopyAction);
    QSignalSpy done(app.get(), &QuillonAppDelegate::loadFinished);
    QDropEvent drop(at, Qt::CopyAction | Qt::LinkAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table->viewport(), &drop);
    QTRY_COMPARE(done.count(), 1);
    QStringList n = names(app.get());
    n.sort();
    // The folder's files and the file with an accepted extension; the mixed-case one fails the scan's test.
    QCOMPARE(n, (QStringList{QStringLiteral("img01.png"), QStringLiteral("img02.png"), QStringLiteral("one.JPG")}));
    QCOMPARE(app->recentItems().size(), 1);
    QCOMPARE(app->recentItems().first().itemPath, folder);
}

void TestWindow::logsSegment()
{
    auto app = openWindow();
    QVERIFY(app);
    app->filesFoldersSegmented()->clickSegment(QuillonAppDelegate::LogsSegment);
    QCOMPARE(m_fx->desktop.opened, QList<QUrl>{QUrl::fromLocalFile(QDir(getAppPath()).filePath(QStringLiteral("Logs")))});
    QVERIFY(!app->filesFoldersSegmented()->isSegmentSelected(QuillonAppDelegate::LogsSegment));
    app->helpSegmented()->clickSegment(QuillonAppDelegate::RateSegment);
    QCOMPARE(m_fx->desktop.opened.last(), QUrl(app->usagesReport()->reviewURL()));
    app->helpSegmented()->clickSegment(QuillonAppDelegate::WebsiteSegment);
    QCOMPARE(m_fx->desktop.opened.last().host(), QStringLiteral(QUILLON_WEB_HOST));
}

void TestWindow::importThroughSheet()
{
    auto app = openWindow();
    QVERIFY(app);
    const QString folder = makePictures(QStringLiteral("pics"), 3);
    addFolder(app.get(), folder);
    app->files().first()->isSelected = false;
    const QString extra = m_fx->path(QStringLiteral("elsewhere/Scan.TIFF"));
    QVERIFY(writeMultiPageTiff(extra, 2));
    app->filesFoldersSegmented()->clickSegment(QuillonAppDelegate::ImportSegment);
    ImportFilesWindowController *sheet = app->importPanel();
    QVERIFY(sheet);
    QTRY_VERIFY(sheet->isVisible());
    QCOMPARE(QApplication::activeModalWidget(), sheet);
    sheet->ui()->importFromTextBtn->click();
    // Paths already listed are not added again; an unknown type is left out.
    sheet->ui()->importText->setPlainText(QStringLiteral("%1/img01.png\n%2\n%1/notes.txt").arg(folder, extra));
    QVERIFY(sheet->isTextMode());
    QSignalSpy done(app.get(), &QuillonAppDelegate::loadFinished);
    auto alert = answerNextAlert(QStringLiteral("OK"));
    QTest::mouseClick(sheet->ui()->importBtn, Qt::LeftButton);
    QVERIFY2(!alert->seen, qPrintable(alert->informativeText));
    QTRY_COMPARE(done.count(), 1);
    QTRY_VERIFY(!sheet->isVisible());
    QCOMPARE(app->files().size(), 4);
    QCOMPARE(app->files().last()->name(), QStringLiteral("Scan.TIFF"));
    QVERIFY(!app->files().first()->isSelected); // the listed file kept its check mark
    QCOMPARE(app->recentItems().size(), 1); // imported paths are no recent folders
}

void TestWindow::exportThroughPanel_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::newRow("no extension") << "list" << "list.txt";
    QTest::newRow("txt") << "list.txt" << "list.txt";
    QTest::newRow("upper-case TXT") << "list.TXT" << "list.TXT";
    QTest::newRow("other type") << "list.csv" << "list.csv.txt";
    QTest::newRow("dotted name") << "my.list" << "my.list.txt";
}

void TestWindow::exportThroughPanel()
{
    QFETCH(QString, typed);
    QFETCH(QString, written);
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 3));
    app->files().at(1)->isSelected = false;
    app->fileListModel()->sort(FileListModel::Name, Qt::DescendingOrder);
    app->filesFoldersSegmented()->clickSegment(QuillonAppDelegate::ExportSegment);
    OpenPanel *panel = activePanel();
    QVERIFY(panel);
    QCOMPARE(panel->message(), QStringLiteral("Export List To Tab Delimited Text File :"));
    const QString target = m_fx->path(written);
    panel->setDirectory(m_fx->path(QString()));
    panel->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->setText(typed);
    panel->accept();
    QTRY_VERIFY(QFileInfo::exists(target));
    QCOMPARE(QDir(m_fx->path(QString())).entryList({QStringLiteral("*list*")}, QDir::Files), QStringList{written});
    QFile f(target);
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = f.readAll().split('\n');
    QCOMPARE(lines.size(), 5); // header, three files, the empty text after the last line end
    QCOMPARE(lines.first(), QByteArrayLiteral("Name\tPages\tSize\tType\tModified Date\tAccessed Date\tCreated Date\tLocation"));
    // In list order, unchecked ones too.
    QVERIFY(lines.at(1).startsWith("img03.png\t1\t"));
    QVERIFY(lines.at(2).startsWith("img02.png\t1\t"));
    QVERIFY(lines.at(3).startsWith("img01.png\t1\t"));
}

void TestWindow::cancelLoading()
{
    auto app = openWindow();
    QVERIFY(app);
    const QString folder = makePictures(QStringLiteral("many"), 150);
    QSignalSpy done(app.get(), &QuillonAppDelegate::loadFinished);
    QVERIFY(app->loadURLs(Arguments{{QUrl::fromLocalFile(folder)}, true, false}));
    // While loading: busy, the list and the commands are off, Cancel is offered.
    QVERIFY(app->isProcessing());
    QVERIFY(!app->mainTableView()->isEnabled());
    QVERIFY(!app->filesFoldersSegmented()->isSegmentEnabled(0));
    QVERIFY(!app->ui()->actionAddFolder->isEnabled());
    QVERIFY(app->ui()->cancelBtn->isVisible());
    QCOMPARE(app->ui()->labelTimeTaken->text(), QStringLiteral("Total Time Taken : In Process... 0/0"));
    // A second load can't start meanwhile.
    QVERIFY(!app->loadURLs(Arguments{{QUrl::fromLocalFile(folder)}, true, false}));
    QTest::mouseClick(app->ui()->cancelBtn, Qt::LeftButton);
    QVERIFY(!app->isProcessing());
    QTRY_COMPARE(done.count(), 1);
    QVERIFY(app->files().size() <= 150);
    QVERIFY(app->mainTableView()->isEnabled());
    QVERIFY(!app->ui()->cancelBtn->isVisible());
    QVERIFY(app->filesFoldersSegmented()->isSegmentEnabled(0));
}

void TestWindow::recentFoldersAcrossRestart()
{
    const QString a = makePictures(QStringLiteral("a"), 2);
    const QString b = makePictures(QStringLiteral("b"), 3);
    {
        // Two windows open at once, each adding a folder: the one quitting last
        // keeps the other's folder too.
        auto app = openWindow();
        QVERIFY(app);
        auto other = openWindow();
        QVERIFY(other);
        addFolder(app.get(), a);
        QTest::qWait(20); // distinct dates
        addFolder(other.get(), b);
        QVERIFY(other->applicationShouldTerminate());
        QVERIFY(app->applicationShouldTerminate());
    }
    const QVariantList stored = m_fx->store->value(QStringLiteral("RECENTITEMS")).toList();
    QCOMPARE(stored.size(), 2);
    QVERIFY(stored.first().toMap().contains(QStringLiteral("lastUsedDate")));
    // Whatever order the store holds, the newest comes first.
    QVariantList reversed(stored.rbegin(), stored.rend());
    m_fx->store->setValue(QStringLiteral("RECENTITEMS"), reversed);

    auto app = openWindow();
    QVERIFY(app);
    QComboBox *popup = app->ui()->recentFoldersPopup;
    QCOMPARE(popup->count(), 3);
    QCOMPARE(popup->itemText(0), QStringLiteral("Recent Folders..."));
    QCOMPARE(popup->itemText(1), b); // newest first
    QCOMPARE(popup->itemText(2), a);

    // Choosing the title entry does nothing; choosing a folder replaces the list.
    app->recentFolderChanged(0);
    QVERIFY(!app->isLoading());
    QSignalSpy done(app.get(), &QuillonAppDelegate::loadFinished);
    app->loadURLs(Arguments{{QUrl::fromLocalFile(b)}, true, false});
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(app->files().size(), 3);
    popup->setCurrentIndex(2);
    emit popup->activated(2);
    QTRY_COMPARE(done.count(), 2);
    QCOMPARE(app->files().size(), 2);
    QCOMPARE(app->files().first()->location(), a);
    // The chosen folder moved to the top.
    QCOMPARE(popup->itemText(1), a);
    QCOMPARE(popup->currentText(), a);
}

void TestWindow::missingRecentFolderAsksForFolders()
{
    const QString gone = makePictures(QStringLiteral("gone"), 1);
    const QString other = makePictures(QStringLiteral("other"), 2);
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), gone);
    QVERIFY(QDir(gone).removeRecursively());
    QCOMPARE(app->ui()->recentFoldersPopup->itemText(1), gone);
    app->recentFolderChanged(1);
    OpenPanel *panel = activePanel();
    QVERIFY(panel);
    QCOMPARE(panel->windowTitle(), QStringLiteral("Choose folder(s):"));
    QVERIFY(!panel->canChooseFiles());
    QSignalSpy done(app.get(), &QuillonAppDelegate::loadFinished);
    choose(panel, {other});
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(app->files().size(), 2); // the list was replaced
    QCOMPARE(app->recentItems().size(), 2);
    QCOMPARE(app->ui()->recentFoldersPopup->currentText(), other);
}

void TestWindow::quitWithoutRecentFolders()
{
    auto app = openWindow();
    QVERIFY(app);
    app->settings()->setTiffCompressionIndex(4);
    app->ui()->actionQuit->setEnabled(true);
    QVERIFY(app->applicationShouldTerminate());
    QVERIFY(m_fx->store->contains(QStringLiteral("RECENTITEMS")));
    QVERIFY(m_fx->store->value(QStringLiteral("RECENTITEMS")).toList().isEmpty());
    // The settings were saved at once.
    QCOMPARE(m_fx->store->value(QStringLiteral("SETTINGS")).toMap().value(QStringLiteral("tiffCompressionIndex")).toInt(), 4);
}

void TestWindow::firstStartAgreement_data()
{
    QTest::addColumn<bool>("agree");
    QTest::newRow("agreed") << true;
    QTest::newRow("declined") << false;
}

void TestWindow::firstStartAgreement()
{
    QFETCH(bool, agree);
    m_fx->store->remove(QuillonAppDelegate::kLicenseAcceptedKey);
    int asked = 0;
    {
        auto app = m_fx->makeWindow([&] {
            ++asked;
            return agree;
        });
        QCOMPARE(app->awakeFromNib(), agree);
        // Declining stops start-up before the window shows.
        QCOMPARE(app->window()->isVisible(), agree);
    }
    QCOMPARE(asked, 1);
    QCOMPARE(m_fx->store->value(QuillonAppDelegate::kLicenseAcceptedKey).toBool(), agree);
    auto again = m_fx->makeWindow([&] {
        ++asked;
        return true;
    });
    QVERIFY(again->awakeFromNib());
    QCOMPARE(asked, agree ? 1 : 2); // a second start after agreeing does not ask
}

void TestWindow::reopen()
{
    auto app = openWindow();
    QVERIFY(app);
    QVERIFY(!app->applicationShouldHandleReopen(true));
    app->window()->hide();
    QVERIFY(app->applicationShouldHandleReopen(false));
    QVERIFY(app->window()->isVisible());

    // Another start with paths: the window comes back and adds them as a
    // drop adds them (a folder with its subfolders when that is chosen).
    m_fx->store->setValue(QuillonAppDelegate::kIncludeSubfoldersKey, true);
    const QString folder = makePictures(QStringLiteral("given"), 2);
    writeImage(folder + QStringLiteral("/inner/deep.png"), "PNG");
    const QString loose = m_fx->path(QStringLiteral("loose/one.png"));
    writeImage(loose, "PNG");
    const QString later = makePictures(QStringLiteral("later"), 3);
    app->window()->showMinimized();
    QSignalSpy done(app.get(), &QuillonAppDelegate::loadFinished);
    app->reopen({folder, loose});
    QVERIFY(!app->window()->isMinimized());
    QVERIFY(app->isLoading());
    // A start while that job runs waits for it, and is not lost.
    app->reopen({later});
    QTRY_COMPARE(done.count(), 2);
    QCOMPARE(app->files().size(), 7);
    QCOMPARE(app->recentItems().size(), 2); // folders count as recent, as dropped ones do
}

void TestWindow::singleInstance_data()
{
    QTest::addColumn<bool>("running");
    QTest::addColumn<bool>("leftover");
    QTest::addColumn<bool>("busy"); // the running window's thread does not turn meanwhile
    QTest::addColumn<QStringList>("paths");
    QTest::newRow("first start") << false << false << false << QStringList{QStringLiteral("/tmp/a.png")};
    QTest::newRow("second start hands its paths over") << true << false << false
                                                       << QStringList{QStringLiteral("/tmp/a.png"), QStringLiteral("/tmp/b c/ü.tif")};
    QTest::newRow("second start without paths") << true << false << false << QStringList{};
    // A process killed with SIGKILL leaves its socket file; nobody answers there.
    QTest::newRow("socket of a killed process") << false << true << false << QStringList{QStringLiteral("/tmp/a.png")};
    // A busy window keeps its socket and is the only one: the request waits for it.
    QTest::newRow("busy window") << true << false << true << QStringList{QStringLiteral("/tmp/a.png")};
}

void TestWindow::singleInstance()
{
    QFETCH(bool, running);
    QFETCH(bool, leftover);
    QFETCH(bool, busy);
    QFETCH(QStringList, paths);
    const QString folder = m_fx->path(QStringLiteral("run"));
    QVERIFY(QDir().mkpath(folder));
    const QString name = QStringLiteral("test.socket");
    if (leftover) {
        const QByteArray path = QFile::encodeName(QDir(folder).filePath(name));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        qstrncpy(addr.sun_path, path.constData(), sizeof addr.sun_path);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        ::close(fd);
        QVERIFY(QFileInfo::exists(QString::fromLocal8Bit(path)));
    }
    SingleInstance first(name, folder);
    if (running)
        QCOMPARE(first.start({}), SingleInstance::Primary);
    QSignalSpy asked(&first, &SingleInstance::activationRequested);

    // The second start waits for the answer, so it runs beside this event loop.
    std::atomic<int> role{-1};
    std::unique_ptr<QThread> other(QThread::create([&] {
        SingleInstance second(name, folder);
        role = second.start(paths, busy ? 500 : 3000);
        if (role == SingleInstance::Primary) {
            // It took the socket over: a third start now finds it.
            QLocalSocket probe;
            probe.connectToServer(second.socketPath());
            role = probe.waitForConnected(1000) ? role.load() : -2;
        }
    }));
    other->start();
    if (busy)
        QVERIFY(other->wait(10000)); // no event of this thread is handled meanwhile
    QTRY_VERIFY_WITH_TIMEOUT(other->isFinished(), 10000);
    const int expected = busy ? SingleInstance::Busy : (running ? SingleInstance::HandedOver : SingleInstance::Primary);
    QCOMPARE(role.load(), expected);
    if (busy) {
        QVERIFY(QFileInfo::exists(first.socketPath()));
        QCOMPARE(asked.count(), 0);
    }
    // A busy window takes the request once it is free again.
    QTRY_COMPARE(asked.count(), running ? 1 : 0);
    if (running)
        QCOMPARE(asked.at(0).at(0).toStringList(), paths);
}

void TestWindow::accessibleCommands_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<QString>("effect"); // empty: not pressable now
    // Two files listed and checked, none selected, no output folder chosen.
    QTest::newRow("add files") << "Add Files" << false << "dialog addFilesPanel \"Add Files\"";
    QTest::newRow("subfolders switch") << "Subfolders" << true << "subfolders on";
    QTest::newRow("import") << "Import" << false << "dialog importFilesPanel \"Quillon Converter \u2013 Import File List\"";
    QTest::newRow("export") << "Export" << false << "dialog exportPanel \"Export List\"";
    QTest::newRow("logs") << "Logs" << false << "opened Logs";
    QTest::newRow("website, named by its tool tip") << "Visit the Quillon Converter website" << false << "opened " QUILLON_WEB_HOST "/";
    QTest::newRow("help") << "Open the Quillon Converter help" << false << "opened MACQuillon2.pdf";
    QTest::newRow("rate") << "Rate Quillon Converter" << false << "opened " QUILLON_WEB_HOST "/review.php";
    QTest::newRow("move up without a selection") << "Move the selected files up (Ctrl+Up)" << false << "";
    QTest::newRow("remove all asks") << "Remove All" << false << "alert removeAllAlert \"Quillon Converter\"";
    QTest::newRow("output settings sheet") << "Output Settings" << false << "dialog outputSettingPanel \"Output Settings\"";
    QTest::newRow("convert asks for a folder") << "Convert" << false << "dialog outputFolderPanel \"Choose Output Folder : \"";
}

void TestWindow::accessibleCommands()
{
    QFETCH(QString, name);
    QFETCH(bool, checkable);
    QFETCH(QString, effect);
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 2));
    app->mainTableView()->clearSelection();

    // Found from the window down, as a screen reader walks it.
    QAccessibleInterface *command = findAccessible(QAccessible::queryAccessibleInterface(app->window()), QAccessible::PushButton, name);
    QVERIFY2(command, qPrintable(name));
    QCOMPARE(bool(command->state().checkable), checkable);
    QCOMPARE(bool(command->state().disabled), effect.isEmpty());
    QVERIFY(command->actionInterface());
    const QStringList actions = command->actionInterface()->actionNames();
    QCOMPARE(actions.contains(QAccessibleActionInterface::pressAction()), !effect.isEmpty());
    if (effect.isEmpty())
        return;

    const auto observed = [&]() -> QString {
        if (QWidget *modal = QApplication::activeModalWidget())
            return announced(modal);
        if (!m_fx->desktop.opened.isEmpty()) {
            const QUrl url = m_fx->desktop.opened.last();
            return QStringLiteral("opened ") + (url.isLocalFile() ? url.fileName() : url.host() + url.path());
        }
        return app->inculdeSubfolders() ? QStringLiteral("subfolders on") : QStringLiteral("subfolders off");
    };
    QCOMPARE(observed(), QStringLiteral("subfolders off"));
    command->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTRY_COMPARE(observed(), effect);
    if (checkable)
        QVERIFY(command->state().checked);
}

void TestWindow::accessibleList()
{
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 2));
    QAccessibleInterface *table = QAccessible::queryAccessibleInterface(app->mainTableView());
    QCOMPARE(table->role(), QAccessible::Table);
    QCOMPARE(table->text(QAccessible::Name), QStringLiteral("Files"));
    // Every column header is named, the check column too.
    QStringList headers;
    for (int i = 0; i < table->childCount(); ++i) {
        QAccessibleInterface *child = table->child(i);
        if (child->role() == QAccessible::ColumnHeader)
            headers << child->text(QAccessible::Name);
    }
    QVERIFY(headers.contains(QStringLiteral("Checked")));
    QVERIFY(headers.contains(QStringLiteral("Name")));
    QVERIFY2(!headers.contains(QString()), qPrintable(headers.join(u',')));
    // The check box cell says whose mark it is and whether it is set.
    QAccessibleTableInterface *cells = table->tableInterface();
    QVERIFY(cells);
    const QString first = app->files().first()->name();
    QAccessibleInterface *mark = cells->cellAt(0, FileListModel::IsSelected);
    QCOMPARE(mark->text(QAccessible::Name), first);
    QVERIFY(mark->state().checkable);
    QVERIFY(mark->state().checked);
    app->files().first()->isSelected = false;
    app->fileListModel()->reloadRows(0, 0, FileListModel::IsSelected);
    QVERIFY(!cells->cellAt(0, FileListModel::IsSelected)->state().checked);
    QCOMPARE(cells->cellAt(0, FileListModel::Name)->text(QAccessible::Name), first);
}

void TestWindow::splitViewCollapseRule()
{
    auto app = openWindow();
    QVERIFY(app);
    SplitView *split = app->ui()->mainSplitView;
    QTest::mouseDClick(split->handle(1), Qt::LeftButton);
    QVERIFY(split->isSubviewCollapsed(1));
    QVERIFY(!split->isSubviewCollapsed(0));
    QTest::mouseDClick(split->handle(1), Qt::LeftButton);
    QVERIFY(!split->isSubviewCollapsed(1));
    // Limits: the list keeps 200 px, the right pane 100 px.
    split->moveDivider(1, 10);
    QCOMPARE(split->dividerPosition(1), 200);
    split->moveDivider(1, split->width());
    QCOMPARE(split->sizes().at(1), 100);
}

void TestWindow::mainWindowState()
{
    auto app = openWindow();
    QVERIFY(app);
    app->windowDidResignMain();
    QVERIFY(!app->mainTableView()->isMainWindowState());
    QCOMPARE(app->ui()->rightBox->backgroundColor().alpha(), 0);
    app->windowDidBecomeMain();
    QVERIFY(app->mainTableView()->isMainWindowState());
    QCOMPARE(app->ui()->rightBox->backgroundColor().alpha(), 255);
}

void TestWindow::commandState_data()
{
    QTest::addColumn<bool>("viewEnabled");
    QTest::addColumn<bool>("running");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("tiffSelected");
    QTest::addColumn<int>("toCreate");
    // Expected: move up, move down, Convert, list commands, selection commands, page selection.
    QTest::addColumn<QString>("enabled");
    QTest::newRow("middle rows") << true << false << 5 << 1 << 3 << false << 5 << QStringLiteral("up down convert list selection");
    QTest::newRow("first row") << true << false << 5 << 0 << 0 << false << 5 << QStringLiteral("down convert list selection");
    QTest::newRow("last row") << true << false << 5 << 4 << 4 << false << 5 << QStringLiteral("up convert list selection");
    QTest::newRow("all rows") << true << false << 5 << 0 << 4 << false << 5 << QStringLiteral("convert list selection");
    QTest::newRow("no selection") << true << false << 5 << -1 << -1 << false << 5 << QStringLiteral("convert list");
    QTest::newRow("empty list") << true << false << 0 << -1 << -1 << false << 0 << QString();
    QTest::newRow("nothing checked") << true << false << 5 << 2 << 2 << false << 0 << QStringLiteral("up down list selection");
    QTest::newRow("a TIFF selected") << true << false << 5 << 2 << 2 << true << 1 << QStringLiteral("up down convert list selection pages");
    QTest::newRow("a job has the window") << false << false << 5 << 2 << 2 << true << 5 << QString();
    QTest::newRow("a run has the window") << true << true << 5 << 2 << 2 << false << 5 << QStringLiteral("up down list selection");
}

void TestWindow::commandState()
{
    QFETCH(bool, viewEnabled);
    QFETCH(bool, running);
    QFETCH(int, rows);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(bool, tiffSelected);
    QFETCH(int, toCreate);
    QFETCH(QString, enabled);
    CommandState c;
    c.viewEnabled = viewEnabled;
    c.running = running;
    c.rows = rows;
    c.selectionFirst = first;
    c.selectionLast = last;
    c.selectionHasMultiPage = tiffSelected;
    c.filesToCreate = toCreate;
    QStringList got;
    const QList<std::pair<QString, bool>> rules = {{QStringLiteral("up"), c.canMoveUp()},           {QStringLiteral("down"), c.canMoveDown()},
                                                   {QStringLiteral("convert"), c.canConvert()},     {QStringLiteral("list"), c.canActOnList()},
                                                   {QStringLiteral("selection"), c.canActOnSelection()}, {QStringLiteral("pages"), c.canChoosePages()}};
    for (const auto &[name, on] : rules) {
        if (on)
            got << name;
    }
    QCOMPARE(got.join(QLatin1Char(' ')), enabled);
}

namespace {
QStringList entries(const char *text) { return QString::fromLatin1(text).split(QLatin1Char(' '), Qt::SkipEmptyParts); }

// "path@day" entries; "@day" has no path, "!" is no dictionary at all.
QVariant storedRecent(const QString &entry)
{
    if (entry == QLatin1String("!"))
        return QStringLiteral("not a folder record");
    RecentItem item(entry.section(QLatin1Char('@'), 0, 0));
    item.lastUsedDate = QDateTime(QDate(2026, 1, 1), QTime(12, 0)).addDays(entry.section(QLatin1Char('@'), 1).toInt());
    return item.getData();
}
} // namespace

void TestWindow::recentFoldersMerge_data()
{
    QTest::addColumn<QStringList>("local");
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("merged");
    const QStringList none;
    QTest::newRow("another window's folder is kept") << entries("/a@1") << entries("/b@2") << entries("/a@1 /b@2");
    QTest::newRow("a later use elsewhere wins") << entries("/a@1") << entries("/a@5") << entries("/a@5");
    QTest::newRow("an earlier use elsewhere loses") << entries("/a@5") << entries("/a@1") << entries("/a@5");
    QTest::newRow("damaged entries are left out") << entries("/a@1") << entries("@3 ! /b@2") << entries("/a@1 /b@2");
    QTest::newRow("nothing stored") << entries("/a@1 /b@2") << none << entries("/a@1 /b@2");
    QTest::newRow("only stored") << none << entries("/b@2 /a@1") << entries("/b@2 /a@1");
}

void TestWindow::recentFoldersMerge()
{
    QFETCH(QStringList, local);
    QFETCH(QStringList, stored);
    QFETCH(QStringList, merged);
    QList<RecentItem> items;
    for (const QString &entry : local) {
        RecentItem item;
        item.setData(storedRecent(entry));
        items << item;
    }
    QVariantList storedList;
    for (const QString &entry : stored)
        storedList << storedRecent(entry);
    QStringList got;
    for (const RecentItem &item : RecentFolders::merge(items, storedList))
        got << QStringLiteral("%1@%2").arg(item.itemPath).arg(QDateTime(QDate(2026, 1, 1), QTime(12, 0)).daysTo(item.lastUsedDate));
    QCOMPARE(got, merged);
}

// A save that waits for the store's lock writes the list as it was saved,
// even when the list has changed or gone (its window closed) meanwhile.
void TestWindow::recentFoldersSavedAfterTheLock()
{
    QSettings *store = m_fx->store.get();
    auto folders = std::make_unique<RecentFolders>();
    folders->add({QStringLiteral("/a")});
    QLockFile held(store->fileName() + QStringLiteral(".update.lock"));
    QVERIFY(held.tryLock(0));
    folders->save(store);
    QCOMPARE(pendingSharedSettings(store), 1);
    folders->add({QStringLiteral("/b")});
    folders.reset();
    held.unlock();
    QTRY_COMPARE_WITH_TIMEOUT(pendingSharedSettings(store), 0, 10000);
    QSettings fresh(store->fileName(), QSettings::IniFormat);
    RecentFolders read;
    read.restore(&fresh);
    QCOMPARE(read.items().size(), 1);
    QCOMPARE(read.items().first().itemPath, QStringLiteral("/a"));
}

void TestWindow::uiLanguage_data()
{
    // QUILLON_LANG, LANGUAGE, LC_ALL, LC_MESSAGES, LANG; the language installed.
    QTest::addColumn<QStringList>("environment");
    QTest::addColumn<QString>("installed");
    QTest::newRow("nothing set") << QStringList{} << QStringLiteral("en");
    QTest::newRow("German locale") << QStringList{{}, {}, {}, {}, QStringLiteral("de_DE.UTF-8")} << QStringLiteral("de");
    QTest::newRow("Austrian locale finds German") << QStringList{{}, {}, {}, {}, QStringLiteral("de_AT.UTF-8@euro")} << QStringLiteral("de");
    QTest::newRow("LC_ALL before LANG") << QStringList{{}, {}, QStringLiteral("C"), {}, QStringLiteral("de_DE.UTF-8")} << QStringLiteral("en");
    QTest::newRow("LC_MESSAGES before LANG") << QStringList{{}, {}, {}, QStringLiteral("de_CH.UTF-8"), QStringLiteral("en_GB.UTF-8")} << QStringLiteral("de");
    QTest::newRow("LANGUAGE before the locale") << QStringList{{}, QStringLiteral("en_US"), {}, {}, QStringLiteral("de_DE.UTF-8")} << QStringLiteral("en");
    QTest::newRow("LANGUAGE passes over a missing catalogue") << QStringList{{}, QStringLiteral("fr:de"), {}, {}, QStringLiteral("en_US.UTF-8")} << QStringLiteral("de");
    QTest::newRow("QUILLON_LANG before all") << QStringList{QStringLiteral("de"), QStringLiteral("en"), QStringLiteral("en_US.UTF-8"), {}, {}} << QStringLiteral("de");
    QTest::newRow("QUILLON_LANG English on a German desktop") << QStringList{QStringLiteral("en"), QStringLiteral("de"), {}, {}, QStringLiteral("de_DE.UTF-8")} << QStringLiteral("en");
    QTest::newRow("QUILLON_LANG written with a dash") << QStringList{QStringLiteral("de-DE")} << QStringLiteral("de");
    QTest::newRow("no catalogue at all") << QStringList{QStringLiteral("fr"), QStringLiteral("it:es"), {}, {}, QStringLiteral("pt_BR.UTF-8")} << QStringLiteral("en");
}

// The order the window's language is chosen in, and what each choice installs.
void TestWindow::uiLanguage()
{
    QFETCH(QStringList, environment);
    QFETCH(QString, installed);
    const LanguageEnvironment env(environment);
    const UiLanguage language;
    QCOMPARE(language.language(), installed);
    const QString convert = QCoreApplication::translate("MainWindow", "Convert");
    QCOMPARE(convert, installed == QLatin1String("de") ? QStringLiteral("Konvertieren") : QStringLiteral("Convert"));
    // Qt's own buttons speak the same language (its catalogue is a package of its own).
    QDialogButtonBox box(QDialogButtonBox::Cancel);
    const QString cancel = box.button(QDialogButtonBox::Cancel)->text().remove(QLatin1Char('&'));
    QCOMPARE(cancel, installed == QLatin1String("de") ? QStringLiteral("Abbrechen") : QStringLiteral("Cancel"));
    QCOMPARE(language.hasQtCatalogue(), installed == QLatin1String("de"));
}

QTEST_MAIN(TestWindow)
#include "tst_app_window.moc"
