#pragma once
#include <QColor>
#include <QWidget>

// A plain container that paints one background colour (and an optional
// hairline border), for panes that must not take the style's window colour.
class BackgroundView : public QWidget {
    Q_OBJECT
public:
    explicit BackgroundView(QWidget *parent = nullptr);

    QColor backgroundColor() const { return m_background; }
    void setBackgroundColor(const QColor &color);
    QColor borderColor() const { return m_border; }
    void setBorderColor(const QColor &color); // invalid colour: no border

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_background;
    QColor m_border;
};
