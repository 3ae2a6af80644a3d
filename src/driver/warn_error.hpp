#pragma once
// Numbered messages of the program (1001 to 1022), printed on standard output.
#include <cstdint>

namespace tarvex {

void WARN_ERROR(int32_t number);

}  // namespace tarvex
