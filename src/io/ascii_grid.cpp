#include "io/ascii_grid.hpp"

#include <cctype>
#include <charconv>
#include <cmath>
#include <fstream>
#include <sstream>

#include "io/degree_dem.hpp"
#include "io/output_commit.hpp"

namespace tarvex {
namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool blank(std::string_view rec) { return rec.find_first_not_of(" \t,") == std::string_view::npos; }

constexpr std::string_view kBom = "\xEF\xBB\xBF";  // byte-order mark some editors put first

// A header record starts with a keyword; a data record with a number.
bool keyword_record(std::string_view rec) {
  if (rec.starts_with(kBom)) rec.remove_prefix(kBom.size());
  std::size_t i = rec.find_first_not_of(" \t,");
  return i != std::string_view::npos && std::isalpha(static_cast<unsigned char>(rec[i]));
}

// Numbers of the header: shortest round trip, fixed notation in the range
// coordinates and cell sizes live in.
std::string number(double v) {
  char buf[400];
  double a = std::abs(v);
  auto fmt = (a == 0.0 || (a >= 1e-4 && a < 1e15)) ? std::chars_format::fixed : std::chars_format::general;
  auto res = std::to_chars(buf, buf + sizeof buf, v, fmt);
  return std::string(buf, res.ptr);
}

void keyword_line(TextWriter& w, std::string_view key, std::string_view value) {
  std::string s(key);
  if (s.size() < 14) s.resize(14, ' ');
  else s.push_back(' ');
  s.append(value);
  w.line(s);
}

struct Slot {
  bool seen = false;
  double value = 0.0;
  bool center = false;
};

// Values per data line, to name the line a wrong count comes from: when the
// rows stand one to a line, the one line of another length.
class LineCounts {
 public:
  explicit LineCounts(int32_t ncols) : ncols_(ncols) {}
  void add(int32_t line, int64_t n) {
    if (line != line_) {
      close_line();
      line_ = line;
    }
    count_ += n;
  }
  void close_line() {
    if (line_ > 0 && count_ != ncols_) {
      if (odd_ == 0) odd_line_ = line_, odd_count_ = count_;
      ++odd_;
    }
    line_ = 0;
    count_ = 0;
  }
  // The only line whose count is not ncols, if there is exactly one.
  bool one_odd() const { return odd_ == 1; }
  int32_t odd_line() const { return odd_line_; }
  int64_t odd_count() const { return odd_count_; }

 private:
  int32_t ncols_;
  int32_t line_ = 0;
  int64_t count_ = 0;
  int32_t odd_ = 0;
  int32_t odd_line_ = 0;
  int64_t odd_count_ = 0;
};

std::string values_text(int64_t n) { return std::to_string(n) + (n == 1 ? " value" : " values"); }

// A data block of another count than nrows x ncols: names the line it went
// wrong on and both counts.
[[noreturn]] void wrong_count(RecordReader& r, const AsciiGridHeader& h, const LineCounts& lines, int64_t found,
                              const std::string& where) {
  const int64_t expected = static_cast<int64_t>(h.nrows) * h.ncols;
  const std::string counts = "the data block holds " + values_text(found) + ", not nrows x ncols = " +
                             std::to_string(h.nrows) + " x " + std::to_string(h.ncols) + " = " +
                             std::to_string(expected);
  if (lines.one_odd()) {
    r.fail("line " + std::to_string(lines.odd_line()) + " holds " + values_text(lines.odd_count()) +
           " where a row has ncols = " + std::to_string(h.ncols) + "; " + counts);
  }
  r.fail(where + "; " + counts);
}

template <class T>
void read_values(RecordReader& r, const AsciiGridHeader& h, T* dst, T fill) {
  const std::string tail = " of the " + std::to_string(h.nrows) + " rows of " + std::to_string(h.ncols) +
                           " values (ASCII grid data)";
  LineCounts lines(h.ncols);
  ListRead rd = r.read("row 1" + tail);
  std::size_t k = 0;
  for (int32_t i = 1; i <= h.nrows; ++i) {
    if (i > 1) rd.set_what("row " + std::to_string(i) + tail);
    for (int32_t j = 0; j < h.ncols; ++j, ++k) {
      if (!rd.seek_value()) {
        lines.close_line();
        wrong_count(r, h, lines, static_cast<int64_t>(k),
                    "the file ends after line " + std::to_string(r.record()) + "; expected row " +
                        std::to_string(i) + tail);
      }
      lines.add(r.record(), 1);
      if constexpr (std::is_same_v<T, float>) {
        float v = rd.f32();
        dst[k] = (h.nodata_f32 && v == *h.nodata_f32) ? fill : v;
      } else {
        int32_t v = rd.i32();
        dst[k] = (h.nodata && static_cast<double>(v) == *h.nodata) ? fill : v;
      }
    }
  }
  // Values past the block, on its last line or after it: the rows have
  // another length than ncols says (every later row would shift).
  int64_t found = static_cast<int64_t>(k);
  int32_t first_extra = 0;
  const int32_t left = rd.left_on_record();
  if (left > 0) {
    first_extra = r.record();
    lines.add(r.record(), left);
    found += left;
  }
  rd.finish();
  if (first_extra == 0 && r.rest_is_blank()) return;
  while (!r.at_end()) {
    const int64_t n = count_items(r.peek());
    r.skip(1);
    if (n == 0) continue;
    if (first_extra == 0) first_extra = r.record();
    lines.add(r.record(), n);
    found += n;
  }
  lines.close_line();
  wrong_count(r, h, lines, found,
              "line " + std::to_string(first_extra) + ": values after the " + std::to_string(h.nrows) +
                  " rows of " + std::to_string(h.ncols) + " values given by nrows and ncols");
}

}  // namespace

AsciiGridHeader read_ascii_grid_header(RecordReader& r) {
  AsciiGridHeader h;
  bool have_rows = false, have_cols = false, have_nodata = false;
  Slot x, y, cell, dx, dy;
  const auto rec = [&] { return "record " + std::to_string(r.record()) + ": "; };
  for (;;) {
    while (!r.at_end() && blank(r.peek())) r.skip(1);
    if (!keyword_record(r.peek())) break;
    ListRead rd = r.read("an ASCII grid header record (keyword and value)");
    std::string word = rd.text();
    if (r.record() == 1 && word.starts_with(kBom)) word.erase(0, kBom.size());
    const std::string key = lower(word);
    // A keyword and its one value make a record: a value on the next line
    // would be taken from the data.
    const bool known = key == "ncols" || key == "nrows" || key == "xllcorner" || key == "xllcenter" ||
                       key == "yllcorner" || key == "yllcenter" || key == "cellsize" || key == "dx" ||
                       key == "dy" || key == "nodata_value";
    if (known && rd.left_on_record() == 0) r.fail(rec() + "'" + word + "' without a value");
    const auto once = [&](bool& seen) {
      if (seen) r.fail(rec() + "'" + word + "' given twice in the header");
      seen = true;
    };
    if (key == "ncols" || key == "nrows") {
      once(key == "ncols" ? have_cols : have_rows);
      int32_t n = rd.i32();
      if (n < 1) r.fail(rec() + key + " must be a positive integer, found " + std::to_string(n));
      (key == "ncols" ? h.ncols : h.nrows) = n;
    } else if (key == "xllcorner" || key == "xllcenter" || key == "yllcorner" || key == "yllcenter") {
      Slot& s = key[0] == 'x' ? x : y;
      if (s.seen) r.fail(rec() + "'" + word + "': the lower-left " + key.substr(0, 1) + " is given twice");
      s.seen = true;
      s.center = key.ends_with("center");
      s.value = rd.f64();
    } else if (key == "cellsize" || key == "dx" || key == "dy") {
      Slot& s = key == "cellsize" ? cell : key == "dx" ? dx : dy;
      once(s.seen);
      s.value = rd.f64();
      if (!(s.value > 0.0)) r.fail(rec() + key + " must be positive, found " + shortest(s.value));
    } else if (key == "nodata_value") {
      once(have_nodata);
      // Read once as a double and once as a 4-byte real, by the same rules
      // as the data values.
      const std::string tok = rd.text();
      auto as_double = RecordReader::from_text(tok, r.name());
      try {
        h.nodata = as_double.read("NODATA_value").f64();
      } catch (const InputError&) {
        r.fail(rec() + "expected a number after NODATA_value, found '" + tok + "'");
      }
      auto as_float = RecordReader::from_text(tok, r.name());
      try {
        h.nodata_f32 = as_float.read("NODATA_value").f32();
      } catch (const InputError&) {
      }
    } else {
      r.fail(rec() + "unknown header keyword '" + word +
             "' (expected ncols, nrows, xllcorner or xllcenter, yllcorner or yllcenter, cellsize, NODATA_value)");
    }
    if (const int32_t more = rd.left_on_record(); more > 0) {
      r.fail(rec() + "'" + word + "' takes one value; the record holds " + std::to_string(more + 1));
    }
    rd.finish();
  }

  const auto missing = [&](const char* what) {
    r.fail("the header ends before record " + std::to_string(r.record() + 1) + " without " + what);
  };
  if (!have_cols) missing("ncols");
  if (!have_rows) missing("nrows");
  if (!x.seen) missing("xllcorner or xllcenter");
  if (!y.seen) missing("yllcorner or yllcenter");
  if (cell.seen && (dx.seen || dy.seen)) r.fail("the header gives both cellsize and dx/dy");
  if (!cell.seen) {
    if (!dx.seen || !dy.seen) missing("cellsize");
    if (dx.value != dy.value) {
      // Non-square cells are most often degrees of longitude and latitude.
      std::string wkt;
      try {
        wkt = read_prj_beside(r.name());
      } catch (const InputError&) {
      }
      const GridPlace place{x.center ? x.value - 0.5 * dx.value : x.value,
                            y.center ? y.value - 0.5 * dy.value : y.value, dx.value, dy.value, h.nrows, h.ncols};
      if (auto m = degree_dem_refusal(r.name(), place, wkt, true, "the grid")) throw InputError(*m);
      r.fail("dx " + shortest(dx.value) + " and dy " + shortest(dy.value) +
             " differ; only square cells are supported");
    }
    cell = dx;
  }
  h.geo.cellsize = cell.value;
  h.geo.known = true;
  h.geo.center = x.center && y.center;
  // A corner paired with a centre: both as corners.
  h.geo.x_ll = x.center && !h.geo.center ? x.value - 0.5 * cell.value : x.value;
  h.geo.y_ll = y.center && !h.geo.center ? y.value - 0.5 * cell.value : y.value;
  if (!std::isfinite(h.geo.x_ll) || !std::isfinite(h.geo.y_ll)) {
    r.fail("the lower-left corner lies outside the range of real numbers");
  }
  return h;
}

void read_ascii_grid_values(RecordReader& r, const AsciiGridHeader& h, float* dst, float fill) {
  read_values(r, h, dst, fill);
}

void read_ascii_grid_values(RecordReader& r, const AsciiGridHeader& h, int32_t* dst, int32_t fill) {
  read_values(r, h, dst, fill);
}

std::string grid_disagreement(std::string_view file, std::string_view key, std::string_view value,
                              std::string_view expected_name, std::string_view expected,
                              std::string_view control_file, int32_t record) {
  std::string s = "file '";
  s.append(file).append("': ").append(key).append(" ").append(value).append(" disagrees with ");
  s.append(expected_name).append(" = ").append(expected).append(" of record ");
  s.append(std::to_string(record)).append(" of '").append(control_file).append("'");
  return s;
}

void check_grid_size(std::string_view file, int32_t nrows, int32_t ncols, int32_t ni, int32_t nj,
                     std::string_view control_file, int32_t record) {
  if (nrows != ni) {
    throw InputError(grid_disagreement(file, "nrows", std::to_string(nrows), "NI", std::to_string(ni),
                                       control_file, record));
  }
  if (ncols != nj) {
    throw InputError(grid_disagreement(file, "ncols", std::to_string(ncols), "NJ", std::to_string(nj),
                                       control_file, record));
  }
}

void check_grid_cell_size(std::string_view file, const GeoReference& geo, float cell_dx, float cell_dy,
                          std::string_view control_file, int32_t record) {
  if (!geo.known) return;
  const auto check = [&](float expected, const char* name) {
    const double e = expected;
    if (std::abs(geo.cellsize - e) > 1e-6 * std::abs(e)) {
      throw InputError(grid_disagreement(file, "cellsize", number(geo.cellsize), name, shortest(expected),
                                         control_file, record));
    }
  };
  check(cell_dx, "CELL_DX");
  check(cell_dy, "CELL_DY");
}

void write_ascii_grid_header(TextWriter& w, int32_t nrows, int32_t ncols, const GeoReference& geo,
                             std::optional<double> nodata) {
  if (!(geo.cellsize > 0.0) || !std::isfinite(geo.cellsize)) {
    throw InputError("file '" + w.name() + "': an ASCII grid needs a positive cell size, got " +
                     shortest(geo.cellsize));
  }
  keyword_line(w, "ncols", std::to_string(ncols));
  keyword_line(w, "nrows", std::to_string(nrows));
  keyword_line(w, geo.center ? "xllcenter" : "xllcorner", number(geo.x_ll));
  keyword_line(w, geo.center ? "yllcenter" : "yllcorner", number(geo.y_ll));
  keyword_line(w, "cellsize", number(geo.cellsize));
  if (nodata) keyword_line(w, "NODATA_value", number(*nodata));
}

std::filesystem::path prj_path_beside(const std::filesystem::path& grid) {
  std::filesystem::path p = grid;
  return p.replace_extension(".prj");
}

std::string read_prj_beside(const std::filesystem::path& grid) {
  std::filesystem::path p = prj_path_beside(grid);
  std::error_code ec;
  if (!std::filesystem::is_regular_file(readable_path(p), ec)) p.replace_extension(".PRJ");
  const std::filesystem::path from = readable_path(p);
  if (!std::filesystem::is_regular_file(from, ec)) return {};
  // A projection text is a few hundred bytes; anything far larger is not one
  // and would only cost time and memory to read.
  const std::uintmax_t size = std::filesystem::file_size(from, ec);
  if (!ec && size > kPrjMaxBytes) {
    throw InputError("file '" + p.string() + "': " + std::to_string(size) + " bytes; a projection file (.prj) " +
                     "holds at most " + std::to_string(kPrjMaxBytes));
  }
  std::ifstream in(from, std::ios::binary);
  if (!in) throw InputError("file '" + p.string() + "' cannot be opened for reading");
  std::string s(kPrjMaxBytes + 1, '\0');
  in.read(s.data(), static_cast<std::streamsize>(s.size()));
  s.resize(static_cast<std::size_t>(in.gcount()));
  if (s.size() > kPrjMaxBytes) {
    throw InputError("file '" + p.string() + "': more than " + std::to_string(kPrjMaxBytes) +
                     " bytes; a projection file (.prj) holds at most " + std::to_string(kPrjMaxBytes));
  }
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
  return s;
}

void write_prj_beside(const std::filesystem::path& grid, std::string_view wkt) {
  if (wkt.empty()) return;
  TextWriter w(prj_path_beside(grid));
  w.line(wkt);
  w.close();
}

}  // namespace tarvex
