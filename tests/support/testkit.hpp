#pragma once
// Helpers for the tests: scratch directories, files, capturing standard
// output, running the built program.
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "io/control_file.hpp"

namespace tarvex::test {

// "Tarvex.in" of the working directory, read for a pass in the given mode
// with the program's capacities; throws when it cannot be opened.
ControlFile control(int32_t mode);


// A fresh scratch directory, removed with its contents at the end.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  void write(const std::string& name, const std::string& text) const;
  std::string read(const std::string& name) const;
  bool exists(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

// Makes dir the working directory for the lifetime of the object.
class ChangeDir {
 public:
  explicit ChangeDir(const std::filesystem::path& dir);
  ~ChangeDir();

 private:
  std::filesystem::path old_;
};

void write_file(const std::filesystem::path& path, const std::string& text);
std::string read_file(const std::filesystem::path& path);

// The lines of text, without their line ends.
std::vector<std::string> lines_of(const std::string& text);
// Names of the files in dir.
std::set<std::string> files_in(const TempDir& dir);

// Runs fn with standard output redirected; returns what it printed.
std::string capture_stdout(const std::function<void()>& fn);

// Runs fn (its standard output captured) and expects an InputError whose
// text holds every part.
void expect_input_error(const std::function<void()>& fn, const std::vector<std::string>& parts);

struct RunResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};
// Runs the built tarvex binary with args in dir.
RunResult run_tarvex(const std::vector<std::string>& args, const std::filesystem::path& dir);

// Starts the program with args in dir and kills it (SIGKILL) once its
// checkpoint file exists without the line `unstarted` (e.g. "\nloop 0\n"):
// a run to resume.
void kill_once_saved(const TempDir& dir, const std::vector<std::string>& args, const std::string& checkpoint,
                     const std::string& unstarted);
// The same for a search (-j 1) past its initial population.
void kill_search_past_first_loop(const TempDir& dir);

// Path of the built program, the test data folder and the source tree.
std::filesystem::path tarvex_binary();
std::filesystem::path test_data_dir();
std::filesystem::path source_dir();

// Copies every file of src into dst.
void copy_dir(const std::filesystem::path& src, const std::filesystem::path& dst);

}  // namespace tarvex::test
