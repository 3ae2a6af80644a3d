#pragma once
// What a large run may take, looked up before it takes it: the memory the
// process may still use, and the least size of a grid file of NI x NJ values.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace tarvex {

struct MemoryRoom {
  std::uint64_t bytes = 0;  // what the process may still take
  std::string source;       // where the bound comes from, for messages
};

// The least of the cgroup's memory limit (v2 memory.max or v1
// memory.limit_in_bytes of the process's cgroup and its parents) less the
// process's resident memory, and the address-space limit (RLIMIT_AS) less
// the address space in use; with neither set, MemAvailable of /proc/meminfo.
// Nothing when none of them can be read. `root` prefixes /proc and /sys
// (tests).
std::optional<MemoryRoom> memory_room(const std::filesystem::path& root = "/");

// Bytes as "850 MB" or "12.3 GB" (decimal units).
std::string memory_text(std::uint64_t bytes);

// Refuses (InputError naming the file, its size and the least size) a grid
// file in the text layout or an ESRI ASCII grid too small to hold ni x nj
// values: each takes a character and a separator. A GeoTIFF may be
// compressed (its header declares the size, checked when it is opened); a
// file that cannot be examined is left to its reader.
void check_grid_file_size(const std::filesystem::path& path, int32_t ni, int32_t nj, const std::string& control_file,
                          int32_t size_record);

}  // namespace tarvex
