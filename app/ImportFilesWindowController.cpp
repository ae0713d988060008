#include "app/ImportFilesWindowController.h"

#include "app/AlertPanels.h"
#include "core/AppFolders.h"
#include "core/ImportList.h"
#include "core/SystemLog.h"
#include "ui_ImportFiles.h"
#include "widgets/KeyCharacterButtons.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QSet>
#include <QStringDecoder>

#include <exception>

using namespace quillon;

ImportFilesWindowControllerDelegate::~ImportFilesWindowControllerDelegate() = default;

namespace {
QString reasonOf(const std::exception &e) { return QString::fromLocal8Bit(e.what()); }

void setBase(QWidget *w, QPalette::ColorRole from)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Base, QApplication::palette().color(from));
    w->setPalette(p);
}
} // namespace

ImportFilesWindowController::ImportFilesWindowController(QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::ImportFiles>())
{
    m_ui->setupUi(this);
    setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    setWindowTitle(getAppTitle(tr(" \u2013 Import File List")));

    connect(m_ui->importFromFileBtn, &QAbstractButton::clicked, this, [this] { importMethodChanged(FileMode); });
    connect(m_ui->importFromTextBtn, &QAbstractButton::clicked, this, [this] { importMethodChanged(TextMode); });
    connect(m_ui->browseBtn, &QAbstractButton::clicked, this, &ImportFilesWindowController::browseImportFileAction);
    connect(m_ui->pasteFromClipboardBtn, &QAbstractButton::clicked, this, &ImportFilesWindowController::pasetFromClipboardAction);
    connect(m_ui->importBtn, &QAbstractButton::clicked, this, &ImportFilesWindowController::importAction);
    connect(m_ui->cancelBtn, &QAbstractButton::clicked, this, &ImportFilesWindowController::cancelAction);

    const QColor text = palette().color(QPalette::ButtonText);
    // 0: the last match of the letter as written; 1: the first in any case.
    setButtonKeyCharacter(m_ui->importFromFileBtn, tr("F", "key letter of Import from a text File (its last match)"), text, 0);
    setButtonKeyCharacter(m_ui->importFromTextBtn, tr("T", "key letter of Paste or type paths as Text (its last match)"), text, 0);
    setButtonKeyCharacter(m_ui->pasteFromClipboardBtn, tr("p", "key letter of Paste from Clipboard"), text, 1);
    setButtonKeyCharacter(m_ui->importBtn, tr("i", "key letter of Import"), text, 1);
    importMethodChanged(FileMode);
}

ImportFilesWindowController::~ImportFilesWindowController() = default;

bool ImportFilesWindowController::isFileMode() const { return m_ui->importFromFileBtn->isChecked(); }
bool ImportFilesWindowController::isTextMode() const { return m_ui->importFromTextBtn->isChecked(); }

void ImportFilesWindowController::resetView()
{
    m_ui->importFile->clear();
    m_ui->importText->clear();
    files.clear();
    m_ui->totalFilesFound->setText(tr("Total Files Found : %1").arg(0));
}

void ImportFilesWindowController::importMethodChanged(int tag)
{
    // Neutral state first, then the chosen mode.
    m_ui->importFile->setEnabled(false);
    m_ui->importFile->clear();
    m_ui->importText->clear();
    if (!editionOneLook) {
        setBase(m_ui->importFile, QPalette::Window);
        m_ui->importText->setReadOnly(true);
    }
    setBase(m_ui->importText, QPalette::Button);
    QPalette tp = m_ui->importText->palette();
    tp.setColor(QPalette::Text, QApplication::palette().color(QPalette::Disabled, QPalette::Text));
    m_ui->importText->setPalette(tp);
    m_ui->browseBtn->setEnabled(false);
    m_ui->pasteFromClipboardBtn->setEnabled(false);
    // Both radios off needs their exclusivity lifted for a moment.
    for (QAbstractButton *b : {static_cast<QAbstractButton *>(m_ui->importFromFileBtn), static_cast<QAbstractButton *>(m_ui->importFromTextBtn)}) {
        b->setAutoExclusive(false);
        b->setChecked(false);
        b->setAutoExclusive(true);
    }

    if (tag == FileMode) {
        m_ui->importFile->setEnabled(true);
        if (!editionOneLook)
            setBase(m_ui->importFile, QPalette::Base);
        m_ui->browseBtn->setEnabled(true);
        m_ui->importFromFileBtn->setChecked(true);
        m_ui->importFromFileBtn->setFocus();
    } else if (tag == TextMode) {
        m_ui->importText->setReadOnly(false);
        QPalette p = m_ui->importText->palette();
        p.setColor(QPalette::Text, QApplication::palette().color(QPalette::Text));
        m_ui->importText->setPalette(p);
        setBase(m_ui->importText, QPalette::Base);
        m_ui->pasteFromClipboardBtn->setEnabled(true);
        m_ui->importFromTextBtn->setChecked(true);
        m_ui->importFromTextBtn->setFocus();
    }
}

void ImportFilesWindowController::browseImportFileAction()
{
    auto *panel = new QFileDialog(this, tr("Select Text File To Import:"));
    panel->setAttribute(Qt::WA_DeleteOnClose);
    panel->setWindowModality(Qt::WindowModal);
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setLabelText(QFileDialog::LookIn, tr("Select Text File To Import:"));
    panel->setNameFilter(tr("Text files (*.txt)"));
    connect(panel, &QFileDialog::fileSelected, this, [this](const QString &path) { m_ui->importFile->setText(path); });
    panel->open();
}

void ImportFilesWindowController::pasetFromClipboardAction()
{
    const QString text = QApplication::clipboard()->text();
    if (text.isEmpty())
        return;
    parseText(text);
    QStringList paths;
    for (const QUrl &u : std::as_const(files))
        paths << u.toLocalFile();
    m_ui->importText->setPlainText(paths.join(QLatin1Char('\n')));
}

void ImportFilesWindowController::showAlert(const QString &message)
{
    editionAlertPanel(this, getAppTitle(), message, editionOneLook);
}

void ImportFilesWindowController::importAction()
{
    m_ui->importFile->clearFocus();
    if (isFileMode() && m_ui->importFile->text().isEmpty()) {
        showAlert(tr("Please select file to import!"));
        m_ui->browseBtn->setFocus();
        return;
    }
    if (isTextMode() && m_ui->importText->toPlainText().isEmpty()) {
        showAlert(tr("Please paste file(s) path to import!"));
        m_ui->importText->setFocus();
        return;
    }
    if (isFileMode())
        parseFile(m_ui->importFile->text());
    else if (isTextMode())
        parseText(m_ui->importText->toPlainText());
    if (files.isEmpty()) {
        showAlert(tr("No File(s) Found!"));
        return;
    }
    if (delegate)
        delegate->ImportFilesWindowControllerDidFinish(this);
    accept();
}

void ImportFilesWindowController::cancelAction()
{
    reject();
}

void ImportFilesWindowController::parseFile(const QString &path)
{
    try {
        m_ui->importFile->setText(path);
        QString text;
        QFile f(path);
        if (f.open(QIODevice::ReadOnly)) {
            const QByteArray bytes = f.readAll();
            QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
            const QString decoded = utf8.decode(bytes);
            // Anything that is not UTF-8 gives no text at all.
            if (!utf8.hasError())
                text = decoded;
        }
        parseText(text);
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in (parseFile:) : %1").arg(reasonOf(e)));
    }
}

void ImportFilesWindowController::parseText(const QString &text)
{
    files.clear();
    try {
        files = quillon::importedPaths(text, allowedTypes.split(QLatin1Char(',')), QDir::currentPath());
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in (parseText:) : %1").arg(reasonOf(e)));
    }
    m_ui->totalFilesFound->setText(tr("Total Files Found : %1").arg(files.size()));
}

void ImportFilesWindowController::setButtonKeyCharacter(QAbstractButton *button, const QString &keyChar, const QColor &color, int occurrance)
{
    try {
        if (!button || keyChar.isEmpty() || !color.isValid())
            return;
        const QString title = button->text();
        const qsizetype at = occurrance == 1 ? title.indexOf(keyChar, 0, Qt::CaseInsensitive) : title.lastIndexOf(keyChar);
        if (at < 0)
            return;
        keycharacter::setMark(button, int(at), color);
    } catch (const std::exception &e) {
        logError(QStringLiteral("Error in (setButtonKeyCharacter:keyChar:color:) : %1").arg(reasonOf(e)));
    }
}
