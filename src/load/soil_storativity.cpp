#include "load/soil_storativity.hpp"

#include <limits>
#include <string>
#include <vector>

#include "io/text_writer.hpp"

namespace tarvex {

void SOIL_STORATIVITY(ModelState& s, GridReader& file) {
  std::vector<float> CN_ROW(static_cast<std::size_t>(s.catchment.NJ > 0 ? s.catchment.NJ : 0));
  std::string refusal;
  for (int32_t I = 1; I <= s.catchment.NI; ++I) {
    file.row(CN_ROW.data(), s.catchment.NJ, "row " + std::to_string(I) + " of the curve-number grid", 0.0f);  // CN <= 0: no soil
    for (int32_t J = 1; J <= s.catchment.NJ; ++J) {
      const float CN = CN_ROW[static_cast<std::size_t>(J - 1)];
      float S;
      if (CN <= 0.0f) {
        S = -1.0f;  // no soil
      } else {
        S = (100.0f / CN - 1.0f) * 254.0f;
        if (S == 0.0f) S = 0.0001f;
        if (S < 0.0f) {
          print_line("");
          print_line(ListLine().text("S < 0 for cell").num(I).num(J).str());
          print_line(ListLine().text("Error in the CN file").str());
          print_line("");
        }
      }
      s.catchment.SOIL_CAPACITY(I, J) = S;
      // A curve number so close to 0 that S overflows is no soil either.
      if (!(S > 0.0f && S <= std::numeric_limits<float>::max()) && s.catchment.SLOPE(I, J) > 0.0f && refusal.empty()) {
        refusal = "record " + std::to_string(file.record()) + ": curve number " + shortest(CN) +
                  " of catchment cell (" + std::to_string(I) + ", " + std::to_string(J) +
                  (S > 0.0f ? ") gives a soil retention beyond the range of 4-byte reals"
                            : ") gives no soil retention (S <= 0)") +
                  "; curve numbers of catchment cells must be above 0 and at most 100";
      }
    }
  }
  if (!refusal.empty()) file.fail(refusal);
}

}  // namespace tarvex
