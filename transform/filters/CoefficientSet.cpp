// The object's coefficient set: the one place that writes it.
#include "transform/Sonalter2.h"

namespace qelv {

dsp::Biquad CSonalter2::ComputeBiquadCoefficients(LONG type, FLOAT dbGain, FLOAT Frequency, FLOAT Steepness) {
    const dsp::Biquad s = dsp::DesignBiquad(type, dbGain, Frequency, Steepness, ArrayFrequency);
    Coefficients[0] = s.a0;
    Coefficients[1] = s.a1;
    Coefficients[2] = s.a2;
    Coefficients[3] = s.b0;
    Coefficients[4] = s.b1;
    Coefficients[5] = s.b2;
    return s;
}

}  // namespace qelv
