// A minimal VST 2.x host: loads a plug-in binary by path and drives one
// instance through its AEffect, as a DAW does. Used by the tests and tools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/vst2.h"

namespace larkwire::host {

// The events an instance handed back through audioMasterProcessEvents.
struct ReceivedMidi {
    std::int32_t deltaFrames;
    std::uint8_t data[4];
    std::int64_t block;  // index of the processing block it came in
    const vst2::AEffect* effect = nullptr;  // the instance that handed it back
};

class PluginHost {
public:
    PluginHost() = default;
    ~PluginHost();
    PluginHost(const PluginHost&) = delete;
    PluginHost& operator=(const PluginHost&) = delete;

    // Loads the module (VSTPluginMain first, then main). Error text on failure.
    bool load(const std::string& path, std::string* error);
    // Calls the entry point once more; null when it returned null.
    vst2::AEffect* createInstance();
    void closeInstance(vst2::AEffect* effect);
    void unload();

    vst2::intptr dispatch(vst2::AEffect* effect, vst2::int32 opcode, vst2::int32 index = 0,
                          vst2::intptr value = 0, void* ptr = nullptr, float opt = 0.0f);

    std::vector<ReceivedMidi>& receivedMidi() { return receivedMidi_; }
    std::int64_t automateCalls() const { return automateCalls_; }
    std::int64_t processEventsCalls() const { return processEventsCalls_; }
    void setBlockIndex(std::int64_t block) { blockIndex_ = block; }

    static PluginHost* current();

private:
    static vst2::intptr VST_CALLBACK callback(vst2::AEffect* effect, vst2::int32 opcode,
                                              vst2::int32 index, vst2::intptr value, void* ptr,
                                              float opt);

    void* library_ = nullptr;
    vst2::EntryProc entry_ = nullptr;
    std::vector<vst2::AEffect*> instances_;
    std::vector<ReceivedMidi> receivedMidi_;
    std::int64_t automateCalls_ = 0;
    std::int64_t processEventsCalls_ = 0;
    std::int64_t blockIndex_ = 0;
};

}  // namespace larkwire::host
