#include "io/input_digest.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>
#include <vector>

#include "io/input_error.hpp"

namespace tarvex {

uint64_t fnv1a64(std::string_view bytes, uint64_t h) {
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001b3ull;
  }
  return h;
}

std::string file_digest(const std::filesystem::path& path) {
  const std::string name = "file '" + path.string() + "'";
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    throw InputError(name + " is no longer a regular file; its digest for the search checkpoint cannot be taken");
  }
  std::vector<char> buf(1 << 16);  // before the open: nothing between it and fclose throws
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) throw InputError(name + " cannot be opened for its digest: " + std::strerror(errno));
  uint64_t h = kFnv1aOffset;
  std::size_t n = 0;
  while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0) h = fnv1a64(std::string_view(buf.data(), n), h);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw InputError(name + " cannot be read for its digest");
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(h));
  return hex;
}

}  // namespace tarvex
