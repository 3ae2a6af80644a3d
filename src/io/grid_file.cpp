#include "io/grid_file.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <charconv>
#include <cstdio>
#include <exception>

#include "io/file_identity.hpp"
#include "io/geotiff.hpp"
#include "io/output_commit.hpp"
#include "io/quoted.hpp"

namespace tarvex {

GridFormat grid_format(const std::filesystem::path& path) {
  std::string ext = path.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".asc") return GridFormat::ascii;
  if (ext == ".tif" || ext == ".tiff") return GridFormat::geotiff;
  return GridFormat::text;
}

// A GIS grid: its size from the header, its values read whole at the first
// row asked for (the no-data value comes with that call).
struct GridReader::Gis {
  int32_t nrows = 0;
  int32_t ncols = 0;
  AsciiGridHeader header;                // .asc
  std::unique_ptr<GeoTiffReader> tiff;   // .tif
  int32_t header_records = 0;
  int32_t served = 0;  // rows handed out
  bool loaded = false;
  std::vector<float> f;
  std::vector<int32_t> i;
};

GridReader::GridReader(RecordReader text) : name_(text.name()), text_(std::move(text)) {}

GridReader::GridReader(GridReader&&) noexcept = default;
GridReader& GridReader::operator=(GridReader&&) noexcept = default;
GridReader::~GridReader() = default;

GridReader::GridReader(const std::filesystem::path& path, const GridExpect* expect) : name_(path.string()) {
  const GridFormat format = grid_format(path);
  if (format != GridFormat::geotiff) text_.emplace(path);
  if (format != GridFormat::text) {
    gis_ = std::make_unique<Gis>();
    if (format == GridFormat::ascii) {
      gis_->header = read_ascii_grid_header(*text_);
      gis_->header_records = text_->record();
      gis_->nrows = gis_->header.nrows;
      gis_->ncols = gis_->header.ncols;
      geo_ = gis_->header.geo;
    } else {
      gis_->tiff = std::make_unique<GeoTiffReader>(path);
      gis_->nrows = gis_->tiff->nrows();
      gis_->ncols = gis_->tiff->ncols();
      geo_ = gis_->tiff->geo();
    }
  }
  if (geo_.prj.empty()) geo_.prj = read_prj_beside(path);
  if (expect) this->expect(*expect);
}

std::optional<GridReader> GridReader::try_open(const std::filesystem::path& path, const GridExpect* expect) {
  if (grid_format(path) == GridFormat::text) {
    auto text = RecordReader::try_open(path);
    if (!text) return std::nullopt;
    GridReader r(std::move(*text));
    r.geo_.prj = read_prj_beside(path);
    if (expect) r.expect(*expect);
    return r;
  }
  // Checked before it is opened: a pipe would block the open.
  refuse_special_input(path);
  std::FILE* f = std::fopen(readable_path(path).c_str(), "rb");
  if (!f) return std::nullopt;
  std::fclose(f);
  return GridReader(path, expect);
}

void GridReader::expect(const GridExpect& e) {
  if (!gis_) {
    // The text layout has no size of its own: what follows row NI is noted.
    text_rows_ = e.ni;
    text_grid_ = "the grid's " + std::to_string(e.ni) + " rows (NI = " + std::to_string(e.ni) + " in record " +
                 std::to_string(e.size_record) + " of " + quoted_name(e.control_file) + ")";
    return;
  }
  check_grid_size(name_, gis_->nrows, gis_->ncols, e.ni, e.nj, e.control_file, e.size_record);
  if (e.cell_dx > 0.0f) check_grid_cell_size(name_, geo_, e.cell_dx, e.cell_dy, e.control_file, e.cell_record);
}

template <class T>
void GridReader::gis_row(T* dst, int32_t n, std::string_view what, T nodata) {
  Gis& g = *gis_;
  if (n != g.ncols) {
    fail("expected " + std::string(what) + " of " + std::to_string(n) + " values; the grid has ncols " +
         std::to_string(g.ncols));
  }
  if (g.served >= g.nrows) {
    fail("expected " + std::string(what) + "; the grid has nrows " + std::to_string(g.nrows));
  }
  std::vector<T>& buf = [&]() -> std::vector<T>& {
    if constexpr (std::is_same_v<T, float>) return g.f;
    else return g.i;
  }();
  if (!g.loaded) {
    buf.resize(static_cast<std::size_t>(g.nrows) * static_cast<std::size_t>(g.ncols));
    if (g.tiff) g.tiff->read(buf.data(), nodata);
    else read_ascii_grid_values(*text_, g.header, buf.data(), nodata);
    g.loaded = true;
  } else if (buf.empty()) {
    fail("a grid read both as reals and as integers");
  }
  const std::size_t at = static_cast<std::size_t>(g.served) * static_cast<std::size_t>(g.ncols);
  std::copy(buf.begin() + static_cast<std::ptrdiff_t>(at), buf.begin() + static_cast<std::ptrdiff_t>(at + static_cast<std::size_t>(n)), dst);
  ++g.served;
}

void GridReader::row(float* dst, int32_t n, std::string_view what, float nodata) {
  if (gis_) {
    gis_row(dst, n, what, nodata);
  } else {
    text_->row(dst, n, what);
    text_row_read();
  }
}

void GridReader::row(int32_t* dst, int32_t n, std::string_view what, int32_t nodata) {
  if (gis_) {
    gis_row(dst, n, what, nodata);
  } else {
    text_->row(dst, n, what);
    text_row_read();
  }
}

void GridReader::text_row_read() {
  if (++text_served_ == text_rows_) text_->end_of_grid(text_grid_);
}

int32_t GridReader::record() const {
  if (!gis_) return text_->record();
  return gis_->header_records + gis_->served;
}

void GridReader::fail(std::string_view message) const {
  throw InputError("file '" + name_ + "': " + std::string(message));
}

GeoReference output_georeference(const GeoReference& source, float cell_dx) {
  if (source.known) return source;
  GeoReference g;
  g.cellsize = static_cast<double>(cell_dx);
  g.known = true;
  g.prj = source.prj;
  return g;
}

GridWriter::GridWriter(const std::filesystem::path& path, const GridLayout& layout, const GeoReference& geo)
    : name_(path.string()), format_(grid_format(path)), layout_(layout), geo_(geo),
      unwinding_(std::uncaught_exceptions()) {
  if (format_ != GridFormat::geotiff) {
    out_ = std::make_unique<TextWriter>(path);
  } else if (!geotiff_available()) {
    throw InputError(geotiff_unavailable_message(name_));  // before the run, not after it
  }
}

GridWriter::~GridWriter() {
  if (closed_) return;
  if (std::uncaught_exceptions() > unwinding_) return;  // the text writer drops its temporary
  try {
    close();
  } catch (...) {  // a destructor must not throw (an allocation may fail too)
  }
}

template <class T>
void GridWriter::put_row(const T* values, int32_t n) {
  const GridLayout& l = layout_;
  write_grid_row(*out_, n, l.per_line, [&](std::string& buf, int32_t k) {
    if (l.integer) {
      put_int(buf, static_cast<int64_t>(values[k]), l.width);
    } else {
      put_fixed(buf, static_cast<double>(values[k]), l.width, l.decimals);
    }
    put_blanks(buf, l.trailing_blanks);
  });
}

namespace {

// A value as the text layout prints it, in a field wide enough for any
// value, blanks dropped.
void put_value(std::string& out, double v, const GridLayout& l) {
  // Straight to the end of out, as put_int and put_fixed print into a
  // field of 24 and 64 characters; the rare value that does not fit (or is
  // not finite) goes through them.
  char buf[80];
  std::to_chars_result res{};
  if (l.integer) {
    res = std::to_chars(buf, buf + 24, static_cast<int64_t>(v));
  } else if (std::isfinite(v)) {
    res = fixed_chars(buf, buf + 64, v, l.decimals);
  } else {
    res.ec = std::errc::value_too_large;
  }
  if (res.ec == std::errc{}) {
    out.append(buf, res.ptr);
    return;
  }
  const std::size_t at = out.size();
  if (l.integer) {
    put_int(out, static_cast<int64_t>(v), 24);
  } else {
    put_fixed(out, v, 64, l.decimals);
  }
  const std::size_t first = out.find_first_not_of(' ', at);
  out.erase(at, (first == std::string::npos ? out.size() : first) - at);
}

// The 4-byte real the text layout's field reads back as.
float as_printed(float v, const GridLayout& l) {
  std::string field;
  put_value(field, static_cast<double>(v), l);
  float r = v;
  std::from_chars(field.data(), field.data() + field.size(), r);
  return r;
}

}  // namespace

template <class T>
void GridWriter::keep_row(const T* values, int32_t n) {
  if (ncols_ >= 0 && n != ncols_) {
    throw InputError("file '" + name_ + "': rows of " + std::to_string(ncols_) + " and of " + std::to_string(n) +
                     " values in one grid");
  }
  ncols_ = n;
  ++nrows_;
  if (format_ == GridFormat::ascii) {
    for (int32_t k = 0; k < n; ++k) {
      if (k > 0) text_rows_.push_back(' ');
      put_value(text_rows_, static_cast<double>(values[k]), layout_);
    }
    text_rows_.push_back('\n');
  } else if (layout_.integer) {
    for (int32_t k = 0; k < n; ++k) int_rows_.push_back(static_cast<int32_t>(values[k]));
  } else {
    for (int32_t k = 0; k < n; ++k) float_rows_.push_back(as_printed(static_cast<float>(values[k]), layout_));
  }
}

void GridWriter::row(const float* values, int32_t n) {
  if (format_ == GridFormat::text) put_row(values, n);
  else keep_row(values, n);
}

void GridWriter::row(const int32_t* values, int32_t n) {
  if (format_ == GridFormat::text) put_row(values, n);
  else keep_row(values, n);
}

void GridWriter::finish() {
  closed_ = true;
  const int32_t ncols = std::max(ncols_, 0);
  const double nodata = static_cast<double>(layout_.nodata);
  if (format_ == GridFormat::ascii) {
    write_ascii_grid_header(*out_, nrows_, ncols, geo_, nodata);
    if (!text_rows_.empty()) text_rows_.pop_back();  // the last line end comes with line()
    if (nrows_ > 0) out_->line(text_rows_);
    out_->close();
    write_prj_beside(name_, geo_.prj);
  } else if (layout_.integer) {
    write_geotiff(name_, int_rows_.data(), nrows_, ncols, geo_, nodata);
  } else {
    write_geotiff(name_, float_rows_.data(), nrows_, ncols, geo_, nodata);
  }
}

void GridWriter::close() {
  if (format_ == GridFormat::text) {
    out_->close();
    return;
  }
  if (!closed_) finish();
}

}  // namespace tarvex
