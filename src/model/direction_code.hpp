#pragma once
// D8 flow-direction codes in keypad layout. The neighbour at row offset DI and
// column offset DJ (each -1, 0 or +1; row -1 is the previous record of a grid
// file) has code 3*DI + DJ + 5:
//
//        J-1 J  J+1
//   I-1   1  2  3
//   I     4  .  6
//   I+1   7  8  9
//
// 0 means no outflow; 5 is never written.
#include <cstdint>

namespace tarvex {

struct Step {
  int32_t di;
  int32_t dj;
};

// Decodes a code into its offsets: DI = (code - 1) / 3 - 1 (integer division,
// toward zero), DJ = code - 3*DI - 5. Code 0 decodes to (-1, -2) and code 5 to
// (0, 0); callers test for 0 first.
constexpr Step decode_direction(int32_t code) {
  const int32_t di = (code - 1) / 3 - 1;
  return Step{di, code - 3 * di - 5};
}

constexpr int32_t encode_direction(int32_t di, int32_t dj) { return 3 * di + dj + 5; }

constexpr bool is_diagonal(int32_t code) {
  const Step s = decode_direction(code);
  return s.di * s.dj != 0;
}

// A code that leads to a neighbour (1 to 9 except 5).
constexpr bool is_flow_code(int32_t code) { return code >= 1 && code <= 9 && code != 5; }

}  // namespace tarvex
