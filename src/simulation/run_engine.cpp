// The run engine's time loop: a block of steps over the tiles, spread over
// the threads, and the state written back to the grids.
#include "simulation/run_engine_impl.hpp"

#include <limits>
#include <string>

#include "io/input_error.hpp"

namespace tarvex {

int32_t run_threads(int32_t jobs, int64_t cells, int64_t cells_per_thread) {
  const int64_t per = cells_per_thread > 0 ? cells_per_thread : kMinCellsPerThread;
  int64_t n = jobs > 0 ? jobs : static_cast<int64_t>(std::max(1u, std::thread::hardware_concurrency()));
  n = std::min<int64_t>(n, std::max<int64_t>(1, cells / per));
  return static_cast<int32_t>(std::min<int64_t>(n, 64));
}

RunEngine::RunEngine(const EngineOptions& options) : p_(std::make_unique<Impl>()) {
  p_->opt = options;
  p_->opt.tile_cells = std::max(1, options.tile_cells);
  p_->opt.block_steps = std::max(1, options.block_steps);
}
RunEngine::~RunEngine() = default;

int32_t RunEngine::threads() const { return p_->T; }

void RunEngine::build(const RunModel& s, const RunTables& t, RunKind kind) {
  Impl& E = *p_;
  E.stop_pool();
  // The loading has checked all of this; a state built otherwise is refused.
  const auto require = [](bool ok, const char* what) {
    if (!ok) throw InputError(std::string("the run engine cannot lay out this run: ") + what);
  };
  require(engine_grids_fit(s, t), "the grids are not all sized NI x NJ");
  require(s.catchment.NPATH >= 0 && s.catchment.NPATH <= s.catchment.IIN.size() && s.forcing.N_RAIN_ST >= 0,
          "the path list or the gauge count is out of range");
  require(s.catchment.N_SECTIONS >= 0 && s.catchment.N_SECTIONS <= kLimits.sections,
          "the cross-section count is out of range");
  for (int32_t k = 1; k <= s.catchment.N_SECTIONS; ++k) {
    require(s.catchment.FLOW_DIR.contains(s.catchment.SECTION_I(k), s.catchment.SECTION_J(k)),
            "a cross-section lies outside the grid");
  }

  const CelerityConstants cc = celerity_constants(s);
  EngineWalk w;
  require(walk_paths(s, cc, w),
          "a link leaves the grid or its directions, shares a cell with another link, or follows a link it drains "
          "into");
  E.T = run_threads(s.control.RUN_JOBS, w.V,
                    E.opt.cells_per_thread > 0 ? E.opt.cells_per_thread : s.control.min_cells_per_thread);
  const std::vector<int32_t> owner = partition_paths(w, E.T);
  std::vector<int32_t> eng_of, tile_of;
  E.lay_out(s, w, owner, eng_of, tile_of);

  // Weighted rain: the cells' gauge weights are copied next to each other.
  const bool weighted = s.forcing.INTERP_METHOD != 1;
  const int32_t w_stride = weighted ? std::max<int32_t>(s.forcing.N_RAIN_ST, 1) : 1;
  E.w_stride = w_stride;

  E.link_contributors(w, eng_of);
  E.plan_tiles(w, eng_of, tile_of);
  E.set_run_constants(s, kind, cc);
  E.load_cells(s, w, eng_of);
  E.n_active = std::count(E.active.begin(), E.active.end(), uint8_t{1});
  E.et_fixed = std::make_unique<std::atomic<int64_t>[]>(static_cast<std::size_t>(E.K));
  E.et_out_of_range = std::make_unique<std::atomic<bool>[]>(static_cast<std::size_t>(E.K));
  E.start_threads(s, t);
}

void RunEngine::Impl::start_threads(const RunModel& s, const RunTables& t) {
  cs = &s;
  ct = &t;
  stop = false;
  go.store(0);
  done.store(0);
  for (int32_t k = 1; k < T; ++k) pool.emplace_back([this, k] { worker(k); });
}

int32_t RunEngine::block_steps() const { return p_->K; }

void RunEngine::run(const RunModel& s, const RunTables& t, const StepInputs* in, int32_t n, float* sup, float* sub,
                    double* et) {
  Impl& E = *p_;
  E.sum_et = et != nullptr && E.continuous;
  if (E.sum_et) {
    for (std::size_t j = 0; j < static_cast<std::size_t>(n); ++j) {
      E.et_fixed[j].store(0, std::memory_order_relaxed);
      E.et_out_of_range[j].store(false, std::memory_order_relaxed);
    }
  }
  E.cs = &s;
  E.ct = &t;
  E.block = in;
  E.n_block = n;
  E.sec_sup = sup;
  E.sec_sub = sub;
  for (int32_t j = 0; j < n; ++j) {
    bool zero = E.weights_finite && in[j].MISS_FLAG != 1;
    for (int32_t k = 1; k <= E.n_rain; ++k) {
      const float v = s.forcing.RAIN_DATA(in[j].N, k);
      E.rd[static_cast<std::size_t>(E.n_rain) * j + static_cast<std::size_t>(k - 1)] = v;
      zero = zero && v == 0.0f;
    }
    E.rain_zero[static_cast<std::size_t>(j)] = zero ? 1 : 0;
  }
  if (E.T > 1) {
    E.done.store(0, std::memory_order_relaxed);
    E.go.fetch_add(1, std::memory_order_release);
    E.go.notify_all();
    E.work(0);
    for (int spin = 0; spin < 4000 && E.done.load(std::memory_order_acquire) != E.T - 1; ++spin) cpu_relax();
    for (int32_t d = E.done.load(std::memory_order_acquire); d != E.T - 1; d = E.done.load(std::memory_order_acquire)) {
      E.done.wait(d, std::memory_order_acquire);
    }
    for (int32_t tile = E.piece_tile[E.T]; tile < E.piece_tile[E.T + 1]; ++tile) E.run_tile(tile);
  } else {
    E.work(0);
  }
  // Cross-sections off the paths: their inflows at every step from the
  // outflows kept per step, then the last step's left in place.
  for (int32_t x = 0; x < E.n_sec; ++x) {
    const int32_t c = E.section[static_cast<std::size_t>(x)];
    if (c < E.V) continue;
    for (int32_t j = 0; j < n; ++j) {
      const auto kept = [&](const std::vector<float>& hist) {
        return [&hist, &E, j](int32_t u) { return hist[static_cast<std::size_t>(E.slot[u]) * E.K + j]; };
      };
      E.inflows(c, kept(E.hist_sup), kept(E.hist_sub), sup[static_cast<std::size_t>(j) * E.n_sec + x],
                sub[static_cast<std::size_t>(j) * E.n_sec + x]);
    }
  }
  E.gather(E.V, E.M);
  if (et != nullptr) {
    for (int32_t j = 0; j < n; ++j) {
      const double total = static_cast<double>(E.et_fixed[static_cast<std::size_t>(j)].load(std::memory_order_relaxed));
      const bool spoilt = E.et_out_of_range[static_cast<std::size_t>(j)].load(std::memory_order_relaxed);
      et[j] = E.sum_et && E.n_active > 0 && !spoilt ? total / Impl::ET_FIXED_SCALE / static_cast<double>(E.n_active)
                                                     : std::numeric_limits<double>::quiet_NaN();
    }
  }
}

void RunEngine::write_back(const RunModel& s, RunTables& t) const {
  const Impl& E = *p_;
  t.STEP_RUNOFF.fill(-1.0f);
  Grid<float>* const qgrids[8] = {&s.run.QIN_SUP,     &s.run.QOUT_SUP,     &s.run.QIN_SUB,     &s.run.QOUT_SUB,
                                  &s.run.QIN_SUP_OLD, &s.run.QOUT_SUP_OLD, &s.run.QIN_SUB_OLD, &s.run.QOUT_SUB_OLD};
  for (int32_t c = 0; c < E.M; ++c) {
    const std::size_t g = E.gidx[static_cast<std::size_t>(c)];
    const std::size_t c4 = 4 * static_cast<std::size_t>(c);
    if (E.active[c]) {
      t.STEP_RUNOFF.data()[g] = E.runoff[c];
      s.run.CUM_RAIN.data()[g] = E.cum_rain[c];
      s.run.SOIL_WATER.data()[g] = E.soil[c];
      s.run.SUB_STORE.data()[g] = E.store[c];
      s.run.ET_DEFICIT.data()[g] = E.deficit[c];
      s.run.SUB_FLOW.data()[g] = E.sub_flow[c];
      s.run.CELL_TEMP.data()[g] = E.temp[c];
      s.run.CELL_ET.data()[g] = E.et[c];
      s.run.EVENT_RAIN.data()[g] = E.event_rain[c];
      s.run.INFILTRATION.data()[g] = E.infil[c];
    }
    s.run.C1_SUP.data()[g] = E.c_sup[c4];
    s.run.C2_SUP.data()[g] = E.c_sup[c4 + 1];
    s.run.C3_SUP.data()[g] = E.c_sup[c4 + 2];
    s.run.C4_SUP.data()[g] = E.c_sup[c4 + 3];
    s.run.C1_SUB.data()[g] = E.c_sub[c4];
    s.run.C2_SUB.data()[g] = E.c_sub[c4 + 1];
    s.run.C3_SUB.data()[g] = E.c_sub[c4 + 2];
    s.run.C4_SUB.data()[g] = E.c_sub[c4 + 3];
    // After the last shift the current flows are cleared.
    for (int32_t k = 0; k < 4; ++k) qgrids[k]->data()[g] = 0.0f;
    for (int32_t k = 0; k < 4; ++k) qgrids[k + 4]->data()[g] = E.q[k][c];
  }
}

}  // namespace tarvex
