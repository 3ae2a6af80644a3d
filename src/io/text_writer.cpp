#include "io/text_writer.hpp"

#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>

#include "io/input_error.hpp"
#include "io/output_commit.hpp"
#include "io/output_sink.hpp"

namespace tarvex {

void put_int(std::string& out, int64_t v, int w) {
  char buf[32];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  int len = static_cast<int>(res.ptr - buf);
  if (len > w) {
    put_chars(out, '*', w);
    return;
  }
  put_blanks(out, w - len);
  out.append(buf, static_cast<std::size_t>(len));
}

std::to_chars_result fixed_chars(char* first, char* last, double v, int d) {
  // v = m 2^e exactly (a 4-byte real), so v 10^d = m 10^d 2^e; m 10^d < 2^54
  // fits 64 bits, and the shift rounds to nearest with ties to even, as the
  // exact decimal expansion printf and to_chars round.
  const float f = static_cast<float>(v);
  if (d < 0 || d > 9 || static_cast<double>(f) != v || !(std::fabs(v) < 2147483648.0) || last - first < 32) {
    return std::to_chars(first, last, v, std::chars_format::fixed, d);
  }
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  const bool negative = (bits >> 31) != 0;
  const int32_t biased = static_cast<int32_t>((bits >> 23) & 0xffu);
  uint64_t m = bits & 0x7fffffu;
  int32_t e = biased - 150;
  if (biased == 0) {
    e = -149;  // subnormal
  } else {
    m |= 0x800000u;
  }
  static constexpr uint64_t kPow10[10] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
  const uint64_t p = m * kPow10[d];
  uint64_t q;
  if (e >= 0) {
    q = p << e;  // |v| < 2^31: e <= 7, p << e < 2^62
  } else if (-e >= 64) {
    q = 0;  // below half a unit of the last decimal
  } else {
    const int s = -e;
    q = p >> s;
    const uint64_t r = p & ((uint64_t{1} << s) - 1), half = uint64_t{1} << (s - 1);
    if (r > half || (r == half && (q & 1u) != 0)) ++q;
  }
  char* o = first;
  if (negative) *o++ = '-';
  const uint64_t whole = q / kPow10[d], frac = q % kPow10[d];
  o = std::to_chars(o, last, whole).ptr;
  if (d > 0) {
    *o++ = '.';
    for (int k = d - 1; k >= 0; --k) *o++ = static_cast<char>('0' + frac / kPow10[k] % 10);
  }
  return {o, std::errc{}};
}

void put_fixed(std::string& out, double v, int w, int d) {
  if (!std::isfinite(v)) {
    put_chars(out, '*', w);
    return;
  }
  // to_chars with a precision prints as "%.*f" does, without the locale
  // and format parsing of printf.
  char buf[512];
  const auto res = fixed_chars(buf, buf + sizeof buf, v, d);
  if (res.ec != std::errc{}) {
    put_chars(out, '*', w);
    return;
  }
  int len = static_cast<int>(res.ptr - buf);
  const char* p = buf;
  if (len > w) {
    // "0.5" may be written ".5", "-0.5" as "-.5" when the field is narrow.
    if (len == w + 1 && buf[0] == '0' && buf[1] == '.') {
      ++p;
      --len;
    } else if (len == w + 1 && buf[0] == '-' && buf[1] == '0' && buf[2] == '.') {
      std::memmove(buf + 1, buf + 2, static_cast<std::size_t>(len - 1));
      --len;
    }
  }
  if (len > w) {
    put_chars(out, '*', w);
    return;
  }
  put_blanks(out, w - len);
  out.append(p, static_cast<std::size_t>(len));
}

std::string shortest(float v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

std::string shortest(double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, res.ptr);
}

void ListLine::gap() {
  if (!s_.empty() && s_.back() != ' ') s_.push_back(' ');
}

ListLine& ListLine::text(std::string_view t) {
  if (last_num_ && !t.empty() && t.front() != ' ') s_.push_back(' ');
  s_.append(t);
  last_num_ = false;
  return *this;
}

ListLine& ListLine::num(int32_t v) {
  gap();
  s_ += std::to_string(v);
  last_num_ = true;
  return *this;
}

ListLine& ListLine::num(float v) {
  gap();
  s_ += shortest(v);
  last_num_ = true;
  return *this;
}

ListLine& ListLine::num(double v) {
  gap();
  s_ += shortest(v);
  last_num_ = true;
  return *this;
}

TextWriter::TextWriter(const std::filesystem::path& path, Mode mode)
    : name_(path.string()), unwinding_(std::uncaught_exceptions()) {
  if (outputs_discarded()) {
    f_ = std::fopen("/dev/null", "wb");
  } else if (mode == Mode::append) {
    f_ = std::fopen(name_.c_str(), "ab");
  } else {
    temp_ = begin_output(path);
    f_ = std::fopen(temp_.c_str(), "wb");
    if (!f_) abandon_output(name_, temp_);
  }
  if (!f_) throw InputError("file '" + name_ + "' cannot be created or written");
}

TextWriter::~TextWriter() {
  if (!f_) return;
  if (std::uncaught_exceptions() > unwinding_) {
    std::fclose(f_);
    if (!temp_.empty()) abandon_output(name_, temp_);
    return;
  }
  // A destructor must not throw: an error closing here has no one to tell.
  try {
    close();
  } catch (...) {
  }
}

void TextWriter::fail() const { throw InputError("file '" + name_ + "': write failed"); }

void TextWriter::line(std::string_view text) {
  if (!f_) fail();
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), f_) != text.size()) fail();
  if (std::fputc('\n', f_) == EOF) fail();
}

void TextWriter::raw(std::string_view text) {
  if (!f_) fail();
  if (!text.empty() && std::fwrite(text.data(), 1, text.size(), f_) != text.size()) fail();
}

void TextWriter::close() {
  if (!f_) return;
  int rc = std::fclose(f_);
  f_ = nullptr;
  if (temp_.empty()) {
    if (rc != 0) fail();
    return;
  }
  if (rc != 0) {
    abandon_output(name_, temp_);
    fail();
  }
  end_output(name_, temp_);
}

void print_line(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
}

}  // namespace tarvex
