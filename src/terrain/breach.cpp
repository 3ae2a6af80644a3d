#include "terrain/breach.hpp"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <queue>

namespace tarvex {
namespace {

constexpr int32_t kDi[8] = {-1, -1, -1, 0, 0, 1, 1, 1};
constexpr int32_t kDj[8] = {-1, 0, 1, -1, 1, -1, 0, 1};

// Search state of the cells of the square window around one pit; a cell
// belongs to the current search when its stamp is the search's.
struct Window {
  int32_t radius = 0;
  int32_t side = 0;
  std::vector<uint32_t> stamp;
  std::vector<double> cost;
  std::vector<int32_t> length;
  std::vector<int8_t> from;  // direction taken to reach the cell, -1 at the pit
  explicit Window(int32_t r) : radius(r), side(2 * r + 1) {
    const std::size_t n = static_cast<std::size_t>(side) * static_cast<std::size_t>(side);
    stamp.assign(n, 0);
    cost.resize(n);
    length.resize(n);
    from.resize(n);
  }
};

}  // namespace

BreachResult breach_pits(Grid<float>& ELEVATION, const std::vector<uint8_t>& fixed, int32_t max_length,
                         float max_depth, const ShareDone& progress) {
  BreachResult r;
  const int32_t ni = ELEVATION.rows(), nj = ELEVATION.cols();
  const std::size_t n = static_cast<std::size_t>(ni) * static_cast<std::size_t>(nj);
  float* z = ELEVATION.data();
  // The surface before any channel: no cell is lowered by more than
  // max_depth in all, however many channels cross it.
  const std::vector<float> z0(z, z + n);
  r.carved.assign(n, 0);
  auto at = [nj](int32_t i, int32_t j) {
    return static_cast<std::size_t>(i) * static_cast<std::size_t>(nj) + static_cast<std::size_t>(j);
  };
  auto drains_to = [&](std::size_t k, int32_t i, int32_t j) {
    for (int d = 0; d < 8; ++d) {
      const int32_t in = i + kDi[d], jn = j + kDj[d];
      if (in < 0 || in >= ni || jn < 0 || jn >= nj) continue;
      const float zn = z[at(in, jn)];
      if (zn > 0.0f && zn < z[k]) return true;
    }
    return false;
  };

  std::vector<uint32_t> pits;
  for (int32_t i = 1; i + 1 < ni; ++i) {
    for (int32_t j = 1; j + 1 < nj; ++j) {
      const std::size_t k = at(i, j);
      if (!fixed[k] && !drains_to(k, i, j)) pits.push_back(static_cast<uint32_t>(k));
    }
  }
  std::stable_sort(pits.begin(), pits.end(), [z](uint32_t a, uint32_t b) { return z[a] < z[b]; });
  r.pits = static_cast<int64_t>(pits.size());
  if (max_length < 1 || pits.empty()) return r;

  Window w(std::min(max_length, std::max(ni, nj)));  // no channel leaves the grid
  struct Entry {
    double cost;
    int32_t length;
    int32_t cell;  // in the window
    bool operator>(const Entry& o) const {
      return cost > o.cost || (cost == o.cost && (length > o.length || (length == o.length && cell > o.cell)));
    }
  };
  std::priority_queue<Entry, std::vector<Entry>, std::greater<Entry>> open;
  std::vector<std::size_t> path;
  uint32_t search = 0;

  for (std::size_t p = 0; p < pits.size(); ++p) {
    if (progress && (p & 0xff) == 0) progress(static_cast<double>(p) / static_cast<double>(pits.size()));
    const std::size_t pit = pits[p];
    const int32_t pi = static_cast<int32_t>(pit / static_cast<std::size_t>(nj));
    const int32_t pj = static_cast<int32_t>(pit % static_cast<std::size_t>(nj));
    if (drains_to(pit, pi, pj)) continue;  // drained by an earlier channel
    const float zp = z[pit];
    ++search;
    open = {};
    auto local = [&](int32_t i, int32_t j) { return (i - pi + w.radius) * w.side + (j - pj + w.radius); };
    const int32_t start = local(pi, pj);
    w.stamp[static_cast<std::size_t>(start)] = search;
    w.cost[static_cast<std::size_t>(start)] = 0.0;
    w.length[static_cast<std::size_t>(start)] = 0;
    w.from[static_cast<std::size_t>(start)] = -1;
    open.push({0.0, 0, start});
    int32_t target = -1;
    while (!open.empty()) {
      const Entry e = open.top();
      open.pop();
      const std::size_t le = static_cast<std::size_t>(e.cell);
      if (e.cost != w.cost[le] || e.length != w.length[le]) continue;  // superseded
      const int32_t ci = pi + e.cell / w.side - w.radius, cj = pj + e.cell % w.side - w.radius;
      const float zc = z[at(ci, cj)];
      if (e.length > 0 && zc > 0.0f && zc < zp) {
        target = e.cell;
        break;
      }
      if (e.length == max_length) continue;
      for (int d = 0; d < 8; ++d) {
        const int32_t in = ci + kDi[d], jn = cj + kDj[d];
        if (in < 0 || in >= ni || jn < 0 || jn >= nj) continue;
        const std::size_t k = at(in, jn);
        const float zn = z[k];
        const bool below = zn > 0.0f && zn < zp;
        if (zn < 0.0f || (fixed[k] && !below)) continue;  // no-data, or a cell that cannot be lowered
        if (!below && z0[k] - zp > max_depth) continue;
        const double cost = e.cost + (zn > zp ? static_cast<double>(zn) - static_cast<double>(zp) : 0.0);
        const int32_t length = e.length + 1;
        const std::size_t lk = static_cast<std::size_t>(local(in, jn));
        if (w.stamp[lk] == search &&
            (w.cost[lk] < cost || (w.cost[lk] == cost && w.length[lk] <= length))) {
          continue;
        }
        w.stamp[lk] = search;
        w.cost[lk] = cost;
        w.length[lk] = length;
        w.from[lk] = static_cast<int8_t>(d);
        open.push({cost, length, static_cast<int32_t>(lk)});
      }
    }
    if (target < 0) continue;

    // The channel from the target back to the pit.
    path.clear();
    int32_t li = target / w.side, lj = target % w.side;
    for (;;) {
      const std::size_t lk = static_cast<std::size_t>(li * w.side + lj);
      path.push_back(at(pi + li - w.radius, pj + lj - w.radius));
      if (w.from[lk] < 0) break;
      li -= kDi[w.from[lk]];
      lj -= kDj[w.from[lk]];
    }
    // path: target first, pit last; a steady fall from the pit to the target.
    const std::size_t steps = path.size() - 1;
    const float zt = z[path.front()];
    for (std::size_t s = 1; s < steps; ++s) {
      const std::size_t k = path[s];
      const float fall = zt + (zp - zt) * static_cast<float>(s) / static_cast<float>(steps);
      const float lowered = std::max(std::min(z[k], fall), z0[k] - max_depth);
      if (lowered < z[k]) {
        r.change.largest = std::max(r.change.largest, z0[k] - lowered);
        if (!r.carved[k]) ++r.change.cells;
        z[k] = lowered;
        r.carved[k] = 1;
      }
    }
    r.carved[pit] = 1;
    ++r.breached;
  }
  if (progress) progress(1.0);
  return r;
}

}  // namespace tarvex
