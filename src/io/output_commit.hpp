#pragma once
// Whole-file outputs are written to a temporary beside their final name
// (".<name>.tarvex-<pid>-<n>.tmp" in the same folder) and renamed into place
// when done, so that no reader ever sees a partial file. Once the program
// calls hold_outputs(), a closed output waits as pending until the run is
// settled: commit_outputs() renames every pending file into place, in the
// order they were closed; discard_pending_outputs() removes every temporary,
// and a failed run leaves the earlier files as they were. Without
// hold_outputs() (library use, tests) an output is renamed at its close.
// A run killed outright leaves its temporaries: the next run that takes the
// directory's lock, or writes an output of that name, removes those of
// processes that no longer exist.
#include <filesystem>
#include <string>

namespace tarvex {

// Defers every later output until commit_outputs() or
// discard_pending_outputs(); temporaries left at exit() are removed.
void hold_outputs();

// Starts an output of final name path: returns where to write it (a
// temporary beside it, or path itself when that exists and is no regular
// file, such as a directory, a device or a pipe, or is a file this user may
// not write: opening it then fails or writes it as before).
std::filesystem::path begin_output(const std::filesystem::path& path);
// The output written to temp is complete: renamed now or held as pending.
// Throws InputError when the rename fails.
void end_output(const std::filesystem::path& path, const std::filesystem::path& temp);
// The output written to temp is dropped: the temporary is removed.
void abandon_output(const std::filesystem::path& path, const std::filesystem::path& temp);

// The file to open for reading path: the pending temporary of an output
// this run wrote under that name, else path itself.
std::filesystem::path readable_path(const std::filesystem::path& path);

// Removes the output named path: its pending temporary now, a file already
// there when the run is committed (at once when outputs are not held).
void remove_output(const std::filesystem::path& path);
// Renames the pending output named path into place now, ahead of the rest.
void commit_output(const std::filesystem::path& path);

// Renames every pending output into place. Throws InputError naming the
// file when a rename fails; the outputs not yet renamed are then removed.
void commit_outputs();
// Removes the temporary of every output, pending or still open.
void discard_pending_outputs();

// Removes from directory dir the temporaries left by runs that ended before
// their outputs went in place (killed, or stopped by a signal while writing):
// regular files named as above whose process no longer exists; with base,
// only those of outputs named base. A live process's temporaries are kept.
void remove_stale_temporaries(const std::filesystem::path& dir, const std::string& base = "");

}  // namespace tarvex
