// Results of a fixed set of calls on randomised inputs (fixed seed), written to a
// file so that the outputs of the Linux module and the Windows DLL can be
// compared byte for byte. Every working method runs on several lengths, with
// and without edge smoothing, with ordinary, extreme and non-finite parameters.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "Host.h"

// The component's extended-precision steps assume the x87 80-bit format on both
// targets (the MinGW-w64 and the Linux x86-64 default).
static_assert(std::numeric_limits<long double>::digits == 64, "long double must be the 80-bit format");

namespace host {
namespace {

// xorshift64*: the same sequence on every platform and compiler.
class Random {
public:
    std::uint64_t Next() {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1DULL;
    }
    short Sample(int amplitude) {
        const int span = 2 * amplitude + 1;
        return static_cast<short>(static_cast<int>(Next() % static_cast<std::uint64_t>(span)) - amplitude);
    }
    // A float in [lo, hi) built from integers only.
    float Uniform(float lo, float hi) {
        return lo + (hi - lo) * static_cast<float>(Next() >> 40) / static_cast<float>(1 << 24);
    }

private:
    std::uint64_t state_ = 0x9E3779B97F4A7C15ULL;
};

class Writer {
public:
    explicit Writer(std::FILE* file) : file_(file) {}
    void Record(const char* name, HRESULT hr, ISonalter2* object) {
        ErrorConstants last{};
        object->get_LastErrorNum(&last);
        Bytes(name, std::strlen(name) + 1);
        Int(static_cast<std::int32_t>(hr));
        Int(static_cast<std::int32_t>(last));
        ++records_;
    }
    void Shorts(SAFEARRAY* array) {
        const std::vector<short> values = ReadShorts(array);
        Int(static_cast<std::int32_t>(values.size()));
        Bytes(values.data(), values.size() * sizeof(short));
    }
    void Float(float value) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        Int(static_cast<std::int32_t>(bits));
    }
    int records() const { return records_; }

private:
    void Int(std::int32_t v) {
        unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                              static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
        Bytes(b, 4);
    }
    void Bytes(const void* data, size_t size) {
        if (size) std::fwrite(data, 1, size, file_);
    }
    std::FILE* file_;
    int records_ = 0;
};

const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();

std::vector<float> Gains(Random& random) {
    std::vector<float> gains = {0.0f,  -0.0f, 100.0f, 150.0f, -100.0f, 33.3f, 0.5f,  199.99f, 1e-30f,
                                1e30f, kNaN,  kInf,   -kInf,  1e-45f,  -3.4e38f};
    for (int i = 0; i < 4; ++i) gains.push_back(random.Uniform(-400.0f, 400.0f));
    return gains;
}

// Runs one in-place method on a fresh copy of the input and records the result.
template <typename Call>
void InPlace(Writer& w, ISonalter2* object, const char* name, const std::vector<short>& input, Call call) {
    SAFEARRAY* array = MakeShorts(input);
    const HRESULT hr = call(&array);
    w.Record(name, hr, object);
    w.Shorts(array);
    SafeArrayDestroy(array);
}

// Runs one method that returns a new array.
template <typename Call>
void Returning(Writer& w, ISonalter2* object, const char* name, const std::vector<short>& input, Call call) {
    SAFEARRAY* array = MakeShorts(input);
    SAFEARRAY* result = nullptr;
    const HRESULT hr = call(&array, &result);
    w.Record(name, hr, object);
    w.Shorts(array);
    w.Shorts(result);
    SafeArrayDestroy(array);
    if (result) SafeArrayDestroy(result);
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
        }
    }
    std::fclose(out);
    std::printf("%d results written to %s\n", w.records(), file);
    object->Release();
    return 0;
}

}  // namespace host
