#pragma once
// Numbered messages of the program (1001 to 1022), printed on standard output.
#include <cstdint>

namespace tarvex {

void WARN_ERROR(int32_t number);

// A run refused with a numbered message. The message is printed where the
// refusal is raised; the driver ends the pass with exit status 1.
struct RunRefused {
  int32_t number;
};

// Prints message number and throws RunRefused.
[[noreturn]] void refuse_run(int32_t number);

}  // namespace tarvex
