#pragma once
// Files of the calibration search besides the evaluation log: atomic
// replacement (the checkpoint), and cutting an appended
// record file back to a known length (a resumed search drops the records
// written after its checkpoint).
#include <cstdint>
#include <filesystem>
#include <string>

namespace tarvex {

// Writes text to "<path>.tmp" and renames it onto path, so that the file
// holds either the old or the new text. Throws InputError on failure.
void replace_file_atomically(const std::filesystem::path& path, const std::string& text);

// Size in bytes; 0 when the file does not exist.
std::uintmax_t file_size_or_zero(const std::filesystem::path& path);

// Cuts the file to size bytes. A file shorter than that (or missing, with
// size above 0) throws InputError: its records were changed since.
void truncate_file(const std::filesystem::path& path, std::uintmax_t size);

}  // namespace tarvex
