// The VST 2.x host interface, declared from its published record layouts.
// Every offset and size is pinned below so a wrong declaration cannot build.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define VST_CALLBACK __cdecl
#else
#define VST_CALLBACK
#endif

namespace vst2 {

using intptr = std::intptr_t;
using int32 = std::int32_t;
using int16 = std::int16_t;

struct AEffect;

using HostCallback = intptr(VST_CALLBACK*)(AEffect*, int32 opcode, int32 index, intptr value,
                                           void* ptr, float opt);
using DispatcherProc = intptr(VST_CALLBACK*)(AEffect*, int32 opcode, int32 index, intptr value,
                                             void* ptr, float opt);
using ProcessProc = void(VST_CALLBACK*)(AEffect*, float** inputs, float** outputs,
                                        int32 sampleFrames);
using ProcessDoubleProc = void(VST_CALLBACK*)(AEffect*, double** inputs, double** outputs,
                                              int32 sampleFrames);
using SetParameterProc = void(VST_CALLBACK*)(AEffect*, int32 index, float value);
using GetParameterProc = float(VST_CALLBACK*)(AEffect*, int32 index);
using EntryProc = AEffect*(VST_CALLBACK*)(HostCallback);

struct AEffect {
    int32 magic;
    DispatcherProc dispatcher;
    ProcessProc process;
    SetParameterProc setParameter;
    GetParameterProc getParameter;
    int32 numPrograms;
    int32 numParams;
    int32 numInputs;
    int32 numOutputs;
    int32 flags;
    intptr resvd1;
    intptr resvd2;
    int32 initialDelay;
    int32 realQualities;
    int32 offQualities;
    float ioRatio;
    void* object;
    void* user;
    int32 uniqueID;
    int32 version;
    ProcessProc processReplacing;
    ProcessDoubleProc processDoubleReplacing;
    char future[56];
};

struct VstEvent {
    int32 type;
    int32 byteSize;  // bytes after type and byteSize
    int32 deltaFrames;
    int32 flags;
    char data[16];
};

struct VstMidiEvent {
    int32 type;
    int32 byteSize;
    int32 deltaFrames;
    int32 flags;
    int32 noteLength;
    int32 noteOffset;
    char midiData[4];
    char detune;
    char noteOffVelocity;
    char reserved1;
    char reserved2;
};

struct VstMidiSysexEvent {
    int32 type;
    int32 byteSize;
    int32 deltaFrames;
    int32 flags;
    int32 dumpBytes;
    intptr resvd1;
    char* sysexDump;
    intptr resvd2;
};

struct VstEvents {
    int32 numEvents;
    intptr reserved;
    VstEvent* events[2];  // used with numEvents entries
};

struct ERect {
    int16 top;
    int16 left;
    int16 bottom;
    int16 right;
};

struct VstPinProperties {
    char label[64];
    int32 flags;
    int32 arrangementType;
    char shortLabel[8];
    char future[48];
};

constexpr int32 kEffectMagic = 0x56737450;  // 'VstP'

constexpr int32 effFlagsHasEditor = 1;
constexpr int32 effFlagsCanReplacing = 0x10;
constexpr int32 effFlagsProgramChunks = 0x20;
constexpr int32 effFlagsIsSynth = 0x100;
constexpr int32 effFlagsCanDoubleReplacing = 0x1000;

constexpr int32 kVstMidiType = 1;
constexpr int32 kVstSysExType = 6;
constexpr int32 kPlugCategEffect = 1;
constexpr int32 kVstPinIsActive = 1;
constexpr int32 kVstPinIsStereo = 2;
constexpr int32 kVstPinUseSpeaker = 4;
constexpr int32 kSpeakerArrStereo = 1;

constexpr int32 audioMasterAutomate = 0;
constexpr int32 audioMasterVersion = 1;
constexpr int32 audioMasterGetTime = 7;
constexpr int32 audioMasterProcessEvents = 8;
constexpr int32 audioMasterUpdateDisplay = 42;  // something other than a parameter changed

enum Opcode : int32 {
    effOpen = 0,
    effClose = 1,
    effSetProgram = 2,
    effGetProgram = 3,
    effSetProgramName = 4,
    effGetProgramName = 5,
    effGetParamLabel = 6,
    effGetParamDisplay = 7,
    effGetParamName = 8,
    effSetSampleRate = 10,
    effSetBlockSize = 11,
    effMainsChanged = 12,
    effEditGetRect = 13,
    effEditOpen = 14,
    effEditClose = 15,
    effEditIdle = 19,
    effIdentify = 22,
    effGetChunk = 23,
    effSetChunk = 24,
    effProcessEvents = 25,
    effCanBeAutomated = 26,
    effString2Parameter = 27,
    effGetProgramNameIndexed = 29,
    effGetInputProperties = 33,
    effGetOutputProperties = 34,
    effGetPlugCategory = 35,
    effSetBypass = 44,
    effGetEffectName = 45,
    effGetVendorString = 47,
    effGetProductString = 48,
    effGetVendorVersion = 49,
    effVendorSpecific = 50,
    effCanDo = 51,
    effGetTailSize = 52,
    effGetVstVersion = 58,
};

// Layout checks for the two pointer widths we build.
constexpr bool kWide = sizeof(void*) == 8;
#define VST2_AT(type, field, off32, off64) \
    static_assert(offsetof(type, field) == (kWide ? (off64) : (off32)), #type "." #field)

VST2_AT(AEffect, magic, 0, 0);
VST2_AT(AEffect, dispatcher, 4, 8);
VST2_AT(AEffect, process, 8, 16);
VST2_AT(AEffect, setParameter, 12, 24);
VST2_AT(AEffect, getParameter, 16, 32);
VST2_AT(AEffect, numPrograms, 20, 40);
VST2_AT(AEffect, numParams, 24, 44);
VST2_AT(AEffect, numInputs, 28, 48);
VST2_AT(AEffect, numOutputs, 32, 52);
VST2_AT(AEffect, flags, 36, 56);
VST2_AT(AEffect, resvd1, 40, 64);
VST2_AT(AEffect, resvd2, 44, 72);
VST2_AT(AEffect, initialDelay, 48, 80);
VST2_AT(AEffect, realQualities, 52, 84);
VST2_AT(AEffect, offQualities, 56, 88);
VST2_AT(AEffect, ioRatio, 60, 92);
VST2_AT(AEffect, object, 64, 96);
VST2_AT(AEffect, user, 68, 104);
VST2_AT(AEffect, uniqueID, 72, 112);
VST2_AT(AEffect, version, 76, 116);
VST2_AT(AEffect, processReplacing, 80, 120);
VST2_AT(AEffect, processDoubleReplacing, 84, 128);
VST2_AT(AEffect, future, 88, 136);
static_assert(sizeof(AEffect) == (kWide ? 192 : 144), "AEffect size");

VST2_AT(VstEvent, type, 0, 0);
VST2_AT(VstEvent, byteSize, 4, 4);
VST2_AT(VstEvent, deltaFrames, 8, 8);
VST2_AT(VstEvent, flags, 12, 12);
VST2_AT(VstEvent, data, 16, 16);
static_assert(sizeof(VstEvent) == 32, "VstEvent size");

VST2_AT(VstMidiEvent, noteLength, 16, 16);
VST2_AT(VstMidiEvent, noteOffset, 20, 20);
VST2_AT(VstMidiEvent, midiData, 24, 24);
VST2_AT(VstMidiEvent, detune, 28, 28);
VST2_AT(VstMidiEvent, noteOffVelocity, 29, 29);
VST2_AT(VstMidiEvent, reserved1, 30, 30);
VST2_AT(VstMidiEvent, reserved2, 31, 31);
static_assert(sizeof(VstMidiEvent) == 32, "VstMidiEvent size");

VST2_AT(VstMidiSysexEvent, dumpBytes, 16, 16);
VST2_AT(VstMidiSysexEvent, resvd1, 20, 24);
VST2_AT(VstMidiSysexEvent, sysexDump, 24, 32);
VST2_AT(VstMidiSysexEvent, resvd2, 28, 40);
static_assert(sizeof(VstMidiSysexEvent) == (kWide ? 48 : 32), "VstMidiSysexEvent size");

VST2_AT(VstEvents, numEvents, 0, 0);
VST2_AT(VstEvents, reserved, 4, 8);
VST2_AT(VstEvents, events, 8, 16);
static_assert(sizeof(VstEvents) == (kWide ? 32 : 16), "VstEvents size");

VST2_AT(ERect, top, 0, 0);
VST2_AT(ERect, left, 2, 2);
VST2_AT(ERect, bottom, 4, 4);
VST2_AT(ERect, right, 6, 6);
static_assert(sizeof(ERect) == 8, "ERect size");

VST2_AT(VstPinProperties, label, 0, 0);
VST2_AT(VstPinProperties, flags, 64, 64);
VST2_AT(VstPinProperties, arrangementType, 68, 68);
VST2_AT(VstPinProperties, shortLabel, 72, 72);
VST2_AT(VstPinProperties, future, 80, 80);
static_assert(sizeof(VstPinProperties) == 128, "VstPinProperties size");

#undef VST2_AT

}  // namespace vst2
