#include "widgets/Accessibility.h"

#include "widgets/BusyIndicator.h"
#include "widgets/ButtonBar.h"
#include "widgets/ElidedLabel.h"
#include "widgets/HyperlinkButton.h"
#include "widgets/KeyCharacterButtons.h"
#include "widgets/SegmentedControl.h"
#include "widgets/SplitView.h"
#include "widgets/Stepper.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <limits>

namespace {

// Runs a click from the event loop (see the header).
template <class W, class F>
void later(W *widget, F &&click)
{
    QTimer::singleShot(0, widget, std::forward<F>(click));
}

// The text of a label whose buddy the widget is, as Qt names line edits.
QString buddyText(const QWidget *widget)
{
    const QWidget *parent = widget ? widget->parentWidget() : nullptr;
    if (!parent)
        return QString();
    const QList<QLabel *> labels = parent->findChildren<QLabel *>(Qt::FindDirectChildrenOnly);
    for (const QLabel *label : labels) {
        if (label->buddy() == widget) {
            return QString(label->text()).remove(QLatin1Char('&'));
        }
    }
    return QString();
}

// ---- SegmentedControl ----

class SegmentAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    SegmentAccessible(SegmentedControl *control, int index)
        : m_control(control)
        , m_index(index)
    {
    }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }
    bool isValid() const override { return m_control && m_index < m_control->segmentCount(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_control ? m_control->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_control.data()); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::PushButton; }
    void setText(QAccessible::Text, const QString &) override {}

    QString text(QAccessible::Text t) const override
    {
        if (!isValid())
            return QString();
        const QString label = m_control->label(m_index);
        const QString tip = m_control->segmentToolTip(m_index);
        if (t == QAccessible::Name)
            return label.isEmpty() ? tip : label;
        if (t == QAccessible::Description && !label.isEmpty())
            return tip;
        return QString();
    }

    QRect rect() const override
    {
        if (!isValid())
            return {};
        const QRect r = m_control->segmentRect(m_index);
        return QRect(m_control->mapToGlobal(r.topLeft()), r.size());
    }

    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        const bool clickable = m_control->isEnabled() && m_control->isSegmentEnabled(m_index);
        s.disabled = !clickable;
        s.focusable = clickable && (m_control->focusPolicy() & Qt::TabFocus);
        s.focused = m_control->hasFocus() && m_control->focusedSegment() == m_index;
        s.pressed = m_control->pressedSegment() == m_index;
        s.checkable = m_control->isSegmentCheckable(m_index);
        s.checked = s.checkable && m_control->isSegmentSelected(m_index);
        s.hotTracked = m_control->hoveredSegment() == m_index;
        s.invisible = !m_control->isVisible();
        return s;
    }

    QStringList actionNames() const override
    {
        if (!isValid() || state().disabled)
            return {};
        QStringList names{pressAction()};
        if (m_control->isSegmentCheckable(m_index))
            names << toggleAction();
        names << setFocusAction();
        return names;
    }

    void doAction(const QString &name) override
    {
        if (!isValid() || !actionNames().contains(name))
            return;
        m_control->setFocusedSegment(m_index);
        if (name == setFocusAction()) {
            m_control->setFocus(Qt::OtherFocusReason);
            return;
        }
        later(m_control.data(), [control = m_control, index = m_index] {
            if (control)
                control->clickSegment(index);
        });
    }

    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<SegmentedControl> m_control;
    int m_index;
};

class SegmentedControlAccessible : public QAccessibleWidget {
public:
    explicit SegmentedControlAccessible(SegmentedControl *control)
        : QAccessibleWidget(control, QAccessible::Grouping)
    {
    }
    ~SegmentedControlAccessible() override
    {
        for (QAccessible::Id id : std::as_const(m_children))
            QAccessible::deleteAccessibleInterface(id);
    }

    SegmentedControl *control() const { return static_cast<SegmentedControl *>(widget()); }

    int childCount() const override { return control()->segmentCount(); }

    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        if (const QAccessible::Id id = m_children.value(index))
            return QAccessible::accessibleInterface(id);
        auto *segment = new SegmentAccessible(control(), index);
        m_children.insert(index, QAccessible::registerAccessibleInterface(segment));
        return segment;
    }

    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (auto it = m_children.cbegin(); it != m_children.cend(); ++it) {
            if (QAccessible::accessibleInterface(it.value()) == child)
                return it.key() < childCount() ? it.key() : -1;
        }
        return -1;
    }

    QAccessibleInterface *childAt(int x, int y) const override
    {
        return child(control()->segmentAt(control()->mapFromGlobal(QPoint(x, y))));
    }

    QAccessibleInterface *focusChild() const override
    {
        return control()->hasFocus() ? child(control()->focusedSegment()) : nullptr;
    }

private:
    mutable QHash<int, QAccessible::Id> m_children;
};

// ---- Stepper ----

class StepperAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit StepperAccessible(Stepper *stepper)
        : QAccessibleWidget(stepper, QAccessible::SpinBox)
    {
    }
    Stepper *stepper() const { return static_cast<Stepper *>(widget()); }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return buddyText(widget());
        if (t == QAccessible::Value)
            return QString::number(stepper()->value());
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return stepper()->value(); }
    // As the user steps, so whoever listens to the steps hears of it.
    void setCurrentValue(const QVariant &value) override { stepper()->stepBy(value.toInt() - stepper()->value()); }
    QVariant maximumValue() const override { return stepper()->maximum(); }
    QVariant minimumValue() const override { return stepper()->minimum(); }
    QVariant minimumStepSize() const override { return 1; }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (stepper()->isEnabled())
            names << increaseAction() << decreaseAction();
        return names;
    }

    void doAction(const QString &name) override
    {
        if (name == increaseAction() && stepper()->isEnabled())
            stepper()->stepUp();
        else if (name == decreaseAction() && stepper()->isEnabled())
            stepper()->stepDown();
        else
            QAccessibleWidget::doAction(name);
    }
};

// ---- SplitView ----

class SplitViewHandleAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SplitViewHandleAccessible(SplitViewHandle *handle)
        : QAccessibleWidget(handle, QAccessible::Separator)
    {
    }
    SplitView *view() const { return qobject_cast<SplitView *>(static_cast<SplitViewHandle *>(widget())->splitter()); }
    int index() const { return view() ? view()->indexOf(static_cast<SplitViewHandle *>(widget())) : -1; }

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return SplitView::tr("Divider");
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return view() ? view()->dividerPosition(index()) : 0; }
    void setCurrentValue(const QVariant &value) override
    {
        if (view())
            view()->moveDivider(index(), value.toInt());
    }
    QVariant maximumValue() const override { return range().second; }
    QVariant minimumValue() const override { return range().first; }
    QVariant minimumStepSize() const override { return 1; }

    QStringList actionNames() const override
    {
        QStringList names = QAccessibleWidget::actionNames();
        if (view() && view()->canCollapseSubview(index()))
            names << toggleAction();
        return names;
    }

    void doAction(const QString &name) override
    {
        if (name == toggleAction() && view())
            view()->dividerDoubleClicked(index());
        else
            QAccessibleWidget::doAction(name);
    }

private:
    QPair<int, int> range() const
    {
        if (!view() || index() <= 0)
            return {0, 0};
        const int lo = view()->constrainedPosition(index(), 0);
        const int hi = view()->constrainedPosition(index(), std::numeric_limits<int>::max() / 2);
        return {lo, qMax(lo, hi)};
    }
};

// ---- BusyIndicator, HyperlinkButton, ElidedLabel ----

class BusyIndicatorAccessible : public QAccessibleWidget {
public:
    explicit BusyIndicatorAccessible(BusyIndicator *indicator)
        : QAccessibleWidget(indicator, QAccessible::ProgressBar)
    {
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return BusyIndicator::tr("Busy");
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        const bool animating = static_cast<BusyIndicator *>(widget())->isAnimating();
        s.busy = animating;
        s.animated = animating;
        return s;
    }
};

class HyperlinkAccessible : public QAccessibleWidget {
public:
    explicit HyperlinkAccessible(HyperlinkButton *link)
        : QAccessibleWidget(link, QAccessible::Link)
    {
    }
    HyperlinkButton *link() const { return static_cast<HyperlinkButton *>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return QString(link()->text()).remove(QLatin1Char('&'));
        if (t == QAccessible::Description && widget()->accessibleDescription().isEmpty() && widget()->toolTip().isEmpty())
            return link()->url().toDisplayString();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = true;
        s.pressed = link()->isDown();
        return s;
    }
    QStringList actionNames() const override
    {
        QStringList names;
        if (link()->isEnabled())
            names << pressAction();
        return names + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &name) override
    {
        if (name == pressAction() && link()->isEnabled())
            later(link(), [l = QPointer<HyperlinkButton>(link())] {
                if (l)
                    l->click();
            });
        else
            QAccessibleWidget::doAction(name);
    }
};

// Qt's button interface reports a shortcut only for the press of a push
// button, so a check box's or radio button's key letter would go untold.
class KeyButtonAccessible : public QAccessibleWidget {
public:
    explicit KeyButtonAccessible(QAbstractButton *button)
        : QAccessibleWidget(button, roleOf(button))
    {
    }
    QAbstractButton *button() const { return static_cast<QAbstractButton *>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return QString(button()->text()).remove(QLatin1Char('&'));
        if (t == QAccessible::Accelerator)
            return button()->shortcut().toString(QKeySequence::NativeText);
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        QAbstractButton *b = button();
        s.checkable = b->isCheckable();
        s.checked = b->isChecked();
        s.pressed = b->isDown();
        if (const auto *box = qobject_cast<QCheckBox *>(b))
            s.checkStateMixed = box->checkState() == Qt::PartiallyChecked;
        if (const auto *push = qobject_cast<QPushButton *>(b))
            s.defaultButton = push->isDefault();
        return s;
    }
    QStringList actionNames() const override
    {
        QStringList names;
        if (button()->isEnabled())
            names << mainAction();
        return names + QAccessibleWidget::actionNames();
    }
    void doAction(const QString &name) override
    {
        if (name == mainAction() && button()->isEnabled())
            later(button(), [b = QPointer<QAbstractButton>(button())] {
                if (b)
                    b->click();
            });
        else
            QAccessibleWidget::doAction(name);
    }
    QStringList keyBindingsForAction(const QString &name) const override
    {
        if (name == mainAction() && !button()->shortcut().isEmpty())
            return {button()->shortcut().toString(QKeySequence::NativeText)};
        return QAccessibleWidget::keyBindingsForAction(name);
    }

private:
    static QAccessible::Role roleOf(QAbstractButton *button)
    {
        if (qobject_cast<QCheckBox *>(button))
            return QAccessible::CheckBox;
        if (qobject_cast<QRadioButton *>(button))
            return QAccessible::RadioButton;
        return QAccessible::PushButton;
    }
    QString mainAction() const { return button()->isCheckable() ? toggleAction() : pressAction(); }
};

class ElidedLabelAccessible : public QAccessibleWidget {
public:
    explicit ElidedLabelAccessible(ElidedLabel *label)
        : QAccessibleWidget(label, QAccessible::StaticText)
    {
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<ElidedLabel *>(widget())->text();
        // The tool tip repeats the text; no need to hear it twice.
        if (t == QAccessible::Description && widget()->accessibleDescription().isEmpty())
            return QString();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface *widgetKitFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    // Exact class names: a subclass elsewhere gets these through its base name.
    if (className == QLatin1String("SegmentedControl"))
        return new SegmentedControlAccessible(static_cast<SegmentedControl *>(object));
    if (className == QLatin1String("Stepper"))
        return new StepperAccessible(static_cast<Stepper *>(object));
    if (className == QLatin1String("SplitViewHandle"))
        return new SplitViewHandleAccessible(static_cast<SplitViewHandle *>(object));
    if (className == QLatin1String("SplitView"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Splitter);
    if (className == QLatin1String("ButtonBar"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::ToolBar);
    if (className == QLatin1String("BusyIndicator"))
        return new BusyIndicatorAccessible(static_cast<BusyIndicator *>(object));
    if (className == QLatin1String("HyperlinkButton"))
        return new HyperlinkAccessible(static_cast<HyperlinkButton *>(object));
    if (className == QLatin1String("KeyPushButton") || className == QLatin1String("KeyCheckBox")
        || className == QLatin1String("KeyRadioButton"))
        return new KeyButtonAccessible(static_cast<QAbstractButton *>(object));
    if (className == QLatin1String("ElidedLabel"))
        return new ElidedLabelAccessible(static_cast<ElidedLabel *>(object));
    return nullptr;
}

} // namespace

void installWidgetAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(widgetKitFactory);
}
