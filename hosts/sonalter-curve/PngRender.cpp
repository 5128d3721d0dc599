#include "PngRender.h"

#include <png.h>

#include <cstdio>
#include <vector>

#include "../../display/TopDownBitmap.h"

namespace curve {
namespace {

// The pixels of a top-down 32-bit bitmap (blue in the low byte) as RGB rows.
bool WritePng(const std::string& path, const uint32_t* pixels, int width, int height, std::string* error) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        *error = "cannot write '" + path + "'";
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> row(static_cast<size_t>(width) * 3);
    bool ok = png && info;
    if (ok && setjmp(png_jmpbuf(png))) ok = false;
    if (ok) {
        png_init_io(png, file);
        png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                     PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const uint32_t p = pixels[static_cast<size_t>(y) * width + x];
                row[3 * x] = static_cast<png_byte>(p >> 16);
                row[3 * x + 1] = static_cast<png_byte>(p >> 8);
                row[3 * x + 2] = static_cast<png_byte>(p);
            }
            png_write_row(png, row.data());
        }
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    if (std::fclose(file) != 0) ok = false;
    if (!ok) *error = "cannot write '" + path + "'";
    return ok;
}

}  // namespace

std::string RenderPng(qelv::CSonalterDisplay2* control, int width, int height, const std::string& path) {
    void* bits = nullptr;
    HBITMAP bitmap = qelv::CreateTopDownBitmap(width, height, &bits);
    if (!bitmap) return "cannot make a bitmap of that size";
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    // Drawn as a host draws a control it has not activated: through its view.
    const RECTL bounds{0, 0, width, height};
    IViewObject2* view = nullptr;
    HRESULT hr = control->QueryInterface(IID_IViewObject2, reinterpret_cast<void**>(&view));
    if (SUCCEEDED(hr)) {
        hr = view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &bounds, nullptr, nullptr, 0);
        view->Release();
    }
    std::string error;
    if (FAILED(hr)) error = "the control could not draw";
    else WritePng(path, static_cast<const uint32_t*>(bits), width, height, &error);
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(bitmap);
    return error;
}

}  // namespace curve
