#pragma once
// Rewriting single values of a free-format text file in place: every other
// byte (labels, blanks, line ends, other values) stays as it was.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarvex {

// Value number `item` (from 1) of record `record` (from 1) becomes `text`.
struct ItemEdit {
  int32_t record = 0;
  int32_t item = 0;
  std::string text;
};

// The whole file as bytes; nothing when it cannot be read.
std::optional<std::string> read_whole_file(const std::filesystem::path& path);

// The item as it stands in text (blanks, tabs, commas and carriage returns
// separate items); nothing when the record or item does not exist.
std::optional<std::string> list_item(std::string_view text, int32_t record, int32_t item);

// text with every edit applied. Throws std::out_of_range for a missing item.
std::string replace_list_items(std::string_view text, const std::vector<ItemEdit>& edits);

}  // namespace tarvex
