// Reading a dated CSV rain series of 10 years of hourly records at 20
// gauges (87 600 rows), as a run loads it. The file is written once to the
// temporary folder; the counter peak_rss_mb is the process's peak resident
// memory after the reads.
//
//   bench_csv [benchmark options]
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "io/csv_series.hpp"
#include "io/text_writer.hpp"

namespace {

using namespace tarvex;

constexpr int32_t RECORDS = 87600;
constexpr int32_t GAUGES = 20;

const std::filesystem::path& series_file() {
  static const std::filesystem::path path = [] {
    const std::filesystem::path p = std::filesystem::temp_directory_path() / "tarvex_bench_rain.csv";
    TextWriter out(p);
    std::string line = "time";
    for (int32_t k = 1; k <= GAUGES; ++k) line += ",gauge" + std::to_string(k);
    out.line(line);
    const int64_t start = day_seconds(2010, 1, 1);
    for (int32_t n = 0; n < RECORDS; ++n) {
      line = format_iso_time(start + int64_t{3600} * n);
      for (int32_t k = 0; k < GAUGES; ++k) {
        char v[16];
        // Mostly dry hours, some rain, a few missing values.
        const uint32_t h = static_cast<uint32_t>(n * 2654435761u + k * 40503u);
        if (h % 97 == 0) {
          std::snprintf(v, sizeof v, ",NA");
        } else {
          std::snprintf(v, sizeof v, ",%.2f", h % 7 == 0 ? static_cast<double>(h % 2000) / 100.0 : 0.0);
        }
        line += v;
      }
      out.line(line);
    }
    out.close();
    return p;
  }();
  return path;
}

void BM_ReadRainCsv(benchmark::State& state) {
  const std::filesystem::path& p = series_file();
  SeriesWindow w;
  w.start = day_seconds(2010, 1, 1);
  w.step = 3600;
  w.records = RECORDS;
  for (auto _ : state) {
    CsvSeries s = read_csv_series(p, w, 0.0f);
    benchmark::DoNotOptimize(s.values.data());
  }
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  state.counters["peak_rss_mb"] = static_cast<double>(u.ru_maxrss) / 1024.0;
  state.counters["file_mb"] = static_cast<double>(std::filesystem::file_size(p)) / 1.0e6;
}
BENCHMARK(BM_ReadRainCsv)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
