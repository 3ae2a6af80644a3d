#include "terrain/unpit.hpp"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <string>
#include <vector>

#include "model/warn_error.hpp"
#include "io/text_writer.hpp"

namespace tarvex {
namespace {

// Set of cell indices with "next member at or after k" in a few word scans:
// one bit per cell, plus one summary bit per non-empty word.
class CellSet {
 public:
  static constexpr std::size_t npos = static_cast<std::size_t>(-1);

  explicit CellSet(std::size_t n) : bits_((n + 63) / 64, 0), summary_((bits_.size() + 63) / 64, 0) {}

  void assign(std::size_t k, bool on) {
    uint64_t& w = bits_[k >> 6];
    const uint64_t b = uint64_t{1} << (k & 63);
    if (on) {
      w |= b;
      summary_[k >> 12] |= uint64_t{1} << ((k >> 6) & 63);
    } else if (w & b) {
      w &= ~b;
      if (w == 0) summary_[k >> 12] &= ~(uint64_t{1} << ((k >> 6) & 63));
    }
  }

  std::size_t next(std::size_t k) const {
    std::size_t w = k >> 6;
    if (w >= bits_.size()) return npos;
    const uint64_t here = bits_[w] & (~uint64_t{0} << (k & 63));
    if (here) return (w << 6) + static_cast<std::size_t>(std::countr_zero(here));
    ++w;
    std::size_t h = w >> 6;
    if (h >= summary_.size()) return npos;
    uint64_t m = summary_[h] & (~uint64_t{0} << (w & 63));
    for (;;) {
      if (m) {
        const std::size_t word = (h << 6) + static_cast<std::size_t>(std::countr_zero(m));
        return (word << 6) + static_cast<std::size_t>(std::countr_zero(bits_[word]));
      }
      if (++h >= summary_.size()) return npos;
      m = summary_[h];
    }
  }

 private:
  std::vector<uint64_t> bits_;
  std::vector<uint64_t> summary_;
};

void print_progress(int64_t counter, int32_t row, int32_t col, float z) {
  std::string line;
  put_int(line, counter, 10);
  put_int(line, row, 5);
  put_int(line, col, 5);
  put_fixed(line, z, 30, 2);
  print_line(line);
}

}  // namespace

// The sweep only acts on pits: every other cell it passes is left as it is.
// So instead of testing each cell it passes, it keeps the set of interior
// cells that are pits at the moment and jumps from its scan position to the
// next member of that set in scan order. A raise changes the pit state of the
// raised cell and its eight neighbours only, which are re-tested. The raises,
// their order and the console lines are those of the cell-by-cell sweep.
int64_t UNPIT(Grid<float>& ELEVATION, int32_t N_FIXED, const Array1<int32_t, kLimits.exempt_cells>& FIXED_I,
              const Array1<int32_t, kLimits.exempt_cells>& FIXED_J, float Z_CEILING, int32_t& TERRAIN_ERR,
              const std::function<void(int64_t)>& raises) {
  const int32_t ni = ELEVATION.rows();
  const int32_t nj = ELEVATION.cols();
  int64_t counter = 0;
  if (ni < 3 || nj < 3) return counter;  // no interior cell

  float* z = ELEVATION.data();
  const std::ptrdiff_t w = nj;
  auto index = [nj](int32_t i, int32_t j) {
    return static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(nj) + static_cast<std::size_t>(j - 1);
  };

  std::vector<uint8_t> exempt(static_cast<std::size_t>(ni) * static_cast<std::size_t>(nj), 0);
  for (int32_t k = 1; k <= std::min(N_FIXED, FIXED_I.size()); ++k) {
    if (FIXED_I(k) >= 1 && FIXED_I(k) <= ni && FIXED_J(k) >= 1 && FIXED_J(k) <= nj) {
      exempt[index(FIXED_I(k), FIXED_J(k))] = 1;
    }
  }
  const std::ptrdiff_t around[8] = {-w - 1, -w, -w + 1, -1, 1, w - 1, w, w + 1};

  // An interior cell is a pit unless it is negative, exempt, or has a
  // positive neighbour strictly below it.
  auto is_pit = [&](std::size_t k) {
    const float z0 = z[k];
    if (z0 < 0.0f || exempt[k]) return false;
    for (std::ptrdiff_t d : around) {
      const float zn = z[static_cast<std::ptrdiff_t>(k) + d];
      if (zn > 0.0f && zn < z0) return false;
    }
    return true;
  };

  CellSet pits(static_cast<std::size_t>(ni) * static_cast<std::size_t>(nj));
  for (int32_t i = 2; i <= ni - 1; ++i) {
    for (int32_t j = 2; j <= nj - 1; ++j) pits.assign(index(i, j), is_pit(index(i, j)));
  }

  const std::size_t first = index(2, 2);
  const std::size_t last = index(ni - 1, nj - 1);
  std::size_t pos = first;
  bool raised = false;
  for (;;) {
    const std::size_t k = pits.next(pos);
    if (k == CellSet::npos || k > last) {
      // End of a sweep: another one if this one raised a cell.
      if (!raised) break;
      raised = false;
      pos = first;
      continue;
    }
    const int32_t i = static_cast<int32_t>(k / static_cast<std::size_t>(nj)) + 1;
    const int32_t j = static_cast<int32_t>(k % static_cast<std::size_t>(nj)) + 1;

    const float z0 = z[k];
    float lowest = 1.0e20f;
    for (std::ptrdiff_t d : around) {
      const float zn = z[static_cast<std::ptrdiff_t>(k) + d];
      if (zn > 0.0f && zn < lowest) lowest = zn;
    }
    z[k] = lowest + RAISE_STEP;
    if (z[k] >= Z_CEILING) {
      print_line(ListLine()
                     .text("Elevation of the cell ")
                     .num(i)
                     .num(j)
                     .text(" greater than the maximum elevation of the catchment.")
                     .str());
      WARN_ERROR(1002);
      TERRAIN_ERR = 1;
      return counter;
    }
    if (!(z[k] > z0)) {
      // At about 2,097,152 m and above, 0.11 is below half the spacing of
      // 4-byte reals: the sum rounds back and the cell would be raised forever.
      print_line(ListLine()
                     .text("Elevation of the cell ")
                     .num(i)
                     .num(j)
                     .text(" is too high to be raised by 0.11 in single precision.")
                     .str());
      WARN_ERROR(1002);
      TERRAIN_ERR = 1;
      return counter;
    }
    ++counter;
    raised = true;
    for (int32_t di = -1; di <= 1; ++di) {
      for (int32_t dj = -1; dj <= 1; ++dj) {
        const int32_t in = i + di;
        const int32_t jn = j + dj;
        if (in >= 2 && in <= ni - 1 && jn >= 2 && jn <= nj - 1) pits.assign(index(in, jn), is_pit(index(in, jn)));
      }
    }

    // Step back so that the neighbours already passed are looked at again.
    int32_t row = i;
    int32_t col = j;
    if (row != 2) row -= 1;
    if (col != 2) col -= 2;
    if (counter % 500 == 0) {
      print_progress(counter, row, col, z[index(row, col)]);
      if (raises) raises(counter);
    }
    col += 1;
    if (col > nj - 1) {
      col = 2;
      row += 1;
    }
    pos = index(row, col);
  }
  return counter;
}

}  // namespace tarvex
