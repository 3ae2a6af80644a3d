#pragma once
// Settings of the shuffled complex evolution search, as read from
// "scein.dat" and checked by SCEIN. Of these the evaluation run uses only
// the number of parameters and their initial values; the rest is reported.
#include <cstdint>

#include "model/model_state.hpp"

namespace tarvex {

inline constexpr int32_t MAX_SCE_PAR = 16;  // parameter records of "scein.dat"
inline constexpr int32_t MODEL_PARAMS = 9;  // parameters that enter the model

struct SceSettings {
  Array1<double, MAX_SCE_PAR> PAR0;   // initial value of each parameter
  Array1<double, MAX_SCE_PAR> PARLO;  // lower bound
  Array1<double, MAX_SCE_PAR> PARHI;  // upper bound
  int32_t NPAR = 0;                   // parameter records read
  int32_t MAXTRIALS = 0;              // objective-function runs allowed
  int32_t kstop = 0;                  // shuffling loops over which the criterion must change
  double PCTCHANGE = 0.0;             // required relative change, fraction
  int32_t SEED = 0;                   // random seed
  int32_t NGS = 0;                    // complexes in the initial population
  int32_t NPG = 0;                    // points per complex
  int32_t NPS = 0;                    // points per sub-complex
  int32_t NSPL = 0;                   // evolution steps per complex before shuffling
  int32_t MINCPX = 0;                 // complexes that must remain
  int32_t INIPT = 0;                  // non-zero: initial point in the population
  int32_t PRINTFLG = 0;               // 1: print the population at each loop
};

}  // namespace tarvex
