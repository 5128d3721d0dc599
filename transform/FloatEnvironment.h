// The floating-point settings the transforms compute under, whatever the host
// has set: rounding to nearest, tiny values kept (no flush to zero), every
// exception masked, and the x87 unit at its full 64-bit precision, which the
// extended-precision arithmetic needs (Windows starts threads at 53 bits). The
// host's settings are put back when the object goes out of scope, and for the
// time host code runs inside a transform (its event handlers): see Leave/Enter.
#pragma once

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define QELV_X86_FLOAT_ENVIRONMENT 1
#else
#define QELV_X86_FLOAT_ENVIRONMENT 0
#endif

namespace qelv {

class FloatEnvironment {
public:
    FloatEnvironment() { Enter(); }
    ~FloatEnvironment() { Leave(); }
    FloatEnvironment(const FloatEnvironment&) = delete;
    FloatEnvironment& operator=(const FloatEnvironment&) = delete;

    // Saves the host's settings and switches to the transforms' own.
    void Enter() {
        if (entered_) return;
        entered_ = true;
#if QELV_X86_FLOAT_ENVIRONMENT
        hostSse_ = _mm_getcsr();
        __asm__ volatile("fnstcw %0" : "=m"(hostX87_) : : "memory");
        const unsigned short ours = kX87Extended;
        __asm__ volatile("fldcw %0" : : "m"(ours) : "memory");
        _mm_setcsr(kSseNearest);
#endif
    }

    // Puts the host's settings back. The exception flags raised meanwhile are
    // cleared first, so that none of them traps under the host's masks.
    void Leave() {
        if (!entered_) return;
        entered_ = false;
#if QELV_X86_FLOAT_ENVIRONMENT
        __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(hostX87_) : "memory");
        _mm_setcsr(hostSse_);
#endif
    }

private:
    // x87: all exceptions masked, 64-bit precision, rounding to nearest.
    static constexpr unsigned short kX87Extended = 0x037F;
    // SSE: all exceptions masked, rounding to nearest, no flush or denormals-are-zero.
    static constexpr unsigned kSseNearest = 0x1F80;
    bool entered_ = false;
    unsigned hostSse_ = 0;
    unsigned short hostX87_ = 0;
};

}  // namespace qelv
