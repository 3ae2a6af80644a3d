#pragma once
// The random numbers of the sensitivity analyses: splitmix64, the same
// stream on every platform and library (no std distributions, whose
// results differ between implementations).
#include <cstdint>

namespace tarvex {

class AnalysisRandom {
 public:
  explicit AnalysisRandom(uint64_t seed) : state_(seed) {}
  uint64_t next() {
    uint64_t z = (state_ += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
  }
  // Uniform in 0 .. n - 1 (n >= 1; the bias of the modulo is below 2^-32 for
  // the small n used here).
  uint64_t below(uint64_t n) { return next() % n; }

 private:
  uint64_t state_;
};

}  // namespace tarvex
