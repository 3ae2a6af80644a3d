#include "fuzz_support.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <unistd.h>

namespace tarvex::fuzz {
namespace {

std::filesystem::path g_scratch;

void remove_scratch() {
  if (g_scratch.empty()) return;
  std::error_code ec;
  std::filesystem::current_path(std::filesystem::temp_directory_path(ec), ec);
  std::filesystem::remove_all(g_scratch, ec);
}

}  // namespace

void enter_scratch_dir() {
  if (g_scratch.empty()) {
    std::string templ = (std::filesystem::temp_directory_path() / "tarvex-fuzz-XXXXXX").string();
    if (!mkdtemp(templ.data())) bug("cannot create a scratch directory");
    g_scratch = templ;
    std::filesystem::current_path(g_scratch);
    std::atexit(remove_scratch);
    // The loaders print progress and numbered messages; nobody reads them here.
    if (!std::freopen("/dev/null", "w", stdout)) bug("cannot silence standard output");
    return;
  }
  std::error_code ec;
  if (std::filesystem::current_path(ec) != g_scratch) std::filesystem::current_path(g_scratch);
  for (const auto& entry : std::filesystem::directory_iterator(g_scratch)) {
    std::filesystem::remove_all(entry.path(), ec);
  }
}

std::vector<std::string_view> split(const uint8_t* data, std::size_t size, char sep) {
  std::vector<std::string_view> parts;
  std::string_view all(reinterpret_cast<const char*>(data), size);
  std::size_t start = 0;
  for (;;) {
    std::size_t end = all.find(sep, start);
    if (end == std::string_view::npos) {
      parts.push_back(all.substr(start));
      return parts;
    }
    parts.push_back(all.substr(start, end - start));
    start = end + 1;
  }
}

void write_file(const std::string& name, std::string_view text) {
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  if (!out) bug("cannot write the scratch file " + name);
}

ModelState& fresh_state() {
  static const ModelState pristine;
  static ModelState state;
  state = pristine;
  return state;
}

bool names_stay_local(std::string_view text) {
  return text.find('/') == std::string_view::npos && text.find('\\') == std::string_view::npos;
}

void bug(const std::string& what) {
  std::fprintf(stderr, "tarvex fuzz: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace tarvex::fuzz
