// What the receive playout keeps between blocks beyond the queues: the
// sender's burst size seen in the arrivals, the level being held, and the
// drift control that holds it.
// [audio] Touched under the owning instance's stateLock.
#pragma once

#include <cstdint>

#include "stream/drift_estimator.h"
#include "stream/fine_resampler.h"

namespace larkwire {

// Where this block's output sits in the stream, for timing received MIDI:
// output frame j plays stream frame first + j * step.
struct PlayClock {
    bool played = false;
    double first = 0;
    double step = 1;
};

struct PlayoutState {
    // Pre-buffer factor of the level being held while playing (4 or 2).
    std::int32_t targetBlocks = 4;
    // The last non-empty host block, for the cap of an empty block.
    std::int32_t hostBlockFrames = 0;
    // Stream frames per sender block as the arrivals show it, held at the
    // largest recent one and let down slowly.
    std::int32_t burstFrames = 0;
    std::int32_t openBurstFrames = 0;  // of the burst still arriving
    // A short datagram has ended a sender block since the flush.
    bool sawBlockEnd = false;
    // Blocks of whole datagrams show no end. Their bursts are runs of calls
    // that bring audio: what the run brought beyond the stream's pace (the
    // peak of which is the burst), confirmed by the quiet that follows.
    double runFrames = 0;        // stream frames beyond the pace, this run
    double runPeakFrames = 0;    // the most the run reached
    double runHostFrames = 0;    // host frames the run has lasted
    double quietHostFrames = 0;  // host frames since a call last brought audio
    bool burstKnown = false;     // since the flush, from runs
    bool startedLive = false;    // calls without it came first, since the flush
    bool overran = false;        // an append dropped samples this block
    // Stream frames appended to channel 0 since creation; the stream frame
    // that plays next is this minus what channel 0 holds.
    std::int64_t arrivedFrames = 0;
    // Host frames played since an audio datagram last came; a stream without
    // audio has its MIDI delivered at once.
    std::int64_t framesSinceAudio = INT64_MAX / 2;
    PlayClock clock;
    DriftEstimator drift;
    FineResampler fine;
};

}  // namespace larkwire
