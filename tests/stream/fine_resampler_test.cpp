#include "stream/fine_resampler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using larkwire::FineResampler;

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr int kBlock = 256;
}  // namespace

TEST(FineResampler, RatioOneIsAnExactCopyAddedToTheOutput) {
    FineResampler r;
    std::vector<float> input(4 * kBlock), out(kBlock);
    for (std::size_t i = 0; i < input.size(); ++i) input[i] = float(std::sin(0.37 * double(i)) * 0.8);
    for (int b = 0; b < 4; ++b) {
        ASSERT_EQ(r.beginBlock(kBlock, 1.0), kBlock);
        EXPECT_TRUE(r.direct());
        EXPECT_EQ(r.lookahead(), 0);
        for (int j = 0; j < kBlock; ++j) out[std::size_t(j)] = 0.25f;
        r.addBlock(3, input.data() + b * kBlock, out.data());
        r.endBlock();
        for (int j = 0; j < kBlock; ++j)
            ASSERT_EQ(out[std::size_t(j)], 0.25f + input[std::size_t(b * kBlock + j)]) << b << " " << j;
    }
}

// Copy, then ratios away from 1, then back: the output stays one smooth sine
// (a time jump where the path changes would break the recurrence a sine
// obeys), both channels get the same, engaging starts on the very sample the
// copy would give, and once the position is whole again blocks copy.
TEST(FineResampler, EngagingAndLeavingKeepsASineSmoothAndEndsInACopy) {
    const double w = 2 * kPi * 1000.0 / 48000;
    std::vector<float> input;
    for (int n = 0; n < 20 * kBlock; ++n) input.push_back(float(0.5 * std::sin(w * n)));
    FineResampler r;
    std::vector<float> played, out(kBlock), other(kBlock);
    std::size_t read = 0;
    double wanted = 0;
    const double ratios[] = {1, 1, 1.0013, 1.0013, 0.9981, 0.9981, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    bool wasDirect = true;
    for (double ratio : ratios) {
        const std::int32_t consumed = r.beginBlock(kBlock, ratio);
        std::fill(out.begin(), out.end(), 0.0f);
        std::fill(other.begin(), other.end(), 0.0f);
        r.addBlock(0, input.data() + read, out.data());
        r.addBlock(7, input.data() + read, other.data());
        ASSERT_EQ(out, other) << "channels must stay aligned";
        if (wasDirect && !r.direct()) {
            EXPECT_EQ(out[0], input[read]) << "engaging must not move the sound";
        }
        wasDirect = r.direct();
        played.insert(played.end(), out.begin(), out.end());
        read += std::size_t(consumed);
        wanted += ratio * kBlock;
        r.endBlock();
    }
    EXPECT_TRUE(wasDirect) << "back to a copy once the position is whole";
    for (int j = 0; j < kBlock; ++j)
        ASSERT_EQ(played[played.size() - kBlock + std::size_t(j)], input[read - kBlock + std::size_t(j)]);
    EXPECT_NEAR(double(read), wanted, 1.0);
    double worst = 0;
    for (std::size_t k = 2; k < played.size(); ++k)
        worst = std::max(worst, std::fabs(double(played[k]) - 2 * std::cos(w) * played[k - 1] + played[k - 2]));
    EXPECT_LT(worst, 1e-3);
}

TEST(FineResampler, ConsumesTheRatioAndClampsNonsense) {
    FineResampler r;
    // 2000 ppm fast over 500 frames: one frame more.
    EXPECT_EQ(r.beginBlock(500, 1.002), 501);
    EXPECT_FALSE(r.direct());
    EXPECT_EQ(r.lookahead(), FineResampler::kLookahead);
    r.endBlock();
    r.reset();
    EXPECT_EQ(r.beginBlock(512, std::nan("")), 512);
    EXPECT_TRUE(r.direct());
    r.endBlock();
    EXPECT_LE(r.beginBlock(1000, 3.0), 1006);  // far past any clock: held to a few per mille
    EXPECT_EQ(r.beginBlock(0, 1.001), 0);
    EXPECT_EQ(r.beginBlock(-5, 1.0), 0);
}

// Blocks of every small size at ratios either side of 1, each reading from a
// buffer that ends exactly where the resampler may read: the sanitizer build
// catches a read past consumed + lookahead, or into the history's front.
TEST(FineResampler, ReadsOnlyTheFramesItAnnouncesAtEveryBlockSize) {
    FineResampler r;
    std::vector<float> out(64);
    for (int frames = 1; frames <= 64; ++frames) {
        for (double ratio : {1.0, 1.0049, 0.9951, 1.0}) {
            const std::int32_t consumed = r.beginBlock(frames, ratio);
            std::vector<float> input(std::size_t(consumed + r.lookahead()), 0.25f);
            r.addBlock(0, input.data(), out.data());
            r.addBlock(FineResampler::kHistory, input.data(), out.data());
            r.endBlock();
        }
    }
    SUCCEED();
}
