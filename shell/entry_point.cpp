// The exported entry point. Windows exports it as "main" through the .def
// file; Linux hosts look up VSTPluginMain first and main second.
#include "shell/stream_effect.h"
#include "shell/teardown.h"

#if defined(__GNUC__) && !defined(_WIN32)
#define LARKWIRE_EXPORT __attribute__((visibility("default")))
#else
#define LARKWIRE_EXPORT
#endif

extern "C" LARKWIRE_EXPORT vst2::AEffect* VST_CALLBACK
VSTPluginMain(vst2::HostCallback hostCallback) {
    try {
        larkwire::StreamEffect* instance = larkwire::createStreamEffect(hostCallback);
        return instance != nullptr ? &instance->effect : nullptr;
    } catch (...) {
        return nullptr;
    }
}

#if !defined(_WIN32)
extern "C" LARKWIRE_EXPORT vst2::AEffect* main_plugin(
    vst2::HostCallback hostCallback) __asm__("main");
extern "C" vst2::AEffect* main_plugin(vst2::HostCallback hostCallback) {
    return VSTPluginMain(hostCallback);
}
#endif
