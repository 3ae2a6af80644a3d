#include "calibration/scemain.hpp"

#include <cstdio>

namespace tarvex {

int SCEMAIN(ModelState&) {
  std::fprintf(stderr, "tarvex: the calibration run (mode 4) is not built yet\n");
  return 1;
}

}  // namespace tarvex
