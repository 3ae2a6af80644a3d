#include "io/degree_dem.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

namespace tarvex {
namespace {

// Metres of one degree of latitude (mean).
constexpr double kMetresPerDegree = 111320.0;

std::string upper(const std::string& s) {
  std::string u = s;
  for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return u;
}

// Keywords outside quoted names.
bool has_keyword(const std::string& wkt, const char* word) {
  const std::string w = word;
  bool quoted = false;
  for (std::size_t k = 0; k < wkt.size(); ++k) {
    if (wkt[k] == '"') quoted = !quoted;
    if (quoted) continue;
    if (wkt.compare(k, w.size(), w) == 0 && k + w.size() < wkt.size() &&
        (wkt[k + w.size()] == '[' || wkt[k + w.size()] == '(') &&
        (k == 0 || !(std::isalnum(static_cast<unsigned char>(wkt[k - 1])) || wkt[k - 1] == '_'))) {
      return true;
    }
  }
  return false;
}

// A path as a shell word.
std::string shell_word(const std::string& s) {
  const bool plain = !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-' || c == '/';
  });
  if (plain) return s;
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

std::string degrees(double v, char positive, char negative) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.4f %c", std::abs(v), v < 0.0 ? negative : positive);
  return buf;
}

}  // namespace

bool is_geographic_crs(const std::string& wkt) {
  const std::string u = upper(wkt);
  const bool geographic = has_keyword(u, "GEOGCS") || has_keyword(u, "GEOGCRS") || has_keyword(u, "GEOGRAPHICCRS");
  const bool projected = has_keyword(u, "PROJCS") || has_keyword(u, "PROJCRS") || has_keyword(u, "PROJECTEDCRS");
  return geographic && !projected;
}

int32_t utm_epsg(double lon, double lat) {
  double l = std::fmod(lon + 180.0, 360.0);
  if (l < 0.0) l += 360.0;
  const int32_t zone = std::clamp(static_cast<int32_t>(std::floor(l / 6.0)) + 1, 1, 60);
  return (lat < 0.0 ? 32700 : 32600) + zone;
}

double projected_cell_size(double dy_degrees) {
  const double m = dy_degrees * kMetresPerDegree;
  if (m < 10.0) return std::max(1.0, std::round(m));
  if (m < 1000.0) return std::round(m / 10.0) * 10.0;
  return std::round(m / 100.0) * 100.0;
}

std::optional<std::string> degree_dem_refusal(const std::string& file, const GridPlace& p, const std::string& wkt,
                                              bool refused_anyway, const std::string& what) {
  const double x_hi = p.x_ll + p.dx * p.ncols;
  const double y_hi = p.y_ll + p.dy * p.nrows;
  // Corners that cannot be longitudes and latitudes contradict a geographic
  // system: such a grid is left to run as before.
  const bool degree_extent = p.x_ll >= -180.0 && x_hi <= 360.0 && p.y_ll >= -90.0 && y_hi <= 90.0;
  bool in_degrees = false;
  if (!wkt.empty()) {
    in_degrees = is_geographic_crs(wkt) && degree_extent;
  } else if (refused_anyway) {
    in_degrees = p.dx > 0.0 && p.dy > 0.0 && p.dx <= 0.1 && p.dy <= 0.1 && degree_extent;
  }
  if (!in_degrees) return std::nullopt;
  const double lon = 0.5 * (p.x_ll + x_hi);
  const double lat = 0.5 * (p.y_ll + y_hi);
  const int32_t epsg = utm_epsg(lon, lat);
  const int32_t zone = epsg % 100;
  char size_text[32];
  std::snprintf(size_text, sizeof size_text, "%.0f", projected_cell_size(p.dy));
  const std::string size = size_text;
  const std::filesystem::path in(file);
  std::filesystem::path out = in;
  out.replace_filename(in.stem().string() + "_utm" + in.extension().string());
  return "file '" + file + "': " + what + " is in degrees (geographic coordinates) and must be projected to metres: its "
         "centre " + degrees(lon, 'E', 'W') + ", " + degrees(lat, 'N', 'S') + " lies in UTM zone " +
         std::to_string(zone) + (lat < 0.0 ? " south" : " north") + " (EPSG:" + std::to_string(epsg) +
         "); project it with: gdalwarp -t_srs EPSG:" + std::to_string(epsg) + " -tr " + size + " " + size +
         " -r bilinear " + shell_word(file) + " " + shell_word(out.string());
}

}  // namespace tarvex
