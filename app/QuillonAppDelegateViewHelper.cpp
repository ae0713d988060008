// QuillonAppDelegate (ViewHelper): enabling of the window's controls, the
// numeric-field rule, key letters, the main-window look and the recent folders.
#include "app/QuillonAppDelegate.h"

#include "app/AppGuard.h"
#include "app/FileListModel.h"
#include "app/OpenPanel.h"
#include "app/Sheets.h"
#include "core/FolderScan.h"
#include "core/Settings.h"
#include "core/TextNumbers.h"
#include "widgets/KeyCharacterButtons.h"
#include "windows/AppImages.h"

#include "ui_MainWindow.h"
#include "ui_OutputSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace quillon {

void QuillonAppDelegate::controlTextDidChange(NumberField *field)
{
    if (!field || (field->tag() != GroupSizeField && field->tag() != PageStepField))
        return;
    const QString fallback = field->tag() == GroupSizeField ? QStringLiteral("2") : QStringLiteral("1");
    const QString text = field->text();
    QString result;
    if (text.isEmpty()) {
        result = fallback;
    } else {
        qsizetype first = 0;
        qsizetype last = text.size() - 1;
        while (first <= last && !text.at(first).isDigit())
            ++first;
        while (last >= first && !text.at(last).isDigit())
            --last;
        const QString trimmed = text.mid(first, last - first + 1);
        result = leadingInt(trimmed) == 0 ? fallback : trimmed;
    }
    if (result == text)
        return;
    const int cursor = field->cursorPosition();
    field->setText(result);
    if (result == fallback && leadingInt(text) == 0) {
        // The fallback is selected, so the next digit typed replaces it.
        field->selectAll();
    } else {
        field->setCursorPosition(qMin(cursor, int(result.size())));
    }
    field->setFocus();
}

void QuillonAppDelegate::setButtonKeyCharacter(QAbstractButton *button, const QString &keyChar, const QColor &color)
{
    guarded("Error in (setButtonKeyCharacter:keyChar:color:) : %1", [&] {
        if (!button || keyChar.isEmpty() || !color.isValid())
            return;
        const qsizetype index = button->text().indexOf(keyChar, 0, Qt::CaseInsensitive);
        if (index < 0)
            return;
        keycharacter::setMark(button, int(index), color);
    });
}

void QuillonAppDelegate::resetView(bool enable)
{
    guarded("Error in (resetView:) : %1", [&] {
        m_commands.viewEnabled = enable;
        if (m_settings) {
            setCombineOptions(m_settings->combineOptionIndex());
            const bool folder = !m_settings->outputFolderPath().isEmpty();
            m_isOutputFolderSelected = folder;
            if (!folder)
                m_settings->setIsSetCurrentAsDefaultOutputFolderPath(false);
            m_outputSettingPanel->ui()->setCurrentAsDefaultOutputFolderPathBtn->setEnabled(folder);
            m_edition->showOutputFolderChosen(folder);
        }
    });
    // Whatever failed above, the commands follow the state.
    applyCommandState();
    m_window->update();
    m_ui->mainTableView->viewport()->update();
}

void QuillonAppDelegate::windowDidBecomeMain()
{
    m_ui->rightBox->setBackgroundColor(m_window->palette().color(QPalette::Active, QPalette::Window).darker(103));
    m_ui->mainTableView->setMainWindowState(true);
}

void QuillonAppDelegate::windowDidResignMain()
{
    m_ui->rightBox->setBackgroundColor(Qt::transparent);
    m_ui->mainTableView->setMainWindowState(false);
}

void QuillonAppDelegate::endEditing()
{
    // Texts are taken over as they are typed; a number field still has to be
    // read as a number, as leaving it would.
    auto *out = m_outputSettingPanel->ui();
    out->groupMultiPageTIFFCount->normalizeText();
    if (m_settings) {
        const int count = out->groupMultiPageTIFFCount->value();
        if (count >= 1)
            m_settings->setGroupMultiPageTIFFCount(count);
        else
            out->groupMultiPageTIFFCount->setValue(m_settings->groupMultiPageTIFFCount());
        m_settings->setSingleMultiPageTIFFName(out->singleMultiPageTIFFName->text());
        m_settings->setGroupMultiPageTIFFName(out->groupMultiPageTIFFName->text());
    }
}

void QuillonAppDelegate::openImportFilesPanel()
{
    guarded("Error in (openImportFilesPanel) : %1", [&] {
        if (!m_importPanel) {
            m_importPanel = new ImportFilesWindowController(m_window.get());
            m_importPanel->setObjectName(QStringLiteral("importFilesPanel"));
            m_importPanel->delegate = this;
            m_importPanel->allowedTypes = allowedFileTypes().join(QLatin1Char(','));
            m_importPanel->editionOneLook = m_edition->applicationModalAlerts();
        }
        m_importPanel->resetView();
        m_importPanel->setWindowModality(Qt::WindowModal);
        m_importPanel->open();
    });
}

// ---- recent folders ----

void QuillonAppDelegate::addRecentItem(const QStringList &paths)
{
    m_recentFolders.add(paths);
    loadRecentFolders();
}

void QuillonAppDelegate::loadRecentFolders()
{
    m_recentFolders.sort();
    QComboBox *popup = m_ui->recentFoldersPopup;
    const QSignalBlocker block(popup);
    popup->clear();
    popup->addItem(tr("Recent Folders..."));
    const QIcon folderIcon = [] {
        QIcon icon;
        for (qreal dpr : {1.0, 2.0})
            icon.addPixmap(resourceImage(QStringLiteral(":/images/icons/recent-folder.svg"), QSize(16, 16), dpr));
        return icon;
    }();
    for (const RecentItem &item : m_recentFolders.items()) {
        popup->addItem(folderIcon, item.itemPath);
        popup->setItemData(popup->count() - 1, item.itemPath, Qt::ToolTipRole);
    }
    popup->setCurrentIndex(0);
}

void QuillonAppDelegate::recentFolderChanged(int index)
{
    guarded("Error in recentFolderChanged : %1", [&] {
        QComboBox *popup = m_ui->recentFoldersPopup;
        if (index < 1 || index >= popup->count())
            return;
        const QString title = popup->itemText(index);
        const QList<RecentItem> &items = m_recentFolders.items();
        const bool known = std::any_of(items.cbegin(), items.cend(), [&](const RecentItem &r) { return r.itemPath == title; });
        if (!known)
            return;
        const QString path = title;
        const QFileInfo info(path);
        auto replaceList = [this](const QList<QUrl> &urls) {
            m_files.clear();
            m_model->reloadData();
            resetView(true);
            updateTotalLabel();
            loadURLs(Arguments{urls, true, inculdeSubfolders()});
        };
        if (info.isDir() && info.isReadable() && QDir(path).isReadable()) {
            m_recentFolders.touch(path);
            loadRecentFolders();
            popup->setCurrentIndex(popup->findText(path));
            replaceList({QUrl::fromLocalFile(path)});
            return;
        }
        // Moved, deleted or no longer readable: let the user pick the folder again.
        endEditing();
        auto *panel = new OpenPanel(m_window.get());
        panel->setObjectName(QStringLiteral("chooseFoldersPanel"));
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->setWindowTitle(tr("Choose folder(s):"));
        panel->setMessage(tr("Choose folder(s):"));
        panel->setCanChooseFiles(false);
        panel->setCanChooseDirectories(true);
        panel->setCanCreateDirectories(false);
        panel->setAllowsMultipleSelection(true);
        panel->setResolvesAliases(false);
        // The folder itself is gone; start in the nearest folder that is still there.
        QString start = path;
        while (!start.isEmpty() && !QFileInfo(start).isDir() && start != QDir::rootPath())
            start = QFileInfo(start).absolutePath();
        panel->setDirectory(start);
        connect(panel, &QDialog::finished, this, [this, panel, path, replaceList](int result) {
            guarded("Error in recentFolderChanged : %1", [&] {
                if (result != QDialog::Accepted || panel->chosenPaths().isEmpty()) {
                    m_ui->recentFoldersPopup->setCurrentIndex(0);
                    return;
                }
                m_recentFolders.touch(path);
                const QStringList chosen = panel->chosenPaths();
                addRecentItem(chosen);
                m_ui->recentFoldersPopup->setCurrentIndex(m_ui->recentFoldersPopup->findText(chosen.first()));
                replaceList(panel->chosenURLs());
            });
        });
        panel->open();
    });
}

} // namespace quillon
