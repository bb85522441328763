// What the monitor knows about the datagrams it has seen: one entry per
// stream (identifier and sending address), and the malformed datagrams of
// each source. Pure bookkeeping, no sockets, so the tests can drive it.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace larkwire::monitor {

enum class DatagramKind { Audio, Midi, Malformed };

// A datagram judged by the rules a receiving plug-in reads it with; anything a
// receiver would skip, misread or only partly use counts as malformed.
struct DatagramVerdict {
    DatagramKind kind = DatagramKind::Malformed;
    const char* problem = nullptr;  // why it is malformed; null otherwise
    std::int32_t channels = 0;      // audio only
    std::int32_t rate = 0;          // audio only
    std::int32_t frames = 0;        // frames per channel, audio only
    std::int32_t events = 0;        // event records, MIDI only
};

DatagramVerdict judgeDatagram(const std::uint8_t* bytes, std::int32_t length);

struct StreamStats {
    std::uint8_t identifier[32] = {};
    std::uint32_t addressNetworkOrder = 0;
    std::uint16_t port = 0;  // host order, of the latest datagram
    std::int32_t channels = 0;  // 0 until an audio datagram arrives
    std::int32_t rate = 0;
    std::int64_t lastSeenMs = 0;
    // Counted since the current window began.
    std::int64_t windowDatagrams = 0;
    std::int64_t windowFrames = 0;
    std::int64_t windowEvents = 0;
    std::int64_t totalDatagrams = 0;
    // Audio frames against the monitor's clock since the stream (re)started,
    // fitted by least squares, so that bursts and network jitter average out.
    std::int64_t fitStartMs = -1;
    double fitFrames = 0;  // frames received since fitStartMs
    double fitCount = 0, fitMeanMs = 0, fitMeanFrames = 0, fitCovariance = 0, fitSpread = 0;
    // Frames per second of the monitor's clock against the announced rate,
    // in ppm; false until the fit spans long enough to mean anything.
    bool driftKnown(std::int64_t nowMs) const;
    double driftPpm() const;
};

struct SourceFaults {
    std::uint32_t addressNetworkOrder = 0;
    std::int64_t malformed = 0;
    const char* lastProblem = nullptr;
};

class StreamTable {
public:
    // A stream must be seen this long before its drift is shown, and a pause
    // this long (or a new rate) starts the fit again.
    static constexpr std::int64_t kDriftMinimumMs = 10000;
    static constexpr std::int64_t kDriftRestartMs = 2000;

    // Past these, new streams or sources are tallied in overflowDatagrams, so
    // a flood of made-up identifiers cannot grow the table without end.
    static constexpr std::size_t kMaxStreams = 512;
    static constexpr std::size_t kMaxSources = 512;

    explicit StreamTable(std::int64_t nowMs) : windowStartMs_(nowMs) {}

    void record(const std::uint8_t* bytes, std::int32_t length, std::uint32_t addressNetworkOrder,
                std::uint16_t port, std::int64_t nowMs);

    // Per-second rates over the current window, then a fresh window.
    void beginWindow(std::int64_t nowMs);
    std::int64_t windowStartMs() const { return windowStartMs_; }

    // In the order first seen.
    const std::vector<StreamStats>& streams() const { return streams_; }
    const std::vector<SourceFaults>& faults() const { return faults_; }
    std::int64_t overflowDatagrams() const { return overflow_; }

private:
    SourceFaults* faultsOf(std::uint32_t address);

    std::int64_t windowStartMs_;
    std::vector<StreamStats> streams_;
    std::map<std::pair<std::string, std::uint32_t>, std::size_t> streamIndex_;
    std::vector<SourceFaults> faults_;
    std::int64_t overflow_ = 0;
};

}  // namespace larkwire::monitor
