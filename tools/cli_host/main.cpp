// larkwire-host: loads a VST 2 plug-in by path, sets its state from the
// command line and runs it in real time, as a DAW would, then reports what
// came out. See --help.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tools/cli_host/analysis.h"
#include "tools/cli_host/host_editor.h"
#include "tools/cli_host/options.h"
#include "tools/cli_host/signals.h"
#include "tools/cli_host/stream_watch.h"
#include "tools/cli_host/wav_file.h"
#include "tools/host/plugin_host.h"

using namespace larkwire;
using namespace larkwire::cli;

namespace {

constexpr int kChunkBytes = 172;
constexpr int kIdentifierAt = 12, kIdentifierBytes = 32;
constexpr int kDestinationAt = 44, kDestinationBytes = 128;
constexpr double kAnalysisSeconds = 120;  // output kept in memory for the checks

std::atomic<bool> stopRequested{false};
extern "C" void onInterrupt(int) { stopRequested = true; }

void putInt(std::uint8_t* p, std::int32_t value) {
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(std::uint32_t(value) >> (8 * i));
}
std::int32_t getInt(const std::uint8_t* p) {
    return std::int32_t(std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) |
                        (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24));
}
std::string textField(const std::uint8_t* p, int size) {
    std::string text;
    for (int i = 0; i < size && p[i] != 0; ++i) text.push_back(char(p[i]));
    return text;
}

// The plug-in's default state with the fields the command line gives.
std::vector<std::uint8_t> buildChunk(host::PluginHost& pluginHost, vst2::AEffect* effect,
                                     const Options& o) {
    std::vector<std::uint8_t> chunk(kChunkBytes, 0);
    putInt(&chunk[4], 2);
    putInt(&chunk[8], 1);
    void* current = nullptr;
    if (pluginHost.dispatch(effect, vst2::effGetChunk, 0, 0, &current) == kChunkBytes &&
        current != nullptr)
        std::memcpy(chunk.data(), current, kChunkBytes);
    putInt(&chunk[0], o.mode == Options::Mode::send ? 1 : 0);
    putInt(&chunk[4], o.channels >= 0 ? o.channels : effect->numInputs);
    putInt(&chunk[8], o.disabled ? 0 : 1);
    if (o.haveIdentifier) {
        std::memset(&chunk[kIdentifierAt], 0, kIdentifierBytes);
        std::memcpy(&chunk[kIdentifierAt], o.identifier.data(), o.identifier.size());
    }
    if (o.mode == Options::Mode::send) {
        std::memset(&chunk[kDestinationAt], 0, kDestinationBytes);
        std::memcpy(&chunk[kDestinationAt], o.destination.data(), o.destination.size());
    }
    return chunk;
}

// One block's events, alive until the processing call that follows returns.
struct BlockEvents {
    std::vector<vst2::VstMidiEvent> events;
    std::vector<vst2::VstEvent*> pointers;
    std::vector<unsigned char> list;

    vst2::VstEvents* build() {
        if (events.empty()) return nullptr;
        // The list record is declared with two slots and used with numEvents.
        const std::size_t bytes = offsetof(vst2::VstEvents, events) +
                                  std::max<std::size_t>(2, events.size()) * sizeof(vst2::VstEvent*);
        list.assign(bytes, 0);
        auto* header = reinterpret_cast<vst2::VstEvents*>(list.data());
        header->numEvents = vst2::int32(events.size());
        auto** slots = reinterpret_cast<vst2::VstEvent**>(list.data() + offsetof(vst2::VstEvents, events));
        for (std::size_t i = 0; i < events.size(); ++i)
            slots[i] = reinterpret_cast<vst2::VstEvent*>(&events[i]);
        return header;
    }
};

std::int64_t wallClockNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

const char* yesNo(bool value) { return value ? "yes" : "no"; }

// The plug-in's state as its chunk says; the chunk, or null when it gave none.
const std::uint8_t* printState(host::PluginHost& pluginHost, vst2::AEffect* effect, const char* label) {
    void* state = nullptr;
    if (pluginHost.dispatch(effect, vst2::effGetChunk, 0, 0, &state) != kChunkBytes || state == nullptr)
        return nullptr;
    const auto* s = static_cast<const std::uint8_t*>(state);
    std::printf("%s     %s, id \"%s\", %d channels to send, %s%s%s\n", label, getInt(s) ? "send" : "receive",
                textField(s + kIdentifierAt, 32).c_str(), int(getInt(s + 4)),
                getInt(s + 8) ? "enabled" : "disabled", getInt(s) ? ", to " : "",
                getInt(s) ? textField(s + kDestinationAt, 128).c_str() : "");
    return s;
}

// The whole run's view of the stream; see --help.
void printStreamReport(const StreamWatch& w, const Options& o, double rate, int block) {
    if (w.startFrame() < 0) {
        std::printf("stream:            nothing arrived\n");
        return;
    }
    std::printf("stream start:      frame %lld (%.1f ms)\n", (long long)w.startFrame(),
                double(w.startFrame()) * 1000 / rate);
    std::printf("underruns:         %d\n", w.underruns());
    if (o.expectToneHz > 0) {
        std::printf("discontinuities:   %d", w.discontinuities());
        if (w.firstDiscontinuity() >= 0)
            std::printf(" (first at %.3f s)", double(w.firstDiscontinuity()) / rate);
        std::printf("\ntone bit-exact:    %s (%lld samples)\n", yesNo(w.bitExact()),
                    (long long)w.comparedSamples());
    }
    const std::vector<ClickSeen>& c = w.clicks();
    const double trend = w.latencyTrendPpm();
    if (o.expectToneHz > 0 && w.toneMeasured())
        std::printf("drift:             %+.1f ppm (tone %+.1f ppm, latency trend %+.1f ppm)\n",
                    w.toneDriftPpm() + trend, w.toneDriftPpm(), trend);
    if (c.empty()) return;
    const std::size_t ends = std::min<std::size_t>(3, c.size());
    double first = 0, last = 0, low = c[0].latencyMs, high = c[0].latencyMs;
    for (std::size_t i = 0; i < ends; ++i) {
        first += c[i].latencyMs / double(ends);
        last += c[c.size() - 1 - i].latencyMs / double(ends);
    }
    for (const ClickSeen& k : c) low = std::min(low, k.latencyMs), high = std::max(high, k.latencyMs);
    const double msPerBlock = block * 1000.0 / rate;
    std::printf("latency start:     %.2f ms (%.2f blocks)\n", first, first / msPerBlock);
    std::printf("latency end:       %.2f ms (%.2f blocks)\n", last, last / msPerBlock);
    std::printf("latency range:     %.2f .. %.2f ms (%.2f .. %.2f blocks, %zu clicks)\n", low, high,
                low / msPerBlock, high / msPerBlock, c.size());
}

int run(const Options& o) {
    host::PluginHost pluginHost;
    std::string error;
    if (!pluginHost.load(o.plugin, &error)) {
        std::fprintf(stderr, "larkwire-host: %s\n", error.c_str());
        return 1;
    }
    vst2::AEffect* effect = pluginHost.createInstance();
    if (effect == nullptr || effect->magic != vst2::kEffectMagic) {
        std::fprintf(stderr, "larkwire-host: %s gave no valid plug-in instance\n", o.plugin.c_str());
        return 1;
    }
    if (effect->processReplacing == nullptr || effect->numOutputs < 1 || effect->numOutputs > 1024 ||
        effect->numInputs < 0 || effect->numInputs > 1024) {
        std::fprintf(stderr, "larkwire-host: the plug-in offers no usable processing call\n");
        return 1;
    }
    const int inputs = effect->numInputs, outputs = effect->numOutputs;
    pluginHost.dispatch(effect, vst2::effOpen);

    // Input file first: it may set the rate and the length.
    WavAudio file;
    double rate = o.rate;
    double seconds = o.seconds;
    if (!o.inputFile.empty()) {
        if (!readWavFile(o.inputFile, &file, &error)) {
            std::fprintf(stderr, "larkwire-host: %s\n", error.c_str());
            return 1;
        }
        if (o.haveRate && file.sampleRate != int(o.rate)) {
            std::fprintf(stderr, "larkwire-host: %s is at %d Hz, not %g; leave out --rate\n",
                         o.inputFile.c_str(), file.sampleRate, o.rate);
            return 2;
        }
        rate = file.sampleRate;
        if (!o.haveSeconds) seconds = double(file.frames) / rate;
    }
    const int block = o.block;

    std::vector<std::uint8_t> chunk = buildChunk(pluginHost, effect, o);
    pluginHost.dispatch(effect, vst2::effSetChunk, 0, kChunkBytes, chunk.data());
    std::printf("plug-in:           %s, %d in, %d out\n", o.plugin.c_str(), inputs, outputs);
    if (const std::uint8_t* s = printState(pluginHost, effect, "state:         ");
        s != nullptr && std::memcmp(s, chunk.data(), kChunkBytes) != 0)
        std::printf("note:              the plug-in did not keep the state as given\n");
    char length[64] = "until Ctrl-C";
    if (seconds > 0) std::snprintf(length, sizeof length, "%g s", seconds);
    std::printf("running:           %g Hz, %d-frame blocks, %s\n", rate, block, length);
    if (o.clockPpm != 0) std::printf("clock:             %+g ppm against the wall clock\n", o.clockPpm);
    std::fflush(stdout);

    pluginHost.dispatch(effect, vst2::effSetSampleRate, 0, 0, nullptr, float(rate));
    pluginHost.dispatch(effect, vst2::effSetBlockSize, 0, block);
    pluginHost.dispatch(effect, vst2::effMainsChanged, 0, 1);

    std::vector<std::vector<float>> in(static_cast<std::size_t>(inputs), std::vector<float>(static_cast<std::size_t>(block)));
    std::vector<std::vector<float>> out(static_cast<std::size_t>(outputs), std::vector<float>(static_cast<std::size_t>(block)));
    std::vector<float*> inPointers, outPointers;
    for (auto& c : in) inPointers.push_back(c.data());
    for (auto& c : out) outPointers.push_back(c.data());
    if (inPointers.empty()) inPointers.push_back(nullptr);

    WavWriter writer;
    if (!o.outputFile.empty() && !writer.open(o.outputFile, outputs, int(rate), &error)) {
        std::fprintf(stderr, "larkwire-host: %s\n", error.c_str());
        return 1;
    }

    const int sendChannels = o.channels >= 0 ? std::min(o.channels, inputs) : inputs;
    const double peak = gainOfDecibels(o.levelDb);
    const std::int64_t clickPeriod = clickPeriodFrames(o.clickPeriod, rate);
    // Frames this host processes per nominal frame of wall time.
    const double clockScale = 1.0 + o.clockPpm * 1e-6;
    // With a tone, the clicks take the last sent channel.
    const int clickChannel = o.clicks ? (o.toneHz > 0 && sendChannels > 1 ? sendChannels - 1 : 0) : -1;
    const std::int64_t totalBlocks =
        seconds > 0 ? std::int64_t(std::ceil(seconds * rate / block)) : INT64_MAX;
    // Blocks before the stream starts do not count, for up to waitBlocks.
    const std::int64_t waitBlocks =
        o.mode == Options::Mode::receive ? std::int64_t(std::ceil(o.waitSeconds * rate / block)) : 0;
    std::int64_t waitedBlocks = 0;
    const std::int64_t keptFrames =
        std::min<std::int64_t>(std::int64_t(kAnalysisSeconds * rate),
                               totalBlocks == INT64_MAX ? INT64_MAX : (totalBlocks + waitBlocks) * block);
    std::vector<std::vector<float>> kept(static_cast<std::size_t>(outputs));
    // Reserved now: growing it in the loop copies tens of megabytes between
    // two processing calls, which a real-time host must not.
    if (double(keptFrames) * outputs * sizeof(float) <= 512e6)
        for (auto& c : kept) c.reserve(static_cast<std::size_t>(keptFrames));
    // The kept window starts after the blocks spent waiting for the stream,
    // so a stream that comes late is still inside it.
    std::int64_t keptFrom = -1;

    // Clicks leave on whole multiples of their period of the system clock.
    if (o.clicks) {
        const std::int64_t period = std::llround(o.clickPeriod * 1e9);
        const std::int64_t now = wallClockNanoseconds();
        std::this_thread::sleep_for(std::chrono::nanoseconds(period - now % period));
    }

    std::signal(SIGINT, onInterrupt);
    std::signal(SIGTERM, onInterrupt);
    HostEditor editor;
    if (o.editor && !editor.start(pluginHost, effect, o, &error)) {
        std::fprintf(stderr, "larkwire-host: editor: %s\n", error.c_str());
        return 1;
    }
    std::size_t nextMidi = 0;
    BlockEvents blockEvents;
    std::int64_t lateBlocks = 0;
    double worstLateMs = 0;
    std::int64_t blocksRun = 0;
    auto start = std::chrono::steady_clock::now();
    const std::int64_t startWall = wallClockNanoseconds();
    const int watched = std::min(o.channels >= 0 ? o.channels : outputs, outputs);
    WatchSettings watchSettings;
    watchSettings.rate = rate;
    watchSettings.toneHz = o.expectToneHz;
    watchSettings.peak = peak;
    watchSettings.clickChannel =
        o.expectClicks ? (o.expectToneHz > 0 && watched > 1 ? watched - 1 : 0) : -1;
    watchSettings.toneChannel = watchSettings.clickChannel == 0 ? -1 : 0;
    watchSettings.clickPeriodSeconds = o.clickPeriod;
    watchSettings.startWallNanoseconds = startWall;
    watchSettings.clockScale = clockScale;
    StreamWatch watch(watchSettings);
    // LARKWIRE_HOST_PAUSE="AT:SECONDS": stop processing for a while at AT
    // seconds and go on from then without catching up, as a DAW does around
    // a bypassed track (a benchmark hook).
    double pauseAt = -1, pauseSeconds = 0;
    if (const char* pause = std::getenv("LARKWIRE_HOST_PAUSE"))
        if (std::sscanf(pause, "%lf:%lf", &pauseAt, &pauseSeconds) != 2) pauseAt = -1;
    const std::int64_t pauseBlock = pauseAt >= 0 ? std::llround(pauseAt * rate / block) : -1;
    for (std::int64_t b = 0; b - waitedBlocks < totalBlocks && !stopRequested; ++b) {
        if (b == pauseBlock) {
            const auto pause = std::chrono::nanoseconds(std::llround(pauseSeconds * 1e9));
            std::this_thread::sleep_for(pause);
            start += pause;
        }
        const auto due =
            start + std::chrono::nanoseconds(std::llround(double(b) * block * 1e9 / (rate * clockScale)));
        const auto now = std::chrono::steady_clock::now();
        if (now < due) {
            std::this_thread::sleep_until(due);
        } else if (now - due > std::chrono::milliseconds(2)) {
            ++lateBlocks;
            if (std::getenv("LARKWIRE_HOST_TRACE")) std::fprintf(stderr, "late block %lld by %.1f ms\n", (long long)b, std::chrono::duration<double, std::milli>(now - due).count());
            worstLateMs = std::max(worstLateMs, std::chrono::duration<double, std::milli>(now - due).count());
        }

        const std::int64_t first = b * block;
        for (int ch = 0; ch < inputs; ++ch) {
            float* c = in[std::size_t(ch)].data();
            for (int j = 0; j < block; ++j) {
                const std::int64_t n = first + j;
                float v = 0;
                if (!file.samples.empty()) {
                    const int source = file.channels == 1 ? 0 : ch;
                    if (source < file.channels && n < file.frames)
                        v = file.samples[std::size_t(n * file.channels + source)];
                } else if (o.clicks && (o.toneHz <= 0 || ch == clickChannel)) {
                    v = o.clockPpm == 0 ? clickSample(peak, clickPeriod, n)
                                        : clickSampleAt(peak, o.clickPeriod * rate * clockScale, n);
                } else if (o.toneHz > 0) {
                    v = toneSample(toneFrequencyOfChannel(o.toneHz, ch), peak, rate, n);
                }
                c[j] = v;
            }
        }

        blockEvents.events.clear();
        while (nextMidi < o.midi.size()) {
            const BlockPosition at = positionOf(o.midi[nextMidi], rate, block);
            if (at.block > b) break;
            vst2::VstMidiEvent event{};
            event.type = vst2::kVstMidiType;
            event.byteSize = vst2::int32(sizeof(vst2::VstMidiEvent) - 8);
            event.deltaFrames = at.block == b ? at.deltaFrames : 0;
            std::memcpy(event.midiData, o.midi[nextMidi].bytes, 3);
            blockEvents.events.push_back(event);
            if (!o.quiet)
                std::printf("midi sent:         block %lld  delta %d  %02x %02x %02x\n", (long long)b,
                            int(event.deltaFrames), o.midi[nextMidi].bytes[0],
                            o.midi[nextMidi].bytes[1], o.midi[nextMidi].bytes[2]);
            ++nextMidi;
        }
        if (vst2::VstEvents* list = blockEvents.build())
            pluginHost.dispatch(effect, vst2::effProcessEvents, 0, 0, list);

        pluginHost.setBlockIndex(b);
        effect->processReplacing(effect, inPointers.data(), outPointers.data(), block);
        ++blocksRun;
        if (o.mode == Options::Mode::receive) watch.add(outPointers.data(), outputs, block);
        if (waitedBlocks == b && waitedBlocks < waitBlocks && pluginHost.receivedMidi().empty() &&
            std::all_of(out.begin(), out.end(), [&](const std::vector<float>& c) {
                return std::all_of(c.begin(), c.end(), [](float v) { return v == 0.0f; });
            }))
            ++waitedBlocks;

        if (!o.outputFile.empty()) writer.writePlanar(outPointers.data(), block);
        if (keptFrom < 0 && waitedBlocks <= b) keptFrom = first;
        if (keptFrom >= 0 && first - keptFrom < keptFrames) {
            const int take = int(std::min<std::int64_t>(block, keptFrames - (first - keptFrom)));
            for (int ch = 0; ch < outputs; ++ch)
                kept[std::size_t(ch)].insert(kept[std::size_t(ch)].end(), out[std::size_t(ch)].begin(),
                                             out[std::size_t(ch)].begin() + take);
        }
    }

    if (o.editor) {
        for (int i = 0; i < int(o.editorLinger * 100) && !stopRequested; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const int errors = editor.stop();
        printState(pluginHost, effect, "after editor:  ");
        if (errors != 0) std::printf("editor:            %d X errors on the host's connection\n", errors);
    }
    pluginHost.dispatch(effect, vst2::effMainsChanged, 0, 0);
    std::vector<ReceivedEvent> received;
    for (const host::ReceivedMidi& m : pluginHost.receivedMidi())
        received.push_back({m.block, m.deltaFrames,
                            {std::uint8_t(m.data[0]), std::uint8_t(m.data[1]), std::uint8_t(m.data[2])}});
    pluginHost.closeInstance(effect);
    pluginHost.unload();

    bool outputComplete = true;
    if (!o.outputFile.empty() && !writer.close(&error)) {
        std::fprintf(stderr, "larkwire-host: %s: %s\n", o.outputFile.c_str(), error.c_str());
        outputComplete = false;
    }

    // The report.
    bool checksHold = true;
    if (!o.quiet)
        for (const ReceivedEvent& e : received)
            std::printf("midi received:     block %lld  delta %d  %02x %02x %02x\n", (long long)e.block,
                        int(e.deltaFrames), e.bytes[0], e.bytes[1], e.bytes[2]);
    const std::int64_t frames = blocksRun * block;
    std::printf("frames:            %lld\n", (long long)frames);
    std::printf("blocks:            %lld\n", (long long)blocksRun);
    if (lateBlocks > 0)
        std::printf("pacing:            %lld blocks late, worst %.1f ms\n", (long long)lateBlocks, worstLateMs);
    std::int64_t firstHeard = -1;
    float loudest = 0;
    for (const auto& c : kept) {
        const std::int64_t f = firstNonSilent(c);
        if (f >= 0 && (firstHeard < 0 || keptFrom + f < firstHeard)) firstHeard = keptFrom + f;
        loudest = std::max(loudest, peakOf(c));
    }
    if (firstHeard >= 0)
        std::printf("first non-silent:  frame %lld (block %lld, %.1f ms)\n", (long long)firstHeard,
                    (long long)(firstHeard / block), double(firstHeard) * 1000 / rate);
    else
        std::printf("first non-silent:  none\n");
    std::printf("peak:              %.6f (%.2f dBFS)\n", double(loudest),
                loudest > 0 ? 20 * std::log10(double(loudest)) : -INFINITY);
    if (firstHeard >= 0) {
        const ToneMeasure m = measureTone(kept[0], rate);
        if (m.measured)
            std::printf("channel 0 tone:    %.2f Hz, %.2f dBFS\n", m.frequency, m.levelDb);
    }
    std::printf("midi received:     %zu events\n", received.size());

    if (o.mode == Options::Mode::receive) {
        const int checked = std::min(o.channels >= 0 ? o.channels : outputs, outputs);
        std::vector<std::int64_t> resumes;  // output frames where the tone went on after a gap
        if (o.expectToneHz > 0) {
            bool exact = checked > 0;
            std::int64_t compared = 0;
            int dropouts = 0, skips = 0;
            std::string problem;
            for (int ch = 0; ch < checked; ++ch) {
                if (o.expectClicks && ch == checked - 1 && checked > 1) break;
                const ToneCheck t = checkTone(kept[std::size_t(ch)],
                                              toneFrequencyOfChannel(o.expectToneHz, ch), peak, rate);
                compared += t.comparedFrames;
                for (const std::int64_t frame : t.resumes) resumes.push_back(keptFrom + frame);
                dropouts = std::max(dropouts, t.dropouts);
                skips = std::max(skips, t.skips);
                if (!t.exact && problem.empty()) {
                    char text[200];
                    if (!t.received)
                        std::snprintf(text, sizeof text, "channel %d received nothing", ch);
                    else
                        std::snprintf(text, sizeof text, "channel %d differs at frame %lld: %.9g, expected %.9g",
                                      ch, (long long)t.mismatchFrame, double(t.got), double(t.expected));
                    problem = text;
                }
                exact = exact && t.exact;
            }
            if (exact)
                std::printf("bit-exact:         yes (%d channels, %lld samples compared, %d dropouts, %d skips)\n",
                            o.expectClicks && checked > 1 ? checked - 1 : checked, (long long)compared, dropouts,
                            skips);
            else
                std::printf("bit-exact:         no (%s)\n", problem.c_str());
            checksHold = checksHold && exact;
        }
        if (o.expectClicks) {
            const int channel = o.expectToneHz > 0 && checked > 1 ? checked - 1 : 0;
            const std::vector<std::int64_t> clicks = findClicks(kept[std::size_t(channel)], rate);
            const Latency l = clickLatency(
                clicks, startWall + std::llround(double(std::max<std::int64_t>(keptFrom, 0)) * 1e9 / rate),
                rate, o.clickPeriod);
            if (l.clicks > 0)
                std::printf("latency:           %.2f blocks, %.1f ms (min %.1f, max %.1f ms, %d clicks)\n",
                            l.meanMs * rate / 1000 / block, l.meanMs, l.minMs, l.maxMs, l.clicks);
            else
                std::printf("latency:           no clicks arrived\n");
            checksHold = checksHold && l.clicks > 0;
        }
        if (o.haveExpectMidi) {
            const MidiCheck m = checkMidi(o.expectMidi, received, rate, block, resumes);
            char gap[64] = "";
            if (m.afterGap > 0)
                std::snprintf(gap, sizeof gap, ", %d first thing after a dropout", m.afterGap);
            std::printf("midi check:        %d of %d arrived, %d at the right offset%s%s%s\n", m.arrived,
                        m.expected, m.rightOffset, gap, m.firstProblem.empty() ? "" : "; ",
                        m.firstProblem.c_str());
            checksHold = checksHold && m.arrived == m.expected &&
                         m.rightOffset + m.afterGap == m.expected;
        }
        printStreamReport(watch, o, rate, block);
        if (o.expectNothing) {
            const bool nothing = firstHeard < 0 && received.empty();
            std::printf("nothing arrived:   %s\n", yesNo(nothing));
            checksHold = checksHold && nothing;
        }
    }
    std::fflush(stdout);
    if (!outputComplete) return 1;
    return checksHold ? 0 : 4;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    switch (parseOptions(argc, argv, &options, &error)) {
        case ParseResult::help:
            std::fputs(helpText(), stdout);
            return 0;
        case ParseResult::error:
            std::fprintf(stderr, "larkwire-host: %s\n", error.c_str());
            return 2;
        case ParseResult::run:
            break;
    }
    try {
        return run(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "larkwire-host: %s\n", e.what());
        return 1;
    }
}
