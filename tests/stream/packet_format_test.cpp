#include <gtest/gtest.h>

#include "tests/support/test_instance.h"

using namespace larkwire;
using namespace larkwire::testing;

TEST(PacketFormat, AudioHeaderIsPackedLittleEndian) {
    const auto bytes = audioDatagram("abc", 2, 48000, 3, 1.0f);
    ASSERT_EQ(bytes.size(), 47u + 2 * 3 * 4);
    EXPECT_EQ(std::memcmp(bytes.data(), "MLWR", 4), 0);
    EXPECT_EQ(wire::readI32(bytes.data() + 4), 71);
    EXPECT_EQ(std::memcmp(bytes.data() + 8, "abc\0\0\0", 6), 0);
    EXPECT_EQ(bytes[40], 2);
    // 48000 = 0x0000BB80 at the odd offset 41.
    EXPECT_EQ(bytes[41], 0x80);
    EXPECT_EQ(bytes[42], 0xBB);
    EXPECT_EQ(bytes[43], 0);
    EXPECT_EQ(bytes[45], 24);  // sampleBytes, 16 bits at offset 45
    EXPECT_EQ(bytes[46], 0);
    // Planar: channel 1 starts after all frames of channel 0.
    float value;
    std::memcpy(&value, bytes.data() + 47 + 3 * 4, 4);
    EXPECT_EQ(value, 1001.0f);
}

TEST(PacketFormat, IdentifierOf31CharactersKeepsTerminator) {
    const char* id = "0123456789012345678901234567890";
    const auto bytes = audioDatagram(id, 1, 44100, 1);
    EXPECT_EQ(std::memcmp(bytes.data() + 8, id, 31), 0);
    EXPECT_EQ(bytes[39], 0);
}

TEST(PacketFormat, FramesPerDatagram) {
    EXPECT_EQ(wire::framesPerPacket(1), 300);
    EXPECT_EQ(wire::framesPerPacket(2), 150);
    EXPECT_EQ(wire::framesPerPacket(8), 37);
    EXPECT_EQ(wire::framesPerPacket(64), 4);
    EXPECT_EQ(audioDatagram("x", 2, 44100, 150).size(), 1247u);
    EXPECT_EQ(audioDatagram("x", 2, 44100, 1).size(), 55u);
}

TEST(PacketFormat, AudioContentRules) {
    auto bytes = audioDatagram("x", 2, 48000, 10);
    wire::AudioContent c = wire::readAudioContent(bytes.data(), std::int32_t(bytes.size()));
    EXPECT_EQ(c.channels, 2);
    EXPECT_EQ(c.rate, 48000);
    EXPECT_EQ(c.framesPerChannel, 10);
    EXPECT_NE(c.samples, nullptr);

    // A channels byte of 200 reads as negative: one channel of all the samples.
    bytes[40] = 200;
    c = wire::readAudioContent(bytes.data(), std::int32_t(bytes.size()));
    EXPECT_EQ(c.channels, 1);
    EXPECT_EQ(c.framesPerChannel, 20);

    // 8 sample bytes over 3 channels carry no frame.
    auto three = audioDatagram("x", 3, 44100, 1);
    wire::writeU16(three.data() + 45, 8);
    c = wire::readAudioContent(three.data(), std::int32_t(three.size()));
    EXPECT_EQ(c.framesPerChannel, 0);
    EXPECT_EQ(c.samples, nullptr);
    EXPECT_EQ(c.rate, 44100);

    // A used length that disagrees with totalLength: nothing but one channel, rate 0.
    c = wire::readAudioContent(bytes.data(), std::int32_t(bytes.size()) - 1);
    EXPECT_EQ(c.channels, 1);
    EXPECT_EQ(c.rate, 0);
    EXPECT_EQ(c.samples, nullptr);

    // sampleBytes beyond the datagram.
    auto big = audioDatagram("x", 1, 44100, 4);
    wire::writeU16(big.data() + 45, 17);
    c = wire::readAudioContent(big.data(), std::int32_t(big.size()));
    EXPECT_EQ(c.samples, nullptr);
}

TEST(PacketFormat, EventRecordWalkStopsAtBadSizes) {
    auto bytes = midiDatagram("m", {1, 2, 3});
    int visited = 0;
    wire::forEachEventRecord(bytes.data(), std::int32_t(bytes.size()), [&](std::uint8_t*, std::int32_t length) {
        EXPECT_EQ(length, 32);
        ++visited;
        return true;
    });
    EXPECT_EQ(visited, 3);

    for (std::int32_t badSize : {-8, -100000, 0, 7, 1 << 30}) {
        auto broken = midiDatagram("m", {1, 2, 3});
        wire::writeU32(broken.data() + 40 + 32 + 4, std::uint32_t(badSize));
        visited = 0;
        wire::forEachEventRecord(broken.data(), std::int32_t(broken.size()),
                                 [&](std::uint8_t* record, std::int32_t length) {
                                     EXPECT_LE(record + length, broken.data() + broken.size());
                                     ++visited;
                                     return true;
                                 });
        EXPECT_LE(visited, 1) << badSize;
    }
    // An event area of 8 bytes or less holds nothing.
    auto tiny = midiDatagram("m", {});
    tiny.resize(48, 0);
    visited = 0;
    wire::forEachEventRecord(tiny.data(), 48, [&](std::uint8_t*, std::int32_t) { return ++visited, true; });
    EXPECT_EQ(visited, 0);
}
