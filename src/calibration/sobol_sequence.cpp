#include "calibration/sobol_sequence.hpp"

#include <stdexcept>
#include <string>

#include "calibration/analysis_random.hpp"

namespace tarvex {
namespace {

// Dimensions 2 to 40: degree s of the primitive polynomial, its inner
// coefficients a, and the initial direction integers m_1 .. m_s.
struct Primitive {
  int s;
  uint32_t a;
  uint32_t m[8];
};

constexpr Primitive kJoeKuo[SobolSequence::kMaxDimensions - 1] = {
    {1, 0, {1}},
    {2, 1, {1, 3}},
    {3, 1, {1, 3, 1}},
    {3, 2, {1, 1, 1}},
    {4, 1, {1, 1, 3, 3}},
    {4, 4, {1, 3, 5, 13}},
    {5, 2, {1, 1, 5, 5, 17}},
    {5, 4, {1, 1, 5, 5, 5}},
    {5, 7, {1, 1, 7, 11, 19}},
    {5, 11, {1, 1, 5, 1, 1}},
    {5, 13, {1, 1, 1, 3, 11}},
    {5, 14, {1, 3, 5, 5, 31}},
    {6, 1, {1, 3, 3, 9, 7, 49}},
    {6, 13, {1, 1, 1, 15, 21, 21}},
    {6, 16, {1, 3, 1, 13, 27, 49}},
    {6, 19, {1, 1, 1, 15, 7, 5}},
    {6, 22, {1, 3, 1, 15, 13, 25}},
    {6, 25, {1, 1, 5, 5, 19, 61}},
    {7, 1, {1, 3, 7, 11, 23, 15, 103}},
    {7, 4, {1, 3, 7, 13, 13, 15, 69}},
    {7, 7, {1, 1, 3, 13, 7, 35, 63}},
    {7, 8, {1, 3, 5, 9, 1, 25, 53}},
    {7, 14, {1, 3, 1, 13, 9, 35, 107}},
    {7, 19, {1, 3, 1, 5, 27, 61, 31}},
    {7, 21, {1, 1, 5, 11, 19, 41, 61}},
    {7, 28, {1, 3, 5, 3, 3, 13, 69}},
    {7, 31, {1, 1, 7, 13, 1, 19, 1}},
    {7, 32, {1, 3, 7, 5, 13, 19, 59}},
    {7, 37, {1, 1, 3, 9, 25, 29, 41}},
    {7, 41, {1, 3, 5, 13, 23, 1, 55}},
    {7, 42, {1, 3, 7, 3, 13, 59, 17}},
    {7, 50, {1, 3, 1, 3, 5, 53, 69}},
    {7, 55, {1, 1, 5, 5, 23, 33, 13}},
    {7, 56, {1, 1, 7, 7, 1, 61, 123}},
    {7, 59, {1, 1, 7, 9, 13, 61, 49}},
    {7, 62, {1, 3, 3, 5, 3, 55, 33}},
    {8, 14, {1, 3, 1, 15, 31, 13, 49, 245}},
    {8, 21, {1, 3, 5, 15, 31, 59, 63, 97}},
    {8, 22, {1, 3, 1, 11, 11, 11, 77, 249}},
};

}  // namespace

SobolSequence::SobolSequence(int dimensions) {
  if (dimensions < 1 || dimensions > kMaxDimensions) {
    throw std::invalid_argument("the Sobol' sequence has 1 to " + std::to_string(kMaxDimensions) +
                                " dimensions, not " + std::to_string(dimensions));
  }
  v_.resize(static_cast<std::size_t>(dimensions));
  for (int i = 0; i < 32; ++i) v_[0][static_cast<std::size_t>(i)] = 1u << (31 - i);
  for (int d = 1; d < dimensions; ++d) {
    const Primitive& p = kJoeKuo[d - 1];
    std::array<uint32_t, 32>& v = v_[static_cast<std::size_t>(d)];
    for (int i = 0; i < 32; ++i) {
      if (i < p.s) {
        v[static_cast<std::size_t>(i)] = p.m[i] << (31 - i);
        continue;
      }
      uint32_t x = v[static_cast<std::size_t>(i - p.s)] ^ (v[static_cast<std::size_t>(i - p.s)] >> p.s);
      for (int k = 1; k < p.s; ++k) {
        if ((p.a >> (p.s - 1 - k)) & 1u) x ^= v[static_cast<std::size_t>(i - k)];
      }
      v[static_cast<std::size_t>(i)] = x;
    }
  }
  shift_.assign(static_cast<std::size_t>(dimensions), 0u);
}

SobolSequence::SobolSequence(int dimensions, uint64_t seed) : SobolSequence(dimensions) {
  AnalysisRandom rng(seed);
  for (uint32_t& s : shift_) s = static_cast<uint32_t>(rng.next() >> 32);
}

void SobolSequence::point(uint64_t k, std::span<double> out) const {
  const uint64_t gray = k ^ (k >> 1);
  for (std::size_t d = 0; d < v_.size(); ++d) {
    uint32_t x = shift_[d];
    for (int i = 0; i < 32; ++i) {
      if ((gray >> i) & 1u) x ^= v_[d][static_cast<std::size_t>(i)];
    }
    out[d] = static_cast<double>(x) * 0x1p-32;
  }
}

}  // namespace tarvex
