// Slim reader/writer locks, exclusive use: the lock word is the descriptor's one
// pointer, null when free and non-null when held. A thread that finds it held
// waits on the word (a futex wait through the standard library), so a waiting
// thread costs nothing while the holder works.
#include <qelvsonalter2/platform.h>

#include <atomic>

namespace {

PVOID const kHeld = reinterpret_cast<PVOID>(1);

std::atomic_ref<PVOID> Word(PSRWLOCK lock) { return std::atomic_ref<PVOID>(lock->Ptr); }

}  // namespace

// AcquireSRWLockExclusive: takes the lock, waiting while another thread holds it.
//   SRWLock [in,out] the lock.
// NOTES: not recursive; a thread that already holds the lock waits for ever.
WINBASEAPI void WINAPI AcquireSRWLockExclusive(PSRWLOCK SRWLock) {
    std::atomic_ref<PVOID> word = Word(SRWLock);
    for (;;) {
        PVOID expected = nullptr;
        if (word.compare_exchange_strong(expected, kHeld, std::memory_order_acquire, std::memory_order_relaxed)) {
            return;
        }
        word.wait(expected, std::memory_order_relaxed);
    }
}

// ReleaseSRWLockExclusive: frees the lock and wakes one waiting thread.
//   SRWLock [in,out] the lock, held by the calling thread.
WINBASEAPI void WINAPI ReleaseSRWLockExclusive(PSRWLOCK SRWLock) {
    std::atomic_ref<PVOID> word = Word(SRWLock);
    word.store(nullptr, std::memory_order_release);
    word.notify_one();
}
