// The fuzz targets, shared by the libFuzzer binaries and the corpus replay
// test. Each takes one input that the caller has copied into a heap block of
// exactly its size, and aborts when a property of the code under test breaks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace larkwire::fuzz {

using Target = int (*)(const std::uint8_t* data, std::size_t size);

int acceptDatagramTarget(const std::uint8_t* data, std::size_t size);
int playoutTarget(const std::uint8_t* data, std::size_t size);
int midiDeliveryTarget(const std::uint8_t* data, std::size_t size);
int setChunkTarget(const std::uint8_t* data, std::size_t size);
int recentDestinationsTarget(const std::uint8_t* data, std::size_t size);

struct NamedTarget {
    const char* name;  // also the corpus folder under fuzz/corpus/
    Target run;
};

inline constexpr NamedTarget kTargets[] = {
    {"accept_datagram", &acceptDatagramTarget},
    {"playout", &playoutTarget},
    {"midi_delivery", &midiDeliveryTarget},
    {"set_chunk", &setChunkTarget},
    {"recent_destinations", &recentDestinationsTarget},
};

// Copies the input into a block of exactly its size, so any read past the
// end lands outside the allocation, then runs the target on the copy.
int runOnExactCopy(Target target, const std::uint8_t* data, std::size_t size);

}  // namespace larkwire::fuzz
