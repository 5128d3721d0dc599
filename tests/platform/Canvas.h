// A memory context with a top-down 32-bit DIB section selected: the canvas the
// drawing tests draw on and read back (header only; Windows or platform headers
// included before).
#pragma once

#include <cstdint>
#include <set>
#include <utility>

namespace qelvtest {

class Canvas {
public:
    Canvas(int w, int h, std::uint32_t fill = 0) : w_(w), h_(h) {
        BITMAPINFO bmi{};
        bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        bmi.bmiHeader.biWidth = w;
        bmi.bmiHeader.biHeight = -h;
        bmi.bmiHeader.biPlanes = 1;
        bmi.bmiHeader.biBitCount = 32;
        bmi.bmiHeader.biCompression = BI_RGB;
        bitmap_ = CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits_), nullptr, 0);
        if (bits_) {
            for (int k = 0; k < w * h; ++k) bits_[k] = fill;
        }
        dc_ = CreateCompatibleDC(nullptr);
        previous_ = SelectObject(dc_, bitmap_);
    }
    ~Canvas() {
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
        DeleteObject(bitmap_);
    }
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    bool ok() const { return bits_ != nullptr && dc_ != nullptr; }
    HDC dc() const { return dc_; }
    int width() const { return w_; }
    int height() const { return h_; }
    const std::uint32_t* bits() const { return bits_; }
    std::uint32_t& at(int x, int y) { return bits_[y * w_ + x]; }
    std::uint32_t at(int x, int y) const { return bits_[y * w_ + x]; }

    // The pixels of one colour (0x00RRGGBB).
    std::set<std::pair<int, int>> Pixels(std::uint32_t rgb) const {
        std::set<std::pair<int, int>> found;
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                if (at(x, y) == rgb) found.insert({x, y});
        return found;
    }

private:
    int w_, h_;
    HBITMAP bitmap_ = nullptr;
    std::uint32_t* bits_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

}  // namespace qelvtest
