#pragma once
// The Sobol' low-discrepancy sequence in up to 40 dimensions, with the
// direction numbers of Joe and Kuo (2008, "new-joe-kuo-6.21201"), points in
// Gray-code order (Antonov and Saleev), 32 bits per coordinate. An optional
// digital shift (each coordinate XOR-ed with a random word) randomises the
// sequence and keeps its stratification.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

namespace tarvex {

class SobolSequence {
 public:
  static constexpr int kMaxDimensions = 40;

  // Throws std::invalid_argument outside 1 .. kMaxDimensions.
  explicit SobolSequence(int dimensions);
  // With a digital shift drawn from seed.
  SobolSequence(int dimensions, uint64_t seed);

  int dimensions() const { return static_cast<int>(v_.size()); }
  // Point k (from 0; below 2^32) into out[0 .. dimensions() - 1], in [0, 1).
  void point(uint64_t k, std::span<double> out) const;

 private:
  std::vector<std::array<uint32_t, 32>> v_;  // direction numbers per dimension
  std::vector<uint32_t> shift_;
};

}  // namespace tarvex
