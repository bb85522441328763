// One receiving instance of 1, 2 or 64 channels driven by a fuzz input: a
// sequence of operations that queue datagrams, run blocks, suspend and
// change the host rate. The instance lives for one input.
#pragma once

#include <cstdint>
#include <vector>

#include "fuzz/harness.h"
#include "shell/stream_effect.h"

namespace larkwire::fuzz {

class StreamSession {
public:
    // Reads the channel count from the input's first byte.
    explicit StreamSession(InputReader& input, vst2::HostCallback callback);
    ~StreamSession();
    StreamSession(const StreamSession&) = delete;
    StreamSession& operator=(const StreamSession&) = delete;

    StreamEffect& instance() { return *instance_; }
    std::int32_t channels() const { return channels_; }

    // Operations shared by the stream targets; each reads its operands.
    void queueRaw(InputReader& input, std::uint32_t magic);
    void suspend();
    void setHostRate(InputReader& input);

    // Output channels of exactly frames floats each, zeroed.
    float* const* outputs(std::int32_t frames);

private:
    std::int32_t savedChannelCount_;
    std::int32_t channels_;
    StreamEffect* instance_ = nullptr;
    std::vector<std::vector<float>> outputStore_;
    std::vector<float*> outputPointers_;
};

// Copies the instance's identifier over the datagram's identifier field.
void stampIdentifier(std::vector<std::uint8_t>& bytes, const StreamEffect& instance);
// Writes bytes.size() into the length field.
void stampLength(std::vector<std::uint8_t>& bytes);

}  // namespace larkwire::fuzz
