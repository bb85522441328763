// What the command-line host reports about the audio a plug-in produced.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/cli_host/signals.h"

namespace larkwire::cli {

// The tone's sample index that samples[at ..] continues (compared over 32
// samples), or -1.
std::int64_t alignTone(const std::vector<float>& samples, std::int64_t at, double frequency,
                       double peak, double rate);

// Index of the first sample that is not exactly zero, or -1.
std::int64_t firstNonSilent(const std::vector<float>& samples);
std::int64_t lastNonSilent(const std::vector<float>& samples);
float peakOf(const std::vector<float>& samples);

// Compares one output channel with the test tone, sample for sample. The tone
// may start anywhere in the output and at any phase (the receiver may join a
// running stream); a run of exact zeros followed by more tone is a dropout,
// after which the comparison picks up the tone again; zeros to the end are the
// end of the stream. A jump to another phase of the tone, with every sample
// intact, is a skip (the receiver dropped samples), not a difference.
struct ToneCheck {
    bool received = false;  // anything non-zero at all
    bool exact = false;     // received, and every sample compared was equal
    std::int64_t firstFrame = -1;
    std::int64_t comparedFrames = 0;
    int dropouts = 0;
    int skips = 0;  // places where the tone went on at another phase (samples dropped)
    std::int64_t mismatchFrame = -1;  // first sample that differed
    float got = 0, expected = 0;
    std::vector<std::int64_t> resumes;  // frames where the tone went on after a dropout or skip
};
ToneCheck checkTone(const std::vector<float>& samples, double frequency, double peak, double rate);

// Frequency (from rising zero crossings) and level (RMS as a sine's peak, in
// dBFS) over the middle 80 % of the non-silent part; for converted streams.
struct ToneMeasure {
    bool measured = false;
    double frequency = 0;
    double levelDb = 0;
};
ToneMeasure measureTone(const std::vector<float>& samples, double rate);

// Frames of clicks: peaks above half the channel's peak, at least a tenth of
// a second apart.
std::vector<std::int64_t> findClicks(const std::vector<float>& samples, double rate);

// Latency of clicks that were emitted on whole multiples of periodSeconds of
// the wall clock; startNanoseconds is the wall-clock time of output frame 0.
struct Latency {
    int clicks = 0;
    double meanMs = 0, minMs = 0, maxMs = 0;
};
Latency clickLatency(const std::vector<std::int64_t>& clicks, std::int64_t startNanoseconds,
                     double rate, double periodSeconds);

// Received events compared with the list the sender was given.
struct ReceivedEvent {
    std::int64_t block;
    std::int32_t deltaFrames;
    std::uint8_t bytes[3];
};
// An event whose audio a dropout or skip took away comes first thing in the
// block where the audio goes on: RESUMES holds those output frames.
struct MidiCheck {
    int expected = 0;
    int arrived = 0;      // found, in order, with the right bytes
    int rightOffset = 0;  // of those, at the sender's offset
    int afterGap = 0;     // or at offset 0 of a block where the audio went on
    std::string firstProblem;
};
MidiCheck checkMidi(const std::vector<MidiNote>& sent, const std::vector<ReceivedEvent>& received,
                    double rate, int blockFrames, const std::vector<std::int64_t>& resumes = {});

}  // namespace larkwire::cli
