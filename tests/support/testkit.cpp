#include "support/testkit.hpp"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <thread>
#include <sstream>
#include <stdexcept>

#include "io/input_error.hpp"
#include "model/limits.hpp"

namespace tarvex::test {

ControlFile control(int32_t mode) {
  auto c = ControlFile::read("Tarvex.in", mode);
  if (!c) throw InputError("file 'Tarvex.in' cannot be opened for reading");
  return *c;
}


TempDir::TempDir() {
  std::random_device rd;
  auto base = std::filesystem::temp_directory_path();
  for (int tries = 0; tries < 100; ++tries) {
    auto p = base / ("tarvex-test-" + std::to_string(rd()) + std::to_string(::getpid()));
    if (std::filesystem::create_directory(p)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("cannot create a scratch directory");
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void TempDir::write(const std::string& name, const std::string& text) const { write_file(path_ / name, text); }
std::string TempDir::read(const std::string& name) const { return read_file(path_ / name); }
bool TempDir::exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }

ChangeDir::ChangeDir(const std::filesystem::path& dir) : old_(std::filesystem::current_path()) {
  std::filesystem::current_path(dir);
}
ChangeDir::~ChangeDir() {
  std::error_code ec;
  std::filesystem::current_path(old_, ec);
}

void write_file(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

std::set<std::string> files_in(const TempDir& dir) {
  std::set<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) names.insert(e.path().filename().string());
  return names;
}

std::string capture_stdout(const std::function<void()>& fn) {
  std::fflush(stdout);
  std::FILE* tmp = std::tmpfile();
  int saved = ::dup(1);
  ::dup2(::fileno(tmp), 1);
  try {
    fn();
  } catch (...) {
    std::fflush(stdout);
    ::dup2(saved, 1);
    ::close(saved);
    std::fclose(tmp);
    throw;
  }
  std::fflush(stdout);
  ::dup2(saved, 1);
  ::close(saved);
  std::rewind(tmp);
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, tmp)) > 0) out.append(buf, n);
  std::fclose(tmp);
  return out;
}

void expect_input_error(const std::function<void()>& fn, const std::vector<std::string>& parts) {
  try {
    capture_stdout(fn);
    ADD_FAILURE() << "accepted";
  } catch (const InputError& e) {
    const std::string m = e.what();
    for (const auto& p : parts) EXPECT_NE(m.find(p), std::string::npos) << m;
  }
}

namespace {
std::string shell_quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}
}  // namespace

RunResult run_tarvex(const std::vector<std::string>& args, const std::filesystem::path& dir) {
  TempDir io;
  std::string cmd = "cd " + shell_quote(dir.string()) + " && " + shell_quote(tarvex_binary().string());
  for (const auto& a : args) cmd += " " + shell_quote(a);
  cmd += " </dev/null >" + shell_quote((io.path() / "out").string()) + " 2>" +
         shell_quote((io.path() / "err").string());
  int status = std::system(cmd.c_str());
  RunResult r;
  r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = io.read("out");
  r.err = io.read("err");
  return r;
}

void kill_once_saved(const TempDir& dir, const std::vector<std::string>& args, const std::string& checkpoint,
                     const std::string& unstarted) {
  std::string cmd = "cd " + shell_quote(dir.path().string()) + " && (exec " + shell_quote(tarvex_binary().string());
  for (const std::string& a : args) cmd += " " + shell_quote(a);
  cmd += " >/dev/null 2>&1) & echo $! > " + shell_quote((dir / "pid").string());
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  const pid_t pid = static_cast<pid_t>(std::stol(dir.read("pid")));
  for (int k = 0; k < 3000; ++k) {
    if (dir.exists(checkpoint) && dir.read(checkpoint).find(unstarted) == std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  kill(pid, SIGKILL);
  for (int k = 0; k < 1000 && kill(pid, 0) == 0; ++k) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::filesystem::remove(dir / "pid");
}

void kill_search_past_first_loop(const TempDir& dir) {
  kill_once_saved(dir, {"--search", "-j", "1"}, "sce_checkpoint.txt", "\nloop 0\n");
}

std::filesystem::path tarvex_binary() { return TARVEX_BINARY; }
std::filesystem::path test_data_dir() { return TARVEX_TEST_DATA; }
std::filesystem::path source_dir() { return TARVEX_SOURCE_DIR; }

void copy_dir(const std::filesystem::path& src, const std::filesystem::path& dst) {
  for (const auto& e : std::filesystem::directory_iterator(src)) {
    if (e.is_regular_file()) {
      std::filesystem::copy_file(e.path(), dst / e.path().filename(),
                                 std::filesystem::copy_options::overwrite_existing);
    }
  }
}

}  // namespace tarvex::test
