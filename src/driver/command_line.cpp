#include "driver/command_line.hpp"

#include <charconv>
#include <cmath>
#include <filesystem>

#include "io/stream_vectors.hpp"
#include <cstdlib>

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

// A whole number from lo to hi, digits only.
std::optional<int32_t> parse_count(const std::string& v, int32_t lo, int32_t hi) {
  if (v.empty() || v.size() > 9 || v.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  const int32_t n = std::stoi(v);
  if (n < lo || n > hi) return std::nullopt;
  return n;
}

// A depth in m: a finite number above 0 and at most 10000.
std::optional<float> parse_depth(const std::string& v) {
  if (v.empty() || v.find_first_not_of("0123456789.") != std::string::npos) return std::nullopt;
  char* end = nullptr;
  const double d = std::strtod(v.c_str(), &end);
  if (end != v.c_str() + v.size() || !(d > 0.0 && d <= 10000.0)) return std::nullopt;
  return static_cast<float>(d);
}

// Days of a warm-up: a plain decimal number, 0 to 100000.
std::optional<double> parse_days(const std::string& v) {
  if (v.empty() || v.size() > 12 || v.find_first_not_of("0123456789.") != std::string::npos ||
      v.find('.') != v.rfind('.') || v == ".") {
    return std::nullopt;
  }
  const double d = std::stod(v);
  if (d > 100000.0) return std::nullopt;
  return d;
}

// A count or seed: digits only, at most 18 of them.
std::optional<int64_t> parse_whole(const std::string& v) {
  if (v.empty() || v.size() > 18 || v.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
  return std::stoll(v);
}

}  // namespace

std::optional<CommandLine> parse_command_line(const std::vector<std::string>& args, std::string& error) {
  CommandLine cl;
  bool search_given = false;
  std::string option_given;  // a search option, meaningful only with --search
  std::string terrain_given;  // a terrain option, meaningful only in the terrain mode
  std::string breach_given;   // a breach option, meaningful only with --pits breach
  bool progress_given = false;
  std::string analysis_option;  // meaningful only with --sensitivity or --uncertainty
  bool behavioural_given = false;  // meaningful only with --uncertainty glue
  bool min_ess_given = false;      // meaningful only with --uncertainty dream
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
      cl.terrain.progress = true;
      progress_given = true;
    } else if (a == "--pits" || a.rfind("--pits=", 0) == 0) {
      std::optional<std::string> v = a == "--pits" ? value(a) : std::optional<std::string>(a.substr(7));
      if (!v) return std::nullopt;
      if (*v == "raise") {
        cl.terrain.pits = PitMethod::raise;
      } else if (*v == "fill") {
        cl.terrain.pits = PitMethod::fill;
      } else if (*v == "breach") {
        cl.terrain.pits = PitMethod::breach;
      } else {
        error = "unknown pit method '" + *v + "' (raise, fill or breach)";
        return std::nullopt;
      }
      terrain_given = "--pits";
    } else if (a == "--breach-length" || a.rfind("--breach-length=", 0) == 0) {
      std::optional<std::string> v = a == "--breach-length" ? value(a) : std::optional<std::string>(a.substr(16));
      if (!v) return std::nullopt;
      auto n = parse_count(*v, 1, 1000);
      if (!n) {
        error = "the breach length must be a whole number of cells from 1 to 1000, found '" + *v + "'";
        return std::nullopt;
      }
      cl.terrain.breach_length = *n;
      terrain_given = breach_given = "--breach-length";
    } else if (a == "--breach-depth" || a.rfind("--breach-depth=", 0) == 0) {
      std::optional<std::string> v = a == "--breach-depth" ? value(a) : std::optional<std::string>(a.substr(15));
      if (!v) return std::nullopt;
      auto d = parse_depth(*v);
      if (!d) {
        error = "the breach depth must be a number of m above 0 and at most 10000, found '" + *v + "'";
        return std::nullopt;
      }
      cl.terrain.breach_depth = *d;
      terrain_given = breach_given = "--breach-depth";
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
    } else if (a == "--warmup" || a.rfind("--warmup=", 0) == 0) {
      std::optional<std::string> v = a == "--warmup" ? value(a) : std::optional<std::string>(a.substr(9));
      if (!v) return std::nullopt;
      auto d = parse_days(*v);
      if (!d) {
        error = "the warm-up must be a number of days from 0 to 100000, found '" + *v + "'";
        return std::nullopt;
      }
      cl.search.periods.warmup_days = *d;
      option_given = "--warmup";
    } else if (a == "--calibration-period" || a == "--validation-period" || a.rfind("--calibration-period=", 0) == 0 ||
               a.rfind("--validation-period=", 0) == 0) {
      const std::size_t eq = a.find('=');
      const std::string opt = a.substr(0, eq);
      std::optional<std::string> v = eq == std::string::npos ? value(a) : std::optional<std::string>(a.substr(eq + 1));
      if (!v) return std::nullopt;
      std::optional<DatePeriod> period = parse_period(*v, error);
      if (!period) {
        error = "option " + opt + ": " + error;
        return std::nullopt;
      }
      (opt == "--calibration-period" ? cl.search.periods.calibration : cl.search.periods.validation) = period;
      option_given = opt;
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
    } else if (a == "--streams" || a.rfind("--streams=", 0) == 0) {
      std::optional<std::string> v = a == "--streams" ? value(a) : std::optional<std::string>(a.substr(10));
      if (!v) return std::nullopt;
      if (!vector_format(*v) || std::filesystem::path(*v).stem().empty()) {
        error = "option --streams needs a file name ending in .gpkg, .geojson or .shp, found '" + *v + "'";
        return std::nullopt;
      }
      cl.gis.streams = *v;
    } else if (a == "--grids" || a.rfind("--grids=", 0) == 0) {
      std::optional<std::string> v = a == "--grids" ? value(a) : std::optional<std::string>(a.substr(8));
      if (!v) return std::nullopt;
      if (*v == "asc") {
        cl.gis.grids = GridFormat::ascii;
      } else if (*v == "tif") {
        cl.gis.grids = GridFormat::geotiff;
      } else {
        error = "unknown grid format '" + *v + "' for --grids (asc or tif)";
        return std::nullopt;
      }
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
    } else if (a == "--uncertainty" || a.rfind("--uncertainty=", 0) == 0) {
      std::optional<std::string> v = a == "--uncertainty" ? value(a) : std::optional<std::string>(a.substr(14));
      if (!v) return std::nullopt;
      if (*v == "glue") {
        cl.search.uncertainty = SearchOptions::Uncertainty::glue;
      } else if (*v == "dream") {
        cl.search.uncertainty = SearchOptions::Uncertainty::dream;
      } else {
        error = "unknown uncertainty method '" + *v + "' (glue or dream)";
        return std::nullopt;
      }
    } else if (a == "--behavioural" || a.rfind("--behavioural=", 0) == 0) {
      std::optional<std::string> v = a == "--behavioural" ? value(a) : std::optional<std::string>(a.substr(14));
      if (!v) return std::nullopt;
      double d = 0.0;
      const auto r = std::from_chars(v->data(), v->data() + v->size(), d);
      if (v->empty() || r.ec != std::errc() || r.ptr != v->data() + v->size() || !std::isfinite(d)) {
        error = "option --behavioural needs a number, found '" + *v + "'";
        return std::nullopt;
      }
      cl.search.behavioural = d;
      behavioural_given = true;
    } else if (a == "--min-ess" || a.rfind("--min-ess=", 0) == 0) {
      std::optional<std::string> v = a == "--min-ess" ? value(a) : std::optional<std::string>(a.substr(10));
      if (!v) return std::nullopt;
      const std::optional<int64_t> c = parse_whole(*v);
      if (!c || *c < 1) {
        error = "option --min-ess needs a whole number from 1 (at most 18 digits), found '" + *v + "'";
        return std::nullopt;
      }
      cl.search.min_ess = static_cast<double>(*c);
      min_ess_given = true;
    } else if (a == "--samples" || a == "--seed" || a.rfind("--samples=", 0) == 0 || a.rfind("--seed=", 0) == 0) {
      const bool samples = a.rfind("--samples", 0) == 0;
      const std::string name = samples ? "--samples" : "--seed";
      std::optional<std::string> v = a == name ? value(a) : std::optional<std::string>(a.substr(name.size() + 1));
      if (!v) return std::nullopt;
      const std::optional<int64_t> c = parse_whole(*v);
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
  const bool uncertainty = cl.search.uncertainty != SearchOptions::Uncertainty::none;
  if (behavioural_given && cl.search.uncertainty != SearchOptions::Uncertainty::glue) {
    error = "option --behavioural needs --uncertainty glue";
    return std::nullopt;
  }
  if (min_ess_given && cl.search.uncertainty != SearchOptions::Uncertainty::dream) {
    error = "option --min-ess needs --uncertainty dream";
    return std::nullopt;
  }
  if (uncertainty && (search_given || cl.search.sensitivity != SearchOptions::Sensitivity::none)) {
    error = "option --uncertainty excludes --search and --sensitivity";
    return std::nullopt;
  }
  if (uncertainty && cl.mode != 4) {
    error = "option --uncertainty needs the calibration mode";
    return std::nullopt;
  }
  const bool sensitivity = cl.search.sensitivity != SearchOptions::Sensitivity::none || uncertainty;
  if (progress_given && !search_given && !sensitivity && cl.mode != 1) {
    error = "option --progress needs --search or the terrain mode";
    return std::nullopt;
  }
  if (!terrain_given.empty() && cl.mode != 1) {
    error = "option " + terrain_given + " needs the terrain mode";
    return std::nullopt;
  }
  if (!breach_given.empty() && cl.terrain.pits != PitMethod::breach) {
    error = "option " + breach_given + " needs --pits breach";
    return std::nullopt;
  }
  if (!option_given.empty() && !search_given && !sensitivity) {
    error = "option " + option_given + " needs --search";
    return std::nullopt;
  }
  if (!analysis_option.empty() && !sensitivity) {
    error = "option " + analysis_option + " needs --sensitivity or --uncertainty";
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
  const ScorePeriods& periods = cl.search.periods;
  if (periods.calibration && periods.validation && periods.calibration->from < periods.validation->end &&
      periods.validation->from < periods.calibration->end) {
    error = "the calibration period '" + periods.calibration->text + "' and the validation period '" +
            periods.validation->text + "' overlap";
    return std::nullopt;
  }
  if (search_given && cl.mode != 4) {
    error = "option --search needs the calibration mode";
    return std::nullopt;
  }
  if (!cl.gis.streams.empty() && cl.mode != 1) {
    error = "option --streams needs the terrain mode (--mode 1)";
    return std::nullopt;
  }
  if (cl.gis.grids && cl.mode == 4) {
    error = "option --grids needs the terrain mode or a single run (--mode 1, 2 or 3)";
    return std::nullopt;
  }
  return cl;
}

const char* usage_text() {
  return "Usage: tarvex [--mode MODE] [-C DIR] [-j N] [--no-limits] [--strict]\n"
         "              [--search [--objective NAME] [--resume] [--progress]\n"
         "                [--warmup DAYS] [--calibration-period FROM/TO]\n"
         "                [--validation-period FROM/TO]]\n"
         "              [--streams FILE] [--grids asc|tif]\n"
         "              [--mode 1 [--pits raise|fill|breach] [--breach-length N]\n"
         "               [--breach-depth M] [--progress]]\n"
         "              [--control FILE] [--score-control]\n"
         "              [--sensitivity morris|sobol [--samples N] [--seed S] [--objective NAME]\n"
         "                                          [--resume] [--progress]]\n"
         "              [--uncertainty glue|dream [--samples N] [--seed S] [--behavioural V] [--min-ess N]\n"
         "                                        [--objective NAME] [--resume] [--progress]]\n"
         "       tarvex report [DIR]\n"
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
         "                        stderr is a terminal); in the terrain mode the phase,\n"
         "                        share done and time left of a pass past 2 s\n"
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
         "      --uncertainty M   calibration mode: prediction bands over the bounds of\n"
         "                        \"scein.dat\"; M = glue (--samples N Latin hypercube\n"
         "                        points, default 1000; weights: how far a behavioural\n"
         "                        point's objective passes the threshold) or dream\n"
         "                        (DREAM(ZS), 3 chains, --samples N evaluations at most,\n"
         "                        default 5000, at least 100; Gaussian likelihood of\n"
         "                        the errors, their sigma integrated out: RMSE^-n; stops\n"
         "                        when every R-hat of the second halves is below 1.2;\n"
         "                        with --min-ess N also every effective sample size\n"
         "                        at least N).\n"
         "                        \"bands.csv\" 2.5/5/50/95/97.5 % discharge per record\n"
         "                        (dream: also with the error term), \"uncertainty.csv\"\n"
         "                        parameter quantiles (dream: with the R-hat and the\n"
         "                        effective sample size), \"posterior.csv\" (dream), P- and\n"
         "                        R-factor of the 95 % band in \"uncertainty_summary.txt\";\n"
         "                        runs in \"uncertainty_evaluations.csv\", checkpoint in\n"
         "                        \"uncertainty_checkpoint.txt\" (--resume continues it)\n"
         "      --behavioural V   glue: the threshold; an efficiency (nse, lognse, kge,\n"
         "                        kge2012) at least V, default 0.5; sse, rmse or |pbias|\n"
         "                        at most V, default the NSE = 0.5 equivalent (sse, rmse)\n"
         "                        or 25 (pbias)\n"
         "      --warmup DAYS     the first DAYS days are simulated but not scored\n"
         "      --calibration-period FROM/TO\n"
         "                        score only these records (ISO dates, inclusive;\n"
         "                        default every record after the warm-up)\n"
         "      --validation-period FROM/TO\n"
         "                        also give the best run's fit on these records\n"
         "                        (--search) or the bands' P- and R-factor on them\n"
         "                        (--uncertainty). The three periods apply to\n"
         "                        --sensitivity and --uncertainty too: their runs are\n"
         "                        scored on the calibration records\n"
         "      --streams FILE    terrain mode: also write the stream links as lines\n"
         "                        (GDAL: FILE ending in .gpkg, .geojson or .shp) with\n"
         "                        link_id, strahler, length_m, area_km2 (upstream area)\n"
         "                        and down_id (the link it drains into, 0 at the outlet)\n"
         "      --grids asc|tif   also write each result grid (\"RiverOrder.out\" in\n"
         "                        mode 1, \"TotRain.out\", \"RaingThDistr.out\",\n"
         "                        \"TempStDistr.out\", \"Slope.out\" in modes 2 and 3)\n"
         "                        georeferenced beside it (RiverOrder.asc; tif needs\n"
         "                        GDAL), with the DEM's georeference\n"
         "      --pits METHOD     terrain mode: how the pits of the DEM are removed\n"
         "                          raise   (default) raise each pit cell 0.11 m above its\n"
         "                                  lowest neighbour until none is left\n"
         "                          fill    priority-flood filling: each filled cell is\n"
         "                                  set to the lowest elevation that shows one\n"
         "                                  tenth of a metre above the cell it drains to\n"
         "                                  in the written grids (flats are not kept)\n"
         "                          breach  least-cost breaching: channels lowered from\n"
         "                                  each pit to a lower cell, then fill for the\n"
         "                                  pits no channel reaches\n"
         "                        The edge of the grid, no-data cells and exempt cells\n"
         "                        are never altered\n"
         "      --breach-length N longest breach channel, cells (1 to 1000, default 100)\n"
         "      --breach-depth M  deepest a breach lowers a cell, m (default 10)\n"
         "\n"
         "  A rain, temperature or observed-discharge file whose name ends in .csv is a\n"
         "  dated series (time,<names>; gauges in <name>.stations.csv, evapotranspiration\n"
         "  in <temperature>.et.csv); a discharge file named .csv is written with dates,\n"
         "  and the search and runs with CSV inputs write \"outlet.csv\"\n"
         "\n"
         "  tarvex init --dem FILE --rain FILE --temperature FILE --observed FILE\n"
         "              --outlet X,Y [--start DATE] [--step SECONDS] [--snap M]\n"
         "              [--roughness FILE] [--curve-numbers FILE]\n"
         "                        a new catchment: writes \"Tarvex.in\" and \"scein.dat\"\n"
         "                        (never over existing files) from a DEM (.asc or .tif),\n"
         "                        three CSV series and the outlet in map coordinates,\n"
         "                        snapped to the cell of largest contributing area within\n"
         "                        M metres (default 2 cells); the start date and record\n"
         "                        step come from the rain series; every default taken is\n"
         "                        listed. Then: tarvex --mode 1, tarvex --search\n"
         "  report [DIR]          (re)write DIR/report.html (default the current directory):\n"
         "                        one self-contained page on the run's files (fit tables,\n"
         "                        hydrograph, flows, water balance, search, sensitivity,\n"
         "                        terrain), drawn by scripts/report.py with python3 and\n"
         "                        matplotlib. Every search and sensitivity run writes it\n"
         "                        at its end (a warning, not a failure, when it cannot;\n"
         "                        TARVEX_REPORT=off skips it)\n"
         "\n"
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
