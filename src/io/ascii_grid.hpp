#pragma once
// ESRI ASCII grid (.asc): a header of keyword-value records
//   ncols, nrows, xllcorner|xllcenter, yllcorner|yllcenter, cellsize
//   [, NODATA_value]
// then nrows rows of ncols values, the first row northmost. Row I of a
// Tarvex grid is data row I (NI = nrows, NJ = ncols). Also the .prj file
// beside a grid and the size checks shared with the GeoTIFF codec.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "io/record_reader.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

struct GeoReference {
  double x_ll = 0.0;
  double y_ll = 0.0;
  double cellsize = 0.0;
  // x_ll, y_ll are the lower-left corner, or the centre of the lower-left
  // cell when center.
  bool center = false;
  // False when the file carries no georeference (x_ll, y_ll, cellsize 0).
  bool known = false;
  // Projection text (.prj beside an .asc, WKT of a GeoTIFF); empty if none.
  std::string prj;
};

struct AsciiGridHeader {
  int32_t nrows = 0;
  int32_t ncols = 0;
  GeoReference geo;  // known = true; prj is left empty (see read_prj_beside)
  std::optional<double> nodata;
  // NODATA_value read as a 4-byte real, compared with the values of float
  // grids; empty when it lies outside the 4-byte range.
  std::optional<float> nodata_f32;
};

// Consumes the header records. Keywords are case-insensitive and may come in
// any order; xll and yll each as corner or centre (a mixed pair is turned
// into corners); "dx" and "dy" stand for cellsize when equal. Throws
// InputError naming the file and record on a missing, repeated or unknown
// keyword, a non-positive ncols, nrows or cellsize.
AsciiGridHeader read_ascii_grid_header(RecordReader& r);

// Reads the data block that follows the header into dst[0 .. nrows*ncols-1],
// row-major, first row north. The values form one stream: rows may wrap
// over several lines or share one. Cells equal to NODATA_value get fill. A
// short block, a value that cannot be read or records left with values after
// the block are InputErrors naming the file, record and row.
void read_ascii_grid_values(RecordReader& r, const AsciiGridHeader& h, float* dst, float fill);
void read_ascii_grid_values(RecordReader& r, const AsciiGridHeader& h, int32_t* dst, int32_t fill);

// "file 'dem.asc': nrows 120 disagrees with NI = 100 of record 18 of 'Tarvex.in'"
std::string grid_disagreement(std::string_view file, std::string_view key, std::string_view value,
                              std::string_view expected_name, std::string_view expected,
                              std::string_view control_file, int32_t record);
// Throws InputError (grid_disagreement) when nrows != ni or ncols != nj.
void check_grid_size(std::string_view file, int32_t nrows, int32_t ncols, int32_t ni, int32_t nj,
                     std::string_view control_file, int32_t record);
// Throws InputError when a known cellsize differs from cell_dx or cell_dy by
// more than a relative 1e-6 (the precision of the 4-byte cell sizes).
void check_grid_cell_size(std::string_view file, const GeoReference& geo, float cell_dx, float cell_dy,
                          std::string_view control_file, int32_t record);

// Writes the header: keywords padded to 14 columns, numbers in shortest
// round-trip form, xllcenter/yllcenter when geo.center. The caller writes
// the nrows data lines after it. Throws InputError when geo.cellsize is not
// positive.
void write_ascii_grid_header(TextWriter& w, int32_t nrows, int32_t ncols, const GeoReference& geo,
                             std::optional<double> nodata);

// The .prj beside a grid: same folder and stem, extension .prj.
std::filesystem::path prj_path_beside(const std::filesystem::path& grid);
// Text of the .prj beside grid (or .PRJ), trailing blanks and line ends
// dropped; empty when there is none. Throws InputError when it holds more
// than kPrjMaxBytes.
inline constexpr std::size_t kPrjMaxBytes = 64 * 1024;
std::string read_prj_beside(const std::filesystem::path& grid);
// Writes wkt to the .prj beside grid; nothing when wkt is empty.
void write_prj_beside(const std::filesystem::path& grid, std::string_view wkt);

}  // namespace tarvex
