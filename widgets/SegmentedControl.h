#pragma once
#include <QAccessible>
#include <QIcon>
#include <QList>
#include <QWidget>

// A row of joined buttons ("segments"). Each segment has its own label, icon,
// tool tip and enabled state. In Momentary mode a click only shows the pressed
// look while the mouse is down; the "selected" look of a segment is then set by
// the program (setSegmentSelected), so a segment can mirror a preference. In
// SelectOne mode a click selects that segment and deselects the others.
//
// Keyboard: Left/Right move the focus between enabled segments, Space or Enter
// clicks the focused one. Assistive technology sees each segment as a push
// button of its own (widgets/Accessibility.h).
class SegmentedControl : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int segmentCount READ segmentCount WRITE setSegmentCount)
public:
    enum TrackingMode { Momentary, SelectOne };
    Q_ENUM(TrackingMode)

    explicit SegmentedControl(QWidget *parent = nullptr);

    int segmentCount() const { return int(m_segments.size()); }
    void setSegmentCount(int count);

    TrackingMode trackingMode() const { return m_mode; }
    void setTrackingMode(TrackingMode mode);

    QString label(int segment) const;
    void setLabel(int segment, const QString &text);
    QIcon icon(int segment) const;
    void setIcon(int segment, const QIcon &icon);
    QString segmentToolTip(int segment) const;
    void setSegmentToolTip(int segment, const QString &text);

    // Enabled state of one segment; the segment reacts only when the whole
    // control is enabled too.
    bool isSegmentEnabled(int segment) const;
    void setSegmentEnabled(int segment, bool enabled);
    bool isSegmentSelected(int segment) const;
    void setSegmentSelected(int segment, bool selected);
    // A checkable segment is an on/off switch whose state is its selected look
    // (SelectOne segments always are); it only tells assistive technology so.
    bool isSegmentCheckable(int segment) const;
    void setSegmentCheckable(int segment, bool checkable);

    // The segment last clicked (or -1), as an action handler asks for it.
    int selectedSegment() const { return m_lastClicked; }

    // Where a segment is drawn, in widget coordinates (tests click there).
    QRect segmentRect(int segment) const;
    int segmentAt(const QPoint &pos) const;

    // Clicks a segment as the user would (ignored when it is disabled).
    void clickSegment(int segment);

    // The segment the keyboard acts on, the one held down with the mouse and
    // the one under the mouse (-1 for none).
    int focusedSegment() const { return m_focused; }
    void setFocusedSegment(int segment);
    int pressedSegment() const { return m_pressInside ? m_pressed : -1; }
    int hoveredSegment() const { return m_hovered; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    void segmentClicked(int segment);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void leaveEvent(QEvent *event) override;
    bool event(QEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    struct Segment {
        QString label;
        QIcon icon;
        QString toolTip;
        bool enabled = true;
        bool selected = false;
        bool checkable = false;
    };
    bool valid(int segment) const { return segment >= 0 && segment < segmentCount(); }
    bool canClick(int segment) const;
    int segmentWidth(int segment) const;
    void moveFocus(int step);
    void setPressed(int segment, bool inside);
    void notifyState(int segment, const QAccessible::State &changed);

    QList<Segment> m_segments;
    TrackingMode m_mode = Momentary;
    int m_pressed = -1;
    int m_hovered = -1;
    int m_focused = 0;
    int m_lastClicked = -1;
    bool m_pressInside = false;
};
