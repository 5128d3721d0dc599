#include "Progress.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace sonalter {

namespace {
constexpr int kBarWidth = 30;
constexpr size_t kLabelWidth = 24;
constexpr auto kRedrawInterval = std::chrono::milliseconds(50);
}  // namespace

bool StderrIsTerminal() {
    const char* term = std::getenv("TERM");
    return isatty(STDERR_FILENO) && !(term && std::strcmp(term, "dumb") == 0);
}

Progress::Progress(bool enabled) : enabled_(enabled) {}

void Progress::Begin(const std::string& label) {
    label_ = label.size() > kLabelWidth ? label.substr(0, kLabelWidth - 3) + "..." : label;
    shown_ = -1;
    lastPercent_ = -1;
    lastDraw_ = std::chrono::steady_clock::now() - kRedrawInterval;
    Draw(0);
}

void Progress::Update(long percent) {
    lastPercent_ = percent;
    Draw(static_cast<int>(std::clamp<long>(percent, 0, 100)));
}

void Progress::Complete() { Draw(100); }

void Progress::Close() {
    if (!enabled_ || !drawn_) return;
    std::fputs("\r\033[K", stderr);  // carriage return, erase to the end of the line
    std::fflush(stderr);
    drawn_ = false;
}

void Progress::Draw(int shown) {
    if (!enabled_ || shown == shown_) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastDraw_ < kRedrawInterval) return;
    lastDraw_ = now;
    shown_ = shown;
    const int filled = shown * kBarWidth / 100;
    char bar[kBarWidth + 1];
    std::memset(bar, '#', static_cast<size_t>(filled));
    std::memset(bar + filled, '.', static_cast<size_t>(kBarWidth - filled));
    bar[kBarWidth] = '\0';
    std::fprintf(stderr, "\r%-*s [%s] %3d%%", static_cast<int>(kLabelWidth), label_.c_str(), bar, shown);
    std::fflush(stderr);
    drawn_ = true;
}

}  // namespace sonalter
