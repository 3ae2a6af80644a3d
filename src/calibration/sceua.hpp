#pragma once
#include "calibration/sce_settings.hpp"
#include "calibration/search_options.hpp"
#include "io/control_file.hpp"
#include "model/input_limits.hpp"
#include "model/model_state.hpp"
#include "io/text_writer.hpp"

namespace tarvex {


// Loads the observed discharge named in records 4, 6 and 8 of the control
// file into Q_OBS, opens the search section of the report and scores the
// initial parameter vector once. An observed series longer than Q_OBS holds
// throws RunRefused (message 1014, no run). A parameter vector too short for
// the model, or one the model cannot compute with (check_parameter_vector),
// is refused with an InputError before anything is read; so is an observed
// value beyond MAX_OBSERVED_DISCHARGE, naming its record.
// With search->search the settings are checked for the search
// (check_search_settings) before anything is read, and the search runs
// instead of the single evaluation; an observed series with no value that is
// not missing in the records the run compares is refused (InputError).
// Returns the status of run_calibration_search (130 or 143 for an
// interrupted search), else 0.
int SCEUA(ModelState& s, const SceSettings& set, TextWriter& report, const ControlFile& ctl,
           const SearchOptions* search = nullptr);

}  // namespace tarvex
