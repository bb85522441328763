#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "stream/channel_resampler.h"
#include "stream/fine_resampler.h"

using namespace larkwire;

namespace {

// Input that needs no library: the same numbers wherever the test runs.
struct Noise {
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    double next() {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return double(std::int64_t(state >> 11) - (std::int64_t(1) << 52)) / double(std::int64_t(1) << 52);
    }
};

struct Hash {
    std::uint64_t value = 14695981039346656037ull;
    template <typename T>
    void add(T sample) {
        unsigned char bytes[sizeof sample];
        std::memcpy(bytes, &sample, sizeof sample);
        for (unsigned char b : bytes) value = (value ^ b) * 1099511628211ull;
    }
};

std::uint64_t convertedBits(double inputRate, double outputRate, int channels) {
    std::vector<ChannelResampler> converters(static_cast<size_t>(channels));
    std::vector<ChannelResampler*> group;
    for (auto& c : converters) {
        c.reset();
        c.setRates(inputRate, outputRate);
        group.push_back(&c);
    }
    Noise noise;
    Hash hash;
    constexpr int kFrames = 512;
    std::vector<std::vector<float>> mixes(static_cast<size_t>(channels), std::vector<float>(kFrames));
    std::vector<std::vector<double>> outs(static_cast<size_t>(channels), std::vector<double>(kFrames));
    std::vector<float*> mixPointers;
    std::vector<double*> outPointers;
    for (int c = 0; c < channels; ++c) {
        mixPointers.push_back(mixes[size_t(c)].data());
        outPointers.push_back(outs[size_t(c)].data());
    }
    std::vector<std::int32_t> produced(static_cast<size_t>(channels));
    for (int block = 0; block < 400; ++block) {
        int need = 0;
        for (auto& c : converters) {
            double* input = nullptr;
            need = c.prepareInput(kFrames, 1, &input);
            for (int j = 0; j < need; ++j) input[j] = noise.next() * 0.9;
        }
        for (auto& mix : mixes)
            for (float& m : mix) m = float(noise.next() * 0.1);
        ChannelResampler::resampleInStep(group.data(), channels, outPointers.data(), need, kFrames,
                                         produced.data(), mixPointers.data());
        for (auto& mix : mixes)
            for (float m : mix) hash.add(m);
    }
    return hash.value;
}

std::uint64_t driftedBits(double ratio) {
    FineResampler fine;
    Noise noise;
    Hash hash;
    constexpr int kFrames = 256;
    std::vector<float> input(kFrames * 2 + FineResampler::kLookahead), out(kFrames);
    for (int block = 0; block < 400; ++block) {
        const std::int32_t consumed = fine.beginBlock(kFrames, ratio);
        for (int j = 0; j < consumed + fine.lookahead(); ++j) input[size_t(j)] = float(noise.next() * 0.9);
        for (float& o : out) o = 0.0f;
        fine.addBlock(0, input.data(), out.data());
        fine.endBlock();
        for (float o : out) hash.add(o);
    }
    return hash.value;
}

}  // namespace

// The rate converter (one by one and side by side, added into float outputs)
// and the fine resampler give the same bits in every build: the 32-bit DLL,
// the 64-bit DLL and the Linux module compute in the same precision, so a
// stream sounds the same whichever of them receives it. The numbers are what
// the Linux build gives.
TEST(SameBits, ConvertersGiveTheSameBitsInEveryBuild) {
    EXPECT_EQ(convertedBits(44100, 48000, 1), 12145922651284630359ull);
    EXPECT_EQ(convertedBits(48000, 44100, 1), 14690109267405967159ull);
    EXPECT_EQ(convertedBits(44100, 48000, 16), 6997455119739831277ull);
    EXPECT_EQ(convertedBits(96000, 44100, 16), 6855151398523394545ull);
    EXPECT_EQ(driftedBits(1.0007), 2852212090700687056ull);
    EXPECT_EQ(driftedBits(0.9993), 5086807462316587740ull);
}
