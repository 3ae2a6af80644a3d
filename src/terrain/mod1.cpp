#include "terrain/mod1.hpp"

#include <filesystem>
#include <optional>
#include <string>

#include "driver/warn_error.hpp"
#include "io/record_reader.hpp"
#include "io/text_writer.hpp"
#include "terrain/contributing_area.hpp"
#include "terrain/flow_directions.hpp"
#include "terrain/mask.hpp"
#include "terrain/ordini.hpp"
#include "terrain/param.hpp"

namespace tarvex {

namespace {
constexpr const char* kTempLinks = "LinkProperties_temp.out";
}

int MOD1(ModelState& s) {
  s.TERRAIN_ERR = 0;
  std::optional<RecordReader> control = RecordReader::try_open("Tarvex.in");
  if (!control) {
    WARN_ERROR(1011);
    return 1;
  }

  control->skip(11, "the records before the DEM file name (record 12)");
  std::optional<RecordReader> dem = RecordReader::try_open(control->name30("the DEM file name (record 12)"));
  if (!dem) {
    WARN_ERROR(1001);
    return 1;
  }

  control->skip(5, "the records before the grid size (record 18)");
  int32_t ni = 0, nj = 0;
  control->values("the grid size NI, NJ (record 18)", ni, nj);
  if (ni > MAX_GRID || nj > MAX_GRID) {
    WARN_ERROR(1018);
    return 1;
  }
  if (ni < 1 || nj < 1) {
    control->fail("record 18: the grid size NI = " + std::to_string(ni) + ", NJ = " + std::to_string(nj) +
                  " must be at least 1 by 1");
  }
  s.NI = ni;
  s.NJ = nj;
  s.size_terrain_grids(ni, nj);

  control->skip(27, "the records before the outlet cell (record 46)");
  control->values("the outlet cell OUTLET_I, OUTLET_J (record 46)", s.OUTLET_I, s.OUTLET_J);

  control->skip(5, "the records before the direction file name (record 52)");
  TextWriter direction_file(control->name30("the direction file name (record 52)"));

  FLOW_DIRECTIONS(s, *dem, direction_file, s.TERRAIN_ERR, *control);
  if (s.TERRAIN_ERR != 0) return 1;

  control->skip(1, "the label record before the contributing-area file name");
  {
    TextWriter area_file(control->name30("the contributing-area file name"));
    CONTRIBUTING_AREA(s, area_file, s.STREAM_ORDER);
    area_file.close();
  }

  TextWriter river_order("RiverOrder.out");
  TextWriter temp_links(kTempLinks);
  ORDINI(s, &river_order, &temp_links);
  river_order.close();
  if (s.LINK_OVERFLOW == 1) {
    WARN_ERROR(1003);
    temp_links.close();  // the temporary list stays on disk
    return 1;
  }

  MASK(s);

  control->skip(1, "the label record before the link-property file name");
  {
    TextWriter link_file(control->name30("the link-property file name"));
    PARAM(s, link_file);
    link_file.close();
  }

  temp_links.close();
  std::error_code ec;
  std::filesystem::remove(kTempLinks, ec);
  direction_file.close();
  return 0;
}

}  // namespace tarvex
