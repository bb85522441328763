#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "containers/heap_allocator.h"
#include "stream/channel_queue.h"

using namespace larkwire;

namespace {
std::vector<float> ramp(int n, float start) {
    std::vector<float> v(size_t(n), 0.0f);
    for (int i = 0; i < n; ++i) v[size_t(i)] = start + float(i);
    return v;
}
}  // namespace

TEST(ChannelQueue, FiftyFiveMonoDatagramsSpanTwoBlocks) {
    ChannelQueue queue;
    std::vector<float> all;
    for (int d = 0; d < 55; ++d) {
        const auto samples = ramp(300, float(d * 300));
        queue.appendSamples(samples.data(), 1200);
        all.insert(all.end(), samples.begin(), samples.end());
    }
    // 54 datagrams and 672 bytes of the 55th fill the first block.
    EXPECT_EQ(54 * 1200 + 672, ChannelQueue::kBlockCapacity);
    EXPECT_EQ(queue.blockCount(), 2);
    EXPECT_EQ(queue.queuedBytes(), 55 * 1200);

    std::vector<float> read(all.size());
    EXPECT_EQ(queue.readSamples(read.data(), 55 * 1200), 55 * 1200);
    EXPECT_EQ(read, all);  // nothing lost or reordered across the block edge
}

TEST(ChannelQueue, ConsumeRecyclesBlocksAndKeepsReadingInOrder) {
    ChannelQueue queue;
    const auto samples = ramp(20000, 0);
    queue.appendSamples(samples.data(), 80000);
    queue.consumeBytes(70000);
    EXPECT_EQ(queue.blockCount(), 1);
    EXPECT_EQ(queue.spareBlockCount(), 1);
    EXPECT_EQ(queue.queuedBytes(), 10000);
    float first;
    queue.readSamples(&first, 4);
    EXPECT_EQ(first, 17500.0f);

    queue.discardAll();
    EXPECT_EQ(queue.queuedBytes(), 0);
    EXPECT_EQ(queue.readOffset(), 0);
    EXPECT_EQ(queue.blockCount(), 0);
    EXPECT_EQ(queue.spareBlockCount(), 2);

    // A reused block is overwritten from its start.
    const auto next = ramp(4, 500);
    queue.appendSamples(next.data(), 16);
    float back[4];
    EXPECT_EQ(queue.readSamples(back, 64), 16);
    EXPECT_EQ(back[0], 500.0f);
    EXPECT_EQ(queue.spareBlockCount(), 1);

    queue.consumeBytes(1000);  // more than queued never goes negative
    EXPECT_EQ(queue.queuedBytes(), 0);
    EXPECT_EQ(queue.readOffset(), 0);
}

namespace {
void* refuse(std::size_t) { return nullptr; }
void* refuseGrowth(void*, std::size_t) { return nullptr; }
}  // namespace

TEST(ChannelQueue, NoMemoryDropsTheRestButKeepsWhatIsQueued) {
    ChannelQueue queue;
    const auto samples = ramp(300, 0);
    queue.appendSamples(samples.data(), 1200);
    const HeapAllocator saved = heapAllocator();
    heapAllocator() = HeapAllocator{&refuse, &refuseGrowth, &std::free};
    queue.appendSamples(samples.data(), 1200);  // the block cannot grow
    heapAllocator() = saved;
    EXPECT_LE(queue.queuedBytes(), 2400);
    EXPECT_GE(queue.queuedBytes(), 1200);
    float first;
    queue.readSamples(&first, 4);
    EXPECT_EQ(first, 0.0f);
}

// The inline append keeps the last block's fill apart from the block: reads,
// widened takes and recycled blocks must all see it, across block edges.
TEST(ChannelQueue, SmallAppendsBetweenReadsStayInOrderAcrossRecycledBlocks) {
    ChannelQueue queue;
    float next = 0, expected = 0;
    for (int round = 0; round < 12; ++round) {
        for (int d = 0; d < 3000; ++d) {  // 16 bytes each: 48,000 a round, 65,472 a block
            const auto samples = ramp(4, next);
            queue.appendSamples(samples.data(), 16);
            next += 4;
        }
        std::vector<float> peek(8);
        ASSERT_EQ(queue.readSamples(peek.data(), 32), 32);
        EXPECT_EQ(peek, ramp(8, expected));
        std::vector<double> taken(11000);
        queue.takeWidened(taken.data(), 11000);
        for (int i = 0; i < 11000; ++i) ASSERT_EQ(taken[size_t(i)], double(expected + float(i)));
        expected += 11000;
        queue.consumeBytes(4 * 1000);
        expected += 1000;
    }
    EXPECT_EQ(queue.queuedBytes(), 0);
    EXPECT_LE(queue.blockCount() + queue.spareBlockCount(), 3);  // blocks circulate
}

// Runs of datagrams appended queue by queue must leave each queue as the
// datagrams appended one by one would, across block edges and the trim.
TEST(ChannelQueue, GatheredRunsEqualAppendsOneByOne) {
    constexpr int kChannels = 3, kRun = 32;
    for (const int bytesEach : {16, 20}) {  // the fixed copy and the general one
        ChannelQueue gathered[kChannels], single[kChannels];
        const std::int64_t limit = 50000;
        float next = 0;
        bool anyTrimmed = false;
        for (int round = 0; round < 200; ++round) {
            std::vector<std::vector<float>> datagrams;
            const std::uint8_t* runs[kRun];
            for (int d = 0; d < kRun; ++d) {
                datagrams.push_back(ramp(kChannels * bytesEach / 4, next));
                next += float(kChannels * bytesEach / 4);
                runs[d] = reinterpret_cast<const std::uint8_t*>(datagrams.back().data());
            }
            anyTrimmed |= ChannelQueue::appendGathered(gathered, kChannels, runs, kRun, bytesEach, limit);
            for (int d = 0; d < kRun; ++d)
                for (int k = 0; k < kChannels; ++k) single[k].appendSamples(runs[d] + k * bytesEach, bytesEach);
            for (ChannelQueue& queue : single)
                if (queue.queuedBytes() > limit) queue.consumeBytes(queue.queuedBytes() - std::int32_t(limit));
        }
        EXPECT_TRUE(anyTrimmed);
        for (int k = 0; k < kChannels; ++k) {
            ASSERT_EQ(gathered[k].queuedBytes(), single[k].queuedBytes());
            std::vector<float> a(size_t(limit / 4)), b(size_t(limit / 4));
            gathered[k].readSamples(a.data(), std::int32_t(limit));
            single[k].readSamples(b.data(), std::int32_t(limit));
            EXPECT_EQ(a, b) << "channel " << k << ", " << bytesEach << " bytes each";
        }
    }
}
