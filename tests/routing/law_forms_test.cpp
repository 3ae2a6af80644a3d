// Every vector form of the Muskingum-Cunge law against the scalar law, bit
// for bit, over values that span the routing's range on both sides of the
// raised diffusion number.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "laws/muskingum_cunge.hpp"
#include "routing/celerity.hpp"
#include "routing/muskingum_batch.hpp"

namespace tarvex {
namespace {

// 10^u for u uniform in [lo, hi), from a fixed sequence.
struct LogUniform {
  uint32_t x = 2463534242u;
  float operator()(float lo, float hi) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return std::pow(10.0f, lo + (hi - lo) * static_cast<float>(x >> 8) * 0x1p-24f);
  }
};

// The law itself, cell by cell.
void law(float Q, float ck, float W, float S, float L, float dt, float* C) {
  muskingum_coefficients(courant_number<double>(ck, dt, L), surface_diffusion_number<double>(Q, S, ck, W, L), C[0],
                         C[1], C[2], C[3]);
}

TEST(LawForms, SurfaceBatchAndPairsGiveTheScalarLawBitForBit) {
  constexpr int32_t n = 20011;  // leaves a partial vector
  LogUniform draw;
  std::vector<float> Q(n), ck(n), W(n), S(n), L(n);
  int32_t raised = 0;
  for (int32_t k = 0; k < n; ++k) {
    Q[k] = draw(-4.0f, 3.0f);
    ck[k] = draw(-4.0f, 1.0f);
    W[k] = draw(-2.0f, 2.0f);
    S[k] = draw(-4.0f, 0.0f);
    L[k] = k % 2 == 0 ? 100.0f : 141.42f;
    const double Cr = courant_number<double>(ck[k], 60.0f, L[k]);
    raised += diffusion_raised(Cr, surface_diffusion_number<double>(Q[k], S[k], ck[k], W[k], L[k])) ? 1 : 0;
  }
  ASSERT_GT(raised, n / 10);
  ASSERT_LT(raised, n - n / 10);

  std::vector<float> expect(4 * static_cast<std::size_t>(n));
  for (int32_t k = 0; k < n; ++k) law(Q[k], ck[k], W[k], S[k], L[k], 60.0f, &expect[4 * k]);

  for (bool vector : {true, false}) {
    std::vector<float> C(4 * static_cast<std::size_t>(n));
    muskingum_surface_batch(n, Q.data(), ck.data(), W.data(), S.data(), L.data(), 60.0f, &C[0], &C[n], &C[2 * n],
                            &C[3 * n], vector);
    int32_t differ = 0;
    for (int32_t k = 0; k < n; ++k) {
      for (int32_t j = 0; j < 4; ++j) differ += std::memcmp(&C[j * n + k], &expect[4 * k + j], sizeof(float)) != 0;
    }
    EXPECT_EQ(differ, 0) << (vector && muskingum_batch_vectorised() ? "lanes" : "cell by cell");
  }

  // The packed divisions of one cell, from the Courant and diffusion numbers.
  for (int32_t k = 0; k < n; ++k) {
    const double Cr = courant_number<double>(ck[k], 60.0f, L[k]);
    const double D = surface_diffusion_number<double>(Q[k], S[k], ck[k], W[k], L[k]);
    float C[4];
    muskingum_pairs(Cr, D, C);
    ASSERT_EQ(std::memcmp(C, &expect[4 * k], sizeof C), 0) << "cell " << k;
  }
}

}  // namespace
}  // namespace tarvex
