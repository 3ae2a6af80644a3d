#include "simulation/manual_calibration.hpp"

#include <cstdio>

namespace tarvex {

int MANUAL_CALIBRATION(ModelState&, int32_t& NOUT) {
  NOUT = 0;
  std::fprintf(stderr, "tarvex: single simulation runs (modes 2 and 3) are not built yet\n");
  return 1;
}

}  // namespace tarvex
