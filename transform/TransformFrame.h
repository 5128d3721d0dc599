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
// Ownership: the frame owns every array view it locks (the main array, further
// inputs, created results) and every heap block it allocates, and releases them
// all when it is finished or destroyed. A method never holds a view of its own:
// ArrayView can only be made by the frame, and OpenInput/CreateResult hand out
// pointers to views inside the frame, which outlive every local of the method.
//
// Most methods are one call: RunFrame opens the array, runs the method's body
// (its kernel with the loop index and progress step it needs) and concludes by
// the body's Outcome; TransformEachSample is the in-place, per-sample shape.
// Methods that depart from the common shape (block-wise progress, no cancel test,
// replaced arrays, edges that depend on the method's parameters) use the
// lower-level steps inside the body.
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
    Deferred,    // Open only checks and locks the array; the body calls SaveEdges
};

// How a method's body ended: ran to its end, cancelled by the host, or failed
// with a status already reported through ReportError.
class Outcome {
public:
    // From the result of TransformFrame::Run: true when it ran to the end.
    Outcome(bool finished) : kind_(finished ? Kind::Finished : Kind::Cancelled) {}  // NOLINT: implicit on purpose
    static Outcome Failed(HRESULT status) { return Outcome(Kind::Failed, status); }

    bool finished() const { return kind_ == Kind::Finished; }
    bool failed() const { return kind_ == Kind::Failed; }
    HRESULT status() const { return status_; }

private:
    enum class Kind { Finished, Cancelled, Failed };
    Outcome(Kind kind, HRESULT status) : kind_(kind), status_(status) {}
    Kind kind_;
    HRESULT status_ = S_OK;
};

// A locked view of a one-dimensional safe array of 16-bit samples or 32-bit floats.
// Only the frame makes them, so that every lock has one owner that outlives the
// method's locals.
class ArrayView {
public:
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
    SAFEARRAY* array() const { return array_; }

private:
    friend class TransformFrame;
    ArrayView() = default;

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
    // methods, or a float array) in a view that the frame owns; *view points to it
    // until the frame ends. Returns S_OK or the ReportError status.
    HRESULT OpenInput(SAFEARRAY** array, UINT elementSize, std::size_t minLength, const ArrayView** view);

    // Creates the result array of count elements of vt (VT_I2 or VT_R4), hands it
    // to *result at once (so a cancelled call still returns it) and locks it in a
    // view that the frame owns. Returns S_OK or the ReportError status.
    HRESULT CreateResult(VARTYPE vt, std::size_t count, SAFEARRAY** result, const ArrayView** view);

    // Steps 4 and 5 for EdgeMode::Deferred, for methods whose edges depend on
    // their parameters: SmoothSamples is raised to at least minimumEdge for the
    // rest of the call (and gets its value back when the frame ends, on every
    // path), and the head is saved from entry leftStart on, over the n - leftStart
    // entries that follow; the entries before leftStart are neither saved nor
    // blended. Returns S_OK or the ReportError status.
    HRESULT SaveEdges(long long minimumEdge, std::size_t leftStart);

    // For a method that replaces the caller's array by a new one of another
    // length (Resample). CreateReplacement creates the new array of count
    // elements of vt and locks it in a view that the frame owns; until
    // ReplaceMain the frame owns the array too and destroys it on every way out.
    // ReplaceMain releases the lock on the caller's array, destroys it, hands the
    // new array to the caller's pointer and makes it the main array, so that
    // Finish cross-fades the saved edges into it, each edge limited to half of
    // the new length. Both return S_OK or the ReportError status (-20); on
    // failure the caller's array is left as it was.
    HRESULT CreateReplacement(VARTYPE vt, std::size_t count, const ArrayView** view);
    HRESULT ReplaceMain();

    // A method that fires no EndTransform on success calls this before Finish.
    void OmitEndTransform() { omitEnd_ = true; }

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

    // The method's return: Finish for a finished body, S_OK for a cancelled one
    // (the destructor then releases everything), the status of a failed one.
    HRESULT Conclude(const Outcome& outcome) {
        if (outcome.failed()) return outcome.status();
        return outcome.finished() ? Finish() : S_OK;
    }

    // For the methods that shorten the array in place (the trims, DeleteSilence).
    // MainResizable: whether the platform would resize the main array once the
    // frame's own lock is released (not locked by the caller, not fixed in size,
    // data owned by the array). ResizeMain: releases the frame's lock, resizes the
    // array to count elements (lower bound 0, the first count samples kept) and
    // locks it again; data() and size() then describe the resized array, whose
    // data block may have moved. Returns S_OK or the ReportError status.
    bool MainResizable() const;
    HRESULT ResizeMain(std::size_t count);

    // Runs call() with the main array unlocked and the host's floating-point
    // settings in place, for a method that calls another method of the object
    // through its interface (whose events reach the host), then locks the array
    // again. Returns S_OK or, when the array can no longer be locked, the
    // ReportError status.
    template <class Call>
    HRESULT CallOut(Call&& call) {
        SAFEARRAY* array = main_.array();
        main_.Release();
        environment_.Leave();
        call();
        environment_.Enter();
        return Relock(array);
    }

    // For methods with their own progress schedule (block-wise methods): fires
    // TransformBlock with the host's floating-point settings in place. Whether
    // TBEventEnabled gates it is the method's decision.
    void FireProgress(LONG percent);
    bool CancelRequested() const { return object_.CancelRequested != 0; }
    CSonalter2& object() const { return object_; }

private:
    // Smallest iteration >= k whose loop index is a multiple of step; count if none.
    std::size_t NextEventIteration(std::size_t k, std::size_t count, std::size_t first, std::size_t stride,
                                   std::size_t step);
    HRESULT KeepAndSaveEdges();
    HRESULT Relock(SAFEARRAY* array);
    void ReleaseEdges();
    void ReleaseArrays();
    void PutBackSmoothSamples();

    // First member: the settings are in place before anything else is built and
    // are put back after everything else is torn down.
    FloatEnvironment environment_;
    CSonalter2& object_;
    EdgeMode mode_;
    ArrayView main_;
    SAFEARRAY** mainSlot_ = nullptr;
    ArrayView replacement_;
    ArrayView extra_[3];
    std::size_t extraUsed_ = 0;
    bool propertiesKept_ = false;
    bool omitEnd_ = false;
    VARIANT_BOOL keptLeft_ = VARIANT_FALSE;
    VARIANT_BOOL keptRight_ = VARIANT_FALSE;
    // Head saved from this entry on (SaveEdges); 0 for every other method.
    std::size_t leftStart_ = 0;
    bool smoothSamplesKept_ = false;
    LONG keptSmoothSamples_ = 0;
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
        FireProgress(static_cast<LONG>((first + e * stride) / step));
        k = e + 1;
        if (object_.CancelRequested && k < count) {
            // The flag is seen after the work of the next iteration.
            work(k, k + 1);
            return false;
        }
    }
    return true;
}

// Opens the method's sample array in a frame, runs body(frame) -> Outcome and
// concludes. minLength is 2 for every method but DuplicateArray.
template <class Body>
HRESULT RunFrame(CSonalter2& object, EdgeMode mode, SAFEARRAY** array, Body&& body, std::size_t minLength = 2) {
    TransformFrame frame(object, mode);
    if (HRESULT hr = frame.Open(array, minLength); FAILED(hr)) return hr;
    return frame.Conclude(body(frame));
}

// The in-place shape with full edge smoothing: kernel(samples, begin, end) over
// loop index k = sample index, progress step n / 100.
template <class Kernel>
HRESULT TransformEachSample(CSonalter2& object, SAFEARRAY** array, Kernel&& kernel) {
    return RunFrame(object, EdgeMode::Blend, array, [&kernel](TransformFrame& frame) -> Outcome {
        std::int16_t* a = frame.data();
        return frame.Run(frame.size(), [a, &kernel](std::size_t b, std::size_t e) { kernel(a, b, e); });
    });
}

}  // namespace qelv
