#include "io/append_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "io/input_error.hpp"
#include "io/output_sink.hpp"
#include "io/quoted.hpp"

namespace tarvex {

void append_whole(const std::filesystem::path& path, std::string_view text) {
  if (outputs_discarded()) return;
  const std::string name = path.string();
  auto error = [&](const std::string& what, int err) {
    return InputError("file " + quoted_name(name) + ": " + what + ": " + std::strerror(err));
  };
  bool created = false;
  int fd = ::open(name.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0 && errno == ENOENT) {
    fd = ::open(name.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_CREAT | O_EXCL, 0666);
    created = fd >= 0;
  }
  if (fd < 0) throw error("cannot be opened for appending", errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    throw error("cannot be examined", err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    throw InputError("file " + quoted_name(name) + ": not a regular file");
  }
  const off_t before = st.st_size;

  int err = 0;
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t k = ::write(fd, text.data() + done, text.size() - done);
    if (k < 0) {
      if (errno == EINTR) continue;
      err = errno;
      break;
    }
    if (k == 0) {
      err = EIO;
      break;
    }
    done += static_cast<std::size_t>(k);
  }
  if (err == 0) {
    if (::close(fd) == 0) return;
    err = errno;
    fd = -1;
  }
  // Undo the part that was written.
  if (created) {
    ::unlink(name.c_str());
  } else if (fd >= 0) {
    ::ftruncate(fd, before);
  } else {
    ::truncate(name.c_str(), before);
  }
  if (fd >= 0) ::close(fd);
  throw error("appending " + std::to_string(text.size()) + " bytes failed (the file is left as it was)", err);
}

}  // namespace tarvex
