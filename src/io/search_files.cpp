#include "io/search_files.hpp"

#include <cstdio>
#include <system_error>

#include "io/input_error.hpp"
#include "io/output_sink.hpp"

namespace tarvex {

namespace fs = std::filesystem;

void replace_file_atomically(const fs::path& path, const std::string& text) {
  if (outputs_discarded()) return;
  fs::path tmp = path;
  tmp += ".tmp";
  {
    std::FILE* f = std::fopen(tmp.string().c_str(), "wb");
    if (!f) throw InputError("file '" + tmp.string() + "' cannot be opened for writing");
    const bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !ok) {
      std::remove(tmp.string().c_str());
      throw InputError("file '" + tmp.string() + "' cannot be written");
    }
  }
  std::error_code ec;
  fs::rename(tmp, path, ec);
  if (ec) throw InputError("file '" + tmp.string() + "' cannot be renamed to '" + path.string() + "': " + ec.message());
}

std::uintmax_t file_size_or_zero(const fs::path& path) {
  std::error_code ec;
  const std::uintmax_t n = fs::file_size(path, ec);
  return ec ? 0 : n;
}

void truncate_file(const fs::path& path, std::uintmax_t size) {
  if (outputs_discarded()) return;
  std::error_code ec;
  const std::uintmax_t now = fs::file_size(path, ec);
  if (ec && size == 0) return;
  if (ec || now < size) {
    throw InputError("file '" + path.string() + "': holds " + (ec ? std::string("nothing") : std::to_string(now) + " bytes") +
                     "; the checkpoint expects at least " + std::to_string(size) +
                     " bytes of records written before it");
  }
  if (now == size) return;
  fs::resize_file(path, size, ec);
  if (ec) throw InputError("file '" + path.string() + "' cannot be cut back to " + std::to_string(size) + " bytes: " + ec.message());
}

}  // namespace tarvex
