// Tests of the tool's parts that decide things on their own: units from names
// and help strings, suggestions, splitting a chain, CSV layout, text
// conversion and the all-or-nothing output file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "Chain.h"
#include "CsvOutput.h"
#include "Errors.h"
#include "Members.h"
#include "PendingFile.h"
#include "Runner.h"
#include "Suggest.h"
#include "Text.h"

namespace {

namespace fs = std::filesystem;
using namespace sonalter;

TEST(SonalterUnits, HelpStringUnitsWinOverNameRules) {
    struct Case {
        const char* name;
        const char* help;
        const char* unit;
    };
    const char* flanger = "Flanger: delay in ms, mix and feedback in percent, sweep depth, rate in Hz and phase in degrees";
    const char* reverb = "Reverb: delay in ms, mix and feedback in percent, reverberation gain and frequency, number of taps";
    const Case cases[] = {
        {"DelayRate", flanger, "ms"},          // the help calls it a delay; the name says Rate
        {"SweepRate", flanger, "Hz"},          // "rate in Hz"
        {"SweepDepth", flanger, "percent"},    // no unit in the help: the name decides
        {"FeedBackGain", flanger, "percent"},  // "feedback" inside the name
        {"SweepPhase", flanger, "degrees"},
        {"nTapDelay", reverb, ""},  // a count, although "delay in ms" is in the help
        {"ReverbrationFrequency", reverb, "Hz"},
        {"dbGain", "Peaking equaliser: gain in dB, centre frequency in Hz, steepness", "dB"},
        {"Steepness", "Peaking equaliser: gain in dB, centre frequency in Hz, steepness", ""},
        {"FadeTime", "Removes the quiet head below a level in dB, with a fade-in in ms", "ms"},
        {"dbTrimLevel", "Removes the quiet head below a level in dB, with a fade-in in ms", "dB"},
        {"FreqArray", "Equaliser from gains in dB at frequencies in Hz", "Hz"},
        {"SmoothTime", "Length of the edge cross-fades in ms", "ms"},
        {"NoiseType", "Adds noise at a level in dB (NoiseType 0 uniform, 1 Gaussian)", ""},
        {"dbValue", "Converts a level in dB to an amplitude in percent", "dB"},
        {"PercentValue", "Converts a level in dB to an amplitude in percent", "percent"},
        {"Ampl1", "", "percent"},
        {"debt", "", ""},  // "db" only as a prefix before a capital
    };
    for (const Case& c : cases) EXPECT_EQ(UnitOf(c.name, c.help), c.unit) << c.name;
}

TEST(SonalterSuggest, FindsTyposSwapsAndPartsButNotStrangers) {
    const std::vector<std::string> names{"Amplify", "Normalize", "LowPassFilter", "HighPassFilter", "BandPassFilter",
                                         "NotchFilter", "Invert", "Reverse", "Reverb"};
    EXPECT_EQ(ClosestNames("Amplfy", names), std::vector<std::string>{"Amplify"});
    EXPECT_EQ(ClosestNames("nromalize", names).front(), "Normalize");  // one swap of neighbours
    EXPECT_EQ(ClosestNames("norm", names), std::vector<std::string>{"Normalize"});
    EXPECT_EQ(ClosestNames("Revrb", names).front(), "Reverb");
    EXPECT_EQ(ClosestNames("PassFilter", names, 2).size(), 2u);
    EXPECT_TRUE(ClosestNames("Xyzzy", names).empty());
    EXPECT_EQ(EditDistance("ab", "BA"), 1u);
    EXPECT_EQ(JoinAlternatives({"A", "B", "C"}), "A, B or C");
}

// A hand-made description: two methods with a file argument and an optional one.
class SonalterChain : public ::testing::Test {
protected:
    static Parameter Param(const char* name, ValueKind kind, bool optional = false) {
        Parameter p;
        p.name = name;
        p.type.kind = kind;
        p.type.vt = kind == ValueKind::Number ? VT_R4 : VT_EMPTY;
        p.type.name = kind == ValueKind::Number ? "float" : "sample array";
        p.optional = optional;
        return p;
    }
    void SetUp() override {
        Member mix;
        mix.name = "Mix";
        mix.params = {Param("Wav", ValueKind::SampleArray), Param("Other", ValueKind::SampleArray),
                      Param("Gain", ValueKind::Number, true)};
        Member invert;
        invert.name = "Invert";
        invert.params = {Param("Wav", ValueKind::SampleArray)};
        Member size;
        size.name = "Size";
        size.result.kind = ValueKind::Number;
        table_ = MemberTable::FromLists({mix, invert}, {size});
    }
    std::vector<Call> Parse(const std::vector<std::string>& words) { return ParseChain(table_, words); }
    MemberTable table_;
};

TEST_F(SonalterChain, ArgumentCountsDecideWhereTheNextMethodStarts) {
    // A file argument takes any word, even a method's name; a missing optional one ends at the next method.
    std::vector<Call> calls = Parse({"mix", "Invert", "Invert", "Mix", "b.wav", "Gain=3"});
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[0].method->name, "Mix");
    EXPECT_EQ(calls[0].texts[1], "Invert");
    EXPECT_FALSE(calls[0].texts[0]);  // the current audio is not on the command line
    EXPECT_FALSE(calls[0].texts[2]);  // optional, left out
    EXPECT_EQ(calls[1].method->name, "Invert");
    EXPECT_EQ(calls[2].Display(), "Mix(Other=b.wav, Gain=3)");

    calls = Parse({"Mix", "Gain=2", "c.wav"});  // by name first, then by position
    EXPECT_EQ(calls[0].texts[1], "c.wav");
    EXPECT_EQ(calls[0].texts[2], "2");

    EXPECT_THROW(Parse({"Mix"}), UsageError);              // Other is not optional
    EXPECT_THROW(Parse({"Mix", "Wav=a.wav"}), UsageError);  // the current audio has no name on the command line
    EXPECT_THROW(Parse({"Size"}), UsageError);             // a property
    try {
        Parse({"Invert", "3"});
        FAIL();
    } catch (const UsageError& e) {
        EXPECT_NE(std::string(e.what()).find("too many arguments for Invert: it takes 0 arguments"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(Signature(*table_.FindMethod("MIX")), "Mix Other [Gain]");
}

TEST(SonalterResults, ChannelCountOfReturnedArraysFollowsTheirNames) {
    Member m;
    m.params.push_back({});
    m.params[0].name = "StereoArray";
    m.params[0].type.kind = ValueKind::SampleArray;
    m.resultName = "LeftArray";
    EXPECT_EQ(ResultChannels(m, 2), 1);
    m.resultName = "StereoArray";
    EXPECT_EQ(ResultChannels(m, 1), 2);
    m.resultName = "OutArray";
    EXPECT_EQ(ResultChannels(m, 2), 2);
    m.params.push_back(m.params[0]);
    m.params[0].name = "LeftArray";
    m.params[1].name = "RightArray";
    m.resultName = "WavArray";
    EXPECT_EQ(ResultChannels(m, 1), 2);
}

TEST(SonalterCsv, BlocksPerCallWithChannelAndFrequencyColumns) {
    CsvOutput one;
    one.AddSeries(0, "FFTPower()", 0, "db", {1.5f, -2.0f}, 5.5);
    EXPECT_EQ(one.Text(), "bin,frequency_hz,db\n0,0,1.5\n1,5.5,-2\n");

    // Per channel: both channels' rows in the call's block, in the order they came.
    CsvOutput two;
    two.AddValue(0, "A(x=1)", 1, "v", "0.5");
    two.AddSeries(1, "B()", 1, "w", {7.0f}, 0);
    two.AddValue(0, "A(x=1)", 2, "v", "0.25");
    two.AddSeries(1, "B()", 2, "w", {8.0f}, 0);
    EXPECT_EQ(two.Text(), "# A(x=1)\nchannel,v\n1,0.5\n2,0.25\n\n# B()\nchannel,index,w\n1,0,7\n2,0,8\n");
    EXPECT_TRUE(CsvOutput().Empty());
}

TEST(SonalterText, Utf16RoundTripsAndMarksMalformedInput) {
    const std::string text = "M\xC3\xBCsik \xE2\x99\xAB \xF0\x9F\x8E\xB5";  // Müsik ♫ 🎵
    const std::u16string wide = Utf16(text);
    EXPECT_EQ(wide.size(), 10u);  // the last character needs a surrogate pair
    EXPECT_EQ(Utf8(wide), text);
    EXPECT_EQ(Utf16("a\xC3"), u"a\uFFFD");                  // cut short
    EXPECT_EQ(Utf16("\xC0\x80"), u"\uFFFD\uFFFD");          // overlong
    EXPECT_EQ(Utf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");  // lone surrogate
    EXPECT_EQ(Utf8(static_cast<const OLECHAR*>(nullptr)), "");
    EXPECT_EQ(Hex(static_cast<HRESULT>(0x8004030B)), "0x8004030B");
    EXPECT_EQ(FormatFloat(0.1f), "0.1");
    EXPECT_EQ(FormatDouble(-1.0 / 0.0), "-inf");
}

class SonalterPendingFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("sonalter-pending-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void Write(PendingFile& f, const std::string& text) {
        ASSERT_EQ(write(f.Descriptor(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    size_t Entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir_), {})); }
    fs::path dir_;
};

TEST_F(SonalterPendingFile, TargetChangesOnlyOnCommitAndKeepsModeAndLinks) {
    const fs::path target = dir_ / "out.txt";
    std::ofstream(target) << "old";
    chmod(target.c_str(), 0640);
    {
        PendingFile f(target.string());
        Write(f, "new");
        EXPECT_EQ(Read(target), "old");
        EXPECT_EQ(Entries(), 2u);  // the temporary file sits beside the target
    }
    EXPECT_EQ(Read(target), "old");  // not committed: gone without a trace
    EXPECT_EQ(Entries(), 1u);

    PendingFile f(target.string());
    Write(f, "new");
    f.Commit();
    EXPECT_EQ(Read(target), "new");
    struct stat st {};
    ASSERT_EQ(stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A link is kept; the file it points at is replaced.
    fs::create_symlink(target, dir_ / "link.txt");
    PendingFile viaLink((dir_ / "link.txt").string());
    Write(viaLink, "linked");
    viaLink.Commit();
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.txt"));
    EXPECT_EQ(Read(target), "linked");

    EXPECT_THROW(PendingFile((dir_ / "none" / "x.txt").string()), Failure);
    EXPECT_THROW(PendingFile(dir_.string()), Failure);  // a folder
    EXPECT_EQ(Entries(), 2u);
}

}  // namespace
