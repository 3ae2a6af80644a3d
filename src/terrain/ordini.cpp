#include "terrain/ordini.hpp"

#include <algorithm>
#include <vector>

#include "terrain/flow_step.hpp"

namespace tarvex {
namespace {

// A cell counts as traced while it holds the negated order of its link.
bool is_traced(int32_t v) { return v >= -998 && v <= -1; }

// The working state of one ordering. The order-by-order sweeps of the grid
// are replaced by lists: a sweep of order k traces exactly the cells that
// hold k when it starts, in row-major order, and a junction pass can only
// resolve a junction whose last inflow has just been traced. So the start
// cells waiting for each order and the junctions whose inflows are all
// traced are kept as lists; the links, their order in the files and the
// table are those of the full sweeps.
struct Ordering {
  const Grid<int32_t>& flow_dir;
  LinkTable table;
  LinkTrace* links;
  int32_t ni;
  int32_t nj;
  int32_t* order;  // STREAM_ORDER
  const int32_t* area;
  std::vector<int32_t> down;                 // downstream cell, -1 for none
  std::vector<uint8_t> untraced;             // inflows of each cell not yet traced
  std::vector<std::vector<int32_t>> starts;  // by order: start cells not yet traced
  std::vector<int32_t> ready;                // junctions whose inflows are all traced
  int32_t n = 1;                             // next free table entry

  // The link table doubles when full (only with the capacities lifted; the
  // default table holds every link the sweep may record).
  void grow_table() {
    const int32_t m = n > 1073741823 ? 2147483647 : 2 * n;
    for (auto* a : {&table.LINK_ORD, &table.LINK_I, &table.LINK_J}) a->grow(m);
  }

  std::vector<int32_t>& waiting(int32_t k) {
    if (static_cast<std::size_t>(k) >= starts.size()) starts.resize(static_cast<std::size_t>(k) + 1);
    return starts[k];
  }

  float step(int32_t cell) const {
    return step_length(flow_dir.data()[cell]);
  }

  void mark_traced(int32_t cell, int32_t ORDER) {
    order[cell] = -ORDER;
    if (down[cell] >= 0) --untraced[down[cell]];
  }

  void header(int32_t ORDER) {
    if (links) links->order(ORDER);
  }

  void link_line(int32_t start, int32_t end, int32_t ORDER, float LEN) {
    if (links) links->link(start / nj + 1, start % nj + 1, end / nj + 1, end % nj + 1, ORDER, LEN);
  }

  // Traces the link of order ORDER that starts at cell start: down a chain
  // of cells that each receive from the previous one alone, to the junction
  // or sink where it ends.
  void trace(int32_t start, int32_t ORDER, bool record) {
    mark_traced(start, ORDER);
    if (record) {
      if (n > table.LINK_ORD.size()) grow_table();
      table.LINK_ORD(n) = ORDER;
      table.LINK_I(n) = start / nj + 1;
      table.LINK_J(n) = start % nj + 1;
      ++n;
    }
    int32_t cur = start;
    int32_t next = down[cur];
    if (next < 0) {  // a start without outflow: not met on a network from FLOW_DIRECTIONS
      link_line(start, start, ORDER, 0.0f);
      return;
    }
    float LEN = 0.0f;
    LEN = LEN + step(cur);
    for (;;) {
      if (area[next] == area[cur] + 1) {
        if (down[next] < 0) {
          order[next] = SINK_MARK;
          break;
        }
        mark_traced(next, ORDER);
        cur = next;
        next = down[cur];
        LEN = LEN + step(cur);
      } else {
        if (down[next] < 0) {
          order[next] = SINK_MARK;
        } else {
          order[next] = ORDER + JUNCTION_BASE;
          if (untraced[next] == 0) ready.push_back(next);
        }
        break;
      }
    }
    link_line(start, next, ORDER, LEN);
  }

  // Highest order m among the inflows of cell and how many inflows carry it.
  // False when an inflow is not traced.
  bool inflow_orders(int32_t cell, int32_t& m, int32_t& count) const {
    const int32_t i = cell / nj + 1;
    const int32_t j = cell % nj + 1;
    m = 0;
    count = 0;
    for (int32_t di = -1; di <= 1; ++di) {
      for (int32_t dj = -1; dj <= 1; ++dj) {
        const int32_t in = i + di;
        const int32_t jn = j + dj;
        if ((di == 0 && dj == 0) || in < 1 || in > ni || jn < 1 || jn > nj) continue;
        const int32_t k = (in - 1) * nj + (jn - 1);
        if (down[k] != cell) continue;
        if (!is_traced(order[k])) return false;
        const int32_t o = -order[k];
        if (o > m) {
          m = o;
          count = 1;
        } else if (o == m) {
          ++count;
        }
      }
    }
    return true;
  }
};

// Junction pass after the sweep of order 1: every junction whose inflows are
// all traced starts an order-2 stream.
void resolve_after_first_order(Ordering& w) {
  for (int32_t cell : w.ready) {
    int32_t m = 0, count = 0;
    if (w.order[cell] > JUNCTION_BASE && w.inflow_orders(cell, m, count)) {
      w.order[cell] = 2;
      w.waiting(2).push_back(cell);
    }
  }
  w.ready.clear();
}

// Junction resolution after a sweep of order 2 and above: a junction whose
// inflows are all traced takes the highest inflow order m, plus one when m
// arrives on two or more inflows. A junction that keeps m continues a stream
// of the current order: CONTINUE is set and the order is swept again.
void TEST(Ordering& w, int32_t& CONTINUE) {
  CONTINUE = 0;
  for (int32_t cell : w.ready) {
    int32_t m = 0, count = 0;
    if (w.order[cell] <= JUNCTION_BASE || !w.inflow_orders(cell, m, count)) continue;
    if (count >= 2) {
      w.order[cell] = m + 1;
    } else {
      w.order[cell] = m;
      CONTINUE = 1;
    }
    w.waiting(w.order[cell]).push_back(cell);
  }
  w.ready.clear();
}

}  // namespace

void ORDINI(const Grid<int32_t>& FLOW_DIR, const Grid<int32_t>& AREA_CELLS, int32_t OUTLET_I, int32_t OUTLET_J,
            int32_t MAX_LINKS, Grid<int32_t>& STREAM_ORDER, LinkTable table, int32_t& LINK_OVERFLOW,
            LinkTrace* trace) {
  const int32_t ni = FLOW_DIR.rows();
  const int32_t nj = FLOW_DIR.cols();
  const int32_t cells = ni * nj;
  STREAM_ORDER.resize(ni, nj);
  LINK_OVERFLOW = 0;

  Ordering w{FLOW_DIR, table, trace, ni, nj, STREAM_ORDER.data(), AREA_CELLS.data(), downstream_index(FLOW_DIR),
             {}, {}, {}, 1};
  w.untraced.assign(static_cast<std::size_t>(cells), 0);
  for (int32_t k = 0; k < cells; ++k) {
    if (w.down[k] >= 0) ++w.untraced[w.down[k]];
  }
  // Every source cell starts a stream of order 1.
  std::vector<int32_t>& sources = w.waiting(1);
  for (int32_t k = 0; k < cells; ++k) {
    w.order[k] = w.area[k] == 1 ? 1 : 0;
    if (w.order[k] == 1) sources.push_back(k);
  }

  int32_t ORDER = 1;
  int32_t previous = 0;
  for (;;) {
    const bool first_sweep = ORDER != previous;
    if (first_sweep) w.header(ORDER);
    previous = ORDER;
    // The table is full once 10000 starts are recorded: the sweep stops at
    // the next cell it visits.
    if (w.n > MAX_LINKS && cells > 0) {
      LINK_OVERFLOW = 1;
      return;
    }
    std::vector<int32_t> sweep;
    sweep.swap(w.waiting(ORDER));
    std::sort(sweep.begin(), sweep.end());
    bool found = false;
    for (int32_t cell : sweep) {
      if (w.order[cell] != ORDER) continue;
      found = true;
      w.trace(cell, ORDER, first_sweep);
      if (w.n > MAX_LINKS && cell != cells - 1) {
        LINK_OVERFLOW = 1;
        return;
      }
    }
    if (!found) break;
    if (ORDER == 1) {
      ORDER = 2;
      resolve_after_first_order(w);
    } else {
      int32_t CONTINUE = 0;
      TEST(w, CONTINUE);
      if (CONTINUE == 0) ORDER += 1;
    }
  }

  // Traced links become positive orders; sinks -100, except the outlet,
  // which takes the highest order reached.
  for (int32_t i = 1; i <= ni; ++i) {
    int32_t* row = STREAM_ORDER.row(i);
    for (int32_t j = 1; j <= nj; ++j) {
      int32_t& v = row[j - 1];
      if (v > -999) {
        v = -v;
      } else {
        v = v / 10;
        if (i == OUTLET_I && j == OUTLET_J) v = ORDER - 1;
      }
    }
  }
  if (w.n > table.LINK_ORD.size()) w.grow_table();
  table.LINK_ORD(w.n) = -1;
}

}  // namespace tarvex
