// The monitor's text: one line per stream, then the malformed datagrams of
// each source. The same layout serves the live screen and --once.
#pragma once

#include <cstdint>
#include <string>

#include "tools/monitor/stream_table.h"

namespace larkwire::monitor {

// The identifier as quoted text: printable characters as they are, the rest
// as \xNN; a trailing " +" marks bytes after the terminator, which make it a
// different stream from the plain name.
std::string formatIdentifier(const std::uint8_t* identifier);

std::string formatAddress(std::uint32_t addressNetworkOrder);

// Rates are per second over the table's current window, which ends at nowMs.
std::string formatReport(const StreamTable& table, std::int64_t nowMs,
                         const std::uint32_t* ownAddresses, int ownAddressCount);

}  // namespace larkwire::monitor
