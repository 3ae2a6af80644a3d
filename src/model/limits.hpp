#pragma once
// Capacities of a run: the size of every table the model state holds. The
// model state keeps the run's copy (kLimits, or kNoLimits with --no-limits);
// every check against a capacity reads that copy.
#include <cstdint>

namespace tarvex {

struct Limits {
  int32_t grid_side = 1000;     // rows and columns of a grid
  int32_t records = 40000;      // records of a series, steps of a run
  int32_t rain_gauges = 4;      // rain gauges
  int32_t temp_stations = 1;    // temperature stations
  int32_t classes = 3;          // hillslope roughness classes
  int32_t sections = 1;         // output cross-sections
  int32_t paths = 10000;        // links of the path list, stream starts
  int32_t exempt_cells = 10;    // cells exempt from pit raising
  int32_t observed = 40000;     // observed discharge values
  // Tables sized to the data loaded rather than to the counts above.
  bool fit_to_data = false;
};

inline constexpr Limits kLimits{};

// --no-limits: every count up to what memory holds. A grid side keeps the
// cells of a grid countable in 4 bytes; classes and sections are part of the
// model's structure and stay.
inline constexpr int32_t kNoLimit = 2147483646;
inline constexpr Limits kNoLimits{46340, kNoLimit, kNoLimit, kNoLimit, kLimits.classes, kLimits.sections,
                                  kNoLimit, kNoLimit, kNoLimit, true};

// Months of the calendar tables.
inline constexpr int32_t MAX_MONTHS = 12;

}  // namespace tarvex
