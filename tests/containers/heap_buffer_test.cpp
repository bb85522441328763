#include <gtest/gtest.h>

#include <cstdlib>

#include "containers/byte_queue.h"
#include "containers/heap_allocator.h"
#include "containers/heap_buffer.h"
#include "containers/ptr_list.h"

using namespace larkwire;

TEST(HeapBuffer, GrowsInPageRoundedSteps) {
    struct Case {
        std::int32_t size;
        std::int32_t allocation;
    };
    for (Case c : {Case{4, 4000}, Case{100, 4000}, Case{172, 4000}, Case{4000, 8096},
                   Case{4001, 8096}, Case{20000, 24480}, Case{10000000, 14192544}}) {
        HeapBuffer buffer;
        EXPECT_NE(buffer.resize(c.size), nullptr);
        EXPECT_EQ(buffer.allocatedSize(), c.allocation) << c.size;
        EXPECT_EQ(buffer.usedSize(), c.size);
    }
}

TEST(HeapBuffer, ShrinksOnlyWhenAskedAndWorthIt) {
    HeapBuffer buffer;
    buffer.resize(20000);
    ASSERT_EQ(buffer.allocatedSize(), 24480);
    buffer.resize(100);
    EXPECT_EQ(buffer.allocatedSize(), 24480);  // no shrink without asking
    buffer.resize(20000);
    buffer.resize(13000, true);
    EXPECT_EQ(buffer.allocatedSize(), 24480);  // not below half
    buffer.resize(100, true);
    EXPECT_EQ(buffer.allocatedSize(), 4000);
    EXPECT_EQ(buffer.resize(0), nullptr);
    EXPECT_NE(buffer.bytes(), nullptr);  // the block stays for reuse
}

namespace {
int failuresLeft = 0;
void* failingMalloc(std::size_t n) { return failuresLeft-- > 0 ? nullptr : std::malloc(n); }
void* failingRealloc(void* p, std::size_t n) {
    return failuresLeft-- > 0 ? nullptr : std::realloc(p, n);
}

struct FailingHeap {
    explicit FailingHeap(int failures) : saved(heapAllocator()) {
        failuresLeft = failures;
        heapAllocator() = HeapAllocator{&failingMalloc, &failingRealloc, &std::free};
    }
    ~FailingHeap() { heapAllocator() = saved; }
    HeapAllocator saved;
};
}  // namespace

TEST(HeapBuffer, FailedGrowthKeepsEverything) {
    HeapBuffer buffer;
    buffer.resize(16);
    std::memcpy(buffer.bytes(), "0123456789abcdef", 16);
    void* before = buffer.bytes();
    {
        FailingHeap heap(2);  // realloc and the fallback malloc both fail
        EXPECT_EQ(buffer.resize(50000), before);
    }
    EXPECT_EQ(buffer.usedSize(), 16);
    EXPECT_EQ(buffer.allocatedSize(), 4000);
    EXPECT_EQ(std::memcmp(buffer.bytes(), "0123456789abcdef", 16), 0);
    {
        FailingHeap heap(1);  // realloc fails, the fallback copies
        buffer.resize(50000);
    }
    EXPECT_EQ(buffer.usedSize(), 50000);
    EXPECT_EQ(std::memcmp(buffer.bytes(), "0123456789abcdef", 16), 0);
}

TEST(HeapBuffer, ResizeToFitTakesWhatTheContentNeeds) {
    HeapBuffer buffer;
    struct Step {
        std::int32_t size;
        std::int32_t allocation;
    };
    for (Step s : {Step{1247, 1280}, Step{1071, 1280}, Step{700, 1280},  // kept up to twice the fit
                   Step{500, 512}, Step{65535, 65536}, Step{1247, 1280}, Step{0, 1280}}) {
        buffer.resizeToFit(s.size);
        EXPECT_EQ(buffer.allocatedSize(), s.allocation) << s.size;
        EXPECT_EQ(buffer.usedSize(), s.size);
    }
    buffer.resizeToFit(100, 1247);  // the floor keeps room for a bigger one
    EXPECT_EQ(buffer.allocatedSize(), 1280);
    buffer.resizeToFit(16);
    std::memcpy(buffer.bytes(), "0123456789abcdef", 16);
    {
        FailingHeap heap(2);
        buffer.resizeToFit(50000);
    }
    EXPECT_EQ(buffer.usedSize(), 16);
    EXPECT_EQ(std::memcmp(buffer.bytes(), "0123456789abcdef", 16), 0);
}

TEST(PtrList, AddDeleteAndBounds) {
    PtrList<int> list;
    int values[5] = {0, 1, 2, 3, 4};
    EXPECT_EQ(list.get(0), nullptr);
    for (int& v : values) EXPECT_TRUE(list.add(&v));
    list.deleteAt(1);
    list.deleteAt(-1);
    list.deleteAt(list.count());
    ASSERT_EQ(list.count(), 4);
    EXPECT_EQ(*list.get(0), 0);
    EXPECT_EQ(*list.get(1), 2);
    EXPECT_EQ(*list.takeLast(), 4);
    EXPECT_EQ(list.count(), 3);
    {
        FailingHeap heap(0);
        for (int i = 0; i < 2000; ++i) list.add(&values[0]);  // grows past its first block
    }
    EXPECT_EQ(list.count(), 2003);
    const std::int32_t before = list.count();
    {
        FailingHeap heap(1000000);
        for (int i = 0; i < 5000; ++i) list.add(&values[0]);
    }
    EXPECT_LE(list.count(), before + 5000);
    EXPECT_EQ(*list.get(1), 2);  // old contents survive failed growth
}

TEST(ByteQueue, AppendsAndReads) {
    ByteQueue queue;
    EXPECT_EQ(queue.readPointer(), nullptr);
    EXPECT_TRUE(queue.append("abcd", 4));
    EXPECT_TRUE(queue.append("ef", 2));
    EXPECT_EQ(queue.available(), 6);
    EXPECT_EQ(std::memcmp(queue.readPointer(), "abcdef", 6), 0);
    queue.clear();
    EXPECT_EQ(queue.available(), 0);
    EXPECT_EQ(queue.readPointer(), nullptr);
}
