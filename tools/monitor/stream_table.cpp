#include "tools/monitor/stream_table.h"

#include <cstring>

#include "stream/packet_format.h"

namespace larkwire::monitor {

namespace {

DatagramVerdict malformed(const char* problem) {
    DatagramVerdict verdict;
    verdict.problem = problem;
    return verdict;
}

DatagramVerdict judgeAudio(const std::uint8_t* bytes, std::int32_t length) {
    using namespace wire;
    if (length < kAudioHeaderBytes) return malformed("audio header cut short");
    const std::int32_t sampleBytes = readU16(bytes + kSampleBytesOffset);
    if (kAudioHeaderBytes + sampleBytes > length) return malformed("sampleBytes beyond the datagram");
    if (kAudioHeaderBytes + sampleBytes < length) return malformed("bytes after the samples");
    const std::int32_t channelByte = static_cast<std::int8_t>(bytes[kChannelsOffset]);
    if (channelByte < 1 || channelByte > 64) return malformed("channels outside 1..64");
    // Use the plug-in's own reading, so that the monitor counts what it plays.
    const AudioContent content = readAudioContent(bytes, length);
    if (content.framesPerChannel == 0) return malformed("no whole frame");
    if (sampleBytes != content.framesPerChannel * content.channels * 4)
        return malformed("sampleBytes not whole frames");
    DatagramVerdict verdict;
    verdict.kind = DatagramKind::Audio;
    verdict.channels = content.channels;
    verdict.rate = content.rate;
    verdict.frames = content.framesPerChannel;
    return verdict;
}

DatagramVerdict judgeMidi(const std::uint8_t* bytes, std::int32_t length) {
    using namespace wire;
    // forEachEventRecord writes nothing, but takes a mutable pointer.
    std::uint8_t* writable = const_cast<std::uint8_t*>(bytes);
    std::int32_t events = 0;
    std::int32_t covered = kHeaderBytes;
    forEachEventRecord(writable, length, [&](std::uint8_t*, std::int32_t recordLength) {
        ++events;
        covered += recordLength;
        return true;
    });
    if (covered != length) return malformed("event records do not fill the datagram");
    DatagramVerdict verdict;
    verdict.kind = DatagramKind::Midi;
    verdict.events = events;
    return verdict;
}

}  // namespace

DatagramVerdict judgeDatagram(const std::uint8_t* bytes, std::int32_t length) {
    using namespace wire;
    if (bytes == nullptr || !hasStreamMagic(bytes, length)) return malformed("not a stream datagram");
    if (length < kHeaderBytes) return malformed("header cut short");
    if (totalLengthOf(bytes) != length) return malformed("totalLength disagrees with the datagram");
    return isMidiPacket(bytes, length) ? judgeMidi(bytes, length) : judgeAudio(bytes, length);
}

SourceFaults* StreamTable::faultsOf(std::uint32_t address) {
    for (SourceFaults& f : faults_)
        if (f.addressNetworkOrder == address) return &f;
    if (faults_.size() >= kMaxSources) return nullptr;
    faults_.push_back(SourceFaults{address, 0, nullptr});
    return &faults_.back();
}

void StreamTable::record(const std::uint8_t* bytes, std::int32_t length,
                         std::uint32_t addressNetworkOrder, std::uint16_t port,
                         std::int64_t nowMs) {
    const DatagramVerdict verdict = judgeDatagram(bytes, length);
    if (verdict.kind == DatagramKind::Malformed) {
        SourceFaults* f = faultsOf(addressNetworkOrder);
        if (f == nullptr) {
            ++overflow_;
            return;
        }
        ++f->malformed;
        f->lastProblem = verdict.problem;
        return;
    }

    // The receiver compares all 32 bytes, so the key does too.
    std::pair<std::string, std::uint32_t> key{
        std::string(reinterpret_cast<const char*>(bytes + wire::kIdentifierOffset),
                    wire::kIdentifierBytes),
        addressNetworkOrder};
    auto found = streamIndex_.find(key);
    if (found == streamIndex_.end()) {
        if (streams_.size() >= kMaxStreams) {
            ++overflow_;
            return;
        }
        found = streamIndex_.emplace(key, streams_.size()).first;
        streams_.emplace_back();
        StreamStats& fresh = streams_.back();
        std::memcpy(fresh.identifier, bytes + wire::kIdentifierOffset, wire::kIdentifierBytes);
        fresh.addressNetworkOrder = addressNetworkOrder;
    }
    StreamStats& s = streams_[found->second];
    if (verdict.kind == DatagramKind::Audio) {
        if (s.fitStartMs < 0 || nowMs - s.lastSeenMs > kDriftRestartMs || verdict.rate != s.rate) {
            s.fitStartMs = nowMs;
            s.fitFrames = s.fitCount = s.fitMeanMs = s.fitMeanFrames = s.fitCovariance = s.fitSpread = 0;
        }
        // The frames of this datagram were all there when it arrived.
        s.fitFrames += verdict.frames;
        const double t = double(nowMs - s.fitStartMs);
        s.fitCount += 1;
        const double dt = t - s.fitMeanMs;
        s.fitMeanMs += dt / s.fitCount;
        s.fitMeanFrames += (s.fitFrames - s.fitMeanFrames) / s.fitCount;
        s.fitCovariance += dt * (s.fitFrames - s.fitMeanFrames);
        s.fitSpread += dt * (t - s.fitMeanMs);
    }
    s.port = port;
    s.lastSeenMs = nowMs;
    ++s.windowDatagrams;
    ++s.totalDatagrams;
    if (verdict.kind == DatagramKind::Audio) {
        s.channels = verdict.channels;
        s.rate = verdict.rate;
        s.windowFrames += verdict.frames;
    } else {
        s.windowEvents += verdict.events;
    }
}

bool StreamStats::driftKnown(std::int64_t nowMs) const {
    return fitStartMs >= 0 && rate > 0 && fitSpread > 0 &&
           lastSeenMs - fitStartMs >= StreamTable::kDriftMinimumMs &&
           nowMs - lastSeenMs <= StreamTable::kDriftRestartMs;
}

double StreamStats::driftPpm() const {
    if (!(fitSpread > 0) || rate <= 0) return 0;
    const double framesPerSecond = fitCovariance / fitSpread * 1000.0;
    return (framesPerSecond / rate - 1.0) * 1e6;
}

void StreamTable::beginWindow(std::int64_t nowMs) {
    windowStartMs_ = nowMs;
    for (StreamStats& s : streams_) {
        s.windowDatagrams = 0;
        s.windowFrames = 0;
        s.windowEvents = 0;
    }
}

}  // namespace larkwire::monitor
