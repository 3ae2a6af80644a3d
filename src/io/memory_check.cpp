#include "io/memory_check.hpp"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>
#include <vector>

#include "io/grid_file.hpp"
#include "io/input_error.hpp"

namespace tarvex {
namespace {

namespace fs = std::filesystem;

// A limit this high is the kernel's "no limit" (v1 writes 2^63 rounded to pages).
constexpr std::uint64_t kUnlimited = std::uint64_t{1} << 60;

std::optional<std::uint64_t> read_number(const fs::path& p) {
  std::ifstream in(p);
  std::string v;
  if (!(in >> v) || v == "max") return std::nullopt;
  try {
    std::size_t used = 0;
    const unsigned long long n = std::stoull(v, &used);
    if (used != v.size() || n >= kUnlimited) return std::nullopt;
    return n;
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

// "key:   N kB" of a /proc status file, in bytes.
std::optional<std::uint64_t> kib_field(const fs::path& p, const std::string& key) {
  std::ifstream in(p);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(key + ":", 0) != 0) continue;
    std::istringstream f(line.substr(key.size() + 1));
    std::uint64_t kib = 0;
    if (f >> kib) return kib * 1024;
  }
  return std::nullopt;
}

// The least limit of `file` in the cgroup directory `dir` under `mount`
// and its parents up to the mount (in a cgroup namespace the process's own
// directory may not be there: the mount is its cgroup).
std::optional<std::uint64_t> cgroup_limit(const fs::path& mount, std::string dir, const char* file) {
  std::optional<std::uint64_t> least;
  dir.erase(0, std::min(dir.size(), dir.find_first_not_of('/')));
  for (;;) {
    const std::optional<std::uint64_t> v = read_number(mount / dir / file);
    if (v && (!least || *v < *least)) least = v;
    if (dir.empty()) break;
    const std::size_t slash = dir.find_last_of('/');
    dir = slash == std::string::npos ? "" : dir.substr(0, slash);
  }
  return least;
}

std::optional<std::uint64_t> cgroup_memory_limit(const fs::path& root) {
  std::ifstream in(root / "proc/self/cgroup");
  std::optional<std::uint64_t> least;
  auto take = [&](std::optional<std::uint64_t> v) {
    if (v && (!least || *v < *least)) least = v;
  };
  for (std::string line; std::getline(in, line);) {
    // "hierarchy:controllers:path"; v2 is "0::path".
    const std::size_t a = line.find(':'), b = a == std::string::npos ? a : line.find(':', a + 1);
    if (b == std::string::npos) continue;
    const std::string controllers = line.substr(a + 1, b - a - 1), path = line.substr(b + 1);
    if (controllers.empty()) {
      take(cgroup_limit(root / "sys/fs/cgroup", path, "memory.max"));
    } else if (("," + controllers + ",").find(",memory,") != std::string::npos) {
      take(cgroup_limit(root / "sys/fs/cgroup/memory", path, "memory.limit_in_bytes"));
    }
  }
  return least;
}

std::uint64_t less(std::uint64_t a, std::uint64_t b) { return a > b ? a - b : 0; }

}  // namespace

std::optional<MemoryRoom> memory_room(const fs::path& root) {
  std::optional<MemoryRoom> room;
  auto take = [&](std::uint64_t bytes, const std::string& source) {
    if (!room || bytes < room->bytes) room = MemoryRoom{bytes, source};
  };
  const fs::path status = root / "proc/self/status";
  if (const auto limit = cgroup_memory_limit(root)) {
    take(less(*limit, kib_field(status, "VmRSS").value_or(0)), "the cgroup memory limit of " + memory_text(*limit));
  }
  rlimit as{};
  if (root == "/" && getrlimit(RLIMIT_AS, &as) == 0 && as.rlim_cur != RLIM_INFINITY) {
    const auto limit = static_cast<std::uint64_t>(as.rlim_cur);
    take(less(limit, kib_field(status, "VmSize").value_or(0)),
         "the address-space limit (ulimit -v) of " + memory_text(limit));
  }
  if (!room) {
    if (const auto avail = kib_field(root / "proc/meminfo", "MemAvailable")) {
      take(*avail, "the memory available on this machine");
    }
  }
  return room;
}

std::string memory_text(std::uint64_t bytes) {
  char b[32];
  if (bytes >= 1000000000ull) {
    std::snprintf(b, sizeof b, "%.1f GB", static_cast<double>(bytes) / 1e9);
  } else {
    std::snprintf(b, sizeof b, "%.0f MB", std::max(1.0, static_cast<double>(bytes) / 1e6));
  }
  return b;
}

void check_grid_file_size(const fs::path& path, int32_t ni, int32_t nj, const std::string& control_file,
                          int32_t size_record) {
  if (grid_format(path) == GridFormat::geotiff || ni < 1 || nj < 1) return;
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) return;
  const std::uint64_t values = static_cast<std::uint64_t>(ni) * static_cast<std::uint64_t>(nj);
  const std::uint64_t least = 2 * values - 1;
  if (size >= least) return;
  throw InputError("file '" + path.string() + "': " + std::to_string(size) + " bytes cannot hold the " +
                   std::to_string(ni) + " x " + std::to_string(nj) + " grid of record " + std::to_string(size_record) +
                   " of '" + control_file + "': " + std::to_string(values) + " values take at least " +
                   std::to_string(least) + " bytes");
}

}  // namespace tarvex
