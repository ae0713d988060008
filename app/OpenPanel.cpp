#include "app/OpenPanel.h"

#include "core/FolderScan.h"

#include <QAbstractItemView>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>

#include <tuple>

namespace quillon {

OpenPanel::OpenPanel(QWidget *parent)
    : QFileDialog(parent)
{
    setOption(QFileDialog::DontUseNativeDialog, true);
    setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    setAcceptMode(QFileDialog::AcceptOpen);
    setViewMode(QFileDialog::Detail);
    resize(760, 480);
    updateMode();
}

void OpenPanel::setCanChooseFiles(bool can)
{
    m_files = can;
    updateMode();
}

void OpenPanel::setCanChooseDirectories(bool can)
{
    m_folders = can;
    updateMode();
}

void OpenPanel::setAllowsMultipleSelection(bool allows)
{
    m_multiple = allows;
    updateMode();
}

void OpenPanel::setCanCreateDirectories(bool can) { setOption(QFileDialog::ReadOnly, !can); }

void OpenPanel::setResolvesAliases(bool resolves) { setOption(QFileDialog::DontResolveSymlinks, !resolves); }

void OpenPanel::setAllowedFileTypes(const QStringList &extensions)
{
    // The later formats are taken in any letter case ("a.HeIc" too), so their
    // patterns match any case whether or not the dialog ignores case.
    QStringList patterns;
    for (const QString &e : extensions) {
        if (!laterFileTypes().contains(e, Qt::CaseInsensitive)) {
            patterns << QStringLiteral("*.") + e;
            continue;
        }
        QString anyCase = QStringLiteral("*.");
        for (const QChar c : e.toLower())
            anyCase += c.isLetter() ? QStringLiteral("[%1%2]").arg(c, c.toUpper()) : QString(c);
        if (!patterns.contains(anyCase))
            patterns << anyCase;
    }
    setNameFilter(tr("Images (%1)").arg(patterns.join(QLatin1Char(' '))));
}

void OpenPanel::setMessage(const QString &message)
{
    if (!m_message) {
        m_message = new QLabel(this);
        m_message->setObjectName(QStringLiteral("panelMessage"));
        m_message->setWordWrap(true);
        m_message->setTextFormat(Qt::PlainText);
        QFont f = m_message->font();
        f.setBold(true);
        m_message->setFont(f);
    }
    m_message->setText(QString(message).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    m_message->setVisible(!message.isEmpty());
    placeExtras();
}

QString OpenPanel::message() const { return m_message ? m_message->text() : QString(); }

void OpenPanel::setAccessoryView(QWidget *view)
{
    if (m_accessory == view)
        return;
    delete m_accessory;
    m_accessory = view;
    if (!view)
        return;
    view->setParent(this);
    placeExtras();
}

void OpenPanel::setVisible(bool visible)
{
    if (visible) {
        updateMode();
        placeExtras();
    }
    QFileDialog::setVisible(visible);
}

// Qt builds the dialog's own widgets lazily; the message and the accessory join
// its grid once that exists.
void OpenPanel::placeExtras()
{
    auto *grid = qobject_cast<QGridLayout *>(layout());
    if (!grid)
        return;
    if (m_message && grid->indexOf(m_message) < 0)
        insertTopRow(m_message);
    if (m_accessory && grid->indexOf(m_accessory.data()) < 0) {
        grid->addWidget(m_accessory, grid->rowCount(), 0, 1, -1);
        m_accessory->show();
    }
}

QList<QUrl> OpenPanel::chosenURLs() const
{
    QList<QUrl> urls;
    for (const QString &p : m_chosen)
        urls << QUrl::fromLocalFile(p);
    return urls;
}

void OpenPanel::updateMode()
{
    if (acceptMode() == QFileDialog::AcceptSave)
        return; // a save panel names one new file
    if (m_folders && !m_files) {
        setFileMode(QFileDialog::Directory);
        setOption(QFileDialog::ShowDirsOnly, true);
    } else {
        setFileMode(m_multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
        setOption(QFileDialog::ShowDirsOnly, false);
    }
    // Qt's dialog picks one folder only; its views can select more.
    const auto views = findChildren<QAbstractItemView *>();
    for (QAbstractItemView *v : views) {
        if (v->objectName() == QLatin1String("listView") || v->objectName() == QLatin1String("treeView"))
            v->setSelectionMode(m_multiple ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
    }
}

void OpenPanel::insertTopRow(QWidget *widget)
{
    auto *grid = qobject_cast<QGridLayout *>(layout());
    if (!grid)
        return;
    QList<std::tuple<QLayoutItem *, int, int, int, int>> items;
    while (grid->count() > 0) {
        int r = 0, c = 0, rs = 0, cs = 0;
        grid->getItemPosition(0, &r, &c, &rs, &cs);
        items.append({grid->takeAt(0), r, c, rs, cs});
    }
    grid->addWidget(widget, 0, 0, 1, -1);
    for (const auto &[item, r, c, rs, cs] : items)
        grid->addItem(item, r + 1, c, rs, cs);
}

void OpenPanel::accept()
{
    if (acceptMode() == QFileDialog::AcceptSave) {
        // Only the panel's own file type is written: another extension gets the
        // right one added (before Qt's checks, so overwriting asks about the real name).
        const QString suffix = defaultSuffix();
        const QStringList typed = selectedFiles();
        if (!suffix.isEmpty() && typed.size() == 1) {
            const QFileInfo info(typed.first());
            if (!info.isDir() && !info.fileName().isEmpty() && info.suffix().compare(suffix, Qt::CaseInsensitive) != 0)
                selectFile(typed.first() + QLatin1Char('.') + suffix);
        }
        // Qt's own checks (overwriting asks first); the name is kept if it accepts.
        m_chosen = selectedFiles();
        QFileDialog::accept();
        return;
    }
    const QStringList selected = selectedFiles();
    if (selected.isEmpty())
        return;
    QStringList chosen;
    for (const QString &path : selected) {
        const QFileInfo info(path);
        // Anything the panel can't take as it is (a missing name, a folder in a
        // files-only panel) goes to Qt's own handling: a warning or entering the folder.
        if (!info.exists() || (info.isDir() && !m_folders) || (!info.isDir() && !m_files)) {
            QFileDialog::accept();
            return;
        }
        chosen << info.absoluteFilePath();
    }
    if (!m_multiple && chosen.size() > 1)
        chosen = chosen.mid(0, 1);
    m_chosen = chosen;
    QDialog::accept();
}

} // namespace quillon
