// Fuzz target: the ESRI ASCII grid reader. The input is the text of an .asc
// file. A header that reads is written back and must read as the same
// header; a data block that reads holds no NODATA_value left unmapped and no
// non-finite value.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "io/ascii_grid.hpp"

using tarvex::AsciiGridHeader;
using tarvex::InputError;
using tarvex::RecordReader;
using tarvex::fuzz::bug;

namespace {

void check_named(const InputError& e) {
  if (std::string(e.what()).find("fuzz.asc") == std::string::npos) bug("an InputError without the file name");
}

void check_header(const AsciiGridHeader& h) {
  if (h.nrows < 1 || h.ncols < 1) bug("a header with no rows or columns was accepted");
  if (!(h.geo.cellsize > 0.0) || !std::isfinite(h.geo.cellsize)) bug("a cell size that is not positive");
  if (!std::isfinite(h.geo.x_ll) || !std::isfinite(h.geo.y_ll)) bug("a lower-left point that is not finite");
  if (!h.geo.known) bug("a header read without a known georeference");
}

void round_trip(const AsciiGridHeader& h) {
  {
    tarvex::TextWriter w("rt.asc");
    write_ascii_grid_header(w, h.nrows, h.ncols, h.geo, h.nodata);
    w.close();
  }
  RecordReader r("rt.asc");
  AsciiGridHeader b = read_ascii_grid_header(r);
  if (b.nrows != h.nrows || b.ncols != h.ncols || b.geo.x_ll != h.geo.x_ll || b.geo.y_ll != h.geo.y_ll ||
      b.geo.cellsize != h.geo.cellsize || b.geo.center != h.geo.center || b.nodata != h.nodata) {
    bug("a written header reads back different");
  }
}

template <class T>
void read_block(const std::string& text, T fill) {
  RecordReader r = RecordReader::from_text(text, "fuzz.asc");
  try {
    AsciiGridHeader h = read_ascii_grid_header(r);
    check_header(h);
    // Every value takes at least one character: larger counts cannot be read.
    const int64_t n = int64_t{h.nrows} * h.ncols;
    if (n > static_cast<int64_t>(text.size())) return;
    std::vector<T> v(static_cast<std::size_t>(n));
    read_ascii_grid_values(r, h, v.data(), fill);
    for (T x : v) {
      if constexpr (std::is_same_v<T, float>) {
        if (!std::isfinite(x)) bug("a non-finite grid value");
        if (h.nodata_f32 && x == *h.nodata_f32 && x != fill) bug("a NODATA_value cell left unmapped");
      } else {
        if (h.nodata && static_cast<double>(x) == *h.nodata && x != fill) bug("a NODATA_value cell left unmapped");
      }
    }
  } catch (const InputError& e) {
    check_named(e);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  tarvex::fuzz::enter_scratch_dir();
  const std::string text(reinterpret_cast<const char*>(data), size);
  read_block<float>(text, -1.5e30f);
  read_block<int32_t>(text, -2147483647);
  RecordReader r = RecordReader::from_text(text, "fuzz.asc");
  try {
    AsciiGridHeader h = read_ascii_grid_header(r);
    round_trip(h);
  } catch (const InputError& e) {
    check_named(e);
  }
  return 0;
}
