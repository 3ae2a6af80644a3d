#include "io/csv_series.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <map>

#include "io/file_identity.hpp"
#include "io/input_error.hpp"
#include "io/output_commit.hpp"
#include "io/quoted.hpp"

namespace tarvex {
namespace {

constexpr float kMissing = std::numeric_limits<float>::quiet_NaN();

std::string lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  if (s.size() >= 2 && s.front() == '"' && s.back() == '"') s = s.substr(1, s.size() - 2);
  return s;
}

// The lines of a CSV file, blank lines skipped, line ends and a leading
// byte-order mark dropped.
class CsvLines {
 public:
  explicit CsvLines(const std::filesystem::path& path) : name_(path.string()) {
    refuse_special_input(path);
    std::ifstream in(readable_path(path), std::ios::binary);
    if (!in) throw InputError("file " + quoted_name(name_) + " cannot be opened for reading");
    // One read of the whole file (a series of ten hourly years is some 10 MB).
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0 || !in) throw InputError("file " + quoted_name(name_) + " cannot be read");
    text_.resize(static_cast<std::size_t>(size));
    in.read(text_.data(), size);
    if (in.gcount() != size) throw InputError("file " + quoted_name(name_) + " cannot be read");
    if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) pos_ = 3;
  }

  // Next non-blank line split at commas; false at the end of the file.
  bool next(std::vector<std::string_view>& fields) {
    while (pos_ < text_.size()) {
      const std::size_t end = std::min(text_.find('\n', pos_), text_.size());
      std::string_view line(text_.data() + pos_, end - pos_);
      pos_ = end + 1;
      ++line_;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (line.find_first_not_of(" \t") == std::string_view::npos) continue;
      fields.clear();
      std::size_t start = 0;
      while (true) {
        const std::size_t comma = line.find(',', start);
        fields.push_back(trim(line.substr(start, comma == std::string_view::npos ? std::string_view::npos
                                                                                 : comma - start)));
        if (comma == std::string_view::npos) break;
        start = comma + 1;
      }
      return true;
    }
    return false;
  }

  int32_t line() const { return line_; }
  const std::string& name() const { return name_; }
  [[noreturn]] void fail(std::string_view message) const {
    throw InputError("file " + quoted_name(name_) + ": line " + std::to_string(line_) + ": " + std::string(message));
  }

 private:
  std::string name_;
  std::string text_;
  std::size_t pos_ = 0;
  int32_t line_ = 0;
};

bool is_missing_word(std::string_view s) {
  if (s.empty()) return true;
  if (s.size() != 2 && s.size() != 3) return false;
  auto is = [&](std::size_t i, char c) { return (s[i] | 0x20) == c; };
  return is(0, 'n') && is(1, 'a') && (s.size() == 2 || is(2, 'n'));
}

// A finite real; false when the field is not one.
bool parse_real(std::string_view s, double& v) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  return ec == std::errc() && p == s.data() + s.size() && std::isfinite(v);
}

// Decimal text straight to the nearest 4-byte real, as the text layouts
// read it (no rounding through a double; an underflow reads as 0).
bool parse_float(std::string_view s, float& v) {
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty()) return false;
  // Plain decimals of up to 7 digits: the digits and the power of ten are
  // exact 4-byte reals, so their one division rounds as the parse would.
  {
    static constexpr float kTen[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f};
    std::size_t i = s.front() == '-' ? 1 : 0;
    int32_t m = 0, digits = 0, decimals = -1;
    for (; i < s.size() && digits <= 7; ++i) {
      const char c = s[i];
      if (c >= '0' && c <= '9') {
        m = m * 10 + (c - '0');
        ++digits;
        if (decimals >= 0) ++decimals;
      } else if (c == '.' && decimals < 0) {
        decimals = 0;
      } else {
        break;
      }
    }
    if (i == s.size() && digits >= 1 && digits <= 7) {
      const float q = static_cast<float>(m) / kTen[decimals < 0 ? 0 : decimals];
      v = s.front() == '-' ? -q : q;
      return true;
    }
  }
  const auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (p != s.data() + s.size()) return false;
  if (ec == std::errc::result_out_of_range) {
    double d = 0.0;
    if (!parse_real(s, d) || !(std::fabs(d) < 1.0)) return false;
    v = d < 0.0 ? -0.0f : 0.0f;
    return true;
  }
  return ec == std::errc() && std::isfinite(v);
}

bool parse_digits(std::string_view s, std::size_t at, std::size_t n, int32_t& v) {
  if (at + n > s.size()) return false;
  v = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    v = v * 10 + (s[i] - '0');
  }
  return true;
}

std::string step_text(int64_t seconds) {
  if (seconds % 3600 == 0) return std::to_string(seconds / 3600) + " h";
  if (seconds % 60 == 0) return std::to_string(seconds / 60) + " min";
  return std::to_string(seconds) + " s";
}

}  // namespace

bool is_csv_name(const std::filesystem::path& path) { return lower(path.extension().string()) == ".csv"; }

bool valid_date(int32_t year, int32_t month, int32_t day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

int64_t day_seconds(int32_t year, int32_t month, int32_t day) {
  // Days from the civil date (H. Hinnant's algorithm).
  const int64_t y = static_cast<int64_t>(year) - (month <= 2 ? 1 : 0);
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t mp = (month + 9) % 12;
  const int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return (era * 146097 + doe - 719468) * 86400;
}

bool parse_iso_time(std::string_view s, int64_t& seconds) {
  int32_t y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
  if (s.size() < 10 || s[4] != '-' || s[7] != '-') return false;
  if (!parse_digits(s, 0, 4, y) || !parse_digits(s, 5, 2, mo) || !parse_digits(s, 8, 2, d)) return false;
  if (!valid_date(y, mo, d)) return false;
  std::string_view rest = s.substr(10);
  if (!rest.empty()) {
    if (rest.front() != 'T' && rest.front() != ' ') return false;
    rest.remove_prefix(1);
    if (!rest.empty() && rest.back() == 'Z') rest.remove_suffix(1);
    if (rest.size() != 5 && rest.size() != 8) return false;
    if (rest[2] != ':' || !parse_digits(rest, 0, 2, h) || !parse_digits(rest, 3, 2, mi)) return false;
    if (rest.size() == 8 && (rest[5] != ':' || !parse_digits(rest, 6, 2, sec))) return false;
    if (h > 23 || mi > 59 || sec > 59) return false;
  }
  seconds = day_seconds(y, mo, d) + h * 3600 + mi * 60 + sec;
  return true;
}

std::string format_iso_time(int64_t t) {
  int64_t days = t / 86400;
  int64_t rem = t % 86400;
  if (rem < 0) {
    rem += 86400;
    days -= 1;
  }
  // Civil date from days (the inverse of day_seconds).
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  char buf[96];
  const int64_t h = rem / 3600, mi = rem % 3600 / 60, sec = rem % 60;
  if (sec != 0) {
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld", static_cast<long long>(y),
                  static_cast<long long>(m), static_cast<long long>(d), static_cast<long long>(h),
                  static_cast<long long>(mi), static_cast<long long>(sec));
  } else {
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02lld:%02lld", static_cast<long long>(y),
                  static_cast<long long>(m), static_cast<long long>(d), static_cast<long long>(h),
                  static_cast<long long>(mi));
  }
  return buf;
}

void CsvSeries::fail(int32_t n, std::string_view message) const {
  const int32_t l = line(n);
  const std::string where = l > 0 ? "line " + std::to_string(l) : "time " + format_iso_time(time(n)) + " (no row)";
  throw InputError("file " + quoted_name(file) + ": " + where + ": " + std::string(message));
}

CsvSeries read_csv_series(const std::filesystem::path& path, const SeriesWindow& w, float missing_below) {
  CsvLines in(path);
  CsvSeries s;
  s.file = in.name();
  s.start = w.start;
  s.step = w.step;
  std::vector<std::string_view> f;
  if (!in.next(f)) throw InputError("file " + quoted_name(s.file) + ": empty; expected the header time,<names>");
  if (lower(f[0]) != "time" || f.size() < 2) {
    in.fail("the header must be time and then one named column per series, e.g. time,gauge1,gauge2");
  }
  for (std::size_t k = 1; k < f.size(); ++k) {
    if (f[k].empty()) in.fail("column " + std::to_string(k + 1) + " of the header has no name");
    for (std::size_t j = 1; j < k; ++j) {
      if (f[j] == f[k]) in.fail("the column name " + quoted_name(f[k]) + " appears twice in the header");
    }
    s.columns.emplace_back(f[k]);
  }
  const std::size_t nc = s.columns.size();
  const auto records = static_cast<std::size_t>(std::max(w.records, 0));
  s.values.assign(records * nc, kMissing);
  s.lines.assign(records, 0);

  bool have_prev = false;
  int64_t prev = 0;
  int32_t prev_line = 0;
  int64_t last = 0;  // records filled up to here
  // Rows are read until one lies past the last record: a row out of order
  // inside the run is refused, not left as a gap.
  while (in.next(f)) {
    int64_t t = 0;
    if (!parse_iso_time(f[0], t)) {
      in.fail("the time " + quoted_name(f[0]) +
              " is not an ISO 8601 time (2020-10-01T00:00, 2020-10-01 00:00 or 2020-10-01)");
    }
    if (have_prev) {
      const std::string after = " of line " + std::to_string(prev_line) + " (" + format_iso_time(prev) + ")";
      if (t == prev) in.fail("the time " + format_iso_time(t) + " repeats the time" + after);
      if (t < prev) in.fail("the time " + format_iso_time(t) + " comes before the time" + after + "; times must increase");
      if ((t - prev) % w.step != 0) {
        in.fail("the time " + format_iso_time(t) + " lies " + std::to_string(t - prev) + " s after the time" + after +
                "; rows are one record step (" + step_text(w.step) + ") or a whole number of steps apart");
      }
    } else if ((t - w.start) % w.step != 0) {
      in.fail("the time " + format_iso_time(t) + " is not a whole number of record steps (" + step_text(w.step) +
              ") from the start of the run, " + format_iso_time(w.start));
    }
    have_prev = true;
    prev = t;
    prev_line = in.line();
    if (f.size() != nc + 1) {
      in.fail(std::to_string(f.size()) + " fields; the header has " + std::to_string(nc + 1) +
              " (time and " + std::to_string(nc) + " values)");
    }
    if (t < w.start) continue;  // before the run
    const int64_t n = (t - w.start) / w.step;  // from 0
    if (n >= static_cast<int64_t>(records)) break;
    s.lines[static_cast<std::size_t>(n)] = in.line();
    float* row = s.values.data() + static_cast<std::size_t>(n) * nc;
    for (std::size_t k = 0; k < nc; ++k) {
      const std::string_view v = f[k + 1];
      if (is_missing_word(v)) continue;
      float fx = 0.0f;
      if (!parse_float(v, fx)) {
        in.fail("column " + quoted_name(s.columns[k]) + ": " + quoted_name(v) +
                " is not a number (missing values are empty, NA or NaN)");
      }
      row[k] = fx < missing_below ? kMissing : fx;
    }
    last = n + 1;
  }
  if (last < static_cast<int64_t>(records)) {
    const int64_t end = w.start + static_cast<int64_t>(records - 1) * w.step;
    const std::string need = "the run needs " + std::to_string(records) + " records from " +
                             format_iso_time(w.start) + " to " + format_iso_time(end);
    if (!have_prev) {
      throw InputError("file " + quoted_name(s.file) + ": line " + std::to_string(in.line()) + ": no rows; " + need);
    }
    throw InputError("file " + quoted_name(s.file) + ": line " + std::to_string(prev_line) +
                     ": the series ends at " + format_iso_time(prev) + "; " + need);
  }
  return s;
}

std::filesystem::path beside_series(const std::filesystem::path& series, std::string_view kind) {
  std::filesystem::path p = series;
  p.replace_extension();
  p += "." + std::string(kind) + series.extension().string();
  return p;
}

CsvStations read_csv_stations(const std::filesystem::path& path, bool with_elevation) {
  CsvLines in(path);
  CsvStations st;
  st.file = in.name();
  const std::string expected = with_elevation ? "name,x,y,elevation or name,row,column,elevation"
                                              : "name,x,y or name,row,column";
  std::vector<std::string_view> f;
  if (!in.next(f)) throw InputError("file " + quoted_name(st.file) + ": empty; expected the header " + expected);
  const std::size_t nf = with_elevation ? 4 : 3;
  bool ok = f.size() == nf && lower(f[0]) == "name";
  if (ok) {
    const std::string a = lower(f[1]), b = lower(f[2]);
    if (a == "x" && b == "y") {
      st.map_coordinates = true;
    } else if (a == "row" && b == "column") {
      st.map_coordinates = false;
    } else {
      ok = false;
    }
    if (with_elevation && lower(f[3]) != "elevation") ok = false;
  }
  if (!ok) in.fail("the header must be " + expected);
  while (in.next(f)) {
    if (f.size() != nf) in.fail(std::to_string(f.size()) + " fields; expected " + std::to_string(nf) + " (" + expected + ")");
    StationRow r;
    r.name = std::string(f[0]);
    r.line = in.line();
    if (r.name.empty()) in.fail("a station without a name");
    for (const StationRow& o : st.rows) {
      if (o.name == r.name) in.fail("the name " + quoted_name(r.name) + " repeats line " + std::to_string(o.line));
    }
    for (std::size_t k = 1; k < nf; ++k) {
      double& v = k == 1 ? r.a : k == 2 ? r.b : r.elevation;
      // Map coordinates keep a double's precision; cell units and elevations
      // are read as the text layouts read them.
      float f32 = 0.0f;
      const bool ok = st.map_coordinates && k < 3 ? parse_real(f[k], v) : parse_float(f[k], f32);
      if (!ok) in.fail(quoted_name(f[k]) + " is not a number");
      if (!(st.map_coordinates && k < 3)) v = f32;
    }
    st.rows.push_back(std::move(r));
  }
  return st;
}

std::vector<StationRow> stations_of(const CsvStations& stations, const CsvSeries& series) {
  std::vector<StationRow> out;
  out.reserve(series.columns.size());
  for (const std::string& name : series.columns) {
    auto it = std::find_if(stations.rows.begin(), stations.rows.end(),
                           [&](const StationRow& r) { return r.name == name; });
    if (it == stations.rows.end()) {
      throw InputError("file " + quoted_name(stations.file) + ": no row for " + quoted_name(name) +
                       ", a column of " + quoted_name(series.file) + "; every column needs its position");
    }
    out.push_back(*it);
  }
  return out;
}

void map_to_cell(double x, double y, const GeoReference& geo, int32_t ni, float& row, float& column) {
  const double cs = geo.cellsize;
  const double x0 = geo.center ? geo.x_ll - cs / 2.0 : geo.x_ll;
  const double y0 = geo.center ? geo.y_ll - cs / 2.0 : geo.y_ll;
  column = static_cast<float>((x - x0) / cs + 0.5);
  row = static_cast<float>(static_cast<double>(ni) + 0.5 - (y - y0) / cs);
}

EtTable read_et_table(const std::filesystem::path& path) {
  CsvLines in(path);
  EtTable t;
  std::map<std::string, int32_t> seen;
  std::vector<std::string_view> f;
  auto real = [&](std::string_view v, float& out) {
    if (!parse_float(v, out)) in.fail(quoted_name(v) + " is not a number");
  };
  while (in.next(f)) {
    if (!f[0].empty() && f[0].front() == '#') continue;
    const std::string key = lower(f[0]);
    const bool monthly = key == "a" || key == "b" || key == "days";
    if (!monthly && key != "offset" && key != "slope") {
      in.fail("unknown row " + quoted_name(f[0]) + " (expected offset, slope, a, b or days)");
    }
    if (seen.count(key)) in.fail("the row " + key + " repeats line " + std::to_string(seen[key]));
    seen[key] = in.line();
    const std::size_t n = monthly ? 12 : 1;
    if (f.size() != n + 1) {
      in.fail("the row " + key + " holds " + std::to_string(f.size() - 1) + " values; expected " + std::to_string(n));
    }
    if (key == "offset") real(f[1], t.offset);
    if (key == "slope") real(f[1], t.slope);
    for (std::size_t m = 0; monthly && m < 12; ++m) {
      if (key == "a") real(f[m + 1], t.a[m]);
      if (key == "b") real(f[m + 1], t.b[m]);
      if (key == "days") {
        int32_t d = 0;
        const std::string_view v = f[m + 1];
        const auto [p, ec] = std::from_chars(v.data(), v.data() + v.size(), d);
        if (ec != std::errc() || p != v.data() + v.size()) in.fail(quoted_name(v) + " is not a whole number of days");
        t.days[m] = d;
      }
    }
  }
  for (const char* key : {"offset", "slope", "a", "b", "days"}) {
    if (!seen.count(key)) {
      throw InputError("file " + quoted_name(in.name()) + ": no row " + key +
                       " (the table holds the rows offset, slope, a, b and days)");
    }
  }
  return t;
}

}  // namespace tarvex
