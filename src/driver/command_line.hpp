#pragma once
// Command line of the program.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "calibration/search_options.hpp"
#include "io/gis_outputs.hpp"
#include "terrain/pit_options.hpp"

namespace tarvex {

struct CommandLine {
  int32_t mode = 4;          // run mode of the pass: 1 terrain, 2 event, 3 continuous, 4 calibration
  std::string directory;     // working directory, empty for the current one
  int32_t jobs = 0;          // threads of a simulation run, 0 for the machine's cores
  bool help = false;
  bool version = false;
  bool no_limits = false;    // --no-limits: tables sized to the data, not to the capacities
  bool strict = false;       // --strict: values left unread in an input file are an input error
  SearchOptions search;      // --search and its options (calibration mode only)
  GisOutputs gis;            // --streams FILE (terrain mode), --grids asc|tif (modes 1 to 3)
  TerrainOptions terrain;    // --pits and its options, --progress (terrain mode only)
  std::string control = "Tarvex.in";  // --control: the control file of the pass
};

// Parses the arguments (without the program name). On a usage error returns
// nothing and sets error to a one-line description.
std::optional<CommandLine> parse_command_line(const std::vector<std::string>& args, std::string& error);

const char* usage_text();

}  // namespace tarvex
