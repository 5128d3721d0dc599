// Dense frequency grid of the FIR designer (internal to CFirDesigner).
//
// Each band is sampled on a grid that is uniform in a warped frequency: the
// spacing is delf inside a band and delf / 2 within `zone` of an edge that
// faces a transition band, where the error of an equiripple design changes
// fastest. The desired gain and weight of every grid point come from the
// band's points through monotone cubic interpolation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qelv::dsp::fir {

// The band points, normalised to the sampling rate, band after band. Band b
// holds the points bandStart[b] .. bandStart[b+1]-1; every band has at least
// one point.
struct BandTable {
    std::vector<double> frequency;
    std::vector<double> gain;
    std::vector<double> weight;
    std::vector<std::size_t> bandStart;

    std::size_t BandCount() const { return bandStart.empty() ? 0 : bandStart.size() - 1; }
};

// Grid sizing for nf cosine terms.
struct GridLayout {
    std::int64_t baseSize;  // G0 = max(16 * nf, 1000)
    std::int64_t density;   // G0 / nf
    double delf;            // middle-of-band spacing
    double zone;            // width of the finer edge region
};

/*
 * ComputeGridLayout
 *   Grid size, spacing and edge zone for a band table and nf cosine terms.
 * PARAMS
 *   bands [I] the band points (unclamped widths are summed).
 *   nf    [I] number of cosine terms, at least 1.
 */
GridLayout ComputeGridLayout(const BandTable& bands, std::int32_t nf);

// The dense grid. BuildDenseGrid fills x with normalised frequencies and
// desired/weight with D and W; TransformEvenSymmetric then replaces them in
// place by cos(2 pi f), D / Q and W * Q with Q = 2 cos(pi f).
struct DenseGrid {
    std::vector<double> x;
    std::vector<double> desired;
    std::vector<double> weight;

    std::ptrdiff_t Size() const { return static_cast<std::ptrdiff_t>(x.size()); }
};

/*
 * BuildDenseGrid
 *   Samples every band on its warped grid and sets the desired value and
 *   weight of each grid point.
 * PARAMS
 *   bands  [I] band points, ascending.
 *   layout [I] from ComputeGridLayout.
 *   grid   [O] resized once to the total number of points and filled.
 * RETURNS
 *   true; false when a band would need an unbounded number of points (only a
 *   spacing that underflowed to 0 can ask for that), with grid left empty.
 */
bool BuildDenseGrid(const BandTable& bands, const GridLayout& layout, DenseGrid& grid);

/*
 * TransformEvenSymmetric
 *   Rewrites the grid for the even-length symmetric case: the amplitude is
 *   Q(f) times a cosine polynomial, so the polynomial approximates D / Q with
 *   weight W * Q.
 * PARAMS
 *   grid [I/O] frequencies, D and W in; x, D' and W' out.
 */
void TransformEvenSymmetric(DenseGrid& grid);

}  // namespace qelv::dsp::fir
