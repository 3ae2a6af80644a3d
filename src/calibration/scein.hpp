#pragma once
#include <cstdint>
#include <optional>

#include "calibration/sce_settings.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

// Reads the search settings and the parameter records of "scein.dat",
// replaces unusable settings by defaults with a warning, and writes the
// settings section of "sceout.dat", which stays open in `report` for the
// search section. Returns the number of errors: above 0 the report ends
// with the refusal and no search may follow. A missing file, a malformed
// field or a 17th parameter record throws InputError.
int32_t SCEIN(SceSettings& set, std::optional<TextWriter>& report);

}  // namespace tarvex
