// The recent-destination list against a real INI file in a private folder.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "editor/recent_destinations.h"
#include "platform/profile.h"

using namespace larkwire;

namespace {

class RecentDestinations : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/larkwire-recent-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
        setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
        char path[512];
        platform::profilePath(kRecentFile, path, sizeof path);
        path_ = path;
        releaseRecentDestinations();
    }
    void TearDown() override {
        releaseRecentDestinations();
        std::remove(path_.c_str());
        rmdir(folder_.c_str());
    }
    void writeFile(const std::string& body) { std::ofstream(path_) << "[larkwire]\n" << body; }
    std::string readFile() {
        std::stringstream s;
        s << std::ifstream(path_).rdbuf();
        return s.str();
    }
    static std::vector<std::string> list() {
        std::vector<std::string> out;
        for (std::int32_t i = 0; i < recentDestinations().count(); ++i) out.push_back(recentDestinations().get(i));
        return out;
    }
    std::string stored(const char* key) {
        char value[512];
        platform::readProfileString(kRecentSection, key, "", value, sizeof value, kRecentFile);
        return value;
    }

    std::string folder_, path_;
};

using List = std::vector<std::string>;

}  // namespace

TEST_F(RecentDestinations, FillKeepsOnlyDottedAddressesAndStopsAtTheFirstGap) {
    writeFile("recent0=10.0.0.1\nrecent1=myhost\nrecent2=10.0.0.3\nrecent3=0.0.0.0\n"
              "recent4=255.255.255.255\nrecent6=10.0.0.7\n");
    fillRecentDestinations();
    EXPECT_EQ(list(), (List{"* broadcast", "10.0.0.1", "10.0.0.3"}));
    // A filled list is not read again.
    writeFile("recent0=10.9.9.9\n");
    fillRecentDestinations();
    EXPECT_EQ(list().size(), 3u);
}

TEST_F(RecentDestinations, MissingFirstKeyOrFileGivesOnlyBroadcast) {
    fillRecentDestinations();
    EXPECT_EQ(list(), (List{"* broadcast"}));
    releaseRecentDestinations();
    writeFile("recent1=10.0.0.1\n");
    fillRecentDestinations();
    EXPECT_EQ(list(), (List{"* broadcast"}));
}

TEST_F(RecentDestinations, AddIgnoresCaseAndNeverWritesBroadcast) {
    writeFile("recent0=10.0.0.1\n");
    fillRecentDestinations();
    const std::string before = readFile();
    EXPECT_FALSE(addRecentDestination("* BROADCAST"));
    EXPECT_FALSE(addRecentDestination("10.0.0.1"));
    EXPECT_FALSE(addRecentDestination(""));
    EXPECT_EQ(readFile(), before);
    EXPECT_EQ(list().size(), 2u);
    EXPECT_TRUE(addRecentDestination("MyHost"));  // any text is listed and written
    EXPECT_FALSE(addRecentDestination("myhost"));
    EXPECT_EQ(stored("recent1"), "MyHost");
}

TEST_F(RecentDestinations, NewEntriesFollowTheStoredOnesAcrossRestarts) {
    writeFile("recent0=10.0.0.1\nrecent1=10.0.0.2\n");
    fillRecentDestinations();
    EXPECT_TRUE(addRecentDestination("10.0.0.9"));
    EXPECT_EQ(stored("recent2"), "10.0.0.9");
    releaseRecentDestinations();
    fillRecentDestinations();
    EXPECT_EQ(list(), (List{"* broadcast", "10.0.0.1", "10.0.0.2", "10.0.0.9"}));
}

TEST_F(RecentDestinations, SkippedKeysAreNotOverwritten) {
    // recent1 is skipped by the fill; the next entry must not land on it.
    writeFile("recent0=10.0.0.1\nrecent1=myhost\n");
    fillRecentDestinations();
    EXPECT_TRUE(addRecentDestination("10.0.0.5"));
    EXPECT_EQ(stored("recent1"), "myhost");
    EXPECT_EQ(stored("recent2"), "10.0.0.5");
}

TEST_F(RecentDestinations, AddAfterTheListWasReleasedKeepsTheStoredKeys) {
    // The network stops and empties the list while an editor stays open.
    writeFile("recent0=10.0.0.1\n");
    fillRecentDestinations();
    releaseRecentDestinations();
    EXPECT_TRUE(addRecentDestination("10.0.0.2"));
    EXPECT_EQ(stored("recent0"), "10.0.0.1");
    EXPECT_EQ(stored("recent1"), "10.0.0.2");
    EXPECT_EQ(list(), (List{"* broadcast", "10.0.0.1", "10.0.0.2"}));
}
