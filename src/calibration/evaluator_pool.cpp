#include "calibration/evaluator_pool.hpp"

#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <thread>

#include "calibration/evaluate.hpp"
#include "calibration/period_scoring.hpp"
#include "io/input_error.hpp"
#include "model/memory_estimate.hpp"
#include "model/warn_error.hpp"

namespace tarvex {

EvaluatorPool::EvaluatorPool(ModelState& s, int n, Objective objective, int local,
                             const std::vector<float>* validation)
    : s_(s), n_(n), objective_(objective), local_(local), validation_(validation) {
  check_run_memory(s, local - 1);
  models_.push_back(s.view());
  params_.push_back(&s.params);
  for (int w = 1; w < local; ++w) {
    copies_.push_back(std::make_unique<WorkerRecords>(s));
    models_.push_back(copies_.back()->over(s));
    params_.push_back(&copies_.back()->params);
  }
  scratch_.resize(static_cast<std::size_t>(local));
}

EvaluatorPool::~EvaluatorPool() { release(); }

PointScore EvaluatorPool::score_here(int thread, std::span<const double> x) {
  const RunModel& w = models_[static_cast<std::size_t>(thread)];
  Scratch& buf = scratch_[static_cast<std::size_t>(thread)];
  PointScore r;
  r.f = std::numeric_limits<double>::infinity();
  try {
    set_parameters(*params_[static_cast<std::size_t>(thread)], x.data(), n_);
    const RunScore run = evaluate_run(w);
    r.fit = run_fit(w, run, buf.sim, buf.obs);
    if (validation_ && !validation_->empty()) {
      r.validation = validation_fit(w.results, run, *validation_, buf.sim, buf.obs);
    }
    // Missing observations are left out of every objective, as in the fit.
    r.f = objective_ == Objective::sse ? static_cast<double>(run.OBJ_OBSERVED) : objective_value(objective_, r.fit);
    if (!std::isfinite(r.f)) r.f = std::numeric_limits<double>::infinity();
  } catch (const InputError&) {
    r.failed = true;
  }
  return r;
}

PointScore EvaluatorPool::score(int worker, std::span<const double> x) {
  return worker < local_ ? score_here(worker, x) : remote_->evaluate(worker - local_, x);
}

bool EvaluatorPool::join_ranks(const std::vector<InputDigest>& inputs, const std::string& what) {
  RemoteEvaluator* remote = remote_evaluator();
  if (!remote) return false;
  std::vector<std::string> input_lines;
  for (const InputDigest& d : inputs) input_lines.push_back(d.digest + " " + d.path);
  if (remote->serves()) {
    if (remote->loaded(local_) == 0) throw RunRefused{0};  // the owning process reported its error
    if (remote->same_inputs(input_lines).rank >= 0) throw RunRefused{0};
    remote->serve(local_, n_, [this](int thread, std::span<const double> x) { return score_here(thread, x); });
    return true;
  }
  const int slots = remote->loaded(local_);
  // Every rank must evaluate on the data of this one.
  const RemoteEvaluator::InputMismatch m = remote->same_inputs(input_lines);
  if (m.rank >= 0) {
    const std::size_t i = static_cast<std::size_t>(m.input);
    throw InputError((i < inputs.size() ? "file '" + inputs[i].path + "', " + inputs[i].role + ","
                                        : std::string("the list of input files")) +
                     " differs between rank 0 and rank " + std::to_string(m.rank) +
                     " of the MPI job; every rank must run on the same inputs: " + what + " is not started");
  }
  if (slots > 0) {
    remote_ = remote;
    slots_ = slots;
  }
  return false;
}

void EvaluatorPool::release() {
  if (remote_) {
    RemoteEvaluator* r = remote_;
    remote_ = nullptr;
    r->release();
  }
}

std::vector<PointScore> EvaluatorPool::score_all(const std::vector<std::vector<double>>& points) {
  std::vector<PointScore> out(points.size());
  std::atomic<std::size_t> next{0};
  std::exception_ptr error;
  std::atomic<bool> failed{false};
  auto work = [&](int worker) {
    try {
      for (std::size_t k; !failed.load() && (k = next.fetch_add(1)) < points.size();) {
        out[k] = score(worker, points[k]);
      }
    } catch (...) {
      if (!failed.exchange(true)) error = std::current_exception();
    }
  };
  const int n = std::max(1, std::min<int>(workers(), static_cast<int>(points.size())));
  std::vector<std::thread> threads;
  for (int w = 1; w < n; ++w) threads.emplace_back(work, w);
  work(0);
  for (std::thread& t : threads) t.join();
  if (error) std::rethrow_exception(error);
  return out;
}

std::vector<PointScore> EvaluatorPool::series_all(const std::vector<std::vector<double>>& points,
                                                  std::vector<std::vector<double>>& series,
                                                  std::vector<double>* observed) {
  std::vector<PointScore> out(points.size());
  series.assign(points.size(), {});
  std::atomic<std::size_t> next{0};
  std::exception_ptr error;
  std::atomic<bool> failed{false};
  auto work = [&](int thread) {
    try {
      for (std::size_t k; !failed.load() && (k = next.fetch_add(1)) < points.size();) {
        out[k] = score_here(thread, points[k]);
        if (!out[k].failed) series[k] = scratch_[static_cast<std::size_t>(thread)].sim;
      }
    } catch (...) {
      if (!failed.exchange(true)) error = std::current_exception();
    }
  };
  const int n = std::max(1, std::min<int>(local_, static_cast<int>(points.size())));
  std::vector<std::thread> threads;
  for (int w = 1; w < n; ++w) threads.emplace_back(work, w);
  work(0);
  for (std::thread& t : threads) t.join();
  if (error) std::rethrow_exception(error);
  if (observed) {
    for (std::size_t k = 0; k < points.size(); ++k) {
      if (!out[k].failed) {
        *observed = scratch_[0].obs;  // the same observations on every copy
        break;
      }
    }
  }
  return out;
}

}  // namespace tarvex
