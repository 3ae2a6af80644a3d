#pragma once
// Private to the run engine: the run laid out in flat arrays (Impl), shared
// by the files that build it, generate runoff, route and step it.
#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
// GCC only: clang refuses vector values of 512 bits passed to the laws'
// templates outside AVX-512 functions (it checks the call before inlining);
// a clang build computes cell by cell, bit for bit the same.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TARVEX_ENGINE_LANES 1
#include <immintrin.h>
// GCC 12 warns inside the intrinsics, whose unused pass-through operands
// are left undefined on purpose, and at the laws instantiated for 8-double
// lanes, which are inlined into the AVX-512 functions (no such value crosses
// a call).
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wpsabi"
#else
#define TARVEX_ENGINE_LANES 0
#endif

#include "laws/cell_discharge.hpp"
#include "laws/curve_number.hpp"
#include "laws/subsurface.hpp"
#include "laws/temperature_lapse.hpp"
#include "routing/celerity.hpp"
#include "routing/muskingum_batch.hpp"
#include "routing/powf_batch.hpp"
#include "simulation/continuous.hpp"
#include "simulation/engine_options.hpp"
#include "simulation/run_engine.hpp"

namespace tarvex {

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

// The walk of ROUTING over the paths, as build finds it: the visits in
// order, each with its grid cell, its downstream cell and whether the step
// is diagonal, and the visits feeding each visit.
struct EngineWalk {
  int32_t NJ = 0;
  std::size_t G = 0;                  // cells of the grid
  int32_t V = 0;                      // visits
  std::vector<int32_t> visit_of;      // per grid cell: its visit, or -1
  std::vector<std::size_t> vcell, vdown;
  std::vector<uint8_t> vdiag;
  std::vector<int32_t> kid_begin, kids;  // kids[kid_begin[v] .. kid_begin[v + 1])
  std::vector<uint8_t> vchan;         // the visit is a channel cell
  // Row-major offset of grid cell (i, j).
  std::size_t off(int32_t i, int32_t j) const {
    return static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(NJ) + static_cast<std::size_t>(j - 1);
  }
};

// Whether every grid the steps read is NI x NJ (and the tables hold the
// gauges' planes).
bool engine_grids_fit(const RunModel& s, const RunTables& t);
// Walks the paths; false when the list is one the engine does not take.
bool walk_paths(const RunModel& s, const CelerityConstants& cc, EngineWalk& w);
// Owner of every visit among T threads (T for the trunk routed after them).
std::vector<int32_t> partition_paths(const EngineWalk& w, int32_t T);

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
  const RunModel* cs = nullptr;
  const RunTables* ct = nullptr;
  const StepInputs* block = nullptr;  // the steps of the block being run
  bool dry_reuse = true;
  bool route_lanes = false;         // route_block_lanes routes the blocks
  EngineOptions opt;

  // ---- Catchment evapotranspiration of each step of a block, asked for by
  // run(): the cells' depths in fixed point (2^-24 mm), summed as integers so
  // that the sum is the same whatever the threads and tiles.
  static constexpr double ET_FIXED_SCALE = 16777216.0;  // 2^24 per mm
  static constexpr double MAGIC = 0x1p52;
  bool sum_et = false;
  int64_t n_active = 0;  // cells that generate runoff
  std::unique_ptr<std::atomic<int64_t>[]> et_fixed;     // K steps
  std::unique_ptr<std::atomic<bool>[]> et_out_of_range;  // K steps: a depth out of range
  void add_et(int32_t b, int32_t e, int32_t j) {
    // Each depth in [0, 1e4) mm (10 m a step: beyond it, or not a number,
    // step j's mean is spoilt) becomes 2^24 d rounded to an integer: added
    // to 2^52 it rounds there, and the bits above 2^52's are the integer.
    // Four cells at a time in SSE2 lanes, the same sums as one by one.
    const auto one = [](double d) {
      return std::bit_cast<int64_t>(d * ET_FIXED_SCALE + MAGIC) - std::bit_cast<int64_t>(MAGIC);
    };
    int64_t sum = 0;
    bool bad = false;
    int32_t c = b;
#if defined(__SSE2__)
    const __m128 top = _mm_set1_ps(1.0e4f);
    const __m128d scale = _mm_set1_pd(ET_FIXED_SCALE), magic = _mm_set1_pd(MAGIC);
    const __m128i magic_bits = _mm_castpd_si128(magic), zero = _mm_setzero_si128();
    __m128i acc = zero;
    int bad_lanes = 0;
    for (; c + 4 <= e; c += 4) {
      int32_t flags;
      std::memcpy(&flags, active.data() + c, sizeof flags);
      const __m128i a8 = _mm_cvtsi32_si128(flags);
      const __m128i a32 = _mm_unpacklo_epi16(_mm_unpacklo_epi8(a8, zero), zero);
      const __m128 on = _mm_castsi128_ps(_mm_cmpgt_epi32(a32, zero));
      const __m128 d = _mm_and_ps(_mm_loadu_ps(et.data() + c), on);
      const __m128 ok = _mm_and_ps(_mm_cmpge_ps(d, _mm_setzero_ps()), _mm_cmplt_ps(d, top));
      bad_lanes |= _mm_movemask_ps(ok) ^ 0xF;
      const __m128 dk = _mm_and_ps(d, ok);
      const __m128d lo = _mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(dk), scale), magic);
      const __m128d hi = _mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(dk, dk)), scale), magic);
      acc = _mm_add_epi64(acc, _mm_sub_epi64(_mm_castpd_si128(lo), magic_bits));
      acc = _mm_add_epi64(acc, _mm_sub_epi64(_mm_castpd_si128(hi), magic_bits));
    }
    int64_t lanes[2];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), acc);
    sum = lanes[0] + lanes[1];
    bad = bad_lanes != 0;
#endif
    for (; c < e; ++c) {
      const double d = active[c] ? static_cast<double>(et[c]) : 0.0;
      const bool ok = d >= 0.0 && d < 1.0e4;
      bad |= !ok;
      sum += one(ok ? d : 0.0);
    }
    if (bad) et_out_of_range[static_cast<std::size_t>(j)].store(true, std::memory_order_relaxed);
    et_fixed[static_cast<std::size_t>(j)].fetch_add(sum, std::memory_order_relaxed);
  }

  // ---- Build, in this order (run_engine_layout.cpp, run_engine_constants.cpp)
  // Engine order of the visited cells: tiles of each thread's piece, then of
  // the trunk, then the cells off the paths; eng_of gives the engine cell of
  // a grid cell (or -1), tile_of the tile of a routed cell.
  void lay_out(const RunModel& s, const EngineWalk& w, const std::vector<int32_t>& owner,
               std::vector<int32_t>& eng_of, std::vector<int32_t>& tile_of);
  // Contributors of every cell, in walk order.
  void link_contributors(const EngineWalk& w, const std::vector<int32_t>& eng_of);
  // What each tile reads from earlier tiles, keeps for later ones, and the
  // cross-sections it routes.
  void plan_tiles(const EngineWalk& w, const std::vector<int32_t>& eng_of, const std::vector<int32_t>& tile_of);
  // Run constants, then every cell's constants and starting state.
  void set_run_constants(const RunModel& s, RunKind kind, const CelerityConstants& cc);
  void load_cells(const RunModel& s, const EngineWalk& w, const std::vector<int32_t>& eng_of);
  void start_threads(const RunModel& s, const RunTables& t);

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
  float cell_rain(const RunModel& s, int32_t c, int32_t N, bool miss, const float* rd, const float* wstep,
                  const int32_t* mstep, bool rain_zero) const {
    if (interp == 1) {
      const int32_t st = miss ? mstep[gidx[c]] : rain_st[c];
      return s.forcing.RAIN_DATA(N, st) * R;
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
  float cell_temperature(const RunModel& s, int32_t c, int32_t N, bool tmiss, const int32_t* tstep) const {
    if (tmiss) {
      const int32_t st = tstep[gidx[c]];
      return tarvex::cell_temperature(s.forcing.TEMP_DATA(N, st), lapse_drop(s.catchment.ELEVATION.data()[gidx[c]], s.forcing.TEMP_Z(st)));
    }
    return tarvex::cell_temperature(s.forcing.TEMP_DATA(N, temp_st[c]), lapse[c]);
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
  // Runoff of cells [b, e) in the step: CONTINUOUS the soil and subsurface
  // balance with its evapotranspiration (continuous runs), CN_METHOD the
  // curve-number runoff of the rain since the start (event runs).
  void CONTINUOUS(int32_t b, int32_t e, const StepView& v);
  void continuous_cells_lanes(int32_t b, int32_t e, const StepView& v);
  void CN_METHOD(int32_t b, int32_t e, const StepView& v);
  void sub_store_stages(int32_t n, const float* X, const float* r, const float* g, const float* D, const float* cap,
                        const float* q0, float* ro, float* flow, float* q1) const;
  // Muskingum-Cunge routing of cells [b, e) in walk order, surface and
  // subsurface, coefficients from CELER_SUP and CELER_SUB's laws. The step
  // shift (STEP_SHIFT) is in place: each cell's flows of the step before are
  // read once and then overwritten by this step's.
  void ROUTING(int32_t b, int32_t e, bool keep);
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
      if (sum_et) add_et(b, e, j);
      ROUTING(b, e, v.keep);
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
      for (int32_t j = 0; j < n_block; ++j) {
        runoff_range(b0, std::min(b0 + REST_CHUNK, e), step_view(j));
        if (sum_et) add_et(b0, std::min(b0 + REST_CHUNK, e), j);
      }
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

}  // namespace tarvex
