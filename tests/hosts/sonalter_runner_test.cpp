// Tests of how the tool moves samples: the chain on one working array (in
// place, resized, replaced), outputs of every shape back as CSV, channels split
// and joined, the memory estimate, limits read from help strings, and every
// member the component declares reached through its description.
#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <unistd.h>

#include "Activation.h"
#include "Arguments.h"
#include "Chain.h"
#include "Component.h"
#include "CsvOutput.h"
#include "Errors.h"
#include "TransformEvents.h"
#include "Memory.h"
#include "Members.h"
#include "PerChannel.h"
#include "Progress.h"
#include "Runner.h"
#include "SafeArrays.h"
#include "hosts/ToolProcess.h"

namespace {

namespace fs = std::filesystem;
using namespace sonalter;

std::vector<SHORT> Elements(SAFEARRAY* array) { return ReadShorts(array); }

// An automation object whose methods do to their arguments what the real
// methods of each shape may do: change the array in place, resize it with
// SafeArrayRedim, replace it, return values or a new array, fill [out] places.
class FakeObject final : public IDispatch {
public:
    enum : DISPID { kHalve = 1, kReplace, kSpectrum, kGrow, kMeasure, kMono };

    const void* seenData = nullptr;  // the data block Halve worked on

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch)) {
            *ppv = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
    STDMETHODIMP_(ULONG) Release() override { return --refs_; }  // lives on the test's stack
    STDMETHODIMP GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }

    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* dp, VARIANT* result, EXCEPINFO*, UINT*) override {
        auto arg = [dp](UINT i) -> VARIANTARG& { return dp->rgvarg[dp->cArgs - 1 - i]; };  // declared order
        SAFEARRAY** wav = arg(0).pparray;
        std::vector<SHORT> values = Elements(*wav);
        switch (id) {
            case kHalve: {  // [in, out] short array, shortened in place and negated
                seenData = (*wav)->pvData;
                SAFEARRAYBOUND bound{static_cast<ULONG>(values.size() / 2), 0};
                SafeArrayRedim(*wav, &bound);
                SampleElements e(*wav);
                for (SHORT& s : e.Span()) s = static_cast<SHORT>(-s);
                return S_OK;
            }
            case kReplace: {  // [in, out] short array replaced by a longer one
                SafeArrayDestroy(*wav);
                *wav = Take(MakeShortArray(std::vector<SHORT>(values.size() + 3, 7)));
                return S_OK;
            }
            case kSpectrum:  // [out, retval] float array
                result->vt = VT_ARRAY | VT_R4;
                result->parray = Take(MakeFloatArray(std::vector<float>{0.5f, 1.5f, 2.5f, 3.5f}));
                return S_OK;
            case kGrow: {  // [in, out] float list: the sum of the samples appended
                SAFEARRAY* list = *arg(1).pparray;
                std::vector<float> floats = ReadFloats(list);
                SAFEARRAYBOUND bound{static_cast<ULONG>(floats.size() + 1), 0};
                SafeArrayRedim(list, &bound);
                ArrayElements<float> e(list);
                e.Span().back() = static_cast<float>(std::accumulate(values.begin(), values.end(), 0));
                return S_OK;
            }
            case kMeasure: {  // [out] float array Peaks, [out] float Level
                const SHORT peak = values.empty() ? SHORT{0} : *std::max_element(values.begin(), values.end());
                *arg(1).pparray = Take(MakeFloatArray(std::vector<float>{static_cast<float>(peak), 0.0f}));
                *static_cast<float*>(arg(2).byref) = peak / 2.0f;
                return S_OK;
            }
            case kMono:  // [in] stereo, [out, retval] the first half as MonoArray
                values.resize(values.size() / 2);
                result->vt = VT_ARRAY | VT_I2;
                result->parray = Take(MakeShortArray(values));
                return S_OK;
        }
        return DISP_E_MEMBERNOTFOUND;
    }

private:
    // The array, no longer owned: the caller of Invoke takes it.
    static SAFEARRAY* Take(ArrayOwner owner) {
        SAFEARRAY* p = owner.get();
        *owner.slot() = nullptr;
        return p;
    }
    ULONG refs_ = 1;
};

Parameter Param(const char* name, ValueKind kind, bool in = true, bool out = false) {
    Parameter p;
    p.name = name;
    p.type.kind = kind;
    p.type.vt = kind == ValueKind::SampleArray ? VT_I2 : VT_R4;
    p.type.name = kind == ValueKind::Number ? "float" : "array";
    p.in = in;
    p.out = out;
    return p;
}

Member Method(const char* name, DISPID id, std::vector<Parameter> params, ValueKind result = ValueKind::None,
              const char* resultName = "") {
    Member m;
    m.name = name;
    m.dispid = id;
    m.params = std::move(params);
    m.result.kind = result;
    m.resultName = resultName;
    return m;
}

TEST(SonalterRunner, OneWorkingArrayChangedResizedReplacedAndOutputsCollected) {
    using K = ValueKind;
    MemberTable table = MemberTable::FromLists(
        {Method("Halve", FakeObject::kHalve, {Param("WavArray", K::SampleArray, true, true)}),
         Method("Replace", FakeObject::kReplace, {Param("WavArray", K::SampleArray, true, true)}),
         Method("Spectrum", FakeObject::kSpectrum, {Param("WavArray", K::SampleArray)}, K::FloatArray, "Power"),
         Method("Grow", FakeObject::kGrow,
                {Param("WavArray", K::SampleArray), Param("List", K::FloatArray, true, true)}),
         Method("Measure", FakeObject::kMeasure,
                {Param("WavArray", K::SampleArray), Param("Peaks", K::FloatArray, false, true),
                 Param("Level", K::Number, false, true)}),
         Method("Mono", FakeObject::kMono, {Param("StereoArray", K::SampleArray)}, K::SampleArray, "MonoArray")},
        {});
    FakeObject fake;
    ActivatedObject activated;
    fake.AddRef();
    activated.object = ComPtr<IDispatch>(&fake);
    Component component(std::move(activated), table);

    const std::vector<Call> calls =
        ParseChain(table, {"Halve", "Replace", "Spectrum", "Grow", "1,2", "Measure", "Mono"});
    ASSERT_EQ(calls.size(), 6u);  // Measure's outputs take no words
    std::vector<PreparedCall> prepared;
    for (const Call& c : calls) prepared.push_back(PrepareCall(c));

    Progress progress(false);
    TransformEvents events(progress, nullptr);
    CsvOutput csv;
    ChainRunner runner(component, progress, events, csv, 8000, false, true);
    ArrayOwner samples = MakeShortArray(std::vector<SHORT>{1, 2, 3, 4, 5, 6, 7, 8});
    const void* data = samples.get()->pvData;
    int channels = 2;
    runner.Run(prepared, samples, channels);

    EXPECT_EQ(fake.seenData, data);  // the component worked on the tool's own array
    // Halve: 4 negated; Replace: 7 sevens; Mono: the first 3 of them, one channel.
    EXPECT_EQ(Elements(samples.get()), (std::vector<SHORT>{7, 7, 7}));
    EXPECT_EQ(channels, 1);
    const std::string text = csv.Text();
    for (const char* block : {"# Spectrum()\nindex,Power\n0,0.5\n1,1.5\n2,2.5\n3,3.5\n",
                              "# Grow(List=1,2) List\nindex,List\n0,1\n1,2\n2,49\n",  // 7 sevens
                              "# Measure() Peaks\nindex,Peaks\n0,7\n1,0\n", "# Measure() Level\nLevel\n3.5\n"}) {
        EXPECT_NE(text.find(block), std::string::npos) << block << "\n---\n" << text;
    }
    EXPECT_EQ(Signature(*table.FindMethod("measure")), "Measure");
}

TEST(SonalterChannels, SplitAndJoinRoundTripAcrossStepsAndPadShortChannels) {
    for (int channels : {1, 2, 3, 5}) {
        // More frames than one 4 MiB step, and a count no step size divides.
        const size_t frames = (size_t{4} << 20) / sizeof(SHORT) / static_cast<size_t>(channels) * 2 + 37;
        std::vector<SHORT> interleaved(frames * static_cast<size_t>(channels));
        for (size_t i = 0; i < interleaved.size(); ++i) interleaved[i] = static_cast<SHORT>(i * 7919 % 65536 - 32768);
        ArrayOwner whole = MakeShortArray(interleaved);
        std::vector<ArrayOwner> parts = SplitChannels(whole, channels);
        EXPECT_EQ(whole.get(), nullptr);
        ASSERT_EQ(parts.size(), static_cast<size_t>(channels));
        for (int c = 0; c < channels; ++c) {
            EXPECT_EQ(Elements(parts[static_cast<size_t>(c)].get()), ChannelOf(interleaved, channels, c)) << c;
        }
        const ArrayOwner joined = JoinChannels(parts);
        EXPECT_EQ(Elements(joined.get()), interleaved) << channels;
    }
    // A channel that came back shorter ends in silence.
    std::vector<ArrayOwner> parts;
    parts.push_back(MakeShortArray(std::vector<SHORT>{1, 2, 3}));
    parts.push_back(MakeShortArray(std::vector<SHORT>{-1}));
    EXPECT_EQ(Elements(JoinChannels(parts).get()), (std::vector<SHORT>{1, -1, 2, 0, 3, 0}));
}

TEST(SonalterMemory, EstimateFollowsTheChainAndRefusalSaysHowMuch) {
    Member inPlace = Method("Amplify", 23, {Param("WavArray", ValueKind::SampleArray, true, true)});
    Member toStereo = Method("MakeStereoFromMono", 4, {Param("MonoArray", ValueKind::SampleArray)},
                             ValueKind::SampleArray, "StereoArray");
    Call a{&inPlace, {std::nullopt}};
    Call b{&toStereo, {std::nullopt}};
    std::vector<PreparedCall> chain(3);
    chain[0].call = &a;
    chain[1].call = &a;
    chain[2].call = &a;
    for (PreparedCall& p : chain) p.args.resize(1);
    constexpr std::uint64_t kSamples = 50'000'000;  // 100 MB of samples
    MemoryNeed need = EstimateMemory(chain, kSamples, 1, false);
    EXPECT_EQ(need.arrayBytes, 2 * kSamples);
    EXPECT_EQ(need.peakBytes, 2 * kSamples + kMemoryMargin);  // in place: the array once
    EXPECT_EQ(EstimateMemory(chain, kSamples, 2, true).peakBytes, need.peakBytes);

    chain[1].call = &b;  // mono to stereo: 100 MB beside its 200 MB result, then 200 MB on
    need = EstimateMemory(chain, kSamples, 1, false);
    EXPECT_EQ(need.peakBytes, 6 * kSamples + kMemoryMargin);
    EXPECT_NE(need.why.find("MakeStereoFromMono"), std::string::npos) << need.why;

    EXPECT_NO_THROW(CheckMemory(need, need.peakBytes, std::nullopt, "in.wav"));
    EXPECT_NO_THROW(CheckMemory(need, std::nullopt, std::nullopt, "in.wav"));
    try {
        CheckMemory(need, std::uint64_t{200} << 20, std::nullopt, "in.wav");
        FAIL();
    } catch (const Failure& e) {
        const std::string said = e.what();
        EXPECT_NE(said.find("cannot process in.wav: it needs about 303 MiB of memory"), std::string::npos) << said;
        EXPECT_NE(said.find("only about 200 MiB are available"), std::string::npos) << said;
    }
    EXPECT_THROW(CheckMemory(need, std::nullopt, std::uint64_t{1} << 20, "in.wav"), Failure);

    EXPECT_EQ(ParseByteSize("512M", "x"), std::uint64_t{512} << 20);
    EXPECT_EQ(ParseByteSize("1.5GiB", "x"), std::uint64_t{3} << 29);
    EXPECT_EQ(ParseByteSize("2048", "x"), 2048u);
    EXPECT_EQ(ParseByteSize("4kb", "x"), 4096u);
    for (const char* bad : {"", "M", "-1G", "12Q", "0"}) EXPECT_THROW(ParseByteSize(bad, "x"), UsageError) << bad;
    EXPECT_EQ(Mebibytes(1), "1 MiB");
    EXPECT_EQ(Mebibytes(std::uint64_t{106} << 20), "106 MiB");
    EXPECT_EQ(Mebibytes((std::uint64_t{25} << 29) + 1), "12.6 GiB");
    EXPECT_TRUE(AvailableMemory().has_value());  // this machine tells
}

TEST(SonalterHelp, LimitsComeFromTheClausesThatNameTheParameter) {
    const char* help = "Low-pass filter: corner frequency in Hz, 1 to half ArrayFrequency; Steepness 0.1 to 10. "
                       "Refuses a SweepRate above 20 Hz";
    // A range right after the clause that names the parameter belongs to it.
    EXPECT_EQ(LimitsOf("Frequency", help), std::vector<std::string>{"1 to half ArrayFrequency"});
    EXPECT_EQ(LimitsOf("Steepness", help), std::vector<std::string>{"Steepness 0.1 to 10"});
    EXPECT_EQ(LimitsOf("SweepRate", help), std::vector<std::string>{"Refuses a SweepRate above 20 Hz"});
    EXPECT_EQ(LimitsOf("SweepRate", "sweep rate 0.05 to 5 Hz"), std::vector<std::string>{"sweep rate 0.05 to 5 Hz"});
    EXPECT_EQ(LimitsOf("dbGain", "gain -24 to 24 dB"), std::vector<std::string>{"gain -24 to 24 dB"});
    EXPECT_TRUE(LimitsOf("Amp", "Scales every sample by Amp percent").empty());  // no bound given
    EXPECT_TRUE(LimitsOf("Amp", "Ampl1 0 to 100").empty());  // another parameter's name
}

// Every method the component declares, reached through its description alone:
// one argument of the declared kind for each parameter, the whole list parsed as
// one chain, converted, and called on a short array. A method may refuse the
// values or not be there yet; the command line must never be what fails.
class SonalterEveryMember : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("sonalter-members-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        sonalter_test::WriteSound(dir_ / "other.wav", std::vector<short>(512, 1200), 1, 8000);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string ValueFor(const Parameter& p) const {
        switch (p.type.kind) {
            case ValueKind::FloatArray: return "0.5,1,2";
            case ValueKind::SampleArray: return (dir_ / "other.wav").string();
            case ValueKind::Boolean: return "true";
            case ValueKind::Enumeration: return p.type.constants.empty() ? "1" : p.type.constants.front().name;
            case ValueKind::Text: return "text";
            default: return "1";
        }
    }
    fs::path dir_;
};

TEST_F(SonalterEveryMember, EachDeclaredMethodParsesConvertsAndIsCalled) {
    Apartment apartment;
    Component component(ActivateTransformObject());
    const MemberTable& members = component.Members();
    ASSERT_GE(members.Methods().size(), 40u);

    std::vector<std::string> words;
    size_t floatLists = 0;
    for (const Member& m : members.Methods()) {
        words.push_back(m.name);
        for (const Parameter* p : m.CommandLineParams()) {
            words.push_back(ValueFor(*p));
            floatLists += p->type.kind == ValueKind::FloatArray;
        }
    }
    EXPECT_GE(floatLists, 7u);  // Envelope, Equalizer (2), FFTFilter, FIRFilter (3)
    const std::vector<Call> calls = ParseChain(members, words);
    ASSERT_EQ(calls.size(), members.Methods().size());

    Progress progress(false);
    TransformEvents events(progress, nullptr);
    for (const Call& call : calls) {
        const Member& m = *call.method;
        for (size_t p = 0; p < m.params.size(); ++p) EXPECT_EQ(call.texts[p].has_value(), m.TakesArgument(p)) << m.name;
        std::vector<PreparedCall> one;
        one.push_back(PrepareCall(call));
        const PreparedCall& prepared = one.front();
        for (size_t p = 0; p < m.params.size(); ++p) {
            if (m.TakesArgument(p) && m.params[p].type.kind == ValueKind::FloatArray) {
                EXPECT_EQ(prepared.args[p].floats, (std::vector<float>{0.5f, 1.0f, 2.0f})) << m.name;
            }
        }
        CsvOutput csv;
        ChainRunner runner(component, progress, events, csv, 8000, false, true);
        ArrayOwner samples = MakeShortArray(std::vector<SHORT>(512, 1000));
        int channels = 1;
        try {
            runner.Run(one, samples, channels);
        } catch (const Failure& e) {
            // Not there yet, or a refusal of these values by the component itself.
            const std::string said = e.what();
            EXPECT_EQ(said.rfind(m.name, 0), 0u) << said;
        }
        if (m.result.kind == ValueKind::FloatArray && !csv.Empty()) {
            EXPECT_NE(csv.Text().find(m.resultName), std::string::npos) << m.name;
        }
    }
}

}  // namespace
