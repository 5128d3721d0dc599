// End-to-end tests of `sonalter spectrum` and the spectral peak of `sonalter info`.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>
#include <unistd.h>

#include "hosts/ToolProcess.h"

namespace {

namespace fs = std::filesystem;
using sonalter_test::RunTool;
using sonalter_test::ToolResult;

class SpectrumCommand : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("sonalter-spectrum-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        // 1000 Hz at 16000 Hz: bin 64 of a 1024-point block, bin 1024 of 16384.
        std::vector<short> samples(32000);
        for (std::size_t t = 0; t < samples.size(); ++t) {
            samples[t] = static_cast<short>(std::lround(12000 * std::sin(2 * std::numbers::pi * 1000.0 * t / 16000)));
        }
        sonalter_test::WriteSound(dir_ / "tone.wav", samples, 1, 16000);
    }
    void TearDown() override { fs::remove_all(dir_); }

    ToolResult Run(const std::vector<std::string>& args) { return RunTool(args, dir_, {{"QELV_REGISTRY", (dir_ / "registry").string()}}); }
    fs::path dir_;
};

TEST_F(SpectrumCommand, CsvPngAndInfo) {
    ToolResult r = Run({"spectrum", "tone.wav", "--at", "0.5", "--size", "1024"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "frequency_hz,power_db");
    std::size_t rows = 0, best = 0;
    double bestDb = -1e9, bestHz = 0;
    while (std::getline(lines, line)) {
        const std::size_t comma = line.find(',');
        const double hz = std::stod(line.substr(0, comma)), db = std::stod(line.substr(comma + 1));
        if (db > bestDb) bestDb = db, bestHz = hz, best = rows;
        ++rows;
    }
    EXPECT_EQ(rows, 512u);
    EXPECT_EQ(best, 64u);
    EXPECT_DOUBLE_EQ(bestHz, 1000.0);
    // A tone of amplitude a on a bin: 20 log10(a sqrt(N/2) / 32767).
    EXPECT_NEAR(bestDb, 20 * std::log10(12000 * std::sqrt(512.0) / 32767), 0.05);

    r = Run({"spectrum", "tone.wav", "--png", "plot.png", "--csv=values.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream png(dir_ / "plot.png", std::ios::binary);
    char signature[8] = {};
    png.read(signature, 8);
    EXPECT_EQ(std::string(signature + 1, 3), "PNG");
    EXPECT_GT(fs::file_size(dir_ / "plot.png"), 5000u);
    EXPECT_GT(fs::file_size(dir_ / "values.csv"), 8192u * 10);

    r = Run({"info", "tone.wav"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Spectral peak: 1000.0 Hz"), std::string::npos) << r.out;

    EXPECT_EQ(Run({"spectrum", "tone.wav", "--size", "100"}).status, 2);
    EXPECT_EQ(Run({"spectrum", "tone.wav", "--at", "5"}).status, 1);
    EXPECT_EQ(Run({"spectrum"}).status, 2);
}

}  // namespace
