// Program entry: command line, working directory, one pass of the driver.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "driver/command_line.hpp"
#include "driver/init_command.hpp"
#include "driver/main_menu.hpp"
#include "driver/process_count.hpp"
#include "driver/report_page.hpp"
#include "io/gis_outputs.hpp"
#include "io/input_error.hpp"
#include "io/output_commit.hpp"
#include "io/quoted.hpp"
#include "io/run_lock.hpp"
#include "io/unread_values.hpp"
#include "terrain/pit_options.hpp"

#ifdef TARVEX_MPI
#include "calibration/mpi_evaluator.hpp"
#endif

#ifndef TARVEX_VERSION
#define TARVEX_VERSION "0.1.0"
#endif

namespace {

// One line on standard error. Messages may quote bytes of input files or
// arguments: they are written whole (a NUL does not end them) and escaped.
void report(std::string_view message) {
  const std::string line = "tarvex: " + tarvex::escaped(message) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

// The exit status once standard output has taken everything written to it;
// a lost write turns a success into failure_status. earlier_errno: the
// reason of a write that already failed (a text longer than the buffer is
// written, and fails, before the flush).
int checked_exit(int status, int failure_status, int earlier_errno = 0) {
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int err = earlier_errno != 0 ? earlier_errno : errno;
  if (flushed && !std::ferror(stdout)) return status;
  std::string message = "error: write error on standard output";
  if (err != 0) message += std::string(": ") + std::strerror(err);
  report(message);
  return status != 0 ? status : failure_status;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace tarvex;
  // A file over the size limit then fails its write, which is reported and
  // undone, instead of killing the process halfway through a record.
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  // `tarvex init ...`: a new catchment's control and search files.
  if (!args.empty() && args[0] == "init") {
    const int status = run_init_command(std::vector<std::string>(args.begin() + 1, args.end()));
    return checked_exit(status, 1);
  }
  if (!args.empty() && args[0] == "report") return checked_exit(report_command(args), 1);
  std::string error;
  auto cl = parse_command_line(args, error);
  if (!cl) {
    report(error + "; see tarvex --help");
    return 2;
  }
  if (cl->help) {
    errno = 0;
    const bool put = std::fputs(usage_text(), stdout) != EOF;
    return checked_exit(0, 2, put ? 0 : errno);
  }
  if (cl->version) {
    std::printf("tarvex %s\n", TARVEX_VERSION);
    return checked_exit(0, 2);
  }
#ifdef TARVEX_MPI
  MpiSession mpi(&argc, &argv);
  int mpi_status = 0;
  if (const std::string why = mpi.start(cl->search.analysis(), mpi_status); !why.empty()) {
    if (mpi.rank() == 0) report(why);
    return mpi_status;
  }
  // Every rank reads the same inputs: rank 0 tells of what they leave unread.
  if (mpi.rank() != 0) set_warning_sink([](const std::string&) {});
#else
  // Copies started by mpirun or srun would all write the same files.
  if (const int k = launched_processes(); k > 1) {
    report("error: started as " + std::to_string(k) + " processes (mpirun or srun), but this build has no MPI "
           "support: every process would write the same files; run one process, or build with -DTARVEX_MPI=ON "
           "for the search over ranks");
    return 1;
  }
#endif
  // Every output of the pass waits beside its name until the pass ends.
  hold_outputs();
  try {
    if (!cl->directory.empty()) {
      std::error_code ec;
      std::filesystem::current_path(cl->directory, ec);
      if (ec) {
        report("cannot use directory " + quoted_name(cl->directory) + ": " + ec.message());
        return 2;
      }
    }
#ifdef TARVEX_MPI
    const bool owner = mpi.rank() == 0;  // the other ranks write nothing
#else
    const bool owner = true;
#endif
    // What this build cannot write is refused before the pass.
    check_gis_outputs(cl->gis);
    set_gis_outputs(cl->gis);
    DirectoryLock lock;
    if (owner) lock.take();
    if (cl->strict) set_unread_values(UnreadValues::refuse);
    auto state = std::make_unique<ModelState>();
    if (cl->no_limits) state->control.limits = kNoLimits;
    TerrainOptions terrain = cl->terrain;
    terrain.progress = terrain.progress || isatty(STDERR_FILENO) != 0;
    const int status = checked_exit(MAINMENU(*state, cl->mode, cl->search, terrain, cl->control), 1);
    // The outputs of a finished pass (or of a search stopped by a signal
    // that kept its best point) go in place; any other end leaves the
    // earlier files as they were.
    if (status == 0 || status == 130 || status == 143) {
      commit_outputs();
    } else {
      discard_pending_outputs();
    }
    // A finished search or sensitivity run leaves its page; without one it
    // still succeeds.
    if (status == 0 && owner && cl->search.analysis() && report_wanted()) {
      if (const std::string why = write_report(".", shell_words(args)); !why.empty()) {
        report("warning: report.html not written: " + why);
      }
    }
    return status;
  } catch (const InputError& e) {
    discard_pending_outputs();
    checked_exit(1, 1);
    report(std::string("error: ") + e.what());
    return 1;
  } catch (const std::bad_alloc&) {
    discard_pending_outputs();
    checked_exit(1, 1);
    report("error: out of memory");
    return 1;
  } catch (...) {
    discard_pending_outputs();
    throw;
  }
}
