#include "transform/HelperThread.h"

#include <atomic>

#include "transform/FloatEnvironment.h"

namespace qelv {
namespace {

std::atomic<bool> g_allowed{true};

}  // namespace

void HelperThread::Allow(bool allow) { g_allowed.store(allow, std::memory_order_relaxed); }

bool HelperThread::Start() {
    if (thread_) return true;
    if (failed_ || !g_allowed.load(std::memory_order_relaxed) || GetActiveProcessorCount(ALL_PROCESSOR_GROUPS) < 2) {
        return false;
    }
    failed_ = true;
    posted_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    done_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (posted_ && done_) thread_ = CreateThread(nullptr, 0, &HelperThread::Main, this, 0, nullptr);
    if (!thread_) return false;  // the destructor closes what was made
    failed_ = false;
    return true;
}

// The events order the hand-over: what the poster wrote before SetEvent is seen
// by the helper after its wait, and the helper's samples by the poster after
// its own.
void HelperThread::Post(Call call, void* work, std::size_t begin, std::size_t end) {
    call_ = call;
    work_ = work;
    begin_ = begin;
    end_ = end;
    SetEvent(posted_);
}

void HelperThread::Wait() { WaitForSingleObject(done_, INFINITE); }

DWORD WINAPI HelperThread::Main(LPVOID self) {
    auto* helper = static_cast<HelperThread*>(self);
    // The transforms' own floating-point settings, as on the calling thread.
    FloatEnvironment floats;
    for (;;) {
        WaitForSingleObject(helper->posted_, INFINITE);
        if (!helper->call_) return 0;
        helper->call_(helper->work_, helper->begin_, helper->end_);
        SetEvent(helper->done_);
    }
}

HelperThread::~HelperThread() {
    if (thread_) {
        Post(nullptr, nullptr, 0, 0);
        WaitForSingleObject(thread_, INFINITE);
        CloseHandle(thread_);
    }
    if (posted_) CloseHandle(posted_);
    if (done_) CloseHandle(done_);
}

}  // namespace qelv
