#include "transform/filters/FirDesigner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "transform/filters/FirGrid.h"
#include "transform/filters/FirTaps.h"
#include "transform/filters/MonotoneCubic.h"

namespace {

using qelv::dsp::CFirDesigner;
constexpr double kPi = std::numbers::pi;
constexpr float kSep = -1.0f;

// A band layout in the designer's own format.
struct Plan {
    std::vector<float> f, g, w;
    double rate = 1.0;

    // Appends a band of points (frequency, gain, weight), with a separator
    // before it when it is not the first band.
    Plan& Band(std::initializer_list<std::array<float, 3>> points) {
        if (!f.empty()) Add(kSep, 0.0f, 0.0f);
        for (const auto& p : points) Add(p[0], p[1], p[2]);
        return *this;
    }
    Plan& Add(float freq, float gain, float weight) {
        f.push_back(freq);
        g.push_back(gain);
        w.push_back(weight);
        return *this;
    }
};

struct Result {
    std::vector<double> taps;
    double deviation = 0.0;
    int32_t status = 99;
};

Result DesignWith(const Plan& plan, int32_t length) {
    Result d;
    d.taps.assign(static_cast<std::size_t>(std::max(length, 0)), 12345.0);
    CFirDesigner designer;
    designer.Length = length;
    designer.Coefficients = d.taps.data();
    designer.Design(plan.f.data(), plan.g.data(), plan.w.data(), static_cast<int32_t>(plan.f.size()), plan.rate);
    d.deviation = designer.Deviation;
    d.status = designer.Status;
    return d;
}

// Zero-phase amplitude of an even-length symmetric filter at normalised f.
double Amplitude(const std::vector<double>& h, double f) {
    const std::size_t n = h.size();
    double sum = 0.0;
    for (std::size_t k = 0; k < n / 2; ++k) {
        sum += 2.0 * h[k] * std::cos(2.0 * kPi * f * (static_cast<double>(k) - (n - 1) / 2.0));
    }
    return sum;
}

// The bands of a plan as the designer sees them: normalised points.
struct BandPoints {
    std::vector<double> f, g, w;
};

std::vector<BandPoints> Bands(const Plan& plan) {
    std::vector<BandPoints> bands;
    bool open = false;
    for (std::size_t i = 0; i < plan.f.size(); ++i) {
        if (plan.f[i] < 0.0f) {
            open = false;
            continue;
        }
        if (!open) bands.emplace_back();
        open = true;
        bands.back().f.push_back(plan.f[i] / plan.rate);
        bands.back().g.push_back(plan.g[i]);
        bands.back().w.push_back(plan.w[i]);
    }
    return bands;
}

struct ErrorProfile {
    double peak = 0.0;     // largest |weighted error|
    int alternations = 0;  // sign-alternating points with |error| near delta
};

// Weighted error W (A - D) on a grid ten times finer than the design grid,
// over the approximation interval 0 .. 0.5 - delf.
ErrorProfile Measure(const Plan& plan, const Result& d, double nearFraction = 0.995) {
    const auto bands = Bands(plan);
    const int nf = static_cast<int>(d.taps.size() / 2);
    double width = 0.0;
    for (const auto& b : bands) width += b.f.back() - b.f.front();
    const double delf = width / std::max(16 * nf, 1000);
    const double top = 0.5 - delf;
    ErrorProfile p;
    int lastSign = 0;
    for (const auto& b : bands) {
        const double lo = std::min(b.f.front(), top);
        const double hi = std::min(b.f.back(), top);
        const int steps = std::max(1, static_cast<int>(std::ceil((hi - lo) / (delf / 10.0))));
        for (int i = 0; i <= steps; ++i) {
            const double f = lo + (hi - lo) * i / steps;
            const double desired = qelv::dsp::MonotoneCubic(b.f.data(), b.g.data(), b.f.size(), f);
            const double weight = qelv::dsp::MonotoneCubic(b.f.data(), b.w.data(), b.f.size(), f);
            const double e = weight * (Amplitude(d.taps, f) - desired);
            p.peak = std::max(p.peak, std::fabs(e));
            if (std::fabs(e) >= nearFraction * d.deviation) {
                const int sign = e > 0 ? 1 : -1;
                if (sign != lastSign) ++p.alternations;
                lastSign = sign;
            }
        }
    }
    return p;
}

bool AllZero(const std::vector<double>& taps) {
    return std::all_of(taps.begin(), taps.end(), [](double v) { return v == 0.0; });
}

bool ExactlySymmetric(const std::vector<double>& taps) {
    for (std::size_t i = 0; i < taps.size(); ++i) {
        if (taps[i] != taps[taps.size() - 1 - i]) return false;
    }
    return true;
}

Plan LowPass(float pass, float stop, float stopWeight = 1.0f) {
    Plan s;
    s.Band({{0.0f, 1.0f, 1.0f}, {pass, 1.0f, 1.0f}}).Band({{stop, 0.0f, stopWeight}, {0.5f, 0.0f, stopWeight}});
    return s;
}

// Peak |A - 1| over 0 .. 0.2 and |A| over 0.3 .. 0.5.
std::pair<double, double> PassStopRipple(const std::vector<double>& taps) {
    double pass = 0.0;
    double stop = 0.0;
    for (int i = 0; i <= 4000; ++i) {
        const double f = 0.5 * i / 4000.0;
        if (f <= 0.2) pass = std::max(pass, std::fabs(Amplitude(taps, f) - 1.0));
        if (f >= 0.3) stop = std::max(stop, std::fabs(Amplitude(taps, f)));
    }
    return {pass, stop};
}

TEST(FirDesigner, TwoBandLowPassIsSymmetricEquirippleAndZeroAtNyquist) {
    const Plan plan = LowPass(0.2f, 0.3f);
    const Result d = DesignWith(plan, 50);
    EXPECT_EQ(d.status, CFirDesigner::kConverged);
    EXPECT_TRUE(ExactlySymmetric(d.taps));
    // At 0.5 the taps cancel in symmetric pairs, so the response is exactly 0.
    double nyquist = 0.0;
    for (std::size_t k = 0; k < 25; ++k) nyquist += (k % 2 == 0 ? 1.0 : -1.0) * (d.taps[k] - d.taps[49 - k]);
    EXPECT_EQ(nyquist, 0.0);

    const auto [pass, stop] = PassStopRipple(d.taps);
    EXPECT_NEAR(pass / stop, 1.0, 0.003);
    EXPECT_NEAR(pass / d.deviation, 1.0, 0.003);
    EXPECT_GT(d.deviation, 1e-5);
    EXPECT_LT(d.deviation, 1e-4);
    // A stop band weighted 10 has a tenth of the pass band's ripple.
    const Result weighted = DesignWith(LowPass(0.2f, 0.3f, 10.0f), 50);
    EXPECT_EQ(weighted.status, CFirDesigner::kConverged);
    const auto [wPass, wStop] = PassStopRipple(weighted.taps);
    EXPECT_NEAR(wPass / wStop, 10.0, 0.05);
    EXPECT_NEAR(wPass / weighted.deviation, 1.0, 0.003);

    // Frequencies are divided by the sampling rate: the same design in hertz
    // (edges chosen to be exact binary fractions of the rate) gives the same
    // taps, and designing twice does too.
    Plan hz;
    hz.Band({{0.0f, 1.0f, 1.0f}, {6000.0f, 1.0f, 1.0f}}).Band({{10000.0f, 0.0f, 1.0f}, {16000.0f, 0.0f, 1.0f}});
    hz.rate = 32000.0;
    EXPECT_EQ(DesignWith(hz, 50).taps, DesignWith(LowPass(0.1875f, 0.3125f), 50).taps);
    EXPECT_EQ(DesignWith(plan, 50).taps, d.taps);
}

TEST(FirDesigner, MultiPointBandFollowsAMonotoneDesiredCurve) {
    // A pass band whose gain rises through three points (a tilt), next to a
    // stop band.
    Plan plan;
    plan.Band({{0.0f, 0.5f, 1.0f}, {0.1f, 0.6f, 1.0f}, {0.25f, 1.0f, 1.0f}}).Band({{0.32f, 0.0f, 1.0f}, {0.5f, 0.0f, 1.0f}});
    const Result d = DesignWith(plan, 64);
    ASSERT_GE(d.status, 0);

    // The grid's desired values rise monotonically and stay within 0.5 .. 1.
    qelv::dsp::fir::BandTable table;
    const auto bands = Bands(plan);
    for (const auto& b : bands) {
        table.bandStart.push_back(table.frequency.size());
        table.frequency.insert(table.frequency.end(), b.f.begin(), b.f.end());
        table.gain.insert(table.gain.end(), b.g.begin(), b.g.end());
        table.weight.insert(table.weight.end(), b.w.begin(), b.w.end());
    }
    table.bandStart.push_back(table.frequency.size());
    qelv::dsp::fir::DenseGrid grid;
    ASSERT_TRUE(qelv::dsp::fir::BuildDenseGrid(table, qelv::dsp::fir::ComputeGridLayout(table, 32), grid));
    double previous = 0.5;
    for (std::ptrdiff_t i = 0; i < grid.Size() && grid.x[i] <= 0.25; ++i) {
        EXPECT_GE(grid.desired[i], previous);
        EXPECT_LE(grid.desired[i], 1.0);
        previous = grid.desired[i];
    }
    EXPECT_EQ(previous, 1.0);

    // And the filter is optimal for that curve.
    const ErrorProfile p = Measure(plan, d);
    EXPECT_NEAR(p.peak / d.deviation, 1.0, 0.01);
    EXPECT_GE(p.alternations, 33);
}

qelv::dsp::fir::BandTable Table(std::initializer_list<std::pair<double, double>> bands) {
    qelv::dsp::fir::BandTable t;
    for (const auto& [a, b] : bands) {
        t.bandStart.push_back(t.frequency.size());
        for (double f : {a, b}) {
            t.frequency.push_back(f);
            t.gain.push_back(1.0);
            t.weight.push_back(1.0);
        }
    }
    t.bandStart.push_back(t.frequency.size());
    return t;
}

TEST(FirDesignerGrid, SizeFollowsTheTermCount) {
    // One band over the whole interval has no transition edge to refine, so
    // its grid is exactly the base size: 1000 points below nf = 63, 16 nf from it.
    const auto full = Table({{0.0, 0.5}});
    for (int32_t nf : {5, 25, 62, 63, 64, 128}) {
        const auto layout = qelv::dsp::fir::ComputeGridLayout(full, nf);
        const int64_t expected = nf < 63 ? 1000 : 16 * nf;
        EXPECT_EQ(layout.baseSize, expected);
        EXPECT_EQ(layout.density, expected / nf);
        qelv::dsp::fir::DenseGrid grid;
        ASSERT_TRUE(qelv::dsp::fir::BuildDenseGrid(full, layout, grid));
        EXPECT_EQ(grid.Size(), expected) << "nf " << nf;
    }
}

TEST(FirDesignerGrid, EdgesFacingATransitionAreTwiceAsFine) {
    const auto table = Table({{0.0, 0.2}, {0.3, 0.5}});
    const auto layout = qelv::dsp::fir::ComputeGridLayout(table, 25);
    const double delf = layout.delf;
    EXPECT_DOUBLE_EQ(delf, 0.4 / 1000.0);
    EXPECT_DOUBLE_EQ(layout.zone, 1.5 * 40 * delf);
    qelv::dsp::fir::DenseGrid grid;
    ASSERT_TRUE(qelv::dsp::fir::BuildDenseGrid(table, layout, grid));
    // Fine zones: 0.2 - zone .. 0.2 and 0.3 .. 0.3 + zone. The edges at 0 and
    // 0.5 face no transition and stay coarse.
    const double fineFrom = 0.2 - layout.zone;
    const double fineTo = 0.3 + layout.zone;
    int coarse = 0;
    int fine = 0;
    for (std::ptrdiff_t i = 1; i < grid.Size(); ++i) {
        const double a = grid.x[i - 1];
        const double b = grid.x[i];
        ASSERT_GT(b, a);
        if (a < 0.2 && b > 0.3) continue;  // the transition band
        const bool inFine = (a >= fineFrom && b <= 0.2) || (a >= 0.3 && b <= fineTo);
        const bool inCoarse = b <= fineFrom || a >= fineTo;
        if (!inFine && !inCoarse) continue;  // the gap across a zone boundary
        // Points are spread evenly over a piece, so a gap may be a little
        // shorter than the nominal spacing, never longer.
        const double nominal = inFine ? delf / 2.0 : delf;
        EXPECT_LE(b - a, nominal * (1.0 + 1e-9));
        EXPECT_GE(b - a, nominal * 0.99);
        ++(inFine ? fine : coarse);
    }
    EXPECT_NEAR(fine, 2 * layout.zone / (delf / 2.0), 4);
    EXPECT_NEAR(coarse, (0.4 - 2 * layout.zone) / delf, 4);
    EXPECT_EQ(grid.x.front(), 0.0);
    EXPECT_EQ(grid.x.back(), 0.5 - delf);  // the approximation stops short of 0.5
}

// sum alpha_j T_j(t) by the three-term recurrence.
double Chebyshev(const std::vector<double>& c, double t) {
    double t0 = 1.0;
    double t1 = t;
    double sum = c[0];
    for (std::size_t j = 1; j < c.size(); ++j) {
        sum += c[j] * t1;
        const double t2 = 2.0 * t * t1 - t0;
        t0 = t1;
        t1 = t2;
    }
    return sum;
}

TEST(FirDesignerTaps, ChebyshevShiftKeepsThePolynomial) {
    for (int32_t n : {1, 2, 3, 4, 7, 20}) {
        std::vector<double> alpha(static_cast<std::size_t>(n));
        for (int32_t j = 0; j < n; ++j) alpha[j] = std::sin(1.0 + 0.7 * j) / (1.0 + j);
        const double aa = 0.8;
        const double bb = 0.15;
        std::vector<double> beta = alpha;
        std::vector<double> work(3 * static_cast<std::size_t>(n));
        qelv::dsp::fir::ChebyshevShift(beta.data(), n, aa, bb, work.data());
        for (int i = 0; i <= 20; ++i) {
            const double x = -0.65 + 1.6 * i / 20.0;  // bb - aa .. bb + aa
            // Re-expression amplifies rounding by about (1 / aa)^n; a wrong
            // step in the recurrence shows as an error of order 1.
            EXPECT_NEAR(Chebyshev(beta, x), Chebyshev(alpha, (x - bb) / aa), 1e-9) << "n " << n << " x " << x;
        }
    }
}

struct OptimalCase {
    const char* name;
    Plan plan;
    int32_t length;
};

std::vector<OptimalCase> OptimalCases() {
    std::vector<OptimalCase> cases;
    // Transition widths shrink with the length so that every design stays
    // well above double-precision noise.
    const struct {
        int32_t n;
        float t;
    } sizes[] = {{10, 0.12f}, {50, 0.05f}, {128, 0.025f}, {256, 0.012f}};
    for (const auto& s : sizes) {
        const float t = s.t;
        Plan lp;
        lp.Band({{0.0f, 1.0f, 1.0f}, {0.2f, 1.0f, 1.0f}}).Band({{0.2f + t, 0.0f, 1.0f}, {0.5f, 0.0f, 1.0f}});
        Plan hp;
        hp.Band({{0.0f, 0.0f, 1.0f}, {0.25f, 0.0f, 1.0f}}).Band({{0.25f + t, 1.0f, 1.0f}, {0.5f, 1.0f, 1.0f}});
        Plan bp;
        bp.Band({{0.0f, 0.0f, 1.0f}, {0.1f, 0.0f, 1.0f}})
            .Band({{0.1f + t, 1.0f, 1.0f}, {0.3f, 1.0f, 1.0f}})
            .Band({{0.3f + t, 0.0f, 1.0f}, {0.5f, 0.0f, 1.0f}});
        Plan bs;
        bs.Band({{0.0f, 1.0f, 1.0f}, {0.1f, 1.0f, 1.0f}})
            .Band({{0.1f + t, 0.0f, 1.0f}, {0.3f, 0.0f, 1.0f}})
            .Band({{0.3f + t, 1.0f, 1.0f}, {0.5f, 1.0f, 1.0f}});
        // Bands that leave out both ends exercise the change of variable.
        // Only short filters: a long one grows without bound in the
        // unconstrained ends, and re-expressing that polynomial over the
        // whole interval leaves nothing of double precision.
        Plan inner;
        inner.Band({{0.05f, 1.0f, 1.0f}, {0.2f, 1.0f, 1.0f}}).Band({{0.2f + t, 0.0f, 1.0f}, {0.4f, 0.0f, 1.0f}});
        cases.push_back({"low-pass", lp, s.n});
        cases.push_back({"high-pass", hp, s.n});
        cases.push_back({"band-pass", bp, s.n});
        cases.push_back({"band-stop", bs, s.n});
        if (s.n <= 50) cases.push_back({"inner bands", inner, s.n});
    }
    // Bands covering 0 .. 0.5 sample the whole of -1 .. 1: no re-expression.
    // A lone full band with gain 1 is the trivial case.
    cases.push_back({"full band", Plan{}.Band({{0.0f, 1.0f, 1.0f}, {0.5f, 1.0f, 1.0f}}), 20});
    return cases;
}

TEST(FirDesigner, DesignsMeetTheEquirippleCriterionOnAFinerGrid) {
    for (const auto& c : OptimalCases()) {
        SCOPED_TRACE(std::string(c.name) + " N=" + std::to_string(c.length));
        const Result d = DesignWith(c.plan, c.length);
        ASSERT_EQ(d.status, CFirDesigner::kConverged);
        ASSERT_TRUE(ExactlySymmetric(d.taps));
        const ErrorProfile p = Measure(c.plan, d);
        // The fine grid also sees the error between design grid points,
        // which may exceed delta slightly but never by much.
        EXPECT_GE(p.peak, d.deviation * (1.0 - 1e-9));
        EXPECT_LE(p.peak, d.deviation * 1.01);
        EXPECT_GE(p.alternations, c.length / 2 + 1);
    }
}

// Designs every case with scipy.signal.remez in one Python process (the
// import dominates the cost). Returns one tap vector per case, or nothing
// when no interpreter with scipy is found.
std::vector<std::vector<double>> ScipyRemez(const std::vector<OptimalCase>& cases) {
    std::ostringstream jobs;
    jobs.precision(17);
    for (const auto& c : cases) {
        std::ostringstream bands, desired, weight;
        bands.precision(17);
        for (const auto& b : Bands(c.plan)) {
            bands << b.f.front() << "," << b.f.back() << ",";
            desired << b.g.front() << ",";
            weight << b.w.front() << ",";
        }
        jobs << "(" << c.length << ",[" << bands.str() << "],[" << desired.str() << "],[" << weight.str() << "]),";
    }
    const std::string program = "import scipy.signal as s\n"
                                "for n, b, d, w in [" + jobs.str() + "]:\n"
                                "    h = s.remez(n, b, d, weight=w, fs=1.0, grid_density=16)\n"
                                "    print(' '.join(repr(float(v)) for v in h))\n";
    // The interpreter first on the PATH may lack scipy while the system one has it.
    for (const char* python : {"python3", "/usr/bin/python3"}) {
        const std::string cmd = std::string(python) + " -c \"" + program + "\" 2>/dev/null";
        FILE* pipe = popen(cmd.c_str(), "r");
        if (pipe == nullptr) continue;
        std::vector<std::vector<double>> taps;
        char line[1 << 16];
        while (std::fgets(line, sizeof line, pipe) != nullptr) {
            std::istringstream in(line);
            taps.emplace_back();
            double v = 0.0;
            while (in >> v) taps.back().push_back(v);
        }
        const int rc = pclose(pipe);
        if (rc == 0 && taps.size() == cases.size()) return taps;
    }
    return {};
}

TEST(FirDesigner, ReachesTheDeviationOfAnIndependentExchange) {
    // Well-posed designs only: a pass band reaching 0.5 cannot be met by an
    // even-length filter, and there the result hinges on where each grid ends.
    std::vector<OptimalCase> cases;
    for (const auto& c : OptimalCases()) {
        const std::string name = c.name;
        if ((c.length == 50 || c.length == 128) && (name == "low-pass" || name == "band-pass" || name == "inner bands")) {
            cases.push_back(c);
        }
    }
    cases.push_back({"weighted low-pass", LowPass(0.2f, 0.3f, 10.0f), 50});
    const auto scipy = ScipyRemez(cases);
    if (scipy.empty()) GTEST_SKIP() << "no python3 with scipy";
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(std::string(c.name) + " N=" + std::to_string(c.length));
        const Result ours = DesignWith(c.plan, c.length);
        Result theirs;
        theirs.taps = scipy[i];
        ASSERT_EQ(theirs.taps.size(), static_cast<std::size_t>(c.length));
        theirs.deviation = ours.deviation;
        // Both measured on the same fine grid: the two exchanges use
        // different grids, so a few percent apart is agreement.
        const double peakOurs = Measure(c.plan, ours).peak;
        const double peakTheirs = Measure(c.plan, theirs).peak;
        EXPECT_NEAR(peakOurs / peakTheirs, 1.0, 0.03);
    }
}

TEST(FirDesigner, SeparatorsAtTheEndsOrRepeatedChangeNothing) {
    const Plan clean = LowPass(0.2f, 0.3f);
    const Result reference = DesignWith(clean, 50);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    Plan messy;
    messy.Add(-1.0f, nan, nan).Add(-inf, 7.0f, -3.0f);
    messy.Add(0.0f, 1.0f, 1.0f).Add(0.2f, 1.0f, 1.0f);
    messy.Add(-2.0f, nan, 0.0f).Add(-1.0f, 0.0f, 0.0f);
    messy.Add(0.3f, 0.0f, 1.0f).Add(0.5f, 0.0f, 1.0f);
    messy.Add(-1.0f, inf, inf);
    const Result d = DesignWith(messy, 50);
    EXPECT_EQ(d.status, reference.status);
    EXPECT_EQ(d.deviation, reference.deviation);
    EXPECT_EQ(d.taps, reference.taps);
}

TEST(FirDesigner, RefusedLayoutsAndLengthsGiveZeroTaps) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<std::pair<std::string, Plan>> refused;
    refused.push_back({"no entries", Plan{}});
    refused.push_back({"only separators", Plan{}.Add(-1, 0, 0).Add(-1, 0, 0)});
    refused.push_back({"descending", Plan{}.Band({{0.2f, 1, 1}, {0.1f, 1, 1}})});
    refused.push_back({"repeated", Plan{}.Band({{0.1f, 1, 1}, {0.1f, 1, 1}, {0.2f, 1, 1}})});
    refused.push_back({"overlapping", Plan{}.Band({{0.0f, 1, 1}, {0.3f, 1, 1}}).Band({{0.2f, 0, 1}, {0.5f, 0, 1}})});
    refused.push_back({"touching", Plan{}.Band({{0.0f, 1, 1}, {0.25f, 1, 1}}).Band({{0.25f, 0, 1}, {0.5f, 0, 1}})});
    refused.push_back({"weight 0", LowPass(0.2f, 0.3f, 0.0f)});
    refused.push_back({"negative weight", LowPass(0.2f, 0.3f, -1.0f)});
    refused.push_back({"NaN weight", LowPass(0.2f, 0.3f, nan)});
    refused.push_back({"NaN frequency", Plan{}.Band({{0.0f, 1, 1}, {nan, 1, 1}})});
    refused.push_back({"inf gain", Plan{}.Band({{0.0f, 1, 1}, {0.2f, -inf, 1}})});
    for (double rate : {0.0, -44100.0, std::nan(""), std::numeric_limits<double>::infinity(), 1e-320}) {
        Plan s = LowPass(0.2f, 0.3f);
        s.rate = rate;
        refused.push_back({"rate " + std::to_string(rate), s});
    }
    for (const auto& [name, plan] : refused) {
        SCOPED_TRACE(name);
        const Result d = DesignWith(plan, 50);
        EXPECT_EQ(d.status, CFirDesigner::kInvalidInput);
        EXPECT_EQ(d.deviation, 0.0);
        EXPECT_TRUE(AllZero(d.taps));
    }

    // Null arrays with a non-zero count are refused without being read.
    const Plan lp = LowPass(0.2f, 0.3f);
    std::vector<double> taps(50, 1.0);
    CFirDesigner designer;
    designer.Length = 50;
    designer.Coefficients = taps.data();
    designer.Design(lp.f.data(), nullptr, lp.w.data(), 5, 1.0);
    EXPECT_EQ(designer.Status, CFirDesigner::kInvalidInput);
    EXPECT_TRUE(AllZero(taps));
    designer.Design(nullptr, nullptr, nullptr, 0, 1.0);
    EXPECT_EQ(designer.Status, CFirDesigner::kInvalidInput);
    // So are lengths that are odd, too short or too long, and a null tap array.
    for (int32_t length : {-4, 0, 1, 3, 49, CFirDesigner::kMaxLength + 2}) {
        const Result d = DesignWith(lp, length);
        EXPECT_EQ(d.status, CFirDesigner::kInvalidInput) << length;
        EXPECT_TRUE(AllZero(d.taps)) << length;
    }
    designer.Coefficients = nullptr;
    designer.Design(lp.f.data(), lp.g.data(), lp.w.data(), 5, 1.0);
    EXPECT_EQ(designer.Status, CFirDesigner::kInvalidInput);
    EXPECT_EQ(designer.Deviation, 0.0);
}

TEST(FirDesigner, DegenerateButAcceptedLayoutsGiveFiniteTaps) {
    struct Case {
        const char* name;
        Plan plan;
        int32_t length;
    };
    std::vector<Case> cases;
    cases.push_back({"one point", Plan{}.Add(0.1f, 1, 1), 50});
    cases.push_back({"one-point bands", Plan{}.Band({{0.1f, 1, 1}}).Band({{0.3f, 0, 1}}), 50});
    cases.push_back({"two taps", LowPass(0.2f, 0.3f), 2});
    cases.push_back({"band above 0.5 - delf", Plan{}.Band({{0.0f, 1, 1}, {0.2f, 1, 1}}).Band({{0.3f, 0, 1}, {0.45f, 0, 1}}).Band({{0.6f, 1, 1}, {0.7f, 1, 1}}), 50});
    cases.push_back({"band inside the last delf", Plan{}.Band({{0.0f, 1, 1}, {0.2f, 1, 1}}).Band({{0.4999f, 0, 1}, {0.49995f, 0, 1}}), 50});
    cases.push_back({"two bands folded onto 0.5 - delf", Plan{}.Band({{0.0f, 1, 1}, {0.2f, 1, 1}}).Band({{0.6f, 0, 1}, {0.7f, 0, 1}}).Band({{0.8f, 1, 1}, {0.9f, 1, 1}}), 50});
    cases.push_back({"huge gains", Plan{}.Band({{0.0f, 3e38f, 1}, {0.2f, -3e38f, 3e38f}}).Band({{0.3f, 1e-38f, 1e-38f}, {0.5f, 0, 1}}), 50});
    cases.push_back({"narrow band at 0", Plan{}.Band({{0.0f, 1, 1}, {1e-9f, 1, 1}}).Band({{0.3f, 0, 1}, {0.5f, 0, 1}}), 50});
    cases.push_back({"more terms than grid points", Plan{}.Band({{0.1f, 1, 1}}).Band({{0.2f, 0, 1}}).Band({{0.3f, 1, 1}}), 20});
    cases.push_back({"longest", LowPass(0.2f, 0.21f), CFirDesigner::kMaxLength});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Result d = DesignWith(c.plan, c.length);
        EXPECT_TRUE(d.status >= CFirDesigner::kNumericFailure && d.status <= CFirDesigner::kZeroDenominator);
        EXPECT_NE(d.status, CFirDesigner::kInvalidInput);
        EXPECT_TRUE(std::isfinite(d.deviation));
        for (double t : d.taps) ASSERT_TRUE(std::isfinite(t));
        EXPECT_TRUE(ExactlySymmetric(d.taps));
        if (d.status == CFirDesigner::kNumericFailure) {
            EXPECT_TRUE(AllZero(d.taps));
        }
    }
    // A single point leaves no cosine term to fit.
    EXPECT_TRUE(AllZero(DesignWith(cases[0].plan, 50).taps));
}

}  // namespace
