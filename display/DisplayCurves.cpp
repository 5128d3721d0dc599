// The control's point and line arrays: points in and out as x, y pairs, single
// point moves, and the curve sampled at LineArraySize positions in the shape
// SplineType names.
#include <cmath>

#include "display/CurveSmoothing.h"
#include "display/LineSampling.h"
#include "display/SonalterDisplay2.h"
#include "display/SplineCurve.h"

namespace qelv {
namespace {

// A new one-dimensional array of 32-bit floats, lower bound 0.
SAFEARRAY* CreateFloatArray(LONG count) {
    SAFEARRAYBOUND bound;
    bound.cElements = static_cast<ULONG>(count);
    bound.lLbound = 0;
    return SafeArrayCreate(VT_R4, 1, &bound);
}

// The elements of a float array the host passes in, locked while this lives.
class FloatArrayReader {
public:
    explicit FloatArrayReader(SAFEARRAY* array) : array_(array) {}
    ~FloatArrayReader() {
        if (data_) SafeArrayUnaccessData(array_);
    }
    FloatArrayReader(const FloatArrayReader&) = delete;
    FloatArrayReader& operator=(const FloatArrayReader&) = delete;

    // S_OK for a one-dimensional array of 32-bit floats with lower bound 0;
    // E_INVALIDARG for any other shape.
    HRESULT Open() {
        if (SafeArrayGetDim(array_) != 1 || SafeArrayGetElemsize(array_) != sizeof(FLOAT)) return E_INVALIDARG;
        VARTYPE vt = VT_EMPTY;
        if (SUCCEEDED(SafeArrayGetVartype(array_, &vt)) && vt != VT_R4) return E_INVALIDARG;
        LONG lower = 0;
        LONG upper = -1;
        if (FAILED(SafeArrayGetLBound(array_, 1, &lower)) || FAILED(SafeArrayGetUBound(array_, 1, &upper))) {
            return E_INVALIDARG;
        }
        if (lower != 0) return E_INVALIDARG;
        count_ = upper + 1;
        void* data = nullptr;
        HRESULT hr = SafeArrayAccessData(array_, &data);
        if (FAILED(hr)) return hr;
        data_ = static_cast<const FLOAT*>(data);
        return S_OK;
    }

    LONG Count() const { return count_; }
    const FLOAT* Data() const { return data_; }

private:
    SAFEARRAY* array_;
    const FLOAT* data_ = nullptr;
    LONG count_ = 0;
};

// Fills a new array's elements; the caller keeps it only when this succeeds.
class FloatArrayWriter {
public:
    explicit FloatArrayWriter(SAFEARRAY* array) : array_(array) {
        void* data = nullptr;
        if (array_ && SUCCEEDED(SafeArrayAccessData(array_, &data))) data_ = static_cast<FLOAT*>(data);
    }
    ~FloatArrayWriter() {
        if (data_) SafeArrayUnaccessData(array_);
    }
    FloatArrayWriter(const FloatArrayWriter&) = delete;
    FloatArrayWriter& operator=(const FloatArrayWriter&) = delete;
    FLOAT* Data() const { return data_; }

private:
    SAFEARRAY* array_;
    FLOAT* data_ = nullptr;
};

}  // namespace

STDMETHODIMP CSonalterDisplay2::GetPointArray(SAFEARRAY** Array) {
    if (!Array) return E_POINTER;
    *Array = nullptr;
    const LONG count = points_.Count();
    SAFEARRAY* result = CreateFloatArray(count * 2);
    if (!result) return E_OUTOFMEMORY;
    {
        FloatArrayWriter writer(result);
        if (!writer.Data()) {
            SafeArrayDestroy(result);
            return E_OUTOFMEMORY;
        }
        const DisplayPoint* points = points_.Points();
        for (LONG k = 0; k < count; ++k) {
            writer.Data()[2 * k] = points[k].x;
            writer.Data()[2 * k + 1] = points[k].y;
        }
    }
    *Array = result;
    return S_OK;
}

// The host's pairs may come in any order: they are sorted by x, clamped into
// the scale ranges, and the first and last point pinned to the x limits. Fewer
// than two pairs give the two default points. A null, multi-dimensional or
// non-float array fails before any point changes.
STDMETHODIMP CSonalterDisplay2::SetPointArray(SAFEARRAY** Array) {
    if (!Array || !*Array) return E_POINTER;
    FloatArrayReader reader(*Array);
    if (HRESULT hr = reader.Open(); FAILED(hr)) return hr;
    const LONG n = reader.Count();
    points_.Clear();
    if (n >= 4) {
        for (LONG k = 0; k < n / 2; ++k) {
            if (points_.AddPoint(reader.Data()[2 * k], reader.Data()[2 * k + 1]) < 0) return E_OUTOFMEMORY;
        }
        points_.SetXLimits(ScaleXMin, ScaleXMax);
        points_.SetYLimits(ScaleYMin, ScaleYMax);
    } else {
        points_.AddPoint(ScaleXMin, 0.0f);
        points_.AddPoint(ScaleXMax, 0.0f);
        points_.SetXLimits(ScaleXMin, ScaleXMax);
    }
    RedrawNow();
    return S_OK;
}

// Moves one point by the list's rules; an index out of range moves nothing and
// still succeeds.
STDMETHODIMP CSonalterDisplay2::SetPoint(LONG Index, FLOAT Param1, FLOAT Param2) {
    points_.MovePoint(Index, Param1, Param2);
    RedrawNow();
    return S_OK;
}

// LineArraySize values at xMin + i * (xMax - xMin) / LineArraySize: the
// straight-segment curve, smoothed for stTwo, or for stOne with three or more
// points the rounded curve read at the whole-number part of each position. A
// LineArraySize below 1 gives an empty array.
STDMETHODIMP CSonalterDisplay2::GetLineArray(SAFEARRAY** Array) {
    if (!Array) return E_POINTER;
    *Array = nullptr;
    const LONG n = LineArraySize > 0 ? LineArraySize : 0;
    SAFEARRAY* result = CreateFloatArray(n);
    if (!result) return E_OUTOFMEMORY;
    HRESULT hr = S_OK;
    {
        FloatArrayWriter writer(result);
        FLOAT* values = writer.Data();
        if (!values) {
            hr = E_OUTOFMEMORY;
        } else if (n > 0) {
            SampleCurve(points_.Points(), points_.Count(), ScaleXMin, ScaleXMax, values, n);
            if (SplineType == stTwo) {
                if (!SmoothCurve(values, n, SplineSteepnes)) hr = E_OUTOFMEMORY;
            } else if (SplineType == stOne && points_.Count() >= 3) {
                SplineVertices spline;
                spline.Build(points_.Points(), points_.Count(), SplineSteepnes);
                if (spline.Count() > 0) {
                    for (LONG i = 0; i < n; ++i) {
                        const double whole = std::trunc(LinePosition(ScaleXMin, ScaleXMax, i, n));
                        values[i] = ValueAt(spline.Vertices(), spline.Count(), static_cast<FLOAT>(whole));
                    }
                }
            }
        }
    }
    if (FAILED(hr)) {
        SafeArrayDestroy(result);
        return hr;
    }
    *Array = result;
    return S_OK;
}

}  // namespace qelv
