#include "io/grid_file.hpp"

namespace tarvex {

GridReader::GridReader(const std::filesystem::path& path) : text_(path) {}

std::optional<GridReader> GridReader::try_open(const std::filesystem::path& path) {
  auto text = RecordReader::try_open(path);
  if (!text) return std::nullopt;
  return GridReader(std::move(*text));
}

GridWriter::GridWriter(const std::filesystem::path& path, const GridLayout& layout) : out_(path), layout_(layout) {}

template <class T>
void GridWriter::put_row(const T* values, int32_t n) {
  const GridLayout& l = layout_;
  write_grid_row(out_, n, l.per_line, [&](std::string& buf, int32_t k) {
    if (l.integer) {
      put_int(buf, static_cast<int64_t>(values[k]), l.width);
    } else {
      put_fixed(buf, static_cast<double>(values[k]), l.width, l.decimals);
    }
    put_blanks(buf, l.trailing_blanks);
  });
}

void GridWriter::row(const float* values, int32_t n) { put_row(values, n); }
void GridWriter::row(const int32_t* values, int32_t n) { put_row(values, n); }

}  // namespace tarvex
