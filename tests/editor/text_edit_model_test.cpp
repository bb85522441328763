#include <gtest/gtest.h>

#include "editor/caret_blink.h"
#include "editor/dialog_layout.h"
#include "editor/field_edits.h"
#include "editor/text_edit_model.h"

namespace larkwire {
namespace {

TEST(TextEditModel, TypingEditingAndTheSelection) {
    TextEditModel m;
    EXPECT_TRUE(m.insert("xstudio-bb"));
    EXPECT_TRUE(m.backspace());
    m.home(false);
    EXPECT_TRUE(m.deleteForward());
    EXPECT_EQ(m.text(), "studio-b");
    EXPECT_FALSE(m.backspace());  // at the start
    m.end(false);
    EXPECT_FALSE(m.deleteForward());  // at the end

    // Shift+Left twice selects "-b"; typing replaces it.
    m.moveLeft(true);
    m.moveLeft(true);
    EXPECT_EQ(m.selectedText(), "-b");
    EXPECT_TRUE(m.insert("_a"));
    EXPECT_EQ(m.text(), "studio_a");
    // Left without Shift collapses a selection to its start.
    m.selectAll();
    m.moveLeft(false);
    EXPECT_EQ(m.caret(), 0u);
    EXPECT_FALSE(m.hasSelection());
    m.selectWordAt(3);
    EXPECT_EQ(m.selectedText(), "studio_a");
    EXPECT_TRUE(m.cutSelection());
    EXPECT_EQ(m.text(), "");
}

TEST(TextEditModel, PastedAndTypedTextIsFiltered) {
    TextEditModel digits(511, true);
    EXPECT_FALSE(digits.insert("x"));
    EXPECT_TRUE(digits.insert("1a2\t3"));
    EXPECT_EQ(digits.text(), "123");

    TextEditModel line(8);
    EXPECT_TRUE(line.insert("10.0.0.5\nsecond line"));  // ends at the line break
    EXPECT_EQ(line.text(), "10.0.0.5");
    EXPECT_FALSE(line.insert("9"));  // at the limit
    line.selectAll();
    EXPECT_TRUE(line.insert("1234567890"));  // the selection makes room, the limit still holds
    EXPECT_EQ(line.text(), "12345678");
}

TEST(CaretBlink, ShownAtOnceWhenMovedThenEveryOtherHalfPeriod) {
    CaretBlink blink;
    blink.restart(10'000);
    EXPECT_TRUE(blink.visible(10'000));
    EXPECT_TRUE(blink.visible(10'529));
    EXPECT_FALSE(blink.visible(10'530));
    EXPECT_FALSE(blink.visible(11'059));
    EXPECT_TRUE(blink.visible(11'060));
    // A keystroke while it is off shows it again, with a full half period.
    blink.restart(11'700);
    EXPECT_TRUE(blink.visible(11'700));
    EXPECT_TRUE(blink.visible(12'229));
    EXPECT_FALSE(blink.visible(12'230));
}

TEST(ChannelField, LeadingDigitsSaturateRatherThanWrap) {
    EXPECT_EQ(leadingNumber("12ab"), 12);
    EXPECT_EQ(leadingNumber("x5"), 0);
    EXPECT_EQ(leadingNumber("2147483647"), 0x7FFFFFFF);
    EXPECT_EQ(leadingNumber("99999999999999999999999"), 0x7FFFFFFF);
}

TEST(DialogLayout, PixelsFollowTheFontsBaseUnits) {
    // The Windows editor's font gives base units 7 x 13: a 373 x 153 dialog.
    const PixelRect dialog = toPixels(0, 0, kDialogWidthUnits, kDialogHeightUnits, 7, 13);
    EXPECT_EQ(dialog.width, 373);
    EXPECT_EQ(dialog.height, 153);
    EXPECT_EQ(baseUnitX(7 * 52), 7);
    std::size_t count = 0;
    const DialogControl* controls = dialogControls(&count);
    ASSERT_EQ(count, 10u);
    const PixelRect meter = toPixels(controls[8], 7, 13);
    EXPECT_EQ((meter.x), 12);
    EXPECT_EQ(meter.x + meter.width, 361);  // 206 units, right edge inside the dialog
}

}  // namespace
}  // namespace larkwire
