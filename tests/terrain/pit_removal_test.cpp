#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "support/testkit.hpp"
#include "terrain/flow_directions.hpp"
#include "terrain/terrain_reference.hpp"
#include "terrain/unpit.hpp"

namespace tarvex {
namespace {

using test::capture_stdout;
using test::make_state;

void set_rows(ModelState& s, const std::vector<std::vector<float>>& rows) {
  for (int32_t i = 1; i <= s.catchment.NI; ++i)
    for (int32_t j = 1; j <= s.catchment.NJ; ++j) s.catchment.ELEVATION(i, j) = rows[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)];
}

struct Exempt {
  int32_t n = 0;
  Array1<int32_t, kLimits.exempt_cells> i, j;
  void add(int32_t row, int32_t col) {
    ++n;
    i(n) = row;
    j(n) = col;
  }
};

int64_t unpit(ModelState& s, const Exempt& ex, int32_t& err, std::string* out = nullptr) {
  int64_t raises = 0;
  const std::string text = capture_stdout([&] { raises = UNPIT(s.catchment.ELEVATION, ex.n, ex.i, ex.j, elevation_ceiling(s.catchment.ELEVATION), err); });
  if (out) *out = text;
  return raises;
}

TEST(PitRemoval, SingleInteriorPitIsRaisedToItsLowestNeighbourPlusStep) {
  auto s = make_state(3, 3);
  set_rows(*s, {{9.0f, 8.0f, 9.0f}, {7.5f, 5.0f, 8.0f}, {9.0f, 6.25f, 9.0f}});
  int32_t err = 0;
  EXPECT_EQ(unpit(*s, {}, err), 1);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(s->catchment.ELEVATION(2, 2), 6.25f + 0.11f);
  set_flow_directions(s->catchment.ELEVATION, s->catchment.FLOW_DIR);
  EXPECT_EQ(s->catchment.FLOW_DIR(2, 2), 8);  // toward the neighbour it was raised above
}

TEST(PitRemoval, CellWithoutPositiveNeighbourFailsWith1002) {
  auto s = make_state(3, 3);
  set_rows(*s, {{-1.0f, -1.0f, -1.0f}, {-1.0f, 0.0f, -1.0f}, {-1.0f, -1.0f, -1.0f}});
  int32_t err = 0;
  std::string out;
  EXPECT_EQ(unpit(*s, {}, err, &out), 0);
  EXPECT_EQ(err, 1);
  EXPECT_EQ(s->catchment.ELEVATION(2, 2), 1.0e20f + 0.11f);  // the failing raise is kept
  EXPECT_EQ(out,
            " Elevation of the cell 2 2 greater than the maximum elevation of the catchment.\n"
            "\n Error in removing the pit\n\n The river network determination failed\n\n");
}

TEST(PitRemoval, RaiseEqualToTheCeilingFails) {
  const float raised = 6.25f + 0.11f;
  for (bool reference : {false, true}) {
    for (float ceiling : {raised, std::nextafter(raised, 1.0e30f)}) {
      auto s = make_state(3, 3);
      set_rows(*s, {{9.0f, 8.0f, 9.0f}, {7.5f, 5.0f, 8.0f}, {9.0f, 6.25f, 9.0f}});
      int32_t err = 0;
      const std::string out = capture_stdout([&] {
        if (reference) test::unpit_reference(*s, 0, {}, {}, ceiling, err);
        else UNPIT(s->catchment.ELEVATION, 0, {}, {}, ceiling, err);
      });
      EXPECT_EQ(err, ceiling == raised ? 1 : 0) << reference;
      EXPECT_EQ(out.find(" Elevation of the cell 2 2 greater") == 0, ceiling == raised) << out;
      EXPECT_EQ(s->catchment.ELEVATION(2, 2), raised);
    }
  }
}

TEST(PitRemoval, ExemptPitKeepsItsElevationAndGetsNoDirection) {
  auto s = make_state(3, 4);
  set_rows(*s, {{9, 9, 9, 9}, {9, 2, 3, 9}, {9, 9, 9, 9}});
  Exempt ex;
  ex.add(2, 2);
  int32_t err = 0;
  unpit(*s, ex, err);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(s->catchment.ELEVATION(2, 2), 2.0f);
  EXPECT_EQ(s->catchment.ELEVATION(2, 3), 3.0f);  // drains into the exempt pit
  set_flow_directions(s->catchment.ELEVATION, s->catchment.FLOW_DIR);
  EXPECT_EQ(s->catchment.FLOW_DIR(2, 2), 0);
  EXPECT_EQ(s->catchment.FLOW_DIR(2, 3), 4);
}

TEST(PitRemoval, EdgeCellsAreNeverRaised) {
  auto s = make_state(3, 3);
  set_rows(*s, {{1, 9, 9}, {9, 9, 9}, {9, 9, 0.5f}});
  int32_t err = 0;
  unpit(*s, {}, err);
  EXPECT_EQ(s->catchment.ELEVATION(1, 1), 1.0f);
  EXPECT_EQ(s->catchment.ELEVATION(3, 3), 0.5f);
  EXPECT_EQ(s->catchment.ELEVATION(2, 2), 9.0f);  // drains to both corners
  set_flow_directions(s->catchment.ELEVATION, s->catchment.FLOW_DIR);
  EXPECT_EQ(s->catchment.FLOW_DIR(3, 3), 0);  // the lowest edge cell is where the network leaves
}

TEST(PitRemoval, RaiseThatCannotLiftTheCellEndsWith1002) {
  auto s = make_state(5, 5);
  for (int32_t i = 1; i <= 5; ++i)
    for (int32_t j = 1; j <= 5; ++j) s->catchment.ELEVATION(i, j) = 3000000.0f;
  s->catchment.ELEVATION(5, 5) = 2999000.0f;
  int32_t err = 0;
  std::string out;
  unpit(*s, {}, err, &out);
  EXPECT_EQ(err, 1);
  EXPECT_NE(out.find(" Elevation of the cell 2 2 "), std::string::npos) << out;
  EXPECT_NE(out.find(" Error in removing the pit\n"), std::string::npos);

  // Just below that height a raise still lifts the cell.
  auto t = make_state(3, 3);
  for (int32_t i = 1; i <= 3; ++i)
    for (int32_t j = 1; j <= 3; ++j) t->catchment.ELEVATION(i, j) = 2000000.0f;
  t->catchment.ELEVATION(2, 2) = 1999999.0f;
  err = 0;
  unpit(*t, {}, err);
  EXPECT_EQ(err, 0);
  EXPECT_GT(t->catchment.ELEVATION(2, 2), 2000000.0f);
}

TEST(PitRemoval, ProgressLineEvery500Raises) {
  // A large closed flat needs many raises.
  auto s = make_state(30, 30);
  for (int32_t i = 1; i <= 30; ++i)
    for (int32_t j = 1; j <= 30; ++j) s->catchment.ELEVATION(i, j) = (i == 1 || i == 30 || j == 1 || j == 30) ? 50.0f : 10.0f;
  s->catchment.ELEVATION(30, 15) = 1.0f;
  int32_t err = 0;
  std::string out;
  const int64_t raises = unpit(*s, {}, err, &out);
  ASSERT_EQ(err, 0);
  ASSERT_GE(raises, 1000);
  std::size_t lines = 0;
  for (std::size_t p = 0; (p = out.find('\n', p)) != std::string::npos; ++p) ++lines;
  EXPECT_EQ(lines, static_cast<std::size_t>(raises / 500));
  // counter in 10, row and column in 5 each, elevation in 30 with 2 decimals
  ASSERT_GE(out.size(), 51u);
  EXPECT_EQ(out.substr(0, 10), "       500");
  EXPECT_EQ(out[50], '\n');
  EXPECT_EQ(out.substr(47, 1), ".");
}

// Two diagonal pits that are each other's lowest neighbour climb in turn;
// the step back then lets (2,2) be raised next to (2,3) before (3,3) is
// reached. A sweep that never stepped back would leave (2,2) at 5.21.
TEST(PitRemoval, PlateauNeedsRepeatedRaisesWithTheStepBack) {
  const std::vector<std::vector<float>> dem = {
      {9, 9, 9, 9}, {9, 5, 4, 9}, {9, 4, 5, 9}, {9, 5, 5, 9}, {9, 3, 3, 9}};
  float chain = 4.0f;  // (2,3) and (3,2) alternate, each 0.11 above the other
  for (int k = 0; k < 10; ++k) chain = chain + 0.11f;
  const float raised = 5.0f + 0.11f;
  for (bool reference : {false, true}) {
    auto s = make_state(5, 4);
    set_rows(*s, dem);
    int32_t err = 0;
    const int64_t raises = reference ? test::unpit_reference(*s, 0, {}, {}, elevation_ceiling(s->catchment.ELEVATION), err)
                                     : unpit(*s, {}, err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(raises, 13) << reference;
    EXPECT_EQ(s->catchment.ELEVATION(3, 2), chain) << reference;
    EXPECT_EQ(s->catchment.ELEVATION(2, 3), raised) << reference;
    EXPECT_EQ(s->catchment.ELEVATION(2, 2), raised) << reference;
    EXPECT_EQ(s->catchment.ELEVATION(3, 3), raised) << reference;
    EXPECT_EQ(s->catchment.ELEVATION(4, 2), 5.0f);
  }
}

// Rows 2 and 4 hold one-raise pits in every even column (497 per row), row 3
// lies between them at 100 + column. The 500th raise is (4,6): the line
// gives the position after the step back, (3,4), and its elevation 104.
TEST(PitRemoval, ProgressLineShowsThePositionAfterTheStepBack) {
  const int32_t nj = 996;
  for (bool reference : {false, true}) {
    auto s = make_state(5, nj);
    for (int32_t i = 1; i <= 5; ++i) {
      for (int32_t j = 1; j <= nj; ++j) {
        float z = 2.0f;
        if (i == 3) z = 100.0f + static_cast<float>(j);
        if (i == 2 || i == 4) z = j % 2 == 0 ? 1.0f : 3.0f;
        if ((i == 2 || i == 4) && (j == 1 || j == nj)) z = 100.0f;
        s->catchment.ELEVATION(i, j) = z;
      }
    }
    int32_t err = 0;
    int64_t raises = 0;
    const std::string out = capture_stdout([&] {
      const float ceiling = elevation_ceiling(s->catchment.ELEVATION);
      raises = reference ? test::unpit_reference(*s, 0, {}, {}, ceiling, err) : UNPIT(s->catchment.ELEVATION, 0, {}, {}, ceiling, err);
    });
    EXPECT_EQ(err, 0);
    EXPECT_EQ(raises, 994);
    EXPECT_EQ(out, "       500    3    4                        104.00\n") << reference;
    EXPECT_EQ(s->catchment.ELEVATION(4, 6), 2.0f + 0.11f);
    EXPECT_EQ(s->catchment.ELEVATION(3, 4), 104.0f);
  }
}

TEST(PitRemoval, NegativeCellsAreSkippedAndNeverALowestNeighbour) {
  for (bool reference : {false, true}) {
    auto s = make_state(3, 4);
    set_rows(*s, {{9, 9, 9, 9}, {9, -1, 0, 9}, {9, 9, 9, 9}});
    int32_t err = 0;
    const int64_t raises = reference ? test::unpit_reference(*s, 0, {}, {}, elevation_ceiling(s->catchment.ELEVATION), err)
                                     : unpit(*s, {}, err);
    EXPECT_EQ(err, 0);
    EXPECT_EQ(raises, 1);
    EXPECT_EQ(s->catchment.ELEVATION(2, 2), -1.0f);        // no-data: never raised
    EXPECT_EQ(s->catchment.ELEVATION(2, 3), 9.0f + 0.11f);  // zero cell: a pit below its positive neighbours
  }
}

// The pit set and the jumps between pits must reproduce the cell-by-cell
// sweep exactly: elevations to the bit, number of raises, console lines.
TEST(PitRemoval, MatchesCellByCellSweepOnRandomDems) {
  std::mt19937 rng(20240611);
  for (int trial = 0; trial < 60; ++trial) {
    const int32_t ni = 3 + static_cast<int32_t>(rng() % 28);
    const int32_t nj = 3 + static_cast<int32_t>(rng() % 28);
    auto a = make_state(ni, nj);
    test::random_dem(*a, rng, trial % 2 ? 6.0f : 20.0f, trial % 3 ? 1.0f : 0.5f, trial % 4 == 0);
    auto b = make_state(ni, nj);
    b->catchment.ELEVATION = a->catchment.ELEVATION;
    Exempt ex;
    if (trial % 5 == 0) ex.add(2 + static_cast<int32_t>(rng() % static_cast<uint32_t>(ni - 2)), 2);
    const float ceiling = elevation_ceiling(a->catchment.ELEVATION);

    int32_t err_a = 0, err_b = 0;
    int64_t raises_a = 0, raises_b = 0;
    const std::string out_a =
        capture_stdout([&] { raises_a = UNPIT(a->catchment.ELEVATION, ex.n, ex.i, ex.j, ceiling, err_a); });
    const std::string out_b =
        capture_stdout([&] { raises_b = test::unpit_reference(*b, ex.n, ex.i, ex.j, ceiling, err_b); });
    ASSERT_EQ(err_a, err_b) << "trial " << trial;
    ASSERT_EQ(raises_a, raises_b) << "trial " << trial;
    ASSERT_EQ(out_a, out_b) << "trial " << trial;
    ASSERT_EQ(0, std::memcmp(a->catchment.ELEVATION.data(), b->catchment.ELEVATION.data(), a->catchment.ELEVATION.size() * sizeof(float)))
        << "trial " << trial;
  }
}

}  // namespace
}  // namespace tarvex
