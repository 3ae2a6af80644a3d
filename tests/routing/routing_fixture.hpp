#pragma once
// Small in-memory catchments for the routing tests: 100 m cells, hourly
// steps, one hillslope roughness class.
#include <memory>

#include "model/model_state.hpp"

namespace tarvex::test {

inline std::unique_ptr<ModelState> routing_state(int32_t ni, int32_t nj) {
  auto s = std::make_unique<ModelState>();
  s->RUN_MODE = 3;
  s->NI = ni;
  s->NJ = nj;
  s->size_grids(ni, nj);
  s->single_run.resize(ni, nj);
  s->CELL_DX = 100.0f;
  s->CELL_DY = 100.0f;
  s->DT_SIM = 3600.0f;
  s->DT_RAIN = 3600.0f;
  s->A_CHANNEL = 1000.0f;  // km2: no channel cells unless a test lowers it
  s->WD_HILL = 10.0f;
  s->NCLASS = 1;
  s->KS_CLASS(1) = 20.0f;
  s->WD_CHAN = 10.0f;
  s->KS_CHAN_TOP = 40.0f;
  s->KS_CHAN_OUT = 20.0f;
  s->K_SUB = 0.001f;
  s->W_SUB = 100.0f;
  s->OUTLET_I = ni;
  s->OUTLET_J = nj;
  s->ELEVATION.fill(500.0f);
  s->SLOPE.fill(0.01f);
  s->ROUGH_CLASS.fill(1);
  s->AREA_CELLS.fill(1);
  return s;
}

inline void add_path(ModelState& s, int32_t i0, int32_t j0, int32_t ie, int32_t je) {
  ++s.NPATH;
  s.IIN(s.NPATH) = i0;
  s.JIN(s.NPATH) = j0;
  s.IFIN(s.NPATH) = ie;
  s.JFIN(s.NPATH) = je;
}

}  // namespace tarvex::test
