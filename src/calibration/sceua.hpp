#pragma once
#include "calibration/sce_settings.hpp"
#include "driver/model_state.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

// Loads the observed discharge named in records 4, 6 and 8 of "Tarvex.in"
// into Q_OBS, opens the search section of the report and scores the initial
// parameter vector once. Returns 0, or 1 when the observed series is longer
// than Q_OBS holds (message 1014, no run). A parameter vector too short for
// the model is refused with an InputError before anything is read.
int SCEUA(ModelState& s, const SceSettings& set, TextWriter& report);

}  // namespace tarvex
