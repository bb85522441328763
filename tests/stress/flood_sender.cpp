// The sending side of the flood test, run in another namespace: one instance
// in send mode streams a ramp to the receiver in real time (the good stream),
// while a second thread floods the same port as fast as it can with hostile
// and foreign datagrams.
//   flood_sender ADDRESS SECONDS GOOD_IDENTIFIER [noflood]
//   flood_sender ADDRESS SECONDS - foreign=RATE
//       no good stream: valid audio of 48 other streams (2, 8 and 64
//       channels in turn) at RATE datagrams per second, for SECONDS
#include <chrono>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "shell/dispatcher.h"
#include "shell/instance_settings.h"
#include "shell/stream_effect.h"
#include "shell/teardown.h"
#include "stream/packet_format.h"
#include "stream/process_calls.h"

using namespace larkwire;

namespace {

constexpr int kFrames = 512;
constexpr double kRate = 44100.0;
std::atomic<bool> stop{false};

void putId(std::vector<std::uint8_t>& d, const char* id) {
    std::memset(d.data() + 8, 0, 32);
    std::strncpy(reinterpret_cast<char*>(d.data() + 8), id, 31);
}

// One flood datagram of a randomly chosen hostile or foreign kind.
std::vector<std::uint8_t> floodDatagram(std::mt19937& rng, const char* good, int* kind) {
    std::uniform_int_distribution<int> byte(0, 255);
    *kind = int(rng() % 6);
    std::vector<std::uint8_t> d;
    switch (*kind) {
        case 0: {  // random bytes
            d.resize(1 + rng() % 1500);
            for (auto& b : d) b = std::uint8_t(byte(rng));
            break;
        }
        case 1: {  // a valid magic with a broken length field
            static const std::int32_t lengths[] = {0, -1, -5, 7, 8, 0x7FFFFFFF, INT32_MIN, 100000, 65536, 1247};
            d.resize(8 + rng() % 1500);
            for (auto& b : d) b = std::uint8_t(byte(rng));
            wire::writeU32(d.data(), rng() % 2 ? wire::kAudioMagic : wire::kMidiMagic);
            std::int32_t length = lengths[rng() % 10];
            if (rng() % 3 == 0) length = std::int32_t(d.size()) + (rng() % 2 ? 1 : -1);
            wire::writeU32(d.data() + 4, std::uint32_t(length));
            if (d.size() >= 40) putId(d, "other");
            break;
        }
        case 2:    // valid audio of other streams, up to 64 channels
        case 3: {
            const int channels = *kind == 2 ? 1 + int(rng() % 8) : 64;
            const int frames = 300 / channels;
            std::vector<float> samples(size_t(channels * frames), 0.25f);
            const float* pointers[64];
            for (int ch = 0; ch < channels; ++ch) pointers[ch] = samples.data() + ch * frames;
            char id[32] = {};
            std::snprintf(id, sizeof id, "other%u", unsigned(rng() % 50));
            d.resize(65535);
            d.resize(size_t(wire::writeAudioPacket(d.data(), id, channels, 48000, frames, pointers)));
            break;
        }
        case 4: {  // MIDI of 4000+ small records, or 2000 whole events, half of them ours
            const bool small = rng() % 2 == 0;
            const int stride = small ? 16 : 32;
            const int count = small ? 4090 : 2040;
            d.assign(size_t(40 + stride * count), 0);
            wire::writeU32(d.data(), wire::kMidiMagic);
            wire::writeU32(d.data() + 4, std::uint32_t(d.size()));
            putId(d, rng() % 2 ? good : "other");
            for (int i = 0; i < count; ++i) {
                std::uint8_t* r = d.data() + 40 + stride * i;
                wire::writeU32(r, 1);
                wire::writeU32(r + 4, std::uint32_t(stride - 8));
                wire::writeU32(r + 8, std::uint32_t(i * 7 - 3000));
                if (!small) r[24] = 0x90;
            }
            break;
        }
        default: {  // records with negative sizes, for our stream
            d.assign(40 + 32 * 8, 0);
            wire::writeU32(d.data(), wire::kMidiMagic);
            wire::writeU32(d.data() + 4, std::uint32_t(d.size()));
            putId(d, good);
            for (int i = 0; i < 8; ++i) {
                wire::writeU32(d.data() + 40 + 32 * i, 1);
                wire::writeU32(d.data() + 44 + 32 * i, std::uint32_t(i == 0 ? 24 : -8 * i));
            }
            break;
        }
    }
    return d;
}

// Valid audio of other streams, paced to rate datagrams per second.
long long floodForeign(const char* address, int seconds, long long rate) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(wire::kStreamPort);
    ::inet_pton(AF_INET, address, &to.sin_addr);
    std::vector<std::vector<std::uint8_t>> pool;
    std::vector<float> samples(300, 0.25f);
    const float* pointers[64];
    const int shapes[3] = {2, 8, 64};
    for (int i = 0; i < 144; ++i) {
        const int channels = shapes[i % 3];
        const int frames = wire::framesPerPacket(channels);
        for (int ch = 0; ch < channels; ++ch) pointers[ch] = samples.data() + ch * frames;
        char id[32] = {};
        std::snprintf(id, sizeof id, "foreign %d", i % 48);
        std::vector<std::uint8_t> d(65535);
        d.resize(size_t(wire::writeAudioPacket(d.data(), id, channels, 48000, frames, pointers)));
        pool.push_back(std::move(d));
    }
    long long sent = 0;
    const auto start = std::chrono::steady_clock::now();
    // Every millisecond, as many as the rate owes by then.
    for (long long tick = 1; tick <= seconds * 1000LL; ++tick) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(tick));
        for (const long long due = rate * tick / 1000; sent < due; ++sent) {
            const auto& d = pool[size_t(sent) % pool.size()];
            ::sendto(fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        }
    }
    ::close(fd);
    return sent;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: flood_sender ADDRESS SECONDS GOOD_IDENTIFIER\n");
        return 2;
    }
    const char* address = argv[1];
    const int seconds = std::atoi(argv[2]);
    const char* good = argv[3];
    const bool flooding = !(argc > 4 && std::strcmp(argv[4], "noflood") == 0);
    if (argc > 4 && std::strncmp(argv[4], "foreign=", 8) == 0) {
        const long long rate = std::atoll(argv[4] + 8);
        const long long sent = floodForeign(address, seconds, rate);
        std::printf("foreign_datagrams=%lld\nforeign_rate_per_s=%lld\n", sent, rate);
        return 0;
    }

    long long floodCount = 0, floodBytes = 0, kinds[6] = {};
    std::thread flood([&] {
        if (!flooding) return;
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(wire::kStreamPort);
        ::inet_pton(AF_INET, address, &to.sin_addr);
        std::mt19937 rng(12345);  // fixed seed: the same flood every run
        std::vector<std::vector<std::uint8_t>> pool;
        std::vector<int> poolKinds;
        for (int i = 0; i < 4096; ++i) {
            int kind = 0;
            pool.push_back(floodDatagram(rng, good, &kind));
            poolKinds.push_back(kind);
        }
        for (size_t i = 0; !stop.load(std::memory_order_relaxed); ++i) {
            const auto& d = pool[i % pool.size()];
            if (::sendto(fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) >= 0) {
                ++floodCount;
                floodBytes += static_cast<long long>(d.size());
                ++kinds[poolKinds[i % pool.size()]];
            }
        }
        ::close(fd);
    });

    StreamEffect* instance = createStreamEffect(nullptr);
    setIdentifier(*instance, good);
    setSendMode(*instance, 1);
    setDestination(*instance, address);
    dispatcher(&instance->effect, vst2::effSetSampleRate, 0, 0, nullptr, float(kRate));
    std::vector<float> in0(kFrames), in1(kFrames, 0.0f), out0(kFrames), out1(kFrames);
    float* ins[2] = {in0.data(), in1.data()};
    float* outs[2] = {out0.data(), out1.data()};
    float value = 0.0f;
    const std::int64_t start = platform::monotonicMilliseconds();
    long long blocks = 0;
    for (;;) {
        const std::int64_t due = start + (blocks * kFrames * 1000) / std::int64_t(kRate);
        if (due - start >= std::int64_t(seconds) * 1000) break;
        const std::int64_t now = platform::monotonicMilliseconds();
        if (due > now) platform::sleepMilliseconds(int(due - now));
        // A ramp that never holds zero, so the receiver can tell silence and gaps.
        for (int j = 0; j < kFrames; ++j) {
            value = value >= 0.999f ? 0.001f : value + 0.001f;
            in0[j] = value;
        }
        processReplacing(&instance->effect, ins, outs, kFrames);
        ++blocks;
    }
    stop.store(true);
    flood.join();
    destroyStreamEffect(instance);
    const double elapsed = double(platform::monotonicMilliseconds() - start) / 1000.0;
    std::printf("good_blocks=%lld\nflood_datagrams=%lld\nflood_rate_per_s=%.0f\nflood_mbit_per_s=%.1f\n",
                blocks, floodCount, floodCount / elapsed, floodBytes * 8.0 / elapsed / 1e6);
    std::printf("flood_kinds=random:%lld,bad_length:%lld,other_streams:%lld,64ch:%lld,big_midi:%lld,negative_sizes:%lld\n",
                kinds[0], kinds[1], kinds[2], kinds[3], kinds[4], kinds[5]);
    return 0;
}
