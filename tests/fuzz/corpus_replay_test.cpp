// Replays the saved fuzz corpus through the same targets the fuzzers run, so
// every build (also the Windows ones under Wine) checks the found inputs.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"

namespace {

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::vector<std::uint8_t> bytes;
    std::FILE* file = std::fopen(path.string().c_str(), "rb");
    if (file == nullptr) return bytes;
    std::uint8_t chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(file);
    return bytes;
}

class CorpusReplay : public ::testing::TestWithParam<larkwire::fuzz::NamedTarget> {};

TEST_P(CorpusReplay, EverySavedInputRunsClean) {
    const auto& target = GetParam();
#if defined(_WIN32)
    if (std::string(target.name) == "recent_destinations")
        GTEST_SKIP() << "the INI file would land in the user's own settings folder";
#endif
    const std::filesystem::path folder =
        std::filesystem::path(LARKWIRE_FUZZ_CORPUS) / target.name;
    std::error_code error;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error))
        if (entry.is_regular_file()) files.push_back(entry.path());
    ASSERT_FALSE(error) << folder.string() << ": " << error.message();
    ASSERT_FALSE(files.empty()) << "no corpus in " << folder.string();
    for (const auto& file : files) {
        SCOPED_TRACE(file.string());
        const std::vector<std::uint8_t> bytes = readFile(file);
        // A broken property aborts the process inside the target.
        EXPECT_EQ(larkwire::fuzz::runOnExactCopy(target.run, bytes.data(), bytes.size()), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, CorpusReplay, ::testing::ValuesIn(larkwire::fuzz::kTargets),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
