#pragma once
// Evaluations of the calibration search in other processes (the ranks of an
// MPI job, src/calibration/mpi_evaluator.cpp). The search asks
// remote_evaluator(); without one (every build without MPI, or a single
// process) it evaluates on its own threads only.
//
// Every process loads the inputs itself. The owner of the run (rank 0)
// searches and writes every file; each other process serves evaluations
// with its own model copies and writes nothing.
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "calibration/fit_statistics.hpp"

namespace tarvex {

// Objective and fit of one point; failed: the run's guards refused it.
struct PointScore {
  double f = 0.0;
  bool failed = false;
  FitStatistics fit;
  FitStatistics validation;  // on the validation period, when one is set
};

// Scores x on the model copy of thread `thread` of a serving process.
using PointScorer = std::function<PointScore(int thread, std::span<const double> x)>;

class RemoteEvaluator {
 public:
  virtual ~RemoteEvaluator() = default;

  // This process serves evaluations instead of searching.
  virtual bool serves() const = 0;

  // Every process calls it once it has loaded everything the search needs,
  // with the number of its evaluation threads. On the searching process it
  // returns the evaluations other processes can run at once, or throws
  // InputError naming the processes that failed to load; on a serving
  // process it returns 0 when the searching process failed.
  virtual int loaded(int threads) = 0;

  // A process whose inputs differ from the searching process's.
  struct InputMismatch {
    int rank = -1;   // -1: every process reads the same inputs
    int input = -1;  // index of the first differing entry of the lists
  };
  // Every process calls it after loaded() succeeded, with one text per input
  // (its name and digest). The searching process's list goes to every other
  // process, and every process gets the same answer.
  virtual InputMismatch same_inputs(const std::vector<std::string>& inputs) = 0;

  // Searching process: scores x on remote slot `slot` (0 .. loaded() - 1),
  // waiting for the result. Different slots may be used concurrently.
  virtual PointScore evaluate(int slot, std::span<const double> x) = 0;

  // Searching process: the search is over (or failed); the serving
  // processes stop. Called at most once, after every evaluate() returned.
  virtual void release() = 0;

  // Serving process: answers requests for points of n parameters on
  // `threads` threads until the searching process releases it.
  virtual void serve(int threads, int n, const PointScorer& score) = 0;
};

// The evaluator of this process, or nullptr.
RemoteEvaluator* remote_evaluator();
void set_remote_evaluator(RemoteEvaluator* evaluator);

}  // namespace tarvex
