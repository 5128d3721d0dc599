// Threads and events as kernel handles. Each handle names an entry of a
// process-wide table, so that a stale or made-up handle is answered with
// ERROR_INVALID_HANDLE instead of being followed. A thread's object stays alive
// while the thread runs, also after its handle is closed.
#include <qelvsonalter2/platform.h>

#include <sched.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <thread>
#include <unordered_map>

namespace {

struct KernelObject {
    enum class Kind { Thread, Event } kind;
    std::mutex mutex;
    std::condition_variable changed;
    bool signalled = false;
    bool manualReset = true;  // a thread stays signalled once it has returned
    explicit KernelObject(Kind k) : kind(k) {}
};

class HandleTable {
public:
    HANDLE Add(std::shared_ptr<KernelObject> object) {
        std::lock_guard<std::mutex> hold(mutex_);
        next_ += 4;  // like the system's: multiples of 4, never 0
        objects_.emplace(next_, std::move(object));
        return reinterpret_cast<HANDLE>(next_);
    }
    std::shared_ptr<KernelObject> Find(HANDLE handle) {
        std::lock_guard<std::mutex> hold(mutex_);
        const auto it = objects_.find(reinterpret_cast<std::uintptr_t>(handle));
        return it == objects_.end() ? nullptr : it->second;
    }
    bool Remove(HANDLE handle) {
        std::lock_guard<std::mutex> hold(mutex_);
        return objects_.erase(reinterpret_cast<std::uintptr_t>(handle)) == 1;
    }

private:
    std::mutex mutex_;
    std::uintptr_t next_ = 0x100;
    std::unordered_map<std::uintptr_t, std::shared_ptr<KernelObject>> objects_;
};

HandleTable& Handles() {
    static HandleTable* table = new HandleTable;  // outlives threads still running at exit
    return *table;
}

std::shared_ptr<KernelObject> Lookup(HANDLE handle, KernelObject::Kind kind, bool anyKind = false) {
    std::shared_ptr<KernelObject> object = Handles().Find(handle);
    if (!object || (!anyKind && object->kind != kind)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return object;
}

void Signal(KernelObject& object, bool on) {
    {
        std::lock_guard<std::mutex> hold(object.mutex);
        object.signalled = on;
    }
    if (on) object.changed.notify_all();
}

}  // namespace

// CreateThread: runs lpStartAddress(lpParameter) on a new thread.
//   lpThreadAttributes [in] must be null.
//   dwStackSize        [in] ignored (the system's default stack).
//   dwCreationFlags    [in] 0 or STACK_SIZE_PARAM_IS_A_RESERVATION.
//   lpThreadId         [out, optional] a number for the thread.
//   RETURNS the thread's handle; null with ERROR_NOT_SUPPORTED for attributes or
//   suspended creation, ERROR_INVALID_PARAMETER for a null start routine,
//   ERROR_NOT_ENOUGH_MEMORY when no thread can be started.
WINBASEAPI HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T, LPTHREAD_START_ROUTINE
                                      lpStartAddress, LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
    if (lpThreadAttributes || (dwCreationFlags & ~static_cast<DWORD>(STACK_SIZE_PARAM_IS_A_RESERVATION))) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    if (!lpStartAddress) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::shared_ptr<KernelObject> object;
    HANDLE handle = nullptr;
    try {
        object = std::make_shared<KernelObject>(KernelObject::Kind::Thread);
        handle = Handles().Add(object);
        std::thread([object, lpStartAddress, lpParameter] {
            lpStartAddress(lpParameter);
            Signal(*object, true);
        }).detach();
    } catch (...) {  // std::bad_alloc or std::system_error
        if (handle) Handles().Remove(handle);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    static std::atomic<DWORD> ids{0x1000};
    if (lpThreadId) *lpThreadId = ids.fetch_add(4);
    return handle;
}

// CreateEventW: an unnamed event, manual- or auto-reset, set or not.
//   RETURNS its handle; null with ERROR_NOT_SUPPORTED for a name or attributes,
//   ERROR_NOT_ENOUGH_MEMORY when out of memory.
WINBASEAPI HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                                      BOOL bInitialState, LPCWSTR lpName) {
    if (lpEventAttributes || lpName) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return nullptr;
    }
    try {
        std::shared_ptr<KernelObject> object = std::make_shared<KernelObject>(KernelObject::Kind::Event);
        object->manualReset = bManualReset != FALSE;
        object->signalled = bInitialState != FALSE;
        return Handles().Add(std::move(object));
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

// SetEvent / ResetEvent: sets (waking the waiters, or one of them for an
// auto-reset event) or clears the event. FALSE with ERROR_INVALID_HANDLE for
// anything but an open event handle.
WINBASEAPI BOOL WINAPI SetEvent(HANDLE hEvent) {
    const std::shared_ptr<KernelObject> object = Lookup(hEvent, KernelObject::Kind::Event);
    if (!object) return FALSE;
    Signal(*object, true);
    return TRUE;
}

WINBASEAPI BOOL WINAPI ResetEvent(HANDLE hEvent) {
    const std::shared_ptr<KernelObject> object = Lookup(hEvent, KernelObject::Kind::Event);
    if (!object) return FALSE;
    Signal(*object, false);
    return TRUE;
}

// WaitForSingleObject: waits until the thread has returned or the event is set,
// for at most dwMilliseconds (INFINITE: no limit). An auto-reset event is
// cleared by the wait it ends.
//   RETURNS WAIT_OBJECT_0, WAIT_TIMEOUT, or WAIT_FAILED with ERROR_INVALID_HANDLE.
WINBASEAPI DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    const std::shared_ptr<KernelObject> object = Lookup(hHandle, KernelObject::Kind::Event, true);
    if (!object) return WAIT_FAILED;
    std::unique_lock<std::mutex> hold(object->mutex);
    const auto ready = [&] { return object->signalled; };
    if (dwMilliseconds == INFINITE) {
        object->changed.wait(hold, ready);
    } else if (!object->changed.wait_for(hold, std::chrono::milliseconds(dwMilliseconds), ready)) {
        return WAIT_TIMEOUT;
    }
    if (!object->manualReset) object->signalled = false;
    return WAIT_OBJECT_0;
}

// CloseHandle: closes a thread or event handle (a running thread runs on).
//   RETURNS FALSE with ERROR_INVALID_HANDLE for a handle that is not open.
WINBASEAPI BOOL WINAPI CloseHandle(HANDLE hObject) {
    if (!Handles().Remove(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

// GetActiveProcessorCount: the processors this process may run on, for
// ALL_PROCESSOR_GROUPS or group 0 (the only group here); 0 with
// ERROR_INVALID_PARAMETER for another group.
WINBASEAPI DWORD WINAPI GetActiveProcessorCount(WORD GroupNumber) {
    if (GroupNumber != 0 && GroupNumber != ALL_PROCESSOR_GROUPS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<DWORD>(CPU_COUNT(&set));
    const unsigned count = std::thread::hardware_concurrency();
    return count ? count : 1;
}
