#include <gtest/gtest.h>

#include "tests/support/test_instance.h"
#include "tools/monitor/report.h"
#include "tools/monitor/stream_table.h"

using namespace larkwire;
using namespace larkwire::monitor;
using larkwire::testing::audioDatagram;
using larkwire::testing::midiDatagram;

namespace {

constexpr std::uint32_t kSenderA = 0x010DE70A;  // 10.231.13.1 in network order
constexpr std::uint32_t kSenderB = 0x020DE70A;

void feed(StreamTable& table, const std::vector<std::uint8_t>& bytes, std::uint32_t from,
          std::int64_t now) {
    table.record(bytes.data(), std::int32_t(bytes.size()), from, 58710, now);
}

}  // namespace

TEST(MonitorVerdict, ReadsWhatTheWriterWrites) {
    const auto audio = audioDatagram("studio", 2, 44100, 150);
    const DatagramVerdict a = judgeDatagram(audio.data(), std::int32_t(audio.size()));
    EXPECT_EQ(a.kind, DatagramKind::Audio);
    EXPECT_EQ(a.channels, 2);
    EXPECT_EQ(a.rate, 44100);
    EXPECT_EQ(a.frames, 150);

    const auto midi = midiDatagram("studio", {0, 17, 300});
    const DatagramVerdict m = judgeDatagram(midi.data(), std::int32_t(midi.size()));
    EXPECT_EQ(m.kind, DatagramKind::Midi);
    EXPECT_EQ(m.events, 3);

    // A MIDI datagram with no events is what a quiet block may send: not a fault.
    const auto empty = midiDatagram("studio", {});
    EXPECT_EQ(judgeDatagram(empty.data(), 40).kind, DatagramKind::Midi);
}

// Each case is one a receiving plug-in would skip, misread or only partly use.
TEST(MonitorVerdict, FlagsDatagramsAReceiverWouldNotFullyUse) {
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Case> cases;
    auto audio = audioDatagram("s", 2, 48000, 4);

    cases.push_back({"foreign magic", audio});
    cases.back().bytes[0] = 'X';
    cases.push_back({"seven bytes", std::vector<std::uint8_t>(audio.begin(), audio.begin() + 7)});
    cases.push_back({"no identifier", std::vector<std::uint8_t>(audio.begin(), audio.begin() + 30)});
    wire::writeU32(cases.back().bytes.data() + 4, 30);
    cases.push_back({"totalLength too large", audio});
    wire::writeU32(cases.back().bytes.data() + 4, std::uint32_t(audio.size() + 1));
    cases.push_back({"truncated in transit", std::vector<std::uint8_t>(audio.begin(), audio.end() - 4)});
    cases.push_back({"sampleBytes beyond end", audio});
    wire::writeU16(cases.back().bytes.data() + 45, 40);
    cases.push_back({"bytes after samples", audio});
    wire::writeU16(cases.back().bytes.data() + 45, 24);
    cases.push_back({"channels 200 reads negative", audio});
    cases.back().bytes[40] = 200;
    cases.push_back({"channels 0", audio});
    cases.back().bytes[40] = 0;
    // 8 bytes with 3 channels: the receiver takes the datagram but plays nothing.
    auto zeroFrames = audioDatagram("s", 2, 48000, 1);
    zeroFrames[40] = 3;
    cases.push_back({"no whole frame", zeroFrames});
    auto ragged = audioDatagram("s", 3, 48000, 1);
    ragged[40] = 2;  // 12 bytes are one and a half stereo frames
    cases.push_back({"sampleBytes not whole frames", ragged});

    auto midi = midiDatagram("s", {0, 1});
    cases.push_back({"event byteSize overruns", midi});
    wire::writeU32(cases.back().bytes.data() + 40 + 32 + 4, 40);
    cases.push_back({"event byteSize below 8", midi});
    wire::writeU32(cases.back().bytes.data() + 40 + 4, 4);
    midi.resize(midi.size() + 6);
    wire::writeU32(midi.data() + 4, std::uint32_t(midi.size()));
    cases.push_back({"trailing event bytes", midi});

    for (const Case& c : cases) {
        // An exact-size copy, so that a reader that overruns shows under ASan.
        std::vector<std::uint8_t> exact(c.bytes);
        exact.shrink_to_fit();
        const DatagramVerdict v = judgeDatagram(exact.data(), std::int32_t(exact.size()));
        EXPECT_EQ(v.kind, DatagramKind::Malformed) << c.name;
        EXPECT_NE(v.problem, nullptr) << c.name;
    }
}

TEST(MonitorTable, KeepsOneLinePerIdentifierAndSender) {
    StreamTable table(0);
    feed(table, audioDatagram("studio", 2, 48000, 150), kSenderA, 10);
    feed(table, audioDatagram("Studio", 2, 48000, 150), kSenderA, 20);  // case matters
    feed(table, audioDatagram("studio", 1, 44100, 300), kSenderB, 30);
    feed(table, midiDatagram("studio", {0, 5}), kSenderA, 40);
    ASSERT_EQ(table.streams().size(), 3u);
    const StreamStats& first = table.streams()[0];
    EXPECT_EQ(first.totalDatagrams, 2);
    EXPECT_EQ(first.channels, 2);
    EXPECT_EQ(first.windowFrames, 150);
    EXPECT_EQ(first.windowEvents, 2);
    EXPECT_EQ(first.lastSeenMs, 40);
    EXPECT_EQ(table.streams()[2].rate, 44100);

    // Bytes after the terminator take part in the receiver's comparison.
    auto padded = audioDatagram("studio", 2, 48000, 150);
    padded[8 + 20] = 'x';
    feed(table, padded, kSenderA, 50);
    EXPECT_EQ(table.streams().size(), 4u);
    EXPECT_EQ(formatIdentifier(table.streams()[3].identifier), "\"studio\" +");
}

TEST(MonitorTable, RatesAreOverTheWindowAndFaultsPerSource) {
    StreamTable table(1000);
    // Two seconds of 100 stereo datagrams of 150 frames, and 10 note events.
    for (int i = 0; i < 10; ++i) feed(table, midiDatagram("live", {i}), kSenderA, 1000 + i);
    for (int i = 0; i < 200; ++i) feed(table, audioDatagram("live", 2, 48000, 150), kSenderA, 1000 + i * 5);
    auto broken = audioDatagram("live", 2, 48000, 150);
    broken.pop_back();
    for (int i = 0; i < 3; ++i) feed(table, broken, kSenderB, 2000);
    feed(table, broken, kSenderA, 2000);

    const std::string report = formatReport(table, 3000, nullptr, 0);
    EXPECT_NE(report.find("\"live\""), std::string::npos) << report;
    EXPECT_NE(report.find("10.231.13.1:58710"), std::string::npos) << report;
    // datagrams/s, frames/s, MIDI events/s over 2 s, then 1.0 s since the last
    EXPECT_NE(report.find("  105.0   15000.0     5.0    1.0s"), std::string::npos) << report;
    ASSERT_EQ(table.faults().size(), 2u);
    EXPECT_EQ(table.faults()[0].addressNetworkOrder, kSenderB);
    EXPECT_EQ(table.faults()[0].malformed, 3);
    EXPECT_EQ(table.faults()[1].malformed, 1);
    EXPECT_NE(report.find("10.231.13.2            3  last: totalLength disagrees"), std::string::npos)
        << report;

    table.beginWindow(3000);
    const std::string quiet = formatReport(table, 4000, &kSenderA, 1);
    EXPECT_NE(quiet.find("     0.0       0.0     0.0    2.0s         - (this computer)"), std::string::npos)
        << quiet;
}

TEST(MonitorTable, AFloodOfMadeUpStreamsStaysBounded) {
    StreamTable table(0);
    for (std::size_t i = 0; i < StreamTable::kMaxStreams + 10; ++i)
        feed(table, audioDatagram(std::to_string(i).c_str(), 1, 48000, 1), kSenderA, 0);
    for (std::uint32_t i = 0; i < StreamTable::kMaxSources + 5; ++i) {
        const std::uint8_t junk[8] = {'n', 'o', 'p', 'e', 0, 0, 0, 0};
        table.record(junk, 8, i, 1, 0);
    }
    EXPECT_EQ(table.streams().size(), StreamTable::kMaxStreams);
    EXPECT_EQ(table.faults().size(), StreamTable::kMaxSources);
    EXPECT_EQ(table.overflowDatagrams(), 15);
}

// 150-frame datagrams in bursts of four per 600 frames, from a sender whose
// clock runs 1000 ppm fast, arriving with up to 3 ms of jitter on the
// monitor's millisecond clock: the fitted drift finds the thousand ppm, only
// once 10 s are seen, and a pause starts the fit again.
TEST(MonitorDrift, FitsFramesAgainstTheClockOverTheWholeStream) {
    const auto datagram = audioDatagram("d", 2, 48000, 150);
    StreamTable table(0);
    std::uint32_t jitter = 7;
    double t = 0;
    auto feed = [&](double fromSeconds, double seconds) {
        const double burstSeconds = 600 / (48000 * 1.001);
        for (t = std::max(t, fromSeconds); t < fromSeconds + seconds; t += burstSeconds) {
            jitter = jitter * 1103515245u + 12345u;
            const std::int64_t ms = std::int64_t(t * 1000) + std::int64_t((jitter >> 16) % 4);
            for (int i = 0; i < 4; ++i)
                table.record(datagram.data(), std::int32_t(datagram.size()), 0x0100000a, 5000, ms);
        }
    };
    feed(0, 5);
    EXPECT_FALSE(table.streams()[0].driftKnown(5000));
    feed(5, 55);
    ASSERT_TRUE(table.streams()[0].driftKnown(60000));
    EXPECT_NEAR(table.streams()[0].driftPpm(), 1000, 20);
    EXPECT_NE(formatReport(table, 60000, nullptr, 0).find("ppm"), std::string::npos);
    feed(63, 2);
    EXPECT_FALSE(table.streams()[0].driftKnown(65000));
}
