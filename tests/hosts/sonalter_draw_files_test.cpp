// The viewer's files: the PNG it writes decodes (with libpng) to the pixels it
// was given, points read back as written, and bad point files are refused
// with the line named.
#include <gtest/gtest.h>

#include <png.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "Files.h"

namespace {

namespace fs = std::filesystem;

std::vector<uint32_t> DecodePng(const std::string& path, int& width, int& height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {};
    EXPECT_EQ(image.format & PNG_FORMAT_FLAG_COLOR, PNG_FORMAT_FLAG_COLOR);
    EXPECT_EQ(image.format & PNG_FORMAT_FLAG_ALPHA, 0u);
    image.format = PNG_FORMAT_RGB;
    width = static_cast<int>(image.width);
    height = static_cast<int>(image.height);
    std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
    std::vector<uint32_t> pixels;
    for (size_t i = 0; i + 2 < rgb.size(); i += 3) {
        pixels.push_back(static_cast<uint32_t>(rgb[i]) << 16 | static_cast<uint32_t>(rgb[i + 1]) << 8 | rgb[i + 2]);
    }
    return pixels;
}

TEST(SonalterDrawFiles, PngDecodesToThePixelsAcrossSeveralDeflateBlocks) {
    // 200 x 120 RGB rows are 72120 bytes: more than one stored block.
    const int width = 200, height = 120;
    std::vector<uint32_t> pixels(width * height);
    for (int i = 0; i < width * height; ++i) pixels[i] = static_cast<uint32_t>(i * 2654435761u) & 0xFFFFFFu;
    const fs::path path = fs::temp_directory_path() / ("sonalter-draw-test-" + std::to_string(::getpid()) + ".png");
    std::string error;
    ASSERT_TRUE(draw::WriteAtomically(path.string(), draw::EncodePng(pixels.data(), width, height), error)) << error;
    EXPECT_FALSE(fs::exists(path.string() + ".tmp"));
    int w = 0, h = 0;
    const std::vector<uint32_t> decoded = DecodePng(path.string(), w, h);
    fs::remove(path);
    EXPECT_EQ(w, width);
    EXPECT_EQ(h, height);
    EXPECT_EQ(decoded, pixels);
}

TEST(SonalterDrawFiles, PointsRoundTripAndBadLinesAreNamed) {
    const fs::path path = fs::temp_directory_path() / ("sonalter-draw-points-" + std::to_string(::getpid()) + ".csv");
    const std::vector<float> pairs = {0.0f, 1.0f, 1234.56789f, -0.1f, 22050.0f, 3.0e-7f};
    std::string error;
    ASSERT_TRUE(draw::WriteAtomically(path.string(), draw::FormatPoints(pairs), error));
    std::vector<float> read;
    ASSERT_TRUE(draw::ReadPoints(path.string(), read, error)) << error;
    EXPECT_EQ(read, pairs);  // nine digits give every float back

    std::ofstream(path) << "x;y\n# comment\n1 2\n3,4,5\n";
    EXPECT_FALSE(draw::ReadPoints(path.string(), read, error));
    EXPECT_NE(error.find(":4: expected x,y pairs"), std::string::npos) << error;
    std::ofstream(path) << "1,2\nthree,4\n";
    EXPECT_FALSE(draw::ReadPoints(path.string(), read, error));
    EXPECT_NE(error.find(":2: 'three' is not a number"), std::string::npos) << error;
    std::ofstream(path) << "1,2\n1e39,4\n";
    EXPECT_FALSE(draw::ReadPoints(path.string(), read, error));
    fs::remove(path);
    EXPECT_FALSE(draw::ReadPoints(path.string(), read, error));
}

}  // namespace
