// Grid inputs the program cannot read faithfully are refused: GeoTIFFs with
// more than one band or with complex values, oversized projection files,
// ASCII grids of another count than their header declares. Also the writers:
// an output shows up whole or not at all.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "io/ascii_grid.hpp"
#include "io/geotiff.hpp"
#include "io/grid_file.hpp"
#include "io/input_error.hpp"
#include "support/testkit.hpp"

namespace tarvex {
namespace {

namespace fs = std::filesystem;

std::string error_of(const std::function<void()>& fn) {
  try {
    fn();
  } catch (const InputError& e) {
    return e.what();
  }
  return "";
}

// A baseline little-endian TIFF of 2 x 1 pixels, written by hand so that the
// test needs no GDAL: spp samples of bits bits per pixel, SampleFormat fmt
// (3 real, 6 complex real).
void write_tiff(const fs::path& path, uint16_t spp, uint16_t bits, uint16_t fmt) {
  struct Tag {
    uint16_t id, type;
    uint32_t count, value;
  };
  const uint32_t width = 2, height = 1;
  const uint32_t data_bytes = width * height * spp * bits / 8;
  std::vector<Tag> tags = {{256, 3, 1, width},       {257, 3, 1, height},
                           {258, 3, spp, 0},         {259, 3, 1, 1},
                           {262, 3, 1, 1},           {273, 4, 1, 0},
                           {277, 3, 1, spp},         {278, 3, 1, height},
                           {279, 4, 1, data_bytes},  {284, 3, 1, 1}};
  if (spp > 1) tags.push_back({338, 3, 1, 0});  // an unspecified extra sample
  tags.push_back({339, 3, spp, 0});
  const uint32_t ifd = 8, data = ifd + 2 + 12 * static_cast<uint32_t>(tags.size()) + 4;
  std::string out("II*\0", 4);
  auto u16 = [&](uint16_t v) { out.append(reinterpret_cast<const char*>(&v), 2); };
  auto u32 = [&](uint32_t v) { out.append(reinterpret_cast<const char*>(&v), 4); };
  u32(ifd);
  u16(static_cast<uint16_t>(tags.size()));
  for (const Tag& t : tags) {
    u16(t.id);
    u16(t.type);
    u32(t.count);
    if (t.id == 258 || t.id == 339) {  // one short per sample, held in the entry
      const uint16_t v = t.id == 258 ? bits : fmt;
      u16(v);
      u16(spp > 1 ? v : 0);
    } else if (t.type == 3) {
      u16(static_cast<uint16_t>(t.id == 273 ? data : t.value));
      u16(0);
    } else {
      u32(t.id == 273 ? data : t.value);
    }
  }
  u32(0);
  out.append(data_bytes, '\0');
  test::write_file(path, out);
}

TEST(GridChecks, GeoTiffsOfSeveralBandsOrComplexValuesAreRefused) {
  if (!geotiff_available()) GTEST_SKIP() << "built without GDAL";
  test::TempDir dir;
  write_tiff(dir / "one.tif", 1, 32, 3);
  GeoTiffReader one(dir / "one.tif");
  EXPECT_EQ(one.ncols(), 2);

  write_tiff(dir / "two.tif", 2, 32, 3);
  EXPECT_NE(error_of([&] { GeoTiffReader r(dir / "two.tif"); }).find("two.tif': holds 2 raster bands"),
            std::string::npos);
  write_tiff(dir / "complex.tif", 1, 64, 6);
  EXPECT_NE(error_of([&] { GeoTiffReader r(dir / "complex.tif"); }).find("complex.tif': holds complex values"),
            std::string::npos);
}

TEST(GridChecks, ProjectionFilesAreReadUpToABound) {
  test::TempDir dir;
  dir.write("dem.prj", "PROJCS[\"a local grid\"]\n");
  EXPECT_EQ(read_prj_beside(dir / "dem.asc"), "PROJCS[\"a local grid\"]");
  // A sparse file: large on paper, nothing on disk.
  fs::resize_file(dir / "dem.prj", kPrjMaxBytes + 1);
  EXPECT_NE(error_of([&] { read_prj_beside(dir / "dem.asc"); })
                .find("dem.prj': 65537 bytes; a projection file (.prj) holds at most 65536"),
            std::string::npos);
}

TEST(GridChecks, AscCountsAreCheckedWhereverRowsWrap) {
  const std::string head = "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n";
  auto read = [&](const std::string& data) {
    auto r = RecordReader::from_text(head + data, "g.asc");
    const AsciiGridHeader h = read_ascii_grid_header(r);
    float v[6];
    return error_of([&] { read_ascii_grid_values(r, h, v, 0.0f); });
  };
  EXPECT_EQ(read("1 2 3\n4 5 6\n"), "");
  EXPECT_EQ(read("1 2\n3 4\n5 6\n\n"), "");  // wrapped rows
  EXPECT_EQ(read("1 2 3 4 5 6\n"), "");      // rows sharing a line
  EXPECT_EQ(read("1 2 3 9\n4 5 6\n"),
            "file 'g.asc': line 6 holds 4 values where a row has ncols = 3; the data block holds 7 values, not "
            "nrows x ncols = 2 x 3 = 6");
  EXPECT_EQ(read("1 2\n3 4\n5 6 7\n"),
            "file 'g.asc': line 8: values after the 2 rows of 3 values given by nrows and ncols; the data block "
            "holds 7 values, not nrows x ncols = 2 x 3 = 6");
  EXPECT_EQ(read("1 2\n3 4\n5\n"),
            "file 'g.asc': the file ends after line 8; expected row 2 of the 2 rows of 3 values (ASCII grid "
            "data); the data block holds 5 values, not nrows x ncols = 2 x 3 = 6");
}

TEST(GridChecks, WritersUnwoundByAFailureLeaveNothing) {
  test::TempDir dir;
  dir.write("old.asc", "an earlier grid\n");
  dir.write("old.txt", "an earlier text grid\n");
  GeoReference geo;
  geo.cellsize = 1.0;
  geo.known = true;
  const int32_t row[3] = {1, 2, 4};
  EXPECT_EQ(error_of([&] {
              GridWriter fresh(dir / "new.asc", kDirectionGrid, geo);  // no row kept
              GridWriter earlier(dir / "old.asc", kDirectionGrid, geo);
              GridWriter text(dir / "old.txt", kDirectionGrid);
              earlier.row(row, 3);
              text.row(row, 3);
              throw InputError("a later input error");
            }),
            "a later input error");
  EXPECT_EQ(test::files_in(dir), (std::set<std::string>{"old.asc", "old.txt"}));
  EXPECT_EQ(dir.read("old.asc"), "an earlier grid\n");
  EXPECT_EQ(dir.read("old.txt"), "an earlier text grid\n");

  // Closed, they replace the earlier files whole.
  {
    GridWriter earlier(dir / "old.asc", kDirectionGrid, geo);
    earlier.row(row, 3);
    earlier.close();
  }
  EXPECT_EQ(dir.read("old.asc").substr(0, 12), "ncols       ");
  EXPECT_EQ(test::files_in(dir), (std::set<std::string>{"old.asc", "old.txt"}));
}

}  // namespace
}  // namespace tarvex
