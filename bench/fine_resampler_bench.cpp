// Cost of the fine resampler in the receive block's case: 8 channels of 512
// frames at a ratio a clock drift gives, beside the copy it does at ratio 1
// and speexdsp quality 3 at the same ratio. 1 % of a 512-frame block at
// 48 kHz is 107 us.
#include <benchmark/benchmark.h>
#include <speex/speex_resampler.h>

#include <cmath>
#include <vector>

#include "stream/fine_resampler.h"

namespace larkwire::bench {
namespace {

constexpr int kChannels = 8, kBlock = 512;

std::vector<float> signal(int frames) {
    std::vector<float> x(static_cast<std::size_t>(frames));
    for (int n = 0; n < frames; ++n) x[std::size_t(n)] = float(0.5 * std::sin(0.05 * n) + 0.2 * std::sin(0.9 * n));
    return x;
}

// arg: ratio offset in ppm (0: the copy)
void FineResample8(benchmark::State& state) {
    const double ratio = 1.0 + double(state.range(0)) * 1e-6;
    const std::vector<float> input = signal(48000);
    std::vector<float> out(std::size_t(kChannels) * kBlock);
    FineResampler r;
    std::size_t at = 0;
    for (auto _ : state) {
        if (at + 2 * kBlock > input.size()) at = 0;
        const std::int32_t consumed = r.beginBlock(kBlock, ratio);
        for (int c = 0; c < kChannels; ++c) r.addBlock(c, input.data() + at, out.data() + c * kBlock);
        r.endBlock();
        at += std::size_t(consumed);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetLabel(ratio == 1.0 ? "copy" : "converting");
}

void Speex8(benchmark::State& state) {
    const double ratio = 1.0 + double(state.range(0)) * 1e-6;
    std::vector<float> in(std::size_t(kChannels) * (kBlock + 8)), out(std::size_t(kChannels) * (kBlock + 16));
    const std::vector<float> mono = signal(kBlock + 8);
    for (int j = 0; j < kBlock + 8; ++j)
        for (int c = 0; c < kChannels; ++c) in[std::size_t(j * kChannels + c)] = mono[std::size_t(j)];
    int error = 0;
    SpeexResamplerState* s = speex_resampler_init_frac(
        kChannels, spx_uint32_t(std::lround(ratio * 1e6)), 1000000, 48000, 48000, 3, &error);
    for (auto _ : state) {
        spx_uint32_t inLength = spx_uint32_t(std::lround(kBlock * ratio)), outLength = kBlock + 16;
        speex_resampler_process_interleaved_float(s, in.data(), &inLength, out.data(), &outLength);
        benchmark::DoNotOptimize(out.data());
    }
    speex_resampler_destroy(s);
    state.SetLabel("speex_q3");
}

BENCHMARK(FineResample8)->ArgName("ppm")->Arg(0)->Arg(1000)->Arg(-1000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Speex8)->ArgName("ppm")->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace larkwire::bench
