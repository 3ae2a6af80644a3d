#include "forcing/slope_comp.hpp"

#include <limits>
#include <string>

#include "model/direction_code.hpp"
#include "io/text_writer.hpp"

namespace tarvex {
namespace {

std::string cell(int32_t i, int32_t j) { return "(" + std::to_string(i) + ", " + std::to_string(j) + ")"; }

}  // namespace

void SLOPE_COMP(ModelState& s, RecordReader& file, int32_t LINK_RECORDS) {
  s.NPATH = 0;
  file.skip(1, "the header record of the link-property file");
  s.SLOPE.fill(-1.0f);

  const int64_t max_walk = static_cast<int64_t>(s.NI) * s.NJ;
  while (file.record() < LINK_RECORDS) {
    if (file.rest_is_blank()) break;  // trailing empty lines
    int32_t IIN = 0, JIN = 0, IFIN = 0, JFIN = 0, ORD = 0;
    float LEN = 0.0f;
    file.values("a link (IIN JIN IFIN JFIN ORD LEN)", IIN, JIN, IFIN, JFIN, ORD, LEN);
    const std::string where = "record " + std::to_string(file.record()) + ": ";
    if (s.NPATH >= s.limits.paths) {
      file.fail(where + "more than " + std::to_string(s.limits.paths) + " links");
    }
    if (!s.SLOPE.contains(IIN, JIN) || !s.SLOPE.contains(IFIN, JFIN)) {
      file.fail(where + "link " + cell(IIN, JIN) + " to " + cell(IFIN, JFIN) + " lies outside the " +
                std::to_string(s.NI) + " x " + std::to_string(s.NJ) + " grid");
    }
    if (!(LEN >= 1.0f)) {
      file.fail(where + "link " + cell(IIN, JIN) + " to " + cell(IFIN, JFIN) + " has length " + shortest(LEN) +
                "; a link is at least one cell step long");
    }
    s.NPATH = s.NPATH + 1;
    if (s.NPATH > s.IIN.size()) {
      const int32_t n = s.NPATH * 2;
      for (auto* a : {&s.IIN, &s.JIN, &s.IFIN, &s.JFIN}) a->grow(n);
    }
    s.IIN(s.NPATH) = IIN;
    s.JIN(s.NPATH) = JIN;
    s.IFIN(s.NPATH) = IFIN;
    s.JFIN(s.NPATH) = JFIN;

    const float L = ((s.CELL_DX + s.CELL_DY) / 2.0f) * LEN;  // m
    float S = (s.ELEVATION(IIN, JIN) - s.ELEVATION(IFIN, JFIN)) / L;
    if (S <= 0.0f) S = 0.0001f;
    if (!(S <= std::numeric_limits<float>::max())) {
      file.fail(where + "link " + cell(IIN, JIN) + " to " + cell(IFIN, JFIN) + " has no finite slope (length " +
                shortest(LEN) + " cell steps, elevations " + shortest(s.ELEVATION(IIN, JIN)) + " and " +
                shortest(s.ELEVATION(IFIN, JFIN)) + " m)");
    }

    // Walk the link along the flow directions; it must reach its end cell.
    int32_t I = IIN, J = JIN;
    s.SLOPE(I, J) = S;
    for (int64_t steps = 0;; ++steps) {
      const int32_t P = s.FLOW_DIR(I, J);
      if (!is_flow_code(P) || steps >= max_walk) {
        file.fail(where + "link " + cell(IIN, JIN) + " to " + cell(IFIN, JFIN) +
                  " does not reach its end cell along the flow directions (direction " +
                  std::to_string(P) + " at cell " + cell(I, J) + ")");
      }
      const Step d = decode_direction(P);
      const int32_t in = I + d.di, jn = J + d.dj;
      if (!s.SLOPE.contains(in, jn)) {
        file.fail(where + "link " + cell(IIN, JIN) + " to " + cell(IFIN, JFIN) +
                  " leaves the grid at cell " + cell(I, J) + " (direction " + std::to_string(P) + ")");
      }
      if (in == IFIN && jn == JFIN) break;
      I = in;
      J = jn;
      s.SLOPE(I, J) = S;
    }
  }
}

}  // namespace tarvex
