// The destinations the user typed before, offered beside broadcast in every
// editor of the process and kept in the user's "larkwire.ini". [ui thread only]
#pragma once

#include <cstdint>

#include "containers/ptr_list.h"

namespace larkwire {

constexpr const char* kBroadcastEntry = "* broadcast";
constexpr const char* kRecentFile = "larkwire.ini";
constexpr const char* kRecentSection = "larkwire";
constexpr int kMaxRecentKeys = 512;

// Position 0 is "* broadcast"; then the stored entries, then those added.
PtrList<char>& recentDestinations();

// Fills the list from the INI file; does nothing when it is not empty.
void fillRecentDestinations();

// Adds text unless an entry matches it ignoring case. Returns true when it
// was added (and written to the file), so the caller shows it too.
bool addRecentDestination(const char* text);

// Frees every text and empties the list; the next fill reads the file again.
void releaseRecentDestinations();

}  // namespace larkwire
