#include "io/evaluation_log.hpp"

#include "io/append_file.hpp"

#include <fstream>
#include <string>

namespace tarvex {

void append_evaluation(const std::filesystem::path& log, const double* X, int32_t n, float OBJ) {
  std::string text;
  {
    // A last record without its line end still counts as a record: the new
    // records start on a line of their own.
    std::ifstream old(log, std::ios::binary | std::ios::ate);
    if (old && old.tellg() > 0) {
      old.seekg(-1, std::ios::end);
      char last = '\n';
      if (old.get(last) && last != '\n') text.push_back('\n');
    }
  }
  ListLine params;
  params.text("Parameter values: ");
  for (int32_t k = 0; k < n; ++k) params.num(X[k]);
  text += params.str();
  text.push_back('\n');
  text += ListLine().text("Objective function = ").num(OBJ).str();
  text.push_back('\n');

  // As a whole: a failing write leaves the log as it was.
  append_whole(log, text);
}

}  // namespace tarvex
