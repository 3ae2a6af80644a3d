#include "routing/routing.hpp"

#include <initializer_list>
#include <string>

#include "model/direction_code.hpp"
#include "io/input_error.hpp"
#include "routing/celerity.hpp"

namespace tarvex {
namespace {

std::string cell_text(int32_t i, int32_t j) { return "(" + std::to_string(i) + "," + std::to_string(j) + ")"; }

[[noreturn]] void broken_path(int32_t k, int32_t i0, int32_t j0, int32_t ie, int32_t je, const std::string& why) {
  throw InputError("path list: link " + std::to_string(k) + " from cell " + cell_text(i0, j0) + " to cell " +
                   cell_text(ie, je) + " does not reach its end cell along the flow directions: " + why);
}

// Every grid the walk touches must have the NI x NJ shape, so that one
// row-major offset addresses the same cell in all of them.
void check_shapes(const RunModel& s, const Grid<float>& RUNOFF) {
  bool ok = s.catchment.FLOW_DIR.rows() == s.catchment.NI && s.catchment.FLOW_DIR.cols() == s.catchment.NJ && s.catchment.AREA_CELLS.rows() == s.catchment.NI &&
            s.catchment.AREA_CELLS.cols() == s.catchment.NJ && s.catchment.ROUGH_CLASS.rows() == s.catchment.NI && s.catchment.ROUGH_CLASS.cols() == s.catchment.NJ;
  for (const Grid<float>* g : std::initializer_list<const Grid<float>*>{&RUNOFF, &s.catchment.ELEVATION, &s.catchment.SLOPE, &s.run.INFILTRATION, &s.run.SUB_FLOW, &s.run.C1_SUP, &s.run.C2_SUP, &s.run.C3_SUP,
        &s.run.C4_SUP, &s.run.C1_SUB, &s.run.C2_SUB, &s.run.C3_SUB, &s.run.C4_SUB, &s.run.QIN_SUP, &s.run.QOUT_SUP, &s.run.QIN_SUB,
        &s.run.QOUT_SUB, &s.run.QIN_SUP_OLD, &s.run.QOUT_SUP_OLD, &s.run.QIN_SUB_OLD, &s.run.QOUT_SUB_OLD}) {
    ok = ok && g->rows() == s.catchment.NI && g->cols() == s.catchment.NJ;
  }
  if (!ok) {
    throw InputError("routing: the grids are not all sized " + std::to_string(s.catchment.NI) + " x " +
                     std::to_string(s.catchment.NJ));
  }
  if (s.catchment.NPATH < 0 || s.catchment.NPATH > s.catchment.IIN.size()) {
    throw InputError("routing: " + std::to_string(s.catchment.NPATH) + " paths, the path list holds at most " +
                     std::to_string(s.catchment.IIN.size()));
  }
}

}  // namespace

void ROUTING(const RunModel& s, const Grid<float>& RUNOFF) {
  check_shapes(s, RUNOFF);
  const CelerityConstants c = celerity_constants(s);
  const float a = c.a;                                        // km2, cell area
  const float f = s.catchment.CELL_DX * s.catchment.CELL_DY / s.params.DT_SIM / 1000.0f;  // mm per step over a cell -> m3/s
  const bool event_run = s.control.RUN_MODE < 3;
  // Scalars held locally: the flow grids are written through float pointers.
  const float a_channel = c.a_channel;
  const float dx = s.catchment.CELL_DX, dy = s.catchment.CELL_DY, dt = s.params.DT_SIM;
  const std::size_t nj = static_cast<std::size_t>(s.catchment.NJ);
  // A path that reaches its end visits each cell at most once.
  const int64_t max_cells = static_cast<int64_t>(s.catchment.NI) * static_cast<int64_t>(s.catchment.NJ);

  const int32_t* flow_dir = s.catchment.FLOW_DIR.data();
  const int32_t* area_cells = s.catchment.AREA_CELLS.data();
  const float* runoff = RUNOFF.data();
  const float* infiltration = s.run.INFILTRATION.data();
  const float* sub_flow = s.run.SUB_FLOW.data();
  float* qin_sup = s.run.QIN_SUP.data();
  float* qout_sup = s.run.QOUT_SUP.data();
  float* qin_sub = s.run.QIN_SUB.data();
  float* qout_sub = s.run.QOUT_SUB.data();
  const float* qin_sup_old = s.run.QIN_SUP_OLD.data();
  const float* qout_sup_old = s.run.QOUT_SUP_OLD.data();
  const float* qin_sub_old = s.run.QIN_SUB_OLD.data();
  const float* qout_sub_old = s.run.QOUT_SUB_OLD.data();
  const float* c1_sup = s.run.C1_SUP.data();
  const float* c2_sup = s.run.C2_SUP.data();
  const float* c3_sup = s.run.C3_SUP.data();
  const float* c4_sup = s.run.C4_SUP.data();
  const float* c1_sub = s.run.C1_SUB.data();
  const float* c2_sub = s.run.C2_SUB.data();
  const float* c3_sub = s.run.C3_SUB.data();
  const float* c4_sub = s.run.C4_SUB.data();

  for (int32_t k = 1; k <= s.catchment.NPATH; ++k) {
    const int32_t i0 = s.catchment.IIN(k), j0 = s.catchment.JIN(k);
    const int32_t ie = s.catchment.IFIN(k), je = s.catchment.JFIN(k);
    int32_t i = i0, j = j0;
    if (!s.catchment.FLOW_DIR.contains(i, j)) broken_path(k, i0, j0, ie, je, "the start cell lies outside the grid");
    for (int64_t visited = 0;; ++visited) {
      if (visited == max_cells) broken_path(k, i0, j0, ie, je, "the directions form a loop");
      const std::size_t idx = static_cast<std::size_t>(i - 1) * nj + static_cast<std::size_t>(j - 1);
      const int32_t code = flow_dir[idx];
      if (!is_flow_code(code)) {
        broken_path(k, i0, j0, ie, je, "cell " + cell_text(i, j) + " has direction code " + std::to_string(code));
      }
      const Step step = decode_direction(code);
      const int32_t in = i + step.di, jn = j + step.dj;
      if (!s.catchment.FLOW_DIR.contains(in, jn)) {
        broken_path(k, i0, j0, ie, je, "cell " + cell_text(i, j) + " drains off the grid");
      }
      const std::size_t nidx = static_cast<std::size_t>(in - 1) * nj + static_cast<std::size_t>(jn - 1);
      const bool diagonal = step.di != 0 && step.dj != 0;

      if (static_cast<float>(area_cells[idx]) * a >= a_channel) {
        // Channel cell: the subsurface flow that reached it joins the surface.
        qin_sup[idx] = qin_sup[idx] + qin_sub[idx];
      } else {
        celer_sub_cell(s, c, idx, diagonal);
        // Lateral subsurface input, m3/s: the infiltrated depth in an event
        // run, the subsurface store's outflow otherwise.
        const float lateral = event_run ? c4_sub[idx] * infiltration[idx] * dx * dy / dt / 1000.0f
                                        : c4_sub[idx] * sub_flow[idx];
        const float q = muskingum_outflow(c1_sub[idx], c2_sub[idx], c3_sub[idx], qin_sub[idx], qin_sub_old[idx],
                                          qout_sub_old[idx], lateral);
        qout_sub[idx] = q;
        qin_sub[nidx] = qin_sub[nidx] + q;
      }

      celer_sup_cell(s, c, i, j, idx, diagonal);
      const float q = muskingum_outflow(c1_sup[idx], c2_sup[idx], c3_sup[idx], qin_sup[idx], qin_sup_old[idx],
                                        qout_sup_old[idx], c4_sup[idx] * runoff[idx] * f);
      qout_sup[idx] = q;
      qin_sup[nidx] = qin_sup[nidx] + q;

      if (in == ie && jn == je) break;
      i = in;
      j = jn;
    }
  }
}

}  // namespace tarvex
