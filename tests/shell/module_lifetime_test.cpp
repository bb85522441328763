// The built module's lifetime as hosts drive it: stream, close every
// instance, then either unload before returning from main, return with the
// module still loaded, or unload and load it again. This process is the host:
// a fault shows as a crash while it exits, after the test itself passed.
// exit-streaming returns with an instance still streaming, as a host that
// quits without closing its plug-ins.
//   module_lifetime_tests --plugin=PATH --order=unload-first|exit-loaded|reload|exit-streaming
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "tools/host/plugin_host.h"

using namespace larkwire;

namespace {

std::string pluginPath;
std::string order;
// Reachable to the end, so that a module left loaded is no leak.
host::PluginHost* keptHost = nullptr;

// Sends a few blocks to loopback, then closes the instance, which stops the network.
void streamOnce(host::PluginHost& pluginHost, bool close = true) {
    vst2::AEffect* effect = pluginHost.createInstance();
    ASSERT_NE(effect, nullptr);
    std::vector<std::uint8_t> chunk(172, 0);
    chunk[0] = 1;  // send mode
    chunk[4] = 2;  // channels
    chunk[8] = 1;  // enabled
    std::memcpy(chunk.data() + 12, "lifetime", 8);
    std::memcpy(chunk.data() + 44, "127.0.0.1", 9);
    pluginHost.dispatch(effect, vst2::effSetChunk, 0, vst2::intptr(chunk.size()), chunk.data());
    pluginHost.dispatch(effect, vst2::effSetSampleRate, 0, 0, nullptr, 48000.0f);
    pluginHost.dispatch(effect, vst2::effMainsChanged, 0, 1);
    std::vector<float> left(512, 0.5f), right(512, -0.5f);
    float* channels[2] = {left.data(), right.data()};
    for (int block = 0; block < 8; ++block)
        effect->processReplacing(effect, channels, channels, 512);
    if (!close) return;
    pluginHost.dispatch(effect, vst2::effMainsChanged, 0, 0);
    pluginHost.closeInstance(effect);
}

}  // namespace

TEST(ModuleLifetime, StreamsAndClosesInTheHostsOrder) {
    // Never destroyed when the module stays loaded while the process exits,
    // as in a host that never unloads its plug-ins.
    keptHost = new host::PluginHost;
    std::string error;
    ASSERT_TRUE(keptHost->load(pluginPath, &error)) << error;
    streamOnce(*keptHost, order != "exit-streaming");
    if (order == "reload") {
        keptHost->unload();
        ASSERT_TRUE(keptHost->load(pluginPath, &error)) << error;
        streamOnce(*keptHost);
    }
    if (order == "unload-first" || order == "reload") {
        delete keptHost;
        keptHost = nullptr;
    }
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind("--plugin=", 0) == 0) pluginPath = arg.substr(9);
        if (arg.rfind("--order=", 0) == 0) order = arg.substr(8);
    }
    if (pluginPath.empty() || (order != "unload-first" && order != "exit-loaded" &&
                               order != "reload" && order != "exit-streaming")) {
        std::fprintf(stderr, "usage: %s --plugin=PATH --order=ORDER\n", argv[0]);
        return 2;
    }
    return RUN_ALL_TESTS();
}
