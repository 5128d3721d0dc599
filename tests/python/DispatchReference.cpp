// Calls every method of the transform object and of the graphing control
// through IDispatch::Invoke from C++, as the numeric input test does (each ordinary float base in turn until
// one is accepted, then, for a method with float arrays that refused them all,
// the same with the rising arrays; a fresh object per call), and prints each
// call and what it gave, so that the Python binding's test can make the same
// calls in the same order and compare the results bit for bit. Floats are
// printed exactly (%a).
//   tone N S...           the samples each sample array starts with
//   floats steps|rising N F...
//                         each float array, in the two forms
//   call CLASS NAME KINDS FLOATS BASE HRESULT SCODE
//                         KINDS has a letter per parameter (- for none):
//                         s samples, a float array, f float, l long, b boolean,
//                         o other; FLOATS names the float arrays' form
//   after I N S...        sample parameter I after the call
//   result none | float F | samples N S... | floats N F... | other VT
#include <cstdio>
#include <string>
#include <vector>

#include "display/SonalterDisplay2.h"
#include "transform/hardening/DispatchCalls.h"

using namespace qelv::hardening;

namespace {

constexpr ULONG kSamples = 4096;

void PrintSamples(const std::vector<SHORT>& samples) {
    std::printf(" %zu", samples.size());
    for (SHORT s : samples) std::printf(" %d", s);
    std::printf("\n");
}

void PrintFloats(const float* values, size_t count) {
    std::printf(" %zu", count);
    for (size_t i = 0; i < count; ++i) std::printf(" %a", static_cast<double>(values[i]));
    std::printf("\n");
}

std::string Narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

char Letter(Kind kind) {
    switch (kind) {
        case Kind::Samples: return 's';
        case Kind::Floats: return 'a';
        case Kind::Float: return 'f';
        case Kind::Long: return 'l';
        case Kind::Bool: return 'b';
        default: return 'o';
    }
}

IDispatch* FreshTransform() {
    return static_cast<IDispatch*>(static_cast<ISonalter2*>(qelv::CSonalter2::Create()));
}
IDispatch* FreshControl() {
    return static_cast<IDispatch*>(static_cast<ISonalterDisplay2*>(qelv::CSonalterDisplay2::Create()));
}

struct Class {
    const char* name;
    IDispatch* (*fresh)();
};

void PrintFloatArray(FloatArrays which, const char* name) {
    SAFEARRAY* floats = FloatArray(which);
    std::printf("floats %s", name);
    PrintFloats(static_cast<const float*>(floats->pvData), floats->rgsabound[0].cElements);
    SafeArrayDestroy(floats);
}

// Prints one call and its outcome; RETURNS whether the method accepted it.
bool PrintCall(const Class& c, const Method& m, const std::string& kinds, FloatArrays floats, float base) {
    IDispatch* object = c.fresh();
    const Outcome o = Call(object, m, base, -1, 0.0, false, kSamples, /*keep=*/true, floats);
    object->Release();
    std::printf("call %s %s %s %s %a %08X %08X\n", c.name, Narrow(m.name).c_str(), kinds.empty() ? "-" : kinds.c_str(),
                floats == FloatArrays::Steps ? "steps" : "rising", static_cast<double>(base),
                static_cast<unsigned>(o.hr), static_cast<unsigned>(o.scode));
    for (size_t i = 0; i < o.after.size(); ++i) {
        if (m.params[i].kind != Kind::Samples) continue;
        std::printf("after %zu", i);
        PrintSamples(o.after[i]);
    }
    if (o.resultType == VT_EMPTY) {
        std::printf("result none\n");
    } else if (o.resultType == VT_R4) {
        std::printf("result float %a\n", static_cast<double>(o.resultFloat));
    } else if (o.resultType == (VT_ARRAY | VT_I2)) {
        std::printf("result samples");
        PrintSamples(o.resultSamples);
    } else if (o.resultType == (VT_ARRAY | VT_R4)) {
        std::printf("result floats");
        PrintFloats(o.resultFloats.data(), o.resultFloats.size());
    } else {
        std::printf("result other %u\n", static_cast<unsigned>(o.resultType));
    }
    return o.hr == S_OK;
}

}  // namespace

int main() {
    SAFEARRAY* tone = Tone(VT_I2, kSamples);
    std::printf("tone");
    PrintSamples(Samples(tone));
    SafeArrayDestroy(tone);
    PrintFloatArray(FloatArrays::Steps, "steps");
    PrintFloatArray(FloatArrays::Rising, "rising");

    for (const Class& c : {Class{"Sonalter2", FreshTransform}, Class{"SonalterDisplay2", FreshControl}}) {
        IDispatch* lister = c.fresh();
        const std::vector<Method> methods = Members(lister);
        lister->Release();
        for (const Method& m : methods) {
            if (m.flags != DISPATCH_METHOD) continue;
            std::string kinds;
            for (const Param& p : m.params) kinds += Letter(p.kind);
            const bool floatArrays = kinds.find('a') != std::string::npos;
            bool accepted = false;
            for (FloatArrays floats : {FloatArrays::Steps, FloatArrays::Rising}) {
                if (accepted || (floats == FloatArrays::Rising && !floatArrays)) break;
                for (float base : kBases) {
                    accepted = PrintCall(c, m, kinds, floats, base);
                    if (accepted || !m.hasFloat) break;
                }
            }
        }
    }
    return 0;
}
