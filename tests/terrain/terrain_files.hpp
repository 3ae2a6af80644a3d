#pragma once
// Control file and grid texts for running the terrain mode in a scratch
// directory.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/testkit.hpp"

namespace tarvex::test {

struct TerrainControl {
  std::string dem = "dem.txt";
  int32_t ni = 0, nj = 0;
  int32_t outlet_i = 0, outlet_j = 0;
  std::string directions = "flowdir.txt";
  std::vector<std::pair<int32_t, int32_t>> exempt;
  int32_t n_exempt = -1;  // written count; -1 = exempt.size()
  std::string pit_free = "dem_nopit.txt";
  std::string area = "area.txt";
  std::string links = "links.txt";
};

// Control of a valley_dem grid: its outlet is the middle cell of the last row.
inline TerrainControl valley_control(int32_t ni, int32_t nj) {
  TerrainControl c;
  c.ni = ni;
  c.nj = nj;
  c.outlet_i = ni;
  c.outlet_j = (nj + 1) / 2;
  return c;
}

// "Tarvex.in" with the records the terrain mode reads; every other record
// is a label naming its number.
inline std::string control_text(const TerrainControl& c) {
  std::vector<std::string> r;
  auto label = [&r]() { r.push_back("label of record " + std::to_string(r.size() + 1)); };
  while (r.size() < 11) label();
  r.push_back(c.dem);  // 12
  while (r.size() < 17) label();
  r.push_back(std::to_string(c.ni) + " " + std::to_string(c.nj));  // 18
  while (r.size() < 45) label();
  r.push_back(std::to_string(c.outlet_i) + "," + std::to_string(c.outlet_j));  // 46
  while (r.size() < 51) label();
  r.push_back(c.directions);  // 52
  label();                    // 53
  r.push_back(std::to_string(c.n_exempt >= 0 ? c.n_exempt : static_cast<int32_t>(c.exempt.size())));  // 54
  label();  // 55
  for (const auto& [i, j] : c.exempt) r.push_back(std::to_string(i) + " " + std::to_string(j));
  r.push_back("A51 pit-free elevation file");
  r.push_back(c.pit_free);
  label();
  r.push_back(c.area);
  label();
  r.push_back(c.links);
  label();
  r.push_back("cn.txt");
  std::string text;
  for (const auto& line : r) text += line + "\n";
  return text;
}

// Grid text, one row per line.
template <class T>
std::string grid_text(const std::vector<std::vector<T>>& rows) {
  std::string text;
  for (const auto& row : rows) {
    for (std::size_t k = 0; k < row.size(); ++k) text += (k ? " " : "") + std::to_string(row[k]);
    text += "\n";
  }
  return text;
}

// A valley DEM of ni x nj cells falling toward the middle column and toward
// the last row; its only outlet is the middle cell of the last row.
inline std::vector<std::vector<double>> valley_dem(int32_t ni, int32_t nj) {
  std::vector<std::vector<double>> z(static_cast<std::size_t>(ni), std::vector<double>(static_cast<std::size_t>(nj)));
  const int32_t mid = (nj + 1) / 2;
  for (int32_t i = 1; i <= ni; ++i)
    for (int32_t j = 1; j <= nj; ++j)
      z[static_cast<std::size_t>(i - 1)][static_cast<std::size_t>(j - 1)] =
          100.0 + 2.0 * (ni - i) + 3.0 * (j > mid ? j - mid : mid - j);
  return z;
}

// Writes "Tarvex.in" for c and the DEM text into dir.
inline void write_terrain(const TempDir& dir, const TerrainControl& c, const std::string& dem) {
  dir.write("Tarvex.in", control_text(c));
  dir.write(c.dem, dem);
}

// The same with the valley DEM of c's size.
inline void write_valley(const TempDir& dir, const TerrainControl& c) {
  write_terrain(dir, c, grid_text(valley_dem(c.ni, c.nj)));
}

}  // namespace tarvex::test
