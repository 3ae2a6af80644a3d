#pragma once
// Load-time checks of the inputs the routing relies on. Each throws
// InputError with a message naming the offending record or cell.
#include <cstdint>
#include <string>

#include "model/model_state.hpp"

namespace tarvex {

// Where the control file holds the values of the channel roughness law.
struct ChannelRecords {
  std::string control;      // name of the control file
  int32_t channel = 0;      // record of WD_CHAN, KS_CHAN_TOP, KS_CHAN_OUT
  int32_t outlet = 0;       // record of OUTLET_I, OUTLET_J
};

// Channel roughness law: the outlet must lie inside the grid and not at the
// reference elevation of 3282 m. WD_CHAN, KS_CHAN_TOP and KS_CHAN_OUT are
// taken as checked positive by the loading. Call once the pit-free
// elevations are read; when the slope grid is built as well, the law is
// also checked to give a finite positive coefficient on every catchment
// cell (an outlet just below 3282 m makes it overflow).
void check_channel_roughness(const ModelState& s, const ChannelRecords& rec);

}  // namespace tarvex
