#include "io/geotiff.hpp"

#include "io/degree_dem.hpp"
#include "io/file_identity.hpp"
#include "io/input_error.hpp"
#include "io/output_commit.hpp"

#if TARVEX_HAVE_GDAL
#include <cfloat>
#include <cmath>
#include <limits>
#include <mutex>
#include <vector>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <gdal.h>
#include <gdal_frmts.h>
#include <ogr_srs_api.h>
#endif

namespace tarvex {

std::string geotiff_unavailable_message(const std::string& file) {
  return "file '" + file + "': GeoTIFF grids need a build with GDAL (libgdal-dev); this build has none";
}

#if TARVEX_HAVE_GDAL

namespace {

void register_gtiff() {
  static std::once_flag once;
  std::call_once(once, [] { GDALRegister_GTiff(); });
}

// GDAL's messages go into the InputError text, not to stderr.
class QuietErrors {
 public:
  QuietErrors() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~QuietErrors() { CPLPopErrorHandler(); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;
};

std::string gdal_message() {
  const char* m = CPLGetLastErrorMsg();
  return (m && *m) ? std::string(": ") + m : std::string();
}

[[noreturn]] void fail(const std::string& file, const std::string& what) {
  throw InputError("file '" + file + "': " + what);
}

bool fits_f32(double v) { return std::abs(v) <= static_cast<double>(FLT_MAX); }

struct Dataset {
  GDALDatasetH h = nullptr;
  ~Dataset() {
    if (h) GDALClose(h);
  }
};

struct SpatialRef {
  OGRSpatialReferenceH h = nullptr;
  ~SpatialRef() {
    if (h) OSRDestroySpatialReference(h);
  }
};

template <class T>
void write_band(const std::filesystem::path& path, const T* src, int32_t nrows, int32_t ncols,
                const GeoReference& geo, std::optional<double> nodata, GDALDataType type) {
  const std::string name = path.string();
  if (nrows < 1 || ncols < 1) fail(name, "a GeoTIFF grid needs at least one row and one column");
  if (nodata && type == GDT_Int32 &&
      !(*nodata == std::trunc(*nodata) && *nodata >= std::numeric_limits<int32_t>::min() &&
        *nodata <= std::numeric_limits<int32_t>::max())) {
    fail(name, "the no-data value " + shortest(*nodata) + " of an integer grid is not a 4-byte integer");
  }
  if (geo.known && !(geo.cellsize > 0.0)) fail(name, "a georeferenced grid needs a positive cell size");
  register_gtiff();
  QuietErrors quiet;
  // The projection is parsed before the file is created: a refusal leaves
  // no file behind.
  SpatialRef srs;
  if (!geo.prj.empty()) {
    srs.h = OSRNewSpatialReference(nullptr);
    std::string text = geo.prj;
    char* p = text.data();
    if (OSRImportFromWkt(srs.h, &p) != OGRERR_NONE) {
      fail(name, "the projection text is not a coordinate system GDAL understands" + gdal_message());
    }
    OSRSetAxisMappingStrategy(srs.h, OAMS_TRADITIONAL_GIS_ORDER);
  }
  GDALDriverH drv = GDALGetDriverByName("GTiff");
  // Written beside its name and put in place once complete.
  const std::filesystem::path temp = begin_output(path);
  struct Drop {
    const std::filesystem::path& path;
    const std::filesystem::path& temp;
    bool done = false;
    ~Drop() {
      if (!done) abandon_output(path, temp);
    }
  } drop{path, temp};
  Dataset ds;
  if (drv) ds.h = GDALCreate(drv, temp.c_str(), ncols, nrows, 1, type, nullptr);
  if (!ds.h) fail(name, "cannot be created as a GeoTIFF" + gdal_message());
  if (geo.known) {
    const double half = geo.center ? 0.5 * geo.cellsize : 0.0;
    double gt[6] = {geo.x_ll - half, geo.cellsize, 0.0,
                    geo.y_ll - half + static_cast<double>(nrows) * geo.cellsize, 0.0, -geo.cellsize};
    if (GDALSetGeoTransform(ds.h, gt) != CE_None) fail(name, "the geotransform cannot be written" + gdal_message());
  }
  if (srs.h && GDALSetSpatialRef(ds.h, srs.h) != CE_None) {
    fail(name, "the projection cannot be written" + gdal_message());
  }
  GDALRasterBandH band = GDALGetRasterBand(ds.h, 1);
  if (nodata && GDALSetRasterNoDataValue(band, *nodata) != CE_None) {
    fail(name, "the no-data value cannot be written" + gdal_message());
  }
  if (GDALRasterIO(band, GF_Write, 0, 0, ncols, nrows, const_cast<T*>(src), ncols, nrows, type, 0, 0) != CE_None) {
    fail(name, "write failed" + gdal_message());
  }
  GDALClose(ds.h);
  ds.h = nullptr;
  if (CPLGetLastErrorType() >= CE_Failure) fail(name, "write failed" + gdal_message());
  drop.done = true;
  end_output(path, temp);
}

}  // namespace

bool geotiff_available() { return true; }

struct GeoTiffReader::Impl {
  Dataset ds;
  GDALDataType type = GDT_Unknown;
};

GeoTiffReader::GeoTiffReader(const std::filesystem::path& path)
    : impl_(std::make_unique<Impl>()), name_(path.string()) {
  refuse_special_input(path);
  register_gtiff();
  QuietErrors quiet;
  const char* const drivers[] = {"GTiff", nullptr};
  impl_->ds.h = GDALOpenEx(readable_path(path).c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers, nullptr, nullptr);
  if (!impl_->ds.h) fail(name_, "cannot be opened as a GeoTIFF" + gdal_message());
  GDALDatasetH ds = impl_->ds.h;
  const int bands = GDALGetRasterCount(ds);
  if (bands < 1) fail(name_, "holds no raster band");
  // A grid is one band of real values: another band or an imaginary part
  // would be dropped unseen.
  if (bands > 1) fail(name_, "holds " + std::to_string(bands) + " raster bands; a grid must have exactly one");
  nrows_ = GDALGetRasterYSize(ds);
  ncols_ = GDALGetRasterXSize(ds);
  GDALRasterBandH band = GDALGetRasterBand(ds, 1);
  impl_->type = GDALGetRasterDataType(band);
  if (GDALDataTypeIsComplex(impl_->type)) {
    fail(name_, std::string("holds complex values (") + GDALGetDataTypeName(impl_->type) +
                    "); a grid must hold real numbers");
  }

  double gt[6];
  if (GDALGetGeoTransform(ds, gt) == CE_None) {
    if (gt[2] != 0.0 || gt[4] != 0.0) fail(name_, "rotated grids (a geotransform with rotation terms) are not supported");
    if (!(gt[1] > 0.0) || !(gt[5] < 0.0)) {
      fail(name_, "pixel size " + shortest(gt[1]) + " x " + shortest(gt[5]) +
                      ": only north-up grids (positive width, negative height) are supported");
    }
    if (std::abs(gt[1] + gt[5]) > 1e-9 * gt[1]) {
      // Non-square pixels are most often degrees of longitude and latitude.
      const char* wkt = GDALGetProjectionRef(ds);
      const GridPlace place{gt[0], gt[3] + static_cast<double>(nrows_) * gt[5], gt[1], -gt[5], nrows_, ncols_};
      if (auto m = degree_dem_refusal(name_, place, wkt ? wkt : "", true, "the grid")) throw InputError(*m);
      fail(name_, "pixels of " + shortest(gt[1]) + " x " + shortest(-gt[5]) + " are not square");
    }
    geo_.known = true;
    geo_.cellsize = gt[1];
    geo_.x_ll = gt[0];
    geo_.y_ll = gt[3] + static_cast<double>(nrows_) * gt[5];
  }
  if (const char* wkt = GDALGetProjectionRef(ds)) geo_.prj = wkt;
  int has = 0;
  const double nd = GDALGetRasterNoDataValue(band, &has);
  if (has) nodata_ = nd;
}

GeoTiffReader::~GeoTiffReader() = default;

namespace {

// Reads band 1 row by row as doubles (exact for every GDAL type up to 4-byte
// integers and reals) and hands each value that is not no-data to put.
template <class Put>
void scan(const std::string& name, GDALDatasetH ds, GDALDataType type, int32_t nrows, int32_t ncols,
          const std::optional<double>& nodata, Put&& put) {
  QuietErrors quiet;
  GDALRasterBandH band = GDALGetRasterBand(ds, 1);
  // A Float32 band stores its no-data value rounded to a 4-byte real.
  const bool as_f32 = type == GDT_Float32 && nodata && fits_f32(*nodata);
  const float nd32 = as_f32 ? static_cast<float>(*nodata) : 0.0f;
  std::vector<double> row(static_cast<std::size_t>(ncols));
  for (int32_t i = 0; i < nrows; ++i) {
    if (GDALRasterIO(band, GF_Read, 0, i, ncols, 1, row.data(), ncols, 1, GDT_Float64, 0, 0) != CE_None) {
      fail(name, "row " + std::to_string(i + 1) + " cannot be read" + gdal_message());
    }
    for (int32_t j = 0; j < ncols; ++j) {
      const double v = row[static_cast<std::size_t>(j)];
      bool missing = false;
      if (nodata) {
        if (std::isnan(*nodata)) missing = std::isnan(v);
        else if (as_f32) missing = static_cast<float>(v) == nd32;
        else missing = v == *nodata;
      }
      put(static_cast<std::size_t>(i) * static_cast<std::size_t>(ncols) + static_cast<std::size_t>(j), v, missing,
          i + 1, j + 1);
    }
  }
}

}  // namespace

void GeoTiffReader::read(float* dst, float fill) {
  scan(name_, impl_->ds.h, impl_->type, nrows_, ncols_, nodata_,
       [&](std::size_t k, double v, bool missing, int32_t i, int32_t j) {
         if (missing) {
           dst[k] = fill;
           return;
         }
         if (!std::isfinite(v) || !fits_f32(v)) {
           fail(name_, "row " + std::to_string(i) + ", column " + std::to_string(j) + ": value " + shortest(v) +
                           " is not a real number within the range of 4-byte reals");
         }
         dst[k] = static_cast<float>(v);
       });
}

void GeoTiffReader::read(int32_t* dst, int32_t fill) {
  scan(name_, impl_->ds.h, impl_->type, nrows_, ncols_, nodata_,
       [&](std::size_t k, double v, bool missing, int32_t i, int32_t j) {
         if (missing) {
           dst[k] = fill;
           return;
         }
         if (!(v == std::trunc(v) && v >= std::numeric_limits<int32_t>::min() &&
               v <= std::numeric_limits<int32_t>::max())) {
           fail(name_, "row " + std::to_string(i) + ", column " + std::to_string(j) + ": value " + shortest(v) +
                           " is not an integer within the range of 4-byte integers");
         }
         dst[k] = static_cast<int32_t>(v);
       });
}

void write_geotiff(const std::filesystem::path& path, const float* src, int32_t nrows, int32_t ncols,
                   const GeoReference& geo, std::optional<double> nodata) {
  write_band(path, src, nrows, ncols, geo, nodata, GDT_Float32);
}

void write_geotiff(const std::filesystem::path& path, const int32_t* src, int32_t nrows, int32_t ncols,
                   const GeoReference& geo, std::optional<double> nodata) {
  write_band(path, src, nrows, ncols, geo, nodata, GDT_Int32);
}

#else  // no GDAL: every entry refuses with the same message

bool geotiff_available() { return false; }

struct GeoTiffReader::Impl {};

GeoTiffReader::GeoTiffReader(const std::filesystem::path& path) : name_(path.string()) {
  throw InputError(geotiff_unavailable_message(name_));
}

GeoTiffReader::~GeoTiffReader() = default;

void GeoTiffReader::read(float*, float) { throw InputError(geotiff_unavailable_message(name_)); }
void GeoTiffReader::read(int32_t*, int32_t) { throw InputError(geotiff_unavailable_message(name_)); }

void write_geotiff(const std::filesystem::path& path, const float*, int32_t, int32_t, const GeoReference&,
                   std::optional<double>) {
  throw InputError(geotiff_unavailable_message(path.string()));
}

void write_geotiff(const std::filesystem::path& path, const int32_t*, int32_t, int32_t, const GeoReference&,
                   std::optional<double>) {
  throw InputError(geotiff_unavailable_message(path.string()));
}

#endif

}  // namespace tarvex
