// The display control's pictures on both platforms: each control state is
// drawn through its view into a memory context holding a 32-bit DIB section
// and stored as a BMP file, with the text measurements the drawing depends on.
// The comparison requires identical pixels outside text (grid, curve,
// markers, bands, borders) and the same text measurements; the images of a
// state that differs are kept for inspection, the others removed. For a few
// states the picture is also taken as a metafile through data transfer and
// played back, and must match the view's drawing pixel for pixel.
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "Host.h"
// After the Windows headers that Host.h brings.
#include "../../platform/Canvas.h"

namespace host {
namespace {

struct State {
    const char* name;
    int width;
    int height;
    bool scales;
    void (*setup)(ISonalterDisplay2* control);
};

SAFEARRAY* PointArray(const std::vector<float>& values) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_R4, 0, static_cast<ULONG>(values.size()));
    float* data = nullptr;
    if (array && SUCCEEDED(SafeArrayAccessData(array, reinterpret_cast<void**>(&data)))) {
        std::memcpy(data, values.data(), values.size() * sizeof(float));
        SafeArrayUnaccessData(array);
    }
    return array;
}

void SetPoints(ISonalterDisplay2* control, const std::vector<float>& values) {
    SAFEARRAY* array = PointArray(values);
    control->SetPointArray(&array);
    SafeArrayDestroy(array);
}

const std::vector<float> kPoints = {0, -12, 1500, 14, 4000, -6, 9000, 8, 15000, -18, 22050, 3};

void NoScales(ISonalterDisplay2* c) {
    c->put_ScaleXVisible(0);
    c->put_ScaleYVisible(0);
}

const State kStates[] = {
    {"defaults-hidden-scales", 192, 160, false, [](ISonalterDisplay2* c) { NoScales(c); }},
    {"straight-single", 211, 133, false,
     [](ISonalterDisplay2* c) {
         NoScales(c);
         SetPoints(c, kPoints);
         c->put_SplineType(static_cast<SplineTypeConstants>(0));
         c->put_BorderStyle(static_cast<BorderTypeConstants>(1));
         c->put_BorderColor(0x3399FF);
     }},
    {"rounded-lowered", 250, 97, false,
     [](ISonalterDisplay2* c) {
         NoScales(c);
         SetPoints(c, kPoints);
         c->put_SplineSteepnes(5);
         c->put_BorderStyle(static_cast<BorderTypeConstants>(2));
     }},
    {"smoothed-log-raised", 300, 150, false,
     [](ISonalterDisplay2* c) {
         NoScales(c);
         SetPoints(c, kPoints);
         c->put_SplineType(static_cast<SplineTypeConstants>(2));
         c->put_LogScale(-1);
         c->put_BorderStyle(static_cast<BorderTypeConstants>(3));
     }},
    {"system-colours-no-grid", 120, 200, false,
     [](ISonalterDisplay2* c) {
         NoScales(c);
         SetPoints(c, kPoints);
         c->put_GridVisible(0);
         c->put_BackColor(0x80000005);
         c->put_Color(0x80000008);
         c->put_PointColor(0x8000000D);
     }},
    {"limits-outside-points", 160, 90, false,
     [](ISonalterDisplay2* c) {
         NoScales(c);
         SetPoints(c, kPoints);
         c->put_ScaleXMin(1000.0f);
         c->put_ScaleYMax(10.0f);
         c->put_SplineType(static_cast<SplineTypeConstants>(0));
     }},
    {"defaults-with-scales", 400, 240, true, [](ISonalterDisplay2* c) { SetPoints(c, kPoints); }},
    {"log-scales-single", 420, 260, true,
     [](ISonalterDisplay2* c) {
         SetPoints(c, kPoints);
         c->put_LogScale(-1);
         c->put_SplineType(static_cast<SplineTypeConstants>(2));
         c->put_BorderStyle(static_cast<BorderTypeConstants>(1));
         c->put_BorderColor(0xFFFFFF);
     }},
    {"x-scale-only", 300, 160, true,
     [](ISonalterDisplay2* c) {
         c->put_ScaleYVisible(0);
         c->put_ScaleXMax(1000.0f);
         SetPoints(c, {0, 5, 500, -5, 1000, 0});
     }},
    {"y-scale-only-lowered", 300, 160, true,
     [](ISonalterDisplay2* c) {
         c->put_ScaleXVisible(0);
         c->put_ScaleYMin(-1500.0f);
         c->put_ScaleYMax(2500.0f);
         c->put_BorderStyle(static_cast<BorderTypeConstants>(2));
     }},
};

bool WriteBmp(const std::string& path, const unsigned* pixels, int width, int height) {
    std::vector<unsigned char> out;
    auto put16 = [&](unsigned v) {
        out.push_back(static_cast<unsigned char>(v));
        out.push_back(static_cast<unsigned char>(v >> 8));
    };
    auto put32 = [&](unsigned v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    const unsigned size = static_cast<unsigned>(width) * static_cast<unsigned>(height) * 4;
    put16(0x4D42);
    put32(54 + size);
    put32(0);
    put32(54);
    put32(40);
    put32(static_cast<unsigned>(width));
    put32(static_cast<unsigned>(-height));  // top-down
    put16(1);
    put16(32);
    put32(0);
    put32(size);
    put32(3780);
    put32(3780);
    put32(0);
    put32(0);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(pixels);
    out.insert(out.end(), bytes, bytes + size);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(out.data(), 1, out.size(), file) == out.size();
    return std::fclose(file) == 0 && ok;
}

bool ReadBmp(const std::string& path, std::vector<unsigned>& pixels, int& width, int& height) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    std::vector<unsigned char> in;
    unsigned char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) in.insert(in.end(), buffer, buffer + n);
    std::fclose(file);
    if (in.size() < 54) return false;
    auto get32 = [&](size_t at) {
        return static_cast<unsigned>(in[at]) | (static_cast<unsigned>(in[at + 1]) << 8) |
               (static_cast<unsigned>(in[at + 2]) << 16) | (static_cast<unsigned>(in[at + 3]) << 24);
    };
    width = static_cast<int>(get32(18));
    height = -static_cast<int>(get32(22));
    if (width <= 0 || height <= 0 || in.size() < 54 + static_cast<size_t>(width) * height * 4) return false;
    pixels.resize(static_cast<size_t>(width) * height);
    std::memcpy(pixels.data(), in.data() + 54, pixels.size() * 4);
    for (unsigned& p : pixels) p &= 0x00FFFFFF;
    return true;
}

// The states whose picture is also taken through data transfer as a metafile.
bool CheckedAsMetafile(const char* name) {
    for (const char* checked : {"rounded-lowered", "smoothed-log-raised", "defaults-with-scales"}) {
        if (std::strcmp(checked, name) == 0) return true;
    }
    return false;
}

// Sizes the control to the state through its extent, takes its picture with
// IDataObject::GetData(CF_METAFILEPICT) and plays the metafile with
// PlayMetaFile into a 32-bit DIB section of the state's size: the pixels must
// be those its view drew (drawn, top-down), text included.
void CheckMetafile(Tally& tally, ISonalterDisplay2* control, const State& state, const unsigned* drawn) {
    const std::string what = std::string(state.name) + " as a metafile";
    IOleObject* object = nullptr;
    IDataObject* data = nullptr;
    control->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object));
    control->QueryInterface(IID_IDataObject, reinterpret_cast<void**>(&data));
    SIZEL extent{MulDiv(state.width, 2540, 96), MulDiv(state.height, 2540, 96)};
    FORMATETC format{CF_METAFILEPICT, nullptr, DVASPECT_CONTENT, -1, TYMED_MFPICT};
    STGMEDIUM medium{};
    HRESULT hr = object && data ? object->SetExtent(DVASPECT_CONTENT, &extent) : E_NOINTERFACE;
    if (SUCCEEDED(hr)) hr = data->GetData(&format, &medium);
    if (tally.Check(hr == S_OK && medium.tymed == TYMED_MFPICT && medium.hMetaFilePict, what.c_str(), Hex(hr))) {
        const METAFILEPICT* picture = static_cast<const METAFILEPICT*>(GlobalLock(medium.hMetaFilePict));
        tally.Check(picture && picture->mm == MM_ANISOTROPIC && picture->xExt == extent.cx &&
                        picture->yExt == extent.cy,
                    what.c_str(), "mapping mode or HIMETRIC size");
        qelvtest::Canvas canvas(state.width, state.height);
        const unsigned* bits = canvas.bits();
        const bool played = picture && bits && PlayMetaFile(canvas.dc(), picture->hMF);
        GdiFlush();
        int differing = 0;
        std::string firstAt;
        const size_t count = static_cast<size_t>(state.width) * static_cast<size_t>(state.height);
        for (size_t k = 0; played && k < count; ++k) {
            if (((bits[k] ^ drawn[k]) & 0x00FFFFFF) == 0) continue;
            if (differing++ == 0) {
                firstAt = ", first at (" + std::to_string(k % state.width) + ", " +
                          std::to_string(k / state.width) + ")";
            }
        }
        tally.Check(played && differing == 0, what.c_str(),
                    played ? std::to_string(differing) + " pixels differ from the view's" + firstAt
                           : std::string("PlayMetaFile failed"));
        GlobalUnlock(medium.hMetaFilePict);
        ReleaseStgMedium(&medium);
    }
    if (data) data->Release();
    if (object) object->Release();
}

// The colours a state draws outside text, as pixels (0x00RRGGBB).
std::set<unsigned> PlainColours(ISonalterDisplay2* control) {
    std::set<unsigned> colours;
    OLE_COLOR values[6] = {};
    control->get_BackColor(&values[0]);
    control->get_GridColor(&values[1]);
    control->get_Color(&values[2]);
    control->get_PointColor(&values[3]);
    control->get_BorderColor(&values[4]);
    control->get_ScaleColor(&values[5]);
    for (OLE_COLOR value : values) {
        COLORREF c = 0;
        OleTranslateColor(value, nullptr, &c);
        colours.insert(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
    }
    for (int index : {COLOR_BTNHIGHLIGHT, COLOR_BTNSHADOW}) {
        const COLORREF c = GetSysColor(index);
        colours.insert(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
    }
    return colours;
}

// Text measurements the picture depends on: the default font's extents of the
// band texts, and the scale font's of the label texts.
std::string Measurements(ISonalterDisplay2* control) {
    std::string out;
    HDC dc = CreateCompatibleDC(nullptr);
    SIZE size{};
    for (const char* text : {"15", "-15", "-1125", "1875"}) {
        GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size);
        out += " sys'" + std::string(text) + "'=" + std::to_string(size.cx) + "x" + std::to_string(size.cy);
    }
    IFontDisp* fontDisp = nullptr;
    IFont* font = nullptr;
    HFONT handle = nullptr;
    if (SUCCEEDED(control->get_ScaleFont(&fontDisp)) && fontDisp &&
        SUCCEEDED(fontDisp->QueryInterface(IID_IFont, reinterpret_cast<void**>(&font))) &&
        SUCCEEDED(font->get_hFont(&handle))) {
        HGDIOBJ old = SelectObject(dc, handle);
        for (const char* text : {"22050", "0", "15", "3390", "Hz"}) {
            GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &size);
            out += " scale'" + std::string(text) + "'=" + std::to_string(size.cx) + "x" + std::to_string(size.cy);
        }
        SelectObject(dc, old);
    }
    if (font) font->Release();
    if (fontDisp) fontDisp->Release();
    DeleteDC(dc);
    return out;
}

}  // namespace

// Draws every state into <dir>/<state>.bmp and writes <dir>/render.txt: one
// line per state with its size and text measurements.
int WriteRenders(const char* dir) {
    Tally tally;
    std::string listing;
    for (const State& state : kStates) {
        ISonalterDisplay2* control = nullptr;
        CreateByProgId(OLESTR("QelvSonalter2.SonalterDisplay2"), IID_ISonalterDisplay2,
                       reinterpret_cast<void**>(&control));
        if (!tally.Check(control != nullptr, "creating QelvSonalter2.SonalterDisplay2")) return tally.Finish();
        state.setup(control);
        IViewObject* view = nullptr;
        tally.Check(SUCCEEDED(control->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&view))),
                    "IViewObject");
        qelvtest::Canvas canvas(state.width, state.height);
        const unsigned* bits = canvas.bits();
        const RECTL bounds{0, 0, state.width, state.height};
        const HRESULT hr =
            view ? view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, canvas.dc(), &bounds, nullptr, nullptr, 0)
                 : E_NOINTERFACE;
        tally.Check(hr == S_OK, state.name, Hex(hr));
        GdiFlush();
        tally.Check(bits && WriteBmp(std::string(dir) + "/" + state.name + ".bmp", bits, state.width, state.height),
                    "writing the picture");
        if (bits && CheckedAsMetafile(state.name)) {
            CheckMetafile(tally, control, state, bits);
        }
        listing += std::string(state.name) + " " + std::to_string(state.width) + "x" + std::to_string(state.height) +
                   (state.scales ? Measurements(control) : std::string()) + "\n";
        if (view) view->Release();
        control->Release();
    }
    std::FILE* file = std::fopen((std::string(dir) + "/render.txt").c_str(), "wb");
    tally.Check(file && std::fwrite(listing.data(), 1, listing.size(), file) == listing.size(), "writing render.txt");
    if (file) std::fclose(file);
    return tally.Finish();
}

namespace {

std::string ReadAll(const std::string& path) {
    std::string text;
    if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
        std::fclose(file);
    }
    return text;
}

// The measurement line of each state in a render.txt (the default font's
// entries sys'..' and the scale font's), by state.
std::map<std::string, std::string> ParseMeasurements(const std::string& listing) {
    std::map<std::string, std::string> out;
    size_t start = 0;
    while (start < listing.size()) {
        size_t end = listing.find('\n', start);
        if (end == std::string::npos) end = listing.size();
        const std::string line = listing.substr(start, end - start);
        start = end + 1;
        const size_t space = line.find(' ');
        out[line.substr(0, space)] = space == std::string::npos ? std::string() : line.substr(space);
    }
    return out;
}

}  // namespace

// Compares the pictures of two directories written by WriteRenders: the text
// measurements must be equal, and pixels outside text (any pixel not in one of
// the state's plain colours in either picture, and its neighbours) identical.
// Both pictures of a state that differs are kept, the others removed.
int CompareRenders(const char* first, const char* second) {
    Tally tally;
    const std::map<std::string, std::string> ma = ParseMeasurements(ReadAll(std::string(first) + "/render.txt"));
    const std::map<std::string, std::string> mb = ParseMeasurements(ReadAll(std::string(second) + "/render.txt"));
    tally.Check(!ma.empty() && ma.size() == mb.size(), "text measurements of every state");
    for (const State& state : kStates) {
        const auto ia = ma.find(state.name);
        const auto ib = mb.find(state.name);
        if (!tally.Check(ia != ma.end() && ib != mb.end(), state.name, "no measurements")) continue;
        if (!tally.Check(ia->second == ib->second, state.name,
                         "text measurements differ:" + ia->second + " against" + ib->second)) {
            continue;
        }
        ISonalterDisplay2* control = nullptr;
        CreateByProgId(OLESTR("QelvSonalter2.SonalterDisplay2"), IID_ISonalterDisplay2,
                       reinterpret_cast<void**>(&control));
        if (!tally.Check(control != nullptr, "creating QelvSonalter2.SonalterDisplay2")) return tally.Finish();
        state.setup(control);
        const std::set<unsigned> plain = PlainColours(control);
        control->Release();
        const std::string a = std::string(first) + "/" + state.name + ".bmp";
        const std::string b = std::string(second) + "/" + state.name + ".bmp";
        std::vector<unsigned> pa, pb;
        int wa = 0, ha = 0, wb = 0, hb = 0;
        if (!tally.Check(ReadBmp(a, pa, wa, ha) && ReadBmp(b, pb, wb, hb) && wa == wb && ha == hb, state.name,
                         "missing or unequal pictures")) {
            continue;
        }
        std::vector<bool> text(pa.size(), false);
        for (int y = 0; y < ha; ++y)
            for (int x = 0; x < wa; ++x) {
                const size_t k = static_cast<size_t>(y) * wa + x;
                if (plain.count(pa[k]) && plain.count(pb[k])) continue;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        if (x + dx >= 0 && x + dx < wa && y + dy >= 0 && y + dy < ha) {
                            text[static_cast<size_t>(y + dy) * wa + x + dx] = true;
                        }
            }
        int differing = 0;
        std::string firstAt;
        for (size_t k = 0; k < pa.size(); ++k) {
            if (text[k] || pa[k] == pb[k]) continue;
            if (differing++ == 0) {
                firstAt = "first at (" + std::to_string(k % wa) + ", " + std::to_string(k / wa) + ")";
            }
        }
        const bool same = tally.Check(differing == 0, state.name,
                                      std::to_string(differing) + " pixels differ outside text, " + firstAt);
        if (same) {
            std::remove(a.c_str());
            std::remove(b.c_str());
        }
    }
    return tally.Finish();
}

}  // namespace host
