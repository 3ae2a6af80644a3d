#include "io/record_reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <new>

#include "io/file_identity.hpp"
#include "io/output_commit.hpp"
#include "io/quoted.hpp"

namespace tarvex {
namespace {

bool is_separator(char c) { return c == ' ' || c == ',' || c == '\t' || c == '\r'; }

std::string show(std::string_view token) {
  if (token.size() > 40) return escaped(token.substr(0, 40)) + "...";
  return escaped(token);
}

}  // namespace

int64_t count_items(std::string_view line) {
  int64_t n = 0;
  std::size_t i = 0;
  for (;;) {
    while (i < line.size() && is_separator(line[i])) ++i;
    if (i >= line.size()) return n;
    ++n;
    const char q = line[i];
    if (q == '\'' || q == '"') {
      const std::size_t end = line.find(q, i + 1);
      i = end == std::string_view::npos ? line.size() : end + 1;
    } else {
      while (i < line.size() && !is_separator(line[i])) ++i;
    }
  }
}

namespace {

std::string records(int32_t first, int32_t last) {
  return first == last ? "record " + std::to_string(first) + " holds "
                       : "records " + std::to_string(first) + " to " + std::to_string(last) + " hold ";
}

bool is_blank_text(std::string_view s) { return s.find_first_not_of(" \t\r\n,") == std::string_view::npos; }

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

void ListRead::ends(const char* kind) { rd_.ends(what_ + " (" + kind + ")"); }

std::string_view ListRead::next_token(const char* kind) {
  if (!started_) {
    started_ = true;
    if (!rd_.next_record()) ends(kind);
    first_record_ = rd_.rec_;
  }
  for (;;) {
    const std::string_view line = rd_.line();
    while (rd_.cursor_ < line.size() && is_separator(line[rd_.cursor_])) ++rd_.cursor_;
    if (rd_.cursor_ < line.size()) break;
    if (on_first_ < 0) on_first_ = taken_;
    if (!rd_.next_record()) ends(kind);
  }
  ++taken_;
  std::string_view line = rd_.line();
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

void ListRead::out_of_memory() {
  rd_.fail("record " + std::to_string(rd_.rec_) + ": out of memory reading " + what_);
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
  try {
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
  } catch (const std::bad_alloc&) {
    out_of_memory();
  }
}

double ListRead::f64() {
  try {
    std::string_view tok = next_token("a real number");
    double d = 0.0;
    if (!parse_real(tok, d)) bad_value(tok, "a real number");
    return d;
  } catch (const std::bad_alloc&) {
    out_of_memory();
  }
}

std::string ListRead::text() {
  try {
    std::string_view tok = next_token("a text");
    if (!tok.empty() && (tok[0] == '\'' || tok[0] == '"')) {
      tok.remove_prefix(1);
      if (!tok.empty() && (tok.back() == '\'' || tok.back() == '"')) tok.remove_suffix(1);
    }
    return std::string(tok);
  } catch (const std::bad_alloc&) {
    out_of_memory();
  }
}

int32_t ListRead::left_on_record() const {
  if (!started_) return 0;
  const std::string_view line = rd_.line();
  return static_cast<int32_t>(count_items(line.substr(std::min(rd_.cursor_, line.size()))));
}

bool ListRead::seek_value() {
  if (!started_) {
    started_ = true;
    if (!rd_.next_record()) return false;
  }
  for (;;) {
    const std::string_view line = rd_.line();
    while (rd_.cursor_ < line.size() && is_separator(line[rd_.cursor_])) ++rd_.cursor_;
    if (rd_.cursor_ < line.size()) return true;
    if (!rd_.next_record()) return false;
  }
}

void ListRead::finish() {
  if (!started_) {
    started_ = true;
    if (!rd_.next_record(false)) rd_.ends(what_);
    return;
  }
  if (taken_ == 0 || first_item_only_) return;
  const bool spanned = on_first_ >= 0;
  // Values after the last one taken; a record holding no more costs one scan of its blanks.
  const std::string_view line = rd_.line();
  std::size_t c = rd_.cursor_;
  while (c < line.size() && is_separator(line[c])) ++c;
  const int64_t left = c < line.size() ? count_items(line.substr(c)) : 0;
  if (spanned && rd_.short_record_.empty() && (rd_.last_read_fit_ || left > 0)) {
    rd_.short_record_ = records(first_record_, first_record_) + count_of(on_first_, "value", "values") + "; " +
                        what_ + " reads " + std::to_string(taken_);
  }
  rd_.last_read_fit_ = !spanned;
  if (left == 0 || !rd_.unread_.counts(rd_.rec_)) return;
  const bool refuse = unread_values() == UnreadValues::refuse;
  std::string words;
  if (refuse || rd_.unread_.first()) {
    words = records(first_record_, rd_.rec_) + count_of(taken_ + left, "value", "values") + "; " +
            what_ + " reads " + std::to_string(taken_);
    if (spanned) words += " (record " + std::to_string(first_record_) + " holds " + std::to_string(on_first_) + ")";
  }
  if (refuse) rd_.fail(words + "; values left unread are refused (--strict)");
  rd_.unread_.add(rd_.rec_, std::move(words));
}

// ------------------------------------------------------------ RecordReader

RecordReader::Fd& RecordReader::Fd::operator=(Fd&& o) noexcept {
  if (this != &o) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = o.fd_;
    o.fd_ = -1;
  }
  return *this;
}

RecordReader::Fd::~Fd() {
  if (fd_ >= 0) ::close(fd_);
}

RecordReader::RecordReader(const std::filesystem::path& path) {
  auto r = try_open(path);
  if (!r) {
    throw InputError("file " + quoted_name(path.string()) + " cannot be opened for reading");
  }
  *this = std::move(*r);
}

std::optional<RecordReader> RecordReader::try_open(const std::filesystem::path& path) {
  if (path.empty()) return std::nullopt;
  refuse_special_input(path);
  // Non-blocking, so that a pipe put in its place since cannot hang the
  // open; a regular file ignores the flag.
  const int fd = ::open(readable_path(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  RecordReader r;
  r.fd_ = Fd(fd);
  r.name_ = path.string();
  struct stat st {};
  if (::fstat(fd, &st) != 0) r.fail(std::string("cannot be examined: ") + std::strerror(errno));
  if (S_ISDIR(st.st_mode)) return std::nullopt;
  if (!S_ISREG(st.st_mode)) r.fail("not a regular file");
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags >= 0) ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
  r.size_ = static_cast<std::size_t>(st.st_size);
  return r;
}

RecordReader::~RecordReader() {
  if (std::uncaught_exceptions() > 0) return;  // the error ending the run says what matters
  try {
    report_unread();
  } catch (...) {
  }
}

void RecordReader::report_unread() {
  if (unread_.empty()) return;
  const std::string message = "file " + quoted_name(name_) + ": " + unread_.message();
  unread_.clear();
  warn(message);
}

void RecordReader::end_of_grid(std::string_view grid) {
  if (!rest_is_blank()) {
    const int32_t last = rec_;
    const int32_t after = count_records();
    const std::string words = (after == 1 ? "record " + std::to_string(rec_) + " follows"
                                          : "records " + std::to_string(last + 1) + " to " + std::to_string(rec_) +
                                                " follow") +
                              " record " + std::to_string(last) + ", the last of " + std::string(grid);
    if (unread_values() == UnreadValues::refuse) fail(words + "; records after a grid are refused (--strict)");
    unread_.add_after(words + "; " + count_of(after, "record is", "records are") + " ignored");
  }
  report_unread();
}

RecordReader RecordReader::from_text(std::string text, std::string name, std::size_t chunk) {
  RecordReader r;
  r.name_ = std::move(name);
  r.size_ = text.size();
  r.text_ = std::move(text);
  r.chunk_ = std::max<std::size_t>(chunk, 1);
  return r;
}

std::size_t RecordReader::read_source(char* dst, std::size_t n) {
  if (fd_.get() < 0) {
    const std::size_t k = std::min(n, text_.size() - std::min(taken_, text_.size()));
    std::memcpy(dst, text_.data() + taken_, k);
    return k;
  }
  for (;;) {
    const ssize_t k = ::read(fd_.get(), dst, n);
    if (k >= 0) return static_cast<std::size_t>(k);
    if (errno == EINTR) continue;
    fail("record " + std::to_string(rec_ + 1) + ": the file cannot be read: " + std::strerror(errno));
  }
}

bool RecordReader::fill() {
  if (eof_) return false;
  // Everything before the current record has been consumed.
  if (line_begin_ > 0) {
    buf_.erase(0, line_begin_);
    pos_ -= line_begin_;
    line_end_ -= line_begin_;
    line_begin_ = 0;
  }
  const std::size_t old = buf_.size();
  try {
    buf_.resize(old + chunk_);
  } catch (const std::bad_alloc&) {
    fail("record " + std::to_string(rec_ + 1) + ": out of memory after " + std::to_string(old) +
         " bytes of the record");
  }
  std::size_t k = 0;
  try {
    k = read_source(buf_.data() + old, chunk_);
  } catch (...) {
    buf_.resize(old);
    throw;
  }
  buf_.resize(old + k);
  taken_ += k;
  if (k > 0) return true;
  eof_ = true;
  if (taken_ < size_) {
    fail("the file ends after " + std::to_string(taken_) + " of its " + std::to_string(size_) +
         " bytes (it was cut while being read)");
  }
  return false;
}

bool RecordReader::next_record(bool keep) {
  line_begin_ = line_end_ = pos_;
  cursor_ = 0;
  if (pos_ >= buf_.size() && !fill()) return false;
  if (rec_ == std::numeric_limits<int32_t>::max()) too_many_records();
  std::size_t scanned = 0;  // bytes of the record after line_begin_ known to hold no line end
  for (;;) {
    const char* from = buf_.data() + line_begin_ + scanned;
    const std::size_t n = buf_.size() - line_begin_ - scanned;
    if (const void* nl = std::memchr(from, '\n', n)) {
      line_end_ = static_cast<std::size_t>(static_cast<const char*>(nl) - buf_.data());
      pos_ = line_end_ + 1;
      break;
    }
    if (keep) {
      scanned += n;
    } else {
      line_begin_ = pos_ = buf_.size();  // a skipped record is not held
      scanned = 0;
    }
    if (!fill()) {
      line_end_ = pos_ = buf_.size();
      break;
    }
  }
  if (!keep) line_begin_ = line_end_;
  if (line_end_ > line_begin_ && buf_[line_end_ - 1] == '\r') --line_end_;
  ++rec_;
  return true;
}

bool RecordReader::at_end() { return pos_ >= buf_.size() && !fill(); }

std::string_view RecordReader::peek() {
  std::size_t scanned = 0;  // bytes after pos_ known to hold no line end
  std::size_t end = 0;
  for (;;) {
    const std::size_t n = buf_.size() - pos_ - scanned;
    if (const void* nl = std::memchr(buf_.data() + pos_ + scanned, '\n', n)) {
      end = static_cast<std::size_t>(static_cast<const char*>(nl) - buf_.data());
      break;
    }
    scanned += n;
    if (!fill()) {
      end = buf_.size();
      break;
    }
  }
  std::string_view rec(buf_.data() + pos_, end - pos_);
  if (!rec.empty() && rec.back() == '\r') rec.remove_suffix(1);
  return rec;
}

bool RecordReader::rest_is_blank() {
  if (!is_blank_text(std::string_view(buf_).substr(pos_))) return false;
  if (eof_) return true;
  if (fd_.get() < 0) return is_blank_text(std::string_view(text_).substr(taken_));
  // Reads ahead only while the text is blank, then returns to where it was.
  const off_t here = ::lseek(fd_.get(), 0, SEEK_CUR);
  if (here < 0) fail(std::string("cannot be read ahead: ") + std::strerror(errno));
  bool blank = true;
  try {
    std::string ahead(chunk_, '\0');
    std::size_t seen = static_cast<std::size_t>(here);
    for (;;) {
      const std::size_t k = read_source(ahead.data(), ahead.size());
      if (k == 0) {
        if (seen < size_) {
          fail("the file ends after " + std::to_string(seen) + " of its " + std::to_string(size_) +
               " bytes (it was cut while being read)");
        }
        break;
      }
      seen += k;
      if (!is_blank_text(std::string_view(ahead).substr(0, k))) {
        blank = false;
        break;
      }
    }
  } catch (const std::bad_alloc&) {
    fail("out of memory reading ahead");
  }
  if (::lseek(fd_.get(), here, SEEK_SET) != here) fail(std::string("cannot be read again: ") + std::strerror(errno));
  return blank;
}

void RecordReader::skip(int32_t n, std::string_view what) {
  for (int32_t k = 0; k < n; ++k) {
    if (!next_record(false)) ends(what);
  }
}

void RecordReader::ends(std::string_view expected) const {
  std::string m = "the file ends after record " + std::to_string(rec_) + "; expected " + std::string(expected);
  if (!short_record_.empty()) m += "; " + short_record_;
  fail(m);
}

void RecordReader::rewind() {
  if (fd_.get() >= 0 && ::lseek(fd_.get(), 0, SEEK_SET) != 0) {
    fail(std::string("cannot be read again: ") + std::strerror(errno));
  }
  buf_.clear();
  taken_ = 0;
  eof_ = false;
  pos_ = line_begin_ = line_end_ = cursor_ = 0;
  rec_ = 0;
}

int32_t RecordReader::count_records() {
  // Counts line ends chunk by chunk; a last record without one counts too.
  const int32_t first = rec_;
  int64_t total = rec_;
  bool open_record = false;
  line_begin_ = line_end_ = pos_;
  cursor_ = 0;
  while (pos_ < buf_.size() || fill()) {
    const std::string_view rest = std::string_view(buf_).substr(pos_);
    total += std::count(rest.begin(), rest.end(), '\n');
    open_record = rest.back() != '\n';
    if (total + (open_record ? 1 : 0) > std::numeric_limits<int32_t>::max()) too_many_records();
    pos_ = line_begin_ = line_end_ = buf_.size();
  }
  rec_ = static_cast<int32_t>(total + (open_record ? 1 : 0));
  return rec_ - first;
}

void RecordReader::too_many_records() const {
  fail("more than " + std::to_string(std::numeric_limits<int32_t>::max()) +
       " records; the record count cannot be held");
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
  if (!next_record()) ends(what);
  std::string s(line().substr(0, 30));
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
  return s;
}

std::string RecordReader::name_item(std::string_view what) {
  ListRead r(*this, what);
  r.first_item_only_ = true;  // words after a file name describe it
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
    r.first_item_only_ = true;
    std::string item = r.text();
    r.finish();
    item.resize(3, ' ');
    if (item == marker) return;
  }
}

void RecordReader::fail(std::string_view message) const {
  throw InputError("file " + quoted_name(name_) + ": " + std::string(message));
}

}  // namespace tarvex
