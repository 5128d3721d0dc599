// The point list, the point arrays and the line array of each curve shape.
#include <cmath>

#include "DisplayTestSupport.h"
#include "display/CurveSmoothing.h"
#include "display/LineSampling.h"
#include "display/PointList.h"
#include "display/SplineCurve.h"

namespace qelv::test {
namespace {

// Sets the control's points from x, y pairs.
HRESULT SetPoints(CSonalterDisplay2* control, const std::vector<float>& values) {
    SAFEARRAY* array = MakeFloatArray(values);
    const HRESULT hr = control->SetPointArray(&array);
    SafeArrayDestroy(array);
    return hr;
}

std::vector<float> PointsOf(const CPointList& list) {
    std::vector<float> values;
    for (LONG k = 0; k < list.Count(); ++k) {
        values.push_back(list.Points()[k].x);
        values.push_back(list.Points()[k].y);
    }
    return values;
}

TEST(PointList, AddClampsAndKeepsEqualXInInsertionOrder) {
    CPointList list;
    EXPECT_EQ(PointsOf(list), (std::vector<float>{0, 0, 22050, 0}));
    EXPECT_EQ(list.AddPoint(100, 5), 1);
    EXPECT_EQ(list.AddPoint(100, 7), 2);  // after the equal x
    EXPECT_EQ(list.AddPoint(-50, 30), 1);  // clamped to (0, 20), after the first point at 0
    EXPECT_EQ(list.AddPoint(30000, -99), 5);  // clamped to XMax: the new last point
    EXPECT_EQ(PointsOf(list), (std::vector<float>{0, 0, 0, 20, 100, 5, 100, 7, 22050, 0, 22050, -20}));
    list.Clear();
    EXPECT_EQ(list.AddPoint(5, 5), 0);
    EXPECT_EQ(list.Count(), 1);
}

TEST(PointList, MoveKeepsEndsAndNeighbours) {
    CPointList list;
    list.AddPoint(100, 0);
    list.AddPoint(200, 0);  // points: 0, 100, 200, 22050
    EXPECT_TRUE(list.MovePoint(0, 500, 7));
    EXPECT_TRUE(list.MovePoint(3, 10, 99));
    EXPECT_TRUE(list.MovePoint(1, 300, -1));  // stops at its right neighbour
    EXPECT_TRUE(list.MovePoint(2, -40, 1));   // clamped to 0, then raised to its left neighbour
    EXPECT_EQ(PointsOf(list), (std::vector<float>{0, 7, 200, -1, 200, 1, 22050, 20}));
    EXPECT_FALSE(list.MovePoint(4, 1, 1));
    EXPECT_FALSE(list.MovePoint(-1, 1, 1));
    EXPECT_EQ(PointsOf(list), (std::vector<float>{0, 7, 200, -1, 200, 1, 22050, 20}));
}

TEST(PointList, DeleteAndLimits) {
    CPointList list;
    list.AddPoint(50, 10);
    EXPECT_FALSE(list.DeletePoint(3));
    EXPECT_TRUE(list.DeletePoint(0));
    EXPECT_EQ(PointsOf(list), (std::vector<float>{50, 10, 22050, 0}));
    list.SetXLimits(100, 200);  // both ends pinned, whatever their x
    EXPECT_EQ(PointsOf(list), (std::vector<float>{100, 10, 200, 0}));
    list.SetYLimits(-1, 5);
    EXPECT_EQ(PointsOf(list), (std::vector<float>{100, 5, 200, 0}));
    EXPECT_TRUE(list.DeletePoint(1));
    EXPECT_TRUE(list.DeletePoint(0));
    EXPECT_EQ(list.Count(), 0);
    list.SetXLimits(0, 1);  // an empty list stays empty
    EXPECT_EQ(list.Count(), 0);
}

TEST(PointArrays, SetPointArraySortsClampsAndPins) {
    Control control;
    EXPECT_EQ(SetPoints(control.get(), {100, 5, 50, 3, 20000, -30, 30000, 1}), S_OK);
    EXPECT_EQ(PointArrayOf(control.get()), (std::vector<float>{0, 3, 100, 5, 20000, -20, 22050, 1}));

    EXPECT_EQ(SetPoints(control.get(), {1, 2, 3}), S_OK);  // fewer than two pairs: the default points
    EXPECT_EQ(PointArrayOf(control.get()), (std::vector<float>{0, 0, 22050, 0}));

    EXPECT_EQ(SetPoints(control.get(), {10, 1, 20000, 2, 99}), S_OK);  // the odd fifth element is ignored
    EXPECT_EQ(PointArrayOf(control.get()), (std::vector<float>{0, 1, 22050, 2}));

    // No limit on the count here.
    std::vector<float> many;
    for (int k = 0; k < 400; ++k) {
        many.push_back(static_cast<float>(k * 50));
        many.push_back(static_cast<float>(k % 7));
    }
    EXPECT_EQ(SetPoints(control.get(), many), S_OK);
    EXPECT_EQ(PointArrayOf(control.get()).size(), 800u);
}

TEST(PointArrays, BadArraysChangeNothing) {
    Control control;
    SAFEARRAY* none = nullptr;
    EXPECT_EQ(control->SetPointArray(&none), E_POINTER);
    EXPECT_EQ(control->SetPointArray(nullptr), E_POINTER);
    SAFEARRAY* shorts = SafeArrayCreateVector(VT_I2, 0, 8);
    EXPECT_EQ(control->SetPointArray(&shorts), E_INVALIDARG);
    SafeArrayDestroy(shorts);
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {4, 0}};
    SAFEARRAY* square = SafeArrayCreate(VT_R4, 2, bounds);
    EXPECT_EQ(control->SetPointArray(&square), E_INVALIDARG);
    SafeArrayDestroy(square);
    SAFEARRAY* shifted = SafeArrayCreateVector(VT_R4, 1, 8);
    EXPECT_EQ(control->SetPointArray(&shifted), E_INVALIDARG);
    SafeArrayDestroy(shifted);
    EXPECT_EQ(PointArrayOf(control.get()), (std::vector<float>{0, 0, 22050, 0}));
}

TEST(PointArrays, SetPointMovesByTheListRules) {
    Control control;
    EXPECT_EQ(control->SetPoint(0, 500, 7), S_OK);
    EXPECT_EQ(PointArrayOf(control.get()), (std::vector<float>{0, 7, 22050, 0}));
    control->put_ScaleXMax(200);
    SetPoints(control.get(), {0, 0, 100, 0, 200, 0});
    EXPECT_EQ(control->SetPoint(1, 30000, 0), S_OK);
    EXPECT_EQ(PointArrayOf(control.get()), (std::vector<float>{0, 0, 200, 0, 200, 0}));
    EXPECT_EQ(control->SetPoint(9, 1, 1), S_OK);
    EXPECT_EQ(control->SetPoint(-1, 1, 1), S_OK);
    EXPECT_EQ(PointArrayOf(control.get()), (std::vector<float>{0, 0, 200, 0, 200, 0}));
}

TEST(LineArray, StraightSegmentsAtEvenlySpacedPositions) {
    Control control;
    control->put_SplineType(stNone);
    SetPoints(control.get(), {0, 0, 22050, 20});
    const std::vector<float> line = LineArrayOf(control.get());
    ASSERT_EQ(line.size(), 1024u);
    for (size_t i = 0; i < line.size(); ++i) EXPECT_EQ(line[i], 20.0f * i / 1024) << i;
    EXPECT_EQ(line.back(), 19.98046875f);
    // stOne with two points gives the same array; so does an unknown type.
    control->put_SplineType(stOne);
    EXPECT_EQ(LineArrayOf(control.get()), line);
    control->put_SplineType(static_cast<SplineTypeConstants>(5));
    EXPECT_EQ(LineArrayOf(control.get()), line);
    control->put_LineArraySize(0);
    EXPECT_TRUE(LineArrayOf(control.get()).empty());
    control->put_LineArraySize(-7);
    EXPECT_TRUE(LineArrayOf(control.get()).empty());
    control->put_LineArraySize(1);
    EXPECT_EQ(LineArrayOf(control.get()), (std::vector<float>{0.0f}));
}

TEST(LineArray, VerticalStepTakesTheLaterPoint) {
    const DisplayPoint step[] = {{0, 0}, {10, 1}, {10, 5}, {20, 5}};
    EXPECT_EQ(ValueAt(step, 4, 10.0f), 5.0f);  // lo, the last pair with x <= 10, is the later one
    EXPECT_EQ(ValueAt(step, 4, 5.0f), 0.5f);
    EXPECT_EQ(ValueAt(step, 4, 15.0f), 5.0f);
    EXPECT_EQ(ValueAt(step, 4, -3.0f), 0.0f);
    EXPECT_EQ(ValueAt(step, 4, 25.0f), 5.0f);
}

// The closed form (1-t)^3 A + 3t(1-t) M + t^3 B agrees with the construction
// within float rounding, and runs meet at shared midpoints.
TEST(SplineCurve, VerticesFollowTheClosedForm) {
    const DisplayPoint points[] = {{0, 3}, {40, -7}, {90, 12}, {95, 0}, {300, 4}};
    const LONG steps = 17;
    SplineVertices spline;
    spline.Build(points, 5, steps);
    ASSERT_EQ(spline.Count(), 3 * steps + 2);
    for (LONG i = 1; i <= 3; ++i) {
        const DisplayPoint m = points[i];
        const double ax = (points[i - 1].x + m.x) / 2.0, ay = (points[i - 1].y + m.y) / 2.0;
        const double bx = (points[i + 1].x + m.x) / 2.0, by = (points[i + 1].y + m.y) / 2.0;
        for (LONG j = 0; j < steps; ++j) {
            const double t = static_cast<double>(j) / (steps - 1);
            const double u = 1 - t;
            const double x = u * u * u * ax + 3 * t * u * m.x + t * t * t * bx;
            const double y = u * u * u * ay + 3 * t * u * m.y + t * t * t * by;
            const DisplayPoint v = spline.Vertices()[1 + (i - 1) * steps + j];
            EXPECT_NEAR(v.x, x, 1e-4) << i << "," << j;
            EXPECT_NEAR(v.y, y, 1e-5) << i << "," << j;
        }
    }
    for (LONG k = 1; k < spline.Count(); ++k) EXPECT_LE(spline.Vertices()[k - 1].x, spline.Vertices()[k].x);
}

TEST(LineArray, SplineReadAtWholeNumberPositions) {
    Control control;
    control->put_ScaleXMax(200);
    control->put_SplineSteepnes(3);
    control->put_LineArraySize(8);  // positions 0, 25, ..., 175
    SetPoints(control.get(), {0, 0, 100, 10, 200, 0});
    // The vertices (0,0) (50,5) (100,8.75) (150,5) (200,0), read linearly.
    EXPECT_EQ(LineArrayOf(control.get()),
              (std::vector<float>{0, 2.5f, 5, 6.875f, 8.75f, 6.875f, 5, 2.5f}));
    // Positions with fractions are truncated before the spline is read: with
    // 3 positions over 0..200 they are 0, 66.67 -> 66, 133.33 -> 133.
    control->put_LineArraySize(3);
    const std::vector<float> line = LineArrayOf(control.get());
    const float at66 = static_cast<float>(((8.75 - 5.0) * 66 + 100.0 * 5 - 50.0 * 8.75) / 50.0);
    const float at133 = static_cast<float>(((5.0 - 8.75) * 133 + 150.0 * 8.75 - 100.0 * 5) / 50.0);
    EXPECT_EQ(line, (std::vector<float>{0, at66, at133}));
    // Steepness 1 gives no vertices: the straight segments stay.
    control->put_SplineSteepnes(1);
    control->put_LineArraySize(8);
    EXPECT_EQ(LineArrayOf(control.get()), (std::vector<float>{0, 2.5f, 5, 7.5f, 10, 7.5f, 5, 2.5f}));
}

// The smoothing written out as the text states it, in the most direct form.
std::vector<float> ReferenceSmooth(const std::vector<float>& x, int steepness) {
    const int n = static_cast<int>(x.size());
    const double w = steepness * 3.141592653589793 / n;
    const float s = static_cast<float>(std::sin(static_cast<long double>(w)));
    const float k = static_cast<float>(std::cos(static_cast<long double>(w)));
    const float alpha = static_cast<float>(s / (2 * 0.3));
    const float a0 = 1 + alpha;
    const float b0 = ((1 - k) / 2) / a0, b1 = (1 - k) / a0, b2 = ((1 - k) / 2) / a0;
    const float a1 = (-2 * k) / a0, a2 = (1 - alpha) / a0;
    auto run = [&](const std::vector<float>& in) {
        std::vector<float> out(in);
        for (int i = 2; i < n; ++i) {
            out[i] = static_cast<float>(static_cast<double>(b0) * in[i] + static_cast<double>(b1) * in[i - 1] +
                                        static_cast<double>(b2) * in[i - 2] - static_cast<double>(a1) * out[i - 1] -
                                        static_cast<double>(a2) * out[i - 2]);
        }
        return out;
    };
    const std::vector<float> f = run(x);
    std::vector<float> r(x.rbegin(), x.rend());
    std::vector<float> g = run(r);
    std::reverse(g.begin(), g.end());
    std::vector<float> out(n);
    for (int i = 0; i < n; ++i) out[i] = static_cast<float>((static_cast<double>(f[i]) + g[i]) / 2);
    return out;
}

TEST(LineArray, SmoothedCurveIsTheAverageOfTwoRuns) {
    Control control;
    control->put_SplineType(stTwo);
    SetPoints(control.get(), {0, -20, 5000, 20, 5000, -10, 15000, 12, 22050, 0});
    for (LONG steepness : {1, 32, 100}) {
        control->put_SplineSteepnes(steepness);
        control->put_SplineType(stNone);
        const std::vector<float> straight = LineArrayOf(control.get());
        control->put_SplineType(stTwo);
        const std::vector<float> smooth = LineArrayOf(control.get());
        EXPECT_EQ(smooth, ReferenceSmooth(straight, steepness)) << steepness;
        EXPECT_NE(smooth, straight);
    }
}

TEST(LineArray, SmoothingKeepsAConstant) {
    Control control;
    control->put_SplineType(stTwo);
    for (float level : {0.0f, 7.5f, -20.0f}) {
        SetPoints(control.get(), {0, level, 22050, level});
        for (LONG steepness : {1, 32, 100}) {
            control->put_SplineSteepnes(steepness);
            for (float value : LineArrayOf(control.get())) EXPECT_NEAR(value, level, 1e-4f * (1 + std::fabs(level)));
        }
    }
    std::vector<float> empty;
    EXPECT_TRUE(SmoothCurve(empty.data(), 0, 32));
    float two[2] = {1, 3};
    EXPECT_TRUE(SmoothCurve(two, 2, 32));
    EXPECT_EQ(two[0], 1.0f);
    EXPECT_EQ(two[1], 3.0f);
}

}  // namespace
}  // namespace qelv::test
