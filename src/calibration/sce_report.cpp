#include "calibration/sce_report.hpp"

namespace tarvex {
namespace {

std::string rule(int indent, char c, int n) {
  std::string s;
  put_blanks(s, indent);
  put_chars(s, c, n);
  return s;
}

// Names of the parameters in the parameter table, 4 characters each.
constexpr const char* kParamNames[MAX_SCE_PAR] = {"  X1", "  X2", "  X3", "  X4", "  X5", "X6  ",
                                                  "  X7", "  X8", "  X9", " X10", " X11", " X12",
                                                  " X13", " X14", "X15 ", " X16"};

}  // namespace

void write_report_title(TextWriter& out) {
  out.line("          SHUFFLED COMPLEX EVOLUTION GLOBAL OPTIMIZATION");
  out.line(rule(10, '=', 46));
}

void write_report_message(TextWriter& out, std::initializer_list<std::string> lines) {
  out.line("");
  out.line("");
  for (const std::string& l : lines) out.line(l);
}

void write_settings_tables(TextWriter& out, const SceSettings& p, std::string_view origin) {
  const int32_t NPOP = p.NGS * p.NPG;
  const char* reduction = p.MINCPX < p.NGS ? "YES " : "NO  ";
  const char* initial_point = p.INIPT != 0 ? "YES " : "NO  ";
  std::string row;

  // Search control.
  out.line("");
  out.line("");
  out.line("  SCE CONTROL     MAX TRIALS     REQUIRED IMPROVEMENT     RANDOM");
  out.line("   PARAMETER        ALLOWED      PERCENT    NO. LOOPS      SEED");
  out.line("  -----------     ----------     -------    ---------     ------");
  put_blanks(row, 3);
  row.append(origin);
  put_blanks(row, 7);
  put_int(row, p.MAXTRIALS, 5);
  put_blanks(row, 10);
  put_fixed(row, p.PCTCHANGE * 100.0, 3, 1);
  put_blanks(row, 9);
  put_int(row, p.kstop, 2);
  put_blanks(row, 9);
  put_int(row, p.SEED, 5);
  out.line(row);

  // Algorithm settings. The dashes line ends with 5 blanks and every value
  // is followed by 10, the last ones included.
  out.line("");
  out.line("");
  out.line("                  SCE ALGORITHM CONTROL PARAMETERS");
  out.line(rule(18, '=', 32));
  out.line("");
  out.line("  NUMBER OF     POINTS PER     POINTS IN      POINTS PER    EVOL. STEPS");
  out.line("  COMPLEXES      COMPLEX      INI. POPUL.     SUB-COMPLX    PER COMPLEX");
  out.line("  ---------     ----------    -----------     ----------    -----------     ");
  row.clear();
  put_blanks(row, 2);
  for (int32_t v : {p.NGS, p.NPG, NPOP, p.NPS, p.NSPL}) {
    put_int(row, v, 5);
    put_blanks(row, 10);
  }
  out.line(row);

  // Complex reduction and initial point.
  out.line("");
  out.line("");
  out.line("               COMPLX NO.     MIN COMPLEX     INI.POINT");
  out.line("               REDUCTION      NO. ALLOWED      INCLUDED");
  out.line("               ----------     -----------     ----------");
  row.clear();
  put_blanks(row, 18);
  row.append(reduction);
  put_blanks(row, 6);
  put_int(row, p.MINCPX, 8);
  put_blanks(row, 13);
  row.append(initial_point);
  out.line(row);

  // Parameters.
  out.line("");
  out.line("");
  out.line("        INITIAL PARAMETER VALUES AND PARAMETER BOUNDS");
  out.line(rule(8, '=', 45));
  out.line("");
  out.line("  PARAMETER     INITIAL VALUE     LOWER BOUND     UPPER BOUND");
  out.line("  ---------     -------------     -----------     -----------");
  for (int32_t j = 1; j <= p.NPAR; ++j) {
    row.clear();
    put_blanks(row, 4);
    row.append(kParamNames[j - 1]);
    put_blanks(row, 4);
    for (double v : {p.PAR0(j), p.PARLO(j), p.PARHI(j)}) {
      put_blanks(row, 6);
      put_fixed(row, v, 10, 3);
    }
    out.line(row);
  }
}

void write_refusal(TextWriter& out) {
  out.line("");
  out.line("");
  out.line("*** THE OPTIMIZATION SEARCH IS NOT CONDUCTED BECAUSE OF INPUT DATA ERROR ***");
}

void write_search_banner(TextWriter& out) {
  out.line("");
  out.line("");
  out.line(rule(2, '=', 50));
  out.line("  ENTER THE SHUFFLED COMPLEX EVOLUTION GLOBAL SEARCH");
  out.line(rule(2, '=', 50));
}

}  // namespace tarvex
