// Corner rounding by subdivision: each inner point's corner is replaced by a
// cubic run from the midpoint of the segment before it to the midpoint of the
// segment after it, with the corner point as both inner control points.
#pragma once

#include "display/PointList.h"

namespace qelv {

// The vertices of a rounded curve, released by the owner.
class SplineVertices {
public:
    SplineVertices() = default;
    ~SplineVertices();
    SplineVertices(const SplineVertices&) = delete;
    SplineVertices& operator=(const SplineVertices&) = delete;

    // (count - 2) * steps + 2 vertices for count >= 3 points and steps >= 2;
    // otherwise, or when the vertex arrays cannot be allocated, none.
    void Build(const DisplayPoint* points, LONG count, LONG steps);

    LONG Count() const { return count_; }
    const DisplayPoint* Vertices() const { return vertices_; }

private:
    void Release();

    DisplayPoint* vertices_ = nullptr;
    LONG count_ = 0;
};

}  // namespace qelv
