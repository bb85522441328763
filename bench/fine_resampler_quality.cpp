// The fine resampler's quality beside speexdsp (quality 3, the goal) and
// libsamplerate (its fastest sinc and its linear converter), measured the
// same way for each: single tones from 100 Hz to 18 kHz at 44.1 and 48 kHz,
// played at ratios a clock drift gives (input frames per output frame). For
// each tone a sine at the expected output frequency is fitted by least
// squares; the fit's amplitude is the passband gain, and what is left over
// (images, aliases and noise) is the spurious level below the tone.
// Run: build/linux-release/bench/larkwire_fine_quality
#include <samplerate.h>
#include <speex/speex_resampler.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "stream/fine_resampler.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kAmplitude = 0.5;
constexpr int kBlock = 512;

std::vector<float> tone(double hz, double rate, int frames) {
    std::vector<float> x(static_cast<std::size_t>(frames));
    for (int n = 0; n < frames; ++n) x[std::size_t(n)] = float(kAmplitude * std::sin(2 * kPi * hz * n / rate));
    return x;
}

std::vector<float> viaFine(const std::vector<float>& in, double ratio) {
    larkwire::FineResampler r;
    std::vector<float> out, block(kBlock);
    std::size_t at = 0;
    r.beginBlock(kBlock, 1.0);  // a copied block first, as the playout engages
    for (;;) {
        if (at + kBlock * 2 + 64 > in.size()) break;
        const std::int32_t consumed = r.beginBlock(kBlock, ratio);
        std::fill(block.begin(), block.end(), 0.0f);
        r.addBlock(0, in.data() + at, block.data());
        r.endBlock();
        at += std::size_t(consumed);
        out.insert(out.end(), block.begin(), block.end());
    }
    return out;
}

std::vector<float> viaSpeex(const std::vector<float>& in, double ratio) {
    int error = 0;
    const spx_uint32_t num = spx_uint32_t(std::lround(ratio * 1e6)), den = 1000000;
    SpeexResamplerState* s = speex_resampler_init_frac(1, num, den, 48000, 48000, 3, &error);
    std::vector<float> out(std::size_t(double(in.size()) / ratio) + 64);
    spx_uint32_t inLength = spx_uint32_t(in.size()), outLength = spx_uint32_t(out.size());
    speex_resampler_process_float(s, 0, in.data(), &inLength, out.data(), &outLength);
    speex_resampler_destroy(s);
    out.resize(outLength);
    return out;
}

std::vector<float> viaSrc(const std::vector<float>& in, double ratio, int kind) {
    std::vector<float> out(std::size_t(double(in.size()) / ratio) + 64);
    SRC_DATA d{};
    d.data_in = in.data();
    d.input_frames = long(in.size());
    d.data_out = out.data();
    d.output_frames = long(out.size());
    d.src_ratio = 1.0 / ratio;
    d.end_of_input = 1;
    src_simple(&d, kind, 1);
    out.resize(std::size_t(d.output_frames_gen));
    return out;
}

struct Fit {
    double gainDb, spuriousDb;
};

// Over the middle half: fitted amplitude, and the residual's level below it.
Fit fit(const std::vector<float>& y, double cyclesPerFrame) {
    const std::size_t from = y.size() / 4, to = 3 * y.size() / 4;
    double ss = 0, sc = 0, cc = 0, ys = 0, yc = 0;
    for (std::size_t n = from; n < to; ++n) {
        const double s = std::sin(2 * kPi * cyclesPerFrame * double(n));
        const double c = std::cos(2 * kPi * cyclesPerFrame * double(n));
        ss += s * s, sc += s * c, cc += c * c, ys += y[n] * s, yc += y[n] * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    double residual = 0;
    for (std::size_t n = from; n < to; ++n) {
        const double f = a * std::sin(2 * kPi * cyclesPerFrame * double(n)) +
                         b * std::cos(2 * kPi * cyclesPerFrame * double(n));
        residual += (y[n] - f) * (y[n] - f);
    }
    const double amplitude = std::hypot(a, b);
    const double residualRms = std::sqrt(residual / double(to - from));
    return {20 * std::log10(amplitude / kAmplitude),
            20 * std::log10(std::max(residualRms, 1e-12) / (amplitude / std::sqrt(2.0)))};
}

}  // namespace

int main() {
    const double tones[] = {100, 1000, 5000, 10000, 14000, 16000, 18000};
    const double ratios[] = {1.001, 0.999, 1.002};
    const char* names[] = {"larkwire fine", "speexdsp q3", "src sinc fastest", "src linear"};
    std::printf("worst over tones 100 Hz .. 18 kHz and ratios 1.001, 0.999, 1.002\n");
    std::printf("%-18s %6s %16s %22s\n", "converter", "rate", "passband error dB", "spurious dB below tone");
    for (double rate : {44100.0, 48000.0}) {
        for (int kind = 0; kind < 4; ++kind) {
            double worstGain = 0, worstSpurious = -400;
            for (double ratio : ratios)
                for (double hz : tones) {
                    const std::vector<float> in = tone(hz, rate, int(rate * 2));
                    const std::vector<float> out = kind == 0   ? viaFine(in, ratio)
                                                   : kind == 1 ? viaSpeex(in, ratio)
                                                   : kind == 2 ? viaSrc(in, ratio, SRC_SINC_FASTEST)
                                                               : viaSrc(in, ratio, SRC_LINEAR);
                    const Fit f = fit(out, hz * ratio / rate);
                    worstGain = std::max(worstGain, std::fabs(f.gainDb));
                    worstSpurious = std::max(worstSpurious, f.spuriousDb);
                }
            std::printf("%-18s %6.0f %16.4f %22.1f\n", names[kind], rate, worstGain, -worstSpurious);
        }
    }
    return 0;
}
