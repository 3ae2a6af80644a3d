#pragma once
// Output side of the file layer: fixed-width fields (right-aligned, a field
// of asterisks when the value does not fit), grid rows that continue on the
// next line after a set number of values, and free-format (list-directed)
// records.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <charconv>

namespace tarvex {

// Integer right-aligned in w columns.
void put_int(std::string& out, int64_t v, int w);
// Fixed-point value with d decimals right-aligned in w columns. A leading
// zero before the decimal point is dropped only when the field needs it.
void put_fixed(std::string& out, double v, int w, int d);
// std::to_chars(first, last, v, std::chars_format::fixed, d), the same
// characters, with a short exact path for the values the grids and tables
// print: 4-byte reals below 2^31 in magnitude with d from 0 to 9.
std::to_chars_result fixed_chars(char* first, char* last, double v, int d);
inline void put_blanks(std::string& out, int n) { out.append(static_cast<std::size_t>(n), ' '); }
inline void put_chars(std::string& out, char c, int n) { out.append(static_cast<std::size_t>(n), c); }

// Shortest text that reads back to the same value.
std::string shortest(float v);
std::string shortest(double v);

// A free-format record: one leading blank, items in order; numbers are kept
// apart from their neighbours by a blank, texts stand as they are.
class ListLine {
 public:
  ListLine() : s_(" ") {}
  ListLine& text(std::string_view t);
  ListLine& num(int32_t v);
  ListLine& num(float v);
  ListLine& num(double v);
  const std::string& str() const { return s_; }

 private:
  void gap();
  std::string s_;
  bool last_num_ = false;
};

// A text file opened for writing (created or replaced, or appended to). A
// replaced file is written beside its name and put in place by close()
// (see output_commit.hpp). A writer left unclosed is closed by its
// destructor, unless an exception unwinds it: a failure leaves nothing.
class TextWriter {
 public:
  enum class Mode { replace, append };
  explicit TextWriter(const std::filesystem::path& path, Mode mode = Mode::replace);
  ~TextWriter();
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  // Writes text followed by a line end.
  void line(std::string_view text);
  // Writes raw text.
  void raw(std::string_view text);
  void close();
  const std::string& name() const { return name_; }

 private:
  [[noreturn]] void fail() const;
  std::FILE* f_ = nullptr;
  std::string name_;
  std::filesystem::path temp_;  // where a replaced file is written
  int unwinding_ = 0;           // exceptions in flight when opened
};

// Writes one grid row of n values: put(buf, k) appends the field of value
// k (0-based). A line holds at most per_line values; the row continues on
// the next line.
template <class Put>
void write_grid_row(TextWriter& w, int32_t n, int32_t per_line, Put&& put) {
  std::string buf;
  for (int32_t k = 0; k < n; ++k) {
    put(buf, k);
    if ((k + 1) % per_line == 0 || k + 1 == n) {
      w.line(buf);
      buf.clear();
    }
  }
  if (n <= 0) w.line("");
}

// Console line in free format (standard output).
void print_line(std::string_view text);

}  // namespace tarvex
