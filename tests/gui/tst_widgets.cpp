// The widget kit: segmented control, split view, number field, stepper and
// the key-letter buttons, driven with the mouse and keyboard, and as
// assistive technology sees and drives them.
#include "widgets/Accessibility.h"
#include "widgets/BusyIndicator.h"
#include "widgets/ButtonBar.h"
#include "widgets/ElidedLabel.h"
#include "widgets/HyperlinkButton.h"
#include "widgets/KeyCharacterButtons.h"
#include "widgets/NumberField.h"
#include "widgets/SegmentedControl.h"
#include "widgets/SplitView.h"
#include "widgets/Stepper.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QSignalSpy>
#include <QTest>


class TestWidgets : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void segmentedClicksOnlyEnabledSegments();
    void segmentedMomentaryKeepsProgramSelection();
    void segmentedSelectOneSelectsClicked();
    void segmentedReleaseOutsideDoesNotClick();
    void segmentedKeyboard();
    void segmentedToolTipPerSegment();
    void accessibleSegments_data();
    void accessibleSegments();
    void accessibleWidgets_data();
    void accessibleWidgets();

    void splitLimits_data();
    void splitLimits();
    void splitDragIsConstrained();
    void splitCollapseOnlySecondPane();
    void splitKeepsLimitsOnResize();

    void numberFieldEndOfEditing_data();
    void numberFieldEndOfEditing();
    void numberFieldReturnCommits();

    void stepperBounds();

    void keyLetterMark();
};

void TestWidgets::initTestCase()
{
    installWidgetAccessibility();
}

void TestWidgets::segmentedClicksOnlyEnabledSegments()
{
    SegmentedControl c;
    c.setSegmentCount(3);
    for (int i = 0; i < 3; ++i)
        c.setLabel(i, QStringLiteral("Segment %1").arg(i));
    c.setSegmentEnabled(1, false);
    c.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c));
    QSignalSpy spy(&c, &SegmentedControl::segmentClicked);
    QTest::mouseClick(&c, Qt::LeftButton, {}, c.segmentRect(1).center());
    QCOMPARE(spy.count(), 0);
    QTest::mouseClick(&c, Qt::LeftButton, {}, c.segmentRect(2).center());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 2);
    QCOMPARE(c.selectedSegment(), 2);
    // A disabled control ignores every segment.
    c.setEnabled(false);
    QTest::mouseClick(&c, Qt::LeftButton, {}, c.segmentRect(0).center());
    QCOMPARE(spy.count(), 1);
}

void TestWidgets::segmentedMomentaryKeepsProgramSelection()
{
    SegmentedControl c;
    c.setSegmentCount(3);
    c.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c));
    c.setSegmentSelected(2, true);
    QTest::mouseClick(&c, Qt::LeftButton, {}, c.segmentRect(0).center());
    // Momentary: a click selects nothing; the program's selection stays.
    QVERIFY(!c.isSegmentSelected(0));
    QVERIFY(c.isSegmentSelected(2));
}

void TestWidgets::segmentedSelectOneSelectsClicked()
{
    SegmentedControl c;
    c.setTrackingMode(SegmentedControl::SelectOne);
    c.setSegmentCount(3);
    c.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c));
    c.setSegmentSelected(0, true);
    QTest::mouseClick(&c, Qt::LeftButton, {}, c.segmentRect(1).center());
    QVERIFY(!c.isSegmentSelected(0));
    QVERIFY(c.isSegmentSelected(1));
}

void TestWidgets::segmentedReleaseOutsideDoesNotClick()
{
    SegmentedControl c;
    c.setSegmentCount(2);
    c.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c));
    QSignalSpy spy(&c, &SegmentedControl::segmentClicked);
    QAccessibleInterface *first = QAccessible::queryAccessibleInterface(&c)->child(0);
    QTest::mousePress(&c, Qt::LeftButton, {}, c.segmentRect(0).center());
    QVERIFY(first->state().pressed);
    QTest::mouseRelease(&c, Qt::LeftButton, {}, c.segmentRect(1).center());
    QCOMPARE(spy.count(), 0);
    QVERIFY(!first->state().pressed);
}

void TestWidgets::segmentedKeyboard()
{
    SegmentedControl c;
    c.setSegmentCount(3);
    c.setSegmentEnabled(1, false);
    c.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c));
    c.setFocus();
    QSignalSpy spy(&c, &SegmentedControl::segmentClicked);
    // Right skips the disabled segment.
    QTest::keyClick(&c, Qt::Key_Right);
    QTest::keyClick(&c, Qt::Key_Space);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toInt(), 2);
    // A screen reader follows the focus from segment to segment.
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&c);
    QCOMPARE(iface->focusChild(), iface->child(2));
    QVERIFY(iface->child(2)->state().focused);
    QVERIFY(!iface->child(0)->state().focused);
    // Tab leaves the control as a whole: one stop, not one per segment.
    QWidget box;
    auto *layout = new QHBoxLayout(&box);
    auto *before = new QLineEdit;
    auto *inBox = new SegmentedControl;
    auto *next = new QLineEdit;
    inBox->setSegmentCount(3);
    layout->addWidget(before);
    layout->addWidget(inBox);
    layout->addWidget(next);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    box.activateWindow();
    before->setFocus();
    QTest::keyClick(before, Qt::Key_Tab);
    QVERIFY(inBox->hasFocus());
    QTest::keyClick(inBox, Qt::Key_Tab);
    QVERIFY(next->hasFocus());
}

void TestWidgets::segmentedToolTipPerSegment()
{
    SegmentedControl c;
    c.setSegmentCount(2);
    c.setSegmentToolTip(0, QStringLiteral("first"));
    c.setSegmentToolTip(1, QStringLiteral("second"));
    QCOMPARE(c.segmentToolTip(1), QStringLiteral("second"));
    QCOMPARE(c.segmentToolTip(5), QString());
    c.resize(c.sizeHint());
    QCOMPARE(c.segmentAt(c.segmentRect(1).center()), 1);
}

void TestWidgets::accessibleSegments_data()
{
    QTest::addColumn<int>("segment");
    QTest::addColumn<bool>("selectOne");
    QTest::addColumn<bool>("segmentEnabled");
    QTest::addColumn<bool>("controlEnabled");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("checkable");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QStringList>("actions");
    // Segment 0 "Add" (tip "Add files"), 1 no label (tip "Move up"),
    // 2 "Subfolders", checkable and selected.
    const QString press = QAccessibleActionInterface::pressAction();
    const QString toggle = QAccessibleActionInterface::toggleAction();
    const QString focus = QAccessibleActionInterface::setFocusAction();
    QTest::newRow("named by its label") << 0 << false << true << true << "Add" << false << false << QStringList{press, focus};
    QTest::newRow("named by its tool tip") << 1 << false << true << true << "Move up" << false << false << QStringList{press, focus};
    QTest::newRow("a switch that is on") << 2 << false << true << true << "Subfolders" << true << true << QStringList{press, toggle, focus};
    QTest::newRow("disabled segment") << 1 << false << false << true << "Move up" << false << false << QStringList{};
    QTest::newRow("disabled control") << 0 << false << true << false << "Add" << false << false << QStringList{};
    QTest::newRow("select-one segment") << 0 << true << true << true << "Add" << true << false << QStringList{press, toggle, focus};
}

void TestWidgets::accessibleSegments()
{
    QFETCH(int, segment);
    QFETCH(bool, selectOne);
    QFETCH(bool, segmentEnabled);
    QFETCH(bool, controlEnabled);
    QFETCH(QString, name);
    QFETCH(bool, checkable);
    QFETCH(bool, checked);
    QFETCH(QStringList, actions);
    SegmentedControl c;
    c.setAccessibleName(QStringLiteral("Files"));
    c.setTrackingMode(selectOne ? SegmentedControl::SelectOne : SegmentedControl::Momentary);
    c.setSegmentCount(3);
    c.setLabel(0, QStringLiteral("Add"));
    c.setSegmentToolTip(0, QStringLiteral("Add files"));
    c.setSegmentToolTip(1, QStringLiteral("Move up"));
    c.setLabel(2, QStringLiteral("Subfolders"));
    if (!selectOne) {
        c.setSegmentCheckable(2, true);
        c.setSegmentSelected(2, true);
    }
    c.setSegmentEnabled(segment, segmentEnabled);
    c.setEnabled(controlEnabled);
    c.show();
    QVERIFY(QTest::qWaitForWindowExposed(&c));

    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&c);
    QVERIFY(iface);
    QCOMPARE(iface->role(), QAccessible::Grouping);
    QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Files"));
    QCOMPARE(iface->childCount(), 3);
    QAccessibleInterface *child = iface->child(segment);
    QVERIFY(child && child->isValid());
    QCOMPARE(child->parent(), iface);
    QCOMPARE(iface->indexOfChild(child), segment);
    QCOMPARE(iface->childAt(child->rect().center().x(), child->rect().center().y()), child);
    QCOMPARE(child->role(), QAccessible::PushButton);
    QCOMPARE(child->text(QAccessible::Name), name);
    const QAccessible::State state = child->state();
    QCOMPARE(bool(state.disabled), !(segmentEnabled && controlEnabled));
    QCOMPARE(bool(state.checkable), checkable);
    QCOMPARE(bool(state.checked), checked);
    QVERIFY(child->actionInterface());
    QCOMPARE(child->actionInterface()->actionNames(), actions);

    // Pressing through the interface clicks the segment, as a click does.
    QSignalSpy clicked(&c, &SegmentedControl::segmentClicked);
    child->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    if (actions.isEmpty()) {
        QCoreApplication::processEvents();
        QCOMPARE(clicked.count(), 0);
    } else {
        QVERIFY(clicked.wait(2000));
        QCOMPARE(clicked.at(0).at(0).toInt(), segment);
        QCOMPARE(c.focusedSegment(), segment);
    }

    c.setLabel(segment, QStringLiteral("Renamed"));
    QCOMPARE(child->text(QAccessible::Name), QStringLiteral("Renamed"));
    // Fewer segments: the interface of a segment gone says so.
    c.setSegmentCount(segment);
    QVERIFY(!child->isValid());
}

void TestWidgets::accessibleWidgets_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("effect");
    // Named by a label as Qt names line edits: its text, the & taken out.
    QTest::newRow("stepper named by its label") << "stepper" << int(QAccessible::SpinBox) << "Images per file:"
                                                << QAccessibleActionInterface::increaseAction() << "value 3, stepped 1";
    QTest::newRow("stepper arrow") << "stepper arrow" << int(QAccessible::PushButton) << "Decrease"
                                   << QAccessibleActionInterface::pressAction() << "value 1, stepped 1";
    QTest::newRow("stepper value set") << "stepper value" << int(QAccessible::SpinBox) << "Images per file:" << QString()
                                       << "value 5, stepped 1";
    QTest::newRow("number field named by its label") << "number field" << int(QAccessible::EditableText) << "Images per file:"
                                                     << QString() << "text 12";
    QTest::newRow("busy indicator") << "busy" << int(QAccessible::ProgressBar) << "Busy" << QString() << "busy";
    QTest::newRow("link") << "link" << int(QAccessible::Link) << "Write to us" << QAccessibleActionInterface::pressAction()
                          << "opened mailto:support@example.org";
    QTest::newRow("elided label") << "elided" << int(QAccessible::StaticText)
                                  << "/a/very/long/path/to/the/folder/of/the/converted/files" << QString() << "shortened";
    QTest::newRow("button bar") << "bar" << int(QAccessible::ToolBar) << "List commands" << QString() << "2 children";
    QTest::newRow("split view divider") << "divider" << int(QAccessible::Separator) << "Divider"
                                        << QAccessibleActionInterface::toggleAction() << "collapsed";
    QTest::newRow("key-letter push button") << "key push" << int(QAccessible::PushButton) << "View Log"
                                            << QAccessibleActionInterface::pressAction() << "clicked, key Alt+L";
    QTest::newRow("key-letter check box") << "key check" << int(QAccessible::CheckBox) << "Include Subfolders"
                                          << QAccessibleActionInterface::toggleAction() << "checked, key Alt+U";
}

void TestWidgets::accessibleWidgets()
{
    QFETCH(QString, kind);
    QFETCH(int, role);
    QFETCH(QString, name);
    QFETCH(QString, action);
    QFETCH(QString, effect);
    QWidget window;
    auto *layout = new QHBoxLayout(&window);
    auto *label = new QLabel(QStringLiteral("Images per &file:"));
    layout->addWidget(label);
    QWidget *target = nullptr;
    std::function<QString()> observed;
    if (kind.startsWith(QLatin1String("stepper"))) {
        auto *stepper = new Stepper;
        stepper->setRange(1, 5);
        stepper->setValue(2);
        label->setBuddy(stepper);
        auto *steps = new QSignalSpy(stepper, &Stepper::valueStepped);
        steps->setParent(stepper);
        target = kind == QLatin1String("stepper arrow") ? static_cast<QWidget *>(stepper->downButton()) : stepper;
        observed = [stepper, steps] {
            return steps->isEmpty() ? QStringLiteral("value %1").arg(stepper->value())
                                    : QStringLiteral("value %1, stepped %2").arg(stepper->value()).arg(steps->count());
        };
        layout->addWidget(stepper);
    } else if (kind == QLatin1String("number field")) {
        auto *field = new NumberField;
        label->setBuddy(field);
        target = field;
        observed = [field] { return QStringLiteral("text %1").arg(field->text()); };
        layout->addWidget(field);
    } else if (kind == QLatin1String("busy")) {
        auto *busy = new BusyIndicator;
        busy->startAnimation();
        target = busy;
        observed = [busy] {
            return QAccessible::queryAccessibleInterface(busy)->state().busy ? QStringLiteral("busy") : QStringLiteral("idle");
        };
        layout->addWidget(busy);
    } else if (kind == QLatin1String("link")) {
        auto *link = new HyperlinkButton(QStringLiteral("Write to us"));
        link->setUrl(QUrl(QStringLiteral("mailto:support@example.org")));
        auto opened = std::make_shared<QString>();
        link->setUrlOpener([opened](const QUrl &url) {
            *opened = url.toString();
            return true;
        });
        target = link;
        observed = [opened] { return opened->isEmpty() ? QString() : QStringLiteral("opened ") + *opened; };
        layout->addWidget(link);
    } else if (kind == QLatin1String("elided")) {
        auto *elided = new ElidedLabel;
        elided->setText(QStringLiteral("/a/very/long/path/to/the/folder/of/the/converted/files"));
        elided->setFixedWidth(80);
        target = elided;
        observed = [elided] { return elided->elidedText() != elided->text() ? QStringLiteral("shortened") : QString(); };
        layout->addWidget(elided);
    } else if (kind == QLatin1String("bar")) {
        auto *bar = new ButtonBar;
        bar->setAccessibleName(QStringLiteral("List commands"));
        bar->addLeft(new QPushButton(QStringLiteral("One")));
        bar->addRight(new QPushButton(QStringLiteral("Two")));
        target = bar;
        observed = [bar] { return QStringLiteral("%1 children").arg(QAccessible::queryAccessibleInterface(bar)->childCount()); };
        layout->addWidget(bar);
    } else if (kind == QLatin1String("divider")) {
        auto *split = new SplitView;
        split->addWidget(new QLabel(QStringLiteral("list")));
        split->addWidget(new QLabel(QStringLiteral("pane")));
        split->setMinimumWidth(700);
        target = split->handle(1);
        observed = [split] { return split->isSubviewCollapsed(1) ? QStringLiteral("collapsed") : QString(); };
        layout->addWidget(split);
    } else if (kind == QLatin1String("key push")) {
        auto *button = new KeyPushButton(QStringLiteral("View Log"));
        keycharacter::setMark(button, 5, Qt::red);
        auto *clicks = new QSignalSpy(button, &QAbstractButton::clicked);
        clicks->setParent(button);
        target = button;
        observed = [button, clicks] {
            const QStringList keys = QAccessible::queryAccessibleInterface(button)->actionInterface()->keyBindingsForAction(
                QAccessibleActionInterface::pressAction());
            return clicks->isEmpty() ? QString() : QStringLiteral("clicked, key ") + keys.join(QLatin1Char(' '));
        };
        layout->addWidget(button);
    } else if (kind == QLatin1String("key check")) {
        auto *box = new KeyCheckBox(QStringLiteral("Include Subfolders"));
        keycharacter::setMark(box, 9, Qt::red);
        target = box;
        observed = [box] {
            const QStringList keys = QAccessible::queryAccessibleInterface(box)->actionInterface()->keyBindingsForAction(
                QAccessibleActionInterface::toggleAction());
            return box->isChecked() ? QStringLiteral("checked, key ") + keys.join(QLatin1Char(' ')) : QString();
        };
        layout->addWidget(box);
    }
    QVERIFY(target);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(target);
    QVERIFY(iface);
    QCOMPARE(int(iface->role()), role);
    QCOMPARE(iface->text(QAccessible::Name), name);
    if (!action.isEmpty()) {
        QVERIFY(iface->actionInterface());
        QVERIFY2(iface->actionInterface()->actionNames().contains(action), qPrintable(iface->actionInterface()->actionNames().join(u',')));
        iface->actionInterface()->doAction(action);
    } else if (kind == QLatin1String("stepper value")) {
        // Set beyond the range: kept in it, and heard as a step.
        QVERIFY(iface->valueInterface());
        QCOMPARE(iface->valueInterface()->maximumValue().toInt(), 5);
        iface->valueInterface()->setCurrentValue(9);
    } else if (kind == QLatin1String("number field")) {
        iface->editableTextInterface()->insertText(0, QStringLiteral("12"));
    }
    QTRY_COMPARE(observed(), effect);
}

void TestWidgets::splitLimits_data()
{
    QTest::addColumn<int>("proposed");
    QTest::addColumn<int>("expected");
    // 1000 wide, 5 px divider: the divider lives in [200, 1000 - 5 - 100].
    QTest::newRow("inside") << 500 << 500;
    QTest::newRow("too near the start") << 120 << 200;
    QTest::newRow("at the start") << 0 << 200;
    QTest::newRow("too near the end") << 950 << 895;
    QTest::newRow("exactly the limit") << 895 << 895;
}

void TestWidgets::splitLimits()
{
    QFETCH(int, proposed);
    QFETCH(int, expected);
    SplitView split;
    split.addWidget(new QLabel(QStringLiteral("list")));
    split.addWidget(new QLabel(QStringLiteral("pane")));
    split.resize(1000, 300);
    split.show();
    QVERIFY(QTest::qWaitForWindowExposed(&split));
    QCOMPARE(split.constrainedPosition(1, proposed), expected);
    split.moveDivider(1, proposed);
    QCOMPARE(split.dividerPosition(1), expected);
    QCOMPARE(split.sizes().at(0), expected);
}

void TestWidgets::splitDragIsConstrained()
{
    SplitView split;
    split.addWidget(new QLabel(QStringLiteral("list")));
    split.addWidget(new QLabel(QStringLiteral("pane")));
    split.resize(800, 300);
    split.show();
    QVERIFY(QTest::qWaitForWindowExposed(&split));
    split.moveDivider(1, 400);
    QSplitterHandle *handle = split.handle(1);
    const QPoint inHandle(handle->width() / 2, 10);
    QTest::mousePress(handle, Qt::LeftButton, {}, inHandle);
    // Drag far to the left: the list keeps its 200 px.
    QMouseEvent move(QEvent::MouseMove, QPointF(inHandle - QPoint(350, 0)), handle->mapToGlobal(QPointF(inHandle - QPoint(350, 0))),
                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &move);
    QTest::mouseRelease(handle, Qt::LeftButton, {}, inHandle - QPoint(350, 0));
    QCOMPARE(split.dividerPosition(1), 200);
}

void TestWidgets::splitCollapseOnlySecondPane()
{
    SplitView split;
    split.addWidget(new QLabel(QStringLiteral("list")));
    split.addWidget(new QLabel(QStringLiteral("pane")));
    split.resize(900, 300);
    split.show();
    QVERIFY(QTest::qWaitForWindowExposed(&split));
    split.moveDivider(1, 600);
    QVERIFY(!split.canCollapseSubview(0));
    QVERIFY(split.canCollapseSubview(1));
    QVERIFY(split.shouldHideDivider(1));
    QSignalSpy spy(&split, &SplitView::subviewCollapsedChanged);
    QTest::mouseDClick(split.handle(1), Qt::LeftButton);
    QVERIFY(split.isSubviewCollapsed(1));
    QVERIFY(!split.isSubviewCollapsed(0));
    QCOMPARE(spy.count(), 1);
    // A second double click brings it back where it was.
    QTest::mouseDClick(split.handle(1), Qt::LeftButton);
    QVERIFY(!split.isSubviewCollapsed(1));
    QCOMPARE(split.dividerPosition(1), 600);
    // Asking to collapse the first pane does nothing.
    split.setSubviewCollapsed(0, true);
    QVERIFY(!split.isSubviewCollapsed(0));
}

void TestWidgets::splitKeepsLimitsOnResize()
{
    SplitView split;
    split.addWidget(new QLabel(QStringLiteral("list")));
    split.addWidget(new QLabel(QStringLiteral("pane")));
    split.setStretchFactor(0, 0);
    split.setStretchFactor(1, 1);
    split.resize(900, 300);
    split.show();
    QVERIFY(QTest::qWaitForWindowExposed(&split));
    split.moveDivider(1, 700);
    split.resize(600, 300);
    QTRY_VERIFY(split.dividerPosition(1) <= 600 - split.handleWidth() - 100);
}

void TestWidgets::numberFieldEndOfEditing_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::newRow("leading zeros") << QStringLiteral("007") << QStringLiteral("7");
    QTest::newRow("empty") << QString() << QStringLiteral("0");
    QTest::newRow("trailing letters") << QStringLiteral("12abc") << QStringLiteral("12");
    QTest::newRow("no digits") << QStringLiteral("abc") << QStringLiteral("0");
    QTest::newRow("blanks and sign") << QStringLiteral("  -5x") << QStringLiteral("-5");
    QTest::newRow("plus sign") << QStringLiteral("+9") << QStringLiteral("9");
    QTest::newRow("huge") << QStringLiteral("99999999999") << QStringLiteral("2147483647");
}

void TestWidgets::numberFieldEndOfEditing()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QWidget window;
    auto *field = new NumberField(&window);
    auto *other = new QLineEdit(&window);
    other->move(0, 40);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    field->setFocus();
    QTest::keyClicks(field, typed);
    QString atFinish;
    connect(field, &QLineEdit::editingFinished, this, [&] { atFinish = field->text(); });
    other->setFocus();
    QCOMPARE(field->text(), shown);
    // editingFinished already sees the number.
    QCOMPARE(atFinish, shown);
}

void TestWidgets::numberFieldReturnCommits()
{
    NumberField field;
    field.show();
    QVERIFY(QTest::qWaitForWindowExposed(&field));
    field.setFocus();
    QTest::keyClicks(&field, QStringLiteral("0042z"));
    QTest::keyClick(&field, Qt::Key_Return);
    QCOMPARE(field.text(), QStringLiteral("42"));
    QCOMPARE(field.value(), 42);
}

void TestWidgets::stepperBounds()
{
    Stepper s;
    s.setRange(1, 3);
    s.setValue(2);
    QSignalSpy stepped(&s, &Stepper::valueStepped);
    s.show();
    QVERIFY(QTest::qWaitForWindowExposed(&s));
    QTest::mouseClick(s.upButton(), Qt::LeftButton);
    QCOMPARE(s.value(), 3);
    QVERIFY(!s.upButton()->isEnabled());
    s.stepUp();
    QCOMPARE(s.value(), 3);
    QCOMPARE(stepped.count(), 1);
    s.stepBy(-10);
    QCOMPARE(s.value(), 1);
    QVERIFY(!s.downButton()->isEnabled());
    s.setValue(-4);
    QCOMPARE(s.value(), 1);
}

void TestWidgets::keyLetterMark()
{
    KeyPushButton b(QStringLiteral("View Log"));
    QVERIFY(!keycharacter::hasMark(&b));
    const int plainWidth = b.sizeHint().width();
    keycharacter::setMark(&b, 5, Qt::red);
    QVERIFY(keycharacter::hasMark(&b));
    const QString html = keycharacter::attributedTitle(&b);
    QVERIFY2(html.contains(QStringLiteral("<u><b><span style=\"color:#ff0000\">L</span></b></u>")), qPrintable(html));
    QVERIFY(html.contains(QStringLiteral("View ")));
    QVERIFY(b.sizeHint().width() > plainWidth);
    // Painting a marked button must work (and not fall back to the plain title).
    b.show();
    QVERIFY(QTest::qWaitForWindowExposed(&b));
    QVERIFY(!b.grab().isNull());
    keycharacter::setMark(&b, -1, Qt::red);
    QVERIFY(!keycharacter::hasMark(&b));
    // An index past the text is no mark.
    keycharacter::setMark(&b, 99, Qt::red);
    QVERIFY(!keycharacter::hasMark(&b));
}

QTEST_MAIN(TestWidgets)
#include "tst_widgets.moc"
