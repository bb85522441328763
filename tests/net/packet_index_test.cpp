#include "net/packet_index.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "tests/support/test_instance.h"

using namespace larkwire;

namespace {

struct IndexRig {
    IndexRig() : index(new PacketIndex) {}
    ~IndexRig() {
        while (StreamRecords* stream = pool.pop()) delete stream;
    }
    ReceivedPacket* add(const std::vector<std::uint8_t>& bytes) {
        auto& packet = packets.emplace_back(new ReceivedPacket);
        packet->bytes.resize(std::int32_t(bytes.size()));
        std::memcpy(packet->bytes.bytes(), bytes.data(), bytes.size());
        if (pool.first == nullptr) pool.push(new StreamRecords);
        EXPECT_TRUE(index->add(packet.get(), pool));
        return packet.get();
    }
    void remove(ReceivedPacket* packet) {
        StreamRecords* stream = packet->stream;
        index->remove(packet);
        index->retireIfEmpty(stream, pool);
    }
    std::unique_ptr<PacketIndex> index;  // its table is large for the stack
    StreamPool pool;
    std::vector<std::unique_ptr<ReceivedPacket>> packets;
};

std::vector<char> name(int i) {
    std::vector<char> id(32, 0);
    std::snprintf(id.data(), id.size(), "stream %d", i);
    return id;
}

}  // namespace

// Many streams whose slots collide, removed in a shuffled order: every stream
// left is still found with exactly its records, in arrival order.
TEST(PacketIndex, StreamsStayFindableThroughRemovals) {
    IndexRig rig;
    constexpr int kStreams = 6000;
    std::vector<ReceivedPacket*> added;
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < kStreams; ++i)
            added.push_back(rig.add(larkwire::testing::audioDatagram(name(i).data(), 1, 44100, 2)));
    // MIDI of the same name is another stream; a short datagram matches none.
    ReceivedPacket* midi = rig.add(larkwire::testing::midiDatagram(name(7).data(), {1}));
    rig.add(std::vector<std::uint8_t>{'M', 'L', 'W', 'R', 8, 0, 0, 0});

    std::mt19937 rng(7);
    std::vector<bool> gone(kStreams, false);
    for (int i = 0; i < kStreams; ++i)
        if (rng() % 2 == 0) {
            gone[size_t(i)] = true;
            rig.remove(added[size_t(i)]);
            rig.remove(added[size_t(kStreams + i)]);
        }
    std::int32_t left = 2;
    for (int i = 0; i < kStreams; ++i) {
        StreamRecords* stream = rig.index->find(name(i).data(), StreamKind::audio);
        if (gone[size_t(i)]) {
            EXPECT_EQ(stream, nullptr) << i;
            continue;
        }
        ASSERT_NE(stream, nullptr) << i;
        EXPECT_EQ(stream->count, 2);
        EXPECT_EQ(stream->oldest, added[size_t(i)]);
        EXPECT_EQ(stream->newest, added[size_t(kStreams + i)]);
        left += 2;
    }
    EXPECT_EQ(rig.index->find(name(7).data(), StreamKind::midi)->oldest, midi);
    EXPECT_EQ(rig.index->count(), left);
    std::int32_t walked = 0;
    for (ReceivedPacket* p = rig.index->oldest(); p != nullptr; p = p->newerArrival) ++walked;
    EXPECT_EQ(walked, left);

    // Emptied by a reader, a stream stays until the sweep hands it back.
    while (!rig.index->empty()) rig.index->remove(rig.index->oldest());
    EXPECT_NE(rig.index->find(name(7).data(), StreamKind::midi), nullptr);
    rig.index->sweepEmptyStreams(rig.pool);
    EXPECT_EQ(rig.index->find(name(7).data(), StreamKind::midi), nullptr);
    EXPECT_EQ(rig.pool.count, kStreams + 2);
}
