// The graph as drawn: background, grid positions on both scales, curve and
// markers, scale bands and where they start, border styles, labels, colours
// translated at use, and the picture written by sonalter-curve --png.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "DisplayTestSupport.h"
// After the platform headers that DisplayTestSupport.h brings.
#include "../platform/Canvas.h"
#include "display/ScaleLabels.h"
#include "display/ScaleMargins.h"

namespace qelv::test {
namespace {

// The control drawn into a w x h top-down 32-bit bitmap first filled with fill.
class Render {
public:
    Render(CSonalterDisplay2* control, int w, int h, uint32_t fill = 0x123456) : w_(w), h_(h) {
        qelvtest::Canvas canvas(w, h, fill);
        result = control->RenderGraph(canvas.dc(), RECT{0, 0, w, h});
        pixels_.assign(canvas.bits(), canvas.bits() + w * h);
    }
    uint32_t at(int x, int y) const { return pixels_[y * w_ + x]; }
    int Count(uint32_t rgb) const {
        int n = 0;
        for (uint32_t p : pixels_) n += p == rgb;
        return n;
    }
    HRESULT result;

private:
    int w_, h_;
    std::vector<uint32_t> pixels_;
};

constexpr uint32_t kGrid = 0x0000FF;    // COLORREF 0xFF0000 (blue)
constexpr uint32_t kCurve = 0x00FF00;
constexpr uint32_t kMarker = 0xFF0000;  // COLORREF 0x0000FF (red)
constexpr uint32_t kBack = 0x101010;

void Plain(CSonalterDisplay2* control) {
    control->put_ScaleXVisible(0);
    control->put_ScaleYVisible(0);
    control->put_GridColor(0xFF0000);
    control->put_Color(0x00FF00);
    control->put_PointColor(0x0000FF);
    control->put_BackColor(0x101010);
}

void SetPoints(CSonalterDisplay2* control, const std::vector<float>& xy) {
    SAFEARRAY* array = MakeFloatArray(xy);
    control->SetPointArray(&array);
    SafeArrayDestroy(array);
}

TEST(DrawGraph, WithoutAWindowNothingIsDrawnButHostRendersAre) {
    Control control;
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(control->DrawGraph(dc, RECT{0, 0, 10, 10}), S_OK);
    DeleteDC(dc);
    Plain(control.get());
    Render empty(control.get(), 1, 1);
    EXPECT_EQ(empty.result, S_OK);
    Render r(control.get(), 40, 30);
    EXPECT_EQ(r.result, S_OK);
    EXPECT_EQ(r.Count(0x123456), 0);  // every pixel drawn
}

TEST(DrawGraph, GridDividesThePlotIntoEqualPixelColumnsOnBothScales) {
    for (VARIANT_BOOL log : {VARIANT_BOOL(0), VARIANT_BOOL(-1)}) {
        Control control;
        Plain(control.get());
        control->put_LogScale(log);
        control->put_Color(0x101010);       // curve and markers in the background colour
        control->put_PointColor(0x101010);
        Render r(control.get(), 40, 25);    // W = 39, H = 24
        for (int i = 0; i <= 13; ++i) {
            const int x = 39 * i / 13;
            EXPECT_EQ(r.at(x, 0), kGrid) << x;
            EXPECT_EQ(r.at(x, 23), kGrid) << x;
        }
        for (int j = 0; j <= 8; ++j) {
            if (j == 4) continue;  // the curve of the default points covers the middle row
            const int y = j * 24 / 8;
            EXPECT_EQ(r.at(5, y), kGrid);
        }
        EXPECT_EQ(r.at(39, 0), kGrid);  // W + 1 wide
        EXPECT_EQ(r.at(39, 24), kGrid);
        EXPECT_EQ(r.at(1, 1), kBack);
        EXPECT_EQ(r.at(4, 4), kBack);
        // rows 0..8: 14 columns, and rows 0, 3, 6 between them
        int count = 0;
        for (int y = 0; y <= 8; ++y)
            for (int x = 0; x < 40; ++x) count += r.at(x, y) == kGrid;
        EXPECT_EQ(count, 14 * 9 + 3 * (40 - 14));
    }
    Control hidden;
    Plain(hidden.get());
    hidden->put_GridVisible(0);
    Render r(hidden.get(), 40, 25);
    EXPECT_EQ(r.Count(kGrid), 0);
}

TEST(DrawGraph, CurveAndMarkersFollowTheScaleMapping) {
    Control control;
    Plain(control.get());
    control->put_GridVisible(0);
    control->put_SplineType(stNone);
    // (0, 20) -> (0, 0); (11025, -20) -> (W / 2, H); (22050, -20) -> (W, H)
    SetPoints(control.get(), {0, 20, 11025, -20, 22050, -20});
    Render r(control.get(), 41, 21);  // W = 40, H = 20
    // markers: 6 x 6 squares from (px - 3, py - 3), clipped at the bitmap
    EXPECT_EQ(r.at(0, 0), kMarker);
    EXPECT_EQ(r.at(2, 2), kMarker);
    EXPECT_EQ(r.at(3, 3), kCurve);  // outside the first marker, on the curve
    EXPECT_EQ(r.at(17, 17), kMarker);
    EXPECT_EQ(r.at(22, 20), kMarker);
    EXPECT_EQ(r.at(23, 20), kCurve);
    EXPECT_EQ(r.at(16, 17), kBack);
    EXPECT_EQ(r.Count(kMarker), 3 * 3 + 6 * 4 + 4 * 4);
    EXPECT_EQ(r.at(37, 20), kMarker);  // the last marker's centre is the plot's corner

    // stOne with two points is one straight line; with steepness 1 and three
    // points only the markers are drawn.
    control->put_SplineType(stOne);
    control->put_SplineSteepnes(1);
    Render markersOnly(control.get(), 41, 21);
    EXPECT_EQ(markersOnly.Count(kCurve), 0);
    SetPoints(control.get(), {0, 20, 22050, -20});
    Render straight(control.get(), 41, 21);
    EXPECT_EQ(straight.at(20, 10), kCurve);
    EXPECT_EQ(straight.at(10, 5), kCurve);

    // stTwo draws the smoothed line array, one vertex per pixel column.
    control->put_SplineType(stTwo);
    control->put_SplineSteepnes(32);
    SetPoints(control.get(), {0, 0, 22050, 0});
    Render flat(control.get(), 41, 21);
    for (int x = 3; x < 37; ++x) EXPECT_EQ(flat.at(x, 10), kCurve) << x;
    control->put_LineArraySize(0);
    Render none(control.get(), 41, 21);
    EXPECT_EQ(none.Count(kCurve), 0);
}

TEST(DrawGraph, BordersFrameTheOutermostRing) {
    Control control;
    Plain(control.get());
    control->put_GridVisible(0);
    control->put_PointColor(0x101010);
    control->put_Color(0x101010);
    control->put_BorderColor(0x00FFFF);  // yellow
    control->put_BorderStyle(bSingle);
    Render single(control.get(), 10, 8);
    EXPECT_EQ(single.Count(0xFFFF00), 2 * 10 + 2 * 6);
    EXPECT_EQ(single.at(9, 7), 0xFFFF00u);
    EXPECT_EQ(single.at(1, 1), kBack);

    const uint32_t light = 0xFFFFFF, dark = 0xA0A0A0;
    control->put_BorderStyle(bLowered);
    Render lowered(control.get(), 10, 8);
    EXPECT_EQ(lowered.at(9, 0), light);
    EXPECT_EQ(lowered.at(9, 7), light);
    EXPECT_EQ(lowered.at(5, 7), light);
    EXPECT_EQ(lowered.at(0, 7), dark);
    EXPECT_EQ(lowered.at(0, 0), dark);
    EXPECT_EQ(lowered.at(5, 0), dark);
    control->put_BorderStyle(bRaised);
    Render raised(control.get(), 10, 8);
    EXPECT_EQ(raised.at(9, 3), dark);
    EXPECT_EQ(raised.at(3, 7), dark);
    EXPECT_EQ(raised.at(0, 3), light);
    EXPECT_EQ(raised.at(3, 0), light);
    control->put_BorderStyle(static_cast<BorderTypeConstants>(7));
    Render other(control.get(), 10, 8);
    EXPECT_EQ(other.Count(kBack), 80);
}

TEST(DrawGraph, ScaleBandsStartWhereTheBorderLeavesThem) {
    HDC measure = CreateCompatibleDC(nullptr);
    const ScaleMargins m = MeasureMargins(measure, 20.0f, -20.0f, nullptr);
    DeleteDC(measure);
    Control control;
    Plain(control.get());
    control->put_ScaleXVisible(-1);
    control->put_ScaleYVisible(-1);
    control->put_ScaleYCaption(nullptr);
    control->put_ScaleXCaption(nullptr);
    control->put_TextColor(0x00FFFF);
    const int w = 200, h = 120;
    const int W = w - m.labelWidth - 4, H = h - m.textHeight - 4;
    const uint32_t band = 0xF0F0F0;  // ScaleColor 0x8000000F through the scheme
    Render none(control.get(), w, h);
    EXPECT_EQ(none.at(1, H), kGrid);      // the grid's last row, not the band
    EXPECT_EQ(none.at(1, H + 1), band);
    EXPECT_EQ(none.at(W, 1), kGrid);
    EXPECT_EQ(none.at(W + 1, 1), band);
    EXPECT_EQ(none.at(w - 1, h - 1), band);
    control->put_BorderStyle(bSingle);
    control->put_BorderColor(0x101010);
    Render framed(control.get(), w, h);
    EXPECT_EQ(framed.at(1, H), band);
    EXPECT_EQ(framed.at(W, 1), band);
    // The label text is drawn only inside the bands.
    int inPlot = 0, inBands = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (framed.at(x, y) != kGrid && framed.at(x, y) != kBack && framed.at(x, y) != band &&
                framed.at(x, y) != kCurve && framed.at(x, y) != kMarker && framed.at(x, y) != 0x101010) {
                (x < W && y < H ? inPlot : inBands)++;
            }
    EXPECT_EQ(inPlot, 0);
    EXPECT_GT(inBands, 50);
}

TEST(DrawGraph, LabelValuesRoundToWholesAndTens) {
    EXPECT_EQ(RoundLabelValue(20353.85f), 20350);
    EXPECT_EQ(RoundLabelValue(1234.4f), 1230);
    EXPECT_EQ(RoundLabelValue(1235.0f), 1240);
    EXPECT_EQ(RoundLabelValue(-0.5f), -1);
    EXPECT_EQ(RoundLabelValue(-1234.4f), -1230);
    EXPECT_EQ(RoundLabelValue(-1235.0f), -1240);
    EXPECT_EQ(RoundLabelValue(0.4f), 0);
    EXPECT_EQ(RoundLabelValue(1000.0f), 1000);
    EXPECT_EQ(RoundLabelValue(-1000.0f), -1000);
    EXPECT_EQ(RoundLabelValue(3e38f), 2147483647);
    EXPECT_EQ(RoundLabelValue(-3e38f), -2147483647 - 1);
    char text[16];
    EXPECT_EQ(DecimalText(-15, text, sizeof text), 3);
    EXPECT_STREQ(text, "-15");
}

TEST(DrawGraph, CurveToolWritesThePictureAsPng) {
    const std::string out = ::testing::TempDir() + "graph.png";
    std::remove(out.c_str());
    const std::string command =
        "printf '0 0\\n11025 10\\n' | '" QELV_CURVE_TOOL "' --png '" + out + "' --size 300x150 --log --border raised";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::FILE* file = std::fopen(out.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    unsigned char head[24] = {};
    EXPECT_EQ(std::fread(head, 1, sizeof head, file), sizeof head);
    std::fclose(file);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(head + 1), 3), "PNG");
    EXPECT_EQ((head[16] << 24) | (head[17] << 16) | (head[18] << 8) | head[19], 300);
    EXPECT_EQ((head[20] << 24) | (head[21] << 16) | (head[22] << 8) | head[23], 150);
    std::remove(out.c_str());
    EXPECT_NE(std::system("'" QELV_CURVE_TOOL "' --png /nonexistent/dir/x.png </dev/null 2>/dev/null"), 0);
}

}  // namespace
}  // namespace qelv::test
