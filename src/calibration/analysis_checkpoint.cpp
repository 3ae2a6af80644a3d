#include "calibration/analysis_checkpoint.hpp"

#include <charconv>
#include <optional>

#include "calibration/search_inputs.hpp"
#include "io/input_error.hpp"
#include "io/record_reader.hpp"

namespace tarvex {

void refuse_analysis_checkpoint(const char* file, int record, const std::string& what) {
  throw InputError(std::string("file '") + file + "': record " + std::to_string(record) + ": " + what);
}

AnalysisCheckpoint read_analysis_checkpoint(const char* file, const char* tag, const std::string& key,
                                            const std::vector<InputDigest>& inputs, const std::string& free) {
  const auto refuse_checkpoint = [file](int record, const std::string& what) {
    refuse_analysis_checkpoint(file, record, what);
  };
  std::optional<RecordReader> rd = RecordReader::try_open(file);
  if (!rd) {
    throw InputError(std::string("file '") + file +
                     "' cannot be opened: --resume continues the analysis saved there");
  }
  int record = 0;
  auto next = [&](const std::string& what) {
    ++record;
    if (rd->at_end()) refuse_checkpoint(record, "expected " + what);
    std::string l(rd->peek());
    rd->skip(1);
    return l;
  };
  auto field = [&](const std::string& name) {
    const std::string l = next("'" + name + " ...'");
    if (l.rfind(name + " ", 0) != 0) refuse_checkpoint(record, "expected '" + name + " ...'");
    return l.substr(name.size() + 1);
  };
  auto count = [&](const std::string& name) {
    const std::string v = field(name);
    int64_t n = -1;
    const auto r = std::from_chars(v.data(), v.data() + v.size(), n);
    if (v.empty() || v[0] == '-' || r.ec != std::errc() || r.ptr != v.data() + v.size()) {
      refuse_checkpoint(record, "expected a count after '" + name + "', not '" + v + "'");
    }
    return n;
  };
  if (next("'" + std::string(tag) + "'") != tag) {
    refuse_checkpoint(record, std::string("expected '") + tag + "'; not a checkpoint of this program");
  }
  // The key without the word `free` and its value.
  const auto fixed_part = [&](std::string k) {
    const std::string w = " " + free + " ";
    const std::size_t at = free.empty() ? std::string::npos : k.find(w);
    if (at != std::string::npos) k.erase(at, k.find(' ', at + w.size()) - at);
    return k;
  };
  if (fixed_part(field("settings")) != fixed_part(key)) {
    refuse_checkpoint(record, "the checkpoint belongs to an analysis with other settings, bounds or objective "
                              "than 'scein.dat' and the command line give now; start it again without --resume");
  }
  std::vector<InputDigest> saved;
  const int64_t n_inputs = count("inputs");
  for (int64_t k = 0; k < n_inputs; ++k) {
    const std::string l = field("input");
    const std::size_t blank = l.find(' ');
    if (blank == std::string::npos) refuse_checkpoint(record, "expected 'input', a digest and a file name");
    saved.push_back({l.substr(blank + 1), "", l.substr(0, blank)});
  }
  if (const int k = first_changed_input(saved, inputs); k >= 0) {
    const auto i = static_cast<std::size_t>(k);
    throw InputError((i < inputs.size() ? "file '" + inputs[i].path + "', " + inputs[i].role + ","
                                        : std::string("the list of input files")) +
                     " has changed since the analysis saved in '" + file +
                     "' began; restore the file, or start the analysis again without --resume");
  }
  AnalysisCheckpoint s;
  s.evaluations = count("evaluations");
  s.csv_bytes = static_cast<std::uintmax_t>(count("csv-bytes"));
  return s;
}

}  // namespace tarvex
