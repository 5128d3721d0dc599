#include "transform/dsp/SineWindow.h"

#include <numbers>

#include "transform/dsp/Sine.h"

namespace qelv::dsp {

void FillSineWindow(float* w, std::size_t N) {
    // The platform-independent sine, so both targets fill the same window.
    for (std::size_t k = 0; k < N; ++k) {
        w[k] = static_cast<float>(Sine(static_cast<double>(k) * std::numbers::pi / static_cast<double>(N)));
    }
}

}  // namespace qelv::dsp
