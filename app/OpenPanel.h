#pragma once
#include <QFileDialog>
#include <QPointer>

class QLabel;

namespace quillon {

// The open panel of the window: Qt's own file dialog (so it can carry a
// message and an accessory view, and behaves the same on every desktop), able
// to choose files, folders or both, and several folders at once.
// Show it window-modally with open(); read chosenPaths() after accepted().
class OpenPanel : public QFileDialog {
    Q_OBJECT
public:
    explicit OpenPanel(QWidget *parent = nullptr);

    void setCanChooseFiles(bool can);
    void setCanChooseDirectories(bool can);
    bool canChooseFiles() const { return m_files; }
    bool canChooseDirectories() const { return m_folders; }
    void setAllowsMultipleSelection(bool allows);
    void setCanCreateDirectories(bool can);
    void setResolvesAliases(bool resolves);
    // Extensions offered, as written (the filter is case-sensitive).
    void setAllowedFileTypes(const QStringList &extensions);
    // Shown above the file list.
    void setMessage(const QString &message);
    QString message() const;
    // Shown below the file list; the panel takes ownership.
    void setAccessoryView(QWidget *view);
    QWidget *accessoryView() const { return m_accessory; }

    // What the user chose, as absolute paths, once the panel was accepted.
    QStringList chosenPaths() const { return m_chosen; }
    QList<QUrl> chosenURLs() const;

    void setVisible(bool visible) override;

public slots:
    void accept() override;

private:
    void placeExtras();
    void updateMode();
    void insertTopRow(QWidget *widget);

    bool m_files = true;
    bool m_folders = false;
    bool m_multiple = false;
    QLabel *m_message = nullptr;
    QPointer<QWidget> m_accessory;
    QStringList m_chosen;
};

} // namespace quillon
