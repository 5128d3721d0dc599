// The cross-platform comparison (Outputs.h): the level and channel methods here,
// the other families in files of their own. Every working method runs on several
// lengths, with and without edge smoothing, with ordinary, extreme and
// non-finite parameters.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "Outputs.h"

#include <map>
#include <string>

// The component's extended-precision steps assume the x87 80-bit format on both
// targets (the MinGW-w64 and the Linux x86-64 default).
static_assert(std::numeric_limits<long double>::digits == 64, "long double must be the 80-bit format");

namespace host {

std::map<std::string, FamilyCalls>& Families() {
    static std::map<std::string, FamilyCalls> families;
    return families;
}

OutputFamily::OutputFamily(const char* name, FamilyCalls calls) { Families()[name] = calls; }

SAFEARRAY* MakeFloats(const std::vector<float>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(values.size()));
    if (!array) return nullptr;
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
        if (!values.empty()) std::memcpy(data, values.data(), values.size() * sizeof(float));
        SafeArrayUnaccessData(array);
    }
    return array;
}

std::vector<float> ReadFloats(SAFEARRAY* array) {
    std::vector<float> values;
    LONG upper = -1;
    if (!array || FAILED(SafeArrayGetUBound(array, 1, &upper)) || upper < 0) return values;
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) return values;
    values.assign(static_cast<float*>(data), static_cast<float*>(data) + upper + 1);
    SafeArrayUnaccessData(array);
    return values;
}

namespace {

std::vector<float> Gains(Random& random) {
    std::vector<float> gains = {0.0f,  -0.0f, 100.0f, 150.0f, -100.0f, 33.3f, 0.5f,  199.99f, 1e-30f,
                                1e30f, kNaN,  kInf,   -kInf,  1e-45f,  -3.4e38f};
    for (int i = 0; i < 4; ++i) gains.push_back(random.Uniform(-400.0f, 400.0f));
    return gains;
}

void RunArrayCalls(Writer& w, ISonalter2* o, Random& random, const std::vector<short>& a,
                   const std::vector<short>& b) {
    const std::vector<float> gains = Gains(random);
    InPlace(w, o, "Silence", a, [&](SAFEARRAY** x) { return o->Silence(x); });
    InPlace(w, o, "Reverse", a, [&](SAFEARRAY** x) { return o->Reverse(x); });
    InPlace(w, o, "Invert", a, [&](SAFEARRAY** x) { return o->Invert(x); });
    for (float g : gains) InPlace(w, o, "Amplify", a, [&](SAFEARRAY** x) { return o->Amplify(x, g); });
    for (size_t i = 0; i < gains.size(); ++i) {
        const float g1 = gains[i], g2 = gains[(i * 7 + 3) % gains.size()];
        InPlace(w, o, "Fade", a, [&](SAFEARRAY** x) { return o->Fade(x, g1, g2); });
    }
    for (float n : {100.0f, 50.0f, 0.0f, -50.0f, 300.0f, kNaN, kInf, random.Uniform(0.0f, 120.0f)}) {
        for (VARIANT_BOOL dc : {VARIANT_FALSE, VARIANT_TRUE}) {
            InPlace(w, o, "Normalize", a, [&](SAFEARRAY** x) { return o->Normalize(x, n, dc); });
        }
    }
    for (size_t i = 0; i + 3 < gains.size(); i += 2) {
        InPlace(w, o, "MixStereoChannels", a, [&](SAFEARRAY** x) {
            return o->MixStereoChannels(x, gains[i], gains[i + 1], gains[i + 2], gains[i + 3]);
        });
    }
    Returning(w, o, "DuplicateArray", a, [&](SAFEARRAY** x, SAFEARRAY** r) { return o->DuplicateArray(x, r); });
    Returning(w, o, "GetLeftStereoChannel", a,
              [&](SAFEARRAY** x, SAFEARRAY** r) { return o->GetLeftStereoChannel(x, r); });
    Returning(w, o, "GetRightStereoChannel", a,
              [&](SAFEARRAY** x, SAFEARRAY** r) { return o->GetRightStereoChannel(x, r); });
    Returning(w, o, "MakeStereoFromMono", a,
              [&](SAFEARRAY** x, SAFEARRAY** r) { return o->MakeStereoFromMono(x, r); });
    Returning(w, o, "MakeMonoFromStereo", a,
              [&](SAFEARRAY** x, SAFEARRAY** r) { return o->MakeMonoFromStereo(x, r); });
    SAFEARRAY* second = MakeShorts(b);
    Returning(w, o, "MakeStereoFromArrays", a,
              [&](SAFEARRAY** x, SAFEARRAY** r) { return o->MakeStereoFromArrays(x, &second, r); });
    for (size_t i = 0; i + 1 < gains.size(); ++i) {
        Returning(w, o, "MixArrays", a, [&](SAFEARRAY** x, SAFEARRAY** r) {
            return o->MixArrays(x, gains[i], &second, gains[i + 1], r);
        });
    }
    SafeArrayDestroy(second);
}

}  // namespace

int WriteOutputs(const char* file) {
    ISonalter2* object = nullptr;
    HRESULT hr = CreateByProgId(OLESTR("QelvSonalter2.Sonalter2"), IID_ISonalter2, reinterpret_cast<void**>(&object));
    if (FAILED(hr)) {
        std::printf("cannot create QelvSonalter2.Sonalter2: %s\n", Hex(hr).c_str());
        return 1;
    }
    std::FILE* out = std::fopen(file, "wb");
    if (!out) {
        std::printf("cannot write %s\n", file);
        object->Release();
        return 1;
    }
    Writer w(out);
    Random random;

    // Level conversions over ordinary, extreme and non-finite values.
    std::vector<float> levels = {0.0f, -0.0f, 1.0f, 50.0f, 100.0f, 200.0f, -50.0f, 1e-45f, 1e-30f, 3.4e38f,
                                 kNaN, kInf,  -kInf, 0.001f, -120.0f, 6.0206f};
    for (int i = 0; i < 40; ++i) levels.push_back(random.Uniform(-200.0f, 400.0f));
    for (float v : levels) {
        float result = 0.0f;
        hr = object->PercentToDB(v, &result);
        w.Record("PercentToDB", hr, object);
        w.Float(result);
        hr = object->DBToPercent(v, &result);
        w.Record("DBToPercent", hr, object);
        w.Float(result);
    }

    struct Setting {
        VARIANT_BOOL smooth;
        LONG smoothTime;
        FrequencyConstants frequency;
    };
    const Setting settings[] = {{VARIANT_FALSE, 50, FQ_44_KHZ}, {VARIANT_TRUE, 50, FQ_44_KHZ},
                                {VARIANT_TRUE, 3, FQ_8_KHZ}, {VARIANT_TRUE, 0, FQ_96_KHZ}};
    const size_t lengths[] = {0, 1, 2, 3, 7, 64, 999, 1000, 4411, 10007, 44100};
    for (const Setting& s : settings) {
        object->put_SmoothLeftEnabled(s.smooth);
        object->put_SmoothRightEnabled(s.smooth);
        object->put_SmoothTime(s.smoothTime);
        object->put_ArrayFrequency(s.frequency);
        for (size_t length : lengths) {
            const int amplitude = (random.Next() & 1) ? 32767 : 1000;
            std::vector<short> a(length), b(length / 2 + 5);
            for (short& v : a) v = random.Sample(amplitude);
            for (short& v : b) v = random.Sample(32767);
            if (length > 10) a[length / 3] = -32768;
            RunArrayCalls(w, object, random, a, b);
            for (const auto& [name, calls] : Families()) calls(w, object, random, a, b);
        }
    }
    std::fclose(out);
    std::printf("%d results written to %s\n", w.records(), file);
    object->Release();
    return 0;
}

}  // namespace host
