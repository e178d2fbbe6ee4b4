#include "ui/EditLib.h"

#include "TestUtil.h"
#include "UiTestUtil.h"

#include <QClipboard>
#include <QToolButton>

using namespace quorvane;

namespace {

// A box configured like the user count box of the series dialog.
struct TUserCountBox {
    TUserCountBox() {
        Edit.SetMinValue(1);
        Edit.SetMaxValue(99999);
        Edit.SetValue(10);
        Edit.SetMaxLength(5);
        Edit.show();
        QApplication::setActiveWindow(&Edit);
        Edit.setFocus();
    }
    TNaturalEdit Edit;
};

void ClickUp(TNaturalEdit& edit) {
    QTest::mouseClick(edit.UpButton(), Qt::LeftButton);
}
void ClickDown(TNaturalEdit& edit) {
    QTest::mouseClick(edit.DownButton(), Qt::LeftButton);
}

} // namespace

TEST(NaturalEdit, KeyboardAcceptsDigitsAndBackspaceOnly) {
    TUserCountBox box;
    TNaturalEdit& edit = box.Edit;
    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("1a-2 .3,x"));
    EXPECT_EQ(edit.text(), QStringLiteral("123"));
    QTest::keyClick(&edit, Qt::Key_Backspace);
    EXPECT_EQ(edit.text(), QStringLiteral("12"));
    QTest::keyClick(&edit, Qt::Key_Home);
    QTest::keyClick(&edit, Qt::Key_Delete);
    EXPECT_EQ(edit.text(), QStringLiteral("2"));
    EXPECT_EQ(edit.Value(), 2);
}

TEST(NaturalEdit, PastedTextIsNotFilteredButReadsClamped) {
    TUserCountBox box;
    TNaturalEdit& edit = box.Edit;
    edit.selectAll();
    QApplication::clipboard()->setText(QStringLiteral("abc"));
    edit.paste();
    EXPECT_EQ(edit.text(), QStringLiteral("abc"));
    EXPECT_EQ(edit.Value(), 1); // 0, raised to MinValue

    // Ctrl+V works like the context menu.
    edit.selectAll();
    QApplication::clipboard()->setText(QStringLiteral("-7"));
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(edit.text(), QStringLiteral("-7"));
    EXPECT_EQ(edit.Value(), 1);

    edit.selectAll();
    QApplication::clipboard()->setText(QStringLiteral("1234567"));
    edit.paste();
    EXPECT_EQ(edit.text(), QStringLiteral("12345")) << "pasting is cut to the length limit";
}

TEST(NaturalEdit, ReadingClampsAndTreatsNonNumbersAsZero) {
    TNaturalEdit edit;
    edit.SetMinValue(1);
    edit.SetMaxValue(99999);
    edit.setText(QString());
    EXPECT_EQ(edit.Value(), 1) << "empty text reads as MinValue";
    edit.setText(QStringLiteral("0123"));
    EXPECT_EQ(edit.Value(), 123);
    edit.setText(QStringLiteral("123456"));
    EXPECT_EQ(edit.Value(), 99999);
    edit.setText(QStringLiteral("99999999999"));
    EXPECT_EQ(edit.Value(), 1) << "beyond 32 bits reads as 0";
    edit.setText(QStringLiteral("12x"));
    EXPECT_EQ(edit.Value(), 1);

    TNaturalEdit wide;
    wide.SetMinValue(-2147483647 - 1);
    wide.setText(QStringLiteral("-2147483648"));
    EXPECT_EQ(wide.Value(), -2147483647 - 1);
    wide.setText(QStringLiteral("2147483648"));
    EXPECT_EQ(wide.Value(), 0);
}

TEST(NaturalEdit, SetValueShowsUnclampedAndBoundsRewriteOnlyWhenCrossing) {
    TNaturalEdit edit;
    edit.SetMaxValue(40);
    edit.SetValue(50);
    EXPECT_EQ(edit.text(), QStringLiteral("50"));
    EXPECT_EQ(edit.Value(), 40);
    edit.SetValue(-3);
    EXPECT_EQ(edit.text(), QStringLiteral("-3"));

    TNaturalEdit crossing;
    crossing.SetMaxValue(10);
    crossing.SetValue(5);
    crossing.SetMinValue(3);
    EXPECT_EQ(crossing.text(), QStringLiteral("5")) << "a bound inside the range leaves the text";
    crossing.SetMinValue(20);
    EXPECT_EQ(crossing.text(), QStringLiteral("20"));
    EXPECT_EQ(crossing.Value(), 10) << "MaxValue wins when the bounds cross";
    crossing.SetMaxValue(15);
    EXPECT_EQ(crossing.text(), QStringLiteral("20"))
        << "the clamped value never lies above MaxValue";
    EXPECT_EQ(crossing.Value(), 15);
}

TEST(NaturalEdit, ArrowsStepWithinBoundsAndKeepTheCaret) {
    TUserCountBox box;
    TNaturalEdit& edit = box.Edit;
    edit.setText(QStringLiteral("0123"));
    edit.setCursorPosition(1);
    ClickUp(edit);
    EXPECT_EQ(edit.text(), QStringLiteral("124"));
    EXPECT_EQ(edit.cursorPosition(), 1);
    ClickDown(edit);
    ClickDown(edit);
    EXPECT_EQ(edit.text(), QStringLiteral("122"));

    edit.SetValue(99999);
    ClickUp(edit);
    EXPECT_EQ(edit.text(), QStringLiteral("99999"));
    edit.SetValue(1);
    ClickDown(edit);
    EXPECT_EQ(edit.text(), QStringLiteral("1"));

    // Beyond the upper bound: up does nothing, down steps from the clamped value.
    TNaturalEdit over;
    over.SetMaxValue(40);
    over.SetValue(50);
    over.show();
    ClickUp(over);
    EXPECT_EQ(over.text(), QStringLiteral("50"));
    ClickDown(over);
    EXPECT_EQ(over.text(), QStringLiteral("39"));

    // The arrow keys step as well.
    edit.SetValue(7);
    QTest::keyClick(&edit, Qt::Key_Up);
    EXPECT_EQ(edit.Value(), 8);
    QTest::keyClick(&edit, Qt::Key_Down);
    QTest::keyClick(&edit, Qt::Key_Down);
    EXPECT_EQ(edit.Value(), 6);
}

TEST(NaturalEdit, LengthLimitStopsTyping) {
    TNaturalEdit edit;
    edit.SetMinValue(4);
    edit.SetMaxValue(99);
    edit.SetValue(6);
    edit.SetMaxLength(2);
    edit.show();
    edit.setFocus();
    edit.clear();
    QTest::keyClicks(&edit, QStringLiteral("123"));
    EXPECT_EQ(edit.text(), QStringLiteral("12"));
    edit.selectAll();
    QTest::keyClicks(&edit, QStringLiteral("1"));
    EXPECT_EQ(edit.text(), QStringLiteral("1"));
    EXPECT_EQ(edit.Value(), 4);
    QTest::keyClicks(&edit, QStringLiteral("99"));
    EXPECT_EQ(edit.text(), QStringLiteral("19"));
    // SetValue is not limited by the typing limit.
    edit.SetValue(1000);
    EXPECT_EQ(edit.text(), QStringLiteral("1000"));
}
