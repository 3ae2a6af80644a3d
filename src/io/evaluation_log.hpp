#pragma once
// Records of the calibration run: the evaluation log "min-ris.txt" (two
// free-format records per evaluation, appended) and a simulated series
// written as record number and value per line ("outlet.out").
#include <cstdint>
#include <filesystem>

#include "io/text_writer.hpp"

namespace tarvex {

// Appends "Parameter values: X..." and "Objective function = OBJ" in one
// write, starting on a new line when the file's last record has no line end.
void append_evaluation(const std::filesystem::path& log, const double* X, int32_t n, float OBJ);

class SeriesWriter {
 public:
  explicit SeriesWriter(const std::filesystem::path& path) : out_(path) {}
  // Writes " n value".
  void value(int32_t n, float v) { out_.line(ListLine().num(n).num(v).str()); }
  void close() { out_.close(); }

 private:
  TextWriter out_;
};

}  // namespace tarvex
