// The continuous store's laws in vector lanes (SSE, and AVX-512 where the CPU
// has it) against the same laws on floats, bit for bit, over values that
// cross every clamp: stores emptied by a deficit, overflowing soils, runoff
// above the overflow.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

// GCC only: clang refuses vector values of 512 bits passed to the laws'
// templates outside AVX-512 functions (it checks the call before inlining);
// a clang build computes cell by cell, bit for bit the same.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#include <immintrin.h>
#define TARVEX_TEST_LANES 1
#pragma GCC diagnostic ignored "-Wpsabi"
#else
#define TARVEX_TEST_LANES 0
#endif

#include "laws/continuous_store.hpp"

namespace tarvex {
namespace {

constexpr int32_t kOut = 7;  // results per cell

// Inputs of one cell: store, recharge, decay, deficit, soil water, soil and
// subsurface capacities, evapotranspiration.
struct Inputs {
  std::vector<float> q, r, g, D, W, cap, scap, E;
  explicit Inputs(int32_t n) : q(n), r(n), g(n), D(n), W(n), cap(n), scap(n), E(n) {
    uint32_t x = 88172645u;
    const auto u = [&x] {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      return static_cast<float>(x >> 8) * 0x1p-24f;
    };
    for (int32_t k = 0; k < n; ++k) {
      q[k] = k % 5 == 0 ? 0.0f : 200.0f * u();
      r[k] = k % 3 == 0 ? 0.0f : 0.01f * u();
      g[k] = 1e-6f + 1e-3f * u();
      D[k] = k % 4 == 0 ? 0.0f : 0.05f * u();
      W[k] = 300.0f * u();
      cap[k] = 1.0f + 150.0f * u();
      scap[k] = 1.0f + 400.0f * u();
      E[k] = 2.0f * u() * (k % 7 == 0 ? 200.0f : 1.0f);
    }
  }
};

// Every law of the store on V, lanes at a time; load(p) reads lanes values.
template <class V, class Load>
void laws(const Inputs& in, int32_t k, Load load, V (&out)[kOut]) {
  const SoilFill<V> fill = soil_fill(load(&in.W[k]), load(&in.cap[k]));
  const StoreStep<V> step = store_stages(load(&in.q[k]), load(&in.r[k]), load(&in.g[k]), load(&in.D[k]), 3600.0f);
  const SoilWithdrawal<V> left = soil_withdraw(fill.water, load(&in.E[k]), 3600.0f);
  out[0] = fill.water;
  out[1] = fill.overflow;
  out[2] = store_runoff(step.mean, fill.overflow, load(&in.scap[k]));
  out[3] = store_outflow(1.0f / 86400.0f, step.mean, 100.0f, 100.0f);
  out[4] = store_capped(step.q, load(&in.scap[k]));
  out[5] = left.water;
  out[6] = left.deficit + store_decay(1.0f / 86400.0f, store_recharge(fill.overflow, 3600.0f), load(&in.scap[k]));
}

constexpr int32_t kCells = 4096;

std::vector<float> scalar_laws(const Inputs& in) {
  std::vector<float> res(static_cast<std::size_t>(kCells) * kOut);
  for (int32_t k = 0; k < kCells; ++k) {
    float o[kOut];
    laws<float>(in, k, [](const float* p) { return *p; }, o);
    for (int32_t j = 0; j < kOut; ++j) res[static_cast<std::size_t>(j) * kCells + k] = o[j];
  }
  return res;
}

#if TARVEX_TEST_LANES
std::vector<float> sse_laws(const Inputs& in) {
  std::vector<float> res(static_cast<std::size_t>(kCells) * kOut);
  for (int32_t k = 0; k < kCells; k += 4) {
    __m128 o[kOut];
    laws<__m128>(in, k, [](const float* p) { return _mm_loadu_ps(p); }, o);
    for (int32_t j = 0; j < kOut; ++j) _mm_storeu_ps(&res[static_cast<std::size_t>(j) * kCells + k], o[j]);
  }
  return res;
}

__attribute__((target("avx512f"))) std::vector<float> avx512_laws(const Inputs& in) {
  std::vector<float> res(static_cast<std::size_t>(kCells) * kOut);
  for (int32_t k = 0; k < kCells; k += 16) {
    __m512 o[kOut];
    laws<__m512>(in, k, [](const float* p) __attribute__((target("avx512f"))) { return _mm512_loadu_ps(p); }, o);
    for (int32_t j = 0; j < kOut; ++j) _mm512_storeu_ps(&res[static_cast<std::size_t>(j) * kCells + k], o[j]);
  }
  return res;
}
#endif

TEST(StoreLawForms, LanesGiveTheScalarLawsBitForBit) {
  const Inputs in(kCells);
  const std::vector<float> expect = scalar_laws(in);
  // The values reach every branch.
  int32_t emptied = 0, overflowing = 0, dry_soil = 0;
  for (int32_t k = 0; k < kCells; ++k) {
    overflowing += expect[static_cast<std::size_t>(kCells) + k] > 0.0f;
    dry_soil += expect[5 * static_cast<std::size_t>(kCells) + k] == 0.0f;
    emptied += expect[4 * static_cast<std::size_t>(kCells) + k] == 0.0f && in.q[k] > 0.0f;
  }
  EXPECT_GT(overflowing, kCells / 10);
  EXPECT_GT(dry_soil, kCells / 20);
  EXPECT_GT(emptied, 0);
#if TARVEX_TEST_LANES
  const std::vector<float> sse = sse_laws(in);
  EXPECT_EQ(std::memcmp(sse.data(), expect.data(), sizeof(float) * expect.size()), 0) << "SSE lanes";
  if (__builtin_cpu_supports("avx512f")) {
    const std::vector<float> wide = avx512_laws(in);
    EXPECT_EQ(std::memcmp(wide.data(), expect.data(), sizeof(float) * expect.size()), 0) << "AVX-512 lanes";
  }
#endif
}

}  // namespace
}  // namespace tarvex
