// Edition 1's window: the settings pane and its stored visibility, the
// collapsed right pane, the toolbar, the command buttons and their enabling,
// Convert's own checks, the hint label and Get Info per file.
#include "app/Edition1Window.h"
#include "core/AppFolders.h"
#include "app/FileListModel.h"
#include "app/Sheets.h"
#include "app/UiForms.h"
#include "app/UiLanguage.h"
#include "tst_app_support.h"
#include "widgets/KeyCharacterButtons.h"

#include <QAccessible>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QScrollArea>
#include <QSignalSpy>
#include <QDir>
#include <QScopeGuard>
#include <QStackedWidget>
#include <QTabWidget>
#include <QToolBar>

using namespace quillon;
using namespace quillon::apptest;

class TestEdition1Window : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void settingsPaneFirstStart();
    void settingsPaneSurvivesRestart();
    void modeOneSecondLabel();
    void escapeInPaneKeepsTheForm();
    void rightPaneCollapsedAtEveryStart();
    void toolbar();
    void keyLetters_data();
    void keyLetters();
    void resetViewEnabling_data();
    void resetViewEnabling();
    void hintLabelFollowsList();
    void moveButtonsAndKeys();
    void combineChecks_data();
    void combineChecks();
    void stoppedRunShowsHiddenPane();
    void runConvertsIntoOutputFolder();
    void noRecentFoldersHeaderMenuOrDoubleClick();
    void includeSubfoldersCheckBox();
    void getInfoPerFile();
    void getInfoUriCannotBeSteered_data();
    void getInfoUriCannotBeSteered();

private:
    std::unique_ptr<QuillonAppDelegate> openWindow();
    QString makePictures(const QString &name, int count);
    void addFolder(QuillonAppDelegate *app, const QString &folder);
    void selectRows(QuillonAppDelegate *app, const QList<int> &rows);
    std::unique_ptr<Fixture> m_fx;
};

void TestEdition1Window::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QApplication::setApplicationDisplayName(QStringLiteral("Quillon Converter"));
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    setEdition(1);
}

void TestEdition1Window::init() { m_fx = std::make_unique<Fixture>(); }

void TestEdition1Window::cleanup()
{
    stopModalWatchers();
    while (QWidget *w = QApplication::activeModalWidget())
        w->close();
    m_fx.reset();
}

std::unique_ptr<QuillonAppDelegate> TestEdition1Window::openWindow()
{
    auto app = m_fx->makeWindow();
    if (!app->awakeFromNib())
        return nullptr;
    if (!QTest::qWaitForWindowExposed(app->window()))
        return nullptr;
    return app;
}

QString TestEdition1Window::makePictures(const QString &name, int count)
{
    const QString folder = m_fx->path(name);
    for (int i = 1; i <= count; ++i)
        writeImage(QStringLiteral("%1/img%2.png").arg(folder).arg(i, 2, 10, QLatin1Char('0')), "PNG");
    return folder;
}

void TestEdition1Window::addFolder(QuillonAppDelegate *app, const QString &folder)
{
    app->edition1().addFolderBtn->click();
    OpenPanel *panel = activePanel();
    QVERIFY(panel);
    QSignalSpy done(app, &QuillonAppDelegate::loadFinished);
    choose(panel, {folder});
    QTRY_COMPARE(done.count(), 1);
}

void TestEdition1Window::selectRows(QuillonAppDelegate *app, const QList<int> &rows)
{
    CustomTableView *table = app->mainTableView();
    table->clearSelection();
    for (int r : rows)
        table->selectionModel()->select(app->fileListModel()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

void TestEdition1Window::settingsPaneFirstStart()
{
    QVERIFY(!m_fx->store->contains(QuillonAppDelegate::kShowSettingsKey));
    auto app = openWindow();
    QVERIFY(app);
    QCOMPARE(m_fx->store->value(QuillonAppDelegate::kShowSettingsKey).toBool(), true);
    QVERIFY(app->edition1Window()->isShowingSettings());
    QVERIFY(app->ui()->rightBox->isVisible());
    QVERIFY(app->edition1().preferencesToolbarItem->isChecked());
    QCOMPARE(app->ui()->settingTabView->currentIndex(), 0);

    // The toolbar item hides it and remembers; showSettings alone does not.
    app->edition1().preferencesToolbarItem->trigger();
    QVERIFY(!app->ui()->rightBox->isVisible());
    QVERIFY(app->edition1().dummyToolbarItem->isChecked());
    QCOMPARE(m_fx->store->value(QuillonAppDelegate::kShowSettingsKey).toBool(), false);
    app->edition1Window()->showSettings(true);
    QVERIFY(app->ui()->rightBox->isVisible());
    QCOMPARE(m_fx->store->value(QuillonAppDelegate::kShowSettingsKey).toBool(), false);

    // At the window's smallest size no control of the form lies over another.
    app->window()->resize(1, 1); // held at its minimum
    QTRY_COMPARE(app->window()->size(), app->window()->minimumSize());
    QApplication::processEvents();
    QWidget *form = app->outputSettingPanel();
    QList<QWidget *> parents = form->findChildren<QWidget *>();
    parents << form;
    for (QWidget *parent : std::as_const(parents)) {
        QList<QWidget *> shown;
        for (QObject *child : parent->children())
            if (auto *w = qobject_cast<QWidget *>(child); w && w->isVisible() && !w->isWindow())
                shown << w;
        for (qsizetype i = 0; i < shown.size(); ++i)
            for (qsizetype j = i + 1; j < shown.size(); ++j)
                QVERIFY2(!shown[i]->geometry().intersects(shown[j]->geometry()),
                         qPrintable(shown[i]->objectName() + QLatin1String(" over ") + shown[j]->objectName()));
    }
    app.reset();

    // Nor is any control cut off at the pane's edge, in English or in German (longer words).
    for (const char *language : {"en_US", "de_DE"}) {
        const UiLanguage translated({QString::fromLatin1(language)});
        auto shown = openWindow();
        QVERIFY(shown);
        shown->edition1Window()->showSettings(true);
        shown->outputSettingPanel()->ui()->tiffCompressionPopup->setCurrentIndex(6); // with its level row
        shown->window()->resize(1, 1);
        QTRY_COMPARE(shown->window()->size(), shown->window()->minimumSize());
        QApplication::processEvents();
        auto *scroll = shown->window()->findChild<QScrollArea *>(QStringLiteral("conversionScroll"));
        QVERIFY(scroll);
        const int visibleWidth = scroll->viewport()->width();
        for (QWidget *w : shown->outputSettingPanel()->findChildren<QWidget *>()) {
            if (!w->isVisible() || !scroll->widget()->isAncestorOf(w) || w->parentWidget() != shown->outputSettingPanel())
                continue;
            const int right = w->mapTo(scroll->viewport(), QPoint(w->width(), 0)).x();
            QVERIFY2(right <= visibleWidth, qPrintable(QStringLiteral("%1: %2 ends at %3 of %4")
                                                           .arg(QLatin1String(language), w->objectName()).arg(right).arg(visibleWidth)));
        }
    }
}

void TestEdition1Window::escapeInPaneKeepsTheForm()
{
    auto app = openWindow();
    QVERIFY(app);
    auto *out = app->outputSettingPanel()->ui();
    app->setCombineOptions(2);
    QVERIFY(app->outputSettingPanel()->isVisible());
    out->groupMultiPageTIFFName->setFocus();
    out->groupMultiPageTIFFName->setText(QStringLiteral("Typed"));
    QTest::keyClick(out->groupMultiPageTIFFName, Qt::Key_Escape);
    // The form lives in the pane: Escape takes the text but never hides the form.
    QVERIFY(app->outputSettingPanel()->isVisible());
    QVERIFY(out->groupMultiPageTIFFName->isVisible());
    QCOMPARE(app->settings()->groupMultiPageTIFFName(), QStringLiteral("Typed"));
}

void TestEdition1Window::modeOneSecondLabel()
{
    auto app = openWindow();
    QVERIFY(app);
    QLabel *label2 = app->edition1().singleMultiPageTIFFLabel2;
    QVERIFY(label2);
    QCOMPARE(label2->text(), QStringLiteral(".tiff"));
    QVERIFY(label2->isVisible());
    auto *ui = app->outputSettingPanel()->ui();
    const QPalette pal = app->window()->palette();
    for (QAbstractButton *mode : {ui->singleMultiPageTIFFBtn, ui->groupMultiPageTIFFBtn, ui->singleMultiPageTIFFBtn}) {
        QTest::mouseClick(mode, Qt::LeftButton);
        const bool on = mode == ui->singleMultiPageTIFFBtn;
        // Coloured like the first mode-1 label, whichever mode is on.
        QCOMPARE(label2->palette().color(QPalette::WindowText), ui->singleMultiPageTIFFLabel1->palette().color(QPalette::WindowText));
        QCOMPARE(label2->palette().color(QPalette::WindowText),
                 pal.color(on ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    }
}

void TestEdition1Window::settingsPaneSurvivesRestart()
{
    {
        auto app = openWindow();
        QVERIFY(app);
        app->edition1Window()->toggleSettings();
        QVERIFY(!app->ui()->rightBox->isVisible());
        app->applicationShouldTerminate();
    }
    auto again = openWindow();
    QVERIFY(again);
    QVERIFY(!again->edition1Window()->isShowingSettings());
    QVERIFY(!again->ui()->rightBox->isVisible());
    again->edition1Window()->toggleSettings();
    QVERIFY(again->ui()->rightBox->isVisible());
    QCOMPARE(m_fx->store->value(QuillonAppDelegate::kShowSettingsKey).toBool(), true);
}

void TestEdition1Window::rightPaneCollapsedAtEveryStart()
{
    {
        auto app = openWindow();
        QVERIFY(app);
        QVERIFY(app->edition1Window()->isRightViewCollapsed());
        QVERIFY(!app->edition1().rightPane->isVisible());
        app->edition1Window()->toggleRightView();
        QVERIFY(!app->edition1Window()->isRightViewCollapsed());
        QVERIFY(app->edition1().rightPane->isVisible());
        QVERIFY(app->edition1().rightPane->width() > 0);
        app->applicationShouldTerminate();
    }
    auto again = openWindow();
    QVERIFY(again);
    QVERIFY(again->edition1Window()->isRightViewCollapsed());
}

void TestEdition1Window::toolbar()
{
    auto app = openWindow();
    QVERIFY(app);
    QToolBar *bar = app->edition1().toolbar;
    QVERIFY(bar);
    QVERIFY(!bar->isMovable());
    QCOMPARE(bar->contextMenuPolicy(), Qt::PreventContextMenu);
    // A second set-up finds the item and adds none.
    app->setupToolbarAndMenuItems();
    const QList<QAction *> items = bar->actions();
    int abouts = 0;
    for (QAction *a : items)
        abouts += a->objectName() == QLatin1String("ABOUT");
    QCOMPARE(abouts, 1);
    QAction *about = items.first();
    QCOMPARE(about->objectName(), QStringLiteral("ABOUT"));
    QCOMPARE(about->text(), QStringLiteral("About"));
    QCOMPARE(about->property("paletteLabel").toString(), QStringLiteral("ABOUT"));
    QCOMPARE(about->toolTip(), QStringLiteral("About Quillon Converter"));
    QVERIFY(!about->icon().isNull());
    QVERIFY(items.contains(app->edition1().exportToolbarItem));
    about->trigger();
    auto shownAbout = [] {
        const QWidgetList all = QApplication::allWidgets();
        for (QWidget *w : all) {
            if (w->isVisible() && w->objectName() == QLatin1String("About"))
                return w;
        }
        return static_cast<QWidget *>(nullptr);
    };
    QTRY_VERIFY(shownAbout());
    shownAbout()->close();
}

void TestEdition1Window::keyLetters_data()
{
    QTest::addColumn<int>("edition");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("letter");
    // Any of "files" (two listed), "folder" (an output folder chosen), "threshold" (the fixed threshold chosen),
    // "deflate" or "jpeg" (that compression chosen)
    QTest::addColumn<QString>("setUp");
    // Edition 1's window holds its list commands and the output form.
    QTest::newRow("remove") << 1 << "removeBtn" << "r" << "files";
    QTest::newRow("import") << 1 << "importBtn" << "i" << "";
    QTest::newRow("add files") << 1 << "addFilesBtn" << "f" << "";
    QTest::newRow("add folder") << 1 << "addFolderBtn" << "o" << "";
    QTest::newRow("include subfolders") << 1 << "inculdeSubfoldersBtn" << "u" << "";
    QTest::newRow("convert") << 1 << "convertBtn" << "c" << "files folder";
    // Edition 2 shows the same form in a sheet of its own.
    for (int edition : {1, 2}) {
        const QByteArray at = edition == 1 ? "pane" : "sheet";
        QTest::addRow("%s: each image", at.constData()) << edition << "singleImageTIFFBtn" << "1" << "";
        QTest::addRow("%s: one file", at.constData()) << edition << "singleMultiPageTIFFBtn" << "2" << "";
        QTest::addRow("%s: groups", at.constData()) << edition << "groupMultiPageTIFFBtn" << "3" << "";
        QTest::addRow("%s: keep as default", at.constData()) << edition << "setCurrentAsDefaultOutputFolderPathBtn" << "d" << "folder";
        QTest::addRow("%s: open folder after", at.constData()) << edition << "openFolderAfterConversionBtn" << "p" << "folder";
        QTest::addRow("%s: files at once", at.constData()) << edition << "jobsSpinBox" << "a" << "";
        QTest::addRow("%s: black and white", at.constData()) << edition << "bilevelMethodPopup" << "b" << "";
        QTest::addRow("%s: level", at.constData()) << edition << "bilevelThresholdSpinBox" << "v" << "threshold";
        QTest::addRow("%s: name taken", at.constData()) << edition << "existingFilesPopup" << "n" << "";
        QTest::addRow("%s: compression level", at.constData()) << edition << "compressionLevelSpinBox" << "e" << "deflate";
        QTest::addRow("%s: jpeg quality", at.constData()) << edition << "jpegQualitySpinBox" << "q" << "jpeg";
        QTest::addRow("%s: resolution", at.constData()) << edition << "resolutionPopup" << "t" << "";
        QTest::addRow("%s: keep metadata", at.constData()) << edition << "keepMetadataBtn" << "m" << "";
        QTest::addRow("%s: recreate folders", at.constData()) << edition << "mirrorFoldersBtn" << "s" << "";
    }
}

// Every key letter of a window reaches exactly one control, and that one
// responds: a button clicks, a labelled field takes the focus.
void TestEdition1Window::keyLetters()
{
    QFETCH(int, edition);
    QFETCH(QString, control);
    QFETCH(QString, letter);
    QFETCH(QString, setUp);
    setEdition(edition);
    auto restore = qScopeGuard([] { setEdition(1); });
    auto app = openWindow();
    QVERIFY(app);
    if (setUp.contains(QLatin1String("files")))
        addFolder(app.get(), makePictures(QStringLiteral("pics"), 2));
    if (setUp.contains(QLatin1String("folder"))) {
        QDir().mkpath(m_fx->path(QStringLiteral("out")));
        app->settings()->setOutputFolderPath(m_fx->path(QStringLiteral("out")));
    }
    auto *form = app->outputSettingPanel()->ui();
    if (setUp == QLatin1String("threshold"))
        form->bilevelMethodPopup->setCurrentIndex(1);
    if (setUp == QLatin1String("deflate") || setUp == QLatin1String("jpeg"))
        form->tiffCompressionPopup->setCurrentIndex(setUp == QLatin1String("deflate") ? 6 : 8);
    if (edition == 2)
        app->showOutputSettings();
    QWidget *scope = edition == 2 ? static_cast<QWidget *>(app->outputSettingPanel()) : app->window();
    QTRY_VERIFY(scope->isVisible());
    auto *target = scope->findChild<QWidget *>(control);
    QVERIFY(target);
    // On a tab not shown, the tab is brought forward first.
    for (QWidget *w = target; w && w != scope; w = w->parentWidget())
        if (auto *stack = qobject_cast<QStackedWidget *>(w->parentWidget()))
            stack->setCurrentWidget(w);
    QVERIFY(target->isVisible());
    QVERIFY(target->isEnabled());

    const QKeySequence key(QStringLiteral("Alt+") + letter.toUpper());
    QList<QWidget *> reached;
    QList<QAbstractButton *> buttons;
    for (QWidget *w : scope->findChildren<QWidget *>()) {
        if (w->window() != scope->window() || w->isHidden())
            continue;
        if (auto *b = qobject_cast<QAbstractButton *>(w)) {
            buttons << b;
            if (b->shortcut() == key)
                reached << b;
        } else if (auto *l = qobject_cast<QLabel *>(w); l && l->buddy() && QKeySequence::mnemonic(l->text()) == key) {
            reached << l->buddy();
        }
    }
    QCOMPARE(reached, QList<QWidget *>{target});

    if (auto *b = qobject_cast<QAbstractButton *>(target)) {
        QVERIFY(keycharacter::hasMark(b));
        QCOMPARE(keycharacter::markIndex(b), int(b->text().indexOf(letter, 0, Qt::CaseInsensitive)));
        // The marked letter is also the key, and assistive technology is told so.
        QCOMPARE(b->shortcut(), key);
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(b);
        QCOMPARE(iface->text(QAccessible::Name), b->text());
        const QString action = iface->actionInterface()->actionNames().value(0);
        QCOMPARE(iface->actionInterface()->keyBindingsForAction(action), QStringList{key.toString()});
    }
    std::vector<std::unique_ptr<QSignalSpy>> clicks;
    for (QAbstractButton *b : buttons)
        clicks.push_back(std::make_unique<QSignalSpy>(b, &QAbstractButton::clicked));
    scope->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), scope->window());
    QTest::keyClick(scope, letter.at(0).toLatin1(), Qt::AltModifier);
    if (qobject_cast<QAbstractButton *>(target))
        QTRY_COMPARE(clicks[size_t(buttons.indexOf(target))]->count(), 1); // a shortcut clicks with a short animation
    else
        QTRY_VERIFY(target->hasFocus());
    for (size_t i = 0; i < clicks.size(); ++i)
        if (buttons[qsizetype(i)] != target)
            QVERIFY2(clicks[i]->isEmpty(), qPrintable(buttons[qsizetype(i)]->objectName()));
    // Whatever the click opened (a panel, a run) ends with the window.
    if (app->process())
        QTRY_VERIFY_WITH_TIMEOUT(!app->process()->isRunningInBackground(), 30000);
}

void TestEdition1Window::resetViewEnabling_data()
{
    QTest::addColumn<bool>("withFiles");
    QTest::addColumn<bool>("enable");
    QTest::newRow("empty, enabled") << false << true;
    QTest::newRow("empty, disabled") << false << false;
    QTest::newRow("files, enabled") << true << true;
    QTest::newRow("files, disabled") << true << false;
}

void TestEdition1Window::resetViewEnabling()
{
    QFETCH(bool, withFiles);
    QFETCH(bool, enable);
    auto app = openWindow();
    QVERIFY(app);
    if (withFiles)
        addFolder(app.get(), makePictures(QStringLiteral("pics"), 2));
    app->resetView(enable);
    const Edition1Controls &c = app->edition1();
    QCOMPARE(c.removeBtn->isEnabled(), enable && withFiles);
    for (QWidget *w : std::initializer_list<QWidget *>{c.importBtn, c.addFilesBtn, c.addFolderBtn, c.searchBtn, c.inculdeSubfoldersBtn,
                                                       app->mainTableView()})
        QCOMPARE(w->isEnabled(), enable);
    QCOMPARE(c.aboutToolbarItem->isEnabled(), enable);
    QCOMPARE(c.preferencesToolbarItem->isEnabled(), enable);
    QCOMPARE(c.exportToolbarItem->isEnabled(), enable && withFiles);
    for (QWidget *w : std::initializer_list<QWidget *>{c.openFileButton, c.getInfoButton, c.openEnclosedFolderButton, c.selectAllButton,
                                                       c.deselectAllButton, c.removeSelectedFilesButton, c.removeAllFilesButton})
        QCOMPARE(w->isEnabled(), enable && withFiles);
    QCOMPARE(c.lableDragAndDrop->isHidden(), withFiles);
    // The keep-default and open-after boxes follow the output folder.
    auto *out = app->outputSettingPanel()->ui();
    QVERIFY(!out->setCurrentAsDefaultOutputFolderPathBtn->isEnabled());
    QVERIFY(!out->openFolderAfterConversionBtn->isEnabled());
    app->settings()->setOutputFolderPath(m_fx->path(QString()));
    app->resetView(enable);
    // Their own state; the pane as a whole is off while the view is.
    QVERIFY(out->setCurrentAsDefaultOutputFolderPathBtn->isEnabledTo(app->ui()->settingTabView));
    QVERIFY(out->openFolderAfterConversionBtn->isEnabledTo(app->ui()->settingTabView));
}

void TestEdition1Window::hintLabelFollowsList()
{
    auto app = openWindow();
    QVERIFY(app);
    QLabel *hint = app->edition1().lableDragAndDrop;
    QVERIFY(hint->isVisible());
    QVERIFY(hint->testAttribute(Qt::WA_TransparentForMouseEvents));

    // A drop hides it at once, before the files arrive.
    const QString folder = makePictures(QStringLiteral("pics"), 2);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(folder)});
    QSignalSpy done(app.get(), &QuillonAppDelegate::loadFinished);
    app->acceptDrop(&data);
    QVERIFY(hint->isHidden());
    QTRY_COMPARE(done.count(), 1);
    QCOMPARE(app->files().size(), 2);
    QVERIFY(hint->isHidden());
    QVERIFY(app->mainTableView()->showGrid());

    // Remove all asks in an application-modal alert; "No" keeps the list.
    auto no = answerNextAlert(QStringLiteral("No"));
    bool appModal = false;
    whenModal([](QWidget *w) { return qobject_cast<QMessageBox *>(w); },
              [&appModal](QWidget *w) { appModal = w->windowModality() == Qt::ApplicationModal; });
    app->edition1().removeAllFilesButton->click();
    QVERIFY(no->seen);
    QCOMPARE(no->informativeText, QStringLiteral("Are you sure to remove all file(s)?"));
    QCOMPARE(app->files().size(), 2);
    QVERIFY(hint->isHidden());
    auto yes = answerNextAlert(QStringLiteral("Yes"));
    app->edition1().removeAllFilesButton->click();
    QVERIFY(yes->seen);
    QVERIFY(app->files().isEmpty());
    QVERIFY(hint->isVisible());
    QVERIFY(appModal);
    // Edition 1's table keeps its look whether or not the list is empty.
    QVERIFY(app->mainTableView()->showGrid());
    QVERIFY(app->mainTableView()->alternatingRowColors());
}

void TestEdition1Window::moveButtonsAndKeys()
{
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 3));
    const Edition1Controls &c = app->edition1();
    QVERIFY(!c.moveUpButton->isEnabled());
    QVERIFY(!c.moveDownButton->isEnabled());
    selectRows(app.get(), {0});
    QVERIFY(!c.moveUpButton->isEnabled());
    QVERIFY(c.moveDownButton->isEnabled());
    QVERIFY(c.convertBtn->isEnabled());
    app->mainTableView()->setFocus();
    QTest::keyClick(app->mainTableView(), Qt::Key_Down, Qt::ControlModifier);
    QCOMPARE(app->files().at(1)->name(), QStringLiteral("img01.png"));
    c.moveUpButton->click();
    QCOMPARE(app->files().at(0)->name(), QStringLiteral("img01.png"));
    // Ctrl+Up at the top is refused with the button off.
    QVERIFY(!c.moveUpButton->isEnabled());
    QTest::keyClick(app->mainTableView(), Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(app->files().at(0)->name(), QStringLiteral("img01.png"));
}

void TestEdition1Window::combineChecks_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("folder"); // "" none, else relative to the test folder
    QTest::addColumn<QString>("baseName");
    QTest::addColumn<int>("groupCount");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("tab");
    const QString title = QStringLiteral("Quillon Converter");
    const QString missing = QStringLiteral("Output folder missing or invalid path!\nPlease select valid output folder.");
    const QString locked = QStringLiteral("Output folder is non-writable!\nPlease select writable output folder.");
    for (int mode : {0, 1, 2}) {
        QTest::addRow("mode %d, no folder", mode) << mode << QString() << "n" << 3 << title << missing << 1;
        QTest::addRow("mode %d, folder gone", mode) << mode << "gone" << "n" << 3 << title << missing << 1;
        QTest::addRow("mode %d, path is a file", mode) << mode << "file.txt" << "n" << 3 << title << missing << 1;
        QTest::addRow("mode %d, not writable", mode) << mode << "locked" << "n" << 3 << title << locked << 1;
    }
    // The name checks come after the folder checks.
    QTest::newRow("one file, no name, no folder") << 1 << QString() << "" << 3 << title << missing << 1;
    QTest::newRow("one file, no name") << 1 << "out" << "" << 3 << "Quillon :" << "Please enter new TIFF file name!" << 0;
    QTest::newRow("groups, no base name") << 2 << "out" << "" << 3 << "Quillon :" << "Please enter new TIFF file base name!" << 0;
    QTest::newRow("groups of 1, no base name") << 2 << "out" << "" << 1 << "Quillon :" << "Please enter new TIFF file base name!" << 0;
    QTest::newRow("groups of 0, no base name") << 2 << "out" << "" << 0 << "Quillon :" << "Please enter new TIFF file base name!" << 0;
}

void TestEdition1Window::combineChecks()
{
    QFETCH(int, mode);
    QFETCH(QString, folder);
    QFETCH(QString, baseName);
    QFETCH(int, groupCount);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(int, tab);
    QDir().mkpath(m_fx->path(QStringLiteral("out")));
    QDir().mkpath(m_fx->path(QStringLiteral("locked")));
    QFile file(m_fx->path(QStringLiteral("file.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 2));
    Settings *s = app->settings();
    s->setCombineOptionIndex(mode);
    app->setCombineOptions(mode);
    s->setOutputFolderPath(folder.isEmpty() ? QString() : m_fx->path(folder));
    s->setSingleMultiPageTIFFName(baseName);
    s->setGroupMultiPageTIFFName(baseName);
    s->setGroupMultiPageTIFFCount(groupCount);
    app->ui()->settingTabView->setCurrentIndex(2);

    auto alert = answerNextAlert(QStringLiteral("OK"));
    QVERIFY(app->edition1().convertBtn->isEnabled());
    app->edition1().convertBtn->click();
    QVERIFY(alert->seen);
    QCOMPARE(alert->text, text);
    QCOMPARE(alert->informativeText, message);
    QCOMPARE(app->ui()->settingTabView->currentIndex(), tab);
    QVERIFY(!app->processViewPanel()->isVisible());
    QVERIFY(app->process() == nullptr || !app->process()->isCombining());
    if (mode == 2 && !folder.isEmpty() && folder == QLatin1String("out"))
        QCOMPARE(s->groupMultiPageTIFFCount(), qMax(2, groupCount));
    if (tab == 0) {
        auto *out = app->outputSettingPanel()->ui();
        QLineEdit *field = mode == 1 ? out->singleMultiPageTIFFName : out->groupMultiPageTIFFName;
        QTRY_COMPARE(app->window()->focusWidget(), field);
    }
    // Nothing was written anywhere.
    QVERIFY(QDir(m_fx->path(QStringLiteral("out"))).isEmpty());
}

void TestEdition1Window::stoppedRunShowsHiddenPane()
{
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 1));
    app->edition1Window()->toggleSettings();
    QVERIFY(!app->ui()->rightBox->isVisible());
    QCOMPARE(m_fx->store->value(QuillonAppDelegate::kShowSettingsKey).toBool(), false);
    app->settings()->setOutputFolderPath(QString());
    auto alert = answerNextAlert(QStringLiteral("OK"));
    app->convertAction();
    QVERIFY(alert->seen);
    QVERIFY(app->ui()->rightBox->isVisible());
    QVERIFY(app->edition1Window()->isShowingSettings());
    QCOMPARE(m_fx->store->value(QuillonAppDelegate::kShowSettingsKey).toBool(), true);
    QCOMPARE(app->ui()->settingTabView->currentIndex(), 1);
}

void TestEdition1Window::runConvertsIntoOutputFolder()
{
    auto app = openWindow();
    QVERIFY(app);
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 2));
    const QString out = m_fx->path(QStringLiteral("out"));
    QVERIFY(QDir().mkpath(out));
    app->settings()->setOutputFolderPath(out);
    app->settings()->setCombineOptionIndex(0);
    app->setCombineOptions(0);
    QSignalSpy closed(app.get(), &QuillonAppDelegate::processClosed);
    app->edition1().convertBtn->click();
    QVERIFY(app->processViewPanel()->isVisible());
    QVERIFY(!app->edition1().convertBtn->isEnabled());
    QVERIFY(!app->edition1().addFilesBtn->isEnabled());
    auto *progress = app->processViewPanel()->ui();
    QTRY_VERIFY_WITH_TIMEOUT(progress->closeProcessBtn->isEnabled(), 30000);
    QVERIFY(QFileInfo::exists(out + QStringLiteral("/img01.tiff")));
    QVERIFY(QFileInfo::exists(out + QStringLiteral("/img02.tiff")));
    progress->closeProcessBtn->click();
    QCOMPARE(closed.count(), 1);
    QVERIFY(app->edition1().convertBtn->isEnabled());
    QVERIFY(app->edition1().addFilesBtn->isEnabled());
}

void TestEdition1Window::noRecentFoldersHeaderMenuOrDoubleClick()
{
    auto app = openWindow();
    QVERIFY(app);
    QVERIFY(!app->ui()->recentFoldersPopup->isVisible());
    for (QWidget *w : std::initializer_list<QWidget *>{app->filesFoldersSegmented(), app->navigationSegmented(), app->commandSegmented(),
                                                       app->helpSegmented()})
        QVERIFY(!w->isVisible());
    addFolder(app.get(), makePictures(QStringLiteral("pics"), 1));
    app->applicationShouldTerminate();
    QVERIFY(!m_fx->store->contains(QuillonAppDelegate::kRecentItemsKey));
    QVERIFY(!m_fx->store->contains(QuillonAppDelegate::kColumnLayoutKey));
    QHeaderView *header = app->mainTableView()->horizontalHeader();
    QVERIFY(!header->sectionsMovable());
    QCOMPARE(header->contextMenuPolicy(), Qt::NoContextMenu);
    // Without a header menu no column could be brought back: all ten show.
    for (int column = 0; column < FileListModel::ColumnCount; ++column)
        QVERIFY2(!header->isSectionHidden(column), qPrintable(FileListModel::identifier(column)));
    const QModelIndex name = app->fileListModel()->index(0, FileListModel::Name);
    QWidget *viewport = app->mainTableView()->viewport();
    const QPoint at = app->mainTableView()->visualRect(name).center();
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, at);
    QTest::qWait(0);
    QVERIFY(m_fx->desktop.opened.isEmpty());
    QVERIFY(m_fx->desktop.shown.isEmpty());
}

void TestEdition1Window::includeSubfoldersCheckBox()
{
    auto app = openWindow();
    QVERIFY(app);
    const QString folder = makePictures(QStringLiteral("pics"), 1);
    writeImage(folder + QStringLiteral("/inner/deep.png"), "PNG");
    QCheckBox *box = app->edition1().inculdeSubfoldersBtn;
    QVERIFY(!box->isChecked());
    // The stored option of edition 2 does not count here.
    m_fx->store->setValue(QuillonAppDelegate::kIncludeSubfoldersKey, true);
    QVERIFY(!app->inculdeSubfolders());
    addFolder(app.get(), folder);
    QCOMPARE(app->files().size(), 1);
    box->click();
    QVERIFY(app->inculdeSubfolders());
    addFolder(app.get(), folder);
    QCOMPARE(app->files().size(), 2);
    // The add-files panel never takes folders, whatever the box says.
    app->edition1().addFilesBtn->click();
    OpenPanel *panel = activePanel();
    QVERIFY(panel);
    QVERIFY(!panel->canChooseDirectories());
    panel->reject();
}

void TestEdition1Window::getInfoPerFile()
{
    auto app = openWindow();
    QVERIFY(app);
    const QString folder = m_fx->path(QStringLiteral("odd"));
    const QStringList names = {QStringLiteral("a.png"), QStringLiteral("b \"quoted\" name.png"), QStringLiteral("c\\back.png")};
    for (const QString &n : names)
        QVERIFY(writeImage(folder + QLatin1Char('/') + n, "PNG"));
    addFolder(app.get(), folder);
    QCOMPARE(app->files().size(), 3);
    selectRows(app.get(), {2, 0, 1});
    app->edition1().getInfoButton->click();
    QCOMPARE(m_fx->desktop.properties.size(), 3);
    for (int r = 0; r < 3; ++r)
        QCOMPARE(m_fx->desktop.properties.at(r), QStringList{app->files().at(r)->path()});
    m_fx->desktop.properties.clear();
    selectRows(app.get(), {1});
    app->ui()->actionGetInfo->trigger();
    QCOMPARE(m_fx->desktop.properties, QList<QStringList>{QStringList{app->files().at(1)->path()}});
}

void TestEdition1Window::getInfoUriCannotBeSteered_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("plain") << "/tmp/pictures/a.jpg";
    QTest::newRow("top of the disk") << "/a.jpg";
    QTest::newRow("quote") << "/tmp/x\" of folder \"y/a\".jpg";
    QTest::newRow("backslash") << "/tmp/back\\slash/a\\\".jpg";
    QTest::newRow("percent and hash") << "/tmp/100% #1/a?b.jpg";
    QTest::newRow("newline") << "/tmp/two\nlines.jpg";
}

void TestEdition1Window::getInfoUriCannotBeSteered()
{
    QFETCH(QString, path);
    QList<QPair<QString, QStringList>> calls;
    DesktopIntegration desktop = DesktopIntegration::system([&calls](const QString &method, const QStringList &uris) {
        calls.append({method, uris});
        return true;
    });
    QVERIFY(desktop.showItemProperties({path}));
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.at(0).first, QStringLiteral("ShowItemProperties"));
    QCOMPARE(calls.at(0).second.size(), 1);
    const QString uri = calls.at(0).second.first();
    QCOMPARE(uri, QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
    QVERIFY(uri.startsWith(QLatin1String("file:///")));
    QVERIFY(!uri.contains(QLatin1Char('"')) && !uri.contains(QLatin1Char('\\')) && !uri.contains(QLatin1Char('\n')));
    QCOMPARE(QUrl(uri).toLocalFile(), path);
}

QTEST_MAIN(TestEdition1Window)
#include "tst_app1_window.moc"
