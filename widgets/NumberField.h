#pragma once
#include <QLineEdit>

// A text field for whole numbers. When editing ends (focus leaves, Return or
// Enter), the text is replaced by its integer value before editingFinished is
// emitted: leading blanks skipped, an optional sign and the digits after it
// taken, the rest dropped; no digits gives 0 ("12abc" -> "12", "abc" -> "0").
// The range is not limited. `tag` tells fields apart for a shared handler.
class NumberField : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(int tag READ tag WRITE setTag)
public:
    explicit NumberField(QWidget *parent = nullptr);

    int tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

    int value() const;
    void setValue(int value);

    // Applies the end-of-editing rule now (also used to commit pending text).
    void normalizeText();

protected:
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    int m_tag = 0;
};
