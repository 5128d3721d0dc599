#include "transform/filters/MonotoneCubic.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using qelv::dsp::MonotoneCubic;
using qelv::dsp::MonotoneCubicSlope;
using qelv::dsp::MonotoneCubicSlopes;
using qelv::dsp::MonotoneCubicValue;

// Dense samples of the interpolant between every pair of data points.
std::vector<double> Sample(const std::vector<double>& xs, const std::vector<double>& ys, int perInterval) {
    std::vector<double> out;
    for (std::size_t j = 1; j < xs.size(); ++j) {
        for (int i = 0; i < perInterval; ++i) {
            const double f = xs[j - 1] + (xs[j] - xs[j - 1]) * i / perInterval;
            out.push_back(MonotoneCubic(xs.data(), ys.data(), xs.size(), f));
        }
    }
    out.push_back(MonotoneCubic(xs.data(), ys.data(), xs.size(), xs.back()));
    return out;
}

TEST(MonotoneCubic, MonotoneDataGivesMonotoneCurveWithoutOvershoot) {
    // Uneven spacing and steps of very different sizes are where a plain
    // cubic spline overshoots.
    const std::vector<double> xs = {0.0, 0.1, 0.15, 0.4, 0.42, 1.0};
    const std::vector<double> rising = {0.0, 0.01, 0.9, 1.0, 3.0, 3.0};
    std::vector<double> falling(rising.size());
    for (std::size_t i = 0; i < rising.size(); ++i) falling[i] = 5.0 - rising[i];

    const std::vector<double>* sets[] = {&rising, &falling};
    for (const std::vector<double>* ys : sets) {
        const bool up = ys == &rising;
        const std::vector<double> v = Sample(xs, *ys, 200);
        for (std::size_t i = 1; i < v.size(); ++i) {
            // Flat stretches may wobble by an ulp; a real overshoot is far larger.
            if (up) {
                ASSERT_GE(v[i], v[i - 1] - 1e-14) << "sample " << i;
            } else {
                ASSERT_LE(v[i], v[i - 1] + 1e-14) << "sample " << i;
            }
        }
        // Each interval stays between its own end values.
        for (std::size_t j = 1; j < xs.size(); ++j) {
            const double lo = std::min((*ys)[j - 1], (*ys)[j]);
            const double hi = std::max((*ys)[j - 1], (*ys)[j]);
            for (int i = 0; i <= 100; ++i) {
                const double f = xs[j - 1] + (xs[j] - xs[j - 1]) * i / 100.0;
                const double y = MonotoneCubic(xs.data(), ys->data(), xs.size(), f);
                ASSERT_GE(y, lo - 1e-14);
                ASSERT_LE(y, hi + 1e-14);
            }
        }
        // The data points themselves are reproduced.
        for (std::size_t k = 0; k < xs.size(); ++k) {
            EXPECT_DOUBLE_EQ(MonotoneCubic(xs.data(), ys->data(), xs.size(), xs[k]), (*ys)[k]);
        }
    }
}

TEST(MonotoneCubic, TwoPointsGiveAStraightLine) {
    const double xs[] = {0.2, 0.7};
    const double ys[] = {3.0, -2.0};
    EXPECT_DOUBLE_EQ(MonotoneCubicSlope(xs, ys, 2, 0), -10.0);
    EXPECT_DOUBLE_EQ(MonotoneCubicSlope(xs, ys, 2, 1), -10.0);
    for (int i = 0; i <= 50; ++i) {
        const double f = 0.2 + 0.5 * i / 50.0;
        EXPECT_NEAR(MonotoneCubic(xs, ys, 2, f), 3.0 - 10.0 * (f - 0.2), 1e-14);
    }
}

TEST(MonotoneCubic, InnerSlopes) {
    // Turning point: slope 0, so the data point is a flat extremum.
    const double xs[] = {0.0, 1.0, 3.0};
    const double peak[] = {0.0, 1.0, 0.0};
    EXPECT_EQ(MonotoneCubicSlope(xs, peak, 3, 1), 0.0);
    const double flat[] = {1.0, 1.0, 2.0};
    EXPECT_EQ(MonotoneCubicSlope(xs, flat, 3, 1), 0.0);
    // Same-sign slopes d1 = 1 (h1 = 1) and d2 = 2 (h2 = 2): weighted harmonic
    // mean 1 / ((1/2) * 5/9 + (2/2) * 4/9) = 18 / 13.
    const double rise[] = {0.0, 1.0, 5.0};
    EXPECT_NEAR(MonotoneCubicSlope(xs, rise, 3, 1), 18.0 / 13.0, 1e-15);
    const double fall[] = {0.0, -1.0, -5.0};
    EXPECT_NEAR(MonotoneCubicSlope(xs, fall, 3, 1), -18.0 / 13.0, 1e-15);
}

TEST(MonotoneCubic, EndSlopeRules) {
    // Three-point estimate kept: ((2 h1 + h2) d1 - h1 d2) / (h1 + h2)
    // with h1 = h2 = 1, d1 = 1, d2 = 0 gives 1.5.
    const double xs[] = {0.0, 1.0, 2.0};
    const double a[] = {0.0, 1.0, 1.0};
    EXPECT_DOUBLE_EQ(MonotoneCubicSlope(xs, a, 3, 0), 1.5);
    // Estimate of the opposite sign to d1 becomes 0: d1 = 1, d2 = 4 gives -0.5.
    const double b[] = {0.0, 1.0, 5.0};
    EXPECT_EQ(MonotoneCubicSlope(xs, b, 3, 0), 0.0);
    // Data that turns back (d1 = 1, d2 = -10, h2 = 3) gives 3.75, limited to 3 d1.
    const double xw[] = {0.0, 1.0, 4.0};
    const double c[] = {0.0, 1.0, -29.0};
    EXPECT_DOUBLE_EQ(MonotoneCubicSlope(xw, c, 3, 0), 3.0);
    // Turning back but below the limit: d1 = 1, d2 = -1 gives 2, kept.
    const double d[] = {0.0, 1.0, 0.0};
    EXPECT_DOUBLE_EQ(MonotoneCubicSlope(xs, d, 3, 0), 2.0);

    // The last point mirrors the first: reversed abscissae, same magnitudes.
    const double xr[] = {-4.0, -1.0, 0.0};
    const double cr[] = {-29.0, 1.0, 0.0};
    EXPECT_DOUBLE_EQ(MonotoneCubicSlope(xr, cr, 3, 2), -3.0);
    const double ar[] = {1.0, 1.0, 0.0};
    EXPECT_DOUBLE_EQ(MonotoneCubicSlope(xs, ar, 3, 2), -1.5);
}

TEST(MonotoneCubic, SlopeTableAgreesWithDirectEvaluation) {
    const std::vector<double> xs = {0.0, 0.05, 0.3, 0.31, 0.45, 0.5};
    const std::vector<double> ys = {1.0, 0.2, 0.9, 0.9, -0.4, 2.0};
    std::vector<double> slopes(xs.size());
    MonotoneCubicSlopes(xs.data(), ys.data(), xs.size(), slopes.data());
    for (int i = -10; i <= 510; ++i) {
        const double f = i / 1000.0;
        const double direct = MonotoneCubic(xs.data(), ys.data(), xs.size(), f);
        EXPECT_EQ(MonotoneCubicValue(xs.data(), ys.data(), slopes.data(), xs.size(), f), direct);
    }
    // Queries outside the data are clamped to its ends.
    EXPECT_EQ(MonotoneCubic(xs.data(), ys.data(), xs.size(), -3.0), 1.0);
    EXPECT_EQ(MonotoneCubic(xs.data(), ys.data(), xs.size(), 7.0), 2.0);
}

TEST(MonotoneCubic, DegenerateInputsStayDefined) {
    const double x1[] = {0.3};
    const double y1[] = {4.0};
    EXPECT_EQ(MonotoneCubic(x1, y1, 1, 0.9), 4.0);
    EXPECT_EQ(MonotoneCubic(x1, y1, 0, 0.9), 0.0);
    EXPECT_EQ(MonotoneCubicSlope(x1, y1, 1, 0), 0.0);
    // A repeated last abscissa is a zero-width interval; its value is the
    // point's own, not 0 * inf.
    const double xd[] = {0.0, 1.0, 1.0};
    const double yd[] = {0.0, 1.0, 2.0};
    EXPECT_EQ(MonotoneCubic(xd, yd, 3, 1.0), 1.0);
    const double xs[] = {0.0, 1.0};
    EXPECT_TRUE(std::isnan(MonotoneCubic(xs, yd, 2, std::nan(""))));
}

}  // namespace
