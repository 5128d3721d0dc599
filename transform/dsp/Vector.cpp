#include "transform/dsp/Vector.h"

namespace qelv::dsp::vec {

bool HasWide() {
#if defined(__x86_64__) || defined(_M_X64)
    static const bool wide = __builtin_cpu_supports("avx2");
    return wide;
#else
    return false;
#endif
}

}  // namespace qelv::dsp::vec
