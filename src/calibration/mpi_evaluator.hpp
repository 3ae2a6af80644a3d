#pragma once
// The calibration search over the ranks of an MPI job (built with
// -DTARVEX_MPI=ON): mpirun -np K tarvex --search [-j N].
//
// Rank 0 searches and alone writes every file; every other rank loads the
// inputs itself, writes nothing and evaluates the points rank 0 sends it, on
// its own -j threads. Before the search starts each rank reports whether it
// loaded the inputs (one collective); a failed rank ends the run on every
// rank, with rank 0's error. A rank that dies during the search ends the job
// through MPI's default error handling; rank 0's last checkpoint stays valid.
#include <string>

namespace tarvex {

class MpiSession {
 public:
  MpiSession(int* argc, char*** argv);
  ~MpiSession();
  MpiSession(const MpiSession&) = delete;
  MpiSession& operator=(const MpiSession&) = delete;

  int rank() const { return rank_; }
  int size() const { return size_; }

  // Sets the job up for a search (search: --search or --sensitivity was
  // given). Returns why
  // the job cannot run, for rank 0 to report, with the exit status in
  // status (2: usage), or an empty text.
  std::string start(bool search, int& status);

 private:
  int rank_ = 0;
  int size_ = 1;
  int thread_level_ = 0;
  bool installed_ = false;
};

}  // namespace tarvex
