#pragma once
// Formatted (fixed-column) input of the search settings. Each field is
// taken from its own columns; blanks inside a numeric field are ignored, an
// all-blank field reads as 0, and columns past the end of a short record
// read as blanks. A field holding anything but a number is refused with an
// InputError naming the file, the record and the columns.
#include <cstdint>
#include <string>
#include <string_view>

#include "io/record_reader.hpp"

namespace tarvex {

class FixedRecord {
 public:
  // Reads the next record of file; fields may lie in columns 1 to 30.
  FixedRecord(RecordReader& file, std::string_view what);
  // Builds a record from its text (tests).
  FixedRecord(std::string text, std::string file, int32_t record);

  static constexpr int kColumns = 30;

  // Integer in columns first .. first + width - 1.
  int32_t int_field(int first, int width, std::string_view what) const;
  // Real in the given columns; a value written without a decimal point has
  // `implied` decimals (the last `implied` digits are the fraction).
  double real_field(int first, int width, int implied, std::string_view what) const;

  int32_t record() const { return record_; }

 private:
  std::string field(int first, int width) const;
  [[noreturn]] void bad(int first, int width, std::string_view what, const char* kind) const;

  std::string text_;
  std::string file_;
  int32_t record_ = 0;
};

// Parsers of one field's text with its blanks already removed; false when
// the text is not a number of that kind. Exposed for tests.
bool parse_fixed_int(std::string_view s, int32_t& out);
bool parse_fixed_real(std::string_view s, int implied, double& out);

}  // namespace tarvex
