// The INI reading of recent destinations: any file content, then one add.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "editor/recent_destinations.h"
#include "fuzz/fuzz_targets.h"
#include "fuzz/harness.h"
#include "platform/profile.h"
#include "platform/udp.h"

namespace larkwire::fuzz {

#if !defined(_WIN32)
namespace {

// The file lives in a folder of this process's own, never the user's.
const std::string& iniPath() {
    static const std::string path = [] {
        char folder[] = "/tmp/larkwire-fuzz-XXXXXX";
        const char* made = ::mkdtemp(folder);
        LARKWIRE_FUZZ_CHECK(made != nullptr);
        ::setenv("XDG_CONFIG_HOME", made, 1);
        static std::string folderToRemove = made;
        std::atexit([] { std::filesystem::remove_all(folderToRemove); });
        char out[1024];
        platform::profilePath(kRecentFile, out, sizeof out);
        return std::string(out);
    }();
    return path;
}

void checkList() {
    PtrList<char>& list = recentDestinations();
    LARKWIRE_FUZZ_CHECK(list.count() >= 1 && list.count() <= 1 + kMaxRecentKeys + 1);
    LARKWIRE_FUZZ_CHECK(std::strcmp(list.get(0), kBroadcastEntry) == 0);
    for (std::int32_t i = 1; i < list.count(); ++i) LARKWIRE_FUZZ_CHECK(std::strlen(list.get(i)) <= 511);
}

}  // namespace

int recentDestinationsTarget(const std::uint8_t* data, std::size_t size) {
    const std::string& path = iniPath();
    // The last line, when the first byte says so, is typed by the user.
    const bool addLastLine = size > 0 && data[0] % 4 == 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    LARKWIRE_FUZZ_CHECK(file != nullptr);
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);

    releaseRecentDestinations();
    fillRecentDestinations();
    checkList();
    for (std::int32_t i = 1; i < recentDestinations().count(); ++i) {
        const std::uint32_t address = platform::parseDottedAddress(recentDestinations().get(i));
        LARKWIRE_FUZZ_CHECK(address != 0 && address != 0xFFFFFFFFu);
    }
    if (addLastLine) {
        std::string text(reinterpret_cast<const char*>(data), size);
        const std::size_t newline = text.find_last_of('\n');
        if (newline != std::string::npos) text = text.substr(newline + 1);
        text = text.substr(0, text.find('\0')).substr(0, 511);
        const std::int32_t before = recentDestinations().count();
        const bool added = addRecentDestination(text.c_str());
        LARKWIRE_FUZZ_CHECK(recentDestinations().count() == before + (added ? 1 : 0));
        checkList();
    }
    releaseRecentDestinations();
    LARKWIRE_FUZZ_CHECK(recentDestinations().count() == 0);
    return 0;
}
#else
// Windows keeps the file in its own folder, shared with the real plug-in.
int recentDestinationsTarget(const std::uint8_t*, std::size_t) { return 0; }
#endif

}  // namespace larkwire::fuzz
