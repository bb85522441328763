#include "tools/monitor/report.h"

#include <cstdio>

namespace larkwire::monitor {

std::string formatIdentifier(const std::uint8_t* identifier) {
    std::string text = "\"";
    int end = 0;
    while (end < 32 && identifier[end] != 0) ++end;
    for (int i = 0; i < end; ++i) {
        const std::uint8_t c = identifier[i];
        if (c == '"' || c == '\\') {
            text += '\\';
            text += char(c);
        } else if (c >= 0x20 && c < 0x7F) {
            text += char(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        }
    }
    text += '"';
    bool junkAfterEnd = end == 32;
    for (int i = end; i < 32; ++i) junkAfterEnd = junkAfterEnd || identifier[i] != 0;
    if (junkAfterEnd) text += " +";
    return text;
}

std::string formatAddress(std::uint32_t addressNetworkOrder) {
    // Network order: the first octet is the lowest-addressed byte.
    const auto* b = reinterpret_cast<const std::uint8_t*>(&addressNetworkOrder);
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", b[0], b[1], b[2], b[3]);
    return text;
}

namespace {

bool isOwn(std::uint32_t address, const std::uint32_t* own, int count) {
    for (int i = 0; i < count; ++i)
        if (own[i] == address) return true;
    return false;
}

}  // namespace

std::string formatReport(const StreamTable& table, std::int64_t nowMs,
                         const std::uint32_t* ownAddresses, int ownAddressCount) {
    const std::int64_t windowMs = nowMs - table.windowStartMs();
    const double perSecond = windowMs > 0 ? 1000.0 / double(windowMs) : 0.0;
    std::string out;
    char line[256];
    std::snprintf(line, sizeof line, "%-36s %-21s %3s %6s %8s %9s %7s %7s %9s\n", "IDENTIFIER",
                  "SENDER", "CH", "RATE", "DGRAM/S", "FRAMES/S", "MIDI/S", "LAST", "DRIFT");
    out += line;
    bool anyOwn = false;
    for (const StreamStats& s : table.streams()) {
        const std::string sender =
            formatAddress(s.addressNetworkOrder) + ":" + std::to_string(s.port);
        char channels[8] = "-";
        char rate[16] = "-";
        if (s.channels > 0) {
            std::snprintf(channels, sizeof channels, "%d", s.channels);
            std::snprintf(rate, sizeof rate, "%d", s.rate);
        }
        const bool own = isOwn(s.addressNetworkOrder, ownAddresses, ownAddressCount);
        anyOwn = anyOwn || own;
        char drift[24] = "-";
        if (s.driftKnown(nowMs)) std::snprintf(drift, sizeof drift, "%+.1fppm", s.driftPpm());
        std::snprintf(line, sizeof line, "%-36s %-21s %3s %6s %8.1f %9.1f %7.1f %6.1fs %9s%s\n",
                      formatIdentifier(s.identifier).c_str(), sender.c_str(), channels, rate,
                      double(s.windowDatagrams) * perSecond, double(s.windowFrames) * perSecond,
                      double(s.windowEvents) * perSecond, double(nowMs - s.lastSeenMs) / 1000.0,
                      drift, own ? " (this computer)" : "");
        out += line;
    }
    if (table.streams().empty()) out += "(no stream seen yet)\n";
    if (anyOwn)
        out += "Streams from this computer's own addresses are ignored by a plug-in here.\n";

    bool headed = false;
    for (const SourceFaults& f : table.faults()) {
        if (f.malformed == 0) continue;
        if (!headed) out += "MALFORMED DATAGRAMS BY SOURCE\n";
        headed = true;
        std::snprintf(line, sizeof line, "%-15s %8lld  last: %s\n",
                      formatAddress(f.addressNetworkOrder).c_str(),
                      static_cast<long long>(f.malformed), f.lastProblem ? f.lastProblem : "");
        out += line;
    }
    if (table.overflowDatagrams() > 0) {
        std::snprintf(line, sizeof line, "%lld datagrams from further streams or sources not listed\n",
                      static_cast<long long>(table.overflowDatagrams()));
        out += line;
    }
    return out;
}

}  // namespace larkwire::monitor
