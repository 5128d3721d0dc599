#include "display/SplineCurve.h"

namespace qelv {
namespace {

// (b - a) * t + a for x and y, computed in double and stored as 32-bit floats.
DisplayPoint Lerp(DisplayPoint a, DisplayPoint b, FLOAT t) {
    return DisplayPoint{static_cast<FLOAT>((static_cast<double>(b.x) - a.x) * t + a.x),
                        static_cast<FLOAT>((static_cast<double>(b.y) - a.y) * t + a.y)};
}

// The midpoint of a segment as (to - from) * 0.5 + from.
DisplayPoint Midpoint(DisplayPoint from, DisplayPoint to) { return Lerp(from, to, 0.5f); }

}  // namespace

SplineVertices::~SplineVertices() { Release(); }

void SplineVertices::Release() {
    if (vertices_) HeapFree(GetProcessHeap(), 0, vertices_);
    vertices_ = nullptr;
    count_ = 0;
}

void SplineVertices::Build(const DisplayPoint* points, LONG count, LONG steps) {
    Release();
    if (count < 3 || steps < 2) return;
    const long long total = static_cast<long long>(count - 2) * steps + 2;
    if (total > 0x7FFFFFFF / static_cast<long long>(sizeof(DisplayPoint))) return;
    vertices_ = static_cast<DisplayPoint*>(
        HeapAlloc(GetProcessHeap(), 0, static_cast<SIZE_T>(total) * sizeof(DisplayPoint)));
    if (!vertices_) return;
    count_ = static_cast<LONG>(total);

    LONG out = 0;
    vertices_[out++] = points[0];
    for (LONG i = 1; i <= count - 2; ++i) {
        const DisplayPoint corner = points[i];
        const DisplayPoint a = Midpoint(points[i - 1], corner);
        const DisplayPoint b = Midpoint(points[i + 1], corner);
        for (LONG j = 0; j < steps; ++j) {
            // de Casteljau on A, M, M, B.
            const FLOAT t = static_cast<FLOAT>(static_cast<double>(j) / (steps - 1));
            const DisplayPoint q1 = Lerp(a, corner, t);
            const DisplayPoint q3 = Lerp(corner, b, t);
            const DisplayPoint r1 = Lerp(q1, corner, t);
            const DisplayPoint r2 = Lerp(corner, q3, t);
            vertices_[out++] = Lerp(r1, r2, t);
        }
    }
    vertices_[out++] = points[count - 1];
}

}  // namespace qelv
