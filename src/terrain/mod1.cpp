#include "terrain/mod1.hpp"

#include <cstdio>

namespace tarvex {

int MOD1(ModelState&) {
  std::fprintf(stderr, "tarvex: terrain preprocessing (mode 1) is not built yet\n");
  return 1;
}

}  // namespace tarvex
