// Stream ordering, catchment mask and link properties on hand-made networks.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "support/testkit.hpp"
#include "terrain/contributing_area.hpp"
#include "terrain/flow_directions.hpp"
#include "terrain/mask.hpp"
#include "terrain/ordini.hpp"
#include "terrain/param.hpp"
#include "terrain/terrain_reference.hpp"
#include "terrain/unpit.hpp"

namespace tarvex {
namespace {

using test::make_state;

struct Network {
  std::unique_ptr<ModelState> s;
  std::string temp_links, river_order, link_file;
};

std::unique_ptr<ModelState> network_state(const std::vector<std::vector<int32_t>>& codes, int32_t oi, int32_t oj) {
  auto s = make_state(static_cast<int32_t>(codes.size()), static_cast<int32_t>(codes[0].size()));
  for (int32_t i = 1; i <= s->NI; ++i)
    for (int32_t j = 1; j <= s->NJ; ++j) s->FLOW_DIR(i, j) = codes[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)];
  s->OUTLET_I = oi;
  s->OUTLET_J = oj;
  Grid<int32_t> pending;
  accumulate_area(*s, pending);
  return s;
}

// Orders the network; on success also the mask and the link-property file.
Network run(std::unique_ptr<ModelState> s) {
  Network n;
  test::TempDir dir;
  {
    TextWriter river(dir / "river.txt");
    TextWriter temp(dir / "temp.txt");
    ORDINI(*s, &river, &temp);
  }
  n.temp_links = dir.read("temp.txt");
  n.river_order = dir.read("river.txt");
  if (s->LINK_OVERFLOW == 0) {
    MASK(*s);
    TextWriter out(dir / "links.txt");
    PARAM(*s, out);
    out.close();
    n.link_file = dir.read("links.txt");
  }
  n.s = std::move(s);
  return n;
}

const std::string kHeader = "  IIN JIN IFIN JFIN  ORD    LEN       \n";
const std::string kLinkHeader = "   IIN JIN   IFIN JFIN  ORD   LEN\n";

TEST(StreamNetwork, SingleChainIsOneFirstOrderLink) {
  Network n = run(network_state({{6, 6, 6, 0}}, 1, 4));
  EXPECT_EQ(n.temp_links, " Order  1\n" + kHeader + "   1   1    1   4    1           3.0\n Order  2\n" + kHeader);
  EXPECT_EQ(n.river_order, " 1  1  1  1 \n");  // the outlet takes the highest order
  EXPECT_EQ(n.s->LINK_ORD(1), 1);
  EXPECT_EQ(n.s->LINK_ORD(2), -1);
  EXPECT_EQ(n.link_file, kLinkHeader + "    1    1     1    4    1    3.0\n");

  // A sink that is not the outlet is written as asterisks.
  Network m = run(network_state({{6, 6, 6, 0}}, 9, 9));
  EXPECT_EQ(m.river_order, " 1  1  1 ** \n");
  EXPECT_EQ(m.link_file, kLinkHeader);  // nothing drains to the outlet
}

TEST(StreamNetwork, TwoSourcesMeetingStartAnOrderTwoStream) {
  Network n = run(network_state({{9, 0, 7}, {0, 8, 0}, {0, 8, 0}, {0, 0, 0}}, 4, 2));
  EXPECT_EQ(n.temp_links, " Order  1\n" + kHeader +
                              "   1   1    2   2    1           1.4\n"
                              "   1   3    2   2    1           1.4\n"
                              " Order  2\n" +
                              kHeader + "   2   2    4   2    2           2.0\n Order  3\n" + kHeader);
  EXPECT_EQ(n.river_order, " 1  0  1 \n 0  2  0 \n 0  2  0 \n 0  2  0 \n");
  EXPECT_EQ(n.link_file, kLinkHeader +
                             "    1    1     2    2    1    1.4\n"
                             "    1    3     2    2    1    1.4\n"
                             "    2    2     4    2    2    2.0\n");
  EXPECT_EQ(n.s->CATCHMENT_MASK(4, 2), 2);
  EXPECT_EQ(n.s->CATCHMENT_MASK(1, 1), 1);
  EXPECT_EQ(n.s->CATCHMENT_MASK(1, 2), 0);
}

// Order-1 tributary joining an order-2 stream: the junction continues the
// order-2 stream (a second sweep of order 2, not in the table) and the
// link-property file has one order-2 line through it.
const std::vector<std::vector<int32_t>> kTributary = {
    {9, 0, 7, 8}, {0, 8, 0, 8}, {0, 8, 4, 8}, {0, 8, 0, 8}, {0, 0, 0, 0}};

TEST(StreamNetwork, LowerTributaryDoesNotSplitTheStream) {
  Network n = run(network_state(kTributary, 5, 2));
  EXPECT_EQ(n.temp_links, " Order  1\n" + kHeader +
                              "   1   1    2   2    1           1.4\n"
                              "   1   3    2   2    1           1.4\n"
                              "   1   4    5   4    1           4.0\n"
                              "   3   3    3   2    1           1.0\n"
                              " Order  2\n" +
                              kHeader +
                              "   2   2    3   2    2           1.0\n"
                              "   3   2    5   2    2           2.0\n"
                              " Order  3\n" +
                              kHeader);
  EXPECT_EQ(n.s->LINK_ORD(5), 2);
  EXPECT_EQ(n.s->LINK_I(5), 2);
  EXPECT_EQ(n.s->LINK_ORD(6), -1);
  // The chain in column 4 ends at the edge, not at the outlet: omitted.
  EXPECT_EQ(n.link_file, kLinkHeader +
                             "    1    1     2    2    1    1.4\n"
                             "    1    3     2    2    1    1.4\n"
                             "    3    3     3    2    1    1.0\n"
                             "    2    2     5    2    2    3.0\n");
  EXPECT_EQ(n.river_order, " 1  0  1  1 \n 0  2  0  1 \n 0  2  1  1 \n 0  2  0  1 \n 0  2  0 ** \n");
}

TEST(StreamNetwork, MaskWithTheOutletInMidStream) {
  Network n = run(network_state(kTributary, 4, 2));
  const Grid<int32_t>& m = n.s->CATCHMENT_MASK;
  EXPECT_EQ(m(1, 1), 1);
  EXPECT_EQ(m(3, 3), 1);
  EXPECT_EQ(m(4, 2), 2);
  EXPECT_EQ(m(5, 2), 0);   // reached only through the outlet
  EXPECT_EQ(m(1, 4), -1);  // drains elsewhere
  EXPECT_EQ(m(5, 4), -1);
  EXPECT_EQ(m(2, 1), 0);   // on no path
  // The stream still runs to where its order changes, past the outlet.
  EXPECT_NE(n.link_file.find("    2    2     5    2    2    3.0\n"), std::string::npos) << n.link_file;
}

TEST(StreamNetwork, OutletOffTheGridLeavesOnlyTheHeader) {
  Network n = run(network_state(kTributary, 0, 2000));
  EXPECT_EQ(n.link_file, kLinkHeader);
  for (int32_t i = 1; i <= 5; ++i)
    for (int32_t j = 1; j <= 4; ++j) EXPECT_LE(n.s->CATCHMENT_MASK(i, j), 0);
}

TEST(StreamNetwork, GridWithoutSources) {
  Network n = run(network_state({{0, 0, 0}, {0, 0, 0}}, 1, 1));
  EXPECT_EQ(n.temp_links, " Order  1\n" + kHeader);
  EXPECT_EQ(n.river_order, " 0  0  0 \n 0  0  0 \n");
  EXPECT_EQ(n.s->LINK_ORD(1), -1);
  EXPECT_EQ(n.link_file, kLinkHeader);
}

// Pairs of cells: every even column drains left into an odd column without
// direction. With ni rows there are ni * 500 sources.
std::vector<std::vector<int32_t>> paired_columns(int32_t ni) {
  std::vector<std::vector<int32_t>> codes(static_cast<std::size_t>(ni), std::vector<int32_t>(1000, 0));
  for (auto& row : codes)
    for (std::size_t j = 1; j < 1000; j += 2) row[j] = 4;
  return codes;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t p = 0; (p = text.find(what, p)) != std::string::npos; p += what.size()) ++n;
  return n;
}

TEST(StreamNetwork, TableOverflowAfter10000Starts) {
  // 10500 sources: the cell after the 10000th stops the sweep.
  Network n = run(network_state(paired_columns(21), 1, 1));
  EXPECT_EQ(n.s->LINK_OVERFLOW, 1);
  EXPECT_EQ(n.river_order, "");
  EXPECT_EQ(count(n.temp_links, "\n") - 2, 10000u);
  EXPECT_EQ(count(n.temp_links, " Order "), 1u);
  EXPECT_EQ(n.s->LINK_I(10000), 20);
  EXPECT_EQ(n.s->LINK_J(10000), 1000);

  // The 10000th start is the last cell: the next sweep writes its header
  // before stopping at its first cell.
  Network m = run(network_state(paired_columns(20), 1, 1));
  EXPECT_EQ(m.s->LINK_OVERFLOW, 1);
  EXPECT_EQ(m.temp_links.substr(m.temp_links.size() - 11 - kHeader.size()), "\n Order  2\n" + kHeader);
  auto r = network_state(paired_columns(20), 1, 1);
  EXPECT_EQ(m.temp_links, test::ordini_reference(*r).temp_links);
  EXPECT_EQ(0, std::memcmp(m.s->STREAM_ORDER.data(), r->STREAM_ORDER.data(), r->STREAM_ORDER.size() * 4));

  // 9999 starts fit, with the end marker in the last entry.
  auto codes = paired_columns(20);
  codes[19][999] = 0;
  Network k = run(network_state(codes, 1, 1));
  EXPECT_EQ(k.s->LINK_OVERFLOW, 0);
  EXPECT_EQ(k.s->LINK_ORD(9999), 1);
  EXPECT_EQ(k.s->LINK_ORD(10000), -1);
}

// Ordering from the lists of waiting starts and ready junctions must give
// what full sweeps of the grid give: same files, grid and table.
TEST(StreamNetwork, MatchesFullSweepsOnRandomDems) {
  std::mt19937 rng(4242);
  int continued = 0;
  for (int trial = 0; trial < 60; ++trial) {
    const int32_t ni = 2 + static_cast<int32_t>(rng() % 45);
    const int32_t nj = 2 + static_cast<int32_t>(rng() % 45);
    auto s = make_state(ni, nj);
    test::random_dem(*s, rng, trial % 2 ? 8.0f : 30.0f, 0.5f, trial % 3 == 0);
    int32_t err = 0;
    Array1<int32_t, MAX_FIXED> none;
    test::capture_stdout([&] { UNPIT(*s, 0, none, none, 1.0e30f, err); });
    set_flow_directions(*s);
    Grid<int32_t> pending;
    accumulate_area(*s, pending);
    s->OUTLET_I = ni;
    s->OUTLET_J = 1 + static_cast<int32_t>(rng() % static_cast<uint32_t>(nj));

    auto r = std::make_unique<ModelState>(*s);
    Network n = run(std::move(s));
    const test::OrderingText ref = test::ordini_reference(*r);
    ASSERT_EQ(n.s->LINK_OVERFLOW, r->LINK_OVERFLOW) << "trial " << trial;
    ASSERT_EQ(n.temp_links, ref.temp_links) << "trial " << trial;
    ASSERT_EQ(n.river_order, ref.river_order) << "trial " << trial;
    ASSERT_EQ(0, std::memcmp(n.s->STREAM_ORDER.data(), r->STREAM_ORDER.data(), r->STREAM_ORDER.size() * 4));
    int32_t k = 1;
    for (; r->LINK_ORD(k) != -1; ++k) {
      ASSERT_EQ(n.s->LINK_ORD(k), r->LINK_ORD(k));
      ASSERT_EQ(n.s->LINK_I(k), r->LINK_I(k));
      ASSERT_EQ(n.s->LINK_J(k), r->LINK_J(k));
    }
    ASSERT_EQ(n.s->LINK_ORD(k), -1);
    // Link lines of order 2 and above beyond the table entries come from
    // continuation sweeps.
    if (count(ref.temp_links, "\n") - 2 * count(ref.temp_links, " Order ") > static_cast<std::size_t>(k - 1)) ++continued;
  }
  EXPECT_GT(continued, 10);
}

}  // namespace
}  // namespace tarvex
