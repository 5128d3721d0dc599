#include "SpectrumPlot.h"

#include "Errors.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <limits>

namespace sonalter {
namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kInk{30, 30, 30};
constexpr Rgb kMajorGrid{200, 200, 200};
constexpr Rgb kMinorGrid{232, 232, 232};
constexpr Rgb kCurve{20, 90, 170};

class Image {
public:
    Image(int width, int height) : width_(width), height_(height), pixels_(static_cast<size_t>(width * height), kWhite) {}
    int width() const { return width_; }
    int height() const { return height_; }

    // Blends colour over pixel (x, y) with coverage 0 .. 1.
    void Blend(int x, int y, Rgb c, double coverage) {
        if (x < 0 || y < 0 || x >= width_ || y >= height_ || coverage <= 0) return;
        coverage = std::min(coverage, 1.0);
        Rgb& p = pixels_[static_cast<size_t>(y * width_ + x)];
        auto mix = [coverage](std::uint8_t a, std::uint8_t b) {
            return static_cast<std::uint8_t>(std::lround(a + (b - a) * coverage));
        };
        p = {mix(p.r, c.r), mix(p.g, c.g), mix(p.b, c.b)};
    }
    void HorizontalLine(int x0, int x1, int y, Rgb c) {
        for (int x = x0; x <= x1; ++x) Blend(x, y, c, 1);
    }
    void VerticalLine(int x, int y0, int y1, Rgb c) {
        for (int y = y0; y <= y1; ++y) Blend(x, y, c, 1);
    }
    // An antialiased line of the given width: every pixel near the segment is
    // covered by how far its centre lies inside the stroke.
    void Line(double x0, double y0, double x1, double y1, double width, Rgb c) {
        const double half = width / 2;
        const int xa = static_cast<int>(std::floor(std::min(x0, x1) - half - 1));
        const int xb = static_cast<int>(std::ceil(std::max(x0, x1) + half + 1));
        const int ya = static_cast<int>(std::floor(std::min(y0, y1) - half - 1));
        const int yb = static_cast<int>(std::ceil(std::max(y0, y1) + half + 1));
        const double dx = x1 - x0, dy = y1 - y0, length2 = dx * dx + dy * dy;
        for (int y = ya; y <= yb; ++y) {
            for (int x = xa; x <= xb; ++x) {
                double t = length2 > 0 ? ((x - x0) * dx + (y - y0) * dy) / length2 : 0;
                t = std::clamp(t, 0.0, 1.0);
                const double distance = std::hypot(x - (x0 + t * dx), y - (y0 + t * dy));
                Blend(x, y, c, half + 0.5 - distance);
            }
        }
    }
    const Rgb* Row(int y) const { return pixels_.data() + static_cast<size_t>(y * width_); }

private:
    int width_, height_;
    std::vector<Rgb> pixels_;
};

// Text through FreeType with the sans-serif font fontconfig picks.
class Font {
public:
    explicit Font(int pixels) {
        std::string path = FindFont();
        if (FT_Init_FreeType(&library_) != 0) throw Failure("FreeType cannot start");
        if (FT_New_Face(library_, path.c_str(), 0, &face_) != 0) {
            FT_Done_FreeType(library_);
            throw Failure("cannot load the font " + path);
        }
        FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(pixels));
    }
    ~Font() {
        FT_Done_Face(face_);
        FT_Done_FreeType(library_);
    }
    Font(const Font&) = delete;
    Font& operator=(const Font&) = delete;

    // Width of the text in pixels.
    int Width(const std::string& text) {
        FT_Set_Transform(face_, nullptr, nullptr);
        long advance = 0;
        for (unsigned char ch : text) {
            if (FT_Load_Char(face_, ch, FT_LOAD_DEFAULT) == 0) advance += face_->glyph->advance.x;
        }
        return static_cast<int>(advance / 64);
    }

    // Draws text with its baseline starting at (x, y); vertical text runs upward.
    void Draw(Image& image, int x, int y, const std::string& text, Rgb c, bool vertical = false) {
        FT_Matrix up = {0, -0x10000, 0x10000, 0};
        FT_Vector pen = {0, 0};
        for (unsigned char ch : text) {
            FT_Set_Transform(face_, vertical ? &up : nullptr, &pen);
            if (FT_Load_Char(face_, ch, FT_LOAD_RENDER) != 0) continue;
            const FT_GlyphSlot g = face_->glyph;
            const FT_Bitmap& b = g->bitmap;
            for (unsigned row = 0; row < b.rows; ++row) {
                for (unsigned col = 0; col < b.width; ++col) {
                    const double coverage = b.buffer[row * static_cast<unsigned>(b.pitch) + col] / 255.0;
                    image.Blend(x + g->bitmap_left + static_cast<int>(col), y - g->bitmap_top + static_cast<int>(row), c,
                                coverage);
                }
            }
            pen.x += g->advance.x;
            pen.y += g->advance.y;
        }
        FT_Set_Transform(face_, nullptr, nullptr);
    }

private:
    // The file of the sans-serif font, from a fontconfig configuration of our
    // own that is released again (the library's global one would live on).
    static std::string FindFont() {
        FcConfig* config = FcInitLoadConfigAndFonts();
        if (!config) throw Failure("fontconfig cannot start");
        FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
        FcConfigSubstitute(config, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        FcPattern* match = FcFontMatch(config, pattern, &result);
        std::string path;
        FcChar8* file = nullptr;
        if (match && FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) path = reinterpret_cast<char*>(file);
        if (match) FcPatternDestroy(match);
        FcPatternDestroy(pattern);
        FcConfigDestroy(config);
        if (path.empty()) throw Failure("no font found for the plot (fontconfig matched none)");
        return path;
    }

    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
};

void WritePng(const std::string& path, const Image& image) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) throw Failure("cannot write " + path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info;
    if (ok && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()), static_cast<png_uint_32>(image.height()), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < image.height(); ++y) {
            png_write_row(png, reinterpret_cast<png_const_bytep>(image.Row(y)));
        }
        png_write_end(png, nullptr);
    } else {
        ok = false;
    }
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) ok = false;
    if (!ok) throw Failure("cannot write the PNG " + path);
}

std::string FrequencyLabel(double hz) {
    char buffer[32];
    if (hz >= 1000) {
        std::snprintf(buffer, sizeof buffer, "%gk", hz / 1000);
    } else {
        std::snprintf(buffer, sizeof buffer, "%g", hz);
    }
    return buffer;
}

}  // namespace

void WriteSpectrumPng(const std::string& path, const std::vector<float>& power, double binHz,
                      const std::string& title) {
    static_assert(sizeof(Rgb) == 3, "rows are written as packed RGB");
    Image image(1000, 560);
    const int left = 84, right = image.width() - 24, top = 56, bottom = image.height() - 64;
    Font font(14);

    // Axis ranges: bins 1 .. N/2-1 on a logarithmic axis; power in 10 dB steps
    // over at most 140 dB below the top.
    const double fMin = binHz, fMax = binHz * static_cast<double>(std::max<size_t>(power.size(), 2) - 1);
    double high = -std::numeric_limits<double>::infinity(), low = std::numeric_limits<double>::infinity();
    for (size_t k = 1; k < power.size(); ++k) {
        if (std::isfinite(power[k])) {
            high = std::max(high, static_cast<double>(power[k]));
            low = std::min(low, static_cast<double>(power[k]));
        }
    }
    if (!std::isfinite(high)) high = 0, low = -100;
    const double dbTop = std::ceil(high / 10) * 10 + (std::fmod(high, 10) == 0 ? 10 : 0);
    const double dbBottom = std::max(std::floor(low / 10) * 10, dbTop - 140);
    auto X = [&](double hz) {
        return left + (std::log10(hz) - std::log10(fMin)) / (std::log10(fMax) - std::log10(fMin)) * (right - left);
    };
    auto Y = [&](double db) { return top + (dbTop - db) / (dbTop - dbBottom) * (bottom - top); };

    // Grid and labels: decades with 2 and 5 labelled, the other multiples light.
    for (double decade = std::pow(10.0, std::floor(std::log10(fMin))); decade <= fMax; decade *= 10) {
        for (int m = 1; m <= 9; ++m) {
            const double hz = decade * m;
            if (hz < fMin || hz > fMax) continue;
            const int x = static_cast<int>(std::lround(X(hz)));
            const bool labelled = m == 1 || m == 2 || m == 5;
            image.VerticalLine(x, top, bottom, labelled ? kMajorGrid : kMinorGrid);
            if (labelled) {
                const std::string label = FrequencyLabel(hz);
                font.Draw(image, x - font.Width(label) / 2, bottom + 20, label, kInk);
            }
        }
    }
    const double step = (dbTop - dbBottom) > 80 ? 20 : 10;
    for (double db = std::floor(dbTop / step) * step; db >= dbBottom; db -= step) {
        const int y = static_cast<int>(std::lround(Y(db)));
        image.HorizontalLine(left, right, y, kMajorGrid);
        const std::string label = std::to_string(static_cast<int>(db));
        font.Draw(image, left - 8 - font.Width(label), y + 5, label, kInk);
    }

    // The spectrum: consecutive bins joined; empty bins drop to the bottom.
    auto clampedY = [&](float db) { return Y(std::isfinite(db) ? std::max<double>(db, dbBottom) : dbBottom); };
    for (size_t k = 2; k < power.size(); ++k) {
        image.Line(X((k - 1) * binHz), clampedY(power[k - 1]), X(k * binHz), clampedY(power[k]), 1.4, kCurve);
    }

    // Frame and captions.
    image.HorizontalLine(left, right, top, kInk);
    image.HorizontalLine(left, right, bottom, kInk);
    image.VerticalLine(left, top, bottom, kInk);
    image.VerticalLine(right, top, bottom, kInk);
    const std::string xCaption = "Frequency (Hz, logarithmic)";
    font.Draw(image, (left + right - font.Width(xCaption)) / 2, image.height() - 16, xCaption, kInk);
    const std::string yCaption = "Power (dB re 32767)";
    font.Draw(image, 24, (top + bottom + font.Width(yCaption)) / 2, yCaption, kInk, true);
    std::string shown = title;
    while (shown.size() > 20 && font.Width(shown) > right - left) shown = "..." + shown.substr(4);
    font.Draw(image, left, top - 20, shown, kInk);

    WritePng(path, image);
}

}  // namespace sonalter
