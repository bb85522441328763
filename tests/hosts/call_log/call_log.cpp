// A stand-in module that loads the real plug-in and writes every call
// between host and plug-in to a file, so what a host asked and what it was
// answered can be read afterwards (see HOST-CALLS.md).
//   LARKWIRE_LOGGED_PLUGIN=/abs/larkwire.so LARKWIRE_CALL_LOG=/abs/calls.log
// Each line starts with the process id: several processes share one log.
// Audio calls and the event lists that come with them are counted, not
// logged: one line per block would drown the rest.
#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "shell/vst2.h"



namespace {

std::mutex logLock;
std::FILE* logFile = nullptr;
vst2::DispatcherProc realDispatcher = nullptr;
vst2::ProcessProc realProcessReplacing = nullptr;
std::atomic<vst2::HostCallback> hostCallback{nullptr};
std::atomic<long> blocks{0};
std::atomic<long> eventLists{0};
std::atomic<long> events{0};
long blocksLogged = 0, eventListsLogged = 0, eventsLogged = 0;

const char* opcodeName(vst2::int32 op) {
    static const char* names[] = {
        "effOpen", "effClose", "effSetProgram", "effGetProgram", "effSetProgramName",
        "effGetProgramName", "effGetParamLabel", "effGetParamDisplay", "effGetParamName", "9",
        "effSetSampleRate", "effSetBlockSize", "effMainsChanged", "effEditGetRect", "effEditOpen",
        "effEditClose", "16", "17", "18", "effEditIdle", "20", "21", "effIdentify", "effGetChunk",
        "effSetChunk", "effProcessEvents", "effCanBeAutomated", "effString2Parameter", "28",
        "effGetProgramNameIndexed", "30", "31", "32", "effGetInputProperties",
        "effGetOutputProperties", "effGetPlugCategory", "36", "37", "effOfflineNotify",
        "effOfflinePrepare", "effOfflineRun", "effProcessVarIo", "effSetSpeakerArrangement", "43",
        "effSetBypass", "effGetEffectName", "46", "effGetVendorString", "effGetProductString",
        "effGetVendorVersion", "effVendorSpecific", "effCanDo", "effGetTailSize", "53", "54", "55",
        "effGetParameterProperties", "effKeysRequired", "effGetVstVersion", "effEditKeyDown",
        "effEditKeyUp", "effSetEditKnobMode", "effGetMidiProgramName", "effGetCurrentMidiProgram",
        "effGetMidiProgramCategory", "effHasMidiProgramsChanged", "effGetMidiKeyName",
        "effBeginSetProgram", "effEndSetProgram", "effGetSpeakerArrangement",
        "effShellGetNextPlugin", "effStartProcess", "effStopProcess", "effSetTotalSampleToProcess",
        "effSetPanLaw", "effBeginLoadBank", "effBeginLoadProgram", "effSetProcessPrecision",
        "effGetNumMidiInputChannels", "effGetNumMidiOutputChannels"};
    static char other[16];
    if (op >= 0 && op < vst2::int32(sizeof names / sizeof names[0])) return names[op];
    std::snprintf(other, sizeof other, "%d", int(op));
    return other;
}

// Instances numbered in the order the module made them, per process.
constexpr int kMaxNumbered = 64;
vst2::AEffect* numbered[kMaxNumbered] = {};
int numberedCount = 0;

int numberOf(const vst2::AEffect* effect) {
    for (int i = 0; i < numberedCount; ++i)
        if (numbered[i] == effect) return i + 1;
    return 0;
}

bool takesText(vst2::int32 op) {
    return op == vst2::effCanDo || op == vst2::effGetEffectName || op == vst2::effGetVendorString ||
           op == vst2::effGetProductString || op == vst2::effGetParamName ||
           op == vst2::effGetParamLabel || op == vst2::effGetParamDisplay;
}

// Blocks and event lists since the last logged call, so the log shows where
// audio ran.
void flushBlocks() {
    const long now = blocks.load(), lists = eventLists.load(), sum = events.load();
    if (now != blocksLogged || lists != eventListsLogged)
        std::fprintf(logFile, "%ld    (%ld blocks, %ld effProcessEvents with %ld events)\n", long(getpid()),
                     now - blocksLogged,
                     lists - eventListsLogged, sum - eventsLogged);
    blocksLogged = now;
    eventListsLogged = lists;
    eventsLogged = sum;
}

vst2::intptr VST_CALLBACK loggedDispatcher(vst2::AEffect* effect, vst2::int32 op, vst2::int32 index,
                                           vst2::intptr value, void* ptr, float opt) {
    if (op == vst2::effProcessEvents) {
        eventLists.fetch_add(1);
        if (ptr != nullptr) events.fetch_add(static_cast<vst2::VstEvents*>(ptr)->numEvents);
        return realDispatcher(effect, op, index, value, ptr, opt);
    }
    char question[96] = "";
    if (op == vst2::effCanDo && ptr != nullptr)
        std::snprintf(question, sizeof question, " \"%.60s\"", static_cast<const char*>(ptr));
    const vst2::intptr result = realDispatcher(effect, op, index, value, ptr, opt);
    std::lock_guard<std::mutex> guard(logLock);
    if (logFile == nullptr) return result;
    flushBlocks();
    const int number = numberOf(effect);
    // A freed record's address may come back for the next instance.
    if (op == vst2::effClose && number > 0) numbered[number - 1] = nullptr;
    std::fprintf(logFile, "%ld #%d -> %s index %d value %ld opt %g%s = %ld", long(getpid()), number,
                 opcodeName(op), int(index),
                 long(value), double(opt), question, long(result));
    if (takesText(op) && op != vst2::effCanDo && ptr != nullptr)
        std::fprintf(logFile, " \"%.64s\"", static_cast<const char*>(ptr));
    if (op == vst2::effGetChunk && ptr != nullptr) std::fprintf(logFile, " (%ld bytes)", long(result));
    std::fprintf(logFile, "\n");
    std::fflush(logFile);
    return result;
}

void VST_CALLBACK loggedProcessReplacing(vst2::AEffect* effect, float** in, float** out, vst2::int32 n) {
    blocks.fetch_add(1);
    realProcessReplacing(effect, in, out, n);
}

vst2::intptr VST_CALLBACK loggedHostCallback(vst2::AEffect* effect, vst2::int32 op, vst2::int32 index,
                                             vst2::intptr value, void* ptr, float opt) {
    vst2::HostCallback host = hostCallback.load();
    const vst2::intptr result = host != nullptr ? host(effect, op, index, value, ptr, opt) : 0;
    // MIDI deliveries come with every received block: counted with the blocks.
    if (op == vst2::audioMasterProcessEvents) return result;
    std::lock_guard<std::mutex> guard(logLock);
    if (logFile == nullptr) return result;
    flushBlocks();
    std::fprintf(logFile, "%ld #%d <- host opcode %d index %d value %ld = %ld\n", long(getpid()),
                 numberOf(effect), int(op), int(index), long(value), long(result));
    std::fflush(logFile);
    return result;
}

vst2::EntryProc realEntry() {
    static vst2::EntryProc entry = [] {
        const char* path = std::getenv("LARKWIRE_LOGGED_PLUGIN");
        void* module = path != nullptr ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
        void* symbol = module != nullptr ? dlsym(module, "VSTPluginMain") : nullptr;
        return reinterpret_cast<vst2::EntryProc>(symbol);
    }();
    return entry;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) vst2::AEffect* VSTPluginMain(vst2::HostCallback host) {
    vst2::EntryProc entry = realEntry();
    if (entry == nullptr) return nullptr;
    hostCallback.store(host);
    vst2::AEffect* effect = entry(&loggedHostCallback);
    std::lock_guard<std::mutex> guard(logLock);
    if (logFile == nullptr) {
        const char* path = std::getenv("LARKWIRE_CALL_LOG");
        logFile = path != nullptr ? std::fopen(path, "a") : nullptr;
    }
    if (effect == nullptr) return nullptr;
    realDispatcher = effect->dispatcher;
    realProcessReplacing = effect->processReplacing;
    effect->dispatcher = &loggedDispatcher;
    effect->processReplacing = &loggedProcessReplacing;
    if (numberedCount < kMaxNumbered) numbered[numberedCount++] = effect;
    if (logFile != nullptr) {
        std::fprintf(logFile, "%ld #%d == made: %d in, %d out, flags 0x%x, version %d\n",
                     long(getpid()), numberOf(effect), int(effect->numInputs), int(effect->numOutputs),
                     unsigned(effect->flags), int(effect->version));
        std::fflush(logFile);
    }
    return effect;
}

extern "C" __attribute__((visibility("default"))) vst2::AEffect* loggedMain(vst2::HostCallback host)
    __asm__("main");
extern "C" vst2::AEffect* loggedMain(vst2::HostCallback host) { return VSTPluginMain(host); }
