// Shows what a DAW sees when it loads a plug-in: identity, pins, names,
// capabilities and the default saved state.
#include <cstdio>
#include <cstring>
#include <string>

#include "tools/host/plugin_host.h"

using namespace larkwire;

namespace {

std::string fourCharacters(vst2::int32 value) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) text.push_back(char((value >> shift) & 0xFF));
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s PLUGIN\n", argv[0]);
        return 2;
    }
    host::PluginHost pluginHost;
    std::string error;
    if (!pluginHost.load(argv[1], &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    vst2::AEffect* effect = pluginHost.createInstance();
    if (effect == nullptr) {
        std::fprintf(stderr, "the entry point returned no instance\n");
        return 1;
    }
    char text[256] = {};
    std::printf("module        %s (%d-bit)\n", argv[1], int(sizeof(void*) * 8));
    std::printf("magic         '%s'\n", fourCharacters(effect->magic).c_str());
    std::printf("uniqueID      '%s'\n", fourCharacters(effect->uniqueID).c_str());
    std::printf("version       %d\n", int(effect->version));
    std::printf("flags         0x%X\n", unsigned(effect->flags));
    std::printf("pins          %d in, %d out\n", int(effect->numInputs), int(effect->numOutputs));
    std::printf("programs      %d, parameters %d\n", int(effect->numPrograms), int(effect->numParams));
    // The identity every host reads, with each answer, as a scanner sees it.
    long answer = long(pluginHost.dispatch(effect, vst2::effGetEffectName, 0, 0, text));
    std::printf("effect name   \"%s\" (answer %ld)\n", text, answer);
    std::memset(text, 0, sizeof text);
    answer = long(pluginHost.dispatch(effect, vst2::effGetProductString, 0, 0, text));
    std::printf("product       \"%s\" (answer %ld)\n", text, answer);
    std::memset(text, 0, sizeof text);
    answer = long(pluginHost.dispatch(effect, vst2::effGetVendorString, 0, 0, text));
    std::printf("vendor        \"%s\" (answer %ld)\n", text, answer);
    std::printf("vst version   %ld\n", long(pluginHost.dispatch(effect, vst2::effGetVstVersion)));
    std::printf("category      %ld\n", long(pluginHost.dispatch(effect, vst2::effGetPlugCategory)));
    for (const char* capability : {"receiveVstEvents", "receiveVstMidiEvent", "sendVstMidiEvent"})
        std::printf("canDo %-19s %ld\n", capability,
                    long(pluginHost.dispatch(effect, vst2::effCanDo, 0, 0,
                                             const_cast<char*>(capability))));
    void* chunk = nullptr;
    const vst2::intptr size = pluginHost.dispatch(effect, vst2::effGetChunk, 0, 0, &chunk);
    std::printf("chunk         %ld bytes:", long(size));
    for (vst2::intptr i = 0; i < size && chunk != nullptr; ++i) {
        if (i % 32 == 0) std::printf("\n             ");
        std::printf(" %02x", static_cast<unsigned char*>(chunk)[i]);
    }
    std::printf("\n");
    pluginHost.closeInstance(effect);
    return 0;
}
