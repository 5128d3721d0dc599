#include "display/PointList.h"

namespace qelv {

CPointList::CPointList() {
    AddPoint(0.0f, 0.0f);
    AddPoint(XMax_, 0.0f);
}

CPointList::~CPointList() {
    if (Points_) HeapFree(GetProcessHeap(), 0, Points_);
}

// Grows the storage geometrically so that adding n points costs O(n) copies.
bool CPointList::Reserve(LONG count) {
    if (count <= capacity_) return true;
    LONG grown = capacity_ < 8 ? 8 : capacity_;
    while (grown < count) {
        if (grown > 0x3FFFFFFF / 2) {
            grown = count;
            break;
        }
        grown *= 2;
    }
    const SIZE_T bytes = static_cast<SIZE_T>(grown) * sizeof(DisplayPoint);
    void* block = Points_ ? HeapReAlloc(GetProcessHeap(), 0, Points_, bytes) : HeapAlloc(GetProcessHeap(), 0, bytes);
    if (!block) return false;
    Points_ = static_cast<DisplayPoint*>(block);
    capacity_ = grown;
    return true;
}

FLOAT CPointList::ClampY(FLOAT y) const {
    if (y > YMax_) return YMax_;
    if (y < YMin_) return YMin_;
    return y;
}

LONG CPointList::AddPoint(FLOAT x, FLOAT y) {
    if (x < XMin_) {
        x = XMin_;
    } else if (x > XMax_) {
        x = XMax_;
    }
    y = ClampY(y);
    if (Count_ == 0x7FFFFFFF || !Reserve(Count_ + 1)) return -1;
    LONG index = 0;
    while (index < Count_ && !(Points_[index].x > x)) ++index;
    for (LONG k = Count_; k > index; --k) Points_[k] = Points_[k - 1];
    Points_[index] = DisplayPoint{x, y};
    ++Count_;
    return index;
}

bool CPointList::MovePoint(LONG index, FLOAT x, FLOAT y) {
    if (index < 0 || index >= Count_) return false;
    DisplayPoint& point = Points_[index];
    point.y = ClampY(y);
    if (index == 0 || index == Count_ - 1) return true;
    if (x < XMin_) {
        x = XMin_;
    } else if (x > XMax_) {
        x = XMax_;
    }
    if (x < Points_[index - 1].x) x = Points_[index - 1].x;
    if (x > Points_[index + 1].x) x = Points_[index + 1].x;
    point.x = x;
    return true;
}

bool CPointList::DeletePoint(LONG index) {
    if (index < 0 || index >= Count_) return false;
    for (LONG k = index; k + 1 < Count_; ++k) Points_[k] = Points_[k + 1];
    --Count_;
    return true;
}

void CPointList::SetXLimits(FLOAT xMin, FLOAT xMax) {
    XMin_ = xMin;
    XMax_ = xMax;
    if (Count_ == 0) return;
    Points_[Count_ - 1].x = xMax;
    Points_[0].x = xMin;
    for (LONG k = 1; k + 1 < Count_; ++k) {
        if (Points_[k].x > xMax) {
            Points_[k].x = xMax;
        } else if (Points_[k].x < xMin) {
            Points_[k].x = xMin;
        }
    }
}

void CPointList::SetYLimits(FLOAT yMin, FLOAT yMax) {
    YMin_ = yMin;
    YMax_ = yMax;
    for (LONG k = 0; k < Count_; ++k) Points_[k].y = ClampY(Points_[k].y);
}

void CPointList::Clear() { Count_ = 0; }

}  // namespace qelv
