// Kernel services and task memory: MulDiv rounding and limits, the process
// heap, per-thread last error.
#include <gtest/gtest.h>
#include <qelvsonalter2/platform.h>

#include <climits>
#include <cstdint>
#include <thread>

TEST(MulDiv, RoundsHalvesAwayFromZero) {
    EXPECT_EQ(MulDiv(22050, 10, 1000), 221);  // 220.5
    EXPECT_EQ(MulDiv(11025, 10, 1000), 110);  // 110.25
    EXPECT_EQ(MulDiv(-22050, 10, 1000), -221);
    EXPECT_EQ(MulDiv(1, 7, 4), 2);
    EXPECT_EQ(MulDiv(-1, 1, 2), -1);
    EXPECT_EQ(MulDiv(1, 1, -2), -1);
    EXPECT_EQ(MulDiv(-1, -1, -2), -1);
    EXPECT_EQ(MulDiv(-5, 3, -2), 8);  // 7.5
    // The 64-bit product does not overflow where a 32-bit one would.
    EXPECT_EQ(MulDiv(INT_MAX / 2, 3, 2), 1610612735);
    EXPECT_EQ(MulDiv(INT_MIN, 1, 1), INT_MIN);
    EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, INT_MAX), INT_MAX);
}

TEST(MulDiv, ZeroDenominatorAndOverflowGiveMinusOne) {
    EXPECT_EQ(MulDiv(1, 2, 0), -1);
    EXPECT_EQ(MulDiv(INT_MAX, INT_MAX, 2), -1);
    EXPECT_EQ(MulDiv(INT_MIN, -1, 1), -1);  // +2^31 does not fit
    EXPECT_EQ(MulDiv(1, INT_MIN, INT_MIN), -1);  // 64-bit Windows gives -1 here
}

TEST(ProcessHeap, AllocatesSizesResizesAndFrees) {
    HANDLE heap = GetProcessHeap();
    ASSERT_NE(heap, nullptr);
    EXPECT_EQ(heap, GetProcessHeap());

    auto* block = static_cast<std::uint8_t*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 100));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u);
    EXPECT_EQ(HeapSize(heap, 0, block), 100u);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(block[i], 0) << i;
    block[99] = 0x5A;

    block = static_cast<std::uint8_t*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, 300));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(HeapSize(heap, 0, block), 300u);
    EXPECT_EQ(block[99], 0x5A);
    for (int i = 100; i < 300; ++i) ASSERT_EQ(block[i], 0) << i;
    EXPECT_TRUE(HeapFree(heap, 0, block));

    void* a = HeapAlloc(heap, 0, 0);
    void* b = HeapAlloc(heap, 0, 0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(HeapSize(heap, 0, a), 0u);
    EXPECT_TRUE(HeapFree(heap, 0, a));
    EXPECT_TRUE(HeapFree(heap, 0, b));
}

// Blocks of many megabytes (mapped on their own outside sanitizer builds):
// zeroed, aligned, resized both ways across the size where the kind changes,
// the contents kept and the growth zeroed.
TEST(ProcessHeap, LargeBlocksKeepTheHeapRules) {
    HANDLE heap = GetProcessHeap();
    const SIZE_T big = SIZE_T{24} << 20;
    auto* block = static_cast<std::uint8_t*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, big));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % 16, 0u);
    EXPECT_EQ(HeapSize(heap, 0, block), big);
    for (SIZE_T i = 0; i < big; i += 4093) ASSERT_EQ(block[i], 0) << i;
    block[0] = 1;
    block[big - 1] = 2;

    block = static_cast<std::uint8_t*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, big + 4096));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(HeapSize(heap, 0, block), big + 4096);
    EXPECT_EQ(block[0], 1);
    EXPECT_EQ(block[big - 1], 2);
    for (SIZE_T i = big; i < big + 4096; ++i) ASSERT_EQ(block[i], 0) << i;

    block = static_cast<std::uint8_t*>(HeapReAlloc(heap, 0, block, 1000));  // small again
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 1);
    block = static_cast<std::uint8_t*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, block, big));  // and large
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(block[0], 1);
    for (SIZE_T i = 1000; i < big; i += 4093) ASSERT_EQ(block[i], 0) << i;
    EXPECT_TRUE(HeapFree(heap, 0, block));
}

TEST(ProcessHeap, MisuseFailsCleanly) {
    HANDLE heap = GetProcessHeap();
    EXPECT_TRUE(HeapFree(heap, 0, nullptr));
    EXPECT_EQ(HeapAlloc(heap, 0, SIZE_MAX), nullptr);
    EXPECT_EQ(HeapAlloc(heap, 0, SIZE_MAX - 8), nullptr);
    EXPECT_EQ(HeapReAlloc(heap, 0, nullptr, 10), nullptr);
    void* block = HeapAlloc(heap, 0, 8);
    EXPECT_EQ(HeapReAlloc(heap, 0, block, SIZE_MAX), nullptr);
    EXPECT_EQ(HeapSize(heap, 0, block), 8u);  // still valid after the failed resize
    EXPECT_TRUE(HeapFree(heap, 0, block));
}

TEST(LastError, IsKeptPerThread) {
    SetLastError(ERROR_ACCESS_DENIED);
    DWORD seenInThread = 1234;
    std::thread other([&] {
        seenInThread = GetLastError();
        SetLastError(ERROR_INVALID_PARAMETER);
    });
    other.join();
    EXPECT_EQ(seenInThread, 0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    SetLastError(ERROR_SUCCESS);
}

TEST(TaskMemory, AllocatesResizesAndFrees) {
    void* empty = CoTaskMemAlloc(0);
    EXPECT_NE(empty, nullptr);
    CoTaskMemFree(empty);

    auto* p = static_cast<char*>(CoTaskMemRealloc(nullptr, 4));  // NULL allocates
    ASSERT_NE(p, nullptr);
    p[0] = 'q';
    p = static_cast<char*>(CoTaskMemRealloc(p, 4096));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p[0], 'q');
    EXPECT_EQ(CoTaskMemRealloc(p, 0), nullptr);  // frees

    EXPECT_EQ(CoTaskMemAlloc(SIZE_MAX), nullptr);
    CoTaskMemFree(nullptr);
}
