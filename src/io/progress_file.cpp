#include "io/progress_file.hpp"

#include "io/input_error.hpp"
#include "io/output_sink.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

namespace {
constexpr const char* kName = "timestep.out";
}

ProgressFile::~ProgressFile() {
  if (f_) std::fclose(f_);
}

void ProgressFile::fail() const { throw InputError(std::string("file '") + kName + "': write failed"); }

void ProgressFile::open() {
  if (f_) std::fclose(f_);
  f_ = std::fopen(outputs_discarded() ? "/dev/null" : kName, "wb");
  if (!f_) throw InputError(std::string("file '") + kName + "' cannot be created or written");
  length_ = 0;
}

void ProgressFile::write(int32_t IT, int32_t NSTEPS) {
  std::string rec = ListLine().text("Completed time step ").num(IT).text("/").num(NSTEPS).str();
  rec.push_back('\n');
  // The record never shrinks as IT grows; should it, start the file afresh
  // so that no tail of the longer record remains.
  if (!f_ || rec.size() < length_) open();
  std::rewind(f_);
  if (std::fwrite(rec.data(), 1, rec.size(), f_) != rec.size() || std::fflush(f_) != 0) fail();
  length_ = rec.size();
}

void ProgressFile::close() {
  if (!f_) return;
  const int rc = std::fclose(f_);
  f_ = nullptr;
  if (rc != 0) fail();
}

}  // namespace tarvex
