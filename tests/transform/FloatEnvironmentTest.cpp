// The transforms compute under their own floating-point settings, whatever the
// host has set, and give the host its settings back for its event handlers and
// when they return.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "TestSupport.h"
#include "transform/FloatEnvironment.h"

namespace qelv::test {
namespace {

#if QELV_X86_FLOAT_ENVIRONMENT

constexpr unsigned kSseDefault = 0x1F80;
constexpr unsigned kSseFlags = 0x3F;
// Rounding toward zero, flush to zero and denormals-are-zero.
constexpr unsigned kSseHostile = kSseDefault | 0x6000 | 0x8040;
constexpr unsigned short kX87Default = 0x037F;
constexpr unsigned short kX87Double = 0x027F;  // 53-bit precision, as Windows starts threads

unsigned short X87() {
    unsigned short cw = 0;
    __asm__ volatile("fnstcw %0" : "=m"(cw));
    return cw;
}
void SetX87(unsigned short cw) { __asm__ volatile("fldcw %0" : : "m"(cw)); }
unsigned Sse() { return _mm_getcsr() & ~kSseFlags; }

// Puts a host's settings in place and the defaults back at the end.
class HostSettings {
public:
    HostSettings(unsigned sse, unsigned short x87) {
        SetX87(x87);
        _mm_setcsr(sse);
    }
    ~HostSettings() {
        _mm_setcsr(kSseDefault);
        SetX87(kX87Default);
    }
};

TEST(FloatEnvironment, GivesExtendedPrecisionAndNearestRoundingThenPutsTheHostsBack) {
    HostSettings host(kSseHostile, kX87Double);
    {
        const FloatEnvironment environment;
        volatile long double one = 1, tiny = 0x1p-60L;
        EXPECT_EQ((one + tiny) - one, tiny);  // needs the 64-bit mantissa
        volatile float a = 1, b = 3;
        EXPECT_EQ(a / b, 0x1.555556p-2f);  // rounded to nearest, not toward zero
        volatile float denormal = 0x1p-140f;
        EXPECT_EQ(denormal * 2.0f, 0x1p-139f);  // neither flushed nor read as zero
    }
    EXPECT_EQ(X87(), kX87Double);
    EXPECT_EQ(Sse(), kSseHostile);
}

TEST(FloatEnvironment, TransformsIgnoreTheHostsSettingsAndHandlersRunUnderThem) {
    std::mt19937 rng(17);
    std::uniform_int_distribution<int> sample(-30000, 30000);
    std::vector<short> input(100000);
    for (short& s : input) s = static_cast<short>(sample(rng));

    Object o;
    SampleArray expected(input);
    ASSERT_EQ(o->Normalize(&expected, 97, VARIANT_TRUE), S_OK);
    float expectedDb = 0;
    o->PercentToDB(123.456f, &expectedDb);

    RecordingSink sink;
    std::vector<unsigned> handlerSse;
    std::vector<unsigned short> handlerX87;
    sink.onBlock = [&](LONG) {
        handlerSse.push_back(Sse());
        handlerX87.push_back(X87());
    };
    Connection c(o.get(), &sink);
    SampleArray a(input);
    HRESULT hr;
    float db = 0;
    unsigned sseAfter;
    unsigned short x87After;
    {
        HostSettings host(kSseHostile, kX87Double);
        hr = o->Normalize(&a, 97, VARIANT_TRUE);
        o->PercentToDB(123.456f, &db);
        sseAfter = Sse();
        x87After = X87();
    }
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(a.values(), expected.values());
    EXPECT_EQ(db, expectedDb);
    EXPECT_EQ(sseAfter, kSseHostile);
    EXPECT_EQ(x87After, kX87Double);
    ASSERT_EQ(handlerSse.size(), 100u);
    for (std::size_t k = 0; k < handlerSse.size(); ++k) {
        ASSERT_EQ(handlerSse[k], kSseHostile) << k;
        ASSERT_EQ(handlerX87[k], kX87Double) << k;
    }
}

#endif

}  // namespace
}  // namespace qelv::test
