#include "io/stream_vectors.hpp"

#include <cctype>

#include "io/input_error.hpp"
#include "io/output_commit.hpp"

#if TARVEX_HAVE_GDAL
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <mutex>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal.h>
#include <ogr_api.h>
#include <ogr_srs_api.h>
#endif

namespace tarvex {

std::optional<VectorFormat> vector_format(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".gpkg") return VectorFormat::gpkg;
  if (ext == ".geojson") return VectorFormat::geojson;
  if (ext == ".shp") return VectorFormat::shapefile;
  return std::nullopt;
}

std::string stream_vectors_unavailable_message(const std::string& file) {
  return "file '" + file + "': vector files need a build with GDAL (libgdal-dev); this build has none";
}

#if TARVEX_HAVE_GDAL

namespace {

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

[[noreturn]] void fail(const std::filesystem::path& file, const std::string& what) {
  throw InputError("file '" + file.string() + "': " + what);
}

const char* driver_name(VectorFormat f) {
  switch (f) {
    case VectorFormat::gpkg: return "GPKG";
    case VectorFormat::geojson: return "GeoJSON";
    case VectorFormat::shapefile: return "ESRI Shapefile";
  }
  return "";
}

// The dataset is built in GDAL's memory file system, then copied file by
// file to the disk.
struct MemoryFolder {
  std::string dir;
  ~MemoryFolder() { VSIRmdirRecursive(dir.c_str()); }
};

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

void copy_out(const std::string& mem, const std::filesystem::path& final) {
  vsi_l_offset size = 0;
  const GByte* bytes = VSIGetMemFileBuffer(mem.c_str(), &size, FALSE);
  if (!bytes && size != 0) fail(final, "cannot be read back from memory");
  const std::filesystem::path temp = begin_output(final);
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) {
    const int err = errno;
    abandon_output(final, temp);
    fail(final, std::string("cannot be created: ") + std::strerror(err));
  }
  const bool written = size == 0 || std::fwrite(bytes, 1, static_cast<std::size_t>(size), f) == size;
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    abandon_output(final, temp);
    fail(final, "write failed");
  }
  end_output(final, temp);
}

}  // namespace

bool stream_vectors_available() { return true; }

void write_stream_vectors(const std::filesystem::path& path, const std::vector<StreamLine>& lines,
                          const std::string& wkt) {
  const std::optional<VectorFormat> format = vector_format(path);
  if (!format) fail(path, "a vector file of the streams must end in .gpkg, .geojson or .shp");
  static std::once_flag once;
  std::call_once(once, [] { GDALAllRegister(); });
  QuietErrors quiet;

  SpatialRef srs;
  if (!wkt.empty()) {
    srs.h = OSRNewSpatialReference(nullptr);
    std::string text = wkt;
    char* p = text.data();
    if (OSRImportFromWkt(srs.h, &p) != OGRERR_NONE) {
      fail(path, "the projection text is not a coordinate system GDAL understands" + gdal_message());
    }
    OSRSetAxisMappingStrategy(srs.h, OAMS_TRADITIONAL_GIS_ORDER);
    // A .prj rarely names its EPSG code; GeoJSON carries a system only by
    // that code.
    if (!OSRGetAuthorityCode(srs.h, nullptr)) OSRAutoIdentifyEPSG(srs.h);
    if (!OSRGetAuthorityCode(srs.h, nullptr)) {
      int count = 0;
      int* confidence = nullptr;
      OGRSpatialReferenceH* matches = OSRFindMatches(srs.h, nullptr, &count, &confidence);
      if (count > 0 && confidence[0] >= 90) {
        OSRDestroySpatialReference(srs.h);
        srs.h = OSRClone(matches[0]);
        OSRSetAxisMappingStrategy(srs.h, OAMS_TRADITIONAL_GIS_ORDER);
      }
      OSRFreeSRSArray(matches);
      CPLFree(confidence);
    }
    const char* authority = OSRGetAuthorityName(srs.h, nullptr);
    if (*format == VectorFormat::geojson && !(authority && EQUAL(authority, "EPSG") && OSRGetAuthorityCode(srs.h, nullptr))) {
      fail(path, "GeoJSON carries a coordinate system only by its EPSG code, and the DEM's has none; write "
                 "the streams as .gpkg or .shp");
    }
  }

  static std::atomic<unsigned long> counter{0};
  MemoryFolder folder{"/vsimem/tarvex-streams-" + std::to_string(::getpid()) + "-" +
                      std::to_string(counter.fetch_add(1))};
  VSIMkdir(folder.dir.c_str(), 0755);
  const std::string mem = folder.dir + "/" + path.filename().string();
  GDALDriverH drv = GDALGetDriverByName(driver_name(*format));
  if (!drv) fail(path, std::string("this GDAL has no ") + driver_name(*format) + " driver");
  {
    Dataset ds;
    ds.h = GDALCreate(drv, mem.c_str(), 0, 0, 0, GDT_Unknown, nullptr);
    if (!ds.h) fail(path, "cannot be created" + gdal_message());
    OGRLayerH layer = GDALDatasetCreateLayer(ds.h, "streams", srs.h, wkbLineString, nullptr);
    if (!layer) fail(path, "the layer cannot be created" + gdal_message());
    struct Field {
      const char* name;
      OGRFieldType type;
    };
    const Field fields[] = {{"link_id", OFTInteger},
                            {"strahler", OFTInteger},
                            {"length_m", OFTReal},
                            {"area_km2", OFTReal},
                            {"down_id", OFTInteger}};
    for (const Field& f : fields) {
      OGRFieldDefnH def = OGR_Fld_Create(f.name, f.type);
      const OGRErr err = OGR_L_CreateField(layer, def, TRUE);
      OGR_Fld_Destroy(def);
      if (err != OGRERR_NONE) fail(path, std::string("the field ") + f.name + " cannot be created" + gdal_message());
    }
    const bool transaction = GDALDatasetStartTransaction(ds.h, FALSE) == OGRERR_NONE;
    OGRFeatureDefnH defn = OGR_L_GetLayerDefn(layer);
    for (const StreamLine& s : lines) {
      OGRFeatureH feature = OGR_F_Create(defn);
      OGR_F_SetFieldInteger(feature, 0, s.id);
      OGR_F_SetFieldInteger(feature, 1, s.order);
      OGR_F_SetFieldDouble(feature, 2, s.length_m);
      OGR_F_SetFieldDouble(feature, 3, s.area_km2);
      OGR_F_SetFieldInteger(feature, 4, s.down_id);
      OGRGeometryH line = OGR_G_CreateGeometry(wkbLineString);
      for (const auto& [x, y] : s.points) OGR_G_AddPoint_2D(line, x, y);
      OGR_F_SetGeometryDirectly(feature, line);
      const OGRErr err = OGR_L_CreateFeature(layer, feature);
      OGR_F_Destroy(feature);
      if (err != OGRERR_NONE) fail(path, "link " + std::to_string(s.id) + " cannot be written" + gdal_message());
    }
    if (transaction && GDALDatasetCommitTransaction(ds.h) != OGRERR_NONE) {
      fail(path, "write failed" + gdal_message());
    }
    GDALClose(ds.h);
    ds.h = nullptr;
    if (CPLGetLastErrorType() >= CE_Failure) fail(path, "write failed" + gdal_message());
  }

  // Every file the driver made goes beside the name given; a shapefile's
  // side files of an earlier run that this one did not make are removed, so
  // that no stale projection or index describes the new lines.
  const std::filesystem::path parent = path.parent_path();
  char** names = VSIReadDir(folder.dir.c_str());
  std::vector<std::string> made;
  for (char** n = names; n && *n; ++n) made.emplace_back(*n);
  CSLDestroy(names);
  if (made.empty()) fail(path, "the driver wrote no file");
  for (const std::string& name : made) copy_out(folder.dir + "/" + name, parent / name);
  if (*format == VectorFormat::shapefile) {
    for (const char* ext : {".shx", ".dbf", ".prj", ".cpg", ".qix", ".sbn", ".sbx"}) {
      std::filesystem::path side = path;
      side.replace_extension(ext);
      bool ours = false;
      for (const std::string& name : made) {
        std::string a = name, b = side.filename().string();
        for (char& c : a) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (char& c : b) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        ours = ours || a == b;
      }
      std::error_code ec;
      if (!ours && std::filesystem::exists(side, ec)) remove_output(side);
    }
  }
}

#else  // no GDAL

bool stream_vectors_available() { return false; }

void write_stream_vectors(const std::filesystem::path& path, const std::vector<StreamLine>&, const std::string&) {
  throw InputError(stream_vectors_unavailable_message(path.string()));
}

#endif

}  // namespace tarvex
