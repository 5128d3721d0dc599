// Threads and events: start and end, the two kinds of reset, timeouts,
// and the answers to handles that are not open.
#include <gtest/gtest.h>
#include <qelvsonalter2/platform.h>

#include <atomic>

namespace {

struct Shared {
    HANDLE go = nullptr;
    std::atomic<int> passed{0};
};

DWORD WINAPI WaitThenCount(LPVOID p) {
    auto* shared = static_cast<Shared*>(p);
    if (WaitForSingleObject(shared->go, INFINITE) != WAIT_OBJECT_0) return 1;
    ++shared->passed;
    return 0;
}

TEST(Threads, EventsReleaseThreadsAndThreadsSignalTheirEnd) {
    // An auto-reset event lets one waiter through per SetEvent.
    Shared shared;
    shared.go = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(shared.go, nullptr);
    DWORD id = 0;
    HANDLE first = CreateThread(nullptr, 0, &WaitThenCount, &shared, 0, &id);
    HANDLE second = CreateThread(nullptr, 0, &WaitThenCount, &shared, 0, nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_EQ(WaitForSingleObject(first, 20), WAIT_TIMEOUT);
    EXPECT_TRUE(SetEvent(shared.go));
    while (shared.passed.load() == 0) {
    }
    EXPECT_EQ(WaitForSingleObject(shared.go, 0), WAIT_TIMEOUT);  // the one waiter reset it
    EXPECT_EQ(shared.passed.load(), 1);
    EXPECT_TRUE(SetEvent(shared.go));
    for (HANDLE t : {first, second}) {
        EXPECT_EQ(WaitForSingleObject(t, INFINITE), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForSingleObject(t, 0), WAIT_OBJECT_0);  // a finished thread stays signalled
        EXPECT_TRUE(CloseHandle(t));
    }
    EXPECT_EQ(shared.passed.load(), 2);

    // A manual-reset event stays set until it is reset.
    HANDLE manual = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(ResetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 5), WAIT_TIMEOUT);
    EXPECT_TRUE(CloseHandle(manual));
    EXPECT_TRUE(CloseHandle(shared.go));
}

TEST(Threads, HandlesThatAreNotOpenAreRefused) {
    HANDLE event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ASSERT_TRUE(CloseHandle(event));
    SetLastError(0);
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(SetEvent(event));
    EXPECT_FALSE(CloseHandle(event));
    EXPECT_FALSE(CloseHandle(nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));

    EXPECT_EQ(CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(CreateEventW(nullptr, FALSE, FALSE, OLESTR("named")), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_SUPPORTED));

    EXPECT_GE(GetActiveProcessorCount(ALL_PROCESSOR_GROUPS), 1u);
    EXPECT_EQ(GetActiveProcessorCount(0), GetActiveProcessorCount(ALL_PROCESSOR_GROUPS));
    EXPECT_EQ(GetActiveProcessorCount(3), 0u);
}

}  // namespace
