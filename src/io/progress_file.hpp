#pragma once
// "timestep.out": one record naming the last completed step of a single run.
#include <cstdint>
#include <cstdio>
#include <string>

namespace tarvex {

// Holds the file open for the whole run and rewrites its one record in place
// after every step (flushed, so the file always shows the latest step),
// instead of creating the file anew at each of up to 40000 steps.
class ProgressFile {
 public:
  ProgressFile() = default;
  ~ProgressFile();
  ProgressFile(const ProgressFile&) = delete;
  ProgressFile& operator=(const ProgressFile&) = delete;

  // Writes "Completed time step IT / NSTEPS" as the file's only record.
  void write(int32_t IT, int32_t NSTEPS);
  void close();

 private:
  void open();
  [[noreturn]] void fail() const;
  std::FILE* f_ = nullptr;
  std::size_t length_ = 0;  // length of the record in the file
};

}  // namespace tarvex
