#pragma once
// Whether two names lead to the same file, so that a run can refuse to write
// an output over one of its inputs.
#include <filesystem>
#include <string>
#include <vector>

namespace tarvex {

// A file of a pass and where it is named, e.g. "the DEM (record 12 of 'Tarvex.in')".
struct NamedFile {
  std::filesystem::path path;
  std::string role;
};

// Throws InputError "file 'x': not a regular file" when path leads to
// something other than a regular file, a directory or nothing; looked up
// without opening it, since opening a pipe or a device could block.
void refuse_special_input(const std::filesystem::path& path);

// True when a and b are the same path, or name one existing file (device
// and inode), links and relative names included.
bool same_file(const std::filesystem::path& a, const std::filesystem::path& b);

// Throws InputError naming both when an output is one of the inputs.
void refuse_outputs_over_inputs(const std::vector<NamedFile>& inputs, const std::vector<NamedFile>& outputs);

}  // namespace tarvex
