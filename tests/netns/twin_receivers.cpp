// Two receivers of one stream in one host process, as two tracks of a DAW
// with the same stream name: loads the built module, runs both instances in
// real time and checks that each one got the whole test tone, bit for bit,
// and every MIDI event.
//   twin_receivers MODULE ID SECONDS TONE_HZ LEVEL_DB MIDI_LIST
// Exit 0 when both hold, 4 when a check fails, 1 on a set-up failure.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tools/cli_host/analysis.h"
#include "tools/cli_host/signals.h"
#include "tools/host/plugin_host.h"

using namespace larkwire;
using namespace larkwire::cli;

namespace {

constexpr int kChunkBytes = 172;
constexpr int kIdentifierAt = 12;
constexpr double kRate = 48000;
constexpr int kBlock = 512;

bool setUp(host::PluginHost& pluginHost, vst2::AEffect* effect, const std::string& id) {
    if (effect == nullptr || effect->processReplacing == nullptr || effect->numOutputs < 2) return false;
    pluginHost.dispatch(effect, vst2::effOpen);
    void* current = nullptr;
    if (pluginHost.dispatch(effect, vst2::effGetChunk, 0, 0, &current) != kChunkBytes || current == nullptr)
        return false;
    std::vector<std::uint8_t> chunk(static_cast<const std::uint8_t*>(current),
                                    static_cast<const std::uint8_t*>(current) + kChunkBytes);
    chunk[0] = chunk[1] = chunk[2] = chunk[3] = 0;  // receive
    std::memset(&chunk[kIdentifierAt], 0, 32);
    std::memcpy(&chunk[kIdentifierAt], id.data(), std::min<size_t>(id.size(), 31));
    pluginHost.dispatch(effect, vst2::effSetChunk, 0, kChunkBytes, chunk.data());
    pluginHost.dispatch(effect, vst2::effSetSampleRate, 0, 0, nullptr, float(kRate));
    pluginHost.dispatch(effect, vst2::effSetBlockSize, 0, kBlock);
    pluginHost.dispatch(effect, vst2::effMainsChanged, 0, 1);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: twin_receivers MODULE ID SECONDS TONE_HZ LEVEL_DB MIDI_LIST\n");
        return 1;
    }
    const std::string id = argv[2];
    const double seconds = std::atof(argv[3]), toneHz = std::atof(argv[4]);
    const double peak = gainOfDecibels(std::atof(argv[5]));
    std::vector<MidiNote> sentMidi;
    std::string error;
    if (!parseMidiList(argv[6], &sentMidi, &error)) {
        std::fprintf(stderr, "twin_receivers: %s\n", error.c_str());
        return 1;
    }
    host::PluginHost pluginHost;
    if (!pluginHost.load(argv[1], &error)) {
        std::fprintf(stderr, "twin_receivers: %s\n", error.c_str());
        return 1;
    }
    vst2::AEffect* twins[2] = {pluginHost.createInstance(), pluginHost.createInstance()};
    for (vst2::AEffect* effect : twins)
        if (!setUp(pluginHost, effect, id)) {
            std::fprintf(stderr, "twin_receivers: no usable instance\n");
            return 1;
        }

    const int channels = twins[0]->numOutputs;
    std::vector<float> silence(size_t(kBlock), 0.0f);
    std::vector<float*> inputs(size_t(channels), silence.data());
    std::vector<std::vector<float>> kept[2];
    std::vector<std::vector<float>> out(static_cast<size_t>(channels), std::vector<float>(kBlock));
    std::vector<float*> outputs;
    for (auto& c : out) outputs.push_back(c.data());
    for (auto& k : kept) k.resize(2);

    const std::int64_t blocks = std::int64_t(seconds * kRate / kBlock);
    const auto start = std::chrono::steady_clock::now();
    for (std::int64_t b = 0; b < blocks; ++b) {
        std::this_thread::sleep_until(start + std::chrono::nanoseconds(std::llround(double(b) * kBlock * 1e9 / kRate)));
        pluginHost.setBlockIndex(b);
        for (int t = 0; t < 2; ++t) {
            twins[t]->processReplacing(twins[t], inputs.data(), outputs.data(), kBlock);
            for (int ch = 0; ch < 2; ++ch)
                kept[t][size_t(ch)].insert(kept[t][size_t(ch)].end(), out[size_t(ch)].begin(),
                                           out[size_t(ch)].end());
        }
    }

    bool hold = true;
    for (int t = 0; t < 2; ++t) {
        std::vector<ReceivedEvent> received;
        for (const host::ReceivedMidi& m : pluginHost.receivedMidi())
            if (m.effect == twins[t])
                received.push_back({m.block, m.deltaFrames,
                                    {std::uint8_t(m.data[0]), std::uint8_t(m.data[1]), std::uint8_t(m.data[2])}});
        for (int ch = 0; ch < 2; ++ch) {
            const ToneCheck c = checkTone(kept[t][size_t(ch)], toneFrequencyOfChannel(toneHz, ch), peak, kRate);
            const bool whole = c.exact && c.dropouts == 0 && c.skips == 0;
            std::printf("receiver %d channel %d: %s (%lld samples compared from frame %lld, %d dropouts, %d skips)\n",
                        t, ch, whole ? "bit-exact" : "NOT bit-exact", (long long)c.comparedFrames,
                        (long long)c.firstFrame, c.dropouts, c.skips);
            hold = hold && whole;
        }
        const MidiCheck m = checkMidi(sentMidi, received, kRate, kBlock);
        std::printf("receiver %d midi: %d of %d arrived, %d at the right offset%s%s\n", t, m.arrived, m.expected,
                    m.rightOffset, m.firstProblem.empty() ? "" : "; ", m.firstProblem.c_str());
        hold = hold && m.arrived == m.expected && m.rightOffset == m.expected;
    }
    std::printf("same-name receivers: %s\n", hold ? "both whole" : "FAILED");
    for (vst2::AEffect* effect : twins) pluginHost.dispatch(effect, vst2::effMainsChanged, 0, 0);
    pluginHost.unload();
    return hold ? 0 : 4;
}
