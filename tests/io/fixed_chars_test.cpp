// The short path of fixed_chars against std::to_chars itself: every
// character, for random 4-byte reals of every magnitude it takes, exact
// ties (which round to even), signed zeros and values that round to zero.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "io/text_writer.hpp"

namespace tarvex {
namespace {

std::string reference(double v, int d) {
  char buf[512];
  const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, d);
  return std::string(buf, r.ptr);
}

std::string fast(double v, int d) {
  char buf[512];
  const auto r = fixed_chars(buf, buf + sizeof buf, v, d);
  EXPECT_EQ(r.ec, std::errc{});
  return std::string(buf, r.ptr);
}

TEST(FixedChars, SameCharactersAsToChars) {
  std::mt19937_64 rng(20261210);
  int64_t checked = 0;
  for (int k = 0; k < 400000; ++k) {
    // Random bits of a 4-byte real below 2^31 in magnitude, from subnormals up.
    uint32_t bits = static_cast<uint32_t>(rng());
    bits = (bits & 0x807fffffu) | ((static_cast<uint32_t>(rng() % 158)) << 23);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    for (int d = 0; d <= 9; ++d) {
      ASSERT_EQ(fast(f, d), reference(f, d)) << "bits " << bits << ", " << d << " decimals";
      ++checked;
    }
  }
  // Exact ties: n + 1/2 at the last decimal, for the decimals a float holds exactly.
  for (int d = 0; d <= 3; ++d) {
    for (int n = -20000; n <= 20000; ++n) {
      const double v = (static_cast<double>(n) + 0.5) / std::pow(2.0, d);  // halves, quarters, eighths
      ASSERT_EQ(fast(v, d), reference(v, d)) << v << ", " << d << " decimals";
    }
  }
  for (double v : {0.0, -0.0, -0.04, -0.05, 0.05, 0.25, 0.75, 2.5, 3.5, -2.5, 1e-40, -1e-40, 2147483520.0}) {
    for (int d = 0; d <= 9; ++d) EXPECT_EQ(fast(v, d), reference(v, d)) << v << ", " << d << " decimals";
  }
  // Values the short path leaves to to_chars.
  for (double v : {0.1, 1e300, 4294967296.0, std::nextafter(1.0, 2.0)}) {
    EXPECT_EQ(fast(v, 2), reference(v, 2)) << v;
  }
  EXPECT_EQ(fast(1.25f, 12), reference(1.25f, 12));
  EXPECT_GT(checked, 3000000);
}

}  // namespace
}  // namespace tarvex
