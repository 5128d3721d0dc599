// The tool's handler of the transform object's events (_ISonalter2Events):
// progress from TransformBlock, completion from EndTransform, and the place
// where a pending Ctrl-C turns into CancelTransform while a method runs. The
// dispatch side is the container library's generic event sink.
#pragma once

#include <functional>

#include "EventSink.h"

namespace sonalter {

class Progress;

class TransformEvents {
public:
    //   [in] progress  receives the events; must outlive this object
    //   [in] cancel    called once per method when Ctrl-C is pending; returns true
    //                  when the component accepted the cancel
    TransformEvents(Progress& progress, std::function<bool()> cancel);
    // Disconnects from the object and releases the sink.
    ~TransformEvents();
    TransformEvents(const TransformEvents&) = delete;
    TransformEvents& operator=(const TransformEvents&) = delete;

    // Connects to the object's event source. False when it offers none: the
    // tool then runs without progress bar and stops only between methods on
    // Ctrl-C.
    bool Connect(IUnknown* object);

    // Starts counting for the next method: no cancel sent yet.
    void Reset() { cancelSent_ = false; }
    // True when CancelTransform was called during the current method.
    bool CancelSent() const { return cancelSent_; }

    // One event as it arrives.
    void OnEvent(DISPID id, const controlsite::EventArguments& args);

private:
    Progress& progress_;
    std::function<bool()> cancel_;
    bool cancelSent_ = false;
    controlsite::EventSink* sink_;
};

}  // namespace sonalter
