#pragma once
#include <QFrame>

// A one-line label that shortens its text with "…" (in the middle by default,
// which keeps both the start and the file name of a path) instead of growing
// its window. The full text is its tool tip.
class ElidedLabel : public QFrame {
    Q_OBJECT
    Q_PROPERTY(QString text READ text WRITE setText)
public:
    explicit ElidedLabel(QWidget *parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString &text);
    void setElideMode(Qt::TextElideMode mode);
    // The text as it is drawn at the current width.
    QString elidedText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_text;
    Qt::TextElideMode m_mode = Qt::ElideMiddle;
};
