#include "io/control_edit.hpp"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace tarvex {
namespace {

bool separates(char c) { return c == ' ' || c == ',' || c == '\t' || c == '\r'; }

struct Span {
  std::size_t begin = 0, end = 0;
};

std::optional<Span> find_item(std::string_view text, int32_t record, int32_t item) {
  if (record < 1 || item < 1) return std::nullopt;
  std::size_t at = 0;
  for (int32_t r = 1; r < record; ++r) {
    at = text.find('\n', at);
    if (at == std::string_view::npos) return std::nullopt;
    ++at;
  }
  const std::size_t stop = std::min(text.find('\n', at), text.size());
  int32_t k = 0;
  while (at < stop) {
    while (at < stop && separates(text[at])) ++at;
    if (at >= stop) break;
    std::size_t end = at;
    while (end < stop && !separates(text[end])) ++end;
    if (++k == item) return Span{at, end};
    at = end;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> read_whole_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return s.str();
}

std::optional<std::string> list_item(std::string_view text, int32_t record, int32_t item) {
  const std::optional<Span> s = find_item(text, record, item);
  if (!s) return std::nullopt;
  return std::string(text.substr(s->begin, s->end - s->begin));
}

std::string replace_list_items(std::string_view text, const std::vector<ItemEdit>& edits) {
  std::vector<std::pair<Span, const std::string*>> at;
  for (const ItemEdit& e : edits) {
    const std::optional<Span> s = find_item(text, e.record, e.item);
    if (!s) {
      throw std::out_of_range("record " + std::to_string(e.record) + " holds no value " + std::to_string(e.item));
    }
    at.emplace_back(*s, &e.text);
  }
  std::sort(at.begin(), at.end(), [](const auto& a, const auto& b) { return a.first.begin < b.first.begin; });
  std::string out;
  std::size_t from = 0;
  for (const auto& [s, t] : at) {
    if (s.begin < from) throw std::out_of_range("two edits of one value");
    out.append(text.substr(from, s.begin - from));
    out += *t;
    from = s.end;
  }
  out.append(text.substr(from));
  return out;
}

}  // namespace tarvex
