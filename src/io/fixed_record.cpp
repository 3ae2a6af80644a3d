#include "io/fixed_record.hpp"

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "io/input_error.hpp"

namespace tarvex {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::string columns(int first, int width) {
  return "columns " + std::to_string(first) + "-" + std::to_string(first + width - 1);
}

}  // namespace

bool parse_fixed_int(std::string_view s, int32_t& out) {
  if (s.empty()) {
    out = 0;
    return true;
  }
  bool neg = false;
  std::size_t i = 0;
  if (s[0] == '+' || s[0] == '-') {
    neg = s[0] == '-';
    ++i;
  }
  if (i == s.size()) return false;
  int64_t v = 0;
  for (; i < s.size(); ++i) {
    if (!is_digit(s[i])) return false;
    v = v * 10 + (s[i] - '0');
    if (v > int64_t{std::numeric_limits<int32_t>::max()} + 1) return false;
  }
  if (neg) v = -v;
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max()) return false;
  out = static_cast<int32_t>(v);
  return true;
}

// [sign] digits [. digits] [exponent], the exponent being E or D with an
// optional sign, or a sign alone, followed by digits. Without a decimal
// point the last `implied` digits are the fraction.
bool parse_fixed_real(std::string_view s, int implied, double& out) {
  if (s.empty()) {
    out = 0.0;
    return true;
  }
  std::size_t i = 0;
  bool neg = false;
  if (s[i] == '+' || s[i] == '-') {
    neg = s[i] == '-';
    ++i;
  }
  std::string mantissa;
  int frac = 0;
  bool point = false;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (is_digit(c)) {
      mantissa.push_back(c);
      if (point) ++frac;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (mantissa.empty()) return false;
  int64_t exponent = 0;
  if (i < s.size()) {
    char c = s[i];
    if (c == 'e' || c == 'E' || c == 'd' || c == 'D') {
      ++i;
    } else if (c != '+' && c != '-') {
      return false;
    }
    bool eneg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
      eneg = s[i] == '-';
      ++i;
    }
    if (i == s.size()) return false;
    for (; i < s.size(); ++i) {
      if (!is_digit(s[i])) return false;
      if (exponent < 100000) exponent = exponent * 10 + (s[i] - '0');
    }
    if (eneg) exponent = -exponent;
  }
  if (!point) frac = implied;
  const std::string text = mantissa + "e" + std::to_string(exponent - frac);
  double v = 0.0;
  auto res = std::from_chars(text.data(), text.data() + text.size(), v);
  if (res.ec == std::errc::result_out_of_range) {
    // A value too small for a double reads as 0; one too large is refused.
    if (mantissa.find_first_not_of('0') != std::string::npos && exponent - frac > 0) return false;
    v = 0.0;
  } else if (res.ec != std::errc() || res.ptr != text.data() + text.size()) {
    return false;
  }
  out = neg ? -v : v;
  return true;
}

FixedRecord::FixedRecord(RecordReader& file, std::string_view what)
    : text_(file.name30(what)), file_(file.name()), record_(file.record()) {}

FixedRecord::FixedRecord(std::string text, std::string file, int32_t record)
    : text_(std::move(text)), file_(std::move(file)), record_(record) {}

std::string FixedRecord::field(int first, int width) const {
  std::string out;
  const std::size_t begin = static_cast<std::size_t>(first - 1);
  for (std::size_t k = begin; k < begin + static_cast<std::size_t>(width) && k < text_.size(); ++k) {
    if (text_[k] != ' ') out.push_back(text_[k]);
  }
  return out;
}

void FixedRecord::bad(int first, int width, std::string_view what, const char* kind) const {
  const std::size_t begin = static_cast<std::size_t>(first - 1);
  std::string raw = begin < text_.size() ? text_.substr(begin, static_cast<std::size_t>(width)) : "";
  throw InputError("file '" + file_ + "': record " + std::to_string(record_) + ", " + columns(first, width) +
                   ": expected " + std::string(what) + " (" + kind + "), found '" + raw + "'");
}

int32_t FixedRecord::int_field(int first, int width, std::string_view what) const {
  const std::string s = field(first, width);
  int32_t v = 0;
  if (!parse_fixed_int(s, v)) bad(first, width, what, "an integer");
  return v;
}

double FixedRecord::real_field(int first, int width, int implied, std::string_view what) const {
  const std::string s = field(first, width);
  double v = 0.0;
  if (!parse_fixed_real(s, implied, v)) bad(first, width, what, "a real number");
  return v;
}

}  // namespace tarvex
