// The test signals the command-line host feeds a plug-in, and the MIDI note
// list it hands in. Sender and receiver generate the same samples from the
// same numbers, on every platform, so a receiver can check what arrived.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace larkwire::cli {

// Linear gain of a level in dBFS.
double gainOfDecibels(double decibels);

// Sample n of a sine of the given frequency and peak at the given rate. The
// value is rounded to 16-bit resolution, so that the last-bit differences of
// each platform's sin() cannot change it, and is exact as a float.
float toneSample(double frequency, double peak, double rate, std::int64_t n);

// Channel c of the test tone runs at frequency × (c + 1), so that a channel
// that arrives in the wrong place shows.
inline double toneFrequencyOfChannel(double frequency, int channel) {
    return frequency * (channel + 1);
}

// Frames between clicks of the click train: one sample at the peak level,
// every period, the first at frame 0.
std::int64_t clickPeriodFrames(double periodSeconds, double rate);
float clickSample(double peak, std::int64_t periodFrames, std::int64_t n);
// The same for a period that is not a whole number of frames (a host whose
// clock runs off its rate): click k on frame round(k × periodFrames).
float clickSampleAt(double peak, double periodFrames, std::int64_t n);

struct MidiNote {
    double seconds = 0;
    std::uint8_t bytes[3] = {};
};

// Parses "TIME:on:NOTE[:VELOCITY]", "TIME:off:NOTE[:VELOCITY]" and
// "TIME:cc:NUMBER:VALUE" items separated by commas or spaces; TIME in seconds,
// MIDI channel 1. The result is sorted by time, keeping the order of equal times.
bool parseMidiList(const std::string& text, std::vector<MidiNote>* out, std::string* error);

// Where an event lands for a host running blocks of blockFrames at rate.
struct BlockPosition {
    std::int64_t block;
    std::int32_t deltaFrames;
};
BlockPosition positionOf(const MidiNote& note, double rate, int blockFrames);

}  // namespace larkwire::cli
