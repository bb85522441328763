// Drives the built plug-in binary through its AEffect, as a DAW does.
// The module path comes from --plugin=PATH (or LARKWIRE_PLUGIN).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/host/plugin_host.h"

using namespace larkwire;

namespace {

std::string pluginPath;
int expectedChannels = 2;

class HostBoundary : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(host.load(pluginPath, &error)) << error;
        effect = host.createInstance();
        ASSERT_NE(effect, nullptr);
    }
    vst2::intptr call(vst2::int32 opcode, vst2::int32 index = 0, vst2::intptr value = 0,
                      void* ptr = nullptr, float opt = 0) {
        return host.dispatch(effect, opcode, index, value, ptr, opt);
    }
    std::vector<std::uint8_t> chunk() {
        void* data = nullptr;
        const vst2::intptr size = call(vst2::effGetChunk, 0, 0, &data);
        const auto* bytes = static_cast<const std::uint8_t*>(data);
        return std::vector<std::uint8_t>(bytes, bytes + size);
    }
    host::PluginHost host;
    vst2::AEffect* effect = nullptr;
};

std::string nameFor(int channels) {
    return channels == 2 ? "Larkwire (Fernkit Edition)"
                         : "Larkwire (Fernkit Edition):" + std::to_string(channels);
}

}  // namespace

TEST_F(HostBoundary, IdentityAndRecord) {
    EXPECT_EQ(effect->magic, 0x56737450);
    EXPECT_EQ(effect->uniqueID, ('l' << 24) | ('k' << 16) | ('w' << 8) | 'r');
    EXPECT_EQ(effect->version, 1100);
    EXPECT_EQ(effect->numInputs, expectedChannels);
    EXPECT_EQ(effect->numOutputs, expectedChannels);
    EXPECT_EQ(effect->numPrograms, 1);
    EXPECT_EQ(effect->numParams, 1);
    EXPECT_EQ(effect->initialDelay, 0);
    EXPECT_EQ(effect->ioRatio, 1.0f);
    EXPECT_EQ(effect->processDoubleReplacing, nullptr);
    EXPECT_NE(effect->processReplacing, nullptr);
    EXPECT_NE(effect->process, nullptr);
    EXPECT_EQ(effect->flags & 0x30, 0x30);
    EXPECT_EQ(effect->flags, 0x31);  // both builds have an editor
    vst2::AEffect* second = host.createInstance();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, effect);
    EXPECT_NE(second->object, effect->object);
    EXPECT_EQ(second->uniqueID, effect->uniqueID);
    host.closeInstance(second);
}

TEST_F(HostBoundary, NamesAndCapabilities) {
    char text[128];
    std::memset(text, 'x', sizeof text);
    // 1 says the text was written: on 0 hosts list the file name instead.
    EXPECT_EQ(call(vst2::effGetEffectName, 0, 0, text), 1);
    EXPECT_EQ(std::string(text), nameFor(expectedChannels).substr(0, 31));
    EXPECT_EQ(call(vst2::effGetProductString, 0, 0, text), 1);
    EXPECT_EQ(std::string(text), nameFor(expectedChannels).substr(0, 31));
    EXPECT_EQ(call(vst2::effGetVendorString, 0, 0, text), 1);
    EXPECT_STREQ(text, "Tovani");
    EXPECT_EQ(call(vst2::effGetVendorString, 0, 0, nullptr), 0);
    // VST 2.4: hosts give a VST 1 plug-in no MIDI output.
    EXPECT_EQ(call(vst2::effGetVstVersion), 2400);
    call(vst2::effGetParamName, 0, 0, text);
    EXPECT_STREQ(text, "resv");
    call(vst2::effGetParamLabel, 0, 0, text);
    EXPECT_STREQ(text, "");
    call(vst2::effGetParamDisplay, 0, 0, text);
    EXPECT_STREQ(text, "0");
    call(vst2::effGetParamName, 1, 0, text);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(call(vst2::effIdentify), 0x4E764566);
    EXPECT_EQ(call(vst2::effGetPlugCategory), 1);
    EXPECT_EQ(call(vst2::effCanBeAutomated, 0), 1);
    EXPECT_EQ(call(vst2::effCanBeAutomated, 1), 0);

    auto canDo = [&](const char* what) { return call(vst2::effCanDo, 0, 0, const_cast<char*>(what)); };
    EXPECT_EQ(canDo("hasTovaniExtensions"), vst2::intptr(0xBEEF0000));
    EXPECT_EQ(canDo("hasTovaniViewAsConfig"), vst2::intptr(0xBEEF0000));
    EXPECT_EQ(canDo("hastovaniextensions"), 0);
    EXPECT_EQ(canDo("RECEIVEVSTEVENTS"), 1);
    EXPECT_EQ(canDo("sendVstMidiEvent"), 1);
    EXPECT_EQ(canDo("receiveVstMidiEvent"), 1);
    EXPECT_EQ(canDo("bypass"), 0);
    EXPECT_EQ(call(vst2::effCanDo), 0);
}

TEST_F(HostBoundary, PinProperties) {
    for (int input = 0; input < 2; ++input) {
        const vst2::int32 opcode = input ? vst2::effGetInputProperties : vst2::effGetOutputProperties;
        for (int pin = 0; pin < expectedChannels; ++pin) {
            vst2::VstPinProperties properties;
            std::memset(&properties, 0x5A, sizeof properties);
            ASSERT_EQ(call(opcode, pin, 0, &properties), 1);
            EXPECT_EQ(std::string(properties.label),
                      (input ? "Input " : "Output ") + std::to_string(pin));
            EXPECT_EQ(properties.flags, pin % 2 == 0 ? 2 : 0);
            EXPECT_EQ(properties.arrangementType, 1);
            EXPECT_EQ(properties.shortLabel[0], 0x5A);  // not written
        }
        vst2::VstPinProperties beyond;
        std::memset(&beyond, 0x5A, sizeof beyond);
        EXPECT_EQ(call(opcode, expectedChannels, 0, &beyond), 0);
        EXPECT_EQ(call(opcode, -1, 0, &beyond), 0);
        EXPECT_EQ(beyond.label[0], 0x5A);
    }
}

TEST_F(HostBoundary, VendorExtensions) {
    double range[2] = {-1, -1};
    EXPECT_EQ(call(vst2::effVendorSpecific, vst2::int32(0xDEADBEF0u), 0, range), 0xBEEF);
    EXPECT_EQ(range[0], 0.0);
    EXPECT_EQ(range[1], 1.0);
    double untouched[2] = {-1, -1};
    EXPECT_EQ(call(vst2::effVendorSpecific, vst2::int32(0xDEADBEF0u), 1, untouched), 0);
    EXPECT_EQ(untouched[0], -1.0);
    char text[64] = "junk";
    EXPECT_EQ(call(vst2::effVendorSpecific, 7, 0, text, 1.0f), 0xBEEF);
    EXPECT_STREQ(text, "1");
    EXPECT_EQ(call(vst2::effVendorSpecific, 7, 3, text, 1.0f), 0);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(call(vst2::effVendorSpecific, 99, 0, text), 0);
}

TEST_F(HostBoundary, DefaultChunkAndRoundTrip) {
    std::vector<std::uint8_t> expected(172, 0);
    expected[4] = 2;
    expected[8] = 1;
    std::memcpy(expected.data() + 12, "default", 7);
    EXPECT_EQ(chunk(), expected);

    std::vector<std::uint8_t> saved(172, 0);
    saved[0] = 1;
    saved[4] = 8;
    std::memcpy(saved.data() + 12, "guitar-left", 11);
    std::memcpy(saved.data() + 44, "10.0.0.5", 8);
    EXPECT_EQ(call(vst2::effSetChunk, 0, 172, saved.data()), 1);
    EXPECT_EQ(chunk(), saved);

    vst2::AEffect* fresh = host.createInstance();
    void* data = nullptr;
    host.dispatch(fresh, vst2::effSetChunk, 0, 172, saved.data());
    const vst2::intptr size = host.dispatch(fresh, vst2::effGetChunk, 0, 0, &data);
    ASSERT_EQ(size, 172);
    EXPECT_EQ(std::memcmp(data, saved.data(), 172), 0);
    host.closeInstance(fresh);
}

TEST_F(HostBoundary, ShortAndHostileChunks) {
    // 12 bytes change only the integers.
    std::uint8_t ints[12] = {1, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(call(vst2::effSetChunk, 0, 12, ints), 1);
    auto now = chunk();
    EXPECT_EQ(now[0], 1);
    EXPECT_EQ(now[4], 5);
    EXPECT_EQ(now[8], 0);
    EXPECT_EQ(std::memcmp(now.data() + 12, "default", 8), 0);

    // An identifier without a terminator keeps 31 bytes.
    std::vector<std::uint8_t> noTerminator(44, 'A');
    call(vst2::effSetChunk, 0, 44, noTerminator.data());
    now = chunk();
    EXPECT_EQ(now[12 + 30], 'A');
    EXPECT_EQ(now[12 + 31], 0);

    // Null pointers, negative and absurd sizes load nothing and never crash.
    EXPECT_EQ(call(vst2::effSetChunk, 0, 172, nullptr), 1);
    EXPECT_EQ(call(vst2::effSetChunk, 0, -5, ints), 1);
    EXPECT_EQ(call(vst2::effSetChunk, 0, 0, ints), 1);
    EXPECT_EQ(chunk(), now);
    // Bytes beyond 172 are ignored.
    std::vector<std::uint8_t> longer(4096, 0);
    longer[4] = 2;
    EXPECT_EQ(call(vst2::effSetChunk, 0, 4096, longer.data()), 1);
    EXPECT_EQ(chunk().size(), 172u);
}

TEST_F(HostBoundary, ParametersAndEditorRect) {
    effect->setParameter(effect, 0, 0.7f);
    EXPECT_FLOAT_EQ(effect->getParameter(effect, 0), 0.7f);
    effect->setParameter(effect, 1, 0.3f);
    EXPECT_EQ(effect->getParameter(effect, 1), 0.0f);
    EXPECT_EQ(effect->getParameter(effect, -7), 0.0f);
    char text[32];
    call(vst2::effGetParamDisplay, 0, 0, text);
    EXPECT_STREQ(text, "1");

    vst2::ERect* rect = nullptr;
    EXPECT_EQ(call(vst2::effEditGetRect, 0, 0, &rect), 1);
    ASSERT_NE(rect, nullptr);
    EXPECT_EQ(rect->top, 0);
    EXPECT_EQ(rect->left, 0);
    EXPECT_EQ(rect->bottom, 300);
    EXPECT_EQ(rect->right, 400);
}

// Hosts give 8 characters and the terminator for these texts, whatever
// value they set before.
TEST_F(HostBoundary, ParameterTextsFitTheHostsNineBytes) {
    struct Expected {
        float value;
        float stored;
        const char* display;
    };
    for (const Expected e : {Expected{1e30f, 1.0f, "1"}, Expected{-1e30f, 0.0f, "0"},
                             Expected{std::nanf(""), 0.0f, "0"}, Expected{0.25f, 0.25f, "0"}}) {
        effect->setParameter(effect, 0, e.value);
        EXPECT_EQ(effect->getParameter(effect, 0), e.stored) << e.value;
        for (const vst2::int32 opcode : {vst2::effGetParamDisplay, vst2::effGetParamLabel,
                                         vst2::effGetParamName}) {
            char guarded[4 + 9 + 4];
            std::memset(guarded, '#', sizeof guarded);
            char* text = guarded + 4;
            call(opcode, 0, 0, text);
            EXPECT_EQ(std::string(guarded, 4), "####") << opcode;
            EXPECT_EQ(std::string(guarded + 13, 4), "####") << opcode << " wrote past 9 bytes";
            ASSERT_NE(std::memchr(text, '\0', 9), nullptr) << opcode;
            if (opcode == vst2::effGetParamDisplay) {
                EXPECT_STREQ(text, e.display);
            }
        }
    }
}

TEST_F(HostBoundary, NullObjectAndEveryOpcode) {
    // A record whose object is null: every handler returns 0 and touches nothing.
    vst2::AEffect copy = *effect;
    copy.object = nullptr;
    char buffer[512];
    for (vst2::int32 opcode = 0; opcode <= 200; ++opcode) {
        std::memset(buffer, 0x77, sizeof buffer);
        const vst2::intptr result = copy.dispatcher(&copy, opcode, 0, 0, buffer, 0);
        if (opcode == vst2::effIdentify) {
            EXPECT_EQ(result, 0x4E764566);
        } else if (opcode == vst2::effGetPlugCategory || opcode == vst2::effCanBeAutomated) {
            EXPECT_EQ(result, 1);
        } else if (opcode == vst2::effGetVstVersion) {
            EXPECT_EQ(result, 2400);
        } else if (opcode != vst2::effGetEffectName && opcode != vst2::effGetVendorString &&
                   opcode != vst2::effGetProductString && opcode != vst2::effGetParamName &&
                   opcode != vst2::effGetParamLabel) {
            EXPECT_EQ(result, 0) << opcode;
        }
        EXPECT_EQ(buffer[sizeof buffer - 1], 0x77) << opcode;
    }
    float in[2][4] = {}, out[2][4] = {};
    float* ins[2] = {in[0], in[1]};
    float* outs[2] = {out[0], out[1]};
    copy.processReplacing(&copy, ins, outs, 4);
    copy.process(&copy, ins, outs, 4);
    copy.setParameter(&copy, 0, 1.0f);
    EXPECT_EQ(copy.getParameter(&copy, 0), 0.0f);

    // The real instance with null pointers and every opcode beyond its table.
    for (vst2::int32 opcode = 0; opcode <= 200; ++opcode) {
        if (opcode == vst2::effClose || opcode == vst2::effEditOpen) continue;
        std::memset(buffer, 0x77, sizeof buffer);
        call(opcode, 0, 0, nullptr, 0);
        if ((opcode > 51 && opcode != vst2::effGetVstVersion) || (opcode >= 2 && opcode <= 5)) {
            EXPECT_EQ(call(opcode, 0, 0, buffer, 0), 0) << opcode;
            EXPECT_EQ(buffer[0], 0x77) << opcode;  // program names left as they were
        }
    }
}

TEST_F(HostBoundary, PassesAudioThroughUnchanged) {
    const int channels = expectedChannels;
    std::vector<std::vector<float>> in(size_t(channels), std::vector<float>(64));
    std::vector<std::vector<float>> out(size_t(channels), std::vector<float>(64, 9.0f));
    std::vector<float*> ins, outs;
    for (int ch = 0; ch < channels; ++ch) {
        for (int j = 0; j < 64; ++j) in[size_t(ch)][size_t(j)] = float(ch) + float(j) / 64;
        ins.push_back(in[size_t(ch)].data());
        outs.push_back(out[size_t(ch)].data());
    }
    effect->processReplacing(effect, ins.data(), outs.data(), 64);
    EXPECT_EQ(out, in);
    effect->process(effect, ins.data(), outs.data(), 64);
    for (int ch = 0; ch < channels; ++ch)
        for (int j = 0; j < 64; ++j) EXPECT_EQ(out[size_t(ch)][size_t(j)], 2 * in[size_t(ch)][size_t(j)]);
    // In place, and with a block of zero frames.
    effect->processReplacing(effect, ins.data(), ins.data(), 64);
    effect->processReplacing(effect, ins.data(), outs.data(), 0);
    effect->processReplacing(effect, nullptr, nullptr, 64);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (const char* fromEnvironment = std::getenv("LARKWIRE_PLUGIN")) pluginPath = fromEnvironment;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--plugin=", 0) == 0) pluginPath = arg.substr(9);
        if (arg.rfind("--channels=", 0) == 0) expectedChannels = std::atoi(arg.c_str() + 11);
    }
    if (pluginPath.empty()) {
        std::fprintf(stderr, "usage: %s --plugin=PATH [--channels=N]\n", argv[0]);
        return 2;
    }
    return RUN_ALL_TESTS();
}
