#include "forcing/input_rain.hpp"

namespace tarvex {

void INPUT_RAIN(ModelState&, RecordReader&, int32_t&) {}

}  // namespace tarvex
