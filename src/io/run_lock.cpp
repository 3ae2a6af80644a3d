#include "io/run_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

#include "io/input_error.hpp"
#include "io/output_commit.hpp"
#include "io/quoted.hpp"

namespace tarvex {

namespace {

// The id the holder wrote, or "" (not yet written, or not a number).
std::string holder_of(int fd) {
  char buf[32] = {};
  const ssize_t k = ::pread(fd, buf, sizeof buf - 1, 0);
  std::string pid;
  for (ssize_t i = 0; i < k && buf[i] >= '0' && buf[i] <= '9'; ++i) pid.push_back(buf[i]);
  return pid;
}

// The name still leads to the locked file: a holder that ended meanwhile
// removes the file it locked, and a lock on that file guards nothing.
bool still_named(int fd) {
  struct stat held {}, named {};
  return ::fstat(fd, &held) == 0 && ::lstat(kLockFile, &named) == 0 && held.st_dev == named.st_dev &&
         held.st_ino == named.st_ino;
}

}  // namespace

void DirectoryLock::take() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const int fd = ::open(kLockFile, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0) {
      if (errno == EACCES || errno == EROFS || errno == EPERM) return;
      throw InputError("file " + quoted_name(kLockFile) + " (the lock of this directory) cannot be opened: " +
                       std::strerror(errno));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int err = errno;
      const std::string pid = err == EWOULDBLOCK ? holder_of(fd) : "";
      ::close(fd);
      if (err != EWOULDBLOCK) return;
      std::error_code ec;
      const std::string dir = std::filesystem::current_path(ec).string();
      throw InputError("directory " + quoted_name(dir) + " is in use by another run of tarvex (" +
                       (pid.empty() ? std::string("a process") : "process " + pid) + " holds the lock file " +
                       quoted_name(kLockFile) + "); wait for it to end, or run in another directory");
    }
    if (!still_named(fd)) {
      ::close(fd);
      continue;
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    if (::ftruncate(fd, 0) == 0) {
      [[maybe_unused]] const ssize_t k = ::pwrite(fd, pid.data(), pid.size(), 0);
    }
    fd_ = fd;
    remove_stale_temporaries(".");
    return;
  }
}

DirectoryLock::~DirectoryLock() {
  if (fd_ < 0) return;
  ::unlink(kLockFile);
  ::close(fd_);
}

}  // namespace tarvex
