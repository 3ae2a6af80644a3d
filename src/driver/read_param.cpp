#include "driver/read_param.hpp"

#include "forcing/input_rain.hpp"

namespace tarvex {

void READ_PARAM(ModelState&, int32_t& ERR, int32_t&) { ERR = 1; }

}  // namespace tarvex
