// Sends a made-up stream for the monitor's namespace test: audio datagrams
// from the plug-in's own writer, MIDI datagrams, and a few broken ones.
//   monitor_test_sender ADDRESS ID CHANNELS RATE FRAMES PER_SECOND SECONDS MIDI_PER_SECOND BROKEN
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/clock.h"
#include "platform/udp.h"
#include "stream/packet_format.h"

using namespace larkwire;

int main(int argc, char** argv) {
    if (argc != 10) {
        std::fprintf(stderr, "usage: %s ADDRESS ID CHANNELS RATE FRAMES PER_SECOND SECONDS "
                             "MIDI_PER_SECOND BROKEN\n", argv[0]);
        return 2;
    }
    const int channels = std::atoi(argv[3]);
    const int rate = std::atoi(argv[4]);
    const int frames = std::atoi(argv[5]);
    const int perSecond = std::atoi(argv[6]);
    const double seconds = std::atof(argv[7]);
    const int midiPerSecond = std::atoi(argv[8]);
    const int broken = std::atoi(argv[9]);
    if (channels < 1 || channels > 64 || frames < 1 || perSecond < 1) return 2;

    platform::startSockets();
    const platform::SocketHandle socket = platform::openDatagramSocket();
    if (socket == platform::kInvalidSocket) return 1;
    platform::setBroadcast(socket, true);
    platform::Ipv4SocketAddress to{};
    to.family = platform::kAddressFamilyIpv4;
    to.portNetworkOrder = platform::hostToNetwork16(wire::kStreamPort);
    to.addressNetworkOrder = platform::parseDottedAddress(argv[1]);

    char identifier[32] = {};
    std::strncpy(identifier, argv[2], 31);
    std::vector<std::vector<float>> samples(size_t(channels), std::vector<float>(size_t(frames), 0.0f));
    const float* pointers[64];
    for (int c = 0; c < channels; ++c) pointers[c] = samples[size_t(c)].data();
    std::vector<std::uint8_t> audio(65535);
    const int audioLength =
        wire::writeAudioPacket(audio.data(), identifier, channels, rate, frames, pointers);
    if (audioLength == 0) return 2;

    // One note-on record laid out as the host's 32-byte MIDI event.
    std::uint8_t midi[72] = {};
    wire::writeU32(midi, wire::kMidiMagic);
    wire::writeU32(midi + 4, sizeof midi);
    std::memcpy(midi + 8, identifier, 32);
    wire::writeU32(midi + 40, 1);
    wire::writeU32(midi + 44, 24);
    midi[64] = 0x90;
    midi[65] = 60;
    midi[66] = 100;

    const int total = int(seconds * perSecond);
    const int midiEvery = midiPerSecond > 0 ? perSecond / midiPerSecond : 0;
    const std::int64_t start = platform::monotonicMilliseconds();
    int failures = 0;
    for (int i = 0; i < total; ++i) {
        const std::int64_t due = start + std::int64_t(i) * 1000 / perSecond;
        const std::int64_t now = platform::monotonicMilliseconds();
        if (due > now) platform::sleepMilliseconds(int(due - now));
        failures += platform::sendDatagram(socket, audio.data(), audioLength, to);
        if (midiEvery > 0 && i % midiEvery == 0)
            failures += platform::sendDatagram(socket, midi, sizeof midi, to);
        if (i < broken)  // the length field claims one byte more than is sent
            failures += platform::sendDatagram(socket, midi, sizeof midi - 1, to);
    }
    platform::shutdownAndClose(socket);
    if (failures > 0) std::fprintf(stderr, "%d sends failed\n", failures);
    return failures > 0 ? 1 : 0;
}
