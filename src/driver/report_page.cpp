#include "driver/report_page.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "io/child_process.hpp"
#include "io/quoted.hpp"

#ifndef TARVEX_VERSION
#define TARVEX_VERSION "0.1.0"
#endif

namespace tarvex {
namespace {

bool is_file(const std::filesystem::path& p) {
  std::error_code ec;
  return std::filesystem::is_regular_file(p, ec);
}

}  // namespace

std::optional<std::string> report_script() {
  if (const char* env = std::getenv("TARVEX_REPORT_SCRIPT"); env != nullptr && *env != '\0') {
    if (is_file(env)) return std::string(env);
    return std::nullopt;
  }
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    const std::filesystem::path bin = exe.parent_path();
    for (const auto& p : {bin / "report.py", bin / ".." / "share" / "tarvex" / "report.py"}) {
      if (is_file(p)) return p.lexically_normal().string();
    }
  }
#ifdef TARVEX_SOURCE_SCRIPTS
  const std::filesystem::path source = std::filesystem::path(TARVEX_SOURCE_SCRIPTS) / "report.py";
  if (is_file(source)) return source.string();
#endif
  return std::nullopt;
}

std::string write_report(const std::string& dir, const std::string& command) {
  const std::optional<std::string> script = report_script();
  if (!script) return "the page's script report.py was not found (set TARVEX_REPORT_SCRIPT)";
  std::vector<std::string> pythons;
  if (const char* env = std::getenv("TARVEX_PYTHON"); env != nullptr && *env != '\0') {
    pythons.emplace_back(env);
  } else {
    pythons = {"python3", "/usr/bin/python3"};
  }
  for (const std::string& py : pythons) {
    std::vector<std::string> argv = {py, *script, dir, "--version", TARVEX_VERSION};
    if (!command.empty()) {
      argv.emplace_back("--command");
      argv.push_back(command);
    }
    const int status = run_child(argv);
    if (status == 0) return "";
    if (status == 1) return "the script gave up (see the line above)";
    if (status != 3 && status != 127 && status != -1) {
      return *script + " failed with exit status " + std::to_string(status);
    }
  }
  return "no python3 with matplotlib (install python3-matplotlib)";
}

bool report_wanted() {
  const char* env = std::getenv("TARVEX_REPORT");
  return env == nullptr || std::string(env) != "off";
}

std::string shell_words(const std::vector<std::string>& args) {
  std::string out = "tarvex";
  for (const std::string& a : args) {
    out += ' ';
    if (!a.empty() && a.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_=./:,+%@")
                          == std::string::npos) {
      out += a;
    } else {
      out += '\'';
      for (char c : a) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
      out += '\'';
    }
  }
  return out;
}

int report_command(const std::vector<std::string>& args) {
  // args[0] is "report"
  if (args.size() > 2 || (args.size() == 2 && (args[1].empty() || args[1][0] == '-'))) {
    const std::string bad = args.size() > 2 ? args[2] : args[1];
    std::fprintf(stderr, "tarvex: usage: tarvex report [DIR] (unexpected argument %s); see tarvex --help\n",
                 quoted_name(bad).c_str());
    return 2;
  }
  const std::string dir = args.size() == 2 ? args[1] : ".";
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    std::fprintf(stderr, "tarvex: error: report: %s is not a directory\n", quoted_name(dir).c_str());
    return 1;
  }
  const std::string why = write_report(dir, "");
  if (why.empty()) {
    std::printf("wrote %s\n", (std::filesystem::path(dir) / "report.html").string().c_str());
    return 0;
  }
  if (why.rfind("the script gave up", 0) != 0) std::fprintf(stderr, "tarvex: error: report.html not written: %s\n", why.c_str());
  return 1;
}

}  // namespace tarvex
