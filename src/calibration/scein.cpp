#include "calibration/scein.hpp"

#include <algorithm>
#include <string>

#include "io/fixed_record.hpp"
#include "calibration/sce_report.hpp"
#include "io/record_reader.hpp"

namespace tarvex {
namespace {

// Integer in n columns as in the report (asterisks when it does not fit).
std::string fmt_int(int32_t v, int n) {
  std::string s;
  put_int(s, v, n);
  return s;
}

// Record 1: MAXTRIALS, kstop, PCTCHANGE (2 implied decimals), NGS, SEED,
// USERSPEC, 5 columns each.
int32_t read_search_record(RecordReader& in, SceSettings& p) {
  FixedRecord r(in, "record 1 of the search settings (MAXTRIALS, kstop, PCTCHANGE, NGS, SEED, USERSPEC)");
  p.MAXTRIALS = r.int_field(1, 5, "MAXTRIALS");
  p.kstop = r.int_field(6, 5, "kstop");
  p.PCTCHANGE = r.real_field(11, 5, 2, "PCTCHANGE");
  p.NGS = r.int_field(16, 5, "NGS");
  p.SEED = r.int_field(21, 5, "SEED");
  return r.int_field(26, 5, "USERSPEC");
}

// Record 2 with USERSPEC = 1: NPG, NPS, NSPL, MINCPX, INIPT, PRINTFLG.
void read_algorithm_record(RecordReader& in, SceSettings& p) {
  FixedRecord r(in, "record 2 of the search settings (NPG, NPS, NSPL, MINCPX, INIPT, PRINTFLG)");
  p.NPG = r.int_field(1, 5, "NPG");
  p.NPS = r.int_field(6, 5, "NPS");
  p.NSPL = r.int_field(11, 5, "NSPL");
  p.MINCPX = r.int_field(16, 5, "MINCPX");
  p.INIPT = r.int_field(21, 5, "INIPT");
  p.PRINTFLG = r.int_field(26, 5, "PRINTFLG");
}

// Records 3 to the end of the file: initial value, lower and upper bound of
// one parameter each, 10 columns per value.
void read_parameter_records(RecordReader& in, SceSettings& p) {
  p.NPAR = 0;
  while (!in.at_end()) {
    const int32_t j = p.NPAR + 1;
    if (j > MAX_SCE_PAR) {
      in.fail("record " + std::to_string(in.record() + 1) + " is parameter record " + std::to_string(j) +
              "; at most " + std::to_string(MAX_SCE_PAR) + " parameters are allowed");
    }
    const std::string n = std::to_string(j);
    FixedRecord r(in, "parameter record " + n);
    p.PAR0(j) = r.real_field(1, 10, 0, "the initial value of parameter " + n);
    p.PARLO(j) = r.real_field(11, 10, 0, "the lower bound of parameter " + n);
    p.PARHI(j) = r.real_field(21, 10, 0, "the upper bound of parameter " + n);
    p.NPAR = j;
  }
}

}  // namespace

int32_t SCEIN(SceSettings& p, std::optional<TextWriter>& report) {
  RecordReader in("scein.dat");
  report.emplace("sceout.dat");
  TextWriter& out = *report;
  int32_t ierror = 0;
  int32_t iwarn = 0;

  write_report_title(out);

  const int32_t USERSPEC = read_search_record(in, p);
  if (p.SEED == 0) p.SEED = 1969;

  const char* origin;
  if (USERSPEC == 1) {
    read_algorithm_record(in, p);
    origin = "USER SPEC.";
  } else {
    in.skip(1, "record 2 of the search settings");
    origin = " DEFAULT  ";
  }

  read_parameter_records(in, p);

  if (USERSPEC != 1) {
    p.NPG = 2 * p.NPAR + 1;
    p.NPS = p.NPAR + 1;
    p.NSPL = p.NPG;
    p.MINCPX = p.NGS;
    p.INIPT = 0;
    p.PRINTFLG = 0;
  }

  // Checks, in this order; each message shows the value as specified.
  if (p.NGS < 1 || p.NGS > 1319) {
    write_report_message(out, {" **ERROR** NUMBER OF COMPLEXES IN INITIAL  POPULATION " + fmt_int(p.NGS, 5) +
                               " IS NOT A VALID CHOICE"});
    ++ierror;
  }
  if (p.kstop < 0 || p.kstop > 19) {
    write_report_message(
        out, {" **WARNING** THE NUMBER OF SHUFFLING LOOPS IN WHICH THE CRITERION VALUE MUST CHANGE",
              "             SHOULD BE GREATER THAN 0 AND LESS THAN 10.  kstop = " + fmt_int(p.kstop, 2) +
                  " WAS SPECIFIED.",
              "             BUT kstop = 5 WILL BE USED INSTEAD."});
    ++iwarn;
    p.kstop = 5;
  }
  if (p.MINCPX < 1 || p.MINCPX > p.NGS) {
    write_report_message(out, {" **WARNING** THE MINIMUM NUMBER OF COMPLEXES " + fmt_int(p.MINCPX, 2) +
                               " IS NOT A VALID CHOICE. SET IT TO DEFAULT"});
    ++iwarn;
    p.MINCPX = p.NGS;
  }
  if (p.NPG < 2 || p.NPG > 1320 / std::max(p.NGS, 1)) {
    write_report_message(out, {" **WARNING** THE NUMBER OF POINTS IN A COMPLEX " + fmt_int(p.NPG, 4) +
                               " IS NOT A VALID CHOICE, SET IT TO DEFAULT"});
    ++iwarn;
    p.NPG = 2 * p.NPAR + 1;
  }
  if (p.NPS > 50 || p.NPS < 2 || p.NPS > p.NPG) {
    write_report_message(out, {" **WARNING** THE NUMBER OF POINTS IN A SUB-COMPLEX " + fmt_int(p.NPS, 4) +
                               " IS NOT A VALID CHOICE, SET IT TO DEFAULT"});
    ++iwarn;
    p.NPS = p.NPAR + 1;
  }
  if (p.NSPL < 1) {
    write_report_message(
        out, {" **WARNING** THE NUMBER OF EVOLUTION STEPS TAKEN IN EACH COMPLEX BEFORE SHUFFLING" +
                  fmt_int(p.NSPL, 4),
              "             IS NOT A VALID CHOICE, SET IT TO DEFAULT"});
    ++iwarn;
    p.NSPL = p.NPG;
  }
  const int32_t NPOP = p.NGS * p.NPG;
  if (NPOP > 1320) {
    write_report_message(out, {" **WARNING** THE NUMBER OF POINTS IN INITIAL POPULATION " + fmt_int(NPOP, 5) +
                                   " EXCEED THE POPULATION LIMIT,",
                               "             SET NGS TO 2, AND NPG, NPS AND NSPL TO DEFAULTS"});
    ++iwarn;
    p.NGS = 2;
    p.NPG = 2 * p.NPAR + 1;
    p.NPS = p.NPAR + 1;
    p.NSPL = p.NPG;
  }

  if (ierror > 0) write_report_message(out, {" *** TOTAL NUMBER OF ERROR MESSAGES IS" + fmt_int(ierror, 2)});
  if (iwarn > 0) write_report_message(out, {" *** TOTAL NUMBER OF WARNING MESSAGES IS" + fmt_int(iwarn, 2)});

  write_settings_tables(out, p, origin);

  if (ierror > 0) write_refusal(out);
  return ierror;
}

}  // namespace tarvex
