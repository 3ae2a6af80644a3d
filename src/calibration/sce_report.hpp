#pragma once
// Pieces of the search report "sceout.dat": title, check messages, the
// settings tables, the refusal and the banner of the search section.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "calibration/sce_settings.hpp"
#include "io/text_writer.hpp"

namespace tarvex {

void write_report_title(TextWriter& out);
// A message of the settings checks: two empty lines, then its lines.
void write_report_message(TextWriter& out, std::initializer_list<std::string> lines);
// The search control, algorithm, complex and parameter tables. origin is the
// 10-character label of where the algorithm settings came from.
void write_settings_tables(TextWriter& out, const SceSettings& set, std::string_view origin);
void write_refusal(TextWriter& out);
void write_search_banner(TextWriter& out);

}  // namespace tarvex
