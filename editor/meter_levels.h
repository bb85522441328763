// What a level meter remembers between messages: the last level, the held
// peak and the highest level since the readout was reset, per channel, in
// tenths of a decibel.
#pragma once

#include <cstddef>
#include <cstdint>

namespace larkwire {

constexpr int kMeterUnset = -10000;       // shown as "-inf"
constexpr int kMeterResetMarker = -120000;
constexpr std::uint32_t kMeterHoldMs = 1000;

struct MeterLevels {
    int maxLevel[2] = {kMeterUnset, kMeterUnset};
    int holdLevel[2] = {kMeterUnset, kMeterUnset};
    int level[2] = {kMeterUnset, kMeterUnset};
    std::uint32_t holdTime[2] = {0, 0};

    // A new level for channel ch at tick count now (milliseconds). In
    // reduction mode the lowest values are kept instead of the highest.
    void update(int ch, int value, std::uint32_t now, bool reductionMode = false);
    void resetAll(int value);
    int highestMaximum() const { return maxLevel[0] > maxLevel[1] ? maxLevel[0] : maxLevel[1]; }
};

// "-inf" below -999 tenths, otherwise "+0.0", "-12.5" and so on.
void meterReadout(int tenths, char* out, std::size_t size);

// Whether a click at column x of a horizontal meter resets its readout.
bool meterClickResets(int x, int width, int zeroColumn);

}  // namespace larkwire
