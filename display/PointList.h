// CPointList: the display's editable points, kept sorted by x inside the scale
// ranges. Every point edit of the control goes through these operations.
#pragma once

#include "server/Platform.h"

namespace qelv {

struct DisplayPoint {
    FLOAT x;
    FLOAT y;
};

class CPointList {
public:
    // Limits at the control's default scales, then the points (0, 0) and (XMax, 0).
    CPointList();
    virtual ~CPointList();
    CPointList(const CPointList&) = delete;
    CPointList& operator=(const CPointList&) = delete;

    // Clamps x into XMin..XMax and y into YMin..YMax, then inserts the point
    // before the first point with a strictly greater x (after every equal x), or
    // at the end. Returns the new point's index, or -1 when out of memory.
    LONG AddPoint(FLOAT x, FLOAT y);

    // Moves point index: y clamped as in AddPoint; the first and last point keep
    // their x; any other point takes x clamped into the limits and then kept
    // between its neighbours' x. Returns false (nothing changed) for a bad index.
    bool MovePoint(LONG index, FLOAT x, FLOAT y);

    // Removes point index, keeping the order; a bad index changes nothing.
    bool DeletePoint(LONG index);

    // Stores the x limits; pins the last point to xMax and the first to xMin and
    // pulls every point between them into xMin..xMax. y values are untouched.
    void SetXLimits(FLOAT xMin, FLOAT xMax);

    // Stores the y limits and clamps every point's y into them.
    void SetYLimits(FLOAT yMin, FLOAT yMax);

    // Empties the list (the limits stay).
    void Clear();

    LONG Count() const { return Count_; }
    const DisplayPoint* Points() const { return Points_; }
    FLOAT XMin() const { return XMin_; }
    FLOAT XMax() const { return XMax_; }
    FLOAT YMin() const { return YMin_; }
    FLOAT YMax() const { return YMax_; }

private:
    bool Reserve(LONG count);
    FLOAT ClampY(FLOAT y) const;

    // Fields in the order the list has always kept them.
    FLOAT XMax_ = 22050.0f;
    FLOAT XMin_ = 0.0f;
    FLOAT YMax_ = 20.0f;
    FLOAT YMin_ = -20.0f;
    LONG Count_ = 0;
    DisplayPoint* Points_ = nullptr;
    LONG capacity_ = 0;
};

}  // namespace qelv
