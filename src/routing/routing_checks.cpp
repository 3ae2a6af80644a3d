#include "routing/routing_checks.hpp"

#include <cmath>
#include <string>

#include "io/input_error.hpp"
#include "io/text_writer.hpp"
#include "laws/roughness.hpp"

namespace tarvex {
namespace {

[[noreturn]] void refuse(const std::string& control, int32_t record, const std::string& what) {
  throw InputError("file '" + control + "': record " + std::to_string(record) + ": " + what);
}

bool positive(float v) { return v > 0.0f && std::isfinite(v); }

std::string cell_text(int32_t i, int32_t j) { return "(" + std::to_string(i) + "," + std::to_string(j) + ")"; }

}  // namespace

void check_channel_roughness(const ModelState& s, const ChannelRecords& rec) {
  if (!s.catchment.ELEVATION.contains(s.catchment.OUTLET_I, s.catchment.OUTLET_J)) {
    refuse(rec.control, rec.outlet, "the outlet cell " + cell_text(s.catchment.OUTLET_I, s.catchment.OUTLET_J) + " lies outside the grid of " +
                     std::to_string(s.catchment.ELEVATION.rows()) + " x " + std::to_string(s.catchment.ELEVATION.cols()) + " cells");
  }
  const float z_out = s.catchment.ELEVATION(s.catchment.OUTLET_I, s.catchment.OUTLET_J);
  if (CHANNEL_TOP_ELEVATION - z_out == 0.0f) {
    refuse(rec.control, rec.channel, "the channel roughness law is undefined with the outlet cell " + cell_text(s.catchment.OUTLET_I, s.catchment.OUTLET_J) +
                     " at 3282 m, the reference elevation of the top Strickler coefficient");
  }
  // The law as the routing evaluates it, on every catchment cell.
  const Grid<float>& slope = s.catchment.SLOPE;
  if (slope.rows() != s.catchment.ELEVATION.rows() || slope.cols() != s.catchment.ELEVATION.cols()) return;
  const float g = channel_roughness_gradient(s.params.KS_CHAN_TOP, s.params.KS_CHAN_OUT, z_out);
  for (int32_t i = 1; i <= slope.rows(); ++i) {
    for (int32_t j = 1; j <= slope.cols(); ++j) {
      if (!(slope(i, j) > 0.0f)) continue;
      const float z = s.catchment.ELEVATION(i, j);
      const float K = channel_roughness(s.params.KS_CHAN_OUT, g, z, z_out);
      if (!positive(K)) {
        refuse(rec.control, rec.channel, "the channel roughness law gives a Strickler coefficient of " + shortest(K) + " at cell " +
                         cell_text(i, j) + " (elevation " + shortest(z) + " m, outlet at " + shortest(z_out) +
                         " m)");
      }
    }
  }
}

}  // namespace tarvex
