#include "TransformEvents.h"

#include "Interrupt.h"
#include "Progress.h"

namespace sonalter {

namespace {
// DISPIDs of the event interface, as its description declares them.
constexpr DISPID kTransformBlock = 1;
constexpr DISPID kEndTransform = 2;
}  // namespace

TransformEvents::TransformEvents(Progress& progress, std::function<bool()> cancel)
    : progress_(progress),
      cancel_(std::move(cancel)),
      sink_(controlsite::EventSink::Create(
          DIID__ISonalter2Events, [this](DISPID id, const controlsite::EventArguments& args) { OnEvent(id, args); })) {}

TransformEvents::~TransformEvents() {
    if (!sink_) return;
    sink_->Disconnect();
    sink_->Release();
}

bool TransformEvents::Connect(IUnknown* object) { return sink_ && SUCCEEDED(sink_->Connect(object)); }

void TransformEvents::OnEvent(DISPID id, const controlsite::EventArguments& args) {
    if (id == kTransformBlock) {
        // A percentage that is missing or does not convert moves nothing.
        const LONG percent = args.Long(0, -1);
        if (percent >= 0) progress_.Update(percent);
        // The transform runs on this thread, so this handler is the only place a
        // Ctrl-C can reach a running method.
        if (InterruptRequested() && !cancelSent_ && cancel_) cancelSent_ = cancel_();
    } else if (id == kEndTransform) {
        progress_.Complete();
    }
}

}  // namespace sonalter
