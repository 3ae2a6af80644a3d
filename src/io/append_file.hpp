#pragma once
// Appending to a log file so that it never keeps part of an append.
#include <filesystem>
#include <string_view>

namespace tarvex {

// Appends text to the file (created when missing). When any write fails the
// file is cut back to its size before the call (a file the call created is
// removed) and InputError names the file and the failure.
void append_whole(const std::filesystem::path& path, std::string_view text);

}  // namespace tarvex
