#include "tools/host/plugin_host.h"

#include <cstring>

#include "platform/library.h"

namespace larkwire::host {

namespace {
PluginHost* activeHost = nullptr;
}

PluginHost::~PluginHost() { unload(); }

PluginHost* PluginHost::current() { return activeHost; }

bool PluginHost::load(const std::string& path, std::string* error) {
    library_ = platform::loadLibrary(path.c_str());
    if (library_ == nullptr) {
        if (error != nullptr) *error = std::string("cannot load ") + path + ": " + platform::libraryError();
        return false;
    }
    void* symbol = platform::findSymbol(library_, "VSTPluginMain");
    if (symbol == nullptr) symbol = platform::findSymbol(library_, "main");
    if (symbol == nullptr) {
        if (error != nullptr) *error = path + " exports neither VSTPluginMain nor main";
        return false;
    }
    entry_ = reinterpret_cast<vst2::EntryProc>(symbol);
    activeHost = this;
    return true;
}

vst2::AEffect* PluginHost::createInstance() {
    if (entry_ == nullptr) return nullptr;
    activeHost = this;
    vst2::AEffect* effect = entry_(&PluginHost::callback);
    if (effect != nullptr) instances_.push_back(effect);
    return effect;
}

void PluginHost::closeInstance(vst2::AEffect* effect) {
    if (effect == nullptr) return;
    for (auto it = instances_.begin(); it != instances_.end(); ++it) {
        if (*it == effect) {
            instances_.erase(it);
            break;
        }
    }
    effect->dispatcher(effect, vst2::effClose, 0, 0, nullptr, 0.0f);
}

void PluginHost::unload() {
    while (!instances_.empty()) closeInstance(instances_.back());
    if (library_ != nullptr) platform::unloadLibrary(library_);
    library_ = nullptr;
    entry_ = nullptr;
    if (activeHost == this) activeHost = nullptr;
}

vst2::intptr PluginHost::dispatch(vst2::AEffect* effect, vst2::int32 opcode, vst2::int32 index,
                                  vst2::intptr value, void* ptr, float opt) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

vst2::intptr VST_CALLBACK PluginHost::callback(vst2::AEffect* effect, vst2::int32 opcode, vst2::int32,
                                               vst2::intptr, void* ptr, float) {
    PluginHost* host = activeHost;
    switch (opcode) {
        case vst2::audioMasterVersion:
            return 2400;
        case vst2::audioMasterAutomate:
            if (host != nullptr) ++host->automateCalls_;
            return 0;
        case vst2::audioMasterProcessEvents: {
            if (host == nullptr) return 0;
            ++host->processEventsCalls_;
            const auto* events = static_cast<const vst2::VstEvents*>(ptr);
            if (events == nullptr) return 0;
            for (vst2::int32 i = 0; i < events->numEvents; ++i) {
                const vst2::VstEvent* event = events->events[i];
                if (event == nullptr || event->type != vst2::kVstMidiType) continue;
                const auto* midi = reinterpret_cast<const vst2::VstMidiEvent*>(event);
                ReceivedMidi received{midi->deltaFrames, {}, host->blockIndex_, effect};
                std::memcpy(received.data, midi->midiData, 4);
                host->receivedMidi_.push_back(received);
            }
            return 0;
        }
        default:
            return 0;
    }
}

}  // namespace larkwire::host
