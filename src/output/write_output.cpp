#include "output/write_output.hpp"

namespace tarvex {

void WRITE_OUTPUT(ModelState&, int32_t&, int32_t&) {}

}  // namespace tarvex
