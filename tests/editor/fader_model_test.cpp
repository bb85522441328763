#include <gtest/gtest.h>

#include "editor/fader_model.h"

using namespace larkwire;

namespace {

// A horizontal fader 223 pixels long and 20 high with the 23 x 14 thumb.
constexpr FaderAxis kAxis{223, 20, 23, 14};

}  // namespace

TEST(FaderModel, NewFaderAndDefaults) {
    FaderFields f;
    FaderModel h(f, false);
    EXPECT_EQ(h.value(), 0);
    h.resetToDefault();
    EXPECT_EQ(h.value(), 789);  // the 0 dB point
    f.defaultPosition = 250;
    h.resetToDefault();
    EXPECT_EQ(h.value(), 250);

    FaderFields g;
    FaderModel v(g, true);
    EXPECT_EQ(v.value(), 1000);  // stored 0 is the top: the maximum
    v.resetToDefault();
    EXPECT_EQ(v.value(), 789);
    EXPECT_EQ(g.stored, 211);
}

TEST(FaderModel, SetPositionClampsToTheRange) {
    for (bool vertical : {false, true}) {
        FaderFields f;
        FaderModel m(f, vertical);
        m.setValue(500);
        EXPECT_TRUE(m.setValue(1500));
        EXPECT_EQ(m.value(), 1000);
        EXPECT_FALSE(m.setValue(1029));  // clamps to the same place: no change
        EXPECT_TRUE(m.setValue(-5));
        EXPECT_EQ(m.value(), 0);
    }
    FaderFields f;
    f.range = 10 | (10 << 16);  // maximum not above minimum: taken as minimum + 1
    EXPECT_EQ(faderRange(f).maximum, 11);
    f.range = 200 | (300 << 16);
    FaderModel m(f, false);
    m.setValue(0);
    EXPECT_EQ(m.value(), 200);
}

TEST(FaderModel, WheelSteps) {
    FaderFields f;
    FaderModel m(f, false);
    m.setValue(500);
    m.wheel(120, false);
    EXPECT_EQ(m.value(), 516);
    m.setValue(500);
    m.wheel(120, true);
    EXPECT_EQ(m.value(), 501);
    m.wheel(-1, false);  // a tiny delta still moves one step
    EXPECT_EQ(m.value(), 500);
    m.setValue(995);
    m.wheel(120, false);
    EXPECT_EQ(m.value(), 1000);

    FaderFields g;
    FaderModel v(g, true);
    v.setValue(500);
    v.wheel(120, false);  // away from the user raises a vertical fader too
    EXPECT_EQ(v.value(), 516);
}

TEST(FaderModel, PressOnThumbGrooveOrOutside) {
    FaderFields f;
    FaderModel m(f, false);
    FaderDrag d;
    m.setValue(500);
    const int thumb = m.thumbStart(kAxis);
    EXPECT_EQ(thumb, 200 * 500 / 1000);
    EXPECT_EQ(m.press(d, kAxis, thumb + 3, 2), FaderPress::Thumb);
    EXPECT_EQ(d.grab, 3);
    EXPECT_EQ(m.value(), 500);

    // On the groove: the thumb's centre jumps under the mouse.
    EXPECT_EQ(m.press(d, kAxis, 161, 10), FaderPress::Groove);
    EXPECT_EQ(m.value(), (161 - 11) * 1000 / 200);
    EXPECT_EQ(m.thumbStart(kAxis) + 11, 161);

    // Off the groove's line, or beyond its ends: the parent gets the click.
    EXPECT_EQ(m.press(d, kAxis, 30, 15), FaderPress::Outside);
    EXPECT_EQ(m.press(d, kAxis, 221, 10), FaderPress::Outside);
}

TEST(FaderModel, DragFineAndCancel) {
    FaderFields f;
    FaderModel m(f, false);
    FaderDrag d;
    m.setValue(500);
    ASSERT_EQ(m.press(d, kAxis, 105, 10), FaderPress::Thumb);
    EXPECT_TRUE(m.drag(d, kAxis, 125, false, false, false));
    EXPECT_EQ(m.value(), (125 - 5) * 1000 / 200);
    EXPECT_FALSE(m.drag(d, kAxis, 125, false, false, false));  // no movement, no notice
    EXPECT_TRUE(m.drag(d, kAxis, 128, true, false, false));    // Control: one step a pixel
    EXPECT_EQ(m.value(), 603);
    EXPECT_TRUE(m.drag(d, kAxis, 500, false, false, false));
    EXPECT_EQ(m.value(), 1000);  // clamped
    // Releasing with Alt puts it back where the drag started and still tells.
    EXPECT_TRUE(m.drag(d, kAxis, 300, false, true, true));
    EXPECT_EQ(m.value(), 500);

    // A release where the last move was keeps the position.
    m.press(d, kAxis, m.thumbStart(kAxis) + 5, 10);
    m.drag(d, kAxis, 60, false, false, false);
    const int before = m.value();
    EXPECT_TRUE(m.drag(d, kAxis, 60, false, true, false));
    EXPECT_EQ(m.value(), before);
}

TEST(FaderModel, VerticalDragDownLowersTheValue) {
    const FaderAxis axis{226, 20, 26, 14};
    FaderFields f;
    FaderModel m(f, true);
    FaderDrag d;
    m.setValue(500);
    const int top = m.thumbStart(axis);
    ASSERT_EQ(m.press(d, axis, top + 2, 10), FaderPress::Thumb);
    m.drag(d, axis, top + 42, false, false, false);
    EXPECT_EQ(m.value(), 300);
    EXPECT_EQ(faderLevelTop(1000, 226, 26), 13);
    EXPECT_EQ(faderLevelTop(0, 226, 26), 213);
}
