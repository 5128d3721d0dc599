// Pixels to scale values and back, linear and over 12 octaves, and the control's
// mouse mapping with measured scale bands.
#include <cmath>
#include <limits>

#include "DisplayTestSupport.h"
#include "display/ScaleMapping.h"
#include "display/ScaleMargins.h"

namespace qelv::test {
namespace {

ScaleGeometry Defaults(bool log, LONG w = 400, LONG h = 200) {
    return ScaleGeometry{0.0f, 22050.0f, -20.0f, 20.0f, log, w, h};
}

TEST(ScaleMapping, WorkedValues) {
    EXPECT_EQ(ScaleToPixel(Defaults(false), 11025, 0).x, 200);
    EXPECT_EQ(ScaleToPixel(Defaults(true), 11025, 0).x, 367);  // 400 + trunc(-400 / 12)
    EXPECT_EQ(PixelToScale(Defaults(false), 0, 50).y, 10.0f);
    EXPECT_FLOAT_EQ(PixelToScale(Defaults(true), 0, 0).x, 22050.0f / 4096);
    EXPECT_EQ(ScaleToPixel(Defaults(false), 0, 20).y, 0);
    EXPECT_EQ(ScaleToPixel(Defaults(false), 0, -20).y, 200);
    EXPECT_EQ(PixelToScale(Defaults(false), 0, 0).y, 20.0f);
    EXPECT_EQ(PixelToScale(Defaults(false), 0, 200).y, -20.0f);
    // Truncation is toward zero on both sides of the plot.
    EXPECT_EQ(ScaleToPixel(Defaults(false), -30, 0).x, 0);
    EXPECT_EQ(ScaleToPixel(Defaults(false), -60, 0).x, -1);
}

TEST(ScaleMapping, LogarithmicEndsClampAndOctavesHalve) {
    const ScaleGeometry g = Defaults(true);
    EXPECT_EQ(ScaleToPixel(g, 0, 0).x, 0);
    EXPECT_EQ(ScaleToPixel(g, -5, 0).x, 0);
    EXPECT_EQ(ScaleToPixel(g, 22050, 0).x, 400);
    EXPECT_EQ(ScaleToPixel(g, 1e9f, 0).x, 400);
    // Each twelfth of the width to the left halves the distance above ScaleXMin.
    for (int k = 1; k <= 12; ++k) {
        const LONG px = 400 - 400 * k / 12;
        const double t = (400.0 - px) * 12.0 / 400.0;
        EXPECT_FLOAT_EQ(PixelToScale(g, px, 0).x, static_cast<float>(22050.0 / std::pow(2.0, t))) << k;
    }
    // Right of the plot t is negative and the value passes ScaleXMax.
    EXPECT_GT(PixelToScale(g, 420, 0).x, 22050.0f);
    EXPECT_GT(PixelToScale(Defaults(false), 420, 0).x, 22050.0f);
}

TEST(ScaleMapping, LogarithmicRoundTripWithinOnePixel) {
    for (float xMin : {0.0f, 20.0f, 1000.0f}) {
        const ScaleGeometry g{xMin, 22050.0f, -20.0f, 20.0f, true, 517, 300};
        for (LONG px = 0; px <= g.plotWidth; ++px) {
            const float x = PixelToScale(g, px, 0).x;
            const LONG back = ScaleToPixel(g, x, 0).x;
            EXPECT_LE(std::abs(back - px), 1) << xMin << " " << px;
        }
        // Within the 12 octaves: the column of x is truncated toward the right
        // edge (the logarithm is negative), so x lies between the values of
        // that column and the one before it.
        for (float x = xMin + (22050.0f - xMin) / 4000; x < 22050.0f; x = xMin + (x - xMin) * 1.37f) {
            const LONG px = ScaleToPixel(g, x, 0).x;
            ASSERT_GT(px, 0);
            EXPECT_GE(PixelToScale(g, px, 0).x, x * 0.9999f) << xMin << " " << x;
            EXPECT_LE(PixelToScale(g, px - 1, 0).x, x * 1.0001f) << xMin << " " << x;
        }
    }
}

TEST(ScaleMapping, PlotSizeAndDegenerateInputs) {
    LONG w = 0;
    LONG h = 0;
    PlotSize(300, 200, 20, 13, true, true, &w, &h);
    EXPECT_EQ(w, 276);
    EXPECT_EQ(h, 183);
    PlotSize(300, 200, 20, 13, false, false, &w, &h);
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 200);
    // A zero-sized plot or non-finite values give some result, never a fault.
    const ScaleGeometry empty{0.0f, 1.0f, 0.0f, 1.0f, false, 0, 0};
    ScaleToPixel(empty, 0.5f, 0.5f);
    PixelToScale(empty, 3, 3);
    const ScaleGeometry logEmpty{0.0f, 1.0f, 0.0f, 1.0f, true, 0, 0};
    ScaleToPixel(logEmpty, 0.5f, 0.5f);
    PixelToScale(logEmpty, 3, 3);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(ScaleToPixel(Defaults(false), nan, nan).x, 0);
    EXPECT_EQ(ScaleToPixel(Defaults(false), 3e38f, 0).x, 2147483647);
    EXPECT_EQ(TruncateToLong(-1e300), -2147483647 - 1);
    EXPECT_EQ(TruncateToLong(-2.9), -2);
}

TEST(ScaleMargins, RepresentativeLabelsAtThreeQuartersOfTheLimits) {
    char text[16];
    RepresentativeLabel(20.0f, text, sizeof text);
    EXPECT_STREQ(text, "15");
    RepresentativeLabel(-20.0f, text, sizeof text);
    EXPECT_STREQ(text, "-15");
    RepresentativeLabel(-1.0f, text, sizeof text);
    EXPECT_STREQ(text, "0");
    RepresentativeLabel(1e30f, text, sizeof text);
    EXPECT_STREQ(text, "2147483647");
}

TEST(MouseMapping, ControlMapsWithMeasuredBands) {
    Control control;
    const SIZE size = control->ControlPixelSize();
    EXPECT_EQ(size.cx, 192);  // two inches at 96 pixels per inch
    EXPECT_EQ(size.cy, 192);
    const ScaleGeometry g = control->MappingGeometry();
    EXPECT_LT(g.plotWidth, 192 - 4);
    EXPECT_LT(g.plotHeight, 192 - 4);
    FLOAT y = 0;
    EXPECT_EQ(control->MouseYToScaleY(0, &y), S_OK);
    EXPECT_EQ(y, 20.0f);
    EXPECT_EQ(control->MouseYToScaleY(g.plotHeight, &y), S_OK);
    EXPECT_EQ(y, -20.0f);
    FLOAT x = 0;
    EXPECT_EQ(control->MouseXToScaleX(g.plotWidth + 5, &x), S_OK);
    EXPECT_GT(x, 22050.0f);
    control->put_LogScale(VARIANT_TRUE);
    EXPECT_EQ(control->MouseXToScaleX(g.plotWidth + 5, &x), S_OK);
    EXPECT_GT(x, 22050.0f);
    // A caption longer than the number texts widens the Y band.
    BSTR caption = SysAllocString(OLESTR("Amplitude in decibels"));
    control->put_ScaleYCaption(caption);
    SysFreeString(caption);
    EXPECT_LT(control->MappingGeometry().plotWidth, g.plotWidth);
    // With both scales hidden the plot is the whole control.
    control->put_ScaleXVisible(0);
    control->put_ScaleYVisible(0);
    control->put_LogScale(0);
    const ScaleGeometry full = control->MappingGeometry();
    EXPECT_EQ(full.plotWidth, 192);
    EXPECT_EQ(ScaleToPixel(full, 22050.0f, 0).x, 192);
}

}  // namespace
}  // namespace qelv::test
