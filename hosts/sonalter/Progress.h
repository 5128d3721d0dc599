// A progress bar on stderr for the method that is running, fed by the
// component's TransformBlock events. Drawn only when stderr is a terminal and
// -q is not given; otherwise every call does nothing.
#pragma once

#include <chrono>
#include <string>

namespace sonalter {

class Progress {
public:
    // [in] enabled  draw at all (stderr is a terminal and not quiet)
    explicit Progress(bool enabled);

    // Begin: a new bar for the method named label, at 0 %.
    void Begin(const std::string& label);
    // Update: the percent of a TransformBlock event. Methods that loop over half
    // the array stop near 50 and some go past 100, so the bar is clamped to
    // 0 .. 100; it is redrawn at most every 50 ms so fast methods do not flood
    // the terminal.
    void Update(long percent);
    // Complete: EndTransform arrived; the bar shows 100 %.
    void Complete();
    // Close: clears the bar's line so that the next output starts clean.
    void Close();

    bool Enabled() const { return enabled_; }
    // The last percent reported by the component, -1 when none came.
    long LastPercent() const { return lastPercent_; }

private:
    void Draw(int shown);

    bool enabled_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
    int shown_ = -1;
    long lastPercent_ = -1;
    std::string label_;
};

// StderrIsTerminal
//   RETURNS true when standard error is a terminal (and TERM is not "dumb").
bool StderrIsTerminal();

}  // namespace sonalter
