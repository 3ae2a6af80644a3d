#pragma once
// Values the reading leaves unread: the rest of the last record of a read,
// and records after the last row of a text grid. The reading stays as it is;
// a file holding such values gets one warning line on stderr, or, when they
// are refused, an InputError at the first of them.
#include <cstdint>
#include <string>
#include <utility>

namespace tarvex {

enum class UnreadValues { warn, refuse };

// Process-wide; the driver sets it once, before any file is read.
void set_unread_values(UnreadValues policy);
UnreadValues unread_values();

// Receives each warning (the message without a program prefix); the
// default writes "tarvex: warning: <message>" on stderr. Returns the sink
// it replaces.
using WarningSink = void (*)(const std::string& message);
WarningSink set_warning_sink(WarningSink sink);
void warn(const std::string& message);

// What one reader left unread: the records counted, the first case in words.
// A moved-from tally is empty, so a file is reported once.
class UnreadTally {
 public:
  UnreadTally() = default;
  UnreadTally(UnreadTally&& o) noexcept { *this = std::move(o); }
  UnreadTally& operator=(UnreadTally&& o) noexcept;

  // False for a record already counted (a file read again after a rewind).
  bool counts(int32_t record) const { return record > last_; }
  bool first() const { return records_ == 0; }
  // Values left on record; first_case words the first such record.
  void add(int32_t record, std::string first_case);
  // Records after the last row of a grid, in words.
  void add_after(std::string words);

  bool empty() const { return records_ == 0 && after_.empty(); }
  std::string message() const;
  void clear();

 private:
  int64_t records_ = 0;
  int32_t last_ = 0;
  std::string first_;
  std::string after_;
};

// "1 value", "3 values".
std::string count_of(int64_t n, const char* one, const char* many);

}  // namespace tarvex
