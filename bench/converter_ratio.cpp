// Ratios of the converted receive path, measured inside one process with no
// library beyond the core, so that every build (the 32-bit one in an
// emulated VM included) can give them: where the clock is emulated only a
// ratio of two times taken side by side means anything. Each time is the
// best of alternating repetitions.
//   larkwire_converter_ratio [REPETITIONS]
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "bench/bench_support.h"
#include "bench/converter_drive.h"
#include "platform/clock.h"
#include "stream/lane_kernels.h"

namespace larkwire::bench {
namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Linear interpolation between neighbouring input samples with no filter:
// the idea of libsamplerate's linear converter, written here from that idea
// so the probe needs no library. The read position and the last input
// sample carry over from call to call. [any]
class PlainLinear {
public:
    explicit PlainLinear(double outputPerInput) : step_(1.0 / outputPerInput) {}

    // Converts up to frames of in into at most capacity frames of out;
    // returns the frames made and sets *used to the input frames taken.
    int process(const float* in, int frames, float* out, int capacity, int* used) {
        int made = 0;
        double position = position_;  // 0 reads last_, 1 reads in[0]
        for (; made < capacity; ++made) {
            const int i = int(position);
            if (i >= frames) break;
            const float before = i == 0 ? last_ : in[i - 1];
            out[made] = before + float(position - i) * (in[i] - before);
            position += step_;
        }
        *used = std::min(int(position), frames);
        if (*used > 0) last_ = in[*used - 1];
        position_ = position - *used;
        return made;
    }

private:
    double step_;
    double position_ = 0;
    float last_ = 0;
};

// The interpolator fed as the benchmark feeds libsamplerate: the input one
// host block needs, the output capacity a little more than the block.
struct PlainLinearFeed {
    PlainLinearFeed(int inputRate, int outputRate)
        : ratio(double(outputRate) / inputRate), linear(ratio) {}
    int block(const std::vector<float>& input, std::size_t& at, float* out) {
        const int frames = int(std::lround(kConvertedFrames / ratio));
        if (at + std::size_t(frames) > input.size()) at = 0;
        int used = 0;
        const int made = linear.process(input.data() + at, frames, out, kConvertedFrames + 16, &used);
        at += std::size_t(used);
        return made;
    }
    double ratio;
    PlainLinear linear;
};

// Seconds per output sample of `blocks` host blocks of one mono converter.
template <typename Converter>
double perSample(Converter& converter, const std::vector<float>& input, std::size_t& at,
                 int blocks) {
    float out[kConvertedFrames + 16];
    std::int64_t produced = 0;
    const auto start = Clock::now();
    for (int b = 0; b < blocks; ++b) {
        if (at + kConvertedFrames * 2 >= input.size()) at = 0;
        produced += converter.block(input, at, out);
    }
    const double seconds = secondsSince(start);
    volatile float sink = out[0];
    (void)sink;
    return seconds / double(produced > 0 ? produced : 1);
}

void monoRatio(int inputRate, int outputRate, int repetitions, int blocks) {
    const auto input = tones(inputRate, {440.0, 3000.0, 9000.0}, 2.0);
    MonoConversion ours(inputRate, outputRate);
    PlainLinearFeed plain(inputRate, outputRate);
    std::size_t oursAt = 0, plainAt = 0;
    double best[2] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
    // A quarter of a second of both first, so that neither is timed while
    // the caches, the predictors and the CPU's clock settle.
    const auto warming = Clock::now();
    while (secondsSince(warming) < 0.25) {
        perSample(ours, input, oursAt, blocks);
        perSample(plain, input, plainAt, blocks);
    }
    for (int r = 0; r < repetitions; ++r) {
        best[0] = std::min(best[0], perSample(ours, input, oursAt, blocks));
        best[1] = std::min(best[1], perSample(plain, input, plainAt, blocks));
    }
    std::printf("converter %d->%d, 1 channel: larkwire %.2f ns per output sample, plain linear "
                "%.2f: ratio %.2f\n",
                inputRate, outputRate, best[0] * 1e9, best[1] * 1e9, best[0] / best[1]);
}

constexpr int kChannels = 64;
constexpr float kHostRate = 48000.0f;

// One instance receiving a 64-channel stream, played past its pre-buffer.
struct ReceiveRig {
    ReceiveRig(const char* identifier, int streamRate)
        : instance(makeInstance(kChannels, kHostRate, identifier)),
          feed(identifier, kChannels, streamRate, kConvertedFrames, true),
          host(kChannels, kConvertedFrames) {
        for (int i = 0; i < 200; ++i) blockSeconds(platform::monotonicSeconds());
    }
    // The processing call alone; the datagrams are queued before it, untimed.
    double blockSeconds(std::int32_t now) {
        feed.queue(now);
        const auto start = Clock::now();
        processReplacing(&instance->effect, host.inputs.data(), host.outputs.data(),
                         kConvertedFrames);
        return secondsSince(start);
    }
    double meanBlockSeconds(int blocks) {
        const std::int32_t now = platform::monotonicSeconds();
        double seconds = 0;
        for (int b = 0; b < blocks; ++b) seconds += blockSeconds(now);
        return seconds / blocks;
    }
    InstancePtr instance;
    StreamFeed feed;
    HostBuffers host;
};

void receiveRatio(int repetitions, int blocks) {
    holdStreamPort();
    keepNetworkUp();
    ReceiveRig converted("ratio converted", 44100), direct("ratio direct", 48000);
    double best[2] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
    for (int r = 0; r < repetitions; ++r) {
        best[0] = std::min(best[0], converted.meanBlockSeconds(blocks));
        best[1] = std::min(best[1], direct.meanBlockSeconds(blocks));
    }
    const float* out = converted.host.outputs[0];
    const bool playing = out[kConvertedFrames - 1] != converted.host.inputs[0][kConvertedFrames - 1] &&
                         direct.instance->prebufferBlocks == 0;
    const double period = kConvertedFrames / double(kHostRate);
    std::printf("receive block, 64 channels x 512 frames, host 48000: converted (44100 stream) "
                "%.1f us, direct %.1f us: ratio %.2f; converted = %.2f %% of the %.2f ms period "
                "(meaningless under emulation)%s\n",
                best[0] * 1e6, best[1] * 1e6, best[0] / best[1], 100.0 * best[0] / period,
                period * 1e3, playing ? "" : "; A STREAM DID NOT PLAY");
}

// Seconds per output sample of `blocks` host blocks of the 64 converters.
double bankPerSample(ChannelBank& bank, const std::vector<float>& mono, std::size_t& at,
                     bool sideBySide, int blocks) {
    const int inputFrames = int(std::lround(kConvertedFrames * 44100.0 / 48000.0));
    std::int64_t produced = 0;
    const auto start = Clock::now();
    for (int b = 0; b < blocks; ++b) {
        if (at + std::size_t(inputFrames) * 2 >= mono.size()) at = 0;
        produced += bank.block(mono, at, sideBySide);
    }
    return secondsSince(start) / double(produced > 0 ? produced : 1);
}

void lanesRatio(int repetitions, int blocks) {
    const auto mono = tones(44100, {440.0, 3000.0, 9000.0}, 1.0);
    std::vector<const lanes::Kernels*> sets{&lanes::sse2Kernels()};
    if (lanes::avx2Kernels() != nullptr) sets.push_back(lanes::avx2Kernels());
    // One bank per path, all fed alike, so their outputs must agree to the bit.
    std::vector<std::unique_ptr<ChannelBank>> banks;
    for (std::size_t k = 0; k <= sets.size(); ++k)
        banks.push_back(std::make_unique<ChannelBank>(kChannels, 44100, 48000));
    std::vector<std::size_t> at(banks.size(), 0);
    std::vector<double> best(banks.size(), std::numeric_limits<double>::infinity());
    for (int r = -1; r < repetitions; ++r) {  // the first round only warms
        for (std::size_t k = 0; k < banks.size(); ++k) {
            const bool sideBySide = k > 0;
            lanes::useKernels(sideBySide ? sets[k - 1] : nullptr);
            const double t = bankPerSample(*banks[k], mono, at[k], sideBySide, blocks);
            if (r >= 0) best[k] = std::min(best[k], t);
        }
    }
    lanes::useKernels(nullptr);
    bool same = true;
    for (std::size_t k = 1; k < banks.size(); ++k)
        same = same && std::memcmp(banks[k]->outputs(), banks[0]->outputs(),
                                   sizeof(float) * kChannels * kConvertedFrames) == 0;
    std::printf("converter 44100->48000, 64 channels: scalar one by one %.2f ns per output sample",
                best[0] * 1e9);
    for (std::size_t k = 1; k < banks.size(); ++k)
        std::printf(", %s side by side %.2f: ratio to scalar %.2f", sets[k - 1]->name, best[k] * 1e9,
                    best[k] / best[0]);
    std::printf("; outputs %s\n", same ? "the same bits" : "DIFFER");
}

}  // namespace
}  // namespace larkwire::bench

int main(int argc, char** argv) {
    using namespace larkwire::bench;
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 25;
    std::printf("larkwire_converter_ratio: %d-bit build, CPU's kernels %s; best of %d alternating "
                "repetitions (steady_clock); ratio = first / second\n",
                int(sizeof(void*) * 8), larkwire::lanes::activeKernels().name, repetitions);
    monoRatio(44100, 48000, repetitions, 400);
    monoRatio(48000, 44100, repetitions, 400);
    receiveRatio(repetitions, 60);
    lanesRatio(repetitions, 40);
    return 0;
}
