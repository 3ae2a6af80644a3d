#pragma once
// One run at a time in a directory: an exclusive lock (flock) on the file
// ".tarvex.lock" of the working directory, held through a descriptor that
// stays open until the process ends. The kernel drops the lock when the
// process ends, however it ends, so a lock is never left behind.
namespace tarvex {

inline constexpr const char* kLockFile = ".tarvex.lock";

// Takes the lock for the rest of the process and writes this process's id
// into the file. When another process holds it, throws InputError naming
// that process. Where the file cannot be created (a read-only directory) or
// the file system has no locks, the run goes on unlocked.
void lock_working_directory();

}  // namespace tarvex
