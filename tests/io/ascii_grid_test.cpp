#include "io/ascii_grid.hpp"

#include <gtest/gtest.h>

#include <vector>

#include "support/testkit.hpp"

namespace tarvex {
namespace {

RecordReader asc(const std::string& t) { return RecordReader::from_text(t, "dem.asc"); }

std::string error_of(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const InputError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(AsciiGrid, HeaderVariants) {
  struct Case {
    const char* text;
    double x, y, cell;
    bool center;
    std::optional<double> nodata;
  };
  const Case cases[] = {
      {"ncols 3\nnrows 2\nxllcorner 500000.5\nyllcorner 4e6\ncellsize 50\nNODATA_value -9999\n", 500000.5, 4e6, 50,
       false, -9999.0},
      // Byte-order mark, CRLF, tabs, mixed case, other order, centres, no
      // NODATA_value.
      {"\xEF\xBB\xBFNCOLS\t3\r\nNRows 2\r\nyllCenter 25\r\nXLLCENTER 10\r\nCellSize 0.5\r\n", 10, 25, 0.5, true, std::nullopt},
      // A corner paired with a centre: both as corners; dx = dy as cellsize;
      // blank lines between records.
      {"ncols 3\n\nnrows 2\nxllcorner 0\nyllcenter 5\ndx 2\ndy 2\nnodata_value -1\n", 0, 4, 2, false, -1.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto r = asc(std::string(c.text) + "1 2 3\n4 5 6\n");
    AsciiGridHeader h = read_ascii_grid_header(r);
    EXPECT_EQ(h.nrows, 2);
    EXPECT_EQ(h.ncols, 3);
    EXPECT_EQ(h.geo.x_ll, c.x);
    EXPECT_EQ(h.geo.y_ll, c.y);
    EXPECT_EQ(h.geo.cellsize, c.cell);
    EXPECT_EQ(h.geo.center, c.center);
    EXPECT_TRUE(h.geo.known);
    EXPECT_EQ(h.nodata, c.nodata);
    float v[6];
    read_ascii_grid_values(r, h, v, -1.0f);
    EXPECT_EQ(v[5], 6.0f);
  }
}

TEST(AsciiGrid, HeaderRefusalsNameFileAndRecord) {
  const std::pair<const char*, const char*> cases[] = {
      {"ncols 3\nnrows 2\nNCOLS 3\n", "file 'dem.asc': record 3: 'NCOLS' given twice"},
      {"ncols 3\nnrows 2\nxllcorner 0\nxllcenter 0\n", "record 4: 'xllcenter': the lower-left x is given twice"},
      {"ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata -9\n", "record 6: unknown header keyword 'nodata'"},
      {"ncols 0\n", "record 1: ncols must be a positive integer, found 0"},
      {"ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize -5\n", "record 5: cellsize must be positive"},
      {"ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\n1 2 3\n", "the header ends before record 5 without cellsize"},
      {"ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ndx 1\ndy 2\n", "only square cells"},
      {"ncols 3\nnrows two\n", "record 2: expected"},
  };
  for (const auto& [text, expected] : cases) {
    auto r = asc(text);
    EXPECT_NE(error_of([&] { read_ascii_grid_header(r); }).find(expected), std::string::npos) << text;
  }
}

TEST(AsciiGrid, ValuesFormOneStreamAndNodataMaps) {
  // Row 1 wraps over two lines, row 2 starts on the line row 1 ends on;
  // values read exactly as 4-byte reals.
  auto r = asc("ncols 3\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999.0\n"
               "0.1 -9999\n2.5e-1 7 -9999 9\n1 2 3\n4\n");
  AsciiGridHeader h = read_ascii_grid_header(r);
  std::vector<float> v(9);
  // Extra values after the block are refused (a wrong ncols shifts rows).
  EXPECT_NE(error_of([&] { read_ascii_grid_values(r, h, v.data(), -1.0f); }).find("values after the 3 rows"),
            std::string::npos);
  EXPECT_EQ(v[0], 0.1f);
  EXPECT_EQ(v[1], -1.0f);
  EXPECT_EQ(v[2], 0.25f);
  EXPECT_EQ(v[4], -1.0f);
  EXPECT_EQ(v[8], 3.0f);

  auto ri = asc("ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nNODATA_value -9999\n3 -9999 -9998 4\n");
  AsciiGridHeader hi = read_ascii_grid_header(ri);
  int32_t iv[4];
  read_ascii_grid_values(ri, hi, iv, 0);
  EXPECT_EQ(iv[0], 3);
  EXPECT_EQ(iv[1], 0);
  EXPECT_EQ(iv[2], -9998);
}

TEST(AsciiGrid, ShortBlockNamesTheRow) {
  auto r = asc("ncols 3\nnrows 3\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3\n4 5 6\n7\n");
  AsciiGridHeader h = read_ascii_grid_header(r);
  float v[9];
  EXPECT_EQ(error_of([&] { read_ascii_grid_values(r, h, v, 0.0f); }),
            "file 'dem.asc': line 8 holds 1 value where a row has ncols = 3; the data block holds 7 values, "
            "not nrows x ncols = 3 x 3 = 9");
}

TEST(AsciiGrid, SizeChecksNameBothValues) {
  EXPECT_EQ(error_of([] { check_grid_size("dem.asc", 120, 80, 100, 80, "Tarvex.in", 18); }),
            "file 'dem.asc': nrows 120 disagrees with NI = 100 of record 18 of 'Tarvex.in'");
  EXPECT_EQ(error_of([] { check_grid_size("dem.asc", 100, 81, 100, 80, "Tarvex.in", 18); }),
            "file 'dem.asc': ncols 81 disagrees with NJ = 80 of record 18 of 'Tarvex.in'");
  GeoReference g;
  g.cellsize = 0.1;
  g.known = true;
  EXPECT_EQ(error_of([&] { check_grid_cell_size("dem.asc", g, 0.1f, 0.1f, "Tarvex.in", 20); }), "(no error)");
  EXPECT_EQ(error_of([&] { check_grid_cell_size("dem.asc", g, 0.1f, 0.2f, "Tarvex.in", 20); }),
            "file 'dem.asc': cellsize 0.1 disagrees with CELL_DY = 0.2 of record 20 of 'Tarvex.in'");
  g.known = false;  // nothing to compare
  EXPECT_EQ(error_of([&] { check_grid_cell_size("dem.asc", g, 50.0f, 50.0f, "Tarvex.in", 20); }), "(no error)");
}

TEST(AsciiGrid, HeaderAndPrjRoundTrip) {
  test::TempDir dir;
  const auto path = dir / "out.asc";
  GeoReference g{512345.25, 4000000.0, 0.1, true, true, "PROJCS[\"x\"]"};
  {
    TextWriter w(path);
    write_ascii_grid_header(w, 2, 1, g, -9999.0);
    w.line("1");
    w.line("2");
    w.close();
  }
  write_prj_beside(path, g.prj);
  EXPECT_EQ(dir.read("out.asc"),
            "ncols         1\nnrows         2\nxllcenter     512345.25\nyllcenter     4000000\n"
            "cellsize      0.1\nNODATA_value  -9999\n1\n2\n");
  RecordReader r(path);
  AsciiGridHeader h = read_ascii_grid_header(r);
  h.geo.prj = read_prj_beside(path);
  EXPECT_EQ(h.geo.x_ll, g.x_ll);
  EXPECT_EQ(h.geo.y_ll, g.y_ll);
  EXPECT_EQ(h.geo.cellsize, g.cellsize);
  EXPECT_TRUE(h.geo.center);
  EXPECT_EQ(h.geo.prj, g.prj);
  EXPECT_EQ(h.nodata, -9999.0);
  EXPECT_EQ(read_prj_beside(dir / "none.asc"), "");
}

}  // namespace
}  // namespace tarvex
