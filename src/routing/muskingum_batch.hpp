#pragma once
// Surface Muskingum-Cunge coefficients of many cells at once from their
// reference discharge, celerity and section width, value for value what
// muskingum_coefficients gives cell by cell: the same IEEE operations in the
// same order, eight cells at a time in vector lanes on CPUs with AVX-512.
#include <cstdint>

namespace tarvex {

// For k in [0, n): D = Q/(S ck W L) and Cr = ck dt/L in double, then
// C1..C4 as muskingum_coefficients gives them. Q, ck and W as the celerity
// law computes them, S the cell's slope, L its flow length (m), dt (s).
void muskingum_surface_batch(int32_t n, const float* Q, const float* ck, const float* W, const float* S,
                             const float* L, float dt, float* C1, float* C2, float* C3, float* C4);

// Whether muskingum_surface_batch uses vector lanes on this CPU; when it
// does not, a caller with a faster scalar form of its own may prefer that.
bool muskingum_batch_vectorised();
// Off, the batch computes cell by cell (the tests compare both).
void set_muskingum_batch_vector(bool on);

}  // namespace tarvex
