#include "routing/muskingum_batch.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace tarvex {
namespace {

// The lanes against the cell-by-cell form, bit for bit: cells on both sides
// of the raised diffusion number (Cr + D < 1), lengths that leave a partial
// vector, and nothing written past n.
TEST(MuskingumBatch, LanesGiveTheCellByCellCoefficients) {
  if (!muskingum_batch_vectorised()) GTEST_SKIP() << "no vector lanes on this machine";
  for (int32_t n : {1, 7, 8, 13, 40}) {
    std::vector<float> Q(n), ck(n), W(n), S(n), L(n);
    for (int32_t k = 0; k < n; ++k) {
      Q[k] = k % 3 == 0 ? 0.0001f : 0.37f * static_cast<float>(k * k + 1);
      ck[k] = 0.05f + 0.31f * static_cast<float>(k % 7);
      W[k] = 0.2f + 1.7f * static_cast<float>(k % 5);
      S[k] = 0.001f + 0.013f * static_cast<float>(k % 4);
      L[k] = k % 2 == 0 ? 100.0f : 141.42f;
    }
    std::vector<float> lanes(4 * (n + 1), -9.0f), cells(4 * (n + 1), -9.0f);
    const auto run = [&](std::vector<float>& C, bool vector) {
      muskingum_surface_batch(n, Q.data(), ck.data(), W.data(), S.data(), L.data(), 60.0f, &C[0], &C[n + 1],
                              &C[2 * (n + 1)], &C[3 * (n + 1)], vector);
    };
    run(lanes, true);
    run(cells, false);
    EXPECT_EQ(std::memcmp(lanes.data(), cells.data(), sizeof(float) * lanes.size()), 0) << "n = " << n;
    for (int32_t j = 0; j < 4; ++j) EXPECT_EQ(lanes[j * (n + 1) + n], -9.0f) << "wrote past n = " << n;
  }
}

}  // namespace
}  // namespace tarvex
