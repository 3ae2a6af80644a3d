#pragma once
// Digests of input files: a resumed search compares them with those saved
// when it began, so that it goes on only on the same data. FNV-1a (64 bits)
// over the file's bytes: fast, and plenty to tell an edited file from the
// original (not meant against deliberate collisions).
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace tarvex {

inline constexpr uint64_t kFnv1aOffset = 0xcbf29ce484222325ull;

// FNV-1a of bytes, continued from h (the offset basis for a new digest).
uint64_t fnv1a64(std::string_view bytes, uint64_t h = kFnv1aOffset);

// The digest of a file's bytes as 16 lower-case hex digits. A file that is
// not a regular file or cannot be read throws InputError naming it.
std::string file_digest(const std::filesystem::path& path);

}  // namespace tarvex
