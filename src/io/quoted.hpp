#pragma once
// Bytes taken from input files (values, file names) shown safely in
// messages: every byte outside printable ASCII becomes \xHH, so that control
// sequences never reach the terminal and a NUL never cuts a message.
#include <string>
#include <string_view>

namespace tarvex {

// The bytes with every one outside 0x20-0x7e written as \xHH.
std::string escaped(std::string_view bytes);
// A file name or value in single quotes, escaped.
std::string quoted_name(std::string_view bytes);

}  // namespace tarvex
