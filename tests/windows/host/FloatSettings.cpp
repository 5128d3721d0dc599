// The transforms keep extended precision and rounding to nearest whatever the
// calling thread's floating-point settings are, and leave those settings as they
// found them. Windows starts every thread with the x87 unit at 53-bit precision;
// a host may also round toward zero or flush tiny values.
#include <xmmintrin.h>

#include "Host.h"

namespace host {
namespace {

unsigned short X87() {
    unsigned short cw = 0;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
}
void SetX87(unsigned short cw) { __asm__ volatile("fldcw %0" : : "m"(cw)); }

}  // namespace

int CheckFloatSettings() {
    Tally t;
    ISonalter2* object = nullptr;
    HRESULT hr = CreateByProgId(OLESTR("QelvSonalter2.Sonalter2"), IID_ISonalter2, reinterpret_cast<void**>(&object));
    if (!t.Check(SUCCEEDED(hr) && object, "create QelvSonalter2.Sonalter2", Hex(hr))) return t.Finish();

    constexpr unsigned short kThreadX87 = 0x027F;          // 53-bit precision, exceptions masked
    constexpr unsigned kHostSse = 0x1F80 | 0x6000 | 0x8040;  // toward zero, flush to zero, denormals are zero
    const unsigned short savedX87 = X87();
    const unsigned savedSse = _mm_getcsr();

    // Left = 3 * 1 + 1 * (-2^-60): 3 in double precision, 2 after truncating the
    // extended-precision sum. LRAmp / 100 is exactly -2^-60 as a float.
    SAFEARRAY* stereo = MakeShorts({3, 1});
    float db = 0;
    SetX87(kThreadX87);
    _mm_setcsr(kHostSse);
    hr = object->MixStereoChannels(&stereo, 100.0f, -0x1.9p-54f, 0.0f, 100.0f);
    const HRESULT hrDb = object->PercentToDB(50.0f, &db);
    const unsigned short x87After = X87();
    const unsigned sseAfter = _mm_getcsr() & ~0x3Fu;
    _mm_setcsr(savedSse);
    SetX87(savedX87);

    t.Check(hr == S_OK && hrDb == S_OK, "MixStereoChannels and PercentToDB", Hex(hr) + " " + Hex(hrDb));
    const std::vector<short> values = ReadShorts(stereo);
    t.Check(values == std::vector<short>{2, 1}, "3 - 2^-60 truncates to 2 on a thread at 53-bit precision",
            std::to_string(values.at(0)) + ", " + std::to_string(values.at(1)));
    t.Check(db == -0x1.815182p+2f, "PercentToDB(50)", std::to_string(db));
    t.Check(x87After == kThreadX87 && sseAfter == kHostSse, "the thread's settings are left as found");
    SafeArrayDestroy(stereo);
    object->Release();
    return t.Finish();
}

}  // namespace host
