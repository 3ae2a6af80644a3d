// The terrain kernels on bare grids, without a model state or a file: the
// terrain mode must write exactly what they compute, with the outlet, the
// exempt cells and the grid size taken from the control file.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/testkit.hpp"
#include "terrain/contributing_area.hpp"
#include "terrain/flow_directions.hpp"
#include "terrain/mask.hpp"
#include "terrain/mod1.hpp"
#include "terrain/terrain_files.hpp"

namespace tarvex {
namespace {

TEST(GridKernels, TerrainModeWritesWhatTheKernelsComputeOnBareGrids) {
  // A valley that is not square, with two pits; the second is exempt.
  const int32_t ni = 7, nj = 9;
  auto dem = test::valley_dem(ni, nj);
  dem[2][3] = 90.0;
  dem[4][6] = 95.0;
  test::TerrainControl c = test::valley_control(ni, nj);
  c.exempt = {{5, 7}};
  test::TempDir mode_dir;
  test::write_terrain(mode_dir, c, test::grid_text(dem));
  {
    test::ChangeDir cd(mode_dir.path());
    auto ctl = ControlFile::read("Tarvex.in", 1);
    ASSERT_TRUE(ctl);
    auto s = std::make_unique<ModelState>();
    test::capture_stdout([&] { MOD1(*s, *ctl); });
  }

  Grid<float> z;
  z.resize(ni, nj);
  for (int32_t i = 1; i <= ni; ++i)
    for (int32_t j = 1; j <= nj; ++j) z(i, j) = static_cast<float>(dem[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)]);
  Array1<int32_t, kLimits.exempt_cells> fi, fj;
  fi.grow(1);
  fj.grow(1);
  fi(1) = 5;
  fj(1) = 7;
  Grid<int32_t> dir, area, order, mask, pending;
  Array1<int32_t, kLimits.paths> ord, li, lj;
  int32_t overflow = -1;
  test::capture_stdout([&] { FLOW_DIRECTIONS(z, 1, fi, fj, dir); });
  CONTRIBUTING_AREA(dir, area, pending);
  ORDINI(dir, area, c.outlet_i, c.outlet_j, kLimits.paths, order, {ord, li, lj}, overflow, nullptr);
  ASSERT_EQ(overflow, 0);
  MASK(dir, area, order, c.outlet_i, c.outlet_j, mask);
  EXPECT_GT(mask(c.outlet_i, c.outlet_j), 0);
  EXPECT_EQ(z(5, 7), 95.0f);  // exempt: not raised

  test::TempDir kernel_dir;
  {
    GridWriter e(kernel_dir / "e", kElevationGrid), d(kernel_dir / "d", kDirectionGrid), a(kernel_dir / "a", kAreaGrid),
        o(kernel_dir / "o", kOrderGrid);
    TextWriter l(kernel_dir / "l");
    write_grid(e, z);
    write_grid(d, dir);
    write_grid(a, area);
    write_grid(o, order);
    write_link_properties(l, PARAM(dir, order, mask, ord, li, lj));
  }
  EXPECT_EQ(mode_dir.read(c.pit_free), kernel_dir.read("e"));
  EXPECT_EQ(mode_dir.read(c.directions), kernel_dir.read("d"));
  EXPECT_EQ(mode_dir.read(c.area), kernel_dir.read("a"));
  EXPECT_EQ(mode_dir.read("RiverOrder.out"), kernel_dir.read("o"));
  const std::string links = kernel_dir.read("l");
  EXPECT_EQ(mode_dir.read(c.links), links);
  EXPECT_GT(std::count(links.begin(), links.end(), '\n'), 2);  // streams, not just the header
}

}  // namespace
}  // namespace tarvex
