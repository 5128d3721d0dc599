#include "PerChannel.h"

#include "Activation.h"
#include "Component.h"
#include "Errors.h"
#include "TransformEvents.h"
#include "Progress.h"
#include "Runner.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>

namespace sonalter {

namespace {

// Frames moved per step: the memory held twice at any time while splitting or joining.
constexpr size_t kStepBytes = size_t{4} << 20;

}  // namespace

std::vector<ArrayOwner> SplitChannels(ArrayOwner& whole, int channels) {
    const size_t n = static_cast<size_t>(channels);
    const size_t frames = ElementCount(whole.get()) / n;
    std::vector<ArrayOwner> parts(n);
    for (ArrayOwner& part : parts) part = NewShortArray(frames);  // no memory until written
    const size_t step = std::max<size_t>(1, kStepBytes / sizeof(SHORT) / n);
    // From the back, a step at a time, giving each step's pages of the whole back
    // as soon as they are copied: the whole shrinks while the parts grow.
    for (size_t end = frames; end > 0;) {
        const size_t begin = end > step ? end - step : 0;
        {
            const SampleElements all(whole.get());
            const SHORT* data = all.Span().data();
            for (size_t c = 0; c < n; ++c) {
                const SampleElements part(parts[c].get());
                SHORT* out = part.Span().data();
                for (size_t i = begin; i < end; ++i) out[i] = data[i * n + c];
            }
        }
        ReleaseElements(whole.get(), begin * n, ElementCount(whole.get()));
        end = begin;
    }
    whole.reset();
    return parts;
}

ArrayOwner JoinChannels(std::vector<ArrayOwner>& parts) {
    const size_t n = parts.size();
    std::vector<size_t> lengths(n);
    for (size_t c = 0; c < n; ++c) lengths[c] = ElementCount(parts[c].get());
    const size_t frames = *std::max_element(lengths.begin(), lengths.end());
    ArrayOwner joined = NewShortArray(frames * n);  // zero: a shorter channel ends in silence
    const size_t step = std::max<size_t>(1, kStepBytes / sizeof(SHORT) / n);
    // From the front, a step at a time, giving each step's pages of the parts
    // back as soon as they are copied.
    for (size_t begin = 0; begin < frames; begin += step) {
        const size_t end = std::min(frames, begin + step);
        {
            const SampleElements all(joined.get());
            SHORT* data = all.Span().data();
            for (size_t c = 0; c < n; ++c) {
                const SampleElements part(parts[c].get());
                const SHORT* in = part.Span().data();
                const size_t stop = std::min(end, lengths[c]);
                for (size_t i = begin; i < stop; ++i) data[i * n + c] = in[i];
            }
        }
        for (size_t c = 0; c < n; ++c) ReleaseElements(parts[c].get(), 0, std::min(end, lengths[c]));
    }
    for (ArrayOwner& part : parts) part.reset();
    return joined;
}

void RunPerChannel(const std::vector<PreparedCall>& calls, ArrayOwner& samples, int channels,
                   const PerChannelRun& run, CsvOutput& csv) {
    std::vector<ArrayOwner> parts = SplitChannels(samples, channels);
    const size_t n = parts.size();
    std::vector<CsvOutput> results(n);
    std::vector<std::exception_ptr> errors(n);
    std::atomic<bool> stop{false};
    std::mutex activation;  // objects are created one at a time; they then run freely

    auto work = [&](size_t c) {
        try {
            Apartment apartment;
            std::unique_ptr<Component> component;
            {
                std::lock_guard<std::mutex> guard(activation);
                component = std::make_unique<Component>(ActivateTransformObject(), *run.members);
            }
            if (run.configure) run.configure(*component);
            Progress progress(run.progress && c == 0);
            Component* object = component.get();
            TransformEvents events(progress, [object] { return object->Cancel(); });
            events.Connect(component->Object());
            ChainRunner runner(*component, progress, events, results[c], run.rate, run.verbose, run.quiet);
            runner.SetChannels(1);
            runner.StopWhen(&stop);
            int layout = 1;
            runner.Run(calls, parts[c], layout, static_cast<int>(c) + 1, static_cast<int>(n));
        } catch (const ChainRunner::Stopped&) {
            // Another channel failed; its error is the one to report.
        } catch (...) {
            errors[c] = std::current_exception();
            stop = true;
        }
    };
    std::vector<std::thread> threads;
    threads.reserve(n);
    try {
        for (size_t c = 0; c < n; ++c) threads.emplace_back(work, c);
    } catch (const std::system_error&) {
        stop = true;
        for (std::thread& t : threads) t.join();
        throw Failure("cannot start a thread for each of the " + std::to_string(n) + " channels");
    }
    for (std::thread& t : threads) t.join();
    for (const std::exception_ptr& e : errors) {
        if (e) std::rethrow_exception(e);
    }
    for (const CsvOutput& r : results) csv.Append(r);
    samples = JoinChannels(parts);
}

}  // namespace sonalter
