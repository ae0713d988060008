#pragma once
#include "core/SelectionRange.h"

#include <QDialog>

#include <functional>
#include <memory>

class NumberField;

namespace Ui {
class PageSelection;
}

namespace quillon {

// Edits the page selection of TIFF files: all pages, page ranges, every n-th
// page from the first or from the last. Set the selection in, read it out
// after accepted(); OK is enabled only for a valid entry.
class PageSelectionDialog : public QDialog {
    Q_OBJECT
public:
    explicit PageSelectionDialog(QWidget *parent = nullptr);
    ~PageSelectionDialog() override;

    void setSelection(const SelectionRange &selection, int fileCount);
    // The selection as entered (only meaningful when isValid()).
    SelectionRange selection() const;
    bool isValid() const;
    QString errorText() const;

    // Called on every edit of the two step fields (the window's numeric-field rule).
    std::function<void(NumberField *)> onNumberFieldEdited;

    Ui::PageSelection *ui() const { return m_ui.get(); }

    // "1-3, 8, 12-10" -> pairs (1,3) (8,8) (12,10). False with a message for
    // anything that is not a page number of 1 or more or a range of two.
    static bool parsePageList(const QString &text, QList<RangePair> *pairs, QString *error);
    // The editable form of a stored range text ("8-8" shown as "8").
    static QString pageListText(const SelectionRange &selection);

public slots:
    void accept() override;

private:
    void updateState();
    std::unique_ptr<Ui::PageSelection> m_ui;
};

} // namespace quillon
