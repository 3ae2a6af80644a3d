#include "io/run_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "io/input_error.hpp"

namespace tarvex {

namespace {

// The id the holder wrote, or "" (not yet written, or not a number).
std::string holder_of(int fd) {
  char buf[32] = {};
  const ssize_t k = ::pread(fd, buf, sizeof buf - 1, 0);
  if (k <= 0) return "";
  std::string pid;
  for (ssize_t i = 0; i < k && buf[i] >= '0' && buf[i] <= '9'; ++i) pid.push_back(buf[i]);
  return pid;
}

}  // namespace

void lock_working_directory() {
  const int fd = ::open(kLockFile, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (fd < 0) {
    if (errno == EACCES || errno == EROFS || errno == EPERM) return;
    throw InputError("file " + quoted_name(kLockFile) + " (the lock of this directory) cannot be opened: " +
                     std::strerror(errno));
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    if (err != EWOULDBLOCK) {
      ::close(fd);
      return;
    }
    const std::string pid = holder_of(fd);
    ::close(fd);
    std::error_code ec;
    const std::string dir = std::filesystem::current_path(ec).string();
    throw InputError("directory " + quoted_name(dir) + " is in use by another run of tarvex (" +
                     (pid.empty() ? std::string("a process") : "process " + pid) + " holds the lock file " +
                     quoted_name(kLockFile) + "); wait for it to end, or run in another directory");
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd, 0) == 0) {
    [[maybe_unused]] const ssize_t k = ::pwrite(fd, pid.data(), pid.size(), 0);
  }
  // fd stays open: the lock lasts as long as the process.
}

}  // namespace tarvex
