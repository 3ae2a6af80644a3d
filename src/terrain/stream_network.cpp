#include "terrain/stream_network.hpp"

#include "terrain/flow_step.hpp"

namespace tarvex {

std::vector<StreamLine> stream_lines(const Grid<int32_t>& FLOW_DIR, const Grid<int32_t>& STREAM_ORDER,
                                     const Grid<int32_t>& AREA_CELLS, const std::vector<LinkProperty>& links,
                                     const GeoReference& geo) {
  const int32_t ni = FLOW_DIR.rows(), nj = FLOW_DIR.cols();
  const double cs = geo.cellsize;
  const double x0 = geo.center ? geo.x_ll - 0.5 * cs : geo.x_ll;
  const double y0 = geo.center ? geo.y_ll - 0.5 * cs : geo.y_ll;
  auto centre = [&](int32_t i, int32_t j) {
    return std::pair<double, double>{x0 + (j - 0.5) * cs, y0 + (ni - i + 0.5) * cs};
  };
  auto at = [nj](int32_t i, int32_t j) {
    return static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(nj) + static_cast<std::size_t>(j - 1);
  };
  const int64_t max_steps = static_cast<int64_t>(ni) * nj;

  // The cells of each link, walked as the link-property file measures it.
  std::vector<int32_t> owner(static_cast<std::size_t>(ni) * static_cast<std::size_t>(nj), 0);
  std::vector<StreamLine> lines(links.size());
  std::vector<std::pair<int32_t, int32_t>> ends(links.size());
  std::vector<bool> ends_inside(links.size(), false);
  for (std::size_t k = 0; k < links.size(); ++k) {
    const LinkProperty& p = links[k];
    StreamLine& s = lines[k];
    s.id = static_cast<int32_t>(k + 1);
    s.order = p.ORD;
    s.length_m = static_cast<double>(p.LEN) * cs;
    int32_t i = p.IIN, j = p.JIN;
    int32_t last_i = i, last_j = j;
    bool own_end = false;
    if (STREAM_ORDER.contains(i, j)) {
      for (int64_t steps = 0; steps < max_steps && STREAM_ORDER(i, j) == p.ORD; ++steps) {
        if (owner[at(i, j)] == 0) owner[at(i, j)] = s.id;
        s.points.push_back(centre(i, j));
        last_i = i;
        last_j = j;
        int32_t in = 0, jn = 0;
        if (!downstream(FLOW_DIR, i, j, in, jn)) {
          own_end = true;
          break;
        }
        i = in;
        j = jn;
      }
    }
    if (!own_end && (i != last_i || j != last_j || s.points.empty())) s.points.push_back(centre(i, j));
    // A line needs two points.
    if (s.points.size() == 1) s.points.push_back(s.points.front());
    s.area_km2 = static_cast<double>(AREA_CELLS(last_i, last_j)) * cs * cs / 1.0e6;
    ends[k] = {i, j};
    ends_inside[k] = !own_end;
  }
  for (std::size_t k = 0; k < links.size(); ++k) {
    const auto [i, j] = ends[k];
    if (ends_inside[k] && FLOW_DIR.contains(i, j) && owner[at(i, j)] != lines[k].id) lines[k].down_id = owner[at(i, j)];
  }
  return lines;
}

}  // namespace tarvex
