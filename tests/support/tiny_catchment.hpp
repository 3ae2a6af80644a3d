#pragma once
// A hand-made 3 x 4 catchment with a consistent network, for loading and
// end-to-end tests:
//
//   directions      elevations (m)        areas (cells)
//   6 6 6 8         12   9.5  8    7       1 2 3 4
//   6 6 6 8          9   8    7    6       1 2 3 8
//   6 6 6 0          8.6 7    6    5       1 2 3 12
//
// Links: (1,1)->(2,4) LEN 4, (2,1)->(2,4) LEN 3, (3,1)->(3,4) LEN 3,
// (2,4)->(3,4) LEN 1. The outlet (3,4) is the end of the last links and so
// not a catchment cell. Two rain gauges at (1,1) and (3,4), one temperature
// station at (2,2), 500 m.
#include <filesystem>
#include <string>

#include "support/control_file.hpp"

namespace tarvex::test {

// Writes the data files (not "Tarvex.in") into dir.
void write_tiny_catchment(const std::filesystem::path& dir, int n_records = 24);
// Writes the control file ctl into dir as "Tarvex.in".
void write_control(const std::filesystem::path& dir, const ControlFileText& ctl);
// Writes both: the data files and the control file ctl.
void write_tiny_run(const std::filesystem::path& dir, const ControlFileText& ctl = {});

// Rain file text for the given gauges and records ("label v1 v2 ..." lines).
std::string rain_file(const std::string& positions, int n_gauges, const std::string& records, int skip = 0);
// Temperature file text with the standard calendar and the given records.
std::string temp_file(const std::string& records, int n_stations = 1, const std::string& days =
                          "31 28 31 30 31 30 31 31 30 31 30 31");

}  // namespace tarvex::test
