// The editor's 33 ms meter tick: the instance's two peaks become tenths of a
// decibel for the meter, then fall by a fixed factor.
#pragma once

#include <atomic>

namespace larkwire {

constexpr double kPeakDecay = 0.8;  // about 1.94 dB per tick

// Tenths of a decibel, rounded down; -1500 for silence.
int peakToTenths(double peak);

struct MeterReading {
    int left;
    int right;
};

// [ui] Reads both peaks, then decays them. A peak the audio thread raises
// meanwhile is kept as raised rather than overwritten by the decay.
MeterReading meterTick(std::atomic<double> (&peaks)[2]);

}  // namespace larkwire
