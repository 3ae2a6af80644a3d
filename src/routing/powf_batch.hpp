#pragma once
// x to a fixed power for many x at once, bit for bit what std::pow(float,
// float) returns on this machine. On x86-64 with the GNU C library, which
// runs its FMA powf on CPUs with AVX2 and FMA, the same arithmetic runs eight
// values at a time in vector lanes where the CPU also has AVX-512; anywhere
// else, and for every value off the fast path (x not a positive normal
// number, a result that over- or underflows), std::pow itself.
#include <cstdint>

namespace tarvex {

// out[k] = std::pow(x[k], y) for k in [0, n); out may alias x. vector off:
// std::pow itself (the tests compare both).
void powf_batch(const float* x, float y, float* out, int32_t n, bool vector = true);

// Values powf_batch takes at a time: 8 (AVX-512) or 1 (std::pow, when the
// CPU or C library is another or the lanes failed a check against std::pow
// at first use).
int32_t powf_batch_lanes();

}  // namespace tarvex
