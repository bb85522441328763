#include "editor/meter_levels.h"

#include <cstdio>
#include <cstdlib>

namespace larkwire {

void MeterLevels::update(int ch, int value, std::uint32_t now, bool reductionMode) {
    level[ch] = value;
    if (value == kMeterResetMarker) {
        holdLevel[ch] = value;
        holdTime[ch] = now;
        maxLevel[ch] = value;
        return;
    }
    const bool beyondHold = reductionMode ? value < holdLevel[ch] : value > holdLevel[ch];
    // Unsigned difference: correct across the tick counter's wrap.
    if (now - holdTime[ch] > kMeterHoldMs || beyondHold) {
        holdLevel[ch] = value;
        holdTime[ch] = now;
    }
    if (reductionMode ? value < maxLevel[ch] : value > maxLevel[ch]) maxLevel[ch] = value;
}

void MeterLevels::resetAll(int value) {
    for (int ch = 0; ch < 2; ++ch) maxLevel[ch] = holdLevel[ch] = level[ch] = value;
}

void meterReadout(int tenths, char* out, std::size_t size) {
    if (tenths < -999) {
        std::snprintf(out, size, "-inf");
        return;
    }
    const int magnitude = std::abs(tenths);
    std::snprintf(out, size, "%c%d.%01d", tenths < 0 ? '-' : '+', magnitude / 10, magnitude % 10);
}

bool meterClickResets(int x, int width, int zeroColumn) {
    const int readoutEnd = (width - 10 < zeroColumn ? width - 10 : zeroColumn) - 8;
    return x > readoutEnd;
}

}  // namespace larkwire
