// Evapotranspiration of many cells at once: step_depths against step_depth,
// bit for bit. TARVEX_ET_STRIDE sets the step through the float bit patterns
// of T (1 = all of them).
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sim_state.hpp"
#include "simulation/continuous.hpp"

namespace tarvex {
namespace {

struct Month {
  float DT_SIM, DT_RAIN;
  int32_t days;
  float slope, b, a, offset;
};

MonthlyEt month_et(const Month& c) {
  static const auto s = test::sim_state(1, 1);
  s->params.DT_SIM = c.DT_SIM;
  s->forcing.DT_RAIN = c.DT_RAIN;
  s->plan_steps();
  s->forcing.DAYS_IN_MONTH(1) = c.days;
  s->forcing.ET_SLOPE = c.slope;
  s->forcing.ET_MONTH_B(1) = c.b;
  s->forcing.ET_MONTH_A(1) = c.a;
  s->forcing.ET_OFFSET = c.offset;
  return MonthlyEt(*s, 1);
}

uint64_t stride() {
  const char* v = std::getenv("TARVEX_ET_STRIDE");
  const uint64_t n = v ? std::strtoull(v, nullptr, 10) : 0;
  return n > 0 ? n : 2053;
}

// Runs T through step_depths in blocks of 1 to 131 values and counts the
// values that differ from step_depth in any bit (first few reported).
struct Checker {
  const MonthlyEt& et;
  std::vector<float> T, E;
  uint64_t checked = 0, mismatches = 0, slow = 0;
  int32_t block = 1;

  void add(float t) {
    T.push_back(t);
    if (static_cast<int32_t>(T.size()) == block) flush();
  }
  void flush() {
    E.assign(T.size(), 0.0f);
    slow += et.step_depths(T.data(), E.data(), static_cast<int32_t>(T.size()));
    for (size_t k = 0; k < T.size(); ++k) {
      const float want = et.step_depth(T[k]);
      if (std::bit_cast<uint32_t>(E[k]) != std::bit_cast<uint32_t>(want) && ++mismatches <= 5)
        ADD_FAILURE() << "T bits " << std::hex << std::bit_cast<uint32_t>(T[k]) << ": got "
                      << std::bit_cast<uint32_t>(E[k]) << ", want " << std::bit_cast<uint32_t>(want);
    }
    checked += T.size();
    T.clear();
    block = block % 131 + 1;
  }
};

TEST(MonthlyEtBatch, MatchesStepDepthOverFloatBitPatterns) {
  const Month months[] = {
      {3600.0f, 3600.0f, 31, 0.46f, 1.0f, 31.0f * 0.22f, 8.0f},  // the benchmark's January
      {7.0f, 7.0f, 31, -1.3f, 0.8f, 2.5f, 0.7f},                 // records_in_month not a double
      {5.0f, 7.0f, 28, 0.37f, -1.1f, 0.93f, -2.9f},
      {900.0f, 3600.0f, 30, 1e-20f, 1e-20f, 3.0f, 0.0f},  // subnormal results
      {60.0f, 1e-30f, 30, 3e38f, 1e-30f, -7.0f, 1e30f},   // huge records_in_month, cancellation
      {3600.0f, 3600.0f, 0, 0.46f, 1.0f, 7.0f, 8.0f},     // no days: division by 0
      {3600.0f, 0.0f, 31, 0.46f, 1.0f, 7.0f, 8.0f},       // infinite records_in_month
  };
  const uint64_t step = stride();
  for (size_t i = 0; i < std::size(months); ++i) {
    const MonthlyEt et = month_et(months[i]);
    Checker c{et, {}, {}};
    for (uint64_t u = i * 977 % step; u <= 0xffffffffu; u += step) c.add(std::bit_cast<float>(static_cast<uint32_t>(u)));
    c.flush();
    EXPECT_EQ(c.mismatches, 0u) << "month set " << i << ", " << c.checked << " values";
    if (step == 1) std::printf("month set %zu: %llu values, %llu through step_depth\n", i,
                               static_cast<unsigned long long>(c.checked), static_cast<unsigned long long>(c.slow));
  }
}

TEST(MonthlyEtBatch, DoubleRoundingOntoATieFallsBack) {
  // slope*T = 2^-24 - p^2 2^-70 for T = 2^-24 (1 + p 2^-23), slope = 1 - p 2^-23:
  // plus the offset 1 + 2^-23 it lies just below the tie 1 + 2^-23 + 2^-24,
  // which rounding to a double reaches (p^2 2^-70 < 2^-53) and rounding to
  // 64 bits does not (p >= 9), so the double alone rounds to the even float
  // above while the record depth is the float below.
  for (float sign : {1.0f, -1.0f}) {
    for (int32_t p = 9; p < 362; p += 11) {
      const float slope = 1.0f - static_cast<float>(p) * 0x1p-23f;
      const MonthlyEt et = month_et({86400.0f, 86400.0f, 1, sign * slope, 1.0f, 1.0f, sign * (1.0f + 0x1p-23f)});
      const float T = 0x1p-24f * (1.0f + static_cast<float>(p) * 0x1p-23f);
      float E = 0.0f;
      EXPECT_EQ(et.step_depths(&T, &E, 1), 1) << p;
      EXPECT_EQ(std::bit_cast<uint32_t>(E), std::bit_cast<uint32_t>(et.step_depth(T))) << p;
    }
  }
}

TEST(MonthlyEtBatch, RealisticTemperaturesRarelyFallBack) {
  const MonthlyEt et = month_et({3600.0f, 3600.0f, 31, 0.46f, 1.0f, 31.0f * 0.22f, 8.0f});
  Checker c{et, {}, {}};
  const uint64_t step = stride();
  for (uint64_t u = 0; u <= std::bit_cast<uint32_t>(45.0f); u += step) c.add(std::bit_cast<float>(static_cast<uint32_t>(u)));
  for (uint64_t u = 0x80000000u; u <= std::bit_cast<uint32_t>(-30.0f); u += step)
    c.add(std::bit_cast<float>(static_cast<uint32_t>(u)));
  c.flush();
  EXPECT_EQ(c.mismatches, 0u);
  EXPECT_LE(c.slow, 2 + c.checked / 1000000) << c.checked << " values";
  if (step == 1) std::printf("-30..45 C: %llu values, %llu through step_depth\n",
                             static_cast<unsigned long long>(c.checked), static_cast<unsigned long long>(c.slow));
}

}  // namespace
}  // namespace tarvex
