#pragma once
// The checkpoint of a sampling analysis (sensitivity, uncertainty): a tag
// line, the settings key, the digests of the inputs, the evaluations done
// and the bytes of the evaluations file they fill.
#include <cstdint>
#include <string>
#include <vector>

#include "calibration/search_inputs.hpp"

namespace tarvex {

struct AnalysisCheckpoint {
  int64_t evaluations = 0;
  std::uintmax_t csv_bytes = 0;
};

// Refuses (InputError) record `record` of checkpoint `file`.
[[noreturn]] void refuse_analysis_checkpoint(const char* file, int record, const std::string& what);

// Reads checkpoint `file` written under `tag`; refuses one of other settings
// than `key` or whose inputs have changed since, naming the first. With
// `free` (e.g. "samples"), the value after that word in the keys may differ:
// a setting that only says where the analysis ends.
AnalysisCheckpoint read_analysis_checkpoint(const char* file, const char* tag, const std::string& key,
                                            const std::vector<InputDigest>& inputs, const std::string& free = {});

}  // namespace tarvex
