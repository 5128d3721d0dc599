// The transform frame: the steps every transform method runs around its kernel.
//
//   1. the method's own parameter checks (before the frame is opened);
//   2. the cancel flag is cleared (constructor);
//   3. the sample array is checked and locked (Open);
//   4. the smoothing properties are switched off for a too-short array;
//   5. the head and tail are saved (EdgeMode::Blend);
//   6. the work loop with the cancel test and progress events (Run);
//   7. the edges are cross-faded back, 8. the properties put back,
//   9. EndTransform fired, 10. success returned (Finish).
// Leaving without Finish (an error or a cancel) releases every buffer and lock
// and puts the properties back, and fires nothing.
//
// The frame computes under its own floating-point settings (FloatEnvironment) and
// gives the host its own back while an event handler runs and when it ends.
//
// Run hands the kernel whole stretches between two progress points instead of
// single samples. That is equivalent to testing after every sample: the cancel
// flag can only be set by a host's event handler, so after each event the frame
// checks the flag and, when set, runs exactly one more iteration before leaving.
#pragma once

#include <cstddef>
#include <cstdint>

#include "transform/FloatEnvironment.h"
#include "transform/Sonalter2.h"

namespace qelv {

// How a method uses edge smoothing.
enum class EdgeMode {
    Blend,       // save the head and tail and cross-fade them back
    SwitchOnly,  // only switch the properties off for a short array and put them back
    None,        // leave the smoothing properties alone
};

// A locked view of a one-dimensional safe array of 16-bit samples or 32-bit floats.
class ArrayView {
public:
    ArrayView() = default;
    ~ArrayView() { Release(); }
    ArrayView(const ArrayView&) = delete;
    ArrayView& operator=(const ArrayView&) = delete;

    // Locks the array and reads its length. Refuses null arrays, failing bound
    // queries, more than one dimension, a lower bound other than 0 and elements
    // of another size. Returns false on refusal, with nothing locked.
    bool Attach(SAFEARRAY* array, UINT elementSize);
    void Release();

    std::size_t size() const { return size_; }
    std::int16_t* samples() const { return static_cast<std::int16_t*>(data_); }
    float* floats() const { return static_cast<float*>(data_); }

private:
    SAFEARRAY* array_ = nullptr;
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

class TransformFrame {
public:
    TransformFrame(CSonalter2& object, EdgeMode mode);
    ~TransformFrame();
    TransformFrame(const TransformFrame&) = delete;
    TransformFrame& operator=(const TransformFrame&) = delete;

    // Step 3 to 5 on the array the method works on; minLength is 2 for every
    // method but DuplicateArray. Returns S_OK or the ReportError status.
    HRESULT Open(SAFEARRAY** array, std::size_t minLength = 2);

    // Checks and locks a further input array (the second array of the two-input
    // methods, or a float array). Returns S_OK or the ReportError status.
    HRESULT OpenInput(SAFEARRAY** array, ArrayView& view, UINT elementSize, std::size_t minLength = 2);

    // Creates the result array of count elements of vt (VT_I2 or VT_R4), hands it
    // to *result at once (so a cancelled call still returns it) and locks it.
    HRESULT CreateResult(VARTYPE vt, std::size_t count, SAFEARRAY** result, ArrayView& view);

    std::int16_t* data() const { return main_.samples(); }
    std::size_t size() const { return main_.size(); }

    // Step 6. Runs count iterations; iteration k has loop index first + k * stride,
    // and a progress event comes after each iteration whose loop index is a
    // multiple of ProgressStep = progressBase / 100. work(kBegin, kEnd) does the
    // iterations [kBegin, kEnd). Returns false when the host cancelled.
    template <class Work>
    bool Run(std::size_t count, std::size_t progressBase, std::size_t first, std::size_t stride, Work&& work);
    // The common case: loop index k, progress step n / 100.
    template <class Work>
    bool Run(std::size_t count, Work&& work) {
        return Run(count, size(), 0, 1, static_cast<Work&&>(work));
    }

    // Steps 7 to 10.
    HRESULT Finish();

private:
    // Smallest iteration >= k whose loop index is a multiple of step; count if none.
    std::size_t NextEventIteration(std::size_t k, std::size_t count, std::size_t first, std::size_t stride,
                                   std::size_t step);
    void ReleaseEdges();
    void ReleaseArrays();

    // First member: the settings are in place before anything else is built and
    // are put back after everything else is torn down.
    FloatEnvironment environment_;
    CSonalter2& object_;
    EdgeMode mode_;
    ArrayView main_;
    ArrayView* extra_[3] = {};
    bool propertiesKept_ = false;
    VARIANT_BOOL keptLeft_ = VARIANT_FALSE;
    VARIANT_BOOL keptRight_ = VARIANT_FALSE;
    // Event schedule of the current Run: first event iteration and period.
    std::size_t scheduleStep_ = 0;
    std::size_t firstEvent_ = 0;
    std::size_t eventPeriod_ = 0;
};

template <class Work>
bool TransformFrame::Run(std::size_t count, std::size_t progressBase, std::size_t first, std::size_t stride,
                         Work&& work) {
    std::size_t k = 0;
    while (k < count) {
        if (!object_.TBEventEnabled) {
            // With events off no host code runs, so nothing can ask for a cancel.
            work(k, count);
            return true;
        }
        const std::size_t step = progressBase / 100;
        object_.ProgressStep = static_cast<LONG>(step);
        const std::size_t e = step == 0 ? count : NextEventIteration(k, count, first, stride, step);
        if (e >= count) {
            work(k, count);
            return true;
        }
        work(k, e + 1);
        if (object_.CancelRequested) return false;
        environment_.Leave();
        object_.Fire_TransformBlock(static_cast<LONG>((first + e * stride) / step));
        environment_.Enter();
        k = e + 1;
        if (object_.CancelRequested && k < count) {
            // The flag is seen after the work of the next iteration.
            work(k, k + 1);
            return false;
        }
    }
    return true;
}

}  // namespace qelv
