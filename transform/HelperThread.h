// A second thread for passes whose samples are independent of one another: the
// calling thread and the helper take pieces of a range, each piece smaller than
// the one before, until none is left (so a processor that runs slower, or a
// helper that wakes late, takes fewer, and both end close together), and Share
// returns when both are done. The helper is
// started on the first range long enough to be worth sharing, only where the
// process may run on a second processor, and stopped and joined with the
// object; it never runs host code, so events, cancellation and the frame's
// checks stay on the calling thread, between ranges. Where no thread can be
// had, the calling thread does the whole range.
#pragma once

#include <atomic>
#include <cstddef>

#include "server/Platform.h"

namespace qelv {

class HelperThread {
public:
    // Ranges shorter than this are not shared (a hand-over costs a few
    // microseconds; 64 Ki samples take tens).
    static constexpr std::size_t kMinShare = std::size_t{1} << 16;

    HelperThread() = default;
    ~HelperThread();
    HelperThread(const HelperThread&) = delete;
    HelperThread& operator=(const HelperThread&) = delete;

    // work(b, e) over [begin, end), possibly in pieces (each starting at a
    // multiple of 512 from begin) run on two threads at the same time.
    template <class Work>
    void Share(std::size_t begin, std::size_t end, Work& work) {
        if (end - begin < kMinShare || !Start()) {
            work(begin, end);
            return;
        }
        Post(&Thunk<Work>, &work, begin, end);
        TakePieces();
        Wait();
    }

    // Off: no helper is started (tests compare both ways; a host never needs it).
    static void Allow(bool allow);

private:
    using Call = void (*)(void* work, std::size_t begin, std::size_t end);
    template <class Work>
    static void Thunk(void* work, std::size_t begin, std::size_t end) {
        (*static_cast<Work*>(work))(begin, end);
    }

    bool Start();
    void Post(Call call, void* work, std::size_t begin, std::size_t end);
    void TakePieces();
    void Wait();
    static DWORD WINAPI Main(LPVOID self);

    HANDLE thread_ = nullptr;
    // Each hand-over is numbered. The waiting side watches the number for a
    // while (the next range follows within an event handler's time) and then
    // sleeps on the auto-reset event, which is set after every change.
    std::atomic<unsigned> posted_{0};
    std::atomic<unsigned> done_{0};
    HANDLE postedEvent_ = nullptr;
    HANDLE doneEvent_ = nullptr;
    bool failed_ = false;  // a start was tried and failed: do not try again
    Call call_ = nullptr;  // null: stop
    void* work_ = nullptr;
    std::size_t end_ = 0;
    std::size_t minPiece_ = 0;
    std::atomic<std::size_t> next_{0};  // where the next piece starts
};

}  // namespace qelv
