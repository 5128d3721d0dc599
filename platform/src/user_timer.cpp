// Timers: SetTimer / KillTimer, and the WM_TIMER messages a thread's queue
// produces when a timer is due and nothing else is waiting. A timer produces
// at most one message per period, however late the thread looks.
#include <algorithm>

#include "user_internal.h"

namespace qelv_user {

// The shortest and longest periods; shorter and longer requests are clamped.
constexpr UINT kMinimumElapse = 10;
constexpr UINT kMaximumElapse = 0x7FFFFFFF;

bool NextTimer(Queue* queue, HWND filter, bool remove, MSG* msg) {
    const uint64_t now = Now();
    for (Timer& t : queue->timers) {
        if (t.due > now) continue;
        if (filter && (filter == reinterpret_cast<HWND>(-1) ? t.hwnd != nullptr : t.hwnd != filter)) continue;
        *msg = MSG{t.hwnd, WM_TIMER, t.id, reinterpret_cast<LPARAM>(t.proc), static_cast<DWORD>(now), {}};
        if (remove) t.due = now + t.elapse;
        return true;
    }
    return false;
}

int TimerTimeout(Queue* queue) {
    if (queue->timers.empty()) return -1;
    const uint64_t now = Now();
    uint64_t soonest = UINT64_MAX;
    for (const Timer& t : queue->timers) soonest = std::min(soonest, t.due);
    return soonest <= now ? 0 : static_cast<int>(std::min<uint64_t>(soonest - now, 0x7FFFFFFF));
}

}  // namespace qelv_user

using namespace qelv_user;

// SetTimer: starts or restarts a timer of the calling thread.
//   hWnd        [in] the window WM_TIMER goes to, or NULL for a thread timer.
//   nIDEvent    [in] with a window, the timer's id (an existing one restarts);
//               without, ignored: a new id is chosen.
//   uElapse     [in] the period in ms, clamped to 10 .. 0x7FFFFFFF.
//   lpTimerFunc [in] NULL, or a procedure DispatchMessageW calls instead of
//               the window procedure.
// Returns the timer's id (1 for a window timer with id 0, which KillTimer
// knows as 0), or 0 with ERROR_INVALID_WINDOW_HANDLE.
WINBASEAPI UINT_PTR WINAPI SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse, TIMERPROC lpTimerFunc) {
    std::lock_guard<std::mutex> lock(Lock());
    Queue* q = CurrentQueue();
    if (hWnd) {
        Window* w = WindowOrFail(hWnd);
        if (!w) return 0;
        q = w->queue;
    } else {
        static UINT_PTR nextId = 0x7FF0;
        do {
            nextId = nextId == 0xFFFF ? 0x7FF0 : nextId + 1;
        } while (std::any_of(q->timers.begin(), q->timers.end(),
                             [&](const Timer& t) { return !t.hwnd && t.id == nextId; }));
        nIDEvent = nextId;
    }
    const UINT elapse = std::clamp(uElapse, kMinimumElapse, kMaximumElapse);
    const uint64_t due = Now() + elapse;
    auto it = std::find_if(q->timers.begin(), q->timers.end(),
                           [&](const Timer& t) { return t.hwnd == hWnd && t.id == nIDEvent; });
    if (it != q->timers.end()) {
        *it = Timer{hWnd, nIDEvent, elapse, lpTimerFunc, due};
    } else {
        q->timers.push_back(Timer{hWnd, nIDEvent, elapse, lpTimerFunc, due});
    }
    Wake(q);
    return nIDEvent ? nIDEvent : 1;
}

// KillTimer: stops a timer; its pending WM_TIMER is not produced any more.
// Returns TRUE, or FALSE when no such timer exists.
WINBASEAPI BOOL WINAPI KillTimer(HWND hWnd, UINT_PTR uIDEvent) {
    std::lock_guard<std::mutex> lock(Lock());
    Queue* q = CurrentQueue();
    if (hWnd) {
        Window* w = WindowOrFail(hWnd);
        if (!w) return FALSE;
        q = w->queue;
    }
    const auto before = q->timers.size();
    q->timers.erase(std::remove_if(q->timers.begin(), q->timers.end(),
                                   [&](const Timer& t) { return t.hwnd == hWnd && t.id == uIDEvent; }),
                    q->timers.end());
    return q->timers.size() != before ? TRUE : FALSE;
}
