#include "load/slope_comp.hpp"

#include <limits>
#include <string>
#include <vector>

#include "model/direction_code.hpp"
#include "io/text_writer.hpp"

namespace tarvex {
namespace {

std::string cell(int32_t i, int32_t j) { return "(" + std::to_string(i) + ", " + std::to_string(j) + ")"; }

}  // namespace

void SLOPE_COMP(ModelState& s, RecordReader& file, int32_t LINK_RECORDS) {
  s.catchment.NPATH = 0;
  file.skip(1, "the header record of the link-property file");
  s.catchment.SLOPE.fill(-1.0f);

  const int64_t max_walk = static_cast<int64_t>(s.catchment.NI) * s.catchment.NJ;
  // The record of the link that walks each cell (0: none), and of each link.
  // The time loop routes every cell once per step, contributors first: a cell
  // belongs to one link, and a link comes before the link it drains into.
  std::vector<int32_t> walked_by(static_cast<std::size_t>(max_walk), 0);
  std::vector<int32_t> link_record;
  std::string shared;  // the first cell two links walk, refused once every link is read
  const auto at = [&](int32_t i, int32_t j) -> int32_t& {
    return walked_by[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(s.catchment.NJ) +
                     static_cast<std::size_t>(j - 1)];
  };
  while (file.record() < LINK_RECORDS) {
    if (file.rest_is_blank()) break;  // trailing empty lines
    int32_t IIN = 0, JIN = 0, IFIN = 0, JFIN = 0, ORD = 0;
    float LEN = 0.0f;
    file.values("a link (IIN JIN IFIN JFIN ORD LEN)", IIN, JIN, IFIN, JFIN, ORD, LEN);
    const std::string where = "record " + std::to_string(file.record()) + ": ";
    if (s.catchment.NPATH >= s.control.limits.paths) {
      file.fail(where + "more than " + std::to_string(s.control.limits.paths) + " links");
    }
    if (!s.catchment.SLOPE.contains(IIN, JIN) || !s.catchment.SLOPE.contains(IFIN, JFIN)) {
      file.fail(where + "link " + cell(IIN, JIN) + " to " + cell(IFIN, JFIN) + " lies outside the " +
                std::to_string(s.catchment.NI) + " x " + std::to_string(s.catchment.NJ) + " grid");
    }
    if (!(LEN >= 1.0f)) {
      file.fail(where + "link " + cell(IIN, JIN) + " to " + cell(IFIN, JFIN) + " has length " + shortest(LEN) +
                "; a link is at least one cell step long");
    }
    s.catchment.NPATH = s.catchment.NPATH + 1;
    if (s.catchment.NPATH > s.catchment.IIN.size()) {
      const int32_t n = s.catchment.NPATH * 2;
      for (auto* a : {&s.catchment.IIN, &s.catchment.JIN, &s.catchment.IFIN, &s.catchment.JFIN}) a->grow(n);
    }
    s.catchment.IIN(s.catchment.NPATH) = IIN;
    s.catchment.JIN(s.catchment.NPATH) = JIN;
    s.catchment.IFIN(s.catchment.NPATH) = IFIN;
    s.catchment.JFIN(s.catchment.NPATH) = JFIN;

    const float L = ((s.catchment.CELL_DX + s.catchment.CELL_DY) / 2.0f) * LEN;  // m
    float S = (s.catchment.ELEVATION(IIN, JIN) - s.catchment.ELEVATION(IFIN, JFIN)) / L;
    if (S <= 0.0f) S = 0.0001f;
    if (!(S <= std::numeric_limits<float>::max())) {
      file.fail(where + "link " + cell(IIN, JIN) + " to " + cell(IFIN, JFIN) + " has no finite slope (length " +
                shortest(LEN) + " cell steps, elevations " + shortest(s.catchment.ELEVATION(IIN, JIN)) + " and " +
                shortest(s.catchment.ELEVATION(IFIN, JFIN)) + " m)");
    }

    // Walk the link along the flow directions; it must reach its end cell.
    const int32_t R = file.record();
    link_record.push_back(R);
    const auto walk = [&](int32_t i, int32_t j) {
      int32_t& by = at(i, j);
      // A cell this link walks again is a loop, refused below.
      if (by != 0 && by != R && shared.empty()) {
        shared = "record " + std::to_string(R) + ": link " + cell(IIN, JIN) + " to " + cell(IFIN, JFIN) +
                 " walks cell " + cell(i, j) + ", which the link of record " + std::to_string(by) +
                 " walks; every cell belongs to one link";
      }
      by = R;
    };
    int32_t I = IIN, J = JIN;
    walk(I, J);
    s.catchment.SLOPE(I, J) = S;
    for (int64_t steps = 0;; ++steps) {
      const int32_t P = s.catchment.FLOW_DIR(I, J);
      if (!is_flow_code(P) || steps >= max_walk) {
        file.fail(where + "link " + cell(IIN, JIN) + " to " + cell(IFIN, JFIN) +
                  " does not reach its end cell along the flow directions (direction " +
                  std::to_string(P) + " at cell " + cell(I, J) + ")");
      }
      const Step d = decode_direction(P);
      const int32_t in = I + d.di, jn = J + d.dj;
      if (!s.catchment.SLOPE.contains(in, jn)) {
        file.fail(where + "link " + cell(IIN, JIN) + " to " + cell(IFIN, JFIN) +
                  " leaves the grid at cell " + cell(I, J) + " (direction " + std::to_string(P) + ")");
      }
      if (in == IFIN && jn == JFIN) break;
      I = in;
      J = jn;
      walk(I, J);
      s.catchment.SLOPE(I, J) = S;
    }
  }
  if (!shared.empty()) file.fail(shared);
  // A link drains into the link that walks its end cell, which must follow it.
  for (int32_t k = 1; k <= s.catchment.NPATH; ++k) {
    const int32_t ie = s.catchment.IFIN(k), je = s.catchment.JFIN(k);
    const int32_t by = at(ie, je);
    const int32_t R = link_record[static_cast<std::size_t>(k - 1)];
    if (by != 0 && by < R) {
      file.fail("record " + std::to_string(R) + ": link " + cell(s.catchment.IIN(k), s.catchment.JIN(k)) + " to " +
                cell(ie, je) + " drains into the link of record " + std::to_string(by) +
                ", which comes before it; a link must come before the links it drains into");
    }
  }
}

}  // namespace tarvex
