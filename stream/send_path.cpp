#include "stream/send_path.h"

#include <cstring>

#include "net/network_endpoint.h"
#include "shell/stream_effect.h"
#include "stream/midi_stream.h"
#include "stream/packet_format.h"

namespace larkwire {

namespace {
// Shared by all instances; used only while socketLock is held.
std::uint8_t audioSendBuffer[wire::kMaxDatagram];

// The host rate rounded as the wire carries it; a NaN or absurd rate from the
// host must not reach an undefined conversion.
std::int32_t roundedRate(double rate) {
    const double rounded = rate + 0.5;
    if (!(rounded >= 0)) return 0;
    if (rounded >= 2147483647.0) return 2147483647;
    return static_cast<std::int32_t>(rounded);
}

bool networkIsUp() {
    return network::sharedSocket.load() != nullptr && network::socketLock.load() != nullptr &&
           network::packetListLock.load() != nullptr;
}
}  // namespace

std::int32_t aimSharedSocket(const char* destination, std::int32_t port) {
    UdpSocket* socket = network::sharedSocket.load();
    if (socket == nullptr) return 0;
    if (destination[0] == '*') {
        platform::Ipv4SocketAddress broadcast{};
        broadcast.family = platform::kAddressFamilyIpv4;
        broadcast.portNetworkOrder = platform::hostToNetwork16(std::uint16_t(port));
        broadcast.addressNetworkOrder = 0xFFFFFFFFu;
        socket->setDestination(broadcast);
        return wire::kBroadcastEventBytes;
    }
    // Dotted text only: no name lookup on the audio thread.
    if (socket->setDestinationAddress(destination, port) != 0) return 0;
    return wire::kUnicastEventBytes;
}

int sendAudioPacket(int setDestination, const char* destination, std::int32_t port,
                    const char* identifier, std::int32_t channels, std::int32_t rate,
                    std::int32_t frames, const float* const* channelData) {
    if (destination[0] == '\0' || channels <= 0 || frames <= 0 || !networkIsUp()) return 0;
    platform::Lock* lock = network::socketLock.load();
    if (lock == nullptr) return 0;

    if (setDestination == 1) {
        lock->enter();
        if (aimSharedSocket(destination, port) == 0) {
            lock->leave();
            return network::sharedSocket.load() == nullptr ? 0 : 1;
        }
    }
    auto finish = [&](int result) {
        if (setDestination == 1) lock->leave();
        return result;
    };

    const std::int32_t perPacket = wire::framesPerPacket(channels);
    // More channels than a datagram's frame or the run table can take cannot
    // be sent; splitting them would never end.
    if (perPacket < 1 || channels > kMaxChannels) return finish(1);
    if (frames > perPacket) {
        const float* runPointers[kMaxChannels];
        for (std::int32_t sent = 0; sent < frames;) {
            const std::int32_t run = frames - sent < perPacket ? frames - sent : perPacket;
            for (std::int32_t k = 0; k < channels && k < kMaxChannels; ++k)
                runPointers[k] = channelData[k] + sent;
            if (sendAudioPacket(0, destination, port, identifier, channels, rate, run,
                                runPointers) != 0)
                return finish(1);
            sent += run;
        }
        return finish(0);
    }

    const std::int32_t length =
        wire::writeAudioPacket(audioSendBuffer, identifier, channels, rate, frames, channelData);
    if (length == 0) return finish(0);
    UdpSocket* socket = network::sharedSocket.load();
    if (socket == nullptr) return finish(0);
    return finish(socket->send(audioSendBuffer, length));
}

void runSendStep(StreamEffect& instance, const float* const* inputs, std::int32_t frames) {
    if (instance.sendBackoff > 0) {
        --instance.sendBackoff;
        return;
    }
    const std::int32_t wanted = instance.sendChannels.load(std::memory_order_relaxed);
    const std::int32_t channels = wanted < 0 ? 0 : (wanted < channelCount ? wanted : channelCount);

    char destination[kDestinationSize];
    {
        platform::LockGuard guard(instance.destinationLock);
        std::memcpy(destination, instance.destination, sizeof destination);
    }
    destination[kDestinationSize - 1] = '\0';

    if (channels > 0) {
        const std::int32_t rate = roundedRate(instance.sampleRate);
        if (sendAudioPacket(1, destination, wire::kStreamPort, instance.identifier, channels, rate,
                            frames, inputs) != 0)
            instance.sendBackoff = kSendBackoffBlocks;
    }
    vst2::VstEvents* events = instance.pendingEvents.load(std::memory_order_acquire);
    if (events != nullptr && events->numEvents != 0) {
        if (sendMidiPacket(destination, wire::kStreamPort, instance.identifier, events) != 0)
            instance.sendBackoff = kSendBackoffBlocks;
    }
}

}  // namespace larkwire
