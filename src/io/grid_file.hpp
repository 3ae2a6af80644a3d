#pragma once
// The one reader and the one writer of grid files. A grid file holds NI rows
// (row I starts on a new record) of NJ values. Every grid the program reads
// or writes goes through these, and the file name chooses the format here.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "io/record_reader.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

class GridReader {
 public:
  // Opens a grid file; throws InputError when it cannot.
  explicit GridReader(const std::filesystem::path& path);
  // Nothing when the file cannot be opened.
  static std::optional<GridReader> try_open(const std::filesystem::path& path);
  // A text-layout grid held in memory (tests, fuzzing).
  static GridReader from_text(std::string text, std::string name) {
    return GridReader(RecordReader::from_text(std::move(text), std::move(name)));
  }

  // Reads the next row of n values into dst[0..n-1].
  void row(float* dst, int32_t n, std::string_view what) { text_.row(dst, n, what); }
  void row(int32_t* dst, int32_t n, std::string_view what) { text_.row(dst, n, what); }
  // Reads ni rows of nj values into dst, row after row; each row is named
  // "row I of <what>" in messages.
  template <class T>
  void rows(T* dst, int32_t ni, int32_t nj, std::string_view what) {
    for (int32_t i = 1; i <= ni; ++i) {
      row(dst + static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(nj), nj,
          "row " + std::to_string(i) + " of " + std::string(what));
    }
  }

  const std::string& name() const { return text_.name(); }
  // Last record read.
  int32_t record() const { return text_.record(); }
  [[noreturn]] void fail(std::string_view message) const { text_.fail(message); }

 private:
  explicit GridReader(RecordReader text) : text_(std::move(text)) {}
  RecordReader text_;
};

// Layout of the values of a grid file: a fixed-point field (width, decimals)
// or an integer field (width), blanks after each field, values per line.
struct GridLayout {
  bool integer = false;
  int width = 0;
  int decimals = 0;
  int trailing_blanks = 0;
  int32_t per_line = 0;
};

// Terrain grids, 945 values per line.
inline constexpr GridLayout kElevationGrid{false, 10, 1, 0, 945};  // m
inline constexpr GridLayout kDirectionGrid{true, 2, 0, 0, 945};    // D8 codes
inline constexpr GridLayout kAreaGrid{true, 7, 0, 1, 945};         // cells
inline constexpr GridLayout kOrderGrid{true, 2, 0, 1, 945};        // Strahler orders
// Result grids of single runs, 1000 values per line.
inline constexpr GridLayout kRainDepthGrid{false, 12, 2, 0, 1000};  // mm
inline constexpr GridLayout kStationGrid{true, 3, 0, 0, 1000};      // station numbers
inline constexpr GridLayout kSlopeGrid{false, 8, 4, 1, 1000};       // m/m

class GridWriter {
 public:
  GridWriter(const std::filesystem::path& path, const GridLayout& layout);

  // Writes one row of n values.
  void row(const float* values, int32_t n);
  void row(const int32_t* values, int32_t n);
  template <class T>
  void rows(const T* values, int32_t ni, int32_t nj) {
    for (int32_t i = 1; i <= ni; ++i) row(values + static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(nj), nj);
  }
  void close() { out_.close(); }
  const std::string& name() const { return out_.name(); }

 private:
  template <class T>
  void put_row(const T* values, int32_t n);
  TextWriter out_;
  GridLayout layout_;
};

}  // namespace tarvex
