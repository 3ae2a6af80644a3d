#pragma once
// Where the calibration analyses (the search, the sensitivity analysis)
// score their points: a copy of the loaded model per thread of this process,
// and in an MPI job the threads of the other ranks. Worker w < local() runs
// on model copy w (copy 0 is the loaded model itself); the others wait for a
// remote slot.
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "calibration/evaluate.hpp"
#include "calibration/fit_statistics.hpp"
#include "calibration/remote_evaluator.hpp"
#include "calibration/search_inputs.hpp"
#include "model/model_state.hpp"

namespace tarvex {

class EvaluatorPool {
 public:
  // Checks the memory of `local` concurrent runs (InputError) and gives
  // threads 1 .. local - 1 their own parameters, run state and results over
  // the loaded catchment and forcing. A point scores `objective` over the
  // observed values (missing ones left out); a failed run or a score that is
  // no number scores +infinity. With `validation` (the observed values of a
  // validation period, NaN elsewhere) each point also has its fit there.
  EvaluatorPool(ModelState& s, int n, Objective objective, int local,
                const std::vector<float>* validation = nullptr);
  ~EvaluatorPool();
  EvaluatorPool(const EvaluatorPool&) = delete;
  EvaluatorPool& operator=(const EvaluatorPool&) = delete;

  // Joins the other ranks of an MPI job, if any. A serving process answers
  // requests until the owner releases it, and true is returned: the caller
  // then leaves without writing anything. The owner checks that every rank
  // read the same inputs (InputError naming the first that differs; `what`
  // names the run that is then not started) and gains the remote slots.
  bool join_ranks(const std::vector<InputDigest>& inputs, const std::string& what);

  int local() const { return local_; }
  int workers() const { return local_ + slots_; }

  // Scores x on worker `worker`; distinct workers may score concurrently.
  PointScore score(int worker, std::span<const double> x);

  // Scores every point on every worker; results in the order of the points.
  std::vector<PointScore> score_all(const std::vector<std::vector<double>>& points);

  // Scores every point on this process's threads (the series stay here) and
  // gives the simulated series of the compared records (record by record,
  // sections in order; empty for a failed run). observed: the matching
  // observed values, from the first run that succeeded. Not for a pool with
  // a validation period.
  std::vector<PointScore> series_all(const std::vector<std::vector<double>>& points,
                                     std::vector<std::vector<double>>& series, std::vector<double>* observed);

  // The remote ranks stop serving (at most once; also at destruction).
  void release();

 private:
  PointScore score_here(int thread, std::span<const double> x);

  ModelState& s_;
  int n_;
  Objective objective_;
  int local_;
  int slots_ = 0;
  RemoteEvaluator* remote_ = nullptr;  // set while remote slots are held
  const std::vector<float>* validation_;
  std::vector<std::unique_ptr<WorkerRecords>> copies_;
  std::vector<RunModel> models_;
  std::vector<Parameters*> params_;
  struct Scratch {
    std::vector<double> sim, obs;
  };
  std::vector<Scratch> scratch_;
};

}  // namespace tarvex
