#include "io/file_identity.hpp"

#include <sys/stat.h>

#include "io/input_error.hpp"
#include "io/quoted.hpp"

namespace tarvex {

void refuse_special_input(const std::filesystem::path& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    throw InputError("file " + quoted_name(path.string()) + ": not a regular file");
  }
}

bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
  if (a.empty() || b.empty()) return false;
  if (a.lexically_normal() == b.lexically_normal()) return true;
  struct stat sa, sb;
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void refuse_outputs_over_inputs(const std::vector<NamedFile>& inputs, const std::vector<NamedFile>& outputs) {
  for (const NamedFile& out : outputs) {
    for (const NamedFile& in : inputs) {
      if (!same_file(out.path, in.path)) continue;
      throw InputError("file '" + out.path.string() + "': " + out.role + " would overwrite " + in.role +
                       (out.path == in.path ? "" : " ('" + in.path.string() + "')") +
                       "; an output must not be an input: name another file");
    }
  }
}

}  // namespace tarvex
