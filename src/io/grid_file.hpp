#pragma once
// The one reader and the one writer of grid files. A grid file holds NI rows
// (row I starts on a new record) of NJ values. Every grid the program reads
// or writes goes through these, and the file name chooses the format here.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/ascii_grid.hpp"
#include "io/record_reader.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

// What a grid read must match: NI x NJ of record size_record and, when
// cell_dx > 0, the cell sizes of record cell_record of the control file.
// Only the GIS formats carry a size to check.
struct GridExpect {
  int32_t ni = 0;
  int32_t nj = 0;
  std::string control_file;
  int32_t size_record = 0;
  float cell_dx = 0.0f;
  float cell_dy = 0.0f;
  int32_t cell_record = 0;
};

// Format of a grid file, chosen by its name: ".asc" an ESRI ASCII grid,
// ".tif"/".tiff" a GeoTIFF (case-insensitive), anything else the text layout.
enum class GridFormat { text, ascii, geotiff };
GridFormat grid_format(const std::filesystem::path& path);

class GridReader {
 public:
  // Opens a grid file; throws InputError when it cannot.
  explicit GridReader(const std::filesystem::path& path, const GridExpect* expect = nullptr);
  // Nothing when the file cannot be opened; throws InputError when it is
  // not a regular file (a pipe or a device).
  static std::optional<GridReader> try_open(const std::filesystem::path& path, const GridExpect* expect = nullptr);
  // A text-layout grid held in memory (tests, fuzzing).
  static GridReader from_text(std::string text, std::string name) {
    return GridReader(RecordReader::from_text(std::move(text), std::move(name)));
  }
  GridReader(GridReader&&) noexcept;
  GridReader& operator=(GridReader&&) noexcept;
  ~GridReader();

  // Checks the size (and cell size) a GIS grid declares; throws InputError
  // naming both values and the control-file record. For the text layout,
  // records after row NI are reported once it is read.
  void expect(const GridExpect& e);
  // Georeference of a GIS grid (known false for the text layout), with the
  // text of the .prj beside the file when the format carries none.
  const GeoReference& geo() const { return geo_; }

  // Reads the next row of n values into dst[0..n-1]. Cells a GIS grid marks
  // as no-data read as nodata, the program's no-data value of that grid.
  void row(float* dst, int32_t n, std::string_view what, float nodata = 0.0f);
  void row(int32_t* dst, int32_t n, std::string_view what, int32_t nodata = 0);
  // Reads ni rows of nj values into dst, row after row; each row is named
  // "row I of <what>" in messages.
  template <class T>
  void rows(T* dst, int32_t ni, int32_t nj, std::string_view what, T nodata = T{}) {
    for (int32_t i = 1; i <= ni; ++i) {
      row(dst + static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(nj), nj,
          "row " + std::to_string(i) + " of " + std::string(what), nodata);
    }
  }

  const std::string& name() const { return name_; }
  // Last record read (a GIS grid: the line, or for a GeoTIFF the row, of
  // the last row read).
  int32_t record() const;
  [[noreturn]] void fail(std::string_view message) const;

 private:
  struct Gis;
  explicit GridReader(RecordReader text);
  template <class T>
  void gis_row(T* dst, int32_t n, std::string_view what, T nodata);
  std::string name_;
  std::optional<RecordReader> text_;  // text layout and .asc
  std::unique_ptr<Gis> gis_;          // .asc and .tif
  GeoReference geo_;
  // Text layout: rows expected (0 when unknown), rows read, the rows in words.
  void text_row_read();
  int32_t text_rows_ = 0;
  int32_t text_served_ = 0;
  std::string text_grid_;
};

// Layout of the values of a grid file: a fixed-point field (width, decimals)
// or an integer field (width), blanks after each field, values per line.
struct GridLayout {
  bool integer = false;
  int width = 0;
  int decimals = 0;
  int trailing_blanks = 0;
  int32_t per_line = 0;
  // Written as NODATA_value of a GIS grid.
  float nodata = 0.0f;
};

// Terrain grids, 945 values per line.
inline constexpr GridLayout kElevationGrid{false, 10, 1, 0, 945, -1.0f};  // m
inline constexpr GridLayout kDirectionGrid{true, 2, 0, 0, 945};    // D8 codes
inline constexpr GridLayout kAreaGrid{true, 7, 0, 1, 945};         // cells
inline constexpr GridLayout kOrderGrid{true, 2, 0, 1, 945};        // Strahler orders
// Result grids of single runs, 1000 values per line.
inline constexpr GridLayout kRainDepthGrid{false, 12, 2, 0, 1000, -1.0f};  // mm
inline constexpr GridLayout kStationGrid{true, 3, 0, 0, 1000};      // station numbers
inline constexpr GridLayout kSlopeGrid{false, 8, 4, 1, 1000};       // m/m

// Writes a grid in the format its name chooses. The text layout goes out
// row by row; an ASCII grid or a GeoTIFF is kept until close(), which writes
// it with geo (cellsize > 0 needed for an ASCII grid) and, for an ASCII
// grid, geo.prj beside it. A writer left unclosed is closed by its
// destructor, unless an exception unwinds it: a failure writes nothing.
class GridWriter {
 public:
  GridWriter(const std::filesystem::path& path, const GridLayout& layout, const GeoReference& geo = {});
  ~GridWriter();
  GridWriter(const GridWriter&) = delete;
  GridWriter& operator=(const GridWriter&) = delete;

  // Writes one row of n values.
  void row(const float* values, int32_t n);
  void row(const int32_t* values, int32_t n);
  template <class T>
  void rows(const T* values, int32_t ni, int32_t nj) {
    for (int32_t i = 1; i <= ni; ++i) row(values + static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(nj), nj);
  }
  void close();
  const std::string& name() const { return name_; }

 private:
  template <class T>
  void put_row(const T* values, int32_t n);
  template <class T>
  void keep_row(const T* values, int32_t n);
  void finish();
  std::string name_;
  GridFormat format_;
  std::unique_ptr<TextWriter> out_;
  GridLayout layout_;
  GeoReference geo_;
  bool closed_ = false;
  int unwinding_ = 0;  // exceptions in flight when opened
  // Rows kept for a GIS grid.
  int32_t nrows_ = 0;
  int32_t ncols_ = -1;
  std::string text_rows_;
  std::vector<float> float_rows_;
  std::vector<int32_t> int_rows_;
};

// The georeference written with grids made from source: its own when known,
// else corner (0, 0) and cell size cell_dx; source's projection text kept.
GeoReference output_georeference(const GeoReference& source, float cell_dx);

}  // namespace tarvex
