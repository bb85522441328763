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
