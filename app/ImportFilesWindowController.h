#pragma once
#include <QColor>
#include <QDialog>
#include <QList>
#include <QUrl>

#include <memory>

class QAbstractButton;
namespace Ui {
class ImportFiles;
}

class ImportFilesWindowController;

// Receives the result of a successful import.
class ImportFilesWindowControllerDelegate {
public:
    virtual ~ImportFilesWindowControllerDelegate();
    virtual void ImportFilesWindowControllerDidFinish(ImportFilesWindowController *controller) = 0;
};

// The import sheet: paths from a text file or from pasted text, one per line,
// kept when their extension (any letter case) is an accepted image type.
// Made once by the main window and kept; main thread only.
class ImportFilesWindowController : public QDialog {
    Q_OBJECT
public:
    enum Mode { FileMode = 0, TextMode = 1 };

    explicit ImportFilesWindowController(QWidget *parent = nullptr);
    ~ImportFilesWindowController() override;

    ImportFilesWindowControllerDelegate *delegate = nullptr; // not owned
    // Edition 1: fields keep their colours, the text stays editable, alerts are application-modal.
    bool editionOneLook = false;
    QString allowedTypes;                                    // extensions joined with ","
    QList<QUrl> files;                                       // accepted paths of the last parse

    void resetView();
    void importMethodChanged(int tag);
    void browseImportFileAction();
    void pasetFromClipboardAction();
    void importAction();
    void cancelAction();
    void parseFile(const QString &path);
    void parseText(const QString &text);
    // occurrance 1: first occurrence, any case; otherwise the last, exact case.
    void setButtonKeyCharacter(QAbstractButton *button, const QString &keyChar, const QColor &color, int occurrance);

    bool isFileMode() const;
    bool isTextMode() const;
    Ui::ImportFiles *ui() const { return m_ui.get(); }

private:
    void showAlert(const QString &message);
    std::unique_ptr<Ui::ImportFiles> m_ui;
};
