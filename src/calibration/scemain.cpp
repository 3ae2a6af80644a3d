#include "calibration/scemain.hpp"

#include <optional>

#include "calibration/scein.hpp"
#include "calibration/sceua.hpp"

namespace tarvex {

int SCEMAIN(ModelState& s, const ControlFile& ctl, const SearchOptions* search) {
  SceSettings set;
  std::optional<TextWriter> report;
  if (SCEIN(set, report) > 0) {
    report->close();
    return 1;
  }
  const int status = SCEUA(s, set, *report, ctl, search);
  report->close();
  return status;
}

}  // namespace tarvex
