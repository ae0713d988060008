// The widget kit: segmented control, split view, number field, stepper and
// the key-letter buttons, driven with the mouse and keyboard.
#include "widgets/KeyCharacterButtons.h"
#include "widgets/NumberField.h"
#include "widgets/SegmentedControl.h"
#include "widgets/SplitView.h"
#include "widgets/Stepper.h"

#include <QLabel>
#include <QToolButton>
#include <QSignalSpy>
#include <QTest>

class TestWidgets : public QObject {
    Q_OBJECT
private slots:
    void segmentedClicksOnlyEnabledSegments();
    void segmentedMomentaryKeepsProgramSelection();
    void segmentedSelectOneSelectsClicked();
    void segmentedReleaseOutsideDoesNotClick();
    void segmentedKeyboard();
    void segmentedToolTipPerSegment();

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
    QTest::mousePress(&c, Qt::LeftButton, {}, c.segmentRect(0).center());
    QTest::mouseRelease(&c, Qt::LeftButton, {}, c.segmentRect(1).center());
    QCOMPARE(spy.count(), 0);
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
