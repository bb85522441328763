#include "tools/cli_host/analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace larkwire::cli {

std::int64_t firstNonSilent(const std::vector<float>& samples) {
    for (std::size_t i = 0; i < samples.size(); ++i)
        if (samples[i] != 0.0f) return std::int64_t(i);
    return -1;
}

std::int64_t lastNonSilent(const std::vector<float>& samples) {
    for (std::size_t i = samples.size(); i > 0; --i)
        if (samples[i - 1] != 0.0f) return std::int64_t(i - 1);
    return -1;
}

float peakOf(const std::vector<float>& samples) {
    float peak = 0;
    for (float s : samples) peak = std::max(peak, std::fabs(s));
    return peak;
}

std::int64_t alignTone(const std::vector<float>& samples, std::int64_t at, double frequency,
                       double peak, double rate) {
    const std::int64_t window = std::min<std::int64_t>(32, std::int64_t(samples.size()) - at);
    // A whole frequency repeats within one second of samples; others get a minute.
    const std::int64_t limit = std::int64_t(rate) * (frequency == std::floor(frequency) ? 1 : 60);
    for (std::int64_t s = 0; s < limit; ++s) {
        std::int64_t k = 0;
        while (k < window && toneSample(frequency, peak, rate, s + k) == samples[at + k]) ++k;
        if (k == window) return s;
    }
    return -1;
}

ToneCheck checkTone(const std::vector<float>& samples, double frequency, double peak, double rate) {
    ToneCheck check;
    const std::int64_t frames = std::int64_t(samples.size());
    std::int64_t at = firstNonSilent(samples);
    if (at < 0) return check;
    check.received = true;
    check.firstFrame = at;
    while (at < frames) {
        std::int64_t n = alignTone(samples, at, frequency, peak, rate);
        if (n < 0) {
            check.mismatchFrame = at;
            check.got = samples[at];
            return check;
        }
        for (; at < frames; ++at, ++n) {
            const float expected = toneSample(frequency, peak, rate, n);
            if (samples[at] == expected) {
                ++check.comparedFrames;
                continue;
            }
            if (samples[at] != 0.0f) {
                // The receiver drops its oldest samples after a burst: the tone
                // then goes on at a later phase, every sample still intact.
                const std::int64_t later = alignTone(samples, at, frequency, peak, rate);
                if (later >= 0) {
                    ++check.skips;
                    check.resumes.push_back(at);
                    n = later - 1;
                    --at;
                    continue;
                }
                check.mismatchFrame = at;
                check.got = samples[at];
                check.expected = expected;
                return check;
            }
            break;  // zeros: a dropout or the end of the stream
        }
        while (at < frames && samples[at] == 0.0f) ++at;
        if (at < frames) {
            ++check.dropouts;
            check.resumes.push_back(at);
        }
    }
    check.exact = check.comparedFrames > 0;
    return check;
}

ToneMeasure measureTone(const std::vector<float>& samples, double rate) {
    ToneMeasure result;
    // A shortage at the receiver silences whole blocks: measure each
    // uninterrupted run apart, without its edges, where a converter rings.
    constexpr std::int64_t kGap = 32, kEdge = 128;
    const std::int64_t frames = std::int64_t(samples.size());
    double sumSquares = 0, span = 0;
    std::int64_t counted = 0, periods = 0;
    for (std::int64_t j = 0; j < frames;) {
        while (j < frames && samples[std::size_t(j)] == 0.0f) ++j;
        std::int64_t runEnd = j, zeros = 0;
        while (runEnd < frames && zeros < kGap) {
            zeros = samples[std::size_t(runEnd)] == 0.0f ? zeros + 1 : 0;
            ++runEnd;
        }
        const std::int64_t begin = j + kEdge, end = runEnd - zeros - kEdge;
        j = runEnd;
        if (end - begin < 64) continue;
        double firstCrossing = -1, lastCrossing = -1;
        std::int64_t crossings = 0;
        for (std::int64_t k = begin; k < end; ++k) {
            const double v = samples[std::size_t(k)], previous = samples[std::size_t(k - 1)];
            sumSquares += v * v;
            if (previous < 0 && v >= 0) {
                const double at = double(k - 1) + (-previous) / (v - previous);
                if (firstCrossing < 0) firstCrossing = at;
                lastCrossing = at;
                ++crossings;
            }
        }
        counted += end - begin;
        if (crossings >= 2) {
            periods += crossings - 1;
            span += lastCrossing - firstCrossing;
        }
    }
    if (periods < 1 || counted == 0) return result;
    result.measured = true;
    result.frequency = double(periods) * rate / span;
    const double rms = std::sqrt(sumSquares / double(counted));
    result.levelDb = 20.0 * std::log10(std::max(rms * std::sqrt(2.0), 1e-12));
    return result;
}

std::vector<std::int64_t> findClicks(const std::vector<float>& samples, double rate) {
    std::vector<std::int64_t> clicks;
    const float threshold = peakOf(samples) / 2;
    if (threshold <= 0) return clicks;
    const std::int64_t spacing = std::int64_t(rate / 10);
    const std::int64_t frames = std::int64_t(samples.size());
    for (std::int64_t j = 0; j < frames; ++j) {
        if (std::fabs(samples[std::size_t(j)]) < threshold) continue;
        // The largest sample near the crossing is the click itself.
        std::int64_t best = j;
        for (std::int64_t k = j; k < std::min(frames, j + 64); ++k)
            if (std::fabs(samples[std::size_t(k)]) > std::fabs(samples[std::size_t(best)])) best = k;
        clicks.push_back(best);
        j = best + spacing;
    }
    return clicks;
}

Latency clickLatency(const std::vector<std::int64_t>& clicks, std::int64_t startNanoseconds,
                     double rate, double periodSeconds) {
    Latency latency;
    const std::int64_t period = std::llround(periodSeconds * 1e9);
    if (period <= 0) return latency;
    const std::int64_t startPhase = startNanoseconds % period;
    double sum = 0;
    for (std::int64_t frame : clicks) {
        const std::int64_t at = startPhase + std::llround(double(frame) * 1e9 / rate);
        const double ms = double(at % period) / 1e6;
        if (latency.clicks == 0 || ms < latency.minMs) latency.minMs = ms;
        if (latency.clicks == 0 || ms > latency.maxMs) latency.maxMs = ms;
        sum += ms;
        ++latency.clicks;
    }
    if (latency.clicks > 0) latency.meanMs = sum / latency.clicks;
    return latency;
}

MidiCheck checkMidi(const std::vector<MidiNote>& sent, const std::vector<ReceivedEvent>& received,
                    double rate, int blockFrames, const std::vector<std::int64_t>& resumes) {
    MidiCheck check;
    check.expected = int(sent.size());
    std::size_t next = 0;
    char text[160];
    for (const MidiNote& note : sent) {
        const BlockPosition position = positionOf(note, rate, blockFrames);
        std::size_t i = next;
        while (i < received.size() && !std::equal(note.bytes, note.bytes + 3, received[i].bytes)) ++i;
        if (i == received.size()) {
            if (check.firstProblem.empty()) {
                std::snprintf(text, sizeof text, "%02x %02x %02x (sent at %.3f s) never arrived",
                              note.bytes[0], note.bytes[1], note.bytes[2], note.seconds);
                check.firstProblem = text;
            }
            continue;
        }
        ++check.arrived;
        const std::int64_t blockStart = received[i].block * blockFrames;
        const bool afterGap =
            received[i].deltaFrames == 0 &&
            std::any_of(resumes.begin(), resumes.end(), [&](std::int64_t frame) {
                return frame >= blockStart && frame < blockStart + blockFrames;
            });
        if (received[i].deltaFrames == position.deltaFrames) {
            ++check.rightOffset;
        } else if (afterGap) {
            ++check.afterGap;
        } else if (check.firstProblem.empty()) {
            std::snprintf(text, sizeof text, "%02x %02x %02x arrived at offset %d, sent at %d",
                          note.bytes[0], note.bytes[1], note.bytes[2],
                          int(received[i].deltaFrames), int(position.deltaFrames));
            check.firstProblem = text;
        }
        next = i + 1;
    }
    return check;
}

}  // namespace larkwire::cli
