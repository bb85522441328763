#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "stream/channel_resampler.h"
#include "stream/lane_kernels.h"

using namespace larkwire;

namespace {

// Every bit, except that all NaNs are one: which NaN an operation with two
// NaN operands returns follows the operand order the compiler picked for a
// commutative operation, in the scalar build as much as in the lanes.
std::uint64_t bitsOf(double v) {
    if (v != v) return 0x7FF8000000000000ull;
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Samples that stress the arithmetic: noise, silence, full scale, values the
// filter turns subnormal, subnormals themselves, and what no signal should hold.
double sampleOf(int kind, std::mt19937_64& random) {
    std::uniform_real_distribution<double> noise(-1.0, 1.0);
    switch (kind) {
        case 0: return noise(random);
        case 1: return 0.0;
        case 2: return (random() & 1) != 0 ? 1.0 : -1.0;
        case 3: return noise(random) * 1e-305;
        case 4: return noise(random) * std::numeric_limits<double>::denorm_min() * 1e6;
        case 5: return float(noise(random) * 3.4e38);
        default: {
            const double odd[] = {std::numeric_limits<double>::infinity(), -0.0, 1e-320,
                                  std::numeric_limits<double>::quiet_NaN(), 0.5};
            return odd[random() % 5];
        }
    }
}

struct Bank {
    explicit Bank(int count) : converters(static_cast<size_t>(count)) {
        for (auto& c : converters) c.reset();
    }
    std::vector<ChannelResampler> converters;
};

// Every channel count 1..64 and block-size class, rates up and down (the
// filter after and before the interpolation) and a rate change mid-stream:
// the side-by-side run gives every bit of the one-by-one run, for each
// instruction set this CPU has. The one-by-one run of one channel, which
// overlaps filter and interpolation, matches channel 0 of a two-channel
// converter, which does them one after the other. A third run adds its
// output into float samples, as the playout does, and must round each sum
// as the scalar addition does.
TEST(LaneIdentity, SideBySideMatchesOneByOneBitForBit) {
    std::vector<const lanes::Kernels*> kernelSets{&lanes::sse2Kernels()};
    if (lanes::avx2Kernels() != nullptr) kernelSets.push_back(lanes::avx2Kernels());
    const int blockSizes[] = {1, 3, 4, 5, 17, 64, 512, 1111};
    const double rates[][2] = {{44100, 48000}, {48000, 44100}, {8000, 96000},
                               {96000, 8000},  {44100, 44100}, {0, 48000}};
    std::mt19937_64 random(15);
    for (const lanes::Kernels* kernels : kernelSets) {
        lanes::useKernels(kernels);
        for (int count = 1; count <= ChannelResampler::kMaxInStep; ++count) {
            Bank reference(count), lanesRun(count), mixRun(count);
            ChannelResampler stereo;
            stereo.reset();
            std::vector<ChannelResampler*> group, mixGroup;
            for (auto& c : lanesRun.converters) group.push_back(&c);
            for (auto& c : mixRun.converters) mixGroup.push_back(&c);
            for (int block = 0; block < 14; ++block) {
                const int frames = blockSizes[(block + count) % 8];
                const double* rate = rates[(block / 2 + count) % 6];
                const int kind = (block + count) % 7;
                std::vector<std::vector<double>> expected(static_cast<size_t>(count)), actual(static_cast<size_t>(count));
                std::vector<double*> outputs(static_cast<size_t>(count));
                std::vector<std::vector<double>> scratch(static_cast<size_t>(count));
                std::vector<std::vector<float>> base(static_cast<size_t>(count));
                std::vector<std::vector<float>> mixed(static_cast<size_t>(count));
                std::vector<double*> scratches(static_cast<size_t>(count));
                std::vector<float*> mixes(static_cast<size_t>(count));
                std::vector<std::int32_t> produced(static_cast<size_t>(count));
                int need = 0;
                for (int c = 0; c < count; ++c) {
                    ChannelResampler& one = reference.converters[size_t(c)];
                    ChannelResampler& side = lanesRun.converters[size_t(c)];
                    ChannelResampler& mixing = mixRun.converters[size_t(c)];
                    one.setRates(rate[0], rate[1]);
                    side.setRates(rate[0], rate[1]);
                    mixing.setRates(rate[0], rate[1]);
                    double *in1 = nullptr, *in2 = nullptr, *in3 = nullptr;
                    need = one.prepareInput(frames, 1, &in1);
                    ASSERT_EQ(side.prepareInput(frames, 1, &in2), need);
                    ASSERT_EQ(mixing.prepareInput(frames, 1, &in3), need);
                    for (int j = 0; j < need; ++j) in1[j] = in2[j] = in3[j] = sampleOf(kind, random);
                    scratch[size_t(c)].assign(size_t(frames), -7.0);
                    scratches[size_t(c)] = scratch[size_t(c)].data();
                    for (int j = 0; j < frames; ++j)
                        base[size_t(c)].push_back(float(sampleOf(kind % 3, random)));
                    mixed[size_t(c)] = base[size_t(c)];
                    mixes[size_t(c)] = mixed[size_t(c)].data();
                    if (c == 0) {
                        stereo.setRates(rate[0], rate[1]);
                        double* in = nullptr;
                        ASSERT_EQ(stereo.prepareInput(frames, 2, &in), need);
                        for (int j = 0; j < need; ++j) in[2 * j] = in[2 * j + 1] = in1[j];
                    }
                    expected[size_t(c)].assign(size_t(frames), -7.0);
                    actual[size_t(c)].assign(size_t(frames), -7.0);
                    outputs[size_t(c)] = actual[size_t(c)].data();
                    // Every fifth block comes short: the padding path.
                    const int supplied = block % 5 == 4 ? need / 2 : need;
                    produced[size_t(c)] =
                        one.resampleBlock(expected[size_t(c)].data(), supplied, frames, 1);
                    if (c == 0) {
                        std::vector<double> both(2 * size_t(frames));
                        ASSERT_EQ(stereo.resampleBlock(both.data(), supplied, frames, 2),
                                  produced[0]);
                        for (int j = 0; j < produced[0]; ++j)
                            ASSERT_EQ(bitsOf(both[2 * size_t(j)]), bitsOf(expected[0][size_t(j)]))
                                << "mono against stereo, block " << block << " frame " << j;
                    }
                }
                const int supplied = block % 5 == 4 ? need / 2 : need;
                std::vector<std::int32_t> made(static_cast<size_t>(count));
                ChannelResampler::resampleInStep(group.data(), count, outputs.data(), supplied,
                                                 frames, made.data());
                std::vector<std::int32_t> madeMixing(static_cast<size_t>(count));
                ChannelResampler::resampleInStep(mixGroup.data(), count, scratches.data(),
                                                 supplied, frames, madeMixing.data(),
                                                 mixes.data());
                for (int c = 0; c < count; ++c) {
                    SCOPED_TRACE(testing::Message() << kernels->name << " channels " << count
                                                    << " block " << block << " lane " << c);
                    ASSERT_EQ(made[size_t(c)], produced[size_t(c)]);
                    for (int j = 0; j < frames; ++j)
                        ASSERT_EQ(bitsOf(actual[size_t(c)][size_t(j)]),
                                  bitsOf(expected[size_t(c)][size_t(j)]))
                            << "frame " << j;
                    const ChannelResampler& one = reference.converters[size_t(c)];
                    const ChannelResampler& side = lanesRun.converters[size_t(c)];
                    ASSERT_TRUE(side.inStepWith(one));
                    ASSERT_EQ(bitsOf(side.filterOutput(0)), bitsOf(one.filterOutput(0)));
                    ASSERT_EQ(madeMixing[size_t(c)], produced[size_t(c)]);
                    for (int j = 0; j < frames; ++j) {
                        const float b = base[size_t(c)][size_t(j)];
                        const float want = j < produced[size_t(c)]
                                               ? float(b + expected[size_t(c)][size_t(j)])
                                               : b;
                        ASSERT_EQ(bitsOf(mixed[size_t(c)][size_t(j)]), bitsOf(want))
                            << "mixed frame " << j;
                    }
                    ASSERT_TRUE(mixRun.converters[size_t(c)].inStepWith(one));
                }
            }
        }
    }
    lanes::useKernels(nullptr);
}

}  // namespace
