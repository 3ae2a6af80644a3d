#pragma once
// Load-time checks of the inputs the routing relies on. Each throws
// InputError with a message naming the offending record or cell.
#include "model/model_state.hpp"

namespace tarvex {

// Channel roughness law (record 34 of "Tarvex.in"): WD_CHAN, KS_CHAN_TOP and
// KS_CHAN_OUT must be positive, the outlet (record 46) must lie inside the
// grid and not at the reference elevation of 3282 m. Call once the pit-free
// elevations are read; when the slope grid is built as well, the law is
// also checked to give a finite positive coefficient on every catchment
// cell (an outlet just below 3282 m makes it overflow).
void check_channel_roughness(const ModelState& s);

}  // namespace tarvex
