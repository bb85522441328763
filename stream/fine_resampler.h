// Plays a stream whose clock runs slightly faster or slower than the host's:
// a windowed-sinc interpolator whose read position is shared by every channel,
// so the channels stay sample-aligned. At ratio 1 and a whole-sample position
// a block is a plain copy, bit for bit, so streams between hosts whose clocks
// agree are untouched.
// [audio] One object per receiving instance, touched under its stateLock.
#pragma once

#include <cstdint>

#include "shell/module_state.h"

namespace larkwire {

class FineResampler {
public:
    // Input frames beyond the consumed ones that a converting block reads.
    static constexpr std::int32_t kLookahead = 16;
    // Past frames each channel keeps, so that leaving the copy is seamless.
    static constexpr std::int32_t kHistory = 16;

    // [audio] Fixes the ratio (input frames per output frame) for the next
    // block of outputFrames and returns the input frames it consumes. When
    // ratio is exactly 1 and the position is not whole, the position is
    // brought to a whole sample over the next blocks, then blocks copy.
    std::int32_t beginBlock(std::int32_t outputFrames, double ratio);
    // [audio] Whether the block begun is a plain copy of the consumed frames.
    bool direct() const { return direct_; }
    // [audio] Input frames past the consumed ones that addBlock reads: 0 for
    // a copy, kLookahead otherwise (zeros where the queue holds less).
    std::int32_t lookahead() const { return direct_ ? 0 : kLookahead; }
    // [audio] Adds one channel's block to out, reading input[0 .. consumed +
    // lookahead()), input[0] being the oldest frame not yet played.
    void addBlock(std::int32_t channel, const float* input, float* out);
    // [audio] After every channel of the block: moves the shared position on.
    void endBlock();
    // [audio or ui] Forgets history and position (restart, flush).
    void reset();

private:
    std::int32_t outputFrames_ = 0;
    std::int32_t consumed_ = 0;
    double ratio_ = 1.0;
    double position_ = 0.0;  // fraction of a frame past the next input frame
    double nextPosition_ = 0.0;  // position_ once the block begun has ended
    bool direct_ = true;
    bool landing_ = false;  // this block brings the position to a whole sample
    float history_[kMaxChannels][kHistory] = {};
};

}  // namespace larkwire
