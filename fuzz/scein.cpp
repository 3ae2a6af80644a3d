// Fuzz target: the search settings file "scein.dat" and the settings section
// of the report "sceout.dat". The input is the whole settings file.
#include <cstddef>
#include <cstdint>
#include <optional>

#include "calibration/scein.hpp"
#include "calibration/sce_settings.hpp"
#include "fuzz_support.hpp"
#include "io/record_reader.hpp"

using namespace tarvex;
using tarvex::fuzz::bug;

namespace {

// What SCEIN promises once it accepts the settings.
void check_settings(const SceSettings& p) {
  if (p.NPAR < 0 || p.NPAR > MAX_SCE_PAR) bug("parameter count outside 0..16 accepted");
  if (p.NGS < 1 || p.NGS > 1319) bug("an invalid number of complexes accepted");
  if (p.kstop < 0 || p.kstop > 19) bug("kstop outside 0..19 kept");
  if (p.NPG < 1 || p.NPS < 1 || p.NSPL < 1) bug("a non-positive algorithm setting kept");
  if (p.NGS * p.NPG > 1320 && p.NGS != 2) bug("a population above 1320 kept");
  if (p.SEED == 0) bug("seed 0 kept");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::enter_scratch_dir();
  fuzz::write_file("scein.dat", std::string_view(reinterpret_cast<const char*>(data), size));
  SceSettings p;
  std::optional<TextWriter> report;
  int32_t errors = -1;
  fuzz::refused_or_done([&] { errors = SCEIN(p, report); });
  if (errors < 0) return 0;
  if (!report) bug("SCEIN returned without its report");
  report->close();
  if (errors == 0) check_settings(p);
  // The report is complete and readable as text.
  if (RecordReader("sceout.dat").count_records() < 10) bug("the settings report is incomplete");
  return 0;
}
