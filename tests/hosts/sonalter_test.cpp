// End-to-end tests of the sonalter tool: the built program run on generated
// files and the bundled recording, as a user runs it.
#include <gtest/gtest.h>

#include <qelvsonalter2/platform.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "hosts/ToolProcess.h"

#if !defined(SONALTER_PATH) || !defined(SONALTER_SAMPLE_PATH) || !defined(SONALTER_MODULE_PATH)
#error "the build passes the tool's, the module's and the sample's paths"
#endif

namespace {

namespace fs = std::filesystem;
using sonalter_test::RunningTool;
using sonalter_test::RunTool;
using sonalter_test::ToolResult;
using sonalter_test::WriteSound;

struct Sound {
    std::vector<short> samples;
    int channels = 0;
    int rate = 0;
    int format = 0;
};

Sound ReadSound(const fs::path& path) {
    Sound s;
    SF_INFO info{};
    SNDFILE* f = sf_open(path.c_str(), SFM_READ, &info);
    if (!f) return s;
    s.channels = info.channels;
    s.rate = info.samplerate;
    s.format = info.format;
    s.samples.resize(static_cast<size_t>(info.frames * info.channels));
    sf_readf_short(f, s.samples.data(), info.frames);
    sf_close(f);
    return s;
}

std::vector<short> Constant(size_t n, short value) { return std::vector<short>(n, value); }

// Interleaves two channels.
std::vector<short> Stereo(const std::vector<short>& left, const std::vector<short>& right) {
    std::vector<short> out;
    for (size_t i = 0; i < left.size(); ++i) {
        out.push_back(left[i]);
        out.push_back(right[i]);
    }
    return out;
}

std::vector<short> Channel(const Sound& s, int c) {
    std::vector<short> out;
    for (size_t i = static_cast<size_t>(c); i < s.samples.size(); i += static_cast<size_t>(s.channels)) {
        out.push_back(s.samples[i]);
    }
    return out;
}

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Every test works in its own folder with an empty registry, so a registration
// elsewhere on the machine cannot change which module the tool loads.
class SonalterTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("sonalter-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        env_["QELV_REGISTRY"] = (dir_ / "registry").string();
    }
    void TearDown() override { fs::remove_all(dir_); }

    ToolResult Run(const std::vector<std::string>& args) { return RunTool(args, dir_, env_); }

    // Files in the folder other than the ones named: left-over temporary files.
    std::vector<std::string> Strays(std::initializer_list<std::string> expected) {
        std::vector<std::string> strays;
        for (const auto& e : fs::directory_iterator(dir_)) {
            const std::string name = e.path().filename().string();
            if (std::find(expected.begin(), expected.end(), name) == expected.end()) strays.push_back(name);
        }
        return strays;
    }

    fs::path dir_;
    std::map<std::string, std::string> env_;
};

TEST_F(SonalterTest, ChainRunsInOrderWithPositionalNamedAndUnitArguments) {
    std::vector<short> ramp;
    for (int i = 0; i < 4000; ++i) ramp.push_back(static_cast<short>(i * 8 - 16000));
    WriteSound(dir_ / "in.wav", ramp, 1, 8000);

    ToolResult r = Run({"--no-smooth", "in.wav", "out.wav", "Amplify", "50", "Invert"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Sound out = ReadSound(dir_ / "out.wav");
    ASSERT_EQ(out.samples.size(), ramp.size());
    EXPECT_EQ(out.channels, 1);
    EXPECT_EQ(out.rate, 8000);
    for (size_t i = 0; i < ramp.size(); i += 397) EXPECT_NEAR(out.samples[i], -ramp[i] / 2.0, 1.0) << i;
    EXPECT_NE(r.err.find("Amplify(Amp=50)"), std::string::npos) << r.err;  // the summary names each call

    // The same call written three other ways gives the same bytes; names ignore case.
    ASSERT_EQ(Run({"--no-smooth", "in.wav", "a.wav", "Fade", "100", "20"}).status, 0);
    ASSERT_EQ(Run({"--no-smooth", "in.wav", "b.wav", "fade", "AmpRight=20", "AmpLeft=100"}).status, 0);
    ASSERT_EQ(Run({"--no-smooth", "in.wav", "c.wav", "FADE", "100%", "ampright=20%"}).status, 0);
    EXPECT_EQ(Slurp(dir_ / "a.wav"), Slurp(dir_ / "b.wav"));
    EXPECT_EQ(Slurp(dir_ / "a.wav"), Slurp(dir_ / "c.wav"));
    EXPECT_NE(Slurp(dir_ / "a.wav"), Slurp(dir_ / "in.wav"));
}

TEST_F(SonalterTest, StereoRunsInterleavedUnlessPerChannel) {
    // Reversing the interleaved stream swaps the channels (per channel it does
    // not: see the next test).
    WriteSound(dir_ / "st.wav", Stereo(Constant(3000, 1000), Constant(3000, -2000)), 2, 22050);
    ToolResult r = Run({"--no-smooth", "st.wav", "whole.wav", "Reverse"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Sound whole = ReadSound(dir_ / "whole.wav");
    ASSERT_EQ(whole.channels, 2);
    EXPECT_EQ(Channel(whole, 0), Constant(3000, -2000));

    // Channel utilities change what is written: one channel, then two again.
    ASSERT_EQ(Run({"-q", "st.wav", "mono.wav", "MakeMonoFromStereo"}).status, 0);
    const Sound mono = ReadSound(dir_ / "mono.wav");
    EXPECT_EQ(mono.channels, 1);
    ASSERT_EQ(mono.samples.size(), 3000u);
    EXPECT_NEAR(mono.samples[1500], -500, 1);
    ASSERT_EQ(Run({"-q", "mono.wav", "back.wav", "MakeStereoFromMono"}).status, 0);
    EXPECT_EQ(ReadSound(dir_ / "back.wav").channels, 2);

    // A layout change cannot be joined back per channel.
    r = Run({"--per-channel", "st.wav", "x.wav", "MakeStereoFromMono"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("--per-channel"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "x.wav"));
}

TEST_F(SonalterTest, PerChannelThreadsGiveWhatEachChannelAloneGives) {
    // Each channel of a per-channel run must equal that channel run on its own as
    // a mono file, through a chain whose results depend on the samples' order.
    for (int channels : {2, 3}) {
        std::vector<std::vector<short>> tracks(static_cast<size_t>(channels));
        std::vector<short> interleaved;
        for (int i = 0; i < 20000; ++i) {
            for (int c = 0; c < channels; ++c) {
                const short v = static_cast<short>(9000 * std::sin(i * (0.01 + 0.013 * c)) + 300 * c);
                tracks[static_cast<size_t>(c)].push_back(v);
                interleaved.push_back(v);
            }
        }
        WriteSound(dir_ / "in.wav", interleaved, channels, 22050);
        const std::vector<std::string> chain{"Amplify", "70", "Fade", "100", "10", "Reverse", "Normalize", "90", "true"};
        std::vector<std::string> args{"-v", "--per-channel", "in.wav", "split.wav"};
        args.insert(args.end(), chain.begin(), chain.end());
        const ToolResult r = Run(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find("[channel 1/" + std::to_string(channels) + "]"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("[channel " + std::to_string(channels) + "/"), std::string::npos) << r.err;
        const Sound split = ReadSound(dir_ / "split.wav");
        ASSERT_EQ(split.channels, channels);
        for (int c = 0; c < channels; ++c) {
            WriteSound(dir_ / "mono.wav", tracks[static_cast<size_t>(c)], 1, 22050);
            std::vector<std::string> alone{"-q", "mono.wav", "alone.wav"};
            alone.insert(alone.end(), chain.begin(), chain.end());
            ASSERT_EQ(Run(alone).status, 0);
            EXPECT_EQ(Channel(split, c), ReadSound(dir_ / "alone.wav").samples) << channels << " channels, " << c;
        }
    }
}

TEST_F(SonalterTest, SamplesExistOnceAndTooLargeWorkIsRefusedBeforeReading) {
    // 24 MB of samples: the run's peak stays near one copy of them.
    std::vector<short> big(12'000'000);
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<short>((i * 37) % 20000 - 10000);
    WriteSound(dir_ / "big.wav", big, 2, 44100);
    WriteSound(dir_ / "tiny.wav", Constant(64, 100), 2, 44100);
    const ToolResult tiny = Run({"-q", "--no-smooth", "tiny.wav", "t.wav", "Amplify", "50", "Invert", "Fade", "100", "0"});
    ASSERT_EQ(tiny.status, 0) << tiny.err;
    const ToolResult r = Run({"-q", "--no-smooth", "big.wav", "out.wav", "Amplify", "50", "Invert", "Fade", "100", "0"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Sound out = ReadSound(dir_ / "out.wav");
    ASSERT_EQ(out.samples.size(), big.size());
    EXPECT_NEAR(out.samples[1000], -big[1000] / 2.0, 1.0);
#if !defined(__SANITIZE_ADDRESS__)
    const double arrayKiB = static_cast<double>(big.size()) * 2 / 1024;
    // One copy and a few MiB (large pages are taken 2 MiB at a time); a second
    // copy of the samples would be far beyond.
    EXPECT_LT(static_cast<double>(r.peakKiB - tiny.peakKiB), 1.1 * arrayKiB + 4096)
        << "peak " << r.peakKiB << " KiB, without samples " << tiny.peakKiB << " KiB";
    const ToolResult split = Run({"-q", "--per-channel", "big.wav", "split.wav", "Amplify", "50"});
    ASSERT_EQ(split.status, 0) << split.err;
    EXPECT_LT(static_cast<double>(split.peakKiB - tiny.peakKiB), 1.25 * arrayKiB + 16384) << split.peakKiB;
#endif

    const ToolResult refused = Run({"--max-memory", "20M", "big.wav", "x.wav", "Amplify", "50"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("cannot process big.wav: it needs about 39 MiB of memory (23 MiB of samples)"),
              std::string::npos)
        << refused.err;
    EXPECT_EQ(refused.err.find("read big.wav"), std::string::npos) << refused.err;  // refused before reading
    // A method that returns a new array holds both while it runs.
    const ToolResult twice = Run({"--max-memory", "60M", "big.wav", "x.wav", "MakeMonoFromStereo"});
    EXPECT_EQ(twice.status, 0) << twice.err;
    const ToolResult thrice = Run({"--max-memory", "60M", "big.wav", "x.wav", "MakeMonoFromStereo", "MakeStereoFromMono", "MakeStereoFromMono"});
    EXPECT_EQ(thrice.status, 1);
    EXPECT_NE(thrice.err.find("MakeStereoFromMono holds its"), std::string::npos) << thrice.err;
    EXPECT_EQ(Run({"--max-memory", "lots", "big.wav", "x.wav", "Invert"}).status, 2);
    EXPECT_EQ(Strays({"big.wav", "tiny.wav", "t.wav", "out.wav", "split.wav", "x.wav"}), std::vector<std::string>{});
}

TEST_F(SonalterTest, AStreamOfUnknownLengthIsReadToItsEnd) {
    // An AU stream through a pipe does not tell its length: the array grows as it
    // fills (past its first size here) and is trimmed to what came.
    const fs::path fifo = dir_ / "in.au";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    RunningTool tool({"-q", "--no-smooth", "in.au", "out.wav", "Invert"}, dir_, env_);
    std::vector<short> samples(3'000'001 * 2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<short>((i * 7) % 30000 - 15000);
    std::string stream(".snd", 4);
    for (uint32_t word : {24u, 0xFFFFFFFFu, 3u, 44100u, 2u}) {  // offset, unknown size, 16-bit PCM, rate, channels
        for (int shift = 24; shift >= 0; shift -= 8) stream += static_cast<char>((word >> shift) & 0xFF);
    }
    for (short v : samples) {
        stream += static_cast<char>((v >> 8) & 0xFF);  // big-endian
        stream += static_cast<char>(v & 0xFF);
    }
    void (*before)(int) = signal(SIGPIPE, SIG_IGN);  // a tool that stops reading fails below, not here
    {
        std::ofstream out(fifo, std::ios::binary);
        out.write(stream.data(), static_cast<std::streamsize>(stream.size()));
    }
    signal(SIGPIPE, before);
    const ToolResult r = tool.Finish(60000);
    ASSERT_EQ(r.status, 0) << r.err;
    const Sound out = ReadSound(dir_ / "out.wav");
    ASSERT_EQ(out.samples.size(), samples.size());
    for (size_t i = 0; i < samples.size(); i += 99991) EXPECT_EQ(out.samples[i], -samples[i]) << i;
    EXPECT_EQ(out.samples.back(), -samples.back());
}

TEST_F(SonalterTest, SecondSampleArrayComesFromAnotherFile) {
    WriteSound(dir_ / "a.wav", Constant(2000, 1000), 1, 8000);
    WriteSound(dir_ / "b.wav", Constant(2000, 3000), 1, 8000);
    ToolResult r = Run({"--no-smooth", "a.wav", "mix.wav", "MixArrays", "100", "b.wav", "Amp2=50"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Sound mix = ReadSound(dir_ / "mix.wav");
    ASSERT_EQ(mix.samples.size(), 2000u);
    EXPECT_NEAR(mix.samples[1000], 2500, 2);

    r = Run({"-q", "a.wav", "lr.wav", "MakeStereoFromArrays", "b.wav"});
    ASSERT_EQ(r.status, 0) << r.err;
    const Sound lr = ReadSound(dir_ / "lr.wav");
    ASSERT_EQ(lr.channels, 2);
    EXPECT_EQ(Channel(lr, 0), Constant(2000, 1000));
    EXPECT_EQ(Channel(lr, 1), Constant(2000, 3000));

    r = Run({"a.wav", "x.wav", "MixArrays", "100", "missing.wav", "100"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("missing.wav"), std::string::npos) << r.err;
}

TEST_F(SonalterTest, FormatsAreConvertedBothWays) {
    std::vector<short> tone;
    for (int i = 0; i < 4410; ++i) tone.push_back(static_cast<short>(12000 * std::sin(i * 0.0627)));
    WriteSound(dir_ / "in.wav", Stereo(tone, tone), 2, 44100);

    ASSERT_EQ(Run({"-q", "in.wav", "out.flac", "Invert"}).status, 0);
    const Sound flac = ReadSound(dir_ / "out.flac");
    EXPECT_EQ(flac.format, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
    EXPECT_EQ(flac.samples.size(), tone.size() * 2);
    ASSERT_EQ(Run({"-q", "out.flac", "again.aiff", "Invert"}).status, 0);
    EXPECT_EQ(ReadSound(dir_ / "again.aiff").format & SF_FORMAT_TYPEMASK, SF_FORMAT_AIFF);

    // Deeper and float encodings keep the 16-bit samples exactly.
    ASSERT_EQ(Run({"-q", "--subtype", "pcm24", "in.wav", "deep.wav"}).status, 0);
    EXPECT_EQ(ReadSound(dir_ / "deep.wav").format, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
    ASSERT_EQ(Run({"-q", "--subtype=float", "deep.wav", "float.wav"}).status, 0);
    EXPECT_EQ(ReadSound(dir_ / "float.wav").format, SF_FORMAT_WAV | SF_FORMAT_FLOAT);
    ASSERT_EQ(Run({"-q", "float.wav", "back.wav"}).status, 0);  // without a method: only converted
    EXPECT_EQ(ReadSound(dir_ / "back.wav").samples, Stereo(tone, tone));

    // Float input beyond full scale is clipped to the 16-bit range, not wrapped.
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = 8000;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* f = sf_open((dir_ / "loud.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    const float loud[4] = {1.5f, -1.5f, 0.5f, 0.0f};
    sf_writef_float(f, loud, 4);
    sf_close(f);
    ASSERT_EQ(Run({"-q", "loud.wav", "clipped.wav"}).status, 0);
    const Sound clipped = ReadSound(dir_ / "clipped.wav");
    ASSERT_EQ(clipped.samples.size(), 4u);
    EXPECT_GE(clipped.samples[0], 32766);
    EXPECT_LE(clipped.samples[1], -32767);

    ToolResult r = Run({"in.wav", "out.xyz", "Invert"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(".xyz"), std::string::npos) << r.err;
    r = Run({"--subtype", "pcm17", "in.wav", "out.wav"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("pcm17"), std::string::npos) << r.err;
}

TEST_F(SonalterTest, FloatListsReadTheSameFromCommaListLinesAndCsv) {
    WriteSound(dir_ / "in.wav", Constant(4000, 8000), 1, 8000);
    std::ofstream(dir_ / "lines.txt") << "# gains\n100\n50\n\n0\n";
    std::ofstream(dir_ / "table.csv") << "index,gain\n0,100\n1,50\n2,0\n";
    const ToolResult list = Run({"-q", "--no-smooth", "in.wav", "list.wav", "Envelope", "100,50,0"});
    const ToolResult lines = Run({"-q", "--no-smooth", "in.wav", "lines.wav", "Envelope", "@lines.txt"});
    const ToolResult table = Run({"-q", "--no-smooth", "in.wav", "table.wav", "Envelope", "@table.csv"});
    // Each form reaches the component with the same three values.
    EXPECT_NE(list.status, 2) << list.err;
    EXPECT_EQ(lines.status, list.status) << lines.err;
    EXPECT_EQ(table.status, list.status) << table.err;
    if (list.status == 0) {
        EXPECT_EQ(Slurp(dir_ / "list.wav"), Slurp(dir_ / "lines.wav"));
        EXPECT_EQ(Slurp(dir_ / "list.wav"), Slurp(dir_ / "table.wav"));
        const Sound out = ReadSound(dir_ / "list.wav");
        ASSERT_EQ(out.samples.size(), 4000u);
        EXPECT_GT(std::abs(out.samples[100]), std::abs(out.samples[3900]));
    } else {
        EXPECT_EQ(lines.err, list.err);
        EXPECT_NE(list.err.find("Envelope"), std::string::npos) << list.err;
    }

    ToolResult r = Run({"in.wav", "x.wav", "Envelope", "100,,0"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("EnvelopeArray"), std::string::npos) << r.err;
    std::ofstream(dir_ / "bad.txt") << "100\nlots\n";
    r = Run({"in.wav", "x.wav", "Envelope", "@bad.txt"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("bad.txt:2"), std::string::npos) << r.err;
    r = Run({"in.wav", "x.wav", "Envelope", "@absent.txt"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("absent.txt"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir_ / "x.wav"));
}

TEST_F(SonalterTest, ReturnedValuesArePrintedAsCsvOrWrittenToAFile) {
    WriteSound(dir_ / "in.wav", Constant(1024, 1000), 1, 8000);
    ToolResult r = Run({"-q", "in.wav", "-", "PercentToDB", "50"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "dbValue");
    EXPECT_NEAR(std::atof(r.out.substr(r.out.find('\n') + 1).c_str()), -6.0206, 1e-3);
    EXPECT_EQ(Strays({"in.wav"}), std::vector<std::string>{});  // '-' writes no audio

    // Two results: one block each, introduced by the call.
    r = Run({"-q", "--csv", "values.csv", "in.wav", "out.wav", "DBToPercent", "-6", "PercentToDB", "200"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const std::string csv = Slurp(dir_ / "values.csv");
    EXPECT_NE(csv.find("# DBToPercent(dbValue=-6)\nPercentValue\n50.1"), std::string::npos) << csv;
    EXPECT_NE(csv.find("# PercentToDB(PercentValue=200)\ndbValue\n6.02"), std::string::npos) << csv;
    EXPECT_TRUE(fs::exists(dir_ / "out.wav"));

    // A spectrum gets a frequency column: bin k at k * rate / (2 * L).
    r = Run({"-q", "in.wav", "-", "FFTPower"});
    if (r.status == 0) {
        std::istringstream lines(r.out);
        std::string header;
        std::getline(lines, header);
        EXPECT_EQ(header, "bin,frequency_hz,dbFFTPowerArray");
        std::vector<std::string> rows;
        for (std::string line; std::getline(lines, line);) rows.push_back(line);
        ASSERT_GT(rows.size(), 2u);
        const double binHz = 8000.0 / (2.0 * static_cast<double>(rows.size()));
        EXPECT_NEAR(std::atof(rows[2].substr(rows[2].find(',') + 1).c_str()), 2 * binHz, 1e-6) << rows[2];
    } else {
        EXPECT_NE(r.err.find("FFTPower is not available"), std::string::npos) << r.err;
    }
}

TEST_F(SonalterTest, CommandLineMistakesNameWhatIsWrong) {
    WriteSound(dir_ / "in.wav", Constant(1000, 1000), 1, 8000);
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> said;
    };
    const Case cases[] = {
        {{"in.wav", "out.wav", "Amplfy", "150"}, {"unknown method 'Amplfy'", "Amplify"}},
        {{"in.wav", "out.wav", "Fade", "100"}, {"Fade needs 2 arguments", "AmpRight is missing"}},
        {{"in.wav", "out.wav", "Fade", "100", "Invert"}, {"AmpRight is missing before 'Invert'"}},
        {{"in.wav", "out.wav", "Amplify", "150", "200"}, {"too many arguments for Amplify", "(Amp)"}},
        {{"in.wav", "out.wav", "Amplify", "loud"}, {"Amp", "'loud'", "percent"}},
        {{"in.wav", "out.wav", "Amplify", "1e99"}, {"Amp", "out of range"}},
        {{"in.wav", "out.wav", "Normalize", "90", "maybe"}, {"DCBiasAdjust", "true or false"}},
        {{"in.wav", "out.wav", "Amplify", "Ampp=3"}, {"no parameter Ampp", "did you mean Amp"}},
        {{"in.wav", "out.wav", "Fade", "AmpLeft=1", "AmpLeft=2"}, {"AmpLeft is given twice"}},
        {{"in.wav", "out.wav", "SmoothTime", "10"}, {"SmoothTime is a property"}},
        {{"in.wav", "Amplify", "150"}, {"OUTPUT 'Amplify' is a method name"}},
        {{"--smooth-time", "long", "in.wav", "out.wav", "Invert"}, {"--smooth-time", "'long'"}},
        {{"--quite", "in.wav", "out.wav", "Invert"}, {"--quiet"}},
        {{"in.wav"}, {"missing OUTPUT"}},
        {{}, {"sonalter INPUT OUTPUT METHOD"}},
    };
    for (const Case& c : cases) {
        const ToolResult r = Run(c.args);
        EXPECT_EQ(r.status, 2) << c.args.size() << ": " << r.err;
        for (const std::string& s : c.said) EXPECT_NE(r.err.find(s), std::string::npos) << r.err;
    }
    EXPECT_EQ(Strays({"in.wav"}), std::vector<std::string>{});
}

TEST_F(SonalterTest, FailuresReportTheCauseAndLeaveEveryFileAsItWas) {
    WriteSound(dir_ / "one.wav", Constant(1, 1000), 1, 8000);
    WriteSound(dir_ / "in.wav", Constant(1000, 1000), 1, 8000);
    std::ofstream(dir_ / "old.wav") << "previous contents";

    // The component's own error: description, LastErrorNum and status.
    ToolResult r = Run({"one.wav", "old.wav", "Amplify", "50", "Invert"});
    EXPECT_EQ(r.status, 1);
    for (const char* s : {"failed: Invalid parameter(argument).", "LastErrorNum -20 INVALIDPARAM", "0x8004030B"}) {
        EXPECT_NE(r.err.find(s), std::string::npos) << r.err;
    }
    EXPECT_EQ(Slurp(dir_ / "old.wav"), "previous contents");

    // Writing over the input: untouched on failure, replaced on success.
    const std::string input = Slurp(dir_ / "one.wav");
    EXPECT_EQ(Run({"one.wav", "one.wav", "Invert"}).status, 1);
    EXPECT_EQ(Slurp(dir_ / "one.wav"), input);
    ASSERT_EQ(Run({"-q", "--no-smooth", "in.wav", "in.wav", "Invert"}).status, 0);
    EXPECT_EQ(ReadSound(dir_ / "in.wav").samples, Constant(1000, -1000));

    r = Run({"absent.wav", "out.wav", "Invert"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read absent.wav"), std::string::npos) << r.err;
    r = Run({"in.wav", "no/such/folder/out.wav", "Invert"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot write no/such/folder/out.wav"), std::string::npos) << r.err;
    EXPECT_EQ(Strays({"one.wav", "in.wav", "old.wav"}), std::vector<std::string>{});
}

class SonalterCancelTest : public SonalterTest {
protected:
    // A long stereo file and a chain long enough to be inside a method when Ctrl-C comes.
    std::vector<std::string> LongRun() {
        std::vector<short> tone;
        for (int i = 0; i < 44100 * 30; ++i) tone.push_back(static_cast<short>(8000 * std::sin(i * 0.0627)));
        WriteSound(dir_ / "long.wav", Stereo(tone, tone), 2, 44100);
        std::vector<std::string> args{"-v", "long.wav", "out.wav"};
        for (int i = 0; i < 400; ++i) args.insert(args.end(), {"Fade", "0", "100"});
        return args;
    }
};

TEST_F(SonalterCancelTest, InterruptionsStopTheMethodAndLeaveNoFileBehind) {
    // One Ctrl-C stops the running method; a second one, or a termination, quits
    // at once. Either way no output and no temporary file remain.
    const std::vector<std::string> args = LongRun();
    const struct {
        std::vector<int> signals;
        int status;
    } cases[] = {{{SIGINT}, 130}, {{SIGINT, SIGINT}, 130}, {{SIGTERM}, 128 + SIGTERM}};
    for (const auto& c : cases) {
        const bool once = c.signals == std::vector<int>{SIGINT};
        RunningTool tool(args, dir_, env_);
        ASSERT_TRUE(tool.WaitForError("calling Fade", 20000));
        if (once) usleep(50000);  // well inside the method
        for (int sig : c.signals) tool.Signal(sig);
        const ToolResult r = tool.Finish(20000);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (once) {
            EXPECT_NE(r.err.find("stopped"), std::string::npos) << r.err;
            EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
        }
        EXPECT_EQ(Strays({"long.wav"}), std::vector<std::string>{}) << c.signals.size();
    }
}

TEST_F(SonalterTest, HelpListingAndInfoComeFromTheDescriptionAndTheFile) {
    ToolResult r = Run({"methods"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* s : {"Amplify Amp(%)", "Scales every sample by Amp percent", "MixArrays Ampl1(%) InpArray2(file)",
                          "Envelope EnvelopeArray(list)", "FFTPower  -> dbFFTPowerArray (CSV)", "ArrayFrequency:",
                          "LastErrorNum:"}) {
        EXPECT_NE(r.out.find(s), std::string::npos) << s;
    }
    EXPECT_EQ(r.out.find("QueryInterface"), std::string::npos);  // restricted members stay hidden

    // Units: from the help string where it names one for a word of the name
    // (DelayRate and SweepRate are percentages of their ranges), else from the name.
    r = Run({"help", "flanger"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* s : {"DelayRate     float, in percent", "SweepRate     float, in percent",
                          "SweepPhase    float, in degrees", "limit: 0..100%",
                          "FeedBackGain  float, in percent", "WavArray is the current audio"}) {
        EXPECT_NE(r.out.find(s), std::string::npos) << s << "\n" << r.out;
    }
    r = Run({"help", "FFTPhase"});
    EXPECT_NE(r.out.find("k * ArrayFrequency / (2 * L)"), std::string::npos) << r.out;
    r = Run({"help", "SmoothTime"});
    EXPECT_NE(r.out.find("in ms"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--smooth-time"), std::string::npos) << r.out;
    r = Run({"help", "Revrb"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Reverb"), std::string::npos) << r.err;

    r = Run({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("INPUT OUTPUT METHOD [ARG ...]"), std::string::npos);

    r = Run({"info", SONALTER_SAMPLE_PATH});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const char* s : {"WAV", "Signed 16 bit PCM", "Channels:  2", "Rate:      22050 Hz", "Peak:      -1.0 dBFS"}) {
        EXPECT_NE(r.out.find(s), std::string::npos) << s << "\n" << r.out;
    }
}

TEST_F(SonalterTest, TheBundledSampleRunsAsTheReadmeShows) {
    const Sound sample = ReadSound(SONALTER_SAMPLE_PATH);
    ASSERT_EQ(sample.channels, 2);
    ASSERT_EQ(sample.rate, 22050);
    const double seconds = static_cast<double>(sample.samples.size()) / 2 / 22050;
    EXPECT_GE(seconds, 2.0);
    EXPECT_LE(seconds, 4.0);
    EXPECT_LT(fs::file_size(SONALTER_SAMPLE_PATH), 400u * 1024);

    ToolResult r = Run({SONALTER_SAMPLE_PATH, "out.wav", "Normalize", "90", "true", "Fade", "100", "30"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("wrote out.wav"), std::string::npos) << r.err;
    const Sound out = ReadSound(dir_ / "out.wav");
    EXPECT_EQ(out.channels, 2);
    EXPECT_EQ(out.samples.size(), sample.samples.size());
    int peak = 0;
    for (short s : out.samples) peak = std::max(peak, std::abs(static_cast<int>(s)));
    EXPECT_LE(peak, 0.9 * 32768 + 2);
    EXPECT_GT(peak, 0.3 * 32768);
}

// Registered components are created by program identifier; a registration whose
// module is gone falls back to the module beside the tool, with a warning.
TEST_F(SonalterTest, ActivationPrefersTheRegistrationAndSurvivesAStaleOne) {
    WriteSound(dir_ / "in.wav", Constant(1000, 1000), 1, 8000);
    const fs::path copy = dir_ / "copy" / "QelvSonalter2.so";
    fs::create_directories(copy.parent_path());
    fs::copy_file(SONALTER_MODULE_PATH, copy);
    setenv("QELV_REGISTRY", env_["QELV_REGISTRY"].c_str(), 1);
    const std::string copyPath = copy.string();
    HMODULE module = LoadLibraryW(std::u16string(copyPath.begin(), copyPath.end()).c_str());
    ASSERT_NE(module, nullptr);
    auto reg = reinterpret_cast<HRESULT (*)()>(reinterpret_cast<void (*)()>(GetProcAddress(module, "DllRegisterServer")));
    ASSERT_NE(reg, nullptr);
    ASSERT_EQ(reg(), S_OK);
    FreeLibrary(module);
    unsetenv("QELV_REGISTRY");

    ToolResult r = Run({"-v", "in.wav", "out.wav", "Invert"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("component: registered program identifier QelvSonalter2.Sonalter2"), std::string::npos)
        << r.err;

    fs::remove(copy);
    r = Run({"-v", "in.wav", "out2.wav", "Invert"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("warning: registered QelvSonalter2.Sonalter2"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("component: module "), std::string::npos) << r.err;
}

}  // namespace
