#pragma once
// report.html: the page on a run, drawn by scripts/report.py.
#include <optional>
#include <string>
#include <vector>

namespace tarvex {

// The script, first found of: $TARVEX_REPORT_SCRIPT; report.py or
// ../share/tarvex/report.py beside the program; scripts/report.py of the
// source tree it was built from.
std::optional<std::string> report_script();

// Writes DIR/report.html. command: the run's command line for the header
// (empty: the one of an earlier page is kept). Returns an empty text on
// success, else why not. The interpreter is $TARVEX_PYTHON, else the first
// of python3 and /usr/bin/python3 that has matplotlib.
std::string write_report(const std::string& dir, const std::string& command);

// False when $TARVEX_REPORT is "off": runs then write no page.
bool report_wanted();

// The command line as typed, each argument quoted for a shell where needed.
std::string shell_words(const std::vector<std::string>& args);

// `tarvex report [DIR]`: exit status 0 written, 1 not written (one line on
// stderr), 2 usage error.
int report_command(const std::vector<std::string>& args);

}  // namespace tarvex
