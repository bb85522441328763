// An in-process instance with the network started, fed datagrams directly.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "shell/dispatcher.h"
#include "stream/process_calls.h"
#include "tests/support/test_instance.h"

namespace larkwire::testing {

class InstanceFixture : public ::testing::Test {
protected:
    static vst2::intptr VST_CALLBACK hostCallback(vst2::AEffect*, vst2::int32 opcode, vst2::int32,
                                                  vst2::intptr, void* ptr, float) {
        if (opcode == vst2::audioMasterProcessEvents) {
            const auto* list = static_cast<const vst2::VstEvents*>(ptr);
            ++deliveries;
            lastEvents.clear();
            for (int i = 0; i < list->numEvents; ++i) lastEvents.push_back(list->events[i]->deltaFrames);
        }
        return 0;
    }

    void SetUp() override {
        deliveries = 0;
        lastEvents.clear();
        instance.reset(createStreamEffect(&hostCallback));
        ASSERT_NE(instance, nullptr);
        dispatch(vst2::effSetSampleRate, 0, 0, nullptr, 44100.0f);
        ASSERT_NE(network::packetListLock.load(), nullptr);
        clearQueue();
    }
    void TearDown() override {
        clearQueue();
        instance.reset();
    }

    static void clearQueue() {
        platform::Lock* lock = network::packetListLock.load();
        if (lock == nullptr) return;
        platform::LockGuard guard(*lock);
        network::recycleAllQueued();
    }

    vst2::intptr dispatch(vst2::int32 opcode, vst2::int32 index = 0, vst2::intptr value = 0,
                          void* ptr = nullptr, float opt = 0) {
        return dispatcher(&instance->effect, opcode, index, value, ptr, opt);
    }

    // Runs one block of silence through processReplacing; returns the outputs.
    std::vector<std::vector<float>> runBlock(int frames) {
        std::vector<std::vector<float>> in(size_t(channelCount), std::vector<float>(size_t(frames), 0.0f));
        std::vector<std::vector<float>> out = in;
        std::vector<float*> ins, outs;
        for (int ch = 0; ch < channelCount; ++ch) {
            ins.push_back(in[size_t(ch)].data());
            outs.push_back(out[size_t(ch)].data());
        }
        processReplacing(&instance->effect, ins.data(), outs.data(), frames);
        return out;
    }

    std::unique_ptr<StreamEffect, InstanceDeleter> instance;
    static inline int deliveries = 0;
    static inline std::vector<std::int32_t> lastEvents;
};

}  // namespace larkwire::testing
