#include "io/record_reader.hpp"

#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

namespace tarvex {
namespace {

bool is_separator(char c) { return c == ' ' || c == ',' || c == '\t' || c == '\r'; }

std::string show(std::string_view token) {
  if (token.size() > 40) return std::string(token.substr(0, 40)) + "...";
  return std::string(token);
}

// Fortran-style real: [sign] digits [. digits] [(e|E|d|D) [sign] digits].
bool parse_real(std::string_view tok, double& out) {
  std::string s;
  s.reserve(tok.size());
  std::size_t i = 0;
  if (i < tok.size() && (tok[i] == '+' || tok[i] == '-')) {
    if (tok[i] == '-') s.push_back('-');
    ++i;
  }
  std::size_t digits = 0;
  while (i < tok.size() && tok[i] >= '0' && tok[i] <= '9') s.push_back(tok[i++]), ++digits;
  if (i < tok.size() && tok[i] == '.') {
    s.push_back(tok[i++]);
    while (i < tok.size() && tok[i] >= '0' && tok[i] <= '9') s.push_back(tok[i++]), ++digits;
  }
  if (digits == 0) return false;
  if (i < tok.size()) {
    char e = tok[i];
    if (e != 'e' && e != 'E' && e != 'd' && e != 'D') return false;
    s.push_back('e');
    ++i;
    if (i < tok.size() && (tok[i] == '+' || tok[i] == '-')) s.push_back(tok[i++]);
    std::size_t ed = 0;
    while (i < tok.size() && tok[i] >= '0' && tok[i] <= '9') s.push_back(tok[i++]), ++ed;
    if (ed == 0 || i != tok.size()) return false;
  }
  auto res = std::from_chars(s.data(), s.data() + s.size(), out);
  return res.ec == std::errc() && res.ptr == s.data() + s.size();
}

}  // namespace

// ---------------------------------------------------------------- ListRead

ListRead::ListRead(RecordReader& reader, std::string_view what) : rd_(reader), what_(what) {}

std::string_view ListRead::next_token(const char* kind) {
  if (!started_) {
    started_ = true;
    if (!rd_.next_record()) {
      rd_.fail("the file ends after record " + std::to_string(rd_.rec_) + "; expected " + what_ +
               " (" + kind + ")");
    }
  }
  for (;;) {
    while (rd_.cursor_ < rd_.line_.size() && is_separator(rd_.line_[rd_.cursor_])) ++rd_.cursor_;
    if (rd_.cursor_ < rd_.line_.size()) break;
    if (!rd_.next_record()) {
      rd_.fail("the file ends after record " + std::to_string(rd_.rec_) + "; expected " + what_ +
               " (" + kind + ")");
    }
  }
  std::string_view line = rd_.line_;
  std::size_t start = rd_.cursor_;
  char q = line[start];
  if (q == '\'' || q == '"') {
    std::size_t end = line.find(q, start + 1);
    if (end == std::string_view::npos) end = line.size();
    rd_.cursor_ = end < line.size() ? end + 1 : end;
    return line.substr(start, rd_.cursor_ - start);
  }
  std::size_t end = start;
  while (end < line.size() && !is_separator(line[end])) ++end;
  rd_.cursor_ = end;
  return line.substr(start, end - start);
}

void ListRead::bad_value(std::string_view token, const char* kind) {
  rd_.fail("record " + std::to_string(rd_.rec_) + ": expected " + what_ + " (" + kind +
           "), found '" + show(token) + "'");
}

int32_t ListRead::i32() {
  std::string_view tok = next_token("an integer");
  std::string_view digits = tok;
  if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
  int64_t v = 0;
  auto res = std::from_chars(digits.data(), digits.data() + digits.size(), v);
  if (res.ec != std::errc() || res.ptr != digits.data() + digits.size() || digits.empty() ||
      digits[0] == '+' || v < std::numeric_limits<int32_t>::min() ||
      v > std::numeric_limits<int32_t>::max()) {
    bad_value(tok, "an integer");
  }
  return static_cast<int32_t>(v);
}

float ListRead::f32() {
  std::string_view tok = next_token("a real number");
  double d = 0.0;
  if (!parse_real(tok, d)) bad_value(tok, "a real number");
  // Decimal text straight to the nearest 4-byte real (no double rounding).
  std::string s;
  for (char c : tok) s.push_back((c == 'd' || c == 'D') ? 'e' : c);
  const char* b = s.data();
  if (*b == '+') ++b;
  float f = 0.0f;
  auto res = std::from_chars(b, s.data() + s.size(), f);
  if (res.ec != std::errc()) {
    if (d != 0.0 && std::abs(d) < 1.0) return d < 0 ? -0.0f : 0.0f;  // underflow reads as 0
    bad_value(tok, "a real number within the range of 4-byte reals");
  }
  return f;
}

double ListRead::f64() {
  std::string_view tok = next_token("a real number");
  double d = 0.0;
  if (!parse_real(tok, d)) bad_value(tok, "a real number");
  return d;
}

std::string ListRead::text() {
  std::string_view tok = next_token("a text");
  if (!tok.empty() && (tok[0] == '\'' || tok[0] == '"')) {
    tok.remove_prefix(1);
    if (!tok.empty() && (tok.back() == '\'' || tok.back() == '"')) tok.remove_suffix(1);
  }
  return std::string(tok);
}

void ListRead::finish() {
  if (!started_) {
    started_ = true;
    if (!rd_.next_record()) {
      rd_.fail("the file ends after record " + std::to_string(rd_.rec_) + "; expected " + what_);
    }
  }
}

// ------------------------------------------------------------ RecordReader

RecordReader::RecordReader(const std::filesystem::path& path) {
  auto r = try_open(path);
  if (!r) {
    throw InputError("file '" + path.string() + "' cannot be opened for reading");
  }
  *this = std::move(*r);
}

std::optional<RecordReader> RecordReader::try_open(const std::filesystem::path& path) {
  std::error_code ec;
  if (path.empty() || std::filesystem::is_directory(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream ss;
  ss << in.rdbuf();
  RecordReader r;
  r.name_ = path.string();
  r.data_ = std::move(ss).str();
  return r;
}

RecordReader RecordReader::from_text(std::string text, std::string name) {
  RecordReader r;
  r.name_ = std::move(name);
  r.data_ = std::move(text);
  return r;
}

bool RecordReader::next_record() {
  if (pos_ >= data_.size()) return false;
  std::size_t end = data_.find('\n', pos_);
  std::size_t stop = end == std::string::npos ? data_.size() : end;
  line_ = std::string_view(data_).substr(pos_, stop - pos_);
  if (!line_.empty() && line_.back() == '\r') line_.remove_suffix(1);
  pos_ = end == std::string::npos ? data_.size() : end + 1;
  cursor_ = 0;
  ++rec_;
  return true;
}

std::string_view RecordReader::peek() const {
  if (pos_ >= data_.size()) return {};
  std::size_t end = data_.find('\n', pos_);
  std::string_view rec = std::string_view(data_).substr(pos_, (end == std::string::npos ? data_.size() : end) - pos_);
  if (!rec.empty() && rec.back() == '\r') rec.remove_suffix(1);
  return rec;
}

void RecordReader::skip(int32_t n, std::string_view what) {
  for (int32_t k = 0; k < n; ++k) {
    if (!next_record()) {
      fail("the file ends after record " + std::to_string(rec_) + "; expected " + std::string(what));
    }
  }
}

void RecordReader::rewind() {
  pos_ = 0;
  rec_ = 0;
  line_ = {};
  cursor_ = 0;
}

int32_t RecordReader::count_records() {
  int32_t n = 0;
  while (next_record()) ++n;
  return n;
}

void RecordReader::row(float* dst, int32_t n, std::string_view what) {
  ListRead r(*this, what);
  for (int32_t k = 0; k < n; ++k) dst[k] = r.f32();
  r.finish();
}

void RecordReader::row(int32_t* dst, int32_t n, std::string_view what) {
  ListRead r(*this, what);
  for (int32_t k = 0; k < n; ++k) dst[k] = r.i32();
  r.finish();
}

std::string RecordReader::name30(std::string_view what) {
  if (!next_record()) {
    fail("the file ends after record " + std::to_string(rec_) + "; expected " + std::string(what));
  }
  std::string s(line_.substr(0, 30));
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

std::string RecordReader::name_item(std::string_view what) {
  ListRead r(*this, what);
  std::string s = r.text();
  r.finish();
  if (s.size() > 30) s.resize(30);
  return s;
}

void RecordReader::find_marker(std::string_view marker) {
  const std::string what = "the marker record \"" + std::string(marker) + "\"";
  for (;;) {
    if (at_end()) {
      fail("no marker record \"" + std::string(marker) + "\" up to the end of the file (record " +
           std::to_string(rec_) + ")");
    }
    ListRead r(*this, what);
    std::string item = r.text();
    r.finish();
    item.resize(3, ' ');
    if (item == marker) return;
  }
}

void RecordReader::fail(std::string_view message) const {
  throw InputError("file '" + name_ + "': " + std::string(message));
}

}  // namespace tarvex
