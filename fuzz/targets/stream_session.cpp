#include "fuzz/targets/stream_session.h"

#include <cstring>

#include "shell/dispatcher.h"
#include "shell/teardown.h"
#include "stream/packet_format.h"

namespace larkwire::fuzz {

namespace {
constexpr std::int32_t kChannelChoices[] = {1, 2, 64};
// Ordinary rates, rates within the direct tolerance, and host values no
// sound host sends but a broken one might.
constexpr float kHostRates[] = {44100.0f, 48000.0f, 44100.9f, 22050.0f, 96000.0f,
                                8000.0f,  192000.0f, 1.0f,    0.0f,     -48000.0f};
}  // namespace

StreamSession::StreamSession(InputReader& input, vst2::HostCallback callback)
    : savedChannelCount_(channelCount), channels_(kChannelChoices[input.byte() % 3]) {
    keepNetworkUp();
    drainQueue();
    channelCount = channels_;  // fixed for this instance's whole life
    instance_ = createStreamEffect(callback);
    LARKWIRE_FUZZ_CHECK(instance_ != nullptr);
    dispatcher(&instance_->effect, vst2::effSetSampleRate, 0, 0, nullptr, 44100.0f);
}

StreamSession::~StreamSession() {
    drainQueue();
    destroyStreamEffect(instance_);
    channelCount = savedChannelCount_;
}

void StreamSession::queueRaw(InputReader& input, std::uint32_t magic) {
    const std::uint8_t flags = input.byte();
    std::size_t length = input.u16();
    if ((flags & 0x08) == 0) length %= 1400;  // mostly datagram-sized
    std::vector<std::uint8_t> bytes = input.take(length);
    bytes.resize(length, 0);
    if ((flags & 0x01) != 0 && length >= 4) wire::writeU32(bytes.data(), magic);
    if ((flags & 0x02) != 0) stampIdentifier(bytes, *instance_);
    if ((flags & 0x04) != 0) stampLength(bytes);
    queueExact(bytes);
}

void StreamSession::suspend() {
    dispatcher(&instance_->effect, vst2::effMainsChanged, 0, 0, nullptr, 0.0f);
    dispatcher(&instance_->effect, vst2::effMainsChanged, 0, 1, nullptr, 0.0f);
}

void StreamSession::setHostRate(InputReader& input) {
    const float rate = kHostRates[input.byte() % (sizeof kHostRates / sizeof kHostRates[0])];
    dispatcher(&instance_->effect, vst2::effSetSampleRate, 0, 0, nullptr, rate);
}

float* const* StreamSession::outputs(std::int32_t frames) {
    outputStore_.assign(size_t(channels_), std::vector<float>(size_t(frames), 0.0f));
    outputPointers_.clear();
    for (auto& channel : outputStore_) outputPointers_.push_back(channel.data());
    return outputPointers_.data();
}

void stampIdentifier(std::vector<std::uint8_t>& bytes, const StreamEffect& instance) {
    if (bytes.size() < 40) return;
    std::memcpy(bytes.data() + 8, instance.identifier, 32);
}

void stampLength(std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < 8) return;
    wire::writeU32(bytes.data() + 4, std::uint32_t(bytes.size()));
}

}  // namespace larkwire::fuzz
