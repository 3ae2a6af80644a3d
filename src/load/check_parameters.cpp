#include "load/check_parameters.hpp"

#include "io/input_error.hpp"
#include "routing/routing_checks.hpp"
#include "io/text_writer.hpp"

namespace tarvex {
namespace {

[[noreturn]] void refuse(const std::string& file, int32_t record, const std::string& what) {
  throw InputError("file '" + file + "': record " + std::to_string(record) + ": " + what);
}

// Positive, and neither so small nor so large that the runs' quotients and
// powers of it leave the range of 4-byte reals.
void require_positive(float v, const char* name, const ParameterRecords& rec, int32_t record) {
  if (!(v > 0.0f)) refuse(rec.control, record, std::string(name) + " = " + shortest(v) + " must be positive");
  if (!(v >= MIN_PARAMETER && v <= MAX_PARAMETER)) {
    refuse(rec.control, record,
           std::string(name) + " = " + shortest(v) + " lies outside " + shortest(MIN_PARAMETER) + " to " +
               shortest(MAX_PARAMETER));
  }
}

}  // namespace

void check_parameters(const ModelState& s, const ParameterRecords& rec) {
  // In the calibration run the calibrated parameters come from the settings
  // file and are checked there.
  const bool calibration = s.control.RUN_MODE == 4;
  if (!calibration) {
    require_positive(s.params.WD_HILL, "WD_HILL", rec, rec.wd_hill);
    require_positive(s.params.K_SUB, "K_SUB", rec, rec.k_sub);
    if (s.control.RUN_MODE == 3) {
      require_positive(s.params.TAU_SUB, "TAU_SUB", rec, rec.tau_sub);
      require_positive(s.params.F_SUB_CAP, "F_SUB_CAP", rec, rec.f_sub_cap);
    }
    if (!(s.params.IA_RATIO >= 0.0f && s.params.IA_RATIO <= MAX_PARAMETER) || (s.control.RUN_MODE == 2 && !(s.params.IA_RATIO < 1.0f))) {
      refuse(rec.control, rec.ia_ratio,
             "IA_RATIO = " + shortest(s.params.IA_RATIO) +
                 (s.control.RUN_MODE == 2 ? " must be at least 0 and below 1" : " must not be negative"));
    }
  }
  require_positive(s.params.W_SUB, "W_SUB", rec, rec.w_sub);
  require_positive(s.params.WD_CHAN, "WD_CHAN", rec, rec.channel);
  require_positive(s.params.KS_CHAN_TOP, "KS_CHAN_TOP", rec, rec.channel);
  require_positive(s.params.KS_CHAN_OUT, "KS_CHAN_OUT", rec, rec.channel);
  // Channel roughness law: outlet inside the grid and not at the reference
  // elevation, a finite coefficient on every cell.
  check_channel_roughness(s, {rec.control, rec.channel, rec.outlet});

  // Roughness class of every catchment cell: an index into KS_CLASS.
  const int32_t top_class = calibration ? kLimits.classes : s.params.NCLASS;
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    for (int32_t J = 1; J <= s.catchment.NJ; ++J) {
      if (!(s.catchment.SLOPE(I, J) > 0.0f)) continue;
      const int32_t c = s.catchment.ROUGH_CLASS(I, J);
      if (c < 1 || c > top_class) {
        throw InputError("file '" + rec.rough_file + "': row " + std::to_string(I) + ", column " +
                         std::to_string(J) + ": roughness class " + std::to_string(c) +
                         " of a catchment cell is not one of the classes 1 to " + std::to_string(top_class));
      }
      if (!calibration) {
        require_positive(s.params.KS_CLASS(c), ("KS_CLASS(" + std::to_string(c) + ")").c_str(), rec, rec.ks_class);
      }
    }
  }
}

}  // namespace tarvex
