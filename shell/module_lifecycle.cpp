#include <atomic>
#include <cstring>

#include "editor/editor_host.h"
#include "net/network_endpoint.h"
#include "platform/module_entry.h"
#include "platform/module_path.h"
#include "shell/module_state.h"

namespace larkwire {

std::int32_t channelCount = 2;
std::atomic<vst2::HostCallback> sharedHostCallback{nullptr};

namespace {
bool channelCountApplied = false;
int attachCount = 0;

bool endsWithIgnoringCase(const char* text, std::size_t n, const char* ending, std::size_t e) {
    if (n < e) return false;
    for (std::size_t i = 0; i < e; ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
        if (lower(text[n - e + i]) != lower(ending[i])) return false;
    }
    return true;
}
}  // namespace

std::int32_t channelCountFromFileName(const char* fileName, const char* extension) {
    if (fileName == nullptr || extension == nullptr) return 2;
    const std::size_t n = std::strlen(fileName);
    const std::size_t e = std::strlen(extension);
    if (n <= 6 || !endsWithIgnoringCase(fileName, n, extension, e)) return 2;
    std::size_t digitsStart = n - e;
    while (digitsStart > 0 && fileName[digitsStart - 1] >= '0' && fileName[digitsStart - 1] <= '9')
        --digitsStart;
    // A name that is digits from its very start has no name before them.
    if (digitsStart == 0) return 2;
    std::int64_t value = 0;
    for (std::size_t i = digitsStart; i < n - e && value <= 64; ++i)
        value = value * 10 + (fileName[i] - '0');
    return value >= 1 && value <= 64 ? std::int32_t(value) : 2;
}

void onModuleAttach(void* moduleHandle) {
    if (!channelCountApplied) {
        channelCountApplied = true;
        char fileName[1024];
        if (platform::moduleFileName(fileName, sizeof fileName) > 0)
            channelCount = channelCountFromFileName(fileName, platform::moduleExtension());
    }
    if (attachCount++ == 0) editorResourcesAttach(moduleHandle);
}

void onModuleDetach() {
    if (attachCount > 0 && --attachCount == 0) {
        editorResourcesDetach();
        network::releaseListStorage();
    }
}

}  // namespace larkwire
