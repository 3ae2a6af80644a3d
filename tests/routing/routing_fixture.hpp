#pragma once
// Small in-memory catchments for the routing tests: 100 m cells, hourly
// steps, one hillslope roughness class.
#include <memory>

#include "support/small_state.hpp"

namespace tarvex::test {

inline std::unique_ptr<ModelState> routing_state(int32_t ni, int32_t nj) {
  auto s = small_state(ni, nj);
  s->single_run.resize(ni, nj);
  set_routing(*s);
  s->OUTLET_I = ni;
  s->OUTLET_J = nj;
  s->SLOPE.fill(0.01f);
  s->AREA_CELLS.fill(1);
  return s;
}

}  // namespace tarvex::test
