// Per-thread initialisation of the component services (apartments).
//
// Objects are always called directly on the caller's thread: there is no
// marshalling between apartments. The apartment kind is still tracked so that
// the statuses match Windows (S_FALSE, RPC_E_CHANGED_MODE, CO_E_NOTINITIALIZED
// and the implicit multithreaded apartment).
#include "com_internal.h"

#include <atomic>

namespace {

std::atomic<long> g_initialisedThreads{0};
std::atomic<long> g_multithreadedThreads{0};

struct ThreadApartment {
    unsigned long count = 0;  // successful CoInitialize(Ex) calls not yet balanced
    bool multithreaded = false;

    void Leave() {
        g_initialisedThreads.fetch_sub(1);
        if (multithreaded) g_multithreadedThreads.fetch_sub(1);
    }
    ~ThreadApartment() {
        // A thread that ends without CoUninitialize leaves its apartment anyway.
        if (count > 0) Leave();
    }
};

thread_local ThreadApartment t_apartment;

}  // namespace

namespace qelv::com {

bool ThreadMayActivate() { return t_apartment.count > 0 || g_multithreadedThreads.load() > 0; }

}  // namespace qelv::com

/***********************************************************************
 * CoInitializeEx
 * Enters the calling thread into an apartment.
 * PARAMS
 *   pvReserved [in] must be NULL
 *   dwCoInit   [in] COINIT_APARTMENTTHREADED or COINIT_MULTITHREADED, optionally with
 *                   COINIT_DISABLE_OLE1DDE / COINIT_SPEED_OVER_MEMORY
 * RETURNS
 *   S_OK for the thread's first call; S_FALSE when it is already in an apartment of that kind;
 *   RPC_E_CHANGED_MODE when it is in the other kind; E_INVALIDARG for a non-NULL pvReserved or
 *   unknown flags.
 * NOTES
 *   Every S_OK and S_FALSE needs its own CoUninitialize; RPC_E_CHANGED_MODE does not. While any
 *   thread is in the multithreaded apartment, threads that never called CoInitializeEx belong
 *   to it implicitly and may create objects.
 */
STDAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    constexpr DWORD known = COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE | COINIT_SPEED_OVER_MEMORY;
    if (pvReserved || (dwCoInit & ~known)) return E_INVALIDARG;
    bool multithreaded = !(dwCoInit & COINIT_APARTMENTTHREADED);
    ThreadApartment& apartment = t_apartment;
    if (apartment.count > 0) {
        if (apartment.multithreaded != multithreaded) return RPC_E_CHANGED_MODE;
        ++apartment.count;
        return S_FALSE;
    }
    apartment.count = 1;
    apartment.multithreaded = multithreaded;
    g_initialisedThreads.fetch_add(1);
    if (multithreaded) g_multithreadedThreads.fetch_add(1);
    return S_OK;
}

/***********************************************************************
 * CoInitialize
 * Enters the calling thread into a single-threaded apartment.
 * PARAMS
 *   pvReserved [in] must be NULL
 * RETURNS
 *   As CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED).
 */
STDAPI CoInitialize(LPVOID pvReserved) { return CoInitializeEx(pvReserved, COINIT_APARTMENTTHREADED); }

/***********************************************************************
 * CoUninitialize
 * Balances one successful CoInitialize(Ex) of the calling thread.
 * NOTES
 *   Does nothing on a thread that is not initialised. When the last thread of the process
 *   leaves its apartment, the in-process servers whose DllCanUnloadNow answers S_OK are
 *   unloaded (Windows unloads a thread's servers at that point; servers still in use stay).
 */
STDAPI_(void) CoUninitialize(void) {
    ThreadApartment& apartment = t_apartment;
    if (apartment.count == 0) return;
    if (--apartment.count > 0) return;
    apartment.Leave();
    if (g_initialisedThreads.load() == 0) qelv::com::FreeUnusedModules();
}
