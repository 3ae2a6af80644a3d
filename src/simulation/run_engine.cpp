#include "simulation/run_engine.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <queue>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#define TARVEX_ENGINE_LANES 1
#include <immintrin.h>
// GCC 12 warns inside the intrinsics, whose unused pass-through operands
// are left undefined on purpose, and at the laws instantiated for 8-double
// lanes, which are inlined into the AVX-512 functions (no such value crosses
// a call).
#if !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wpsabi"
#endif
#else
#define TARVEX_ENGINE_LANES 0
#endif

#include "laws/curve_number.hpp"
#include "laws/subsurface.hpp"
#include "model/direction_code.hpp"
#include "routing/celerity.hpp"
#include "routing/muskingum_batch.hpp"
#include "routing/powf_batch.hpp"
#include "simulation/continuous.hpp"

namespace tarvex {
namespace {

std::atomic<bool> g_dry_reuse{true};
std::atomic<bool> g_engine{true};
std::atomic<bool> g_lanes{true};
std::atomic<int64_t> g_cells_per_thread{16384};
std::atomic<int32_t> g_tile_cells{8192};
std::atomic<int32_t> g_block_steps{64};

#if TARVEX_ENGINE_LANES
// The lanes of a comparison of 8 doubles (all ones or all zeros) as a mask.
template <class M>
__attribute__((target("avx512f"))) inline __mmask8 lane_mask(M m) {
  const __m512i v = reinterpret_cast<__m512i>(m);
  return _mm512_test_epi64_mask(v, v);
}
#endif

inline void cpu_relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

}  // namespace

void set_dry_cell_reuse(bool on) { g_dry_reuse.store(on); }

void set_run_engine(bool on) { g_engine.store(on); }
void set_engine_lanes(bool on) { g_lanes.store(on); }
void set_engine_tiles(int32_t cells, int32_t steps) {
  g_tile_cells.store(std::max(1, cells));
  g_block_steps.store(std::max(1, steps));
}
bool run_engine_enabled() { return g_engine.load(); }

void set_min_cells_per_thread(int64_t cells) { g_cells_per_thread.store(std::max<int64_t>(1, cells)); }

int32_t run_threads(int32_t jobs, int64_t cells) {
  int64_t n = jobs > 0 ? jobs : static_cast<int64_t>(std::max(1u, std::thread::hardware_concurrency()));
  n = std::min<int64_t>(n, std::max<int64_t>(1, cells / g_cells_per_thread.load()));
  return static_cast<int32_t>(std::min<int64_t>(n, 64));
}

struct RunEngine::Impl {
  // ---- Run constants
  bool continuous = true;     // runoff by CONTINUOUS, otherwise CN_METHOD
  bool lateral_event = false; // subsurface input from INFILTRATION (RUN_MODE < 3)
  bool impervious = false;
  int32_t interp = 2, n_rain = 0;
  std::size_t grid_cells = 0;
  float R = 0, DT = 0, inv_tau = 0, dx = 0, dy = 0, f = 0, lambda = 0;
  CelerityConstants cc;  // routing step, section and celerity laws

  // ---- Layout: [0, V) routed cells (per thread piece ranges, then the
  // trunk), [V, M) the other cells (catchment cells off the paths, end
  // cells, cross-sections).
  int32_t M = 0, V = 0;
  std::vector<std::size_t> gidx;     // row-major grid offset
  std::vector<uint8_t> active;       // SLOPE > 0: runoff generated
  std::vector<uint8_t> channel, area0;
  std::vector<int32_t> up_sup_begin, up_sup, up_sub_begin, up_sub;  // contributors in walk order
  std::vector<int32_t> section;      // engine cell of cross-section k
  std::vector<int32_t> block_end;    // end of the run of routed cells of the same height and thread


  // Runoff-generation constants.
  std::vector<float> soil_S, soil_cap, sub_cap, lapse, weight;  // weight: w_stride planes of M
  int32_t w_stride = 1;  // gauges, at least 1
  std::vector<float> rd;  // rain of every gauge at each step's record, mm (n_rain per step)
  std::vector<uint8_t> rain_zero;  // per step: weighted, no gauge missing, every gauge zero
  // Weighted rain is +0 on every cell when every gauge reads zero (each term
  // rd*w*R is a zero and +0 + -0 is +0) if the weights and R are finite.
  bool weights_finite = false;
  std::vector<int32_t> temp_st, rain_st;
  // Routing constants.
  std::vector<float> L, KS, slope;
  std::vector<double> sub_den, sub_Cr;
  // Coefficients that depend on the cell alone, in 4 planes of M (C1 of
  // every cell, then C2, ...): surface ones of a dry cell (reference
  // discharge at its 0.0001 floor), subsurface ones when the diffusion number
  // is raised to 1 - Cr (sub_den and sub_Cr, the cell's ck*S*W_SUB*L and
  // ck*DT/L, as celer_sub_cell evaluates them).
  std::vector<float> dry_sup, low_sub;

  // ---- State
  std::vector<float> cum_rain, soil, store, deficit, sub_flow, temp, et, event_rain, infil, runoff;
  std::vector<float> c_sup, c_sub;  // 4 per cell, last coefficients
  std::vector<float> cn_acc;        // accumulated direct runoff at event_rain (event method)
  // Flows, m3/s: qin_sup, qout_sup, qin_sub, qout_sub, updated in place. A
  // cell reads its previous-step values before it writes the step's, which
  // are then the next step's previous ones.
  std::vector<float> q[4];
  float* qin_sup = nullptr;
  float* qout_sup = nullptr;
  float* qin_sub = nullptr;
  float* qout_sub = nullptr;

  // ---- Tiles: runs [tile_begin[t], tile_begin[t + 1]) of routed cells,
  // closed upstream within their thread's piece (or the trunk), each routed
  // over all the steps of a block while its cells stay in cache. The outflows
  // a cell of another tile (or off the paths) reads are kept per step, in
  // row slot[c] of hist_sup and hist_sub (K steps a row).
  int32_t K = 1;                          // steps of a block at most
  int32_t n_block = 0;                    // steps of the block being run
  std::vector<int32_t> tile_begin;        // tiles + 1
  std::vector<int32_t> piece_tile;        // first tile of piece k; [T] the trunk's; [T + 1] the end
  std::vector<int32_t> in_begin, in_cells;    // per tile: cells of earlier tiles it reads
  std::vector<int32_t> out_begin, out_cells;  // per tile: its cells read elsewhere
  std::vector<int32_t> sec_begin, sec_list;   // per tile: cross-sections (from 0) at its cells
  std::vector<int32_t> slot;
  std::vector<float> hist_sup, hist_sub;
  int32_t n_sec = 0;
  float* sec_sup = nullptr;  // the block's section flows, [step * n_sec + section]
  float* sec_sub = nullptr;

  // ---- Threads
  int32_t T = 1;
  std::vector<std::thread> pool;
  std::atomic<uint32_t> go{0};
  std::atomic<int32_t> done{0};
  bool stop = false;
  const ModelState* cs = nullptr;
  const RunTables* ct = nullptr;
  const StepInputs* block = nullptr;  // the steps of the block being run
  bool dry_reuse = true;
  bool route_lanes = false;         // route_block_lanes routes the blocks

  ~Impl() { stop_pool(); }

  void stop_pool() {
    if (pool.empty()) return;
    stop = true;
    go.fetch_add(1, std::memory_order_release);
    go.notify_all();
    for (std::thread& th : pool) th.join();
    pool.clear();
  }

  void set_pointers() {
    qin_sup = q[0].data();
    qout_sup = q[1].data();
    qin_sub = q[2].data();
    qout_sub = q[3].data();
  }

  // Step j of a block: its record, missing stations and the tables runoff
  // reads.
  struct StepView {
    int32_t N;
    bool miss, tmiss;        // a rain gauge, the temperature station missing
    const float* rd;         // the gauges' rain at the record
    const float* wstep;      // the step's weights and station maps
    const int32_t* mstep;
    const int32_t* tstep;
    int32_t month;
    bool rain_zero;
    bool keep;               // the coefficients are kept (the run's last step)
  };
  StepView step_view(int32_t j) const {
    const StepInputs& in = block[j];
    return {in.N,
            in.MISS_FLAG == 1,
            in.TMISS_FLAG != 0,
            rd.data() + static_cast<std::size_t>(n_rain) * j,
            ct->RAIN_WEIGHT_STEP.data(),
            ct->RAIN_STATION_MAP_STEP.data(),
            ct->TEMP_STATION_MAP_STEP.data(),
            in.MONTH,
            rain_zero[static_cast<std::size_t>(j)] != 0,
            in.keep_coefficients};
  }
  // Share k of T of the cells off the paths [V, M), whose runoff is
  // generated by the T threads.
  void rest_range(int32_t k, int32_t& b, int32_t& e) const {
    const int64_t n = M - V;
    b = V + static_cast<int32_t>(n * k / T);
    e = V + static_cast<int32_t>(n * (k + 1) / T);
  }

  void runoff_range(int32_t b, int32_t e, const StepView& v);
  // Rain of cell c in the step, mm, summed as the grid functions sum it: the
  // nearest gauge, or the weighted gauges (rd: the record's values).
  float cell_rain(const ModelState& s, int32_t c, int32_t N, bool miss, const float* rd, const float* wstep,
                  const int32_t* mstep, bool rain_zero) const {
    if (interp == 1) {
      const int32_t st = miss ? mstep[gidx[c]] : rain_st[c];
      return s.RAIN_DATA(N, st) * R;
    }
    float P = 0.0f;
    if (rain_zero) return P;
    if (miss) {
      for (int32_t k = 0; k < n_rain; ++k) P = rd[k] * wstep[grid_cells * k + gidx[c]] * R + P;
    } else {
      const float* w = &weight[static_cast<std::size_t>(c)];
      for (int32_t k = 0; k < n_rain; ++k) P = rd[k] * w[static_cast<std::size_t>(M) * k] * R + P;
    }
    return P;
  }
  // Temperature of cell c at record N, degrees Celsius: its station's less
  // the lapse to its elevation (the step's station map when one is missing).
  float cell_temperature(const ModelState& s, int32_t c, int32_t N, bool tmiss, const int32_t* tstep) const {
    if (tmiss) {
      const int32_t st = tstep[gidx[c]];
      return s.TEMP_DATA(N, st) - (s.ELEVATION.data()[gidx[c]] - s.TEMP_Z(st)) * 0.0063f;
    }
    return s.TEMP_DATA(N, temp_st[c]) - lapse[c];
  }
  // Subsurface store of a stiff cell c over the step (the explicit stages
  // would overshoot): the exact solution from q0 (mm) with recharge r,
  // decay g and deficit D; the runoff from the overflow X (mm), the outflow
  // and the store, capped at scap (mm).
  void stiff_store(int32_t c, float q0, float r, float g, float D, float X, float scap) {
    StoreStep<float> step;
    SUB_STORE_EXACT(q0, r, g, D, DT, step.q, step.mean);
    runoff[c] = store_runoff(step.mean, X, scap);
    sub_flow[c] = store_outflow(inv_tau, step.mean, dx, dy);
    store[c] = store_capped(step.q, scap);
  }
  void continuous_cells(int32_t b, int32_t e, const StepView& v);
  void continuous_cells_lanes(int32_t b, int32_t e, const StepView& v);
  void cn_cells(int32_t b, int32_t e, const StepView& v);
  void sub_store_stages(int32_t n, const float* X, const float* r, const float* g, const float* D, const float* cap,
                        const float* q0, float* ro, float* flow, float* q1) const;
  void route_range(int32_t b, int32_t e, bool keep);
  void route_block(int32_t b, int32_t e, bool keep);
  void route_block_lanes(int32_t b, int32_t e, bool keep);
  static constexpr int32_t CHUNK = 256;  // cells of a block routed together
  void wet_coefficients(int32_t b0, int32_t n, const int32_t* wet, const float* q_ref, float (*C_wet)[CHUNK]) const;
  void gather(int32_t b, int32_t e);
  // Surface and subsurface inflow of cell c (m3/s), summed in the order of
  // the walk over its contributors' outflows out_sup(u) and out_sub(u).
  template <class Sup, class Sub>
  void inflows(int32_t c, const Sup& out_sup, const Sub& out_sub, float& a, float& u) const {
    a = 0.0f;
    for (int32_t k = up_sup_begin[c]; k < up_sup_begin[c + 1]; ++k) a = a + out_sup(up_sup[k]);
    u = 0.0f;
    for (int32_t k = up_sub_begin[c]; k < up_sub_begin[c + 1]; ++k) u = u + out_sub(up_sub[k]);
  }
  // The same from this step's outflows.
  void inflows(int32_t c, float& a, float& u) const {
    inflows(c, [this](int32_t k) { return qout_sup[k]; }, [this](int32_t k) { return qout_sub[k]; }, a, u);
  }

  // The steps [0, n_block) of tile t: each step's runoff and routing of its
  // cells, the flows it reads from earlier tiles restored to that step's, the
  // flows later tiles read kept per step.
  void run_tile(int32_t t) {
    const int32_t b = tile_begin[t], e = tile_begin[t + 1];
    for (int32_t j = 0; j < n_block; ++j) {
      const StepView v = step_view(j);
      for (int32_t k = in_begin[t]; k < in_begin[t + 1]; ++k) {
        const int32_t c = in_cells[k];
        const std::size_t h = static_cast<std::size_t>(slot[c]) * K + j;
        qout_sup[c] = hist_sup[h];
        qout_sub[c] = hist_sub[h];
      }
      runoff_range(b, e, v);
      route_range(b, e, v.keep);
      for (int32_t k = out_begin[t]; k < out_begin[t + 1]; ++k) {
        const int32_t c = out_cells[k];
        const std::size_t h = static_cast<std::size_t>(slot[c]) * K + j;
        hist_sup[h] = qout_sup[c];
        hist_sub[h] = qout_sub[c];
      }
      for (int32_t k = sec_begin[t]; k < sec_begin[t + 1]; ++k) {
        const int32_t x = sec_list[k];
        sec_sup[static_cast<std::size_t>(j) * n_sec + x] = qin_sup[section[x]];
        sec_sub[static_cast<std::size_t>(j) * n_sec + x] = qin_sub[section[x]];
      }
    }
  }

  // Thread k's part of a block: the tiles of its piece, then its share of
  // the runoff of the cells off the paths, a few hundred cells over all the
  // steps at a time.
  void work(int32_t k) {
    for (int32_t t = piece_tile[k]; t < piece_tile[k + 1]; ++t) run_tile(t);
    int32_t b, e;
    rest_range(k, b, e);
    constexpr int32_t REST_CHUNK = 512;
    for (int32_t b0 = b; b0 < e; b0 += REST_CHUNK) {
      for (int32_t j = 0; j < n_block; ++j) runoff_range(b0, std::min(b0 + REST_CHUNK, e), step_view(j));
    }
  }

  void worker(int32_t k) {
    uint32_t seen = 0;
    for (;;) {
      for (int spin = 0; spin < 4000 && go.load(std::memory_order_acquire) == seen; ++spin) cpu_relax();
      go.wait(seen, std::memory_order_acquire);
      seen = go.load(std::memory_order_acquire);
      if (stop) return;
      work(k);
      if (done.fetch_add(1, std::memory_order_acq_rel) + 1 == T - 1) done.notify_one();
    }
  }
};

void RunEngine::Impl::runoff_range(int32_t b, int32_t e, const StepView& v) {
  if (b >= e) return;
  if (continuous) {
#if TARVEX_ENGINE_LANES
    if (route_lanes) {
      continuous_cells_lanes(b, e, v);
      return;
    }
#endif
    continuous_cells(b, e, v);
  } else {
    cn_cells(b, e, v);
  }
}

// The four clamped Runge-Kutta stages of the subsurface store and its
// outflows for cells [0, n) of a block (inputs padded to a multiple of 4):
// the store's laws, four cells at a time in SSE lanes.
void RunEngine::Impl::sub_store_stages(int32_t n, const float* X, const float* r, const float* g, const float* D,
                                       const float* cap, const float* q0, float* ro, float* flow, float* q1) const {
  const auto stages = [&](auto q, auto rv, auto gv, auto Dv, auto Xv, auto capv, auto& out, auto& flow_v,
                          auto& q_v) {
    const auto step = store_stages(q, rv, gv, Dv, DT);
    out = store_runoff(step.mean, Xv, capv);
    flow_v = store_outflow(inv_tau, step.mean, dx, dy);
    q_v = store_capped(step.q, capv);
  };
#if defined(__SSE2__)
  for (int32_t i = 0; i < n; i += 4) {
    __m128 out, fl, qe;
    stages(_mm_load_ps(q0 + i), _mm_load_ps(r + i), _mm_load_ps(g + i), _mm_load_ps(D + i), _mm_load_ps(X + i),
           _mm_load_ps(cap + i), out, fl, qe);
    _mm_store_ps(ro + i, out);
    _mm_store_ps(flow + i, fl);
    _mm_store_ps(q1 + i, qe);
  }
#else
  for (int32_t i = 0; i < n; ++i) stages(q0[i], r[i], g[i], D[i], X[i], cap[i], ro[i], flow[i], q1[i]);
#endif
}

void RunEngine::Impl::continuous_cells(int32_t b, int32_t e, const StepView& v) {
  const ModelState& s = *cs;
  const auto [N, miss, tmiss, rd, wstep, mstep, tstep, month, rain_zero, keep] = v;
  const MonthlyEt et_month(s, month);
  // Blocks of cells in three stages (rain and soil store, subsurface store,
  // evapotranspiration), each a loop of independent iterations; the
  // subsurface store of four cells at a time in vector lanes.
  constexpr int32_t BLOCK = 128;
  const bool dt_positive = DT > 0.0f;
  alignas(16) float soil_after[BLOCK], excess[BLOCK], recharge[BLOCK], decay[BLOCK], def0[BLOCK], cap0[BLOCK],
      store0[BLOCK], ro_v[BLOCK], flow_v[BLOCK], store_v[BLOCK], T_v[BLOCK], E_v[BLOCK];
  bool stiff[BLOCK];
  for (int32_t b0 = b; b0 < e; b0 += BLOCK) {
    const int32_t e0 = std::min(b0 + BLOCK, e);
    const int32_t n = e0 - b0;
    for (int32_t c = b0; c < e0; ++c) {
      const int32_t i = c - b0;
      if (!active[c]) {
        runoff[c] = -1.0f;
        soil_after[i] = excess[i] = recharge[i] = decay[i] = def0[i] = store0[i] = 0.0f;
        cap0[i] = 1.0f;
        stiff[i] = false;
        continue;
      }
      const float P = cell_rain(s, c, N, miss, rd, wstep, mstep, rain_zero);  // mm in the step
      cum_rain[c] = P + cum_rain[c];
      // Soil store; its overflow X recharges the subsurface store.
      const SoilFill<float> fill = soil_fill(soil[c] + P, soil_cap[c]);
      const float sw = fill.water, X = fill.overflow;
      float r, g;
      if (dry_reuse && X == 0.0f && dt_positive && sub_cap[c] > 0.0f) {
        // No recharge: X/DT and r/sub_cap are +0.
        r = 0.0f;
        g = inv_tau + 0.0f;
      } else {
        r = store_recharge(X, DT);
        g = store_decay(inv_tau, r, sub_cap[c]);
      }
      soil_after[i] = sw;
      excess[i] = X;
      recharge[i] = r;
      decay[i] = g;
      def0[i] = deficit[c];
      cap0[i] = sub_cap[c];
      store0[i] = store[c];
      // A stiff cell would make the explicit stages overshoot: exact solution.
      stiff[i] = store_stiff(static_cast<double>(g), DT);
    }
    for (int32_t i = n; i < ((n + 3) & ~3); ++i) {
      excess[i] = recharge[i] = decay[i] = def0[i] = store0[i] = 0.0f;
      cap0[i] = 1.0f;
    }
    sub_store_stages(n, excess, recharge, decay, def0, cap0, store0, ro_v, flow_v, store_v);
    for (int32_t c = b0; c < e0; ++c) {
      if (!active[c]) continue;
      const int32_t i = c - b0;
      if (!stiff[i]) {
        runoff[c] = ro_v[i];
        sub_flow[c] = flow_v[i];
        store[c] = store_v[i];
        continue;
      }
      stiff_store(c, store0[i], recharge[i], decay[i], def0[i], excess[i], cap0[i]);
    }
    for (int32_t c = b0; c < e0; ++c) T_v[c - b0] = active[c] ? cell_temperature(s, c, N, tmiss, tstep) : 0.0f;
    et_month.step_depths(T_v, E_v, n);
    for (int32_t c = b0; c < e0; ++c) {
      if (!active[c]) continue;
      temp[c] = T_v[c - b0];
      const float E = E_v[c - b0];
      et[c] = E;
      const SoilWithdrawal<float> left = soil_withdraw(soil_after[c - b0], E, DT);
      deficit[c] = left.deficit;
      soil[c] = left.water;
    }
  }
}

#if TARVEX_ENGINE_LANES
// continuous_cells sixteen cells at a time in AVX-512 lanes, each lane the
// scalar arithmetic of its cell in the same order. Rain comes from the
// weights in lanes when no gauge is missing; a stiff cell's subsurface store
// is taken cell by cell.
__attribute__((target("avx512f,avx512vl,avx512bw"))) void RunEngine::Impl::continuous_cells_lanes(int32_t b,
                                                                                                   int32_t e,
                                                                                                   const StepView& v) {
  const ModelState& s = *cs;
  const auto [N, miss, tmiss, rd, wstep, mstep, tstep, month, rain_zero, keep] = v;
  const MonthlyEt et_month(s, month);
  const bool rain_lanes = interp != 1 && !miss;
  constexpr int32_t BLOCK = 128;
  alignas(64) float P_v[BLOCK], soil_after[BLOCK], excess[BLOCK], recharge[BLOCK], decay[BLOCK], def0[BLOCK],
      cap0[BLOCK], store0[BLOCK], T_v[BLOCK], E_v[BLOCK];
  const __m512 zero = _mm512_setzero_ps(), minus_one = _mm512_set1_ps(-1.0f), one = _mm512_set1_ps(1.0f);
  const __m512 Rv = _mm512_set1_ps(R);
  for (int32_t b0 = b; b0 < e; b0 += BLOCK) {
    const int32_t e0 = std::min(b0 + BLOCK, e);
    const int32_t n = e0 - b0;
    if (!rain_lanes) {
      for (int32_t c = b0; c < e0; ++c) {
        P_v[c - b0] = active[c] ? cell_rain(s, c, N, miss, rd, wstep, mstep, rain_zero) : 0.0f;
      }
    }
    unsigned stiff_any = 0;
    __mmask16 stiff_m[BLOCK / 16] = {};
    __mmask16 act_m[BLOCK / 16] = {};
    // Rain, soil store, recharge and decay of the subsurface store.
    for (int32_t i = 0; i < n; i += 16) {
      const int32_t c = b0 + i;
      const __mmask16 live = static_cast<__mmask16>(n - i >= 16 ? 0xffffu : (1u << (n - i)) - 1u);
      const __mmask16 act = _mm_test_epi8_mask(_mm_maskz_loadu_epi8(live, active.data() + c), _mm_set1_epi8(-1));
      act_m[i / 16] = act;
      _mm512_mask_storeu_ps(runoff.data() + c, live & static_cast<__mmask16>(~act), minus_one);
      __m512 P;
      if (rain_lanes) {
        P = zero;
        for (int32_t k = 0; !rain_zero && k < n_rain; ++k) {
          const __m512 w = _mm512_maskz_loadu_ps(act, weight.data() + static_cast<std::size_t>(M) * k + c);
          P = _mm512_add_ps(_mm512_mul_ps(_mm512_mul_ps(_mm512_set1_ps(rd[k]), w), Rv), P);
        }
      } else {
        P = _mm512_load_ps(P_v + i);
      }
      _mm512_mask_storeu_ps(cum_rain.data() + c, act, _mm512_add_ps(P, _mm512_maskz_loadu_ps(act, cum_rain.data() + c)));
      // The laws in lanes; the lanes off the catchment are never stored.
      const auto fill = soil_fill(_mm512_add_ps(_mm512_maskz_loadu_ps(act, soil.data() + c), P),
                                              _mm512_maskz_loadu_ps(act, soil_cap.data() + c));
      const __m512 X = fill.overflow, sw = fill.water;
      const __m512 scap = _mm512_mask_loadu_ps(one, act, sub_cap.data() + c);
      const __m512 r = store_recharge(X, DT);
      const __m512 g = store_decay(inv_tau, r, scap);
      const __mmask8 s_lo = lane_mask(store_stiff(_mm512_cvtps_pd(_mm512_castps512_ps256(g)), DT));
      const __mmask8 s_hi = lane_mask(
          store_stiff(_mm512_cvtps_pd(_mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(g), 1))), DT));
      const __mmask16 stiff = act & static_cast<__mmask16>(s_lo | (static_cast<unsigned>(s_hi) << 8));
      stiff_m[i / 16] = stiff;
      stiff_any |= stiff;
      _mm512_store_ps(soil_after + i, sw);
      _mm512_store_ps(excess + i, _mm512_maskz_mov_ps(act, X));
      _mm512_store_ps(recharge + i, _mm512_maskz_mov_ps(act, r));
      _mm512_store_ps(decay + i, g);
      _mm512_store_ps(def0 + i, _mm512_maskz_loadu_ps(act, deficit.data() + c));
      _mm512_store_ps(cap0 + i, scap);
      _mm512_store_ps(store0 + i, _mm512_maskz_loadu_ps(act, store.data() + c));
    }
    // Subsurface store: four clamped Runge-Kutta stages.
    for (int32_t i = 0; i < n; i += 16) {
      const int32_t c = b0 + i;
      const __mmask16 ok = act_m[i / 16] & static_cast<__mmask16>(~stiff_m[i / 16]);
      const auto step = store_stages(_mm512_load_ps(store0 + i), _mm512_load_ps(recharge + i),
                                                  _mm512_load_ps(decay + i), _mm512_load_ps(def0 + i), DT);
      const __m512 capv = _mm512_load_ps(cap0 + i);
      _mm512_mask_storeu_ps(runoff.data() + c, ok, store_runoff(step.mean, _mm512_load_ps(excess + i), capv));
      _mm512_mask_storeu_ps(sub_flow.data() + c, ok, store_outflow(inv_tau, step.mean, dx, dy));
      _mm512_mask_storeu_ps(store.data() + c, ok, store_capped(step.q, capv));
    }
    if (stiff_any != 0) {
      for (int32_t i = 0; i < n; ++i) {
        if (!((stiff_m[i / 16] >> (i % 16)) & 1u)) continue;
        stiff_store(b0 + i, store0[i], recharge[i], decay[i], def0[i], excess[i], cap0[i]);
      }
    }
    // Cell temperature and evapotranspiration, withdrawn from the soil store.
    for (int32_t c = b0; c < e0; ++c) T_v[c - b0] = active[c] ? cell_temperature(s, c, N, tmiss, tstep) : 0.0f;
    et_month.step_depths(T_v, E_v, n);
    for (int32_t i = 0; i < n; i += 16) {
      const int32_t c = b0 + i;
      const __mmask16 act = act_m[i / 16];
      const __m512 E = _mm512_load_ps(E_v + i);
      _mm512_mask_storeu_ps(temp.data() + c, act, _mm512_load_ps(T_v + i));
      _mm512_mask_storeu_ps(et.data() + c, act, E);
      const auto left = soil_withdraw(_mm512_load_ps(soil_after + i), E, DT);
      _mm512_mask_storeu_ps(deficit.data() + c, act, left.deficit);
      _mm512_mask_storeu_ps(soil.data() + c, act, left.water);
    }
  }
}
#endif

void RunEngine::Impl::cn_cells(int32_t b, int32_t e, const StepView& v) {
  const ModelState& s = *cs;
  const auto [N, miss, tmiss, rd, wstep, mstep, tstep, month, rain_zero, keep] = v;
  for (int32_t c = b; c < e; ++c) {
    if (!active[c]) {
      runoff[c] = -1.0f;
      continue;
    }
    const float P = cell_rain(s, c, N, miss, rd, wstep, mstep, rain_zero);  // mm in the step
    const float S = soil_S[c];
    const float P0 = event_rain[c];  // accumulated before the step
    const float P1 = P + P0;         // and after it
    cum_rain[c] = P + cum_rain[c];
    // Accumulated direct runoff after and before the step; the one before
    // is the one after the previous step (same accumulated rain), and stays
    // when the accumulated rain does (a dry step).
    float Q0, Q1;
    if (dry_reuse) {
      Q0 = cn_acc[c];
      Q1 = std::memcmp(&P1, &P0, sizeof P1) == 0 ? Q0 : cn_accumulated_runoff(P1, S, lambda);
      cn_acc[c] = Q1;
    } else {
      Q1 = cn_accumulated_runoff(P1, S, lambda);
      Q0 = cn_accumulated_runoff(P0, S, lambda);
    }
    event_rain[c] = P1;
    float qd = Q1 - Q0;
    if (qd < 0.0f) qd = 0.0f;
    runoff[c] = qd;
    infil[c] = P > 0.0f ? P - qd : 0.0f;
    if (impervious) infil[c] = 0.0f;
  }
}

// Inflows of cells [b, e) from their contributors, in the order of the walk.
void RunEngine::Impl::gather(int32_t b, int32_t e) {
  for (int32_t c = b; c < e; ++c) {
    inflows(c, qin_sup[c], qin_sub[c]);
  }
}

void RunEngine::Impl::route_range(int32_t b, int32_t e, bool keep) {
  for (int32_t c = b; c < e;) {
    const int32_t end = std::min(block_end[c], e);
#if TARVEX_ENGINE_LANES
    if (route_lanes) {
      route_block_lanes(c, end, keep);
      c = end;
      continue;
    }
#endif
    route_block(c, end, keep);
    c = end;
  }
}

// Surface coefficients of the wet cells wet[0..n) of the chunk at b0 from
// their reference discharge (celer_sup_cell's order), the section widths
// and celerities taken over all of them at once; C_wet[j][k] is Cj+1 of
// wet cell k.
void RunEngine::Impl::wet_coefficients(int32_t b0, int32_t n, const int32_t* wet, const float* q_ref,
                                       float (*C_wet)[CHUNK]) const {
  float width[CHUNK] = {}, celerity[CHUNK], S_wet[CHUNK], L_wet[CHUNK];
  for (int32_t k = 0; k < n; ++k) {
    const int32_t c = b0 + wet[k];
    width[k] = channel[c] ? width_base(q_ref[k], KS[c], cc.chan) : width_base(q_ref[k], KS[c], cc.hill);
  }
  powf_batch(width, kWidthPower, width, n);
  powf_batch(width, kCelerityPower, celerity, n);
  for (int32_t k = 0; k < n; ++k) {
    const int32_t c = b0 + wet[k];
    celerity[k] = channel[c] ? celerity_of(KS[c], celerity[k], cc.chan) : celerity_of(KS[c], celerity[k], cc.hill);
    S_wet[k] = slope[c];
    L_wet[k] = L[c];
  }
  muskingum_surface_batch(n, q_ref, celerity, width, S_wet, L_wet, cc.dt, C_wet[0], C_wet[1], C_wet[2], C_wet[3]);
}

// Cells [b, e) share one height: none feeds another, so each stage runs
// over a chunk of them, its iterations independent, with the chunk's
// coefficients held locally (kept in c_sup and c_sub on the last step only).
void RunEngine::Impl::route_block(int32_t b, int32_t e, bool keep) {
  alignas(16) float Cs[4 * CHUNK];
  // Wet cells of the chunk, compacted: index in the chunk, reference
  // discharge, coefficients.
  int32_t wet[CHUNK];
  float q_ref[CHUNK], C_wet[4][CHUNK];
  float in_old[CHUNK], out_old[CHUNK];  // the chunk's previous surface flows
  const bool reuse = dry_reuse;
  const std::size_t Mz = static_cast<std::size_t>(M);
  for (int32_t b0 = b; b0 < e; b0 += CHUNK) {
    const int32_t e0 = std::min(b0 + CHUNK, e);
    int32_t n_wet = 0;
    // Inflows, the subsurface flow, the surface reference discharge.
    for (int32_t c = b0; c < e0; ++c) {
      const int32_t i = c - b0;
      float a, u;
      inflows(c, a, u);
      const std::size_t c4 = 4 * static_cast<std::size_t>(c);
      if (channel[c]) {
        // The subsurface flow that reached a channel cell joins the surface.
        a = a + u;
      } else {
        const float sub_in_old = qin_sub[c], sub_out_old = qout_sub[c];
        const float Q = reference_discharge(u, sub_in_old, sub_out_old);
        alignas(16) float C[4];
        const double D = subsurface_diffusion_number<double>(Q, sub_den[c]);
        if (reuse && diffusion_raised(sub_Cr[c], D)) {
          // D is raised to 1 - Cr: the coefficients depend on Cr alone.
          for (std::size_t j = 0; j < 4; ++j) C[j] = low_sub[j * Mz + c];
        } else {
          muskingum_pairs(sub_Cr[c], D, C);
        }
        if (keep) std::memcpy(&c_sub[c4], C, sizeof C);
        const float lateral = lateral_event ? C[3] * infil[c] * dx * dy / DT / 1000.0f : C[3] * sub_flow[c];
        qout_sub[c] = muskingum_outflow(C[0], C[1], C[2], u, sub_in_old, sub_out_old, lateral);
      }
      in_old[i] = qin_sup[c];
      out_old[i] = qout_sup[c];
      qin_sup[c] = a;
      qin_sub[c] = u;

      float Q = reference_discharge(a, in_old[i], out_old[i]);
      if (area0[c]) Q = 0.0001f;
      if (reuse && Q == 0.0001f) {
        for (std::size_t j = 0; j < 4; ++j) Cs[4 * i + j] = dry_sup[j * Mz + c];
      } else {
        q_ref[n_wet] = Q;
        wet[n_wet++] = i;
      }
    }
    wet_coefficients(b0, n_wet, wet, q_ref, C_wet);
    for (int32_t k = 0; k < n_wet; ++k) {
      for (int32_t j = 0; j < 4; ++j) Cs[4 * wet[k] + j] = C_wet[j][k];
    }
    // Surface outflows.
    for (int32_t c = b0; c < e0; ++c) {
      const int32_t i = c - b0;
      const float* C = &Cs[4 * i];
      qout_sup[c] = muskingum_outflow(C[0], C[1], C[2], qin_sup[c], in_old[i], out_old[i], C[3] * runoff[c] * f);
    }
    if (keep) std::memcpy(&c_sup[4 * static_cast<std::size_t>(b0)], Cs, 4 * sizeof(float) * (e0 - b0));
  }
}

#if TARVEX_ENGINE_LANES
// route_block with the per-cell stages sixteen cells at a time in AVX-512
// lanes, used with the dry-cell reuse on: every lane does the scalar
// arithmetic of its cell in the same order; the coefficients are held in
// planes. A hillslope cell whose subsurface diffusion number is not raised
// (rare) gets its coefficients from the scalar form.
__attribute__((target("avx512f,avx512vl,avx512bw"))) void RunEngine::Impl::route_block_lanes(int32_t b,
                                                                                              int32_t e,
                                                                                              bool keep) {
  alignas(64) float Cp[4][CHUNK];                          // surface coefficients of the chunk
  alignas(64) float a_in[CHUNK], u_in[CHUNK];              // surface and subsurface inflow
  alignas(64) float in_old[CHUNK], out_old[CHUNK];         // previous surface flows
  alignas(64) int32_t wet[CHUNK + 16];                     // compacted, with room for a whole vector
  alignas(64) float q_ref[CHUNK + 16], C_wet[4][CHUNK];
  const std::size_t Mz = static_cast<std::size_t>(M);
  const __m512 floor = _mm512_set1_ps(0.0001f);
  const __m512 fv = _mm512_set1_ps(f), dxv = _mm512_set1_ps(dx), dyv = _mm512_set1_ps(dy),
               DTv = _mm512_set1_ps(DT), thousand = _mm512_set1_ps(1000.0f);
  const __m512i lane_index = _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  const float* lateral_src = lateral_event ? infil.data() : sub_flow.data();
  for (int32_t b0 = b; b0 < e; b0 += CHUNK) {
    const int32_t e0 = std::min(b0 + CHUNK, e);
    // Inflows from the contributors, in the order of the walk.
    for (int32_t c = b0; c < e0; ++c) inflows(c, a_in[c - b0], u_in[c - b0]);
    int32_t n_wet = 0;
    for (int32_t i = 0; i < e0 - b0; i += 16) {
      const int32_t c = b0 + i;
      const int32_t left = e0 - c;
      const __mmask16 live = static_cast<__mmask16>(left >= 16 ? 0xffffu : (1u << left) - 1u);
      const __mmask16 ch = _mm_test_epi8_mask(_mm_maskz_loadu_epi8(live, channel.data() + c), _mm_set1_epi8(-1));
      const __mmask16 hill = live & static_cast<__mmask16>(~ch);
      const __m512 u = _mm512_maskz_loadu_ps(live, u_in + i);
      // Subsurface outflow of the hillslope cells.
      if (hill != 0) {
        const __m512 sub_in_old = _mm512_maskz_loadu_ps(hill, qin_sub + c);
        const __m512 sub_out_old = _mm512_maskz_loadu_ps(hill, qout_sub + c);
        const __m512 Q = reference_discharge(u, sub_in_old, sub_out_old);
        const __mmask8 h_lo = static_cast<__mmask8>(hill), h_hi = static_cast<__mmask8>(hill >> 8);
        const __m512d Q_lo = _mm512_cvtps_pd(_mm512_castps512_ps256(Q));
        const __m512d Q_hi = _mm512_cvtps_pd(_mm256_castpd_ps(_mm512_extractf64x4_pd(_mm512_castps_pd(Q), 1)));
        // The laws in lanes; the lanes off the hillslope are never read.
        const __m512d D_lo = subsurface_diffusion_number(Q_lo, _mm512_maskz_loadu_pd(h_lo, sub_den.data() + c));
        const __m512d D_hi = subsurface_diffusion_number(Q_hi, _mm512_maskz_loadu_pd(h_hi, sub_den.data() + c + 8));
        const __mmask8 r_lo = h_lo & lane_mask(diffusion_raised(_mm512_maskz_loadu_pd(h_lo, sub_Cr.data() + c), D_lo));
        const __mmask8 r_hi =
            h_hi & lane_mask(diffusion_raised(_mm512_maskz_loadu_pd(h_hi, sub_Cr.data() + c + 8), D_hi));
        const __mmask16 raised = static_cast<__mmask16>(r_lo | (static_cast<unsigned>(r_hi) << 8));
        __m512 C[4];
        for (int32_t j = 0; j < 4; ++j) C[j] = _mm512_maskz_loadu_ps(raised, low_sub.data() + j * Mz + c);
        const unsigned other = hill & static_cast<__mmask16>(~raised);
        if (other != 0 || keep) {
          alignas(64) float Cl[4][16];
          alignas(64) double D[16];
          for (int32_t j = 0; j < 4; ++j) _mm512_store_ps(Cl[j], C[j]);
          _mm512_store_pd(D, D_lo);
          _mm512_store_pd(D + 8, D_hi);
          for (int32_t l = 0; l < 16; ++l) {
            if (!((hill >> l) & 1u)) continue;
            const std::size_t cl = static_cast<std::size_t>(c + l);
            alignas(16) float Cs[4];
            if ((other >> l) & 1u) {
              muskingum_pairs(sub_Cr[cl], D[l], Cs);
              for (int32_t j = 0; j < 4; ++j) Cl[j][l] = Cs[j];
            }
            if (keep) {
              for (int32_t j = 0; j < 4; ++j) c_sub[4 * cl + j] = Cl[j][l];
            }
          }
          for (int32_t j = 0; j < 4; ++j) C[j] = _mm512_load_ps(Cl[j]);
        }
        __m512 lateral = _mm512_mul_ps(C[3], _mm512_maskz_loadu_ps(hill, lateral_src + c));
        if (lateral_event) {
          lateral = _mm512_div_ps(_mm512_div_ps(_mm512_mul_ps(_mm512_mul_ps(lateral, dxv), dyv), DTv), thousand);
        }
        _mm512_mask_storeu_ps(qout_sub + c, hill,
                              muskingum_outflow(C[0], C[1], C[2], u, sub_in_old, sub_out_old, lateral));
      }
      _mm512_mask_storeu_ps(qin_sub + c, live, u);
      // The subsurface flow that reached a channel cell joins the surface.
      __m512 a = _mm512_maskz_loadu_ps(live, a_in + i);
      a = _mm512_mask_add_ps(a, ch, a, u);
      const __m512 sup_in_old = _mm512_maskz_loadu_ps(live, qin_sup + c);
      const __m512 sup_out_old = _mm512_maskz_loadu_ps(live, qout_sup + c);
      _mm512_store_ps(in_old + i, sup_in_old);
      _mm512_store_ps(out_old + i, sup_out_old);
      _mm512_store_ps(a_in + i, a);
      _mm512_mask_storeu_ps(qin_sup + c, live, a);
      __m512 Q = reference_discharge(a, sup_in_old, sup_out_old);
      const __mmask16 no_area =
          _mm_test_epi8_mask(_mm_maskz_loadu_epi8(live, area0.data() + c), _mm_set1_epi8(-1));
      Q = _mm512_mask_blend_ps(no_area, Q, floor);
      const __mmask16 dry = _mm512_mask_cmp_ps_mask(live, Q, floor, _CMP_EQ_OQ);
      for (int32_t j = 0; j < 4; ++j) _mm512_store_ps(&Cp[j][i], _mm512_maskz_loadu_ps(dry, dry_sup.data() + j * Mz + c));
      const __mmask16 wetm = live & static_cast<__mmask16>(~dry);
      _mm512_storeu_si512(wet + n_wet,
                          _mm512_maskz_compress_epi32(wetm, _mm512_add_epi32(lane_index, _mm512_set1_epi32(i))));
      _mm512_storeu_ps(q_ref + n_wet, _mm512_maskz_compress_ps(wetm, Q));
      n_wet += __builtin_popcount(wetm);
    }
    wet_coefficients(b0, n_wet, wet, q_ref, C_wet);
    for (int32_t k = 0; k < n_wet; ++k) {
      for (int32_t j = 0; j < 4; ++j) Cp[j][wet[k]] = C_wet[j][k];
    }
    // Surface outflows.
    for (int32_t i = 0; i < e0 - b0; i += 16) {
      const int32_t c = b0 + i;
      const int32_t left = e0 - c;
      const __mmask16 live = static_cast<__mmask16>(left >= 16 ? 0xffffu : (1u << left) - 1u);
      const __m512 lateral =
          _mm512_mul_ps(_mm512_mul_ps(_mm512_load_ps(&Cp[3][i]), _mm512_maskz_loadu_ps(live, runoff.data() + c)), fv);
      _mm512_mask_storeu_ps(qout_sup + c, live,
                            muskingum_outflow(_mm512_load_ps(&Cp[0][i]), _mm512_load_ps(&Cp[1][i]),
                                              _mm512_load_ps(&Cp[2][i]), _mm512_load_ps(a_in + i),
                                              _mm512_load_ps(in_old + i), _mm512_load_ps(out_old + i), lateral));
    }
    if (keep) {
      for (int32_t c = b0; c < e0; ++c) {
        for (int32_t j = 0; j < 4; ++j) c_sup[4 * static_cast<std::size_t>(c) + j] = Cp[j][c - b0];
      }
    }
  }
}
#endif

RunEngine::RunEngine() : p_(std::make_unique<Impl>()) {}
RunEngine::~RunEngine() = default;

int32_t RunEngine::threads() const { return p_->T; }

bool RunEngine::build(const ModelState& s, const RunTables& t, RunKind kind) {
  Impl& E = *p_;
  E.stop_pool();
  const int32_t NI = s.NI, NJ = s.NJ;
  // The grids the steps read must all be NI x NJ.
  bool ok = NI >= 1 && NJ >= 1 && s.FLOW_DIR.rows() == NI && s.FLOW_DIR.cols() == NJ && s.AREA_CELLS.rows() == NI &&
            s.AREA_CELLS.cols() == NJ && s.ROUGH_CLASS.rows() == NI && s.ROUGH_CLASS.cols() == NJ &&
            s.RAIN_STATION_MAP.rows() == NI && s.RAIN_STATION_MAP.cols() == NJ &&
            s.TEMP_STATION_MAP.rows() == NI && s.TEMP_STATION_MAP.cols() == NJ &&
            t.RAIN_STATION_MAP_STEP.rows() == NI && t.RAIN_STATION_MAP_STEP.cols() == NJ &&
            t.TEMP_STATION_MAP_STEP.rows() == NI && t.TEMP_STATION_MAP_STEP.cols() == NJ &&
            s.RAIN_WEIGHT.rows() >= static_cast<int64_t>(s.N_RAIN_ST) * NI && s.RAIN_WEIGHT.cols() == NJ &&
            t.RAIN_WEIGHT_STEP.rows() >= static_cast<int64_t>(s.N_RAIN_ST) * NI && t.RAIN_WEIGHT_STEP.cols() == NJ;
  for (const Grid<float>* g :
       {&t.STEP_RUNOFF, &s.ELEVATION, &s.SLOPE, &s.SOIL_CAPACITY, &s.CUM_RAIN, &s.EVENT_RAIN, &s.INFILTRATION,
        &s.SOIL_WATER, &s.SUB_STORE, &s.ET_DEFICIT, &s.SUB_FLOW, &s.CELL_TEMP, &s.CELL_ET, &s.C1_SUP, &s.C2_SUP,
        &s.C3_SUP, &s.C4_SUP, &s.C1_SUB, &s.C2_SUB, &s.C3_SUB, &s.C4_SUB, &s.QIN_SUP, &s.QOUT_SUP, &s.QIN_SUB,
        &s.QOUT_SUB, &s.QIN_SUP_OLD, &s.QOUT_SUP_OLD, &s.QIN_SUB_OLD, &s.QOUT_SUB_OLD}) {
    ok = ok && g->rows() == NI && g->cols() == NJ;
  }
  if (!ok || s.NPATH < 0 || s.NPATH > s.IIN.size() || s.N_RAIN_ST < 0) return false;
  if (s.N_SECTIONS < 0 || s.N_SECTIONS > kLimits.sections) return false;
  for (int32_t k = 1; k <= s.N_SECTIONS; ++k) {
    if (!s.FLOW_DIR.contains(s.SECTION_I(k), s.SECTION_J(k))) return false;
  }

  const CelerityConstants cc = celerity_constants(s);
  const std::size_t G = static_cast<std::size_t>(NI) * static_cast<std::size_t>(NJ);
  const auto off = [NJ](int32_t i, int32_t j) {
    return static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(NJ) + static_cast<std::size_t>(j - 1);
  };

  // The walk of ROUTING: visits in order, each with its downstream cell.
  std::vector<int32_t> visit_of(G, -1);
  std::vector<std::size_t> vcell, vdown;
  std::vector<uint8_t> vdiag;
  const int64_t max_cells = static_cast<int64_t>(G);
  for (int32_t k = 1; k <= s.NPATH; ++k) {
    int32_t i = s.IIN(k), j = s.JIN(k);
    const int32_t ie = s.IFIN(k), je = s.JFIN(k);
    if (!s.FLOW_DIR.contains(i, j)) return false;
    for (int64_t visited = 0;; ++visited) {
      if (visited == max_cells) return false;
      const std::size_t idx = off(i, j);
      const int32_t code = s.FLOW_DIR.data()[idx];
      if (!is_flow_code(code)) return false;
      const Step st = decode_direction(code);
      const int32_t in = i + st.di, jn = j + st.dj;
      if (!s.FLOW_DIR.contains(in, jn)) return false;
      const bool chan = static_cast<float>(s.AREA_CELLS.data()[idx]) * cc.a >= cc.a_channel;
      if (chan && !cc.outlet_in_grid) return false;
      if (!chan) {
        const int32_t cls = s.ROUGH_CLASS.data()[idx];
        if (cls < 1 || cls > kLimits.classes) return false;
      }
      if (visit_of[idx] >= 0) return false;  // visited twice in a step
      visit_of[idx] = static_cast<int32_t>(vcell.size());
      vcell.push_back(idx);
      vdown.push_back(off(in, jn));
      vdiag.push_back(st.di != 0 && st.dj != 0 ? 1 : 0);
      if (in == ie && jn == je) break;
      i = in;
      j = jn;
    }
  }
  const int32_t V = static_cast<int32_t>(vcell.size());
  // Every contributor must be walked before the cell it feeds.
  for (int32_t v = 0; v < V; ++v) {
    const int32_t w = visit_of[vdown[v]];
    if (w >= 0 && w <= v) return false;
  }

  // The visits feeding each visit: kids[kid_begin[v] .. kid_begin[v + 1]).
  std::vector<int32_t> kid_begin(static_cast<std::size_t>(V) + 1, 0), kids(static_cast<std::size_t>(V));
  for (int32_t v = 0; v < V; ++v) {
    const int32_t w = visit_of[vdown[v]];
    if (w >= 0) ++kid_begin[static_cast<std::size_t>(w) + 1];
  }
  for (int32_t v = 0; v < V; ++v) kid_begin[v + 1] += kid_begin[v];
  {
    std::vector<int32_t> fill(kid_begin.begin(), kid_begin.end() - 1);
    for (int32_t v = 0; v < V; ++v) {
      const int32_t w = visit_of[vdown[v]];
      if (w >= 0) kids[static_cast<std::size_t>(fill[w]++)] = v;
    }
  }

  // Partition of the routed cells over the threads: disjoint subtrees
  // (pieces), each routed by one thread, and the trunk above them, routed
  // after the pieces.
  const int32_t T = run_threads(s.RUN_JOBS, V);
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

  // Engine order: each thread's routed cells, the trunk, then the rest.
  // Each of these groups is cut into tiles, runs of its cells in an order
  // that has every cell after its contributors (a depth-first walk up from
  // the ends, so that a tile holds whole subtrees where it can). Within a
  // tile the cells go by height (longest path from a source cell), so that
  // neighbours in the order are independent and their arithmetic overlaps.
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
  const int32_t tile_cells = g_tile_cells.load();
  std::vector<int32_t> eng_of(G, -1);
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
  std::vector<int32_t> tile_of(static_cast<std::size_t>(V), 0);
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
  for (int32_t k = 1; k <= s.N_SECTIONS; ++k) add_cell(off(s.SECTION_I(k), s.SECTION_J(k)));
  for (std::size_t g = 0; g < G; ++g) {
    if (s.SLOPE.data()[g] > 0.0f) add_cell(g);
  }
  const int32_t M = static_cast<int32_t>(cells.size());
  E.M = M;
  E.T = T;
  E.grid_cells = G;
  E.gidx = cells;
  E.section.clear();
  for (int32_t k = 1; k <= s.N_SECTIONS; ++k) E.section.push_back(eng_of[off(s.SECTION_I(k), s.SECTION_J(k))]);

  const std::size_t Ms = static_cast<std::size_t>(M);
  // Weighted rain: the cells' gauge weights are copied next to each other.
  // Past four gauges, when the copy would take more than 512 MiB, the grid
  // functions run on the weight grid itself.
  const bool weighted = s.INTERP_METHOD != 1;
  const int32_t w_stride = weighted ? std::max<int32_t>(s.N_RAIN_ST, 1) : 1;
  if (w_stride > 4 && static_cast<uint64_t>(w_stride) * Ms > (uint64_t{1} << 27)) return false;

  // Contributors of every cell, in walk order.
  E.up_sup_begin.assign(Ms + 1, 0);
  E.up_sub_begin.assign(Ms + 1, 0);
  std::vector<uint8_t> vchan(static_cast<std::size_t>(V));
  for (int32_t v = 0; v < V; ++v) {
    vchan[v] = static_cast<float>(s.AREA_CELLS.data()[vcell[v]]) * cc.a >= cc.a_channel ? 1 : 0;
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

  // What each tile reads from earlier tiles and keeps for later ones, and
  // the cross-sections it routes.
  {
    const int32_t n_tiles = static_cast<int32_t>(E.tile_begin.size()) - 1;
    E.K = g_block_steps.load();
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

  // Run constants.
  const bool event = kind == RunKind::single && s.RUN_MODE == 2;
  E.continuous = !event;
  E.lateral_event = s.RUN_MODE < 3;
  E.impervious = s.RUN_MODE == 2 && s.IMPERVIOUS == 1;
  E.interp = s.INTERP_METHOD;
  E.n_rain = s.N_RAIN_ST;
  E.R = s.DT_SIM / s.DT_RAIN;
  E.DT = s.DT_SIM;
  E.inv_tau = 1.0f / s.TAU_SUB;
  E.dx = s.CELL_DX;
  E.dy = s.CELL_DY;
  E.f = s.CELL_DX * s.CELL_DY / s.DT_SIM / 1000.0f;
  E.lambda = s.IA_RATIO;
  E.cc = cc;
  E.dry_reuse = g_dry_reuse.load();
#if TARVEX_ENGINE_LANES
  E.route_lanes = E.dry_reuse && g_lanes.load() && __builtin_cpu_supports("avx512f") &&
                  __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512bw");
#endif

  auto sized = [Ms](std::vector<float>& v, std::size_t per = 1) { v.assign(Ms * per, 0.0f); };
  E.active.assign(Ms, 0);
  E.channel.assign(Ms, 0);
  E.area0.assign(Ms, 0);
  for (std::vector<float>* v : {&E.soil_S, &E.soil_cap, &E.sub_cap, &E.lapse, &E.L, &E.KS, &E.slope, &E.cum_rain,
                                &E.soil, &E.store, &E.deficit, &E.sub_flow, &E.temp, &E.et, &E.event_rain,
                                &E.infil, &E.runoff, &E.cn_acc}) {
    sized(*v);
  }
  for (std::vector<float>* v : {&E.dry_sup, &E.low_sub, &E.c_sup, &E.c_sub}) sized(*v, 4);
  // Plane j of dry_sup and low_sub holds Cj+1 of every cell.
  const auto to_planes = [Ms](std::vector<float>& v, std::size_t c, const float* C) {
    for (std::size_t j = 0; j < 4; ++j) v[j * Ms + c] = C[j];
  };
  E.w_stride = w_stride;
  sized(E.weight, static_cast<std::size_t>(E.w_stride));
  E.rd.assign(static_cast<std::size_t>(std::max<int32_t>(s.N_RAIN_ST, 1)) * static_cast<std::size_t>(E.K), 0.0f);
  E.rain_zero.assign(static_cast<std::size_t>(E.K), 0);
  for (std::vector<float>& v : E.q) sized(v);
  E.temp_st.assign(Ms, 1);
  E.rain_st.assign(Ms, 1);
  E.sub_den.assign(Ms, 1.0);
  E.sub_Cr.assign(Ms, 0.0);
  const Grid<float>* const qgrids[8] = {&s.QIN_SUP,     &s.QOUT_SUP,     &s.QIN_SUB,     &s.QOUT_SUB,
                                        &s.QIN_SUP_OLD, &s.QOUT_SUP_OLD, &s.QIN_SUB_OLD, &s.QOUT_SUB_OLD};
  for (int32_t c = 0; c < M; ++c) {
    const std::size_t g = cells[static_cast<std::size_t>(c)];
    const std::size_t c4 = 4 * static_cast<std::size_t>(c);
    const float S = s.SLOPE.data()[g];
    E.active[c] = S > 0.0f ? 1 : 0;
    E.slope[c] = S;
    E.soil_S[c] = s.SOIL_CAPACITY.data()[g];
    E.soil_cap[c] = s.IA_RATIO * E.soil_S[c];
    E.sub_cap[c] = s.F_SUB_CAP * E.soil_S[c];
    const int32_t ts = s.TEMP_STATION_MAP.data()[g];
    E.temp_st[c] = ts;
    if (E.active[c] && ts >= 1 && ts <= s.TEMP_Z.size()) E.lapse[c] = (s.ELEVATION.data()[g] - s.TEMP_Z(ts)) * 0.0063f;
    E.rain_st[c] = s.RAIN_STATION_MAP.data()[g];
    for (int32_t k = 0; weighted && k < s.N_RAIN_ST; ++k) {
      E.weight[Ms * static_cast<std::size_t>(k) + static_cast<std::size_t>(c)] =
          s.RAIN_WEIGHT.data()[G * static_cast<std::size_t>(k) + g];
    }
    E.cum_rain[c] = s.CUM_RAIN.data()[g];
    E.soil[c] = s.SOIL_WATER.data()[g];
    E.store[c] = s.SUB_STORE.data()[g];
    E.deficit[c] = s.ET_DEFICIT.data()[g];
    E.sub_flow[c] = s.SUB_FLOW.data()[g];
    E.temp[c] = s.CELL_TEMP.data()[g];
    E.et[c] = s.CELL_ET.data()[g];
    E.event_rain[c] = s.EVENT_RAIN.data()[g];
    E.infil[c] = s.INFILTRATION.data()[g];
    E.cn_acc[c] = cn_accumulated_runoff(E.event_rain[c], E.soil_S[c], s.IA_RATIO);
    E.c_sup[c4] = s.C1_SUP.data()[g];
    E.c_sup[c4 + 1] = s.C2_SUP.data()[g];
    E.c_sup[c4 + 2] = s.C3_SUP.data()[g];
    E.c_sup[c4 + 3] = s.C4_SUP.data()[g];
    E.c_sub[c4] = s.C1_SUB.data()[g];
    E.c_sub[c4 + 1] = s.C2_SUB.data()[g];
    E.c_sub[c4 + 2] = s.C3_SUB.data()[g];
    E.c_sub[c4 + 3] = s.C4_SUB.data()[g];
    // The step functions start from the zeroed flows; the current-step
    // values are rebuilt by every step.
    for (int32_t k = 0; k < 4; ++k) E.q[k][c] = qgrids[k + 4]->data()[g];
  }
  for (int32_t v = 0; v < V; ++v) {
    const int32_t c = eng_of[vcell[v]];
    const std::size_t g = vcell[v];
    float C[4];
    const float Lc = vdiag[v] ? cc.L_diag : cc.L_axis;
    const float S = E.slope[c];
    E.L[c] = Lc;
    E.channel[c] = vchan[v];
    E.area0[c] = s.AREA_CELLS.data()[g] == 0 ? 1 : 0;
    const float sqrtS = std::sqrt(S);
    if (vchan[v]) {
      const float K = channel_roughness(cc.ks_out, cc.ks_slope, s.ELEVATION.data()[g], cc.z_out);
      E.KS[c] = K * sqrtS;
      surface_coefficients(0.0001f, E.KS[c], cc.chan, S, Lc, cc.dt, C);
      to_planes(E.dry_sup, c, C);
    } else {
      const float K = cc.ks_class[s.ROUGH_CLASS.data()[g] - 1];
      E.KS[c] = K * sqrtS;
      surface_coefficients(0.0001f, E.KS[c], cc.hill, S, Lc, cc.dt, C);
      to_planes(E.dry_sup, c, C);
      const float ck = subsurface_celerity(cc.k_sub, S);
      E.sub_den[c] = subsurface_diffusion_denominator<double>(ck, S, cc.w_sub, Lc);
      E.sub_Cr[c] = courant_number<double>(ck, cc.dt, Lc);
      muskingum_coefficients(E.sub_Cr[c], 1.0 - E.sub_Cr[c], C[0], C[1], C[2], C[3]);
      to_planes(E.low_sub, c, C);
    }
  }
  // Outflows no step writes (the subsurface one of a channel cell, both of a
  // cell off the paths) are those of a step that starts from zeroed flows.
  for (int32_t c = 0; c < M; ++c) {
    if (c >= V) E.q[1][c] = 0.0f;
    if (c >= V || E.channel[c]) E.q[3][c] = 0.0f;
  }
  E.weights_finite = weighted && std::isfinite(E.R);
  for (std::size_t k = 0; E.weights_finite && k < static_cast<std::size_t>(s.N_RAIN_ST) * Ms; ++k) {
    E.weights_finite = std::isfinite(E.weight[k]);
  }
  E.set_pointers();

  E.cs = &s;
  E.ct = &t;
  E.stop = false;
  E.go.store(0);
  E.done.store(0);
  for (int32_t k = 1; k < T; ++k) E.pool.emplace_back([&E, k] { E.worker(k); });
  return true;
}

int32_t RunEngine::block_steps() const { return p_->K; }

void RunEngine::run(const ModelState& s, const RunTables& t, const StepInputs* in, int32_t n, float* sup, float* sub) {
  Impl& E = *p_;
  E.cs = &s;
  E.ct = &t;
  E.block = in;
  E.n_block = n;
  E.sec_sup = sup;
  E.sec_sub = sub;
  for (int32_t j = 0; j < n; ++j) {
    bool zero = E.weights_finite && in[j].MISS_FLAG != 1;
    for (int32_t k = 1; k <= E.n_rain; ++k) {
      const float v = s.RAIN_DATA(in[j].N, k);
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
}

void RunEngine::write_back(ModelState& s, RunTables& t) const {
  const Impl& E = *p_;
  t.STEP_RUNOFF.fill(-1.0f);
  Grid<float>* const qgrids[8] = {&s.QIN_SUP,     &s.QOUT_SUP,     &s.QIN_SUB,     &s.QOUT_SUB,
                                  &s.QIN_SUP_OLD, &s.QOUT_SUP_OLD, &s.QIN_SUB_OLD, &s.QOUT_SUB_OLD};
  for (int32_t c = 0; c < E.M; ++c) {
    const std::size_t g = E.gidx[static_cast<std::size_t>(c)];
    const std::size_t c4 = 4 * static_cast<std::size_t>(c);
    if (E.active[c]) {
      t.STEP_RUNOFF.data()[g] = E.runoff[c];
      s.CUM_RAIN.data()[g] = E.cum_rain[c];
      s.SOIL_WATER.data()[g] = E.soil[c];
      s.SUB_STORE.data()[g] = E.store[c];
      s.ET_DEFICIT.data()[g] = E.deficit[c];
      s.SUB_FLOW.data()[g] = E.sub_flow[c];
      s.CELL_TEMP.data()[g] = E.temp[c];
      s.CELL_ET.data()[g] = E.et[c];
      s.EVENT_RAIN.data()[g] = E.event_rain[c];
      s.INFILTRATION.data()[g] = E.infil[c];
    }
    s.C1_SUP.data()[g] = E.c_sup[c4];
    s.C2_SUP.data()[g] = E.c_sup[c4 + 1];
    s.C3_SUP.data()[g] = E.c_sup[c4 + 2];
    s.C4_SUP.data()[g] = E.c_sup[c4 + 3];
    s.C1_SUB.data()[g] = E.c_sub[c4];
    s.C2_SUB.data()[g] = E.c_sub[c4 + 1];
    s.C3_SUB.data()[g] = E.c_sub[c4 + 2];
    s.C4_SUB.data()[g] = E.c_sub[c4 + 3];
    // After the last shift the current flows are cleared.
    for (int32_t k = 0; k < 4; ++k) qgrids[k]->data()[g] = 0.0f;
    for (int32_t k = 0; k < 4; ++k) qgrids[k + 4]->data()[g] = E.q[k][c];
  }
}

}  // namespace tarvex
