#include "calibration/parameter_vector.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "model/input_limits.hpp"
#include "io/input_error.hpp"
#include "io/text_writer.hpp"

namespace tarvex {
namespace {

const char* const kNames[MODEL_PARAMS] = {"A_CHANNEL", "WD_HILL", "KS_CLASS(1)", "KS_CLASS(2)", "KS_CLASS(3)",
                                          "K_SUB",     "TAU_SUB", "F_SUB_CAP",   "IA_RATIO"};

[[noreturn]] void refuse(int32_t j, double v, const std::string& rule) {
  // Parameter j stands in record j + 2 of the settings file.
  throw InputError("file 'scein.dat': record " + std::to_string(j + 2) + ": the initial value " + shortest(v) +
                   " of parameter " + std::to_string(j) + " (" + kNames[j - 1] + ") " + rule);
}

}  // namespace

void check_parameter_vector(const ModelState& s, const SceSettings& set) {
  for (int32_t j = 1; j <= MODEL_PARAMS; ++j) {
    const double v = set.PAR0(j);
    if (!(std::fabs(v) <= static_cast<double>(std::numeric_limits<float>::max()))) {
      refuse(j, v, "is beyond the range of 4-byte reals");
    }
  }
  // Rounded to 4-byte reals as the run takes them.
  auto par = [&](int32_t j) { return static_cast<float>(set.PAR0(j)); };
  auto require_positive = [&](int32_t j, const std::string& why) {
    if (!(par(j) > 0.0f)) refuse(j, set.PAR0(j), "must be positive" + why);
    if (!(par(j) >= MIN_PARAMETER && par(j) <= MAX_PARAMETER)) {
      refuse(j, set.PAR0(j), "lies outside " + shortest(MIN_PARAMETER) + " to " + shortest(MAX_PARAMETER));
    }
  };
  for (int32_t j : {2, 6, 7, 8}) require_positive(j, "");
  if (!(par(9) >= 0.0f)) refuse(9, set.PAR0(9), "must not be negative");
  if (!(par(9) <= MAX_PARAMETER)) refuse(9, set.PAR0(9), "lies above " + shortest(MAX_PARAMETER));

  // Strickler coefficients of the classes in use on the catchment.
  bool used[kLimits.classes + 1] = {};
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    for (int32_t J = 1; J <= s.catchment.NJ; ++J) {
      const int32_t c = s.catchment.ROUGH_CLASS(I, J);
      if (s.catchment.SLOPE(I, J) > 0.0f && c >= 1 && c <= kLimits.classes) used[c] = true;
    }
  }
  for (int32_t c = 1; c <= kLimits.classes; ++c) {
    if (used[c]) require_positive(2 + c, ": catchment cells have roughness class " + std::to_string(c));
  }
}

void check_sampled_bounds(const SceSettings& p, const char* what) {
  bool varies = false;
  for (int32_t j = 1; j <= p.NPAR; ++j) {
    const double lo = p.PARLO(j), hi = p.PARHI(j);
    if (!(lo <= hi)) {
      throw InputError("file 'scein.dat': record " + std::to_string(j + 2) + ": parameter " + std::to_string(j) +
                       ": the lower bound " + shortest(lo) + " lies above the upper bound " + shortest(hi) +
                       "; no evaluation is run");
    }
    varies = varies || lo < hi;
  }
  if (!varies) {
    throw InputError("file 'scein.dat': the lower and upper bounds are equal for every one of the " +
                     std::to_string(p.NPAR) + " parameters: nothing varies, no " + what +
                     " to measure; no evaluation is run");
  }
}

}  // namespace tarvex
