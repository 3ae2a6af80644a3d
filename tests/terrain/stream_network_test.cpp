// Stream ordering, catchment mask and link properties on hand-made networks.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "support/testkit.hpp"
#include "terrain/contributing_area.hpp"
#include "terrain/flow_directions.hpp"
#include "terrain/mask.hpp"
#include "terrain/mod1.hpp"
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
  for (int32_t i = 1; i <= s->catchment.NI; ++i)
    for (int32_t j = 1; j <= s->catchment.NJ; ++j) s->catchment.FLOW_DIR(i, j) = codes[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)];
  s->catchment.OUTLET_I = oi;
  s->catchment.OUTLET_J = oj;
  Grid<int32_t> pending;
  CONTRIBUTING_AREA(s->catchment.FLOW_DIR, s->catchment.AREA_CELLS, pending);
  return s;
}

// Orders the network; on success also the mask and the link-property file.
Network run(std::unique_ptr<ModelState> s) {
  Network n;
  test::TempDir dir;
  {
    GridWriter river(dir / "river.txt", kOrderGrid);
    TextWriter temp(dir / "temp.txt");
    LinkListFile list(temp);
    ORDINI(s->catchment.FLOW_DIR, s->catchment.AREA_CELLS, s->catchment.OUTLET_I, s->catchment.OUTLET_J, s->control.limits.paths, s->catchment.STREAM_ORDER,
           {s->catchment.LINK_ORD, s->catchment.LINK_I, s->catchment.LINK_J}, s->catchment.LINK_OVERFLOW, &list);
    if (s->catchment.LINK_OVERFLOW == 0) write_grid(river, s->catchment.STREAM_ORDER);
  }
  n.temp_links = dir.read("temp.txt");
  n.river_order = dir.read("river.txt");
  if (s->catchment.LINK_OVERFLOW == 0) {
    MASK(s->catchment.FLOW_DIR, s->catchment.AREA_CELLS, s->catchment.STREAM_ORDER, s->catchment.OUTLET_I, s->catchment.OUTLET_J, s->catchment.CATCHMENT_MASK);
    TextWriter out(dir / "links.txt");
    write_link_properties(out, PARAM(s->catchment.FLOW_DIR, s->catchment.STREAM_ORDER, s->catchment.CATCHMENT_MASK, s->catchment.LINK_ORD, s->catchment.LINK_I, s->catchment.LINK_J));
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
  EXPECT_EQ(n.s->catchment.LINK_ORD(1), 1);
  EXPECT_EQ(n.s->catchment.LINK_ORD(2), -1);
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
  EXPECT_EQ(n.s->catchment.CATCHMENT_MASK(4, 2), 2);
  EXPECT_EQ(n.s->catchment.CATCHMENT_MASK(1, 1), 1);
  EXPECT_EQ(n.s->catchment.CATCHMENT_MASK(1, 2), 0);
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
  EXPECT_EQ(n.s->catchment.LINK_ORD(5), 2);
  EXPECT_EQ(n.s->catchment.LINK_I(5), 2);
  EXPECT_EQ(n.s->catchment.LINK_ORD(6), -1);
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
  const Grid<int32_t>& m = n.s->catchment.CATCHMENT_MASK;
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
    for (int32_t j = 1; j <= 4; ++j) EXPECT_LE(n.s->catchment.CATCHMENT_MASK(i, j), 0);
}

TEST(StreamNetwork, GridWithoutSources) {
  Network n = run(network_state({{0, 0, 0}, {0, 0, 0}}, 1, 1));
  EXPECT_EQ(n.temp_links, " Order  1\n" + kHeader);
  EXPECT_EQ(n.river_order, " 0  0  0 \n 0  0  0 \n");
  EXPECT_EQ(n.s->catchment.LINK_ORD(1), -1);
  EXPECT_EQ(n.link_file, kLinkHeader);
}

// Orders a copy of the network with the full-sweep version as well; both
// must give the expected files.
void expect_both_orderings(const Network& n, const std::vector<std::vector<int32_t>>& codes, int32_t oi, int32_t oj,
                           const std::string& temp_links, const std::string& river_order) {
  EXPECT_EQ(n.temp_links, temp_links);
  EXPECT_EQ(n.river_order, river_order);
  auto r = network_state(codes, oi, oj);
  const test::OrderingText ref = test::ordini_reference(*r);
  EXPECT_EQ(ref.temp_links, temp_links);
  EXPECT_EQ(ref.river_order, river_order);
  for (int32_t k = 1; k <= kLimits.paths; ++k) {
    ASSERT_EQ(r->catchment.LINK_ORD(k), n.s->catchment.LINK_ORD(k)) << k;
    ASSERT_EQ(r->catchment.LINK_I(k), n.s->catchment.LINK_I(k)) << k;
    ASSERT_EQ(r->catchment.LINK_J(k), n.s->catchment.LINK_J(k)) << k;
    if (r->catchment.LINK_ORD(k) == -1) break;
  }
}

// Three order-2 streams (from the north-west, north and west) and one order-3
// stream (from the east) meet at (5,5), which then runs to the outlet (9,5).
// The junction waits for the order-3 inflow, keeps order 3 and is traced by a
// second sweep of order 3: no header, no table entry, one link-property line.
const std::vector<std::vector<int32_t>> kContinuation = {
    {0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 9, 9, 0, 7, 0, 0, 0},
    {0, 0, 9, 9, 8, 0, 0, 7, 0}, {0, 0, 3, 6, 8, 4, 4, 4, 0}, {0, 0, 3, 0, 8, 0, 1, 4, 0},
    {0, 0, 0, 0, 8, 0, 0, 1, 0}, {0, 0, 0, 0, 8, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0, 0}};

TEST(StreamNetwork, HighestInflowArrivingOnceContinuesTheStream) {
  Network n = run(network_state(kContinuation, 9, 5));
  EXPECT_EQ(n.s->catchment.AREA_CELLS(5, 5), 17);
  expect_both_orderings(n, kContinuation, 9, 5,
                        " Order  1\n" + kHeader +
                            "   3   3    4   4    1           1.4\n"
                            "   3   4    4   5    1           1.4\n"
                            "   3   6    4   5    1           1.4\n"
                            "   4   3    5   4    1           1.4\n"
                            "   4   8    5   7    1           1.4\n"
                            "   5   3    4   4    1           1.4\n"
                            "   5   8    5   7    1           1.0\n"
                            "   6   3    5   4    1           1.4\n"
                            "   6   8    6   7    1           1.0\n"
                            "   7   8    6   7    1           1.4\n"
                            " Order  2\n" +
                            kHeader +
                            "   4   4    5   5    2           1.4\n"
                            "   4   5    5   5    2           1.0\n"
                            "   5   4    5   5    2           1.0\n"
                            "   5   7    5   6    2           1.0\n"
                            "   6   7    5   6    2           1.4\n"
                            " Order  3\n" +
                            kHeader +
                            "   5   6    5   5    3           1.0\n"
                            "   5   5    9   5    3           4.0\n"
                            " Order  4\n" +
                            kHeader,
                        " 0  0  0  0  0  0  0  0  0 \n"
                        " 0  0  0  0  0  0  0  0  0 \n"
                        " 0  0  1  1  0  1  0  0  0 \n"
                        " 0  0  1  2  2  0  0  1  0 \n"
                        " 0  0  1  2  3  3  2  1  0 \n"
                        " 0  0  1  0  3  0  2  1  0 \n"
                        " 0  0  0  0  3  0  0  1  0 \n"
                        " 0  0  0  0  3  0  0  0  0 \n"
                        " 0  0  0  0  3  0  0  0  0 \n");
  EXPECT_EQ(n.s->catchment.LINK_ORD(16), 3);
  EXPECT_EQ(n.s->catchment.LINK_I(16), 5);
  EXPECT_EQ(n.s->catchment.LINK_J(16), 6);
  EXPECT_EQ(n.s->catchment.LINK_ORD(17), -1);
  EXPECT_EQ(n.link_file, kLinkHeader +
                             "    3    3     4    4    1    1.4\n"
                             "    3    4     4    5    1    1.4\n"
                             "    3    6     4    5    1    1.4\n"
                             "    4    3     5    4    1    1.4\n"
                             "    4    8     5    7    1    1.4\n"
                             "    5    3     4    4    1    1.4\n"
                             "    5    8     5    7    1    1.0\n"
                             "    6    3     5    4    1    1.4\n"
                             "    6    8     6    7    1    1.0\n"
                             "    7    8     6    7    1    1.4\n"
                             "    4    4     5    5    2    1.4\n"
                             "    4    5     5    5    2    1.0\n"
                             "    5    4     5    5    2    1.0\n"
                             "    5    7     5    6    2    1.0\n"
                             "    6    7     5    6    2    1.4\n"
                             "    5    6     9    5    3    5.0\n");
}

// A binary tree: pairs of sources make four order-2 streams, which pair into
// two order-3 streams meeting at (5,4): order 4 down to the outlet (7,4).
const std::vector<std::vector<int32_t>> kFourthOrder = {
    {0, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0, 0}, {0, 0, 8, 0, 8, 0, 0}, {0, 6, 8, 0, 8, 4, 0},
    {6, 6, 6, 8, 4, 4, 4}, {0, 2, 0, 8, 0, 2, 0}, {0, 0, 0, 0, 0, 0, 0}};

TEST(StreamNetwork, TwoThirdOrderStreamsMakeAFourth) {
  Network n = run(network_state(kFourthOrder, 7, 4));
  expect_both_orderings(n, kFourthOrder, 7, 4,
                        " Order  1\n" + kHeader +
                            "   3   3    4   3    1           1.0\n"
                            "   3   5    4   5    1           1.0\n"
                            "   4   2    4   3    1           1.0\n"
                            "   4   6    4   5    1           1.0\n"
                            "   5   1    5   2    1           1.0\n"
                            "   5   7    5   6    1           1.0\n"
                            "   6   2    5   2    1           1.0\n"
                            "   6   6    5   6    1           1.0\n"
                            " Order  2\n" +
                            kHeader +
                            "   4   3    5   3    2           1.0\n"
                            "   4   5    5   5    2           1.0\n"
                            "   5   2    5   3    2           1.0\n"
                            "   5   6    5   5    2           1.0\n"
                            " Order  3\n" +
                            kHeader +
                            "   5   3    5   4    3           1.0\n"
                            "   5   5    5   4    3           1.0\n"
                            " Order  4\n" +
                            kHeader +
                            "   5   4    7   4    4           2.0\n"
                            " Order  5\n" +
                            kHeader,
                        " 0  0  0  0  0  0  0 \n"
                        " 0  0  0  0  0  0  0 \n"
                        " 0  0  1  0  1  0  0 \n"
                        " 0  1  2  0  2  1  0 \n"
                        " 1  2  3  4  3  2  1 \n"
                        " 0  1  0  4  0  1  0 \n"
                        " 0  0  0  4  0  0  0 \n");
  EXPECT_EQ(n.s->catchment.LINK_ORD(15), 4);
  EXPECT_EQ(n.s->catchment.LINK_ORD(16), -1);
  EXPECT_EQ(n.link_file.substr(n.link_file.size() - 34), "    5    4     7    4    4    2.0\n");
}

// (1,2) is a sink fed by two sources; (3,3) a sink at the end of an order-2
// stream. The outlet sink takes the highest order of the whole network (2),
// the other sink is written as asterisks.
TEST(StreamNetwork, SinksWithSeveralInflows) {
  const std::vector<std::vector<int32_t>> codes = {{6, 0, 4, 0, 0}, {0, 0, 0, 8, 0}, {0, 0, 0, 4, 4}};
  Network n = run(network_state(codes, 1, 2));
  expect_both_orderings(n, codes, 1, 2,
                        " Order  1\n" + kHeader +
                            "   1   1    1   2    1           1.0\n"
                            "   1   3    1   2    1           1.0\n"
                            "   2   4    3   4    1           1.0\n"
                            "   3   5    3   4    1           1.0\n"
                            " Order  2\n" +
                            kHeader + "   3   4    3   3    2           1.0\n Order  3\n" + kHeader,
                        " 1  2  1  0  0 \n 0  0  0  1  0 \n 0  0 **  2  1 \n");
  EXPECT_EQ(n.s->catchment.CATCHMENT_MASK(1, 2), 2);
  EXPECT_EQ(n.s->catchment.CATCHMENT_MASK(3, 4), -1);
  EXPECT_EQ(n.link_file, kLinkHeader +
                             "    1    1     1    2    1    1.0\n"
                             "    1    3     1    2    1    1.0\n");
}

// A single stream snaking over 11 rows of 1000 cells: 10999 steps. The
// link-property field of 6 characters cannot hold it; the order grid rows
// continue after 945 values.
TEST(StreamNetwork, StreamLongerThanTheLinkFileField) {
  std::vector<std::vector<int32_t>> codes(11, std::vector<int32_t>(1000, 0));
  for (std::size_t i = 0; i < 11; ++i) {
    for (std::size_t j = 0; j < 1000; ++j) codes[i][j] = i % 2 == 0 ? 6 : 4;
    codes[i][i % 2 == 0 ? 999 : 0] = 8;
  }
  codes[10][999] = 0;
  Network n = run(network_state(codes, 11, 1000));
  EXPECT_EQ(n.temp_links, " Order  1\n" + kHeader + "   1   1   111000    1       10999.0\n Order  2\n" + kHeader);
  EXPECT_EQ(n.link_file, kLinkHeader + "    1    1    11 1000    1 ******\n");
  std::string row;
  for (int k = 0; k < 945; ++k) row += " 1 ";
  row += "\n";
  for (int k = 0; k < 55; ++k) row += " 1 ";
  row += "\n";
  EXPECT_EQ(n.river_order.substr(0, row.size()), row);
  EXPECT_EQ(n.river_order.size(), 11 * row.size());
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
  EXPECT_EQ(n.s->catchment.LINK_OVERFLOW, 1);
  EXPECT_EQ(n.river_order, "");
  EXPECT_EQ(count(n.temp_links, "\n") - 2, 10000u);
  EXPECT_EQ(count(n.temp_links, " Order "), 1u);
  EXPECT_EQ(n.s->catchment.LINK_I(10000), 20);
  EXPECT_EQ(n.s->catchment.LINK_J(10000), 1000);

  // The 10000th start is the last cell: the next sweep writes its header
  // before stopping at its first cell.
  Network m = run(network_state(paired_columns(20), 1, 1));
  EXPECT_EQ(m.s->catchment.LINK_OVERFLOW, 1);
  EXPECT_EQ(m.temp_links.substr(m.temp_links.size() - 11 - kHeader.size()), "\n Order  2\n" + kHeader);
  auto r = network_state(paired_columns(20), 1, 1);
  EXPECT_EQ(m.temp_links, test::ordini_reference(*r).temp_links);
  EXPECT_EQ(0, std::memcmp(m.s->catchment.STREAM_ORDER.data(), r->catchment.STREAM_ORDER.data(), r->catchment.STREAM_ORDER.size() * 4));

  // 9999 starts fit, with the end marker in the last entry.
  auto codes = paired_columns(20);
  codes[19][999] = 0;
  Network k = run(network_state(codes, 1, 1));
  EXPECT_EQ(k.s->catchment.LINK_OVERFLOW, 0);
  EXPECT_EQ(k.s->catchment.LINK_ORD(9999), 1);
  EXPECT_EQ(k.s->catchment.LINK_ORD(10000), -1);
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
    Array1<int32_t, kLimits.exempt_cells> none;
    test::capture_stdout([&] { UNPIT(s->catchment.ELEVATION, 0, none, none, 1.0e30f, err); });
    set_flow_directions(s->catchment.ELEVATION, s->catchment.FLOW_DIR);
    Grid<int32_t> pending;
    CONTRIBUTING_AREA(s->catchment.FLOW_DIR, s->catchment.AREA_CELLS, pending);
    s->catchment.OUTLET_I = ni;
    s->catchment.OUTLET_J = 1 + static_cast<int32_t>(rng() % static_cast<uint32_t>(nj));

    auto r = std::make_unique<ModelState>(*s);
    Network n = run(std::move(s));
    const test::OrderingText ref = test::ordini_reference(*r);
    ASSERT_EQ(n.s->catchment.LINK_OVERFLOW, r->catchment.LINK_OVERFLOW) << "trial " << trial;
    ASSERT_EQ(n.temp_links, ref.temp_links) << "trial " << trial;
    ASSERT_EQ(n.river_order, ref.river_order) << "trial " << trial;
    ASSERT_EQ(0, std::memcmp(n.s->catchment.STREAM_ORDER.data(), r->catchment.STREAM_ORDER.data(), r->catchment.STREAM_ORDER.size() * 4));
    int32_t k = 1;
    for (; r->catchment.LINK_ORD(k) != -1; ++k) {
      ASSERT_EQ(n.s->catchment.LINK_ORD(k), r->catchment.LINK_ORD(k));
      ASSERT_EQ(n.s->catchment.LINK_I(k), r->catchment.LINK_I(k));
      ASSERT_EQ(n.s->catchment.LINK_J(k), r->catchment.LINK_J(k));
    }
    ASSERT_EQ(n.s->catchment.LINK_ORD(k), -1);
    // Link lines of order 2 and above beyond the table entries come from
    // continuation sweeps.
    if (count(ref.temp_links, "\n") - 2 * count(ref.temp_links, " Order ") > static_cast<std::size_t>(k - 1)) ++continued;
  }
  EXPECT_GT(continued, 10);
}

}  // namespace
}  // namespace tarvex
