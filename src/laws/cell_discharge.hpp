#pragma once
// A water depth over a cell in a step as a discharge,
//
//   q = d dx dy / (1000 dt)
//
// d in mm per step, dx and dy the cell sides in m, dt the step in s, q in
// m3/s. The surface runoff uses the factor dx dy / dt / 1000 computed once
// per run; the lateral subsurface input of an event run divides the depth
// itself. The two groupings round differently in 4-byte reals, and each
// stays where the model uses it.

namespace tarvex {

// dx dy / dt / 1000: m3/s per mm per step over one cell.
inline float cell_discharge_factor(float dx, float dy, float dt) { return dx * dy / dt / 1000.0f; }

// d dx dy / dt / 1000 for a depth d (mm per step), m3/s.
template <class V>
inline V cell_discharge(V d, float dx, float dy, float dt) {
  return d * dx * dy / dt / 1000.0f;
}

}  // namespace tarvex
