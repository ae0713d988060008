#pragma once
#include <QWidget>

class QHBoxLayout;

// A bar of controls along the edge of a pane: controls added with addLeft()
// stay at its start, those added with addRight() at its end, and the space in
// between grows with the window. Draws a hairline on the edge it faces.
// A bar given a QHBoxLayout in Designer uses that layout (addLeft then
// inserts at its start).
class ButtonBar : public QWidget {
    Q_OBJECT
public:
    enum Edge { Top, Bottom };
    explicit ButtonBar(QWidget *parent = nullptr);

    void addLeft(QWidget *widget, int stretch = 0);
    void addRight(QWidget *widget, int stretch = 0);
    void addLeftSpacing(int size);
    void addRightSpacing(int size);

    // The edge that gets the hairline (Top for a bar below a list).
    Edge borderEdge() const { return m_edge; }
    void setBorderEdge(Edge edge);
    void setBorderVisible(bool visible);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QHBoxLayout *barLayout();
    QHBoxLayout *m_layout = nullptr;
    int m_leftCount = 0;
    Edge m_edge = Top;
    bool m_border = true;
};
