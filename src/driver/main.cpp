// Program entry: command line, working directory, one pass of the driver.
#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "driver/command_line.hpp"
#include "driver/main_menu.hpp"
#include "io/input_error.hpp"

#ifndef TARVEX_VERSION
#define TARVEX_VERSION "0.1.0"
#endif

int main(int argc, char** argv) {
  using namespace tarvex;
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string error;
  auto cl = parse_command_line(args, error);
  if (!cl) {
    std::fprintf(stderr, "tarvex: %s\n\n%s", error.c_str(), usage_text());
    return 2;
  }
  if (cl->help) {
    std::fputs(usage_text(), stdout);
    return 0;
  }
  if (cl->version) {
    std::printf("tarvex %s\n", TARVEX_VERSION);
    return 0;
  }
  try {
    if (!cl->directory.empty()) {
      std::error_code ec;
      std::filesystem::current_path(cl->directory, ec);
      if (ec) {
        std::fprintf(stderr, "tarvex: cannot use directory '%s': %s\n", cl->directory.c_str(),
                     ec.message().c_str());
        return 2;
      }
    }
    auto state = std::make_unique<ModelState>();
    int status = MAINMENU(*state, cl->mode, cl->search);
    std::fflush(stdout);
    return status;
  } catch (const InputError& e) {
    std::fflush(stdout);
    std::fprintf(stderr, "tarvex: error: %s\n", e.what());
    return 1;
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    std::fprintf(stderr, "tarvex: error: out of memory\n");
    return 1;
  }
}
