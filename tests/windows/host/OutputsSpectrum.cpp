// The cross-platform comparison of the spectrum family: the two analysers, the
// block filter on every usable curve length and on refused ones, and the
// equaliser with ordinary, extreme and non-finite points.
#include "Outputs.h"

namespace host {
namespace {

void Spectrum(Writer& w, ISonalter2* o, const char* name, const std::vector<short>& input, bool power) {
    SAFEARRAY* array = MakeShorts(input);
    SAFEARRAY* result = nullptr;
    const HRESULT hr = power ? o->FFTPower(&array, &result) : o->FFTPhase(&array, &result);
    w.Record(name, hr, o);
    w.Shorts(array);
    w.Floats(result);
    SafeArrayDestroy(array);
    if (result) SafeArrayDestroy(result);
}

void Filter(Writer& w, ISonalter2* o, const std::vector<short>& a, const std::vector<float>& curve) {
    SAFEARRAY* c = MakeFloats(curve);
    InPlace(w, o, "FFTFilter", a, [&](SAFEARRAY** x) { return o->FFTFilter(x, &c); });
    SafeArrayDestroy(c);
}

void Equalize(Writer& w, ISonalter2* o, const std::vector<short>& a, const std::vector<float>& db,
              const std::vector<float>& hz) {
    SAFEARRAY* gains = MakeFloats(db);
    SAFEARRAY* frequencies = MakeFloats(hz);
    InPlace(w, o, "Equalizer", a, [&](SAFEARRAY** x) { return o->Equalizer(x, &gains, &frequencies); });
    SafeArrayDestroy(gains);
    SafeArrayDestroy(frequencies);
}

void Calls(Writer& w, ISonalter2* o, Random& random, const std::vector<short>& a, const std::vector<short>&) {
    Spectrum(w, o, "FFTPower", a, true);
    Spectrum(w, o, "FFTPhase", a, false);

    for (std::size_t length : {2u, 8u, 32u, 128u, 512u, 2048u}) {
        if (length > a.size() && length != 2) continue;  // one refusal by length is enough
        std::vector<float> curve(length);
        for (float& g : curve) g = random.Uniform(0.0f, 2.5f);
        Filter(w, o, a, curve);
        if (length == 32) {
            // Extreme gains: full cut, negative, subnormal and overflowing values.
            Filter(w, o, a, std::vector<float>(length, 0.0f));
            for (float g : {-1.0f, 1e-40f, 1e30f, 3.4e38f}) {
                for (std::size_t k = 0; k < length; k += 3) curve[k] = g;
                Filter(w, o, a, curve);
            }
        }
    }
    // Refused curves: an even exponent, no power of two, one entry, a non-number.
    for (std::size_t length : {4u, 3u, 1u}) Filter(w, o, a, std::vector<float>(length, 1.0f));
    std::vector<float> bad(8, 1.0f);
    bad[5] = kNaN;
    Filter(w, o, a, bad);
    bad[5] = -kInf;
    Filter(w, o, a, bad);

    Equalize(w, o, a, {}, {});
    Equalize(w, o, a, {6.0f}, {1000.0f});
    std::vector<float> db, hz;
    for (int j = 0; j < 10; ++j) {
        db.push_back(random.Uniform(-30.0f, 15.0f));
        hz.push_back(random.Uniform(0.0f, 24000.0f));
    }
    Equalize(w, o, a, db, hz);
    Equalize(w, o, a, {12.0f, -6.0f, 3.0f, 200.0f, -1000.0f}, {-50.0f, 22050.0f, 4000.0f, 8000.0f, 16.0f});
    Equalize(w, o, a, {3.0f, 9.0f}, {kInf, 100.0f});
    Equalize(w, o, a, {3.0f, 9.0f}, {-kInf, 100.0f});
    Equalize(w, o, a, {kNaN, 9.0f}, {500.0f, 100.0f});
    Equalize(w, o, a, {3.0f, 9.0f}, {kNaN, 100.0f});
    Equalize(w, o, a, {3.0f}, {100.0f, 200.0f});  // refused: different counts
}

const OutputFamily registered("Spectrum", Calls);

}  // namespace
}  // namespace host
