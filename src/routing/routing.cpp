#include "routing/routing.hpp"

namespace tarvex {

void ROUTING(ModelState&, const Grid<float>&) {}

}  // namespace tarvex
