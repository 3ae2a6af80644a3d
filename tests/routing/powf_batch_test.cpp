#include "routing/powf_batch.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace tarvex {
namespace {

// Every stride-th bit pattern of a float, the section powers and a few others,
// against std::pow. TARVEX_POWF_STRIDE=1 checks every float (about a minute
// per exponent).
TEST(PowfBatch, EqualsStdPowBitForBitOverTheFloats) {
  if (powf_batch_lanes() == 1) GTEST_SKIP() << "no vector lanes on this machine: powf_batch is std::pow";
  const char* env = std::getenv("TARVEX_POWF_STRIDE");
  const uint64_t stride = env != nullptr ? std::max(1ull, std::strtoull(env, nullptr, 10)) : 4099;
  std::vector<float> x;
  for (uint64_t b = 0; b < (1ull << 32); b += stride) {
    const uint32_t u = static_cast<uint32_t>(b);
    float v;
    std::memcpy(&v, &u, sizeof v);
    x.push_back(v);
  }
  for (const float v : {0.0f, -0.0f, 1.0f, std::numeric_limits<float>::infinity(),
                        std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::max(), 1e-38f, 1e38f}) {
    x.push_back(v);
  }
  std::vector<float> got(x.size());
  for (const float y : {0.375f, 0.6666667f, 2.5f, -1.25f, 0.0f}) {
    powf_batch(x.data(), y, got.data(), static_cast<int32_t>(x.size()));
    int64_t differ = 0;
    for (std::size_t k = 0; k < x.size(); ++k) {
      const float want = std::pow(x[k], y);
      if (std::memcmp(&want, &got[k], sizeof want) != 0 && ++differ <= 3) {
        ADD_FAILURE() << "pow(" << x[k] << ", " << y << "): " << got[k] << " instead of " << want;
      }
    }
    EXPECT_EQ(differ, 0) << "y = " << y;
  }
}

// Lengths that leave a partial vector, and the result written over x.
TEST(PowfBatch, PartialVectorsAndInPlace) {
  for (int32_t n = 0; n <= 19; ++n) {
    std::vector<float> x(n + 1, -7.0f), want(n);
    for (int32_t k = 0; k < n; ++k) want[k] = std::pow(x[k] = 0.01f + 3.7f * k, 0.375f);
    powf_batch(x.data(), 0.375f, x.data(), n);
    EXPECT_EQ(std::memcmp(x.data(), want.data(), sizeof(float) * n), 0) << n;
    EXPECT_EQ(x[n], -7.0f) << "wrote past the end, n = " << n;
  }
}

}  // namespace
}  // namespace tarvex
