#include <gtest/gtest.h>

#include <atomic>
#include <limits>
#include <string>
#include <vector>

#include "editor/meter_geometry.h"
#include "editor/meter_levels.h"
#include "editor/meter_tick.h"

using namespace larkwire;

namespace {

std::vector<int> marks(int width) {
    int m[kMaxMeterMarks];
    const int n = horizontalMarks(width, normalMeterScale(), m);
    return {m, m + n};
}

std::string readout(int tenths) {
    char text[16];
    meterReadout(tenths, text, sizeof text);
    return text;
}

}  // namespace

TEST(MeterTick, PeaksBecomeTenthsRoundedDownAndDecay) {
    std::atomic<double> peaks[2] = {1.0, 0.0};
    MeterReading r = meterTick(peaks);
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.right, -1500);
    EXPECT_DOUBLE_EQ(peaks[0].load(), 0.8);
    EXPECT_DOUBLE_EQ(peaks[1].load(), 0.0);

    peaks[0] = 0.5;
    peaks[1] = 2.9e-8;  // just below 2^-25: silence
    r = meterTick(peaks);
    EXPECT_EQ(r.left, -61);
    EXPECT_EQ(r.right, -1500);
    // A silent input ends at -1500 and never below.
    for (int i = 0; i < 2000; ++i) r = meterTick(peaks);
    EXPECT_EQ(r.left, -1500);
    // An infinite sample shows as a very loud level, not as silence.
    EXPECT_GT(peakToTenths(std::numeric_limits<double>::infinity()), 60000);
}

TEST(MeterGeometry, ScaleSettingsAreClamped) {
    const MeterScale normal = normalMeterScale();
    EXPECT_EQ(normal.rangeDb, 62);
    EXPECT_EQ(normal.headroomDb, 6);
    EXPECT_EQ(normal.fullScale(), 680);
    EXPECT_EQ(makeMeterScale(-3, 6, true, true).rangeDb, 6);
    EXPECT_EQ(makeMeterScale(-200, 6, true, true).rangeDb, 150);
    EXPECT_EQ(makeMeterScale(-62, 100, true, true).headroomDb, 60);
    EXPECT_EQ(makeMeterScale(-62, -80, true, true).headroomDb, -56);
}

TEST(MeterGeometry, ZeroDecibelColumnAndRow) {
    const MeterScale& s = normalMeterScale();
    EXPECT_EQ(zeroDbColumn(298, s), 298 * 619 / 680);
    EXPECT_EQ(zeroDbColumn(298, s), 271);
    EXPECT_EQ(zeroDbColumn(1, s), 1);  // never 0: it divides the colour index
    EXPECT_EQ(zeroDbRow(200, s), 200 - 200 * 619 / 680);
}

TEST(MeterGeometry, VerticalLabelsFollowTheHeightAndMode) {
    const auto labels = [](int height, bool reduction) {
        const VerticalLabels v =
            verticalLabels(height, reduction, reduction ? reductionMeterScale() : normalMeterScale());
        return std::vector<int>{v.first, v.step, v.last};
    };
    // 12 dB steps under 200 pixels; from 6 dB under 240 pixels, else from 0 dB.
    EXPECT_EQ(labels(199, false), (std::vector<int>{6, 12, 62}));
    EXPECT_EQ(labels(200, false), (std::vector<int>{6, 6, 62}));
    EXPECT_EQ(labels(240, false), (std::vector<int>{0, 6, 62}));
    // Reduction mode: from one step, while below 21 dB minus one step.
    EXPECT_EQ(labels(199, true), (std::vector<int>{12, 12, 9}));
    EXPECT_EQ(labels(240, true), (std::vector<int>{6, 6, 15}));
}

TEST(MeterGeometry, MarksFollowTheWidth) {
    EXPECT_EQ(marks(298), (std::vector<int>{12, 24, 36, 48, 60}));
    EXPECT_EQ(marks(300), (std::vector<int>{6, 12, 18, 24, 30, 36, 42, 48, 54, 60}));
    EXPECT_EQ(marks(100), (std::vector<int>{24, 48}));
    // 6 dB steps on a 305-pixel meter would need 10 marks but fit.
    EXPECT_EQ(marks(305).size(), 10u);
    const MeterScale& s = normalMeterScale();
    EXPECT_EQ(markColumn(298, 12, s), 298 - 298 * 18 / 68);
    EXPECT_EQ(markGrey(0, s), 255);
    EXPECT_EQ(markGrey(62, s), 100);
}

TEST(MeterGeometry, GradientRunsFromFloorThroughMiddleToZeroDb) {
    EXPECT_EQ(gradientColour(0, false), (Rgb{0, 127, 0}));   // (159 x floor) / 160
    EXPECT_EQ(gradientColour(-5, false), gradientColour(0, false));
    EXPECT_EQ(gradientColour(160, false), (Rgb{192, 255, 96}));
    EXPECT_EQ(gradientColour(255, false), (Rgb{255, 128, 64}));
    EXPECT_EQ(gradientColour(256, false), (Rgb{255, 128, 64}));
    // Above 190 the index runs twice as fast: 220 is mixed as 250.
    EXPECT_EQ(gradientColour(220, false), (Rgb{(255 * 90 + 192 * 5) / 95, (128 * 90 + 255 * 5) / 95,
                                               (64 * 90 + 96 * 5) / 95}));
    EXPECT_EQ(gradientColour(223, false), gradientColour(255, false));
    // The striped look brightens by a quarter, clamped.
    EXPECT_EQ(gradientColour(160, true), (Rgb{240, 255, 120}));
    EXPECT_EQ(dimmed(Rgb{255, 128, 64}), (Rgb{63 + 31, 32 + 16, 16 + 8}));
}

TEST(MeterGeometry, ColumnColours) {
    const int z = 270;
    EXPECT_EQ(columnColour(z + 1, z, true), kMeterOverColour);
    EXPECT_EQ(columnColour(3, z, true), kMeterBackground);  // odd columns: stripes
    EXPECT_EQ(columnColour(3, z, false), gradientColour(3 * 256 / z, false));
    EXPECT_EQ(columnColour(z, z, true), gradientColour(256, true));
}

TEST(MeterGeometry, BarAndHoldEnds) {
    const MeterScale& s = normalMeterScale();
    const int w = 298, z = zeroDbColumn(w, s);
    EXPECT_EQ(barEnd(0, w, z, s), z + 1);  // 0 dB lights through the 0 dB column
    EXPECT_EQ(barEnd(-1500, w, z, s), 0);
    EXPECT_EQ(barEnd(kMeterUnset, w, z, s), 0);
    EXPECT_EQ(barEnd(-30, w, z, s), 590 * w / 680);
    EXPECT_EQ(barEnd(60, w, z, s), w);
    EXPECT_EQ(barEnd(500, w, z, s), w);  // clamped to full scale
    EXPECT_EQ(barEnd(0x7FFFFFFF, w, z, s), w);  // no overflow for any message value
    EXPECT_EQ(holdEnd(60, w, z, s), w - 1);
    EXPECT_EQ(holdEnd(0, w, z, s), z + 1);
    EXPECT_LT(holdEnd(kMeterResetMarker, w, z, s), 0);
}

TEST(MeterLevels, ReadoutTexts) {
    EXPECT_EQ(readout(kMeterUnset), "-inf");
    EXPECT_EQ(readout(-1000), "-inf");
    EXPECT_EQ(readout(-999), "-99.9");
    EXPECT_EQ(readout(-1500 + 500), "-inf");
    EXPECT_EQ(readout(0), "+0.0");
    EXPECT_EQ(readout(-125), "-12.5");
    EXPECT_EQ(readout(-5), "-0.5");
    EXPECT_EQ(readout(37), "+3.7");
}

TEST(MeterLevels, HoldStaysOneSecondThenFollowsTheLevel) {
    MeterLevels m;
    m.update(0, -30, 10000);
    m.update(0, -200, 10100);
    EXPECT_EQ(m.holdLevel[0], -30);
    m.update(0, -200, 11000);  // exactly 1000 ms: still held
    EXPECT_EQ(m.holdLevel[0], -30);
    m.update(0, -210, 11001);
    EXPECT_EQ(m.holdLevel[0], -210);
    EXPECT_EQ(m.level[0], -210);
    EXPECT_EQ(m.maxLevel[0], -30);
    // A higher level replaces the hold at once.
    m.update(0, -100, 11002);
    EXPECT_EQ(m.holdLevel[0], -100);
    // The tick counter wraps without losing the hold.
    MeterLevels w;
    w.update(1, -30, 0xFFFFFF00u);
    w.update(1, -200, 0x00000010u);
    EXPECT_EQ(w.holdLevel[1], -30);
}

TEST(MeterLevels, ResetMarkerAndReductionMode) {
    MeterLevels m;
    m.update(0, 0, 5);
    m.update(0, kMeterResetMarker, 6);
    EXPECT_EQ(m.maxLevel[0], kMeterResetMarker);
    EXPECT_EQ(m.holdLevel[0], kMeterResetMarker);

    MeterLevels r;
    r.resetAll(0);
    r.update(0, -50, 100, true);
    r.update(0, -20, 200, true);
    EXPECT_EQ(r.holdLevel[0], -50);  // the lowest is held
    EXPECT_EQ(r.maxLevel[0], -50);   // and kept as the "maximum"
}

TEST(MeterLevels, OnlyClicksNearTheRightEndReset) {
    // Readout end: min(W - 10, Z) - 8.
    EXPECT_FALSE(meterClickResets(263, 298, 271));
    EXPECT_TRUE(meterClickResets(264, 298, 271));
    EXPECT_FALSE(meterClickResets(0, 298, 271));
    EXPECT_TRUE(meterClickResets(13, 30, 25));  // narrow meter: W - 10 wins
}
