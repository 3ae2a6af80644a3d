#pragma once
#include "calibration/sce_settings.hpp"
#include "driver/model_state.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

// Largest magnitude of an observed discharge, m3/s (some fifty times the
// mean flow of the largest river): larger values are no discharges, and their
// squared differences would overflow the objective function.
inline constexpr float MAX_OBSERVED_DISCHARGE = 1.0e7f;

// Loads the observed discharge named in records 4, 6 and 8 of "Tarvex.in"
// into Q_OBS, opens the search section of the report and scores the initial
// parameter vector once. Returns 0, or 1 when the observed series is longer
// than Q_OBS holds (message 1014, no run). A parameter vector too short for
// the model, or one the model cannot compute with (check_parameter_vector),
// is refused with an InputError before anything is read; so is an observed
// value beyond MAX_OBSERVED_DISCHARGE, naming its record.
int SCEUA(ModelState& s, const SceSettings& set, TextWriter& report);

}  // namespace tarvex
