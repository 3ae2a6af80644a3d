#pragma once
// GeoTIFF grids through GDAL (band 1; NI = rows, NJ = columns, first row
// north). Built against GDAL when TARVEX_HAVE_GDAL is set; otherwise every
// function throws InputError (geotiff_unavailable_message).
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "io/ascii_grid.hpp"

namespace tarvex {

// True when this build can read and write GeoTIFF grids.
bool geotiff_available();
// "file 'x.tif': GeoTIFF grids need a build with GDAL (libgdal-dev); this build has none"
std::string geotiff_unavailable_message(const std::string& file);

// An open GeoTIFF. The constructor reads the size, the georeference (geo.
// known false when the file has no geotransform) and the no-data value, and
// refuses rotated, non-square or south-up pixels.
class GeoTiffReader {
 public:
  explicit GeoTiffReader(const std::filesystem::path& path);
  ~GeoTiffReader();
  GeoTiffReader(const GeoTiffReader&) = delete;
  GeoTiffReader& operator=(const GeoTiffReader&) = delete;

  int32_t nrows() const { return nrows_; }
  int32_t ncols() const { return ncols_; }
  const GeoReference& geo() const { return geo_; }
  const std::optional<double>& nodata() const { return nodata_; }
  const std::string& name() const { return name_; }

  // Band 1 into dst[0 .. nrows*ncols-1], row-major; cells equal to the
  // no-data value get fill. Refuses non-finite values (float) and values
  // that are not whole numbers within the 4-byte range (int).
  void read(float* dst, float fill);
  void read(int32_t* dst, int32_t fill);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string name_;
  int32_t nrows_ = 0;
  int32_t ncols_ = 0;
  GeoReference geo_;
  std::optional<double> nodata_;
};

// Writes a one-band GTiff (Float32 or Int32) with the geotransform and
// projection when geo.known and the no-data value when given. Float values
// are stored exactly. Replaces an existing file.
void write_geotiff(const std::filesystem::path& path, const float* src, int32_t nrows, int32_t ncols,
                   const GeoReference& geo, std::optional<double> nodata);
void write_geotiff(const std::filesystem::path& path, const int32_t* src, int32_t nrows, int32_t ncols,
                   const GeoReference& geo, std::optional<double> nodata);

}  // namespace tarvex
