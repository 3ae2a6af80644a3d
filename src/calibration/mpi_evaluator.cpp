#include "calibration/mpi_evaluator.hpp"

#include <mpi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "calibration/remote_evaluator.hpp"
#include "io/input_error.hpp"
#include "io/output_sink.hpp"

namespace tarvex {
namespace {

// Reply: objective, failed flag, then the fit statistics and those of the
// validation period.
constexpr int kFit = 12;
constexpr int kReply = 2 + 2 * kFit;

void pack_fit(const FitStatistics& f, double* b) {
  const double v[kFit] = {static_cast<double>(f.pairs), f.sse, f.rmse, f.nse, f.log_nse, f.r,
                          f.alpha, f.beta, f.gamma, f.kge, f.kge2012, f.pbias};
  std::copy(v, v + kFit, b);
}

FitStatistics unpack_fit(const double* b) {
  FitStatistics f;
  f.pairs = static_cast<long>(b[0]);
  f.sse = b[1];
  f.rmse = b[2];
  f.nse = b[3];
  f.log_nse = b[4];
  f.r = b[5];
  f.alpha = b[6];
  f.beta = b[7];
  f.gamma = b[8];
  f.kge = b[9];
  f.kge2012 = b[10];
  f.pbias = b[11];
  return f;
}

void pack(const PointScore& s, double* b) {
  b[0] = s.f;
  b[1] = s.failed ? 1.0 : 0.0;
  pack_fit(s.fit, b + 2);
  pack_fit(s.validation, b + 2 + kFit);
}

PointScore unpack(const double* b) {
  PointScore s;
  s.f = b[0];
  s.failed = b[1] != 0.0;
  s.fit = unpack_fit(b + 2);
  s.validation = unpack_fit(b + 2 + kFit);
  return s;
}

// Waits for a request without the busy polling of a blocking MPI call: the
// threads waiting for remote evaluations would otherwise take the cores the
// evaluations need.
void wait_for(MPI_Request& request, MPI_Status* status) {
  int done = 0;
  auto pause = std::chrono::microseconds(2);
  for (;;) {
    MPI_Test(&request, &done, status);
    if (done) return;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(200));
  }
}

class MpiEvaluator final : public RemoteEvaluator {
 public:
  MpiEvaluator(int rank, int size) : rank_(rank), size_(size) {}

  bool serves() const override { return rank_ != 0; }
  bool reported() const { return reported_; }

  int loaded(int threads) override {
    reported_ = true;
    std::vector<int> mine(static_cast<std::size_t>(size_), 0), all(mine.size(), 0);
    mine[static_cast<std::size_t>(rank_)] = threads;
    MPI_Allreduce(mine.data(), all.data(), size_, MPI_INT, MPI_SUM, MPI_COMM_WORLD);
    std::string failed;
    for (int r = 0; r < size_; ++r) {
      if (all[static_cast<std::size_t>(r)] <= 0) failed += (failed.empty() ? "" : ", ") + std::to_string(r);
    }
    if (rank_ != 0) return failed.empty() ? 1 : 0;
    if (!failed.empty()) {
      throw InputError("rank " + failed + " of the MPI job could not load the inputs (see its error above); the search "
                       "is not started");
    }
    // Remote slots round-robin over the ranks, so that a loop with few
    // complexes still spreads over every rank.
    const int most = *std::max_element(all.begin() + 1, all.end());
    for (int t = 0; t < most; ++t) {
      for (int r = 1; r < size_; ++r) {
        if (t < all[static_cast<std::size_t>(r)]) slots_.push_back({r, t});
      }
    }
    return static_cast<int>(slots_.size());
  }

  InputMismatch same_inputs(const std::vector<std::string>& inputs) override {
    std::string text;
    for (const std::string& l : inputs) text += l + '\n';
    unsigned long long length = text.size();
    MPI_Bcast(&length, 1, MPI_UNSIGNED_LONG_LONG, 0, MPI_COMM_WORLD);
    std::string theirs(static_cast<std::size_t>(length), '\0');
    if (rank_ == 0) theirs = text;
    MPI_Bcast(theirs.data(), static_cast<int>(length), MPI_CHAR, 0, MPI_COMM_WORLD);
    // The first line of this rank's list that differs from rank 0's, or -1.
    int differs = -1;
    std::size_t pos = 0;
    for (std::size_t k = 0; k <= inputs.size() && differs < 0; ++k) {
      const std::size_t end = theirs.find('\n', pos);
      if (k == inputs.size()) {
        if (end != std::string::npos) differs = static_cast<int>(k);
      } else if (end == std::string::npos || theirs.compare(pos, end - pos, inputs[k]) != 0) {
        differs = static_cast<int>(k);
      } else {
        pos = end + 1;
      }
    }
    std::vector<int> all(static_cast<std::size_t>(size_), -1);
    MPI_Allgather(&differs, 1, MPI_INT, all.data(), 1, MPI_INT, MPI_COMM_WORLD);
    for (int r = 1; r < size_; ++r) {
      if (all[static_cast<std::size_t>(r)] >= 0) return {r, all[static_cast<std::size_t>(r)]};
    }
    return {};
  }

  PointScore evaluate(int slot, std::span<const double> x) override {
    const Slot& s = slots_.at(static_cast<std::size_t>(slot));
    double reply[kReply];
    MPI_Request requests[2];
    MPI_Irecv(reply, kReply, MPI_DOUBLE, s.rank, s.tag, MPI_COMM_WORLD, &requests[1]);
    MPI_Isend(x.data(), static_cast<int>(x.size()), MPI_DOUBLE, s.rank, s.tag, MPI_COMM_WORLD, &requests[0]);
    wait_for(requests[0], MPI_STATUS_IGNORE);
    wait_for(requests[1], MPI_STATUS_IGNORE);
    return unpack(reply);
  }

  void release() override {
    // An empty request stops a serving thread.
    std::vector<MPI_Request> requests(slots_.size());
    for (std::size_t k = 0; k < slots_.size(); ++k) {
      MPI_Isend(nullptr, 0, MPI_DOUBLE, slots_[k].rank, slots_[k].tag, MPI_COMM_WORLD, &requests[k]);
    }
    for (MPI_Request& r : requests) wait_for(r, MPI_STATUS_IGNORE);
    slots_.clear();
  }

  void serve(int threads, int n, const PointScorer& score) override {
    auto work = [&](int tag) {
      try {
        std::vector<double> x(static_cast<std::size_t>(n));
        double reply[kReply];
        for (;;) {
          MPI_Request request;
          MPI_Status status;
          MPI_Irecv(x.data(), n, MPI_DOUBLE, 0, tag, MPI_COMM_WORLD, &request);
          wait_for(request, &status);
          int count = 0;
          MPI_Get_count(&status, MPI_DOUBLE, &count);
          if (count == 0) return;
          pack(score(tag, x), reply);
          MPI_Isend(reply, kReply, MPI_DOUBLE, 0, tag, MPI_COMM_WORLD, &request);
          wait_for(request, MPI_STATUS_IGNORE);
        }
      } catch (const std::exception& e) {
        std::fprintf(stderr, "tarvex: error: rank %d: %s\n", rank_, e.what());
        MPI_Abort(MPI_COMM_WORLD, 1);
      }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < threads; ++t) pool.emplace_back(work, t);
    work(0);
    for (std::thread& t : pool) t.join();
  }

 private:
  struct Slot {
    int rank;
    int tag;  // the serving thread
  };
  int rank_;
  int size_;
  bool reported_ = false;
  std::vector<Slot> slots_;
};

MpiEvaluator* g_mpi = nullptr;

}  // namespace

MpiSession::MpiSession(int* argc, char*** argv) {
  MPI_Init_thread(argc, argv, MPI_THREAD_MULTIPLE, &thread_level_);
  MPI_Comm_rank(MPI_COMM_WORLD, &rank_);
  MPI_Comm_size(MPI_COMM_WORLD, &size_);
}

MpiSession::~MpiSession() {
  if (installed_) {
    // A rank that failed before the search still takes part in the load report.
    if (!g_mpi->reported()) {
      try {
        g_mpi->loaded(0);
      } catch (const InputError&) {
      }
    }
    set_remote_evaluator(nullptr);
    delete g_mpi;
    g_mpi = nullptr;
  }
  MPI_Finalize();
}

std::string MpiSession::start(bool search, int& status) {
  status = 0;
  if (size_ == 1) return {};
  status = 2;
  if (!search) {
    return "under mpirun (" + std::to_string(size_) +
           " processes) only the calibration search (--search) and the sensitivity analysis (--sensitivity) "
           "run; other runs take one process";
  }
  status = 1;
  if (thread_level_ < MPI_THREAD_MULTIPLE) {
    return "error: this MPI library does not provide MPI_THREAD_MULTIPLE, which the search over ranks needs";
  }
  status = 0;
  if (rank_ != 0) discard_outputs();
  g_mpi = new MpiEvaluator(rank_, size_);
  set_remote_evaluator(g_mpi);
  installed_ = true;
  return {};
}

}  // namespace tarvex
