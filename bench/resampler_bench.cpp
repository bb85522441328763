// The channel converter against libsamplerate's linear converter and speexdsp
// at quality 3: time per output sample on the same multi-tone signal, and the
// passband error and stopband attenuation each achieves.
#include <benchmark/benchmark.h>
#include <samplerate.h>
#include <speex/speex_resampler.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/converter_drive.h"
#include "stream/lane_kernels.h"

namespace larkwire::bench {
namespace {

constexpr int kBlock = kConvertedFrames;
constexpr double kPi = 3.14159265358979323846;

struct Rates {
    int in, out;
};
constexpr Rates kRates[2] = {{44100, 48000}, {48000, 44100}};

// Each converter fed the way its interface wants, one block per call.
struct Converter {
    virtual ~Converter() = default;
    // Converts `input` from `at` on; returns output frames written to out.
    virtual int block(const std::vector<float>& input, size_t& at, float* out) = 0;
};

struct Ours final : Converter {
    Ours(Rates r) : conversion(r.in, r.out) {}
    int block(const std::vector<float>& input, size_t& at, float* out) override {
        return conversion.block(input, at, out);
    }
    MonoConversion conversion;
};

struct LibSamplerate final : Converter {
    LibSamplerate(Rates r) : ratio(double(r.out) / r.in) {
        int error = 0;
        state = src_new(SRC_LINEAR, 1, &error);
    }
    ~LibSamplerate() override { src_delete(state); }
    int block(const std::vector<float>& input, size_t& at, float* out) override {
        const int frames = int(std::lround(kBlock / ratio));
        if (at + size_t(frames) > input.size()) at = 0;
        SRC_DATA data{};
        data.data_in = input.data() + at;
        data.input_frames = frames;
        data.data_out = out;
        data.output_frames = kBlock + 16;
        data.src_ratio = ratio;
        src_process(state, &data);
        at += size_t(data.input_frames_used);
        return int(data.output_frames_gen);
    }
    double ratio;
    SRC_STATE* state = nullptr;
};

struct Speex final : Converter {
    Speex(Rates r) : ratio(double(r.out) / r.in) {
        int error = 0;
        state = speex_resampler_init(1, spx_uint32_t(r.in), spx_uint32_t(r.out), 3, &error);
    }
    ~Speex() override { speex_resampler_destroy(state); }
    int block(const std::vector<float>& input, size_t& at, float* out) override {
        spx_uint32_t frames = spx_uint32_t(std::lround(kBlock / ratio));
        if (at + frames > input.size()) at = 0;
        spx_uint32_t produced = kBlock + 16;
        speex_resampler_process_float(state, 0, input.data() + at, &frames, out, &produced);
        at += frames;
        return int(produced);
    }
    double ratio;
    SpeexResamplerState* state = nullptr;
};

std::unique_ptr<Converter> make(int kind, Rates rates) {
    if (kind == 0) return std::make_unique<Ours>(rates);
    if (kind == 1) return std::make_unique<LibSamplerate>(rates);
    return std::make_unique<Speex>(rates);
}

std::vector<float> convertAll(int kind, Rates rates, const std::vector<float>& input) {
    auto converter = make(kind, rates);
    std::vector<float> output;
    float block[kBlock + 16];
    size_t at = 0;
    while (at + kBlock * 2 < input.size()) {
        const int n = converter->block(input, at, block);
        output.insert(output.end(), block, block + n);
    }
    return output;
}

// Least-squares fit of a sine at hz over the settled middle half: the
// amplitude and the RMS of what is left over.
std::pair<double, double> fitTone(const std::vector<float>& y, int rate, double hz) {
    const size_t from = y.size() / 4, to = 3 * y.size() / 4;
    double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
    for (size_t n = from; n < to; ++n) {
        const double s = std::sin(2 * kPi * hz * double(n) / rate);
        const double c = std::cos(2 * kPi * hz * double(n) / rate);
        ss += s * s, sc += s * c, cc += c * c, ys += y[n] * s, yc += y[n] * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    double residual = 0;
    for (size_t n = from; n < to; ++n) {
        const double fit = a * std::sin(2 * kPi * hz * double(n) / rate) +
                           b * std::cos(2 * kPi * hz * double(n) / rate);
        residual += (y[n] - fit) * (y[n] - fit);
    }
    return {std::hypot(a, b), std::sqrt(residual / double(to - from))};
}

double rms(const std::vector<float>& y) {
    const size_t from = y.size() / 4, to = 3 * y.size() / 4;
    double sum = 0;
    for (size_t n = from; n < to; ++n) sum += double(y[n]) * y[n];
    return std::sqrt(sum / double(to - from));
}

struct Quality {
    double passbandErrorDb;        // worst |gain error| of tones 100 Hz .. 16 kHz
    double stopbandAttenuationDb;  // worst rejection of what must not pass
};

// Down: tones between the output's Nyquist and the input's must vanish, so
// everything left of them is alias. Up: what is left beside a tone is image.
Quality measure(int kind, Rates rates) {
    static std::map<std::pair<int, int>, Quality> cache;
    const auto key = std::make_pair(kind, rates.in);
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    Quality q{0, 1e9};
    for (double hz : {100.0, 1000.0, 5000.0, 10000.0, 16000.0}) {
        const auto out = convertAll(kind, rates, tones(rates.in, {hz}, 1.0));
        const double gain = fitTone(out, rates.out, hz).first / 0.8;
        q.passbandErrorDb = std::max(q.passbandErrorDb, std::fabs(20 * std::log10(gain)));
    }
    const double inputRms = 0.8 / std::sqrt(2.0);
    if (rates.in > rates.out) {
        for (double hz : {22500.0, 23000.0, 23500.0}) {
            const auto out = convertAll(kind, rates, tones(rates.in, {hz}, 1.0));
            q.stopbandAttenuationDb =
                std::min(q.stopbandAttenuationDb, 20 * std::log10(inputRms / rms(out)));
        }
    } else {
        for (double hz : {10000.0, 15000.0, 20000.0}) {
            const auto out = convertAll(kind, rates, tones(rates.in, {hz}, 1.0));
            const auto [amplitude, residual] = fitTone(out, rates.out, hz);
            q.stopbandAttenuationDb = std::min(
                q.stopbandAttenuationDb, 20 * std::log10(amplitude / std::sqrt(2.0) / residual));
        }
    }
    cache[key] = q;
    return q;
}

// args: converter (0 ours, 1 libsamplerate linear, 2 speexdsp q3), direction (0 up, 1 down)
void Resample(benchmark::State& state) {
    const int kind = int(state.range(0));
    const Rates rates = kRates[state.range(1)];
    const auto input = tones(rates.in, {440.0, 3000.0, 9000.0}, 2.0);
    auto converter = make(kind, rates);
    float out[kBlock + 16];
    size_t at = 0;
    std::int64_t produced = 0;
    for (auto _ : state) {
        if (at + kBlock * 2 >= input.size()) at = 0;
        produced += converter->block(input, at, out);
        benchmark::DoNotOptimize(out);
    }
    state.counters["ns_per_sample"] = benchmark::Counter(
        double(produced) * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    const Quality q = measure(kind, rates);
    state.counters["passband_err_dB"] = q.passbandErrorDb;
    state.counters["stopband_att_dB"] = q.stopbandAttenuationDb;
    state.SetLabel(std::string(kind == 0 ? "larkwire" : kind == 1 ? "src_linear" : "speex_q3") +
                   (rates.in < rates.out ? " 44100->48000" : " 48000->44100"));
}

// The receive block's case: many channels of one stream converted at once.
// Ours runs its mono converters side by side as playOut does (16 at a time,
// planar in and out); the references convert the channels interleaved in one
// state each, as their interfaces take them.
void ResampleChannels(benchmark::State& state) {
    const int kind = int(state.range(0));
    const Rates rates = kRates[state.range(1)];
    const int channels = int(state.range(2));
    // Ours on the kernels the CPU picks (0), or pinned to AVX2 (1) or SSE2 (2).
    const lanes::Kernels* pinned = state.range(3) == 1 ? lanes::avx2Kernels()
                                   : state.range(3) == 2 ? &lanes::sse2Kernels()
                                                         : nullptr;
    if (state.range(3) != 0 && pinned == nullptr) {
        state.SkipWithError("this CPU has no AVX2");
        return;
    }
    lanes::useKernels(pinned);
    const char* kernelName = lanes::activeKernels().name;
    const auto mono = tones(rates.in, {440.0, 3000.0, 9000.0}, 1.0);
    const double ratio = double(rates.out) / rates.in;
    const int inputFrames = int(std::lround(kBlock / ratio));
    std::vector<float> interleavedIn(size_t(inputFrames + 8) * size_t(channels));
    std::vector<float> interleavedOut(size_t(kBlock + 16) * size_t(channels));
    ChannelBank ours(kind == 0 ? channels : 0, rates.in, rates.out);
    SRC_STATE* src = nullptr;
    SpeexResamplerState* speex = nullptr;
    int error = 0;
    if (kind == 1) src = src_new(SRC_LINEAR, channels, &error);
    if (kind == 2)
        speex = speex_resampler_init(spx_uint32_t(channels), spx_uint32_t(rates.in),
                                     spx_uint32_t(rates.out), 3, &error);
    size_t at = 0;
    std::int64_t produced = 0;
    for (auto _ : state) {
        if (at + size_t(inputFrames) * 2 >= mono.size()) at = 0;
        if (kind == 0) {
            // Side by side, added into the host's planar channels, as playOut does.
            produced += ours.block(mono, at, true);
        } else if (kind == 1) {
            SRC_DATA data{};
            data.data_in = interleavedIn.data();
            data.input_frames = inputFrames;
            data.data_out = interleavedOut.data();
            data.output_frames = kBlock + 16;
            data.src_ratio = ratio;
            src_process(src, &data);
            produced += data.output_frames_gen * channels;
        } else {
            spx_uint32_t in = spx_uint32_t(inputFrames), out = kBlock + 16;
            speex_resampler_process_interleaved_float(speex, interleavedIn.data(), &in,
                                                      interleavedOut.data(), &out);
            produced += std::int64_t(out) * channels;
        }
        benchmark::DoNotOptimize(interleavedOut.data());
        benchmark::DoNotOptimize(ours.outputs());
    }
    lanes::useKernels(nullptr);
    if (src != nullptr) src_delete(src);
    if (speex != nullptr) speex_resampler_destroy(speex);
    state.counters["ns_per_sample"] = benchmark::Counter(
        double(produced) * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetLabel(std::string(kind == 0 ? "larkwire " : kind == 1 ? "src_linear " : "speex_q3 ") +
                   (kind == 0 ? kernelName : "") +
                   (rates.in < rates.out ? " 44100->48000" : " 48000->44100"));
}

BENCHMARK(ResampleChannels)
    ->ArgNames({"converter", "down", "channels", "pinned"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}, {64}, {0}})
    ->ArgsProduct({{0}, {0, 1}, {64}, {1, 2}})
    ->Unit(benchmark::kMicrosecond);

BENCHMARK(Resample)
    ->ArgNames({"converter", "down"})
    ->ArgsProduct({{0, 1, 2}, {0, 1}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace larkwire::bench
