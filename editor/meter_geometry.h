// The level meter's picture in numbers: scale, columns, colours and marks.
// Pure, so it is tested without a window system.
#pragma once

#include <cstdint>

namespace larkwire {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

constexpr Rgb kMeterBackground{32, 32, 32};
constexpr Rgb kMeterFloorColour{0, 128, 0};
constexpr Rgb kMeterMiddleColour{192, 255, 96};
constexpr Rgb kMeterZeroDbColour{255, 128, 64};
constexpr Rgb kMeterOverColour{255, 0, 0};

// The look every meter shares.
struct MeterScale {
    int rangeDb;     // R: decibels shown below 0 dB
    int headroomDb;  // T: decibels shown above 0 dB
    bool striped;    // odd columns show the background; colours a quarter brighter
    bool clipArea;   // the part above 0 dB stays lit once a maximum reached 0 dB

    int fullScale() const { return (rangeDb + headroomDb) * 10; }  // S, tenths
    int floorTenths() const { return rangeDb * 10; }
};

// A floor of -5 dB or above gives a 6 dB range, below -150 gives 150; the
// headroom is held within [6 - range, 60].
MeterScale makeMeterScale(int floorDb, int headroomDb, bool striped, bool clipArea);

const MeterScale& normalMeterScale();     // -62 dB, +6 dB, striped, clip area
const MeterScale& reductionMeterScale();  // 21 dB, 3 dB (vertical meter only)

// The column where 0 dB lies, at least 1.
int zeroDbColumn(int width, const MeterScale& scale);
// The vertical meter's 0 dB row, counted from the top.
int zeroDbRow(int height, const MeterScale& scale);

// Index 0 (floor) to 255 (0 dB); larger indexes count as 255.
Rgb gradientColour(int index, bool striped);
// The unlit shade: each component v becomes v/4 + v/8.
Rgb dimmed(Rgb colour);
// The colour of column x of the horizontal meter's scale image.
Rgb columnColour(int x, int zeroColumn, bool striped);

// Scale marks in dB below zero for a horizontal meter of this width.
constexpr int kMaxMeterMarks = 32;
int horizontalMarks(int width, const MeterScale& scale, int (&marks)[kMaxMeterMarks]);
int markColumn(int width, int markDb, const MeterScale& scale);
int markGrey(int markDb, const MeterScale& scale);

// The vertical meter's labels: the first one and the step, in dB.
struct VerticalLabels {
    int first, step, last;  // labels d = first, first + step, ... while d < last
};
VerticalLabels verticalLabels(int height, bool reductionMode, const MeterScale& scale);

// End (exclusive) of the lit bar for a level in tenths of a decibel.
int barEnd(int level, int width, int zeroColumn, const MeterScale& scale);
// Column of the peak-hold marker (may be negative when nothing is held).
int holdEnd(int hold, int width, int zeroColumn, const MeterScale& scale);

}  // namespace larkwire
