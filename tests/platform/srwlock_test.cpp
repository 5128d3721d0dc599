// Slim reader/writer locks, exclusive use: mutual exclusion between threads.
#include <gtest/gtest.h>
#include <qelvsonalter2/platform.h>

#include <thread>
#include <vector>

namespace {

TEST(SrwLock, ExcludesOtherThreads) {
    SRWLOCK lock = SRWLOCK_INIT;
    long counter = 0;  // not atomic: only the lock protects it
    const auto work = [&] {
        for (int i = 0; i < 20000; ++i) {
            AcquireSRWLockExclusive(&lock);
            const long seen = counter;
            if (i % 1000 == 0) std::this_thread::yield();
            counter = seen + 1;
            ReleaseSRWLockExclusive(&lock);
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back(work);
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(counter, 80000);
}

}  // namespace
