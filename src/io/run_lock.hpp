#pragma once
// One run at a time in a directory: an exclusive lock (flock) on the file
// ".tarvex.lock" of the working directory, held through a descriptor that
// stays open while the run lasts. The kernel drops the lock when the process
// ends, however it ends, so a killed run never blocks the next one (its file
// may stay behind; it holds no lock).
namespace tarvex {

inline constexpr const char* kLockFile = ".tarvex.lock";

class DirectoryLock {
 public:
  DirectoryLock() = default;
  // Removes the file, then releases the lock.
  ~DirectoryLock();
  DirectoryLock(const DirectoryLock&) = delete;
  DirectoryLock& operator=(const DirectoryLock&) = delete;

  // Takes the lock in the working directory and writes this process's id
  // into the file; removes the temporaries of runs killed there before. When another process holds it, throws InputError naming
  // that process. Where the file cannot be created (a read-only directory)
  // or the file system has no locks, the run goes on unlocked.
  void take();

 private:
  int fd_ = -1;
};

}  // namespace tarvex
