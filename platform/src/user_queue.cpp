// The per-thread message queue and dispatch. A thread's messages come out in
// this order: messages sent from other threads are run first, then posted and
// input messages in the order they came, then WM_QUIT, then WM_PAINT for a
// window with an update region, then due WM_TIMER messages. GetMessageW sleeps
// in poll() on the queue's eventfd (written by PostMessageW from any thread
// and by SendMessageW across threads) and the display connection, with a
// timeout for the next timer.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include "user_internal.h"

namespace qelv_user {

bool NextTimer(Queue* queue, HWND filter, bool remove, MSG* msg);
int TimerTimeout(Queue* queue);

namespace {

thread_local Queue* t_queue = nullptr;

std::vector<std::unique_ptr<Queue>>& Queues() {
    static std::vector<std::unique_ptr<Queue>> queues;
    return queues;
}

bool InRange(UINT message, UINT first, UINT last) {
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

// A NULL filter takes every message of the thread; (HWND)-1 only those posted
// with no window; any other handle only that window's.
bool Matches(HWND hwnd, HWND filter) {
    if (!filter) return true;
    if (filter == reinterpret_cast<HWND>(-1)) return hwnd == nullptr;
    return hwnd == filter;
}

// Runs the messages other threads sent to this thread's windows.
void RunSent() {
    std::unique_lock<std::mutex> lock(Lock());
    Queue* q = CurrentQueue();
    while (!q->sent.empty()) {
        SentMessage* s = q->sent.front();
        q->sent.pop_front();
        lock.unlock();
        const LRESULT result = CallProc(s->hwnd, s->message, s->wParam, s->lParam);
        lock.lock();
        s->result = result;
        s->done = true;
        q->replied.notify_all();
    }
}

void DrainWake(Queue* q) {
    uint64_t count;
    while (read(q->wake, &count, sizeof(count)) == static_cast<ssize_t>(sizeof(count))) {
    }
}

enum class Found { None, Message, BadWindow };

// One look at the queue; fills msg and removes it when asked.
Found Look(LPMSG msg, HWND filter, UINT first, UINT last, bool remove) {
    for (;;) {
        RunSent();
        XPump();
        QueuedMessage taken{};
        {
            std::lock_guard<std::mutex> lock(Lock());
            Queue* q = CurrentQueue();
            DrainWake(q);
            if (filter && filter != reinterpret_cast<HWND>(-1) && !WindowOf(filter)) {
                SetLastError(ERROR_INVALID_WINDOW_HANDLE);
                return Found::BadWindow;
            }
            auto it = std::find_if(q->posted.begin(), q->posted.end(), [&](const QueuedMessage& m) {
                return Matches(m.msg.hwnd, filter) && InRange(m.msg.message, first, last);
            });
            if (it != q->posted.end()) {
                taken = *it;
                if (remove) q->posted.erase(it);
            } else if (q->quit && InRange(WM_QUIT, first, last)) {
                *msg = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q->exitCode), 0, GetTickCount(), {}};
                if (remove) q->quit = false;
                return Found::Message;
            } else {
                HWND target = nullptr;
                if (InRange(WM_PAINT, first, last) && NextPaint(q, filter, &target)) {
                    *msg = MSG{target, WM_PAINT, 0, 0, GetTickCount(), {}};
                    return Found::Message;
                }
                if (InRange(WM_TIMER, first, last) && NextTimer(q, filter, remove, msg)) return Found::Message;
                return Found::None;
            }
        }
        *msg = taken.msg;
        if (!remove || !taken.input) return Found::Message;
        if (!PrepareInput(msg)) continue;  // eaten by mouse activation
        if (msg->message == WM_KEYDOWN) {
            std::lock_guard<std::mutex> lock(Lock());
            Queue* q = CurrentQueue();
            q->lastKey = *msg;
            q->lastKeyChar = taken.ch;
        }
        return Found::Message;
    }
}

}  // namespace

Queue::~Queue() {
    if (wake >= 0) close(wake);
}

Queue* CurrentQueue() {
    if (!t_queue) {
        auto q = std::make_unique<Queue>();
        q->thread = std::this_thread::get_id();
        q->wake = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        t_queue = q.get();
        Queues().push_back(std::move(q));
    }
    return t_queue;
}

void Wake(Queue* queue) {
    if (queue->wake < 0) return;
    const uint64_t one = 1;
    const ssize_t written = write(queue->wake, &one, sizeof(one));
    (void)written;  // a full counter already wakes the reader
}

void Enqueue(Window* window, const MSG& msg, bool input, WCHAR ch) {
    window->queue->posted.push_back(QueuedMessage{msg, input, ch});
    Wake(window->queue);
}

}  // namespace qelv_user

using namespace qelv_user;

// GetTickCount: milliseconds of the monotonic clock, wrapping at 2^32.
WINBASEAPI DWORD WINAPI GetTickCount(void) { return static_cast<DWORD>(Now()); }

// PeekMessageW: the next message of the calling thread without waiting.
//   hWnd  [in] NULL for every message of the thread, (HWND)-1 for messages
//         posted without a window, or one window.
//   wMsgFilterMin, wMsgFilterMax [in] the range of messages; 0, 0 for all.
//   wRemoveMsg [in] PM_REMOVE takes the message out; WM_PAINT stays until the
//         window is validated.
// Returns TRUE with *lpMsg filled, or FALSE when nothing is waiting.
WINBASEAPI BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                                    UINT wRemoveMsg) {
    if (!lpMsg) return FALSE;
    return Look(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0) == Found::Message ? TRUE
                                                                                                          : FALSE;
}

// GetMessageW: waits for and removes the next message, as PeekMessageW with
// PM_REMOVE. Returns FALSE for WM_QUIT, -1 for an unknown window filter
// (ERROR_INVALID_WINDOW_HANDLE), else TRUE.
WINBASEAPI BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (!lpMsg) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    for (;;) {
        const Found found = Look(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true);
        if (found == Found::BadWindow) return -1;
        if (found == Found::Message) return lpMsg->message == WM_QUIT ? FALSE : TRUE;
        int timeout;
        pollfd fds[2];
        nfds_t count = 0;
        {
            std::lock_guard<std::mutex> lock(Lock());
            Queue* q = CurrentQueue();
            timeout = TimerTimeout(q);
            fds[count++] = pollfd{q->wake, POLLIN, 0};
            const int xfd = XFd();
            if (xfd >= 0) fds[count++] = pollfd{xfd, POLLIN, 0};
        }
        poll(fds, count, timeout);
    }
}

// TranslateMessage: for a WM_KEYDOWN just retrieved that stands for a
// character, posts WM_CHAR with it ahead of every other message.
// Returns TRUE when it posted one, else FALSE.
WINBASEAPI BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
    if (!lpMsg || lpMsg->message != WM_KEYDOWN) return FALSE;
    std::lock_guard<std::mutex> lock(Lock());
    Queue* q = CurrentQueue();
    Window* w = WindowOf(lpMsg->hwnd);
    if (!w || !q->lastKeyChar || q->lastKey.hwnd != lpMsg->hwnd || q->lastKey.wParam != lpMsg->wParam ||
        q->lastKey.time != lpMsg->time) {
        return FALSE;
    }
    MSG ch = *lpMsg;
    ch.message = WM_CHAR;
    ch.wParam = q->lastKeyChar;
    q->posted.push_front(QueuedMessage{ch, false, 0});
    q->lastKeyChar = 0;
    return TRUE;
}

// DispatchMessageW: hands a retrieved message to its window procedure; a
// WM_TIMER whose lParam holds a TIMERPROC calls that instead.
// Returns the procedure's answer; 0 for a message without a window, or an
// unknown window (ERROR_INVALID_WINDOW_HANDLE).
WINBASEAPI LRESULT WINAPI DispatchMessageW(const MSG* lpMsg) {
    if (!lpMsg) return 0;
    if (lpMsg->message == WM_TIMER && lpMsg->lParam) {
        reinterpret_cast<TIMERPROC>(lpMsg->lParam)(lpMsg->hwnd, WM_TIMER, lpMsg->wParam, GetTickCount());
        return 0;
    }
    if (!lpMsg->hwnd) return 0;
    if (!IsWindow(lpMsg->hwnd)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return CallProc(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

// PostMessageW: puts a message at the end of the queue of the window's thread
// (NULL: of the calling thread) and returns at once.
// Returns TRUE, or FALSE with ERROR_INVALID_WINDOW_HANDLE.
WINBASEAPI BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    std::lock_guard<std::mutex> lock(Lock());
    const MSG msg{hWnd, Msg, wParam, lParam, GetTickCount(), TrackedPointer()};
    if (!hWnd) {
        Queue* q = CurrentQueue();
        q->posted.push_back(QueuedMessage{msg, false, 0});
        Wake(q);
        return TRUE;
    }
    Window* w = WindowOrFail(hWnd);
    if (!w) return FALSE;
    Enqueue(w, msg, false, 0);
    return TRUE;
}

// SendMessageW: runs the window procedure and returns its answer. For a window
// of the calling thread the procedure is called directly; for another
// thread's window the message waits in that thread's queue until it retrieves
// messages, while this thread keeps running messages sent to it.
// Returns the answer, or 0 with ERROR_INVALID_WINDOW_HANDLE.
WINBASEAPI LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    std::unique_lock<std::mutex> lock(Lock());
    Window* w = WindowOrFail(hWnd);
    if (!w) return 0;
    Queue* target = w->queue;
    if (target->thread == std::this_thread::get_id()) {
        lock.unlock();
        return CallProc(hWnd, Msg, wParam, lParam);
    }
    SentMessage s;
    s.hwnd = hWnd;
    s.message = Msg;
    s.wParam = wParam;
    s.lParam = lParam;
    target->sent.push_back(&s);
    Wake(target);
    while (!s.done) {
        target->replied.wait_for(lock, std::chrono::milliseconds(10));
        if (s.done) break;
        auto& sent = target->sent;
        const auto queued = std::find(sent.begin(), sent.end(), &s);
        if (queued != sent.end() && !WindowOf(hWnd)) {  // destroyed before it ran: dropped
            sent.erase(queued);
            return 0;
        }
        lock.unlock();
        RunSent();
        lock.lock();
    }
    return s.result;
}

// PostQuitMessage: makes the calling thread's GetMessageW return FALSE with
// WM_QUIT (wParam nExitCode) once the posted messages before it are taken.
WINBASEAPI void WINAPI PostQuitMessage(int nExitCode) {
    std::lock_guard<std::mutex> lock(Lock());
    Queue* q = CurrentQueue();
    q->quit = true;
    q->exitCode = nExitCode;
    Wake(q);
}
