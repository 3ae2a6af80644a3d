#include "calibration/funcval.hpp"

#include <cmath>
#include <fstream>
#include <string>

#include "calibration/sce_settings.hpp"
#include "io/append_file.hpp"
#include "io/input_error.hpp"
#include "io/text_writer.hpp"
#include "simulation/simulation_run.hpp"

namespace tarvex {
namespace {

// Appends the two records of one evaluation to the log as a whole: a failing
// write leaves the log as it was.
void append_log(const double* X, int32_t NOPT, float OBJ) {
  const char* name = "min-ris.txt";
  std::string text;
  {
    // A last record without its line end still counts as a record: the new
    // records start on a line of their own.
    std::ifstream old(name, std::ios::binary | std::ios::ate);
    if (old && old.tellg() > 0) {
      old.seekg(-1, std::ios::end);
      char last = '\n';
      if (old.get(last) && last != '\n') text.push_back('\n');
    }
  }
  ListLine params;
  params.text("Parameter values: ");
  for (int32_t k = 0; k < NOPT; ++k) params.num(X[k]);
  text += params.str();
  text.push_back('\n');
  text += ListLine().text("Objective function = ").num(OBJ).str();
  text.push_back('\n');

  append_whole(name, text);
}

}  // namespace

float FUNCVAL(ModelState& s, const double* X, int32_t NOPT) {
  if (NOPT < MODEL_PARAMS) {
    throw InputError("the parameter vector holds " + std::to_string(NOPT) + " values; the model takes " +
                     std::to_string(MODEL_PARAMS));
  }
  s.A_CHANNEL = static_cast<float>(X[0]);
  s.WD_HILL = static_cast<float>(X[1]);
  s.KS_CLASS(1) = static_cast<float>(X[2]);
  s.KS_CLASS(2) = static_cast<float>(X[3]);
  s.KS_CLASS(3) = static_cast<float>(X[4]);
  s.K_SUB = static_cast<float>(X[5]);
  s.TAU_SUB = static_cast<float>(X[6]);
  s.F_SUB_CAP = static_cast<float>(X[7]);
  s.IA_RATIO = static_cast<float>(X[8]);

  // Initial state, time loop, Q_SECTION per simulation step.
  int32_t NOUT = RUN_SIMULATION(s, s.objective_run, RunKind::objective);

  // Mean of the steps of each record. A last block that would reach past
  // the simulated steps is cut there; it lies beyond the records kept.
  const bool aggregate = s.DT_RAIN != s.DT_SIM;
  if (aggregate) {
    const float R = s.DT_RAIN / s.DT_SIM;
    for (int32_t k_s = 1; k_s <= s.N_SECTIONS; ++k_s) {
      int32_t k = 1;
      int32_t IOUT = 1;
      while (k < NOUT) {
        float sum = 0.0f;
        int32_t k2 = k;
        for (; static_cast<float>(k2) <= static_cast<float>(k) + R - 1.0f; ++k2) {
          if (k2 <= NOUT) sum = sum + s.Q_SECTION(k2, k_s);
        }
        s.Q_SIM_AGG(IOUT, k_s) = sum / R;
        ++IOUT;
        k = k2 > k ? k2 : k + 1;  // a block holds at least one step
      }
    }
    NOUT = static_cast<int32_t>(static_cast<float>(NOUT) / R);
  }
  auto simulated = [&](int32_t IOUT, int32_t k_s) {
    return aggregate ? s.Q_SIM_AGG(IOUT, k_s) : s.Q_SECTION(IOUT, k_s);
  };

  float OF = 0.0f;
  if (s.N_SECTIONS > 0) {
    for (int32_t IOUT = 1; IOUT <= NOUT; ++IOUT) {
      for (int32_t k_s = 1; k_s <= s.N_SECTIONS; ++k_s) {
        const float d = simulated(IOUT, k_s) - s.Q_OBS(IOUT, k_s);
        OF = OF + d * d;
      }
    }
  }
  const float OBJ = OF;
  // The run's discharges are numbers (the run refuses others), but their
  // squared differences may still overflow: no score to log then.
  if (!std::isfinite(OBJ)) {
    throw InputError("the objective function overflows 4-byte reals (" + shortest(OBJ) +
                     "): the simulated discharges differ from the observed ones by more than about 1e17 m3/s; "
                     "no evaluation is logged");
  }

  append_log(X, NOPT, OBJ);

  TextWriter outlet("outlet.out");
  if (s.N_SECTIONS > 0) {
    for (int32_t IOUT = 1; IOUT <= NOUT; ++IOUT) {
      for (int32_t k_s = 1; k_s <= s.N_SECTIONS; ++k_s) {
        outlet.line(ListLine().num(IOUT).num(simulated(IOUT, k_s)).str());
      }
    }
  }
  outlet.close();
  return OBJ;
}

}  // namespace tarvex
