#include "io/unread_values.hpp"

#include <atomic>
#include <cstdio>
#include <utility>

#include "io/quoted.hpp"

namespace tarvex {
namespace {

std::atomic<UnreadValues> g_policy{UnreadValues::warn};

void to_stderr(const std::string& message) {
  const std::string line = "tarvex: warning: " + escaped(message) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
}

std::atomic<WarningSink> g_sink{&to_stderr};

}  // namespace

void set_unread_values(UnreadValues policy) { g_policy.store(policy); }
UnreadValues unread_values() { return g_policy.load(); }

WarningSink set_warning_sink(WarningSink sink) { return g_sink.exchange(sink ? sink : &to_stderr); }

void warn(const std::string& message) { g_sink.load()(message); }

std::string count_of(int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

UnreadTally& UnreadTally::operator=(UnreadTally&& o) noexcept {
  records_ = std::exchange(o.records_, 0);
  last_ = std::exchange(o.last_, 0);
  first_ = std::exchange(o.first_, std::string());
  after_ = std::exchange(o.after_, std::string());
  return *this;
}

void UnreadTally::add(int32_t record, std::string first_case) {
  if (records_ == 0) first_ = std::move(first_case);
  ++records_;
  last_ = record;
}

void UnreadTally::add_after(std::string words) { after_ = std::move(words); }

std::string UnreadTally::message() const {
  std::string m;
  if (records_ > 0) {
    m = first_ + " and ignores the rest; " + count_of(records_, "record", "records") +
        " of the file " + (records_ == 1 ? "has" : "have") + " values left unread";
  }
  if (!after_.empty()) m += (m.empty() ? "" : "; ") + after_;
  return m + " (--strict refuses them)";
}

void UnreadTally::clear() { *this = UnreadTally(); }

}  // namespace tarvex
