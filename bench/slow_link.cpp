// One send-mode instance of the built module, driven as a host's audio thread
// drives it (512-frame blocks at 48 kHz, paced in real time), timing every
// processing call. Run by bench/slow_link.sh over a shaped link.
//   larkwire_slow_link PLUGIN DESTINATION SECONDS [CHANNELS]
//   larkwire_slow_link --floor DESTINATION SECONDS [CHANNELS]
//       no plug-in: each call makes the same sendto calls of the same sizes
//       on a plain non-blocking socket set up like ours, with the same
//       100-block back-off after a failed send: what the platform's own
//       sendto costs, beside which the plug-in's figure is read
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/udp.h"
#include "stream/packet_format.h"
#include "tools/host/plugin_host.h"

using namespace larkwire;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kFrames = 512;
constexpr double kRate = 48000;

void writeI32(std::uint8_t* at, std::int32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = std::uint8_t(std::uint32_t(value) >> (8 * i));
}

// The saved state of a sender: mode, channels, enabled, identifier, destination.
std::vector<std::uint8_t> senderChunk(const char* destination, int channels) {
    std::vector<std::uint8_t> chunk(172, 0);
    writeI32(chunk.data(), 1);
    writeI32(chunk.data() + 4, channels);
    writeI32(chunk.data() + 8, 1);
    std::memcpy(chunk.data() + 12, "slow-link", 9);
    std::strncpy(reinterpret_cast<char*>(chunk.data() + 44), destination, 127);
    return chunk;
}

// The send path's socket work without the plug-in.
struct FloorSender {
    platform::SocketHandle handle = platform::kInvalidSocket;
    platform::Ipv4SocketAddress to{};
    int channels = 2;
    int backoff = 0;
    std::vector<std::uint8_t> datagram = std::vector<std::uint8_t>(wire::kMaxDatagram);

    bool open(const char* destination, int channelCount) {
        channels = channelCount;
        platform::startSockets();
        handle = platform::openDatagramSocket();
        if (handle == platform::kInvalidSocket) return false;
        platform::setSocketBufferSizes(handle, 4 * 1024 * 1024);
        platform::setNonBlocking(handle);
        platform::setBroadcast(handle, true);
        to.family = platform::kAddressFamilyIpv4;
        to.portNetworkOrder = platform::hostToNetwork16(wire::kStreamPort);
        to.addressNetworkOrder = platform::parseDottedAddress(destination);
        return true;
    }
    void block(const std::vector<float*>& inputs) {
        if (backoff > 0) {
            --backoff;
            return;
        }
        const int perPacket = wire::framesPerPacket(channels);
        for (int sent = 0; sent < kFrames; sent += perPacket) {
            const int run = std::min(perPacket, kFrames - sent);
            for (int ch = 0; ch < channels; ++ch)
                std::memcpy(datagram.data() + 47 + ch * run * 4, inputs[size_t(ch)] + sent, size_t(run) * 4);
            if (platform::sendDatagram(handle, datagram.data(), 47 + channels * run * 4, to) != 0) {
                backoff = 100;
                return;
            }
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s PLUGIN DESTINATION SECONDS [CHANNELS]\n", argv[0]);
        return 2;
    }
    const double seconds = std::atof(argv[3]);
    const int channels = argc > 4 ? std::atoi(argv[4]) : 2;
    const bool floor = std::strcmp(argv[1], "--floor") == 0;
    // LARKWIRE_SLOW_LINK_HOLD_PORT=1: the stream port is taken first, so the
    // plug-in runs without its receiving thread and only its sends are timed.
    if (const char* hold = std::getenv("LARKWIRE_SLOW_LINK_HOLD_PORT"); hold != nullptr && hold[0] == '1') {
        platform::startSockets();
        platform::Ipv4SocketAddress port{};
        port.family = platform::kAddressFamilyIpv4;
        port.portNetworkOrder = platform::hostToNetwork16(wire::kStreamPort);
        if (platform::bindSocket(platform::openDatagramSocket(), port) != 0) {
            std::fprintf(stderr, "cannot hold the stream port\n");
            return 1;
        }
        std::printf("stream port held: no receiving thread\n");
    }
    FloorSender floorSender;
    host::PluginHost pluginHost;
    std::string error;
    vst2::AEffect* effect = nullptr;
    if (floor) {
        if (!floorSender.open(argv[2], channels)) {
            std::fprintf(stderr, "no socket\n");
            return 1;
        }
        std::printf("floor: plain non-blocking sendto, no plug-in\n");
    } else {
        if (!pluginHost.load(argv[1], &error)) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return 1;
        }
        effect = pluginHost.createInstance();
        if (effect == nullptr || effect->numInputs < channels) {
            std::fprintf(stderr, "no instance with %d inputs\n", channels);
            return 1;
        }
        auto chunk = senderChunk(argv[2], channels);
        pluginHost.dispatch(effect, vst2::effSetChunk, 0, vst2::intptr(chunk.size()), chunk.data());
        pluginHost.dispatch(effect, vst2::effSetSampleRate, 0, 0, nullptr, float(kRate));
        pluginHost.dispatch(effect, vst2::effSetBlockSize, 0, kFrames);
        pluginHost.dispatch(effect, vst2::effMainsChanged, 0, 1);
    }
    const int pins = floor ? channels : effect->numInputs;
    std::vector<std::vector<float>> buffers(static_cast<size_t>(pins), std::vector<float>(kFrames));
    std::vector<float*> pointers;
    for (auto& b : buffers) pointers.push_back(b.data());

    std::vector<double> callMs;
    std::vector<double> callAt;  // seconds into the run
    const auto start = Clock::now();
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kFrames / kRate));
    auto due = start;
    for (std::int64_t block = 0;; ++block) {
        const auto before = Clock::now();
        if (before < due) std::this_thread::sleep_until(due);
        const auto called = Clock::now();
        if (called - start >= std::chrono::duration<double>(seconds)) break;
        for (int ch = 0; ch < pins; ++ch)
            for (int j = 0; j < kFrames; ++j)
                buffers[size_t(ch)][size_t(j)] = float(((block * kFrames + j) % 97) - 48) / 64.0f;
        if (floor) floorSender.block(pointers);
        else effect->processReplacing(effect, pointers.data(), pointers.data(), kFrames);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - called).count();
        callMs.push_back(ms);
        callAt.push_back(std::chrono::duration<double>(called - start).count());
        // A late block is not made up: a host runs the next one when it can.
        due = std::max(due + period, Clock::now());
    }
    if (effect != nullptr) {
        pluginHost.dispatch(effect, vst2::effMainsChanged, 0, 0);
        pluginHost.closeInstance(effect);
        pluginHost.unload();
    } else {
        platform::shutdownAndClose(floorSender.handle);
    }

    if (callMs.empty()) return 1;
    std::vector<double> sorted = callMs;
    std::sort(sorted.begin(), sorted.end());
    const double p99 = sorted[std::min(sorted.size() - 1, size_t(double(sorted.size()) * 0.99))];
    std::size_t over1 = 0, over5 = 0;
    double total = 0;
    for (double ms : callMs) {
        over1 += ms > 1 ? 1 : 0;
        over5 += ms > 5 ? 1 : 0;
        total += ms;
    }
    std::printf("calls %zu  worst %.3f ms  p99 %.3f ms  median %.3f ms  over-1ms %zu  over-5ms %zu  "
                "time-in-calls %.2f s\n",
                callMs.size(), sorted.back(), p99, sorted[sorted.size() / 2], over1, over5, total / 1000);
    std::printf("slowest:");
    std::vector<std::size_t> order(callMs.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return callMs[a] > callMs[b]; });
    for (std::size_t i = 0; i < order.size() && i < 5; ++i)
        std::printf("  %.2f ms at %.2f s", callMs[order[i]], callAt[order[i]]);
    std::printf("\n");
    return 0;
}
