#include <gtest/gtest.h>

#include <string>

#include "editor/value_format.h"
#include "shell/parameters.h"

using namespace larkwire;

namespace {

std::string format(const ParameterInfo& row, double value) {
    char text[32];
    formatValueForRow(row, value, text, sizeof text);
    return text;
}

std::string formatIndex(int index, double value) {
    char text[32] = "unchanged";
    formatParameterValue(index, value, text, sizeof text);
    return text;
}

}  // namespace

TEST(ValueFormat, OnlyRowShowsWholeNumbersAndOtherIndexesAreEmpty) {
    EXPECT_EQ(formatIndex(0, 0.0), "0");
    EXPECT_EQ(formatIndex(0, 1.0), "1");
    EXPECT_EQ(formatIndex(1, 1.0), "");
    EXPECT_EQ(formatIndex(-1, 1.0), "");
}

TEST(ValueFormat, GainRowsShowSignedDecibels) {
    const ParameterInfo gain{1.0, "Gain", "dB", 1.0, kDecibelKind, 2.0, 0, 0, 2, 1.0};
    EXPECT_EQ(format(gain, 1.0), "+0.00");
    EXPECT_EQ(format(gain, 0.5), "-6.02");
    EXPECT_EQ(format(gain, 0.0), "-150.00");
    EXPECT_EQ(format(gain, 1e-9), "-150.00");  // below 2^-25 counts as silence
    EXPECT_EQ(format(gain, 2.0), "+6.02");
}

TEST(ValueFormat, SwitchRowsShowZeroOrOne) {
    const ParameterInfo onOff{1.0, "On", "", 0.0, kSwitchKind, 1.0, 0, 0, 0, 1.0};
    EXPECT_EQ(format(onOff, 0.49), "0");
    EXPECT_EQ(format(onOff, 0.5), "1");
}

TEST(FaderScale, PositionsToDecibels) {
    EXPECT_EQ(faderZeroDbPosition(), 789);
    EXPECT_EQ(faderPositionToDb(789), 0.0);
    EXPECT_EQ(faderPositionToDb(789.4), 0.0);
    EXPECT_NEAR(faderPositionToDb(1000), 24.0, 1e-9);
    EXPECT_NEAR(faderPositionToDb(500), -8.93, 0.005);
    EXPECT_EQ(faderPositionToDb(0), -1000.0);  // -90 lies below the limit
}

TEST(FaderScale, DecibelsToPositionsAndBack) {
    EXPECT_EQ(dbToFaderPosition(0.0), 789);
    EXPECT_EQ(dbToFaderPosition(24.0), 1000);
    EXPECT_EQ(dbToFaderPosition(-90.0), 0);
    EXPECT_EQ(dbToFaderPosition(-6.0), 545);
    // The two directions agree to within the truncation of one position.
    for (int p = 1; p <= 1000; p += 37) {
        const double db = faderPositionToDb(p);
        const int back = dbToFaderPosition(db);
        EXPECT_LE(std::abs(back - p), 1) << p;
    }
}
