// The straight-segment curve through a list of (x, y) pairs, and its samples at
// the evenly spaced positions of the line array.
#pragma once

#include "display/PointList.h"

namespace qelv {

// The piecewise-linear value at p of pairs sorted by x: between the last pair
// with x <= p (lo) and the first with x >= p (hi). Where their x are equal the
// value is lo's y, so at a vertical step the later pair wins; below the first x
// it is the first y and above the last x the last y. count 0 gives 0.
FLOAT ValueAt(const DisplayPoint* pairs, LONG count, FLOAT p);

// Position i of a line array of n elements: xMin + i * (xMax - xMin) / n, in
// double precision.
double LinePosition(FLOAT xMin, FLOAT xMax, LONG i, LONG n);

// Fills values[0..n) with ValueAt(pairs, position i) with the position passed
// as a 32-bit float.
void SampleCurve(const DisplayPoint* pairs, LONG count, FLOAT xMin, FLOAT xMax, FLOAT* values, LONG n);

}  // namespace qelv
