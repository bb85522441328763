#include "editor/meter_geometry.h"

#include <algorithm>

namespace larkwire {

MeterScale makeMeterScale(int floorDb, int headroomDb, bool striped, bool clipArea) {
    int range = -floorDb;
    if (floorDb >= -5) range = 6;
    if (floorDb < -150) range = 150;
    const int headroom = std::clamp(headroomDb, 6 - range, 60);
    return {range, headroom, striped, clipArea};
}

const MeterScale& normalMeterScale() {
    static const MeterScale scale = makeMeterScale(-62, 6, true, true);
    return scale;
}

const MeterScale& reductionMeterScale() {
    static const MeterScale scale{21, 3, true, false};
    return scale;
}

int zeroDbColumn(int width, const MeterScale& scale) {
    return std::max(1, width * (scale.floorTenths() - 1) / scale.fullScale());
}

int zeroDbRow(int height, const MeterScale& scale) {
    return height - height * (scale.floorTenths() - 1) / scale.fullScale();
}

Rgb gradientColour(int index, bool striped) {
    int x = std::max(0, index);
    // The upper part runs towards the 0 dB colour twice as fast above 190.
    if (x > 190) x = std::min(255, 2 * x - 190);
    auto mix = [x](int floor, int middle, int zero) {
        if (x < 160) return (middle * x + floor * (159 - x)) / 160;
        return (zero * (x - 160) + middle * (255 - x)) / 95;
    };
    Rgb c{mix(kMeterFloorColour.r, kMeterMiddleColour.r, kMeterZeroDbColour.r),
          mix(kMeterFloorColour.g, kMeterMiddleColour.g, kMeterZeroDbColour.g),
          mix(kMeterFloorColour.b, kMeterMiddleColour.b, kMeterZeroDbColour.b)};
    if (striped) c = {c.r + c.r / 4, c.g + c.g / 4, c.b + c.b / 4};
    return {std::clamp(c.r, 0, 255), std::clamp(c.g, 0, 255), std::clamp(c.b, 0, 255)};
}

Rgb dimmed(Rgb c) { return {c.r / 4 + c.r / 8, c.g / 4 + c.g / 8, c.b / 4 + c.b / 8}; }

Rgb columnColour(int x, int zeroColumn, bool striped) {
    if (x > zeroColumn) return kMeterOverColour;
    if (striped && (x & 1) != 0) return kMeterBackground;
    return gradientColour(x * 256 / zeroColumn, striped);
}

int horizontalMarks(int width, const MeterScale& scale, int (&marks)[kMaxMeterMarks]) {
    const int range = scale.rangeDb;
    int step = width < 120 ? 24 : width < 300 ? 12 : 6;
    const int first = step;
    // Narrow meters would crowd their labels: widen the step.
    while (step < 24 && (range - first) > step * (width / 30)) step += 6;
    int count = 0;
    for (int d = first; d < range && count < kMaxMeterMarks; d += step) marks[count++] = d;
    return count;
}

int markColumn(int width, int markDb, const MeterScale& scale) {
    return width - width * (markDb + scale.headroomDb) / (scale.rangeDb + scale.headroomDb);
}

int markGrey(int markDb, const MeterScale& scale) {
    return std::clamp(255 - markDb * 155 / scale.rangeDb, 0, 255);
}

VerticalLabels verticalLabels(int height, bool reductionMode, const MeterScale& scale) {
    const int step = height < 200 ? 12 : 6;
    if (reductionMode) return {step, step, scale.rangeDb - step};
    return {height < 240 ? 6 : 0, step, scale.rangeDb};
}

int barEnd(int level, int width, int zeroColumn, const MeterScale& scale) {
    // Levels arrive in a window message: keep any int in range.
    const int p = static_cast<int>(std::clamp<long long>(static_cast<long long>(level) + scale.floorTenths(),
                                                         0, scale.fullScale()));
    int end = p * width / scale.fullScale();
    if (p >= scale.floorTenths() && scale.clipArea) end = std::max(end, zeroColumn + 1);
    return end;
}

int holdEnd(int hold, int width, int zeroColumn, const MeterScale& scale) {
    // Held levels may be the -120000 reset marker: keep the product in range.
    const long long q = static_cast<long long>(hold) + scale.floorTenths();
    const long long limited = std::min<long long>(scale.fullScale(), q);
    int end = static_cast<int>(std::min<long long>(width * limited / scale.fullScale(), width - 1));
    if (q >= scale.floorTenths() && scale.clipArea) end = std::max(end, zeroColumn + 1);
    return end;
}

}  // namespace larkwire
