// Layout of a run: the walk of the paths, their partition over the threads,
// the engine order of the cells and the tiles.
#include <queue>

#include "model/direction_code.hpp"
#include "simulation/run_engine_impl.hpp"

namespace tarvex {

bool engine_grids_fit(const RunModel& s, const RunTables& t) {
  const int32_t NI = s.catchment.NI, NJ = s.catchment.NJ;
  bool ok = NI >= 1 && NJ >= 1 && s.catchment.FLOW_DIR.rows() == NI && s.catchment.FLOW_DIR.cols() == NJ && s.catchment.AREA_CELLS.rows() == NI &&
            s.catchment.AREA_CELLS.cols() == NJ && s.catchment.ROUGH_CLASS.rows() == NI && s.catchment.ROUGH_CLASS.cols() == NJ &&
            s.forcing.RAIN_STATION_MAP.rows() == NI && s.forcing.RAIN_STATION_MAP.cols() == NJ &&
            s.forcing.TEMP_STATION_MAP.rows() == NI && s.forcing.TEMP_STATION_MAP.cols() == NJ &&
            t.RAIN_STATION_MAP_STEP.rows() == NI && t.RAIN_STATION_MAP_STEP.cols() == NJ &&
            t.TEMP_STATION_MAP_STEP.rows() == NI && t.TEMP_STATION_MAP_STEP.cols() == NJ &&
            s.forcing.RAIN_WEIGHT.rows() >= static_cast<int64_t>(s.forcing.N_RAIN_ST) * NI && s.forcing.RAIN_WEIGHT.cols() == NJ &&
            t.RAIN_WEIGHT_STEP.rows() >= static_cast<int64_t>(s.forcing.N_RAIN_ST) * NI && t.RAIN_WEIGHT_STEP.cols() == NJ;
  for (const Grid<float>* g : std::initializer_list<const Grid<float>*>{&t.STEP_RUNOFF, &s.catchment.ELEVATION, &s.catchment.SLOPE, &s.catchment.SOIL_CAPACITY, &s.run.CUM_RAIN, &s.run.EVENT_RAIN, &s.run.INFILTRATION,
        &s.run.SOIL_WATER, &s.run.SUB_STORE, &s.run.ET_DEFICIT, &s.run.SUB_FLOW, &s.run.CELL_TEMP, &s.run.CELL_ET, &s.run.C1_SUP, &s.run.C2_SUP,
        &s.run.C3_SUP, &s.run.C4_SUP, &s.run.C1_SUB, &s.run.C2_SUB, &s.run.C3_SUB, &s.run.C4_SUB, &s.run.QIN_SUP, &s.run.QOUT_SUP, &s.run.QIN_SUB,
        &s.run.QOUT_SUB, &s.run.QIN_SUP_OLD, &s.run.QOUT_SUP_OLD, &s.run.QIN_SUB_OLD, &s.run.QOUT_SUB_OLD}) {
    ok = ok && g->rows() == NI && g->cols() == NJ;
  }
  return ok;
}

bool walk_paths(const RunModel& s, const CelerityConstants& cc, EngineWalk& w) {
  w.NJ = s.catchment.NJ;
  w.G = static_cast<std::size_t>(s.catchment.NI) * static_cast<std::size_t>(s.catchment.NJ);
  const std::size_t G = w.G;
  std::vector<int32_t>& visit_of = w.visit_of;
  std::vector<std::size_t>& vcell = w.vcell;
  std::vector<std::size_t>& vdown = w.vdown;
  visit_of.assign(G, -1);
  // The walk of ROUTING: visits in order, each with its downstream cell.
  const int64_t max_cells = static_cast<int64_t>(G);
  for (int32_t k = 1; k <= s.catchment.NPATH; ++k) {
    int32_t i = s.catchment.IIN(k), j = s.catchment.JIN(k);
    const int32_t ie = s.catchment.IFIN(k), je = s.catchment.JFIN(k);
    if (!s.catchment.FLOW_DIR.contains(i, j)) return false;
    for (int64_t visited = 0;; ++visited) {
      if (visited == max_cells) return false;
      const std::size_t idx = w.off(i, j);
      const int32_t code = s.catchment.FLOW_DIR.data()[idx];
      if (!is_flow_code(code)) return false;
      const Step st = decode_direction(code);
      const int32_t in = i + st.di, jn = j + st.dj;
      if (!s.catchment.FLOW_DIR.contains(in, jn)) return false;
      const bool chan = static_cast<float>(s.catchment.AREA_CELLS.data()[idx]) * cc.a >= cc.a_channel;
      if (chan && !cc.outlet_in_grid) return false;
      if (!chan) {
        const int32_t cls = s.catchment.ROUGH_CLASS.data()[idx];
        if (cls < 1 || cls > kLimits.classes) return false;
      }
      if (visit_of[idx] >= 0) return false;  // visited twice in a step
      visit_of[idx] = static_cast<int32_t>(vcell.size());
      vcell.push_back(idx);
      vdown.push_back(w.off(in, jn));
      w.vdiag.push_back(st.di != 0 && st.dj != 0 ? 1 : 0);
      w.vchan.push_back(chan ? 1 : 0);
      if (in == ie && jn == je) break;
      i = in;
      j = jn;
    }
  }
  const int32_t V = static_cast<int32_t>(vcell.size());
  w.V = V;
  // Every contributor must be walked before the cell it feeds.
  for (int32_t v = 0; v < V; ++v) {
    const int32_t d = visit_of[vdown[v]];
    if (d >= 0 && d <= v) return false;
  }

  // The visits feeding each visit: kids[kid_begin[v] .. kid_begin[v + 1]).
  std::vector<int32_t>& kid_begin = w.kid_begin;
  std::vector<int32_t>& kids = w.kids;
  kid_begin.assign(static_cast<std::size_t>(V) + 1, 0);
  kids.assign(static_cast<std::size_t>(V), 0);
  for (int32_t v = 0; v < V; ++v) {
    const int32_t d = visit_of[vdown[v]];
    if (d >= 0) ++kid_begin[static_cast<std::size_t>(d) + 1];
  }
  for (int32_t v = 0; v < V; ++v) kid_begin[v + 1] += kid_begin[v];
  {
    std::vector<int32_t> fill(kid_begin.begin(), kid_begin.end() - 1);
    for (int32_t v = 0; v < V; ++v) {
      const int32_t d = visit_of[vdown[v]];
      if (d >= 0) kids[static_cast<std::size_t>(fill[d]++)] = v;
    }
  }
  return true;
}

// Partition of the routed cells over the threads: disjoint subtrees
// (pieces), each routed by one thread, and the trunk above them, routed
// after the pieces.
std::vector<int32_t> partition_paths(const EngineWalk& walk, int32_t T) {
  const int32_t V = walk.V;
  const std::vector<int32_t>& visit_of = walk.visit_of;
  const std::vector<std::size_t>& vdown = walk.vdown;
  const std::vector<int32_t>& kid_begin = walk.kid_begin;
  const std::vector<int32_t>& kids = walk.kids;
  std::vector<int32_t> owner(static_cast<std::size_t>(V), 0);  // thread, or T for the trunk
  if (T > 1) {
    std::vector<int32_t> size(static_cast<std::size_t>(V), 1);
    for (int32_t v = 0; v < V; ++v) {
      const int32_t w = visit_of[vdown[v]];
      if (w >= 0) size[static_cast<std::size_t>(w)] += size[static_cast<std::size_t>(v)];
    }
    using Piece = std::pair<int32_t, int32_t>;  // size, root
    std::priority_queue<Piece> heap;
    for (int32_t v = 0; v < V; ++v) {
      if (visit_of[vdown[v]] < 0) heap.push({size[v], v});
    }
    const int32_t target = std::max<int32_t>(1, V / (8 * T));
    int32_t trunk = 0;
    std::vector<uint8_t> in_trunk(static_cast<std::size_t>(V), 0);
    while (!heap.empty() && heap.top().first > target && trunk < V / 32) {
      const int32_t v = heap.top().second;
      heap.pop();
      in_trunk[v] = 1;
      ++trunk;
      for (int32_t k = kid_begin[v]; k < kid_begin[v + 1]; ++k) heap.push({size[kids[k]], kids[k]});
    }
    // Largest pieces first, each to the least loaded thread.
    std::vector<int64_t> load(static_cast<std::size_t>(T), 0);
    std::vector<int32_t> root_owner(static_cast<std::size_t>(V), -1);
    while (!heap.empty()) {
      const Piece pc = heap.top();
      heap.pop();
      const int32_t th = static_cast<int32_t>(std::min_element(load.begin(), load.end()) - load.begin());
      load[th] += pc.first;
      root_owner[pc.second] = th;
    }
    // Owners flow from each piece root upstream: walk downstream-first.
    for (int32_t v = V - 1; v >= 0; --v) {
      if (in_trunk[v]) {
        owner[v] = T;
      } else if (root_owner[v] >= 0) {
        owner[v] = root_owner[v];
      } else {
        owner[v] = owner[visit_of[vdown[v]]];
      }
    }
  }
  return owner;
}

// Engine order: each thread's routed cells, the trunk, then the rest.
// Each of these groups is cut into tiles, runs of its cells in an order
// that has every cell after its contributors (a depth-first walk up from
// the ends, so that a tile holds whole subtrees where it can). Within a
// tile the cells go by height (longest path from a source cell), so that
// neighbours in the order are independent and their arithmetic overlaps.
void RunEngine::Impl::lay_out(const RunModel& s, const EngineWalk& w, const std::vector<int32_t>& owner,
                              std::vector<int32_t>& eng_of, std::vector<int32_t>& tile_of) {
  Impl& E = *this;
  const int32_t V = w.V;
  const std::size_t G = w.G;
  const std::vector<int32_t>& visit_of = w.visit_of;
  const std::vector<std::size_t>& vcell = w.vcell;
  const std::vector<std::size_t>& vdown = w.vdown;
  const std::vector<int32_t>& kid_begin = w.kid_begin;
  const std::vector<int32_t>& kids = w.kids;
  std::vector<int32_t> height(static_cast<std::size_t>(V), 0);
  for (int32_t v = 0; v < V; ++v) {
    const int32_t w = visit_of[vdown[v]];
    if (w >= 0) height[w] = std::max(height[w], height[v] + 1);
  }
  std::vector<int32_t> post;  // every cell after its contributors
  post.reserve(static_cast<std::size_t>(V));
  {
    std::vector<std::pair<int32_t, int32_t>> stack;  // cell, next contributor
    for (int32_t r = 0; r < V; ++r) {
      if (visit_of[vdown[r]] >= 0) continue;
      stack.push_back({r, kid_begin[r]});
      while (!stack.empty()) {
        auto& [v, k] = stack.back();
        if (k < kid_begin[v + 1]) {
          const int32_t u = kids[static_cast<std::size_t>(k++)];
          stack.push_back({u, kid_begin[u]});
        } else {
          post.push_back(v);
          stack.pop_back();
        }
      }
    }
  }
  const int32_t tile_cells = opt.tile_cells;
  eng_of.assign(G, -1);
  std::vector<std::size_t> cells;
  std::vector<int32_t> h_of;
  cells.reserve(static_cast<std::size_t>(V));
  E.piece_tile.assign(static_cast<std::size_t>(T) + 2, 0);
  E.tile_begin.clear();
  for (int32_t th = 0; th <= T; ++th) {
    E.piece_tile[th] = static_cast<int32_t>(E.tile_begin.size());
    std::vector<int32_t> group;
    for (const int32_t v : post) {
      if (owner[v] == th) group.push_back(v);
    }
    for (std::size_t g0 = 0; g0 < group.size(); g0 += static_cast<std::size_t>(tile_cells)) {
      const auto first = group.begin() + static_cast<std::ptrdiff_t>(g0);
      const auto last = group.begin() + static_cast<std::ptrdiff_t>(std::min(group.size(), g0 + tile_cells));
      std::stable_sort(first, last, [&](int32_t x, int32_t y) { return height[x] < height[y]; });
      E.tile_begin.push_back(static_cast<int32_t>(cells.size()));
      for (auto it = first; it != last; ++it) {
        eng_of[vcell[*it]] = static_cast<int32_t>(cells.size());
        cells.push_back(vcell[*it]);
        h_of.push_back(height[*it]);
      }
    }
  }
  E.piece_tile[T + 1] = static_cast<int32_t>(E.tile_begin.size());
  E.tile_begin.push_back(V);
  E.V = V;
  tile_of.assign(static_cast<std::size_t>(V), 0);
  for (std::size_t t = 0; t + 1 < E.tile_begin.size(); ++t) {
    for (int32_t c = E.tile_begin[t]; c < E.tile_begin[t + 1]; ++c) tile_of[c] = static_cast<int32_t>(t);
  }
  // Blocks: runs of routed cells of one tile and height.
  E.block_end.assign(static_cast<std::size_t>(V), V);
  for (int32_t c = V - 1; c >= 0; --c) {
    const bool joined = c + 1 < V && tile_of[c + 1] == tile_of[c] && h_of[c + 1] == h_of[c];
    E.block_end[c] = joined ? E.block_end[c + 1] : c + 1;
  }
  auto add_cell = [&](std::size_t g) {
    if (eng_of[g] < 0) {
      eng_of[g] = static_cast<int32_t>(cells.size());
      cells.push_back(g);
    }
  };
  for (int32_t v = 0; v < V; ++v) add_cell(vdown[v]);
  for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) add_cell(w.off(s.catchment.SECTION_I(k), s.catchment.SECTION_J(k)));
  for (std::size_t g = 0; g < G; ++g) {
    if (s.catchment.SLOPE.data()[g] > 0.0f) add_cell(g);
  }
  const int32_t M = static_cast<int32_t>(cells.size());
  E.M = M;
  E.grid_cells = G;
  E.gidx = std::move(cells);
  E.section.clear();
  for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) E.section.push_back(eng_of[w.off(s.catchment.SECTION_I(k), s.catchment.SECTION_J(k))]);
}

void RunEngine::Impl::link_contributors(const EngineWalk& w, const std::vector<int32_t>& eng_of) {
  Impl& E = *this;
  const int32_t V = w.V;
  const std::vector<std::size_t>& vcell = w.vcell;
  const std::vector<std::size_t>& vdown = w.vdown;
  const std::vector<uint8_t>& vchan = w.vchan;
  const std::size_t Ms = static_cast<std::size_t>(M);
  E.up_sup_begin.assign(Ms + 1, 0);
  E.up_sub_begin.assign(Ms + 1, 0);
  for (int32_t v = 0; v < V; ++v) {
    const int32_t d = eng_of[vdown[v]];
    ++E.up_sup_begin[static_cast<std::size_t>(d) + 1];
    if (!vchan[v]) ++E.up_sub_begin[static_cast<std::size_t>(d) + 1];
  }
  for (std::size_t c = 0; c < Ms; ++c) {
    E.up_sup_begin[c + 1] += E.up_sup_begin[c];
    E.up_sub_begin[c + 1] += E.up_sub_begin[c];
  }
  E.up_sup.assign(static_cast<std::size_t>(E.up_sup_begin[Ms]), 0);
  E.up_sub.assign(static_cast<std::size_t>(E.up_sub_begin[Ms]), 0);
  {
    std::vector<int32_t> fs(E.up_sup_begin.begin(), E.up_sup_begin.end() - 1);
    std::vector<int32_t> fb(E.up_sub_begin.begin(), E.up_sub_begin.end() - 1);
    for (int32_t v = 0; v < V; ++v) {
      const int32_t d = eng_of[vdown[v]];
      const int32_t u = eng_of[vcell[v]];
      E.up_sup[static_cast<std::size_t>(fs[d]++)] = u;
      if (!vchan[v]) E.up_sub[static_cast<std::size_t>(fb[d]++)] = u;
    }
  }
}

void RunEngine::Impl::plan_tiles(const EngineWalk& w, const std::vector<int32_t>& eng_of,
                                 const std::vector<int32_t>& tile_of) {
  Impl& E = *this;
  const int32_t V = w.V;
  const std::vector<std::size_t>& vcell = w.vcell;
  const std::vector<std::size_t>& vdown = w.vdown;
  const int32_t n_tiles = static_cast<int32_t>(E.tile_begin.size()) - 1;
  E.K = opt.block_steps;
  E.slot.assign(static_cast<std::size_t>(V), -1);
  std::vector<std::vector<int32_t>> in(static_cast<std::size_t>(n_tiles)), out(static_cast<std::size_t>(n_tiles)),
      sec(static_cast<std::size_t>(n_tiles));
  int32_t slots = 0;
  for (int32_t v = 0; v < V; ++v) {
    const int32_t u = eng_of[vcell[v]], d = eng_of[vdown[v]];
    if (d < V && tile_of[d] == tile_of[u]) continue;
    E.slot[u] = slots++;
    out[tile_of[u]].push_back(u);
    if (d < V) in[tile_of[d]].push_back(u);
  }
  for (int32_t x = 0; x < static_cast<int32_t>(E.section.size()); ++x) {
    if (E.section[x] < V) sec[tile_of[E.section[x]]].push_back(x);
  }
  const auto flatten = [](const std::vector<std::vector<int32_t>>& lists, std::vector<int32_t>& begin,
                          std::vector<int32_t>& items) {
    begin.assign(1, 0);
    items.clear();
    for (const auto& l : lists) {
      items.insert(items.end(), l.begin(), l.end());
      begin.push_back(static_cast<int32_t>(items.size()));
    }
  };
  flatten(in, E.in_begin, E.in_cells);
  flatten(out, E.out_begin, E.out_cells);
  flatten(sec, E.sec_begin, E.sec_list);
  E.hist_sup.assign(static_cast<std::size_t>(slots) * static_cast<std::size_t>(E.K), 0.0f);
  E.hist_sub.assign(static_cast<std::size_t>(slots) * static_cast<std::size_t>(E.K), 0.0f);
  E.n_sec = static_cast<int32_t>(E.section.size());
}

}  // namespace tarvex
