#include "transform/TransformFrame.h"

#include <iterator>
#include <numeric>

#include "transform/dsp/EdgeBlend.h"

namespace qelv {

bool ArrayView::Attach(SAFEARRAY* array, UINT elementSize) {
    Release();
    if (!array) return false;
    LONG lower = 0;
    LONG upper = 0;
    if (SafeArrayGetDim(array) != 1 || SafeArrayGetElemsize(array) != elementSize ||
        FAILED(SafeArrayGetLBound(array, 1, &lower)) || lower != 0 || FAILED(SafeArrayGetUBound(array, 1, &upper))) {
        return false;
    }
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) return false;
    array_ = array;
    data_ = data;
    size_ = upper < 0 ? 0 : static_cast<std::size_t>(upper) + 1;
    return true;
}

void ArrayView::Release() {
    if (array_) SafeArrayUnaccessData(array_);
    array_ = nullptr;
    data_ = nullptr;
    size_ = 0;
}

TransformFrame::TransformFrame(CSonalter2& object, EdgeMode mode) : object_(object), mode_(mode) {
    object_.CancelRequested = 0;
}

TransformFrame::~TransformFrame() {
    // Error and cancel paths: nothing is blended, everything is released.
    PutBackSmoothSamples();
    ReleaseEdges();
    ReleaseArrays();
    if (propertiesKept_) {
        object_.SmoothLeftEnabled = keptLeft_;
        object_.SmoothRightEnabled = keptRight_;
    }
}

HRESULT TransformFrame::Open(SAFEARRAY** array, std::size_t minLength) {
    if (!array || !main_.Attach(*array, sizeof(std::int16_t)) || main_.size() < minLength) {
        main_.Release();
        return object_.ReportError(INVALIDPARAM);
    }
    mainSlot_ = array;
    if (mode_ == EdgeMode::None || mode_ == EdgeMode::Deferred) return S_OK;
    return KeepAndSaveEdges();
}

HRESULT TransformFrame::SaveEdges(long long minimumEdge, std::size_t leftStart) {
    if (mode_ != EdgeMode::Deferred || smoothSamplesKept_ || !main_.array() || leftStart > main_.size()) {
        return object_.ReportError(UNEXPECTED);
    }
    keptSmoothSamples_ = object_.SmoothSamples;
    smoothSamplesKept_ = true;
    if (object_.SmoothSamples < minimumEdge) {
        const long long limit = 0x7FFFFFFF;
        object_.SmoothSamples = static_cast<LONG>(minimumEdge < limit ? minimumEdge : limit);
    }
    leftStart_ = leftStart;
    return KeepAndSaveEdges();
}

HRESULT TransformFrame::KeepAndSaveEdges() {
    const std::size_t n = main_.size();
    keptLeft_ = object_.SmoothLeftEnabled;
    keptRight_ = object_.SmoothRightEnabled;
    propertiesKept_ = true;
    const long long edge = object_.SmoothSamples;
    long long need = 0;
    if (keptLeft_) need += edge;
    if (keptRight_) need += edge;
    if (need != 0) need += edge;
    if (static_cast<long long>(n) < need) {
        object_.SmoothLeftEnabled = VARIANT_FALSE;
        object_.SmoothRightEnabled = VARIANT_FALSE;
    }
    if (mode_ == EdgeMode::SwitchOnly) return S_OK;

    // The head is taken over the entries from leftStart_ on, the tail over the whole array.
    const std::size_t mLeft = dsp::EdgeLength(object_.SmoothSamples, n - leftStart_);
    const std::size_t m = dsp::EdgeLength(object_.SmoothSamples, n);
    const bool left = object_.SmoothLeftEnabled && mLeft > 0;
    const bool right = object_.SmoothRightEnabled && m > 0;
    HANDLE heap = GetProcessHeap();
    if (left) object_.LeftEdgeBuffer = static_cast<SHORT*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, mLeft * sizeof(SHORT)));
    if (right) object_.RightEdgeBuffer = static_cast<SHORT*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, m * sizeof(SHORT)));
    if ((left && !object_.LeftEdgeBuffer) || (right && !object_.RightEdgeBuffer)) {
        ReleaseEdges();
        main_.Release();
        return object_.ReportError(MEMORY);
    }
    if (left) {
        object_.LeftEdgeLength = static_cast<LONG>(mLeft);
        dsp::CopyHead(object_.LeftEdgeBuffer, data() + leftStart_, mLeft);
    }
    if (right) {
        object_.RightEdgeLength = static_cast<LONG>(m);
        dsp::CopyTailReversed(object_.RightEdgeBuffer, data(), n, m);
    }
    return S_OK;
}

HRESULT TransformFrame::OpenInput(SAFEARRAY** array, UINT elementSize, std::size_t minLength,
                                  const ArrayView** view) {
    if (extraUsed_ == std::size(extra_)) return object_.ReportError(UNEXPECTED);
    ArrayView& slot = extra_[extraUsed_];
    if (!array || !slot.Attach(*array, elementSize) || slot.size() < minLength) {
        slot.Release();
        return object_.ReportError(INVALIDPARAM);
    }
    ++extraUsed_;
    if (view) *view = &slot;
    return S_OK;
}

HRESULT TransformFrame::CreateResult(VARTYPE vt, std::size_t count, SAFEARRAY** result, const ArrayView** view) {
    if (!result) return object_.ReportError(INVALIDPARAM);
    if (extraUsed_ == std::size(extra_)) return object_.ReportError(UNEXPECTED);
    SAFEARRAY* created = nullptr;
    if (count <= 0xFFFFFFFFu) {
        SAFEARRAYBOUND bound = {static_cast<ULONG>(count), 0};
        created = SafeArrayCreate(vt, 1, &bound);
    }
    if (!created) return object_.ReportError(MEMORY);
    // The caller owns the new array from here on, also if the host cancels.
    *result = created;
    ArrayView& slot = extra_[extraUsed_++];
    slot.Attach(created, vt == VT_R4 ? sizeof(float) : sizeof(std::int16_t));
    if (view) *view = &slot;
    return S_OK;
}

bool TransformFrame::MainResizable() const {
    const SAFEARRAY* array = main_.array();
    // The frame's own lock is the only one allowed; it is released for the resize.
    constexpr USHORT kNotResizable = FADF_FIXEDSIZE | FADF_AUTO | FADF_STATIC | FADF_EMBEDDED;
    return array && array->cLocks == 1 && (array->fFeatures & kNotResizable) == 0;
}

HRESULT TransformFrame::ResizeMain(std::size_t count) {
    SAFEARRAY* array = main_.array();
    if (!MainResizable() || count > 0xFFFFFFFFu) return object_.ReportError(INVALIDPARAM);
    main_.Release();
    SAFEARRAYBOUND bound = {static_cast<ULONG>(count), 0};
    const HRESULT resized = SafeArrayRedim(array, &bound);
    const HRESULT locked = Relock(array);
    if (FAILED(locked)) return locked;
    return FAILED(resized) ? object_.ReportError(INVALIDPARAM) : S_OK;
}

HRESULT TransformFrame::Relock(SAFEARRAY* array) {
    if (!main_.Attach(array, sizeof(std::int16_t))) return object_.ReportError(INVALIDPARAM);
    return S_OK;
}

HRESULT TransformFrame::CreateReplacement(VARTYPE vt, std::size_t count, const ArrayView** view) {
    if (replacement_.array()) return object_.ReportError(UNEXPECTED);
    SAFEARRAY* created = nullptr;
    if (count <= 0x7FFFFFFFu) {
        SAFEARRAYBOUND bound = {static_cast<ULONG>(count), 0};
        created = SafeArrayCreate(vt, 1, &bound);
    }
    if (!created) return object_.ReportError(INVALIDPARAM);
    if (!replacement_.Attach(created, vt == VT_R4 ? sizeof(float) : sizeof(std::int16_t))) {
        SafeArrayDestroy(created);
        return object_.ReportError(INVALIDPARAM);
    }
    if (view) *view = &replacement_;
    return S_OK;
}

HRESULT TransformFrame::ReplaceMain() {
    if (!replacement_.array() || !mainSlot_ || !main_.array()) return object_.ReportError(UNEXPECTED);
    SAFEARRAY* old = main_.array();
    main_.Release();
    if (FAILED(SafeArrayDestroy(old))) {
        // Someone else holds a lock on it: the caller keeps its array unchanged.
        return object_.ReportError(INVALIDPARAM);
    }
    *mainSlot_ = replacement_.array_;
    // The lock moves from the replacement view to the main view.
    main_.array_ = replacement_.array_;
    main_.data_ = replacement_.data_;
    main_.size_ = replacement_.size_;
    replacement_.array_ = nullptr;
    replacement_.data_ = nullptr;
    replacement_.size_ = 0;
    const LONG half = static_cast<LONG>(main_.size_ / 2);
    if (object_.LeftEdgeLength > half) object_.LeftEdgeLength = half;
    if (object_.RightEdgeLength > half) object_.RightEdgeLength = half;
    return S_OK;
}

void TransformFrame::FireProgress(LONG percent) {
    environment_.Leave();
    object_.Fire_TransformBlock(percent);
    environment_.Enter();
}

std::size_t TransformFrame::NextEventIteration(std::size_t k, std::size_t count, std::size_t first,
                                               std::size_t stride, std::size_t step) {
    if (step != scheduleStep_) {
        // Iterations with (first + e * stride) % step == 0 repeat with period
        // step / gcd(stride, step); find the first one, if any, within one period.
        scheduleStep_ = step;
        eventPeriod_ = step / std::gcd(stride, step);
        firstEvent_ = count;
        for (std::size_t e = 0; e < eventPeriod_ && e < count; ++e) {
            if ((first + e * stride) % step == 0) {
                firstEvent_ = e;
                break;
            }
        }
    }
    if (firstEvent_ >= count) return count;
    if (k <= firstEvent_) return firstEvent_;
    const std::size_t periods = (k - firstEvent_ + eventPeriod_ - 1) / eventPeriod_;
    const std::size_t e = firstEvent_ + periods * eventPeriod_;
    return e < count ? e : count;
}

HRESULT TransformFrame::Finish() {
    const std::size_t n = size();
    if (object_.SmoothLeftEnabled && object_.LeftEdgeBuffer) {
        dsp::BlendHead(data() + leftStart_, object_.LeftEdgeBuffer, static_cast<std::size_t>(object_.LeftEdgeLength));
    }
    if (object_.SmoothRightEnabled && object_.RightEdgeBuffer) {
        dsp::BlendTail(data(), n, object_.RightEdgeBuffer, static_cast<std::size_t>(object_.RightEdgeLength));
    }
    PutBackSmoothSamples();
    ReleaseEdges();
    if (propertiesKept_) {
        object_.SmoothLeftEnabled = keptLeft_;
        object_.SmoothRightEnabled = keptRight_;
        propertiesKept_ = false;
    }
    // Unlock before the host's handler runs, so it may free or resize the arrays.
    ReleaseArrays();
    environment_.Leave();
    if (!omitEnd_) object_.Fire_EndTransform();
    return S_OK;
}

void TransformFrame::ReleaseEdges() {
    HANDLE heap = GetProcessHeap();
    if (object_.LeftEdgeBuffer) HeapFree(heap, 0, object_.LeftEdgeBuffer);
    if (object_.RightEdgeBuffer) HeapFree(heap, 0, object_.RightEdgeBuffer);
    object_.LeftEdgeBuffer = nullptr;
    object_.RightEdgeBuffer = nullptr;
    object_.LeftEdgeLength = 0;
    object_.RightEdgeLength = 0;
}

void TransformFrame::PutBackSmoothSamples() {
    if (smoothSamplesKept_) object_.SmoothSamples = keptSmoothSamples_;
    smoothSamplesKept_ = false;
}

void TransformFrame::ReleaseArrays() {
    main_.Release();
    if (SAFEARRAY* unused = replacement_.array()) {
        // Never handed to the caller: the frame still owns it.
        replacement_.Release();
        SafeArrayDestroy(unused);
    }
    for (ArrayView& view : extra_) view.Release();
    extraUsed_ = 0;
}

}  // namespace qelv
