#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "stream/channel_resampler.h"

using namespace larkwire;

namespace {

constexpr double kPi = 3.14159265358979323846;

// Runs a sine through the converter in blocks and returns the output.
std::vector<double> convert(double inputRate, double outputRate, double frequency,
                            int blocks, int frames) {
    ChannelResampler resampler;
    resampler.reset();
    resampler.setRates(inputRate, outputRate);
    std::vector<double> output;
    std::vector<double> block(size_t(frames), 0.0);
    long long n = 0;
    for (int b = 0; b < blocks; ++b) {
        double* input = nullptr;
        const int need = resampler.prepareInput(frames, 1, &input);
        for (int i = 0; i < need; ++i, ++n) input[i] = std::sin(2 * kPi * frequency * n / inputRate);
        const int produced = resampler.resampleBlock(block.data(), need, frames, 1);
        output.insert(output.end(), block.begin(), block.begin() + produced);
    }
    return output;
}

double rms(const std::vector<double>& v, size_t from) {
    double sum = 0;
    for (size_t i = from; i < v.size(); ++i) sum += v[i] * v[i];
    return std::sqrt(sum / double(v.size() - from));
}

// Amplitude of one frequency in v, by correlation.
double amplitudeAt(const std::vector<double>& v, size_t from, double frequency, double rate) {
    double re = 0, im = 0;
    for (size_t i = from; i < v.size(); ++i) {
        re += v[i] * std::cos(2 * kPi * frequency * double(i) / rate);
        im += v[i] * std::sin(2 * kPi * frequency * double(i) / rate);
    }
    return 2 * std::hypot(re, im) / double(v.size() - from);
}

}  // namespace

TEST(ChannelResampler, RatioOneIsExactWithFourFramesLookAhead) {
    ChannelResampler resampler;
    resampler.reset();
    double* input = nullptr;
    ASSERT_EQ(resampler.prepareInput(512, 1, &input), 516);
    for (int i = 0; i < 516; ++i) input[i] = i;
    std::vector<double> out(512);
    ASSERT_EQ(resampler.resampleBlock(out.data(), 516, 512, 1), 512);
    for (int i = 0; i < 512; ++i) ASSERT_EQ(out[size_t(i)], double(i));
    EXPECT_EQ(resampler.bufferedFrames(), 4);
    EXPECT_EQ(resampler.prepareInput(512, 1, &input), 512);
}

TEST(ChannelResampler, RatioTwoAsksFor1028AndFiltersAt0396) {
    ChannelResampler resampler;
    resampler.reset();
    resampler.setRates(88200, 44100);
    double* input = nullptr;
    ASSERT_EQ(resampler.prepareInput(512, 1, &input), 1028);
    for (int i = 0; i < 1028; ++i) input[i] = 0.25;
    std::vector<double> out(512);
    EXPECT_EQ(resampler.resampleBlock(out.data(), 1028, 512, 1), 512);
    EXPECT_NEAR(resampler.lastCutoff(), 0.396, 1e-12);
}

TEST(ChannelResampler, CutoffFor44100To48000AndBack) {
    for (auto [in, out] : {std::pair{44100.0, 48000.0}, std::pair{48000.0, 44100.0}}) {
        ChannelResampler resampler;
        resampler.reset();
        resampler.setRates(in, out);
        double* input = nullptr;
        const int need = resampler.prepareInput(256, 1, &input);
        for (int i = 0; i < need; ++i) input[i] = 0.5;
        std::vector<double> output(256);
        resampler.resampleBlock(output.data(), need, 256, 1);
        EXPECT_NEAR(resampler.lastCutoff(), 0.72765, 1e-9) << in << " -> " << out;
    }
}

TEST(ChannelResampler, ShortSupplyPadsTwiceTheShortfall) {
    ChannelResampler resampler;
    resampler.reset();
    double* input = nullptr;
    ASSERT_EQ(resampler.prepareInput(512, 1, &input), 516);
    for (int i = 0; i < 100; ++i) input[i] = 1.0;
    std::vector<double> out(512);
    const int produced = resampler.resampleBlock(out.data(), 100, 512, 1);
    // 100 frames plus 832 frames of zeros are held; 512 of them played.
    EXPECT_EQ(produced, 512);
    EXPECT_EQ(resampler.bufferedFrames(), 100 + 832 - 512);
    EXPECT_EQ(out[99], 1.0);
    EXPECT_EQ(out[100], 0.0);
}

TEST(ChannelResampler, DenormalOutputBecomesExactZero) {
    ChannelResampler resampler;
    resampler.reset();
    resampler.setRates(48000, 44100);
    double* input = nullptr;
    const int need = resampler.prepareInput(64, 1, &input);
    for (int i = 0; i < need; ++i) input[i] = i == 0 ? 1e-310 : 0.0;
    std::vector<double> out(64, 1.0);
    resampler.resampleBlock(out.data(), need, 64, 1);
    EXPECT_EQ(resampler.filterOutput(0), 0.0);
    EXPECT_FALSE(std::signbit(resampler.filterOutput(0)));
    for (double v : out) EXPECT_TRUE(v == 0.0 || std::fpclassify(v) == FP_NORMAL);
}

TEST(ChannelResampler, RatesAndChannelBounds) {
    ChannelResampler resampler;
    resampler.reset();
    resampler.setRates(0.5, 48000);
    EXPECT_EQ(resampler.inputRate(), 1.0);
    const double cutoff = resampler.lastCutoff();
    resampler.setRates(0.5, 48000);  // same values: nothing changes
    EXPECT_EQ(resampler.lastCutoff(), cutoff);

    double* input = nullptr;
    resampler.setRates(44100, 44100);
    resampler.prepareInput(16, 1, &input);
    std::vector<double> out(16);
    const int buffered = resampler.bufferedFrames();
    EXPECT_EQ(resampler.resampleBlock(out.data(), 20, 16, 0), 0);
    EXPECT_EQ(resampler.resampleBlock(out.data(), 20, 16, 33), 0);
    EXPECT_EQ(resampler.bufferedFrames(), buffered);

    // A hostile rate never makes the converter ask for unbounded input.
    resampler.setRates(2147483647.0, 1.0);
    EXPECT_LE(resampler.prepareInput(8192, 1, &input), 1 << 18);
    resampler.setRates(std::numeric_limits<double>::quiet_NaN(), 44100);
    resampler.prepareInput(512, 1, &input);
    resampler.resampleBlock(out.data(), 0, 16, 1);  // must not crash or trap
}

TEST(ChannelResampler, QualityOfConversion) {
    // Passband: a 1 kHz tone keeps its level within 0.5 dB either way.
    for (auto [in, out] : {std::pair{48000.0, 44100.0}, std::pair{44100.0, 48000.0}}) {
        const auto y = convert(in, out, 1000, 40, 512);
        const double level = 20 * std::log10(amplitudeAt(y, 2048, 1000, out));
        EXPECT_NEAR(level, 0.0, 0.5) << in << " -> " << out;
    }
    // Stopband: a tone above the new Nyquist frequency is attenuated when
    // going down from 96 kHz to 44.1 kHz (30 kHz would alias to 14.1 kHz).
    const auto y = convert(96000, 44100, 30000, 40, 512);
    const double aliased = amplitudeAt(y, 2048, 44100 - 30000, 44100);
    EXPECT_LT(20 * std::log10(aliased + 1e-12), -12.0);
    EXPECT_LT(rms(y, 2048), 0.25);
}
