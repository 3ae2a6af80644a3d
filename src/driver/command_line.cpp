#include "driver/command_line.hpp"

namespace tarvex {
namespace {

std::optional<int32_t> parse_mode(const std::string& v) {
  if (v == "1" || v == "terrain") return 1;
  if (v == "2" || v == "event") return 2;
  if (v == "3" || v == "continuous") return 3;
  if (v == "4" || v == "calibration") return 4;
  return std::nullopt;
}

// A thread count: digits only, 0 (the machine's cores) to 1024.
std::optional<int32_t> parse_jobs(const std::string& v) {
  if (v.empty() || v.size() > 4 || v.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const int32_t n = std::stoi(v);
  if (n > 1024) return std::nullopt;
  return n;
}

// A count or seed: digits only, at most 18 of them.
std::optional<int64_t> parse_count(const std::string& v) {
  if (v.empty() || v.size() > 18 || v.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return std::stoll(v);
}

}  // namespace

std::optional<CommandLine> parse_command_line(const std::vector<std::string>& args, std::string& error) {
  CommandLine cl;
  bool search_given = false;
  std::string option_given;  // a search option, meaningful only with --search
  std::string analysis_option;  // meaningful only with --sensitivity
  for (std::size_t k = 0; k < args.size(); ++k) {
    const std::string& a = args[k];
    auto value = [&](const std::string& opt) -> std::optional<std::string> {
      if (k + 1 >= args.size()) {
        error = "option " + opt + " needs a value";
        return std::nullopt;
      }
      return args[++k];
    };
    if (a == "--help" || a == "-h") {
      cl.help = true;
    } else if (a == "--version") {
      cl.version = true;
    } else if (a == "--mode" || a == "-m") {
      auto v = value(a);
      if (!v) return std::nullopt;
      auto m = parse_mode(*v);
      if (!m) {
        error = "unknown run mode '" + *v + "'";
        return std::nullopt;
      }
      cl.mode = *m;
    } else if (a.rfind("--mode=", 0) == 0) {
      auto m = parse_mode(a.substr(7));
      if (!m) {
        error = "unknown run mode '" + a.substr(7) + "'";
        return std::nullopt;
      }
      cl.mode = *m;
    } else if (a == "-C" || a == "--directory") {
      auto v = value(a);
      if (!v) return std::nullopt;
      if (v->empty()) {
        error = "option " + a + " needs a directory name, not an empty text";
        return std::nullopt;
      }
      cl.directory = *v;
    } else if (a.rfind("--directory=", 0) == 0) {
      if (a.size() == 12) {
        error = "option --directory needs a directory name, not an empty text";
        return std::nullopt;
      }
      cl.directory = a.substr(12);
    } else if (a == "--no-limits") {
      cl.no_limits = true;
    } else if (a == "--strict") {
      cl.strict = true;
    } else if (a == "--search") {
      cl.search.search = true;
      search_given = true;
    } else if (a == "--resume") {
      cl.search.resume = true;
      option_given = a;
    } else if (a == "--progress") {
      cl.search.progress = true;
      option_given = a;
    } else if (a == "--objective" || a.rfind("--objective=", 0) == 0) {
      std::optional<std::string> v = a == "--objective" ? value(a) : std::optional<std::string>(a.substr(12));
      if (!v) return std::nullopt;
      auto o = parse_objective(*v);
      if (!o) {
        error = "unknown objective '" + *v + "' (sse, nse, lognse, kge, kge2012, rmse or pbias)";
        return std::nullopt;
      }
      cl.search.objective = *o;
      option_given = "--objective";
    } else if (a == "-j" || a == "--jobs" || a.rfind("--jobs=", 0) == 0 || (a.size() > 2 && a.rfind("-j", 0) == 0)) {
      std::optional<std::string> v = a == "-j" || a == "--jobs" ? value(a)
                                     : std::optional<std::string>(a.substr(a[1] == 'j' ? 2 : 7));
      if (!v) return std::nullopt;
      auto j = parse_jobs(*v);
      if (!j) {
        error = "the thread count must be a whole number from 0 to 1024, found '" + *v + "'";
        return std::nullopt;
      }
      cl.jobs = *j;
      cl.search.jobs = *j;
    } else if (a == "--control" || a.rfind("--control=", 0) == 0) {
      std::optional<std::string> v = a == "--control" ? value(a) : std::optional<std::string>(a.substr(10));
      if (!v) return std::nullopt;
      if (v->empty()) {
        error = "option --control needs a file name, not an empty text";
        return std::nullopt;
      }
      cl.control = *v;
    } else if (a == "--score-control") {
      cl.search.score_control = true;
    } else if (a == "--sensitivity" || a.rfind("--sensitivity=", 0) == 0) {
      std::optional<std::string> v = a == "--sensitivity" ? value(a) : std::optional<std::string>(a.substr(14));
      if (!v) return std::nullopt;
      if (*v == "morris") {
        cl.search.sensitivity = SearchOptions::Sensitivity::morris;
      } else if (*v == "sobol") {
        cl.search.sensitivity = SearchOptions::Sensitivity::sobol;
      } else {
        error = "unknown sensitivity method '" + *v + "' (morris or sobol)";
        return std::nullopt;
      }
    } else if (a == "--samples" || a == "--seed" || a.rfind("--samples=", 0) == 0 || a.rfind("--seed=", 0) == 0) {
      const bool samples = a.rfind("--samples", 0) == 0;
      const std::string name = samples ? "--samples" : "--seed";
      std::optional<std::string> v = a == name ? value(a) : std::optional<std::string>(a.substr(name.size() + 1));
      if (!v) return std::nullopt;
      const std::optional<int64_t> c = parse_count(*v);
      if (!c || (samples && *c < 1)) {
        error = "option " + name + " needs a whole number " + (samples ? "from 1" : "from 0") +
                " (at most 18 digits), found '" + *v + "'";
        return std::nullopt;
      }
      if (samples) {
        cl.search.samples = *c;
      } else {
        cl.search.seed = static_cast<uint64_t>(*c);
      }
      analysis_option = name;
    } else {
      error = "unknown argument '" + a + "'";
      return std::nullopt;
    }
  }
  const bool sensitivity = cl.search.sensitivity != SearchOptions::Sensitivity::none;
  if (!option_given.empty() && !search_given && !sensitivity) {
    error = "option " + option_given + " needs --search";
    return std::nullopt;
  }
  if (!analysis_option.empty() && !sensitivity) {
    error = "option " + analysis_option + " needs --sensitivity";
    return std::nullopt;
  }
  if (sensitivity && search_given) {
    error = "options --search and --sensitivity exclude each other";
    return std::nullopt;
  }
  if (sensitivity && cl.mode != 4) {
    error = "option --sensitivity needs the calibration mode";
    return std::nullopt;
  }
  if (cl.search.score_control && (cl.mode != 4 || cl.search.analysis())) {
    error = "option --score-control needs the calibration mode without --search or --sensitivity";
    return std::nullopt;
  }
  if (search_given && cl.mode != 4) {
    error = "option --search needs the calibration mode";
    return std::nullopt;
  }
  return cl;
}

const char* usage_text() {
  return "Usage: tarvex [--mode MODE] [-C DIR] [-j N] [--no-limits] [--strict]\n"
         "              [--search [--objective NAME] [--resume] [--progress]]\n"
         "              [--control FILE] [--score-control]\n"
         "              [--sensitivity morris|sobol [--samples N] [--seed S] [--objective NAME]\n"
         "                                          [--resume] [--progress]]\n"
         "\n"
         "Distributed rainfall-runoff model of one catchment. Reads the control file\n"
         "\"Tarvex.in\" and the files it names from the working directory.\n"
         "\n"
         "  -m, --mode MODE       run mode (default 4):\n"
         "                          1, terrain      DEM to flow directions, areas, orders, links\n"
         "                          2, event        single run, curve-number event method\n"
         "                          3, continuous   single run, continuous soil water balance\n"
         "                          4, calibration  score the parameters of \"scein.dat\" against\n"
         "                                          the observed discharge\n"
         "  -C, --directory DIR   read and write every file in DIR\n"
         "  -j, --jobs N          threads (default 0: the machine's cores; 1 runs single-\n"
         "                        threaded): of each simulation run, or with --search of\n"
         "                        the search's evaluations. A small catchment uses fewer;\n"
         "                        the results are the same for every N\n"
         "      --no-limits       lift the capacities (grid side 1000, 10000 links and\n"
         "                        stream starts, 4 rain gauges, 1 temperature station,\n"
         "                        40000 records and observed values, 10 exempt cells) up\n"
         "                        to what memory holds; 3 roughness classes and 1 cross-\n"
         "                        section stay\n"
         "      --strict          refuse values an input file holds beyond what is read\n"
         "                        (the rest of a record, records after a grid's last\n"
         "                        row) instead of a warning on stderr\n"
         "      --search          calibration mode: search the parameters within the bounds\n"
         "                        of \"scein.dat\" (shuffled complex evolution); records in\n"
         "                        \"min-ris.txt\", \"sce_evaluations.csv\", \"sceout.dat\",\n"
         "                        best series in \"outlet.out\"\n"
         "      --objective NAME  what the search minimises: sse (default, sum of squared\n"
         "                        differences), nse, lognse, kge, kge2012 (as 1 - E), rmse,\n"
         "                        pbias (as |PBIAS|); names in any case\n"
         "      --resume          continue the search saved in \"sce_checkpoint.txt\"\n"
         "      --progress        a progress line per loop on stderr (default only when\n"
         "                        stderr is a terminal)\n"
         "                        In a build with MPI (-DTARVEX_MPI=ON),\n"
         "                        mpirun -np K tarvex --search [-j N] spreads the\n"
         "                        evaluations over K ranks of N threads; rank 0 writes\n"
         "                        every file\n"
         "      --control FILE    read the control file FILE instead of \"Tarvex.in\"\n"
         "                        (every mode). A search also writes \"Tarvex.best.in\":\n"
         "                        the control file with the best parameters in place of\n"
         "                        its nine calibrated values, every other byte kept\n"
         "      --score-control   calibration mode without --search: score the control\n"
         "                        file's nine parameter values instead of the initial\n"
         "                        values of \"scein.dat\" (e.g. with --control\n"
         "                        Tarvex.best.in: the search's best objective)\n"
         "      --sensitivity M   calibration mode: sensitivity of the objective to the\n"
         "                        parameters of \"scein.dat\" within their bounds;\n"
         "                        M = morris (elementary effects: mu*, mu, sigma; p = 4\n"
         "                        levels) or sobol (first-order and total indices, Jansen\n"
         "                        estimators, 95 % bootstrap intervals, N (2 NPAR + 2)\n"
         "                        runs); \"sensitivity.csv\" a row per parameter, every run\n"
         "                        in \"sensitivity_evaluations.csv\", checkpoint in\n"
         "                        \"sensitivity_checkpoint.txt\" (--resume continues it)\n"
         "      --samples N       morris: trajectories (default 20, at least 2); sobol:\n"
         "                        base samples (default 512, at least 8)\n"
         "      --seed S          seed of the trajectories, of the random shift of the\n"
         "                        Sobol' points and of the bootstrap (default 1)\n"
         "  -h, --help            show this help\n"
         "      --version         show the version\n"
         "\n"
         "Exit status: 0 success; 1 a run refused by a numbered message or an input\n"
         "error, or another run at work in the directory; 2 a command-line usage error;\n"
         "130 (SIGINT, Ctrl-C) or 143 (SIGTERM) a search stopped with its best point so\n"
         "far written (--resume continues it). A failed write to standard output\n"
         "gives 1 (2 for --help and --version).\n";
}

}  // namespace tarvex
