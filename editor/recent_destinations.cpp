#include "editor/recent_destinations.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "containers/never_destroyed.h"
#include "platform/profile.h"
#include "platform/udp.h"

namespace larkwire {

namespace {

// The next key to write. Keys the fill skipped stay in use, so a new entry
// goes after every key that was read, never over one of them.
int nextFreeKey = 0;

char* copyOf(const char* text) {
    const size_t n = std::strlen(text);
    char* copy = new (std::nothrow) char[n + 1];
    if (copy != nullptr) std::memcpy(copy, text, n + 1);
    return copy;
}

bool appendCopy(const char* text) {
    char* copy = copyOf(text);
    if (copy == nullptr) return false;
    if (recentDestinations().add(copy)) return true;
    delete[] copy;
    return false;
}

bool equalsIgnoringCase(const char* a, const char* b) {
    auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; };
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (lower(static_cast<unsigned char>(*a)) != lower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

bool isDottedAddress(const char* text) {
    const std::uint32_t address = platform::parseDottedAddress(text);
    return address != 0xFFFFFFFFu && address != 0;
}

void keyName(int number, char* out, size_t size) { std::snprintf(out, size, "recent%d", number); }

}  // namespace

PtrList<char>& recentDestinations() {
    static NeverDestroyed<PtrList<char>> list;
    return list.get();
}

void fillRecentDestinations() {
    if (!recentDestinations().empty()) return;
    appendCopy(kBroadcastEntry);
    nextFreeKey = 0;
    for (int n = 0; n < kMaxRecentKeys; ++n) {
        char key[32];
        char value[512];
        keyName(n, key, sizeof key);
        platform::readProfileString(kRecentSection, key, "", value, sizeof value, kRecentFile);
        if (value[0] == '\0') break;
        nextFreeKey = n + 1;
        if (isDottedAddress(value)) appendCopy(value);
    }
}

bool addRecentDestination(const char* text) {
    if (text == nullptr || text[0] == '\0') return false;
    // The list is emptied when the network stops, while an editor may still be
    // open; without the stored entries the next key would overwrite recent0.
    if (recentDestinations().empty()) fillRecentDestinations();
    PtrList<char>& list = recentDestinations();
    for (std::int32_t i = 0; i < list.count(); ++i)
        if (equalsIgnoringCase(list.get(i), text)) return false;
    appendCopy(text);
    char key[32];
    keyName(nextFreeKey++, key, sizeof key);
    platform::writeProfileString(kRecentSection, key, text, kRecentFile);
    return true;
}

void releaseRecentDestinations() {
    PtrList<char>& list = recentDestinations();
    for (std::int32_t i = list.count() - 1; i >= 0; --i) {
        delete[] list.get(i);
        list.deleteAt(i);
    }
    list.clear();
    nextFreeKey = 0;
}

}  // namespace larkwire
