#include "terrain/priority_flood.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <functional>
#include <limits>
#include <utility>
#include <vector>

#include "model/direction_code.hpp"
#include "terrain/flow_directions.hpp"

namespace tarvex {

std::vector<uint8_t> fixed_cells(const Grid<float>& ELEVATION, int32_t N_FIXED,
                                 const Array1<int32_t, kLimits.exempt_cells>& FIXED_I,
                                 const Array1<int32_t, kLimits.exempt_cells>& FIXED_J) {
  const int32_t ni = ELEVATION.rows(), nj = ELEVATION.cols();
  std::vector<uint8_t> fixed(static_cast<std::size_t>(ni) * static_cast<std::size_t>(nj), 0);
  const float* z = ELEVATION.data();
  std::size_t k = 0;
  for (int32_t i = 1; i <= ni; ++i) {
    for (int32_t j = 1; j <= nj; ++j, ++k) {
      fixed[k] = i == 1 || i == ni || j == 1 || j == nj || z[k] < 0.0f;
    }
  }
  for (int32_t n = 1; n <= std::min(N_FIXED, FIXED_I.size()); ++n) {
    if (ELEVATION.contains(FIXED_I(n), FIXED_J(n))) {
      fixed[static_cast<std::size_t>(FIXED_I(n) - 1) * static_cast<std::size_t>(nj) +
            static_cast<std::size_t>(FIXED_J(n) - 1)] = 1;
    }
  }
  return fixed;
}

namespace {

// Tenths as "%.1f" prints them: the product is exact in doubles, and the
// rounding to nearest, ties to even, is that of the printer.
double printed_tenths(float v) { return std::nearbyint(static_cast<double>(v) * 10.0); }

// Priority queue whose pops never decrease (a radix heap): every key pushed
// is at least the last key popped. Buckets hold keys by the highest bit in
// which they differ from the last key popped.
class MonotoneQueue {
 public:
  bool empty() const { return size_ == 0; }
  void push(uint64_t key, uint32_t cell) {
    buckets_[bucket(key)].push_back({key, cell});
    ++size_;
  }
  // The cell of the lowest key, removed.
  uint32_t pop() {
    if (buckets_[0].empty()) {
      int b = 1;
      while (buckets_[b].empty()) ++b;
      std::vector<Item>& from = buckets_[b];
      last_ = from.front().key;
      for (const Item& e : from) last_ = std::min(last_, e.key);
      for (const Item& e : from) buckets_[bucket(e.key)].push_back(e);
      from.clear();
    }
    const uint32_t cell = buckets_[0].back().cell;
    buckets_[0].pop_back();
    --size_;
    return cell;
  }

 private:
  struct Item {
    uint64_t key;
    uint32_t cell;
  };
  int bucket(uint64_t key) const { return key == last_ ? 0 : 64 - std::countl_zero(key ^ last_); }
  std::vector<Item> buckets_[65];
  uint64_t last_ = 0;
  std::size_t size_ = 0;
};

}  // namespace

namespace {

// The flood gives each cell a lower neighbour; the directions take the
// steepest, which need not be the one the cell was reached from. Where that
// cell or its target was altered, the written grid must show the descent
// too: a cell that prints no higher is raised to printed_step_above(target),
// and it and its neighbours (whose directions may change) are checked again.
// A cell left with no lower neighbour is raised above its lowest one.
void show_descents(Grid<float>& ELEVATION, const std::vector<uint8_t>& fixed, std::vector<uint8_t>& state,
                   uint8_t altered, FillResult& r) {
  const int32_t ni = ELEVATION.rows(), nj = ELEVATION.cols();
  float* z = ELEVATION.data();
  auto lift = [&](std::size_t k) -> float {  // the height k needs, or 0 when it shows its descent
    if (fixed[k] || !(z[k] > 0.0f)) return 0.0f;
    const int32_t i = static_cast<int32_t>(k / static_cast<std::size_t>(nj)) + 1;
    const int32_t j = static_cast<int32_t>(k % static_cast<std::size_t>(nj)) + 1;
    const int32_t code = flow_code(ELEVATION, i, j);
    if (code == 0) {
      float lowest = std::numeric_limits<float>::max();
      for (int32_t di = -1; di <= 1; ++di)
        for (int32_t dj = -1; dj <= 1; ++dj)
          if ((di != 0 || dj != 0) && ELEVATION.contains(i + di, j + dj) && ELEVATION(i + di, j + dj) > 0.0f)
            lowest = std::min(lowest, ELEVATION(i + di, j + dj));
      return lowest < std::numeric_limits<float>::max() ? printed_step_above(lowest) : 0.0f;
    }
    const Step d = decode_direction(code);
    const std::size_t t = static_cast<std::size_t>(i - 1 + d.di) * static_cast<std::size_t>(nj) +
                          static_cast<std::size_t>(j - 1 + d.dj);
    if (!((state[k] | state[t]) & altered) || printed_tenths(z[k]) > printed_tenths(z[t])) return 0.0f;
    return printed_step_above(z[t]);
  };
  std::vector<std::size_t> work;
  const std::size_t n = static_cast<std::size_t>(ni) * static_cast<std::size_t>(nj);
  // An inner cell all of whose lower neighbours print lower shows its step
  // whatever the direction: most cells, found without the direction rule.
  const std::ptrdiff_t row = nj;
  const std::ptrdiff_t around[8] = {-row - 1, -row, -row + 1, -1, 1, row - 1, row, row + 1};
  for (int32_t i = 1; i + 1 < ni; ++i) {
    for (int32_t j = 1; j + 1 < nj; ++j) {
      const std::size_t k = static_cast<std::size_t>(i) * static_cast<std::size_t>(nj) + static_cast<std::size_t>(j);
      if (fixed[k] || !(z[k] > 0.0f)) continue;
      const double pk = printed_tenths(z[k]);
      bool shown = true, lower = false;
      for (const std::ptrdiff_t o : around) {
        const float zn = z[static_cast<std::ptrdiff_t>(k) + o];
        if (zn > 0.0f && zn < z[k]) {
          lower = true;
          shown = shown && printed_tenths(zn) < pk;
        }
      }
      if (lower && shown) continue;
      if (lift(k) > 0.0f) work.push_back(k);
    }
  }
  // Every raise lifts a cell above a neighbour that drains; the budget only
  // guards against a surface that would not settle.
  for (std::size_t budget = 64 * n + 64; !work.empty() && budget > 0; --budget) {
    const std::size_t k = work.back();
    work.pop_back();
    const float up = lift(k);
    if (!(up > 0.0f && up > z[k])) continue;
    r.change.largest = std::max(r.change.largest, up - z[k]);
    if (!(state[k] & altered)) ++r.change.cells;
    z[k] = up;
    state[k] |= altered;
    const int32_t i = static_cast<int32_t>(k / static_cast<std::size_t>(nj));
    const int32_t j = static_cast<int32_t>(k % static_cast<std::size_t>(nj));
    for (int32_t di = -1; di <= 1; ++di)
      for (int32_t dj = -1; dj <= 1; ++dj)
        if (i + di >= 0 && i + di < ni && j + dj >= 0 && j + dj < nj)
          work.push_back(static_cast<std::size_t>(i + di) * static_cast<std::size_t>(nj) + static_cast<std::size_t>(j + dj));
  }
}

}  // namespace

float printed_step_above(float z) {
  auto tenths = printed_tenths;
  const double target = tenths(z) + 1.0;
  const float inf = std::numeric_limits<float>::infinity();
  float v = static_cast<float>((target - 0.5) / 10.0);
  while (!(v > z && tenths(v) >= target)) v = std::nextafter(v, inf);
  for (;;) {
    const float below = std::nextafter(v, -inf);
    if (!(below > z && tenths(below) >= target)) return v;
    v = below;
  }
}

// Cells leave the queue lowest first, and among equal elevations in the
// order they came in. Only positive cells enter it, and a cell enters at or
// above the elevation of the cell it is reached from.
FillResult fill_pits(Grid<float>& ELEVATION, const std::vector<uint8_t>& fixed, const ShareDone& progress,
                     const std::vector<uint8_t>& strict) {
  FillResult r;
  const int32_t ni = ELEVATION.rows(), nj = ELEVATION.cols();
  const std::size_t n = static_cast<std::size_t>(ni) * static_cast<std::size_t>(nj);
  if (n == 0) return r;
  float* z = ELEVATION.data();

  // Keys: the elevation's bits (positive reals order as their bits), then
  // the arrival, so that equal elevations leave in the order they came.
  MonotoneQueue open;
  uint64_t arrivals = 0;
  auto push = [&](std::size_t k) {
    open.push((uint64_t{std::bit_cast<uint32_t>(z[k])} << 32) | arrivals++, static_cast<uint32_t>(k));
  };

  // Per cell: reached (fixed cells count as reached), and altered, by this
  // filling or before it (strict): a cell draining into an altered cell must
  // show its descent in the written grid too.
  constexpr uint8_t kReached = 1, kAltered = 2;
  std::vector<uint8_t> state(n);
  for (std::size_t k = 0; k < n; ++k) {
    state[k] = static_cast<uint8_t>((fixed[k] ? kReached : 0) | (!strict.empty() && strict[k] ? kAltered : 0));
    if (fixed[k] && z[k] > 0.0f) push(k);
  }

  const int32_t di[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
  const int32_t dj[8] = {-1, 0, 1, -1, 1, -1, 0, 1};
  std::ptrdiff_t offset[8];
  for (int d = 0; d < 8; ++d) offset[d] = static_cast<std::ptrdiff_t>(di[d]) * nj + dj[d];
  std::size_t done = 0;
  while (!open.empty()) {
    const std::size_t c = open.pop();
    if ((++done & 0xffff) == 0 && progress) progress(static_cast<double>(done) / static_cast<double>(n));
    const float zc = z[c];
    const bool altered_c = (state[c] & kAltered) != 0;
    // Only a fixed cell can lie on the edge: the others have all eight
    // neighbours on the grid.
    const bool edge = fixed[c] != 0;
    const int32_t i = edge ? static_cast<int32_t>(c / static_cast<std::size_t>(nj)) : 0;
    const int32_t j = edge ? static_cast<int32_t>(c % static_cast<std::size_t>(nj)) : 0;
    for (int d = 0; d < 8; ++d) {
      if (edge && (i + di[d] < 0 || i + di[d] >= ni || j + dj[d] < 0 || j + dj[d] >= nj)) continue;
      const std::size_t k = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(c) + offset[d]);
      if (state[k] & kReached) continue;
      state[k] |= kReached;
      const bool shown = altered_c || (state[k] & kAltered);
      if (!(z[k] > zc) || (shown && !(printed_tenths(z[k]) > printed_tenths(zc)))) {
        const float raised = printed_step_above(zc);
        r.change.largest = std::max(r.change.largest, raised - z[k]);
        ++r.change.cells;
        z[k] = raised;
        state[k] |= kAltered;
      }
      push(k);
    }
  }
  for (std::size_t k = 0; k < n; ++k) {
    if (!(state[k] & kReached)) {
      r.stuck_i = static_cast<int32_t>(k / static_cast<std::size_t>(nj)) + 1;
      r.stuck_j = static_cast<int32_t>(k % static_cast<std::size_t>(nj)) + 1;
      break;
    }
  }
  if (r.stuck_i == 0) show_descents(ELEVATION, fixed, state, kAltered, r);
  if (progress) progress(1.0);
  return r;
}

}  // namespace tarvex
