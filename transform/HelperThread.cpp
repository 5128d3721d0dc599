#include "transform/HelperThread.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#endif

#include "transform/FloatEnvironment.h"

namespace qelv {
namespace {

std::atomic<bool> g_allowed{true};

// About a fifth of a millisecond of pause instructions before sleeping: longer
// than a hand-over between two ranges usually takes, short against the time
// a sleeping thread needs to be woken on a virtual machine.
constexpr int kSpins = 1 << 13;

// Pieces of falling size: each takes a quarter of what is left (half of it per
// thread), down to 256 Ki samples, long against a kernel call's own set-up
// (Vibrato's: about a hundred exact sines and cosines, a microsecond), but
// short enough (about 50 us) that the two threads end close together however
// late the helper starts. A range shorter than two such pieces is cut in two.
constexpr std::size_t kMinPiece = std::size_t{1} << 18;

constexpr std::size_t WholeBlocks(std::size_t n) { return (n + 511) & ~std::size_t{511}; }

inline void Pause() {
#if defined(__x86_64__) || defined(_M_X64)
    _mm_pause();
#endif
}

// Waits until number differs from seen; returns its new value.
unsigned AwaitChange(const std::atomic<unsigned>& number, unsigned seen, HANDLE event) {
    for (int spin = 0; spin < kSpins; ++spin) {
        const unsigned now = number.load(std::memory_order_acquire);
        if (now != seen) return now;
        Pause();
    }
    for (;;) {
        const unsigned now = number.load(std::memory_order_acquire);
        if (now != seen) return now;
        // A set left over from a change already seen only ends this wait early.
        WaitForSingleObject(event, INFINITE);
    }
}

}  // namespace

void HelperThread::Allow(bool allow) { g_allowed.store(allow, std::memory_order_relaxed); }

bool HelperThread::Start() {
    if (thread_) return true;
    if (failed_ || !g_allowed.load(std::memory_order_relaxed) || GetActiveProcessorCount(ALL_PROCESSOR_GROUPS) < 2) {
        return false;
    }
    failed_ = true;
    postedEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    doneEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (postedEvent_ && doneEvent_) thread_ = CreateThread(nullptr, 0, &HelperThread::Main, this, 0, nullptr);
    if (!thread_) return false;  // the destructor closes what was made
    failed_ = false;
    return true;
}

// The numbers order the hand-over: what the poster wrote before its release
// store is seen by the helper after its acquire load, and the helper's samples
// by the poster likewise.
void HelperThread::Post(Call call, void* work, std::size_t begin, std::size_t end) {
    call_ = call;
    work_ = work;
    end_ = end;
    const std::size_t half = WholeBlocks((end - begin + 1) / 2);
    minPiece_ = half < kMinPiece ? half : kMinPiece;
    next_.store(begin, std::memory_order_relaxed);
    posted_.fetch_add(1, std::memory_order_release);
    SetEvent(postedEvent_);
}

// Every piece starts a whole number of blocks of 512 from the range's start.
void HelperThread::TakePieces() {
    std::size_t at = next_.load(std::memory_order_relaxed);
    for (;;) {
        std::size_t to = 0;
        do {
            if (at >= end_) return;
            const std::size_t left = end_ - at;
            std::size_t piece = WholeBlocks(left / 4);
            if (piece < minPiece_) piece = minPiece_;
            to = left > piece ? at + piece : end_;
        } while (!next_.compare_exchange_weak(at, to, std::memory_order_relaxed));
        call_(work_, at, to);
        at = next_.load(std::memory_order_relaxed);
    }
}

void HelperThread::Wait() {
    const unsigned target = posted_.load(std::memory_order_relaxed);
    unsigned seen = done_.load(std::memory_order_acquire);
    while (seen != target) seen = AwaitChange(done_, seen, doneEvent_);
}

DWORD WINAPI HelperThread::Main(LPVOID self) {
    auto* helper = static_cast<HelperThread*>(self);
    // The transforms' own floating-point settings, as on the calling thread.
    FloatEnvironment floats;
    unsigned seen = 0;
    for (;;) {
        seen = AwaitChange(helper->posted_, seen, helper->postedEvent_);
        if (!helper->call_) return 0;
        helper->TakePieces();
        helper->done_.store(seen, std::memory_order_release);
        SetEvent(helper->doneEvent_);
    }
}

HelperThread::~HelperThread() {
    if (thread_) {
        Post(nullptr, nullptr, 0, 0);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    if (postedEvent_) CloseHandle(postedEvent_);
    if (doneEvent_) CloseHandle(doneEvent_);
}

}  // namespace qelv
