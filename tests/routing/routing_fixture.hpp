#pragma once
// Small in-memory catchments for the routing tests: 100 m cells, hourly
// steps, one hillslope roughness class.
#include <memory>

#include "support/small_state.hpp"

namespace tarvex::test {

inline std::unique_ptr<ModelState> routing_state(int32_t ni, int32_t nj) {
  auto s = small_state(ni, nj);
  s->run.single_run.resize(ni, nj);
  set_routing(*s);
  s->catchment.OUTLET_I = ni;
  s->catchment.OUTLET_J = nj;
  s->catchment.SLOPE.fill(0.01f);
  s->catchment.AREA_CELLS.fill(1);
  return s;
}

}  // namespace tarvex::test
