// The chunk reader with any length, a length that disagrees with the bytes,
// and a null pointer; then the writer must give a whole chunk that loads
// back into a fresh instance unchanged.
#include "fuzz/fuzz_targets.h"
#include "fuzz/harness.h"
#include "shell/dispatcher.h"
#include "shell/stream_effect.h"
#include "shell/teardown.h"

namespace larkwire::fuzz {

namespace {

struct Instance {
    Instance() : effect(createStreamEffect(nullptr)) { LARKWIRE_FUZZ_CHECK(effect != nullptr); }
    ~Instance() { destroyStreamEffect(effect); }
    vst2::intptr call(vst2::int32 opcode, vst2::intptr value, void* ptr) {
        return dispatcher(&effect->effect, opcode, 0, value, ptr, 0.0f);
    }
    StreamEffect* effect;
};

}  // namespace

int setChunkTarget(const std::uint8_t* data, std::size_t size) {
    Instance loaded;
    const std::uint8_t mode = size > 0 ? data[0] % 4 : 0;
    vst2::intptr result = 0;
    if (mode == 0) {
        result = loaded.call(vst2::effSetChunk, vst2::intptr(size), const_cast<std::uint8_t*>(data));
    } else if (mode == 1) {
        // A null pointer with whatever count the host claims.
        std::int64_t claimed = 0;
        std::memcpy(&claimed, data + 1, size - 1 < 8 ? size - 1 : 8);
        result = loaded.call(vst2::effSetChunk, vst2::intptr(claimed), nullptr);
    } else if (mode == 2) {
        // A count below the bytes given, possibly negative.
        std::int32_t claimed = 0;
        std::memcpy(&claimed, data + 1, size - 1 < 4 ? size - 1 : 4);
        if (claimed > std::int64_t(size)) claimed = std::int32_t(size);
        result = loaded.call(vst2::effSetChunk, claimed, const_cast<std::uint8_t*>(data));
    } else {
        // Loaded twice: the second load sees the state of the first.
        loaded.call(vst2::effSetChunk, vst2::intptr(size), const_cast<std::uint8_t*>(data));
        result = loaded.call(vst2::effSetChunk, vst2::intptr(size / 2), const_cast<std::uint8_t*>(data));
    }
    LARKWIRE_FUZZ_CHECK(result == 1);
    LARKWIRE_FUZZ_CHECK(loaded.effect->identifier[31] == '\0');
    LARKWIRE_FUZZ_CHECK(loaded.effect->changedMask.load() == 0xFFFFFFFFu);

    void* chunk = nullptr;
    const vst2::intptr length = loaded.call(vst2::effGetChunk, 0, &chunk);
    LARKWIRE_FUZZ_CHECK(length == 172 && chunk != nullptr);
    std::uint8_t saved[172];
    std::memcpy(saved, chunk, sizeof saved);

    Instance fresh;
    LARKWIRE_FUZZ_CHECK(fresh.call(vst2::effSetChunk, 172, saved) == 1);
    void* again = nullptr;
    LARKWIRE_FUZZ_CHECK(fresh.call(vst2::effGetChunk, 0, &again) == 172 && again != nullptr);
    LARKWIRE_FUZZ_CHECK(std::memcmp(again, saved, sizeof saved) == 0);
    return 0;
}

}  // namespace larkwire::fuzz
