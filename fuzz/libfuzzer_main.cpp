// The libFuzzer entry for one target, chosen when this file is compiled.
#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return larkwire::fuzz::runOnExactCopy(&larkwire::fuzz::LARKWIRE_FUZZ_ENTRY, data, size);
}
