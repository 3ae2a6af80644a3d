#pragma once
// Shuffled complex evolution (SCE-UA, Duan, Sorooshian and Gupta 1992, 1994):
// a global minimiser over a box, independent of the model. Double precision,
// standard library only.
//
// One search:
//  - loop 0: NGS x NPG points drawn uniformly in the box (x0 replaces the
//    first when use_x0), evaluated and ranked (ascending, ties keep order);
//  - every further loop: complex k takes ranks k, k+NGS, k+2 NGS, ...; each
//    complex makes NSPL competitive evolution steps (a sub-complex of NPS
//    points chosen with the triangular probability over ranks, its worst point
//    reflected through the centroid of the others, contracted when the
//    reflection is worse, replaced by a random point when still worse; a
//    reflection outside the box is also replaced by a random point; random
//    points are normal around the best point of the sub-complex with the
//    spread of the population at the start of the loop, redrawn until inside
//    the box); the complexes are merged and ranked,
//    and one complex (the worst NPG points) is dropped while NGS > MINCPX;
//  - the search stops after the loop that reaches max_evals; from loop kstop
//    on, when the best objective after loops L-kstop+1 .. L changed by less
//    than pct_change (|first - last| / mean of their magnitudes; loops L-1, L
//    when kstop is 1); or when the normalised geometric range of the
//    population (geometric mean of (max - min) / (hi - lo) over the varying
//    parameters) falls below range_bound. The tests follow in that order.
//
// A parameter with lo == hi stays at that value and does not count in the
// spread, the range or the random draws.
//
// Determinism: the initial population draws from a stream seeded by `seed`,
// complex c of loop L from its own stream seeded by (seed, L, c). Complexes of
// a loop evolve concurrently on `threads` threads, yet the records, the
// result and the saved states are identical for any thread count.
//
// An objective that returns NaN ranks as worse than any number. An exception
// thrown by the objective ends run() with that exception (the first complex's
// in loop order when several fail).
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

struct SceConfig {
  int ngs = 2;              // complexes at the start
  int npg = 5;              // points per complex (>= 2)
  int nps = 3;              // points per sub-complex (2 .. npg)
  int nspl = 5;             // evolution steps of a complex per loop
  int mingcs = 2;           // complexes kept at the end (1 .. ngs)
  long max_evals = 10000;   // evaluations allowed (a loop is finished in full)
  int kstop = 5;            // loops over which the criterion must change (>= 1)
  double pct_change = 1e-4; // required relative change of the best objective
  double range_bound = 1e-3;// normalised geometric range that counts as converged
  uint64_t seed = 1;
  bool use_x0 = false;      // x0 replaces the first point of the population
  int threads = 1;          // concurrent evaluations (>= 1)
};

enum class SceStop {
  none,          // not stopped (only seen in saved states of a running search)
  max_evals,     // evaluations reached max_evals
  no_progress,   // best objective changed by less than pct_change over kstop loops
  converged,     // normalised geometric range below range_bound
};

// Short text of a stop reason, e.g. "maximum number of trials reached".
std::string sce_stop_text(SceStop stop, const SceConfig& config);

struct SceResult {
  std::vector<double> best_x;
  double best_f = 0.0;
  long evals = 0;
  int loops = 0;  // shuffling loops made (the initial population is loop 0)
  SceStop stop = SceStop::none;
  // stop_requested ended the search after its last completed loop (stop is
  // none then, and the saved state continues it).
  bool interrupted = false;
};

// One objective-function evaluation. Numbers run from 1 in the order the
// records are delivered: the initial population in draw order, then loop by
// loop, complex 1's evaluations in their order, complex 2's, ...
struct SceEvaluation {
  long number = 0;
  int loop = 0;     // 0: initial population
  int complex = 0;  // 1 .. complexes; 0 in the initial population
  std::span<const double> x;
  double f = 0.0;
  // The worker that evaluated it, and which of that worker's objective calls
  // of this loop it was (from 0): a caller can keep what else the objective
  // computed per worker, in call order, and find it here.
  int worker = 0;
  long call = 0;
};

// Summary after the initial population (loop 0) and after every loop.
struct SceLoopInfo {
  int loop = 0;
  long evals = 0;       // evaluations so far
  int complexes = 0;    // complexes that evolved in this loop (0 for loop 0)
  double best_f = 0.0;
  double worst_f = 0.0;
  double range = 0.0;   // normalised geometric range of the population
  double change = 0.0;  // relative change tested against pct_change; NaN before loop kstop
};

// A saved state restore_state refuses; line: the line of the text (from 1)
// that holds the wrong value.
class SceStateError : public std::invalid_argument {
 public:
  SceStateError(const std::string& what, int line) : std::invalid_argument(what), line_(line) {}
  int line() const { return line_; }

 private:
  int line_;
};

class SceSearch {
 public:
  // worker in [0, threads) tells which thread calls, so that each thread can
  // use its own copy of a model. Called concurrently for different workers.
  using Objective = std::function<double(int worker, std::span<const double> x)>;

  // lo, hi: bounds (lo <= hi, finite); x0: initial vector, inside the bounds,
  // required only when use_x0 (may be empty otherwise). Unusable settings
  // throw std::invalid_argument. The effective thread count is
  // min(threads, ngs * npg) for the initial population and
  // min(threads, complexes) in a loop.
  SceSearch(const SceConfig& config, std::vector<double> lo, std::vector<double> hi,
            std::vector<double> x0, Objective objective);

  // Callbacks, all made on the thread that called run(), in a fixed order.
  std::function<void(const SceEvaluation&)> on_evaluation;
  std::function<void(const SceLoopInfo&)> on_loop;
  // After each loop's on_loop (including loop 0): save_state() then resumes
  // the search from that point.
  std::function<void(const SceSearch&)> on_checkpoint;
  // Polled before each evaluation of a loop, from the evaluating threads.
  // Once it holds, no further evaluation starts; the loop under way is
  // dropped and run() returns the state of the last completed loop. The
  // initial population is always completed.
  std::function<bool()> stop_requested;

  // Runs (or continues, after restore_state or an earlier run) until a stop
  // criterion holds. A search that has already stopped returns its result.
  SceResult run();

  // The state after the last completed loop, as text that restores exactly.
  std::string save_state() const;
  // Replaces the state by a saved one; run() then continues from it with the
  // same evaluations and result as the uninterrupted search (given the same
  // config, bounds and objective). Malformed text, or a state that does not
  // fit this search's config and bounds (counts out of range, a stop flag
  // the state does not give), throws SceStateError.
  void restore_state(std::string_view text);

  SceResult result() const;
  int loop() const { return loop_; }
  int complexes() const { return ngs_; }  // complexes of the next loop
  long evals() const { return evals_; }

 private:
  struct Random;
  // Working copy of one complex during a loop, with the records it made.
  struct Complex {
    std::vector<double> cx, cf;         // npg points, ranked
    std::vector<double> ce, snew;       // centroid, trial point
    std::vector<int> lcs;               // ranks of the sub-complex
    std::vector<double> rec_x, rec_f;   // evaluations of this loop
    int evals = 0;
    int worker = 0;                     // the worker that evolved it in this loop
    long first_call = 0;                // that worker's call number of its first evaluation
  };
  void initial_population();
  void evolve_loop();
  void evolve_complex(Complex& c, int k, int worker, int loop);
  void run_workers(int jobs, const std::function<void(int job, int worker)>& work);
  void rank(int count);
  void population_stats();
  double range_of(int count) const;
  double criterion_change() const;
  SceStop test_stop(double range, double change) const;
  void finish_loop(int complexes, double range);
  double evaluate(int worker, std::span<const double> x);
  void draw_around_best(Random& rng, double* out, const double* center) const;

  SceConfig cfg_;
  int n_ = 0;
  std::vector<double> lo_, hi_, x0_;
  std::vector<char> free_;  // parameter varies (lo < hi)
  int n_free_ = 0;
  Objective objective_;

  // State after the last completed loop.
  bool started_ = false;
  int ngs_ = 0;                 // complexes of the next loop
  int count_ = 0;               // points in the population (ngs_ * npg)
  int loop_ = 0;
  long evals_ = 0;
  SceStop stop_ = SceStop::none;
  bool interrupted_ = false;
  std::vector<double> x_;       // count_ rows of n_, ranked
  std::vector<double> f_;
  std::vector<double> history_; // best objective after loop 0, 1, ...

  // Scratch.
  std::vector<double> std_;     // spread of the population at the start of a loop
  std::vector<Complex> complexes_;
  std::vector<int> order_;
  std::vector<double> xs_, fs_;
  std::vector<long> calls_;       // objective calls per worker in the current loop
  std::vector<int> init_worker_;  // worker and call number of each initial point
  std::vector<long> init_call_;
};

}  // namespace tarvex
